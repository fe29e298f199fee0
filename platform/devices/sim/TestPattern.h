// The moving test pattern of the simulated video devices.
//
// The first 16 rows carry the frame number as 32 blocks across the picture, black for 0 and
// white for 1, most significant bit first (block i spans columns i*W/32 to (i+1)*W/32), so a
// test reads every recorded or grabbed frame back. Below: seven colour bars scrolling sideways
// with a white box crossing them (the arrangement of the bars tells the routed input and the
// TV channel), a grey ramp, and a black band naming the device and what it shows (input,
// channel, standard, sound). A card whose routed input has no signal shows a dark blue
// "NO SIGNAL" screen instead. The picture controls (brightness, contrast, hue, saturation)
// act on everything but the frame number.
//
// Pure functions, any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vidorra::devices::sim {

// Picture controls, in the ranges the simulated devices give them.
struct PictureControls {
  long brightness = 128;  // 0..255, 128 leaves the picture as it is
  long contrast = 100;    // percent, 0..200
  long hue = 0;           // degrees, -180..180
  long saturation = 100;  // percent, 0..200
};

enum class PatternSource { kCamera, kTuner, kComposite, kSVideo };

struct PatternScene {
  uint64_t frameNumber = 0;
  std::string title;    // the device's name (UTF-8)
  std::string caption;  // what it shows: input, channel, standard, sound
  PatternSource source = PatternSource::kCamera;
  long channel = 0;  // the tuned channel (kTuner)
  bool signal = true;
  PictureControls controls;
};

// Where the pattern is drawn: YUY2 and planar 4:2:0 (I420) are top-down, RGB24 a bottom-up
// DIB; rows of packed layouts are padded to 4 bytes. Full-range YCbCr is for JPEG pictures.
enum class PatternLayout { kYuy2, kI420, kRgb24 };

struct PatternTarget {
  PatternLayout layout = PatternLayout::kYuy2;
  int width = 0;   // even
  int height = 0;  // even
  uint8_t* data = nullptr;
  bool fullRange = false;
};

inline constexpr int kFrameNumberRows = 16;
inline constexpr int kFrameNumberBits = 32;

void DrawPattern(const PatternScene& scene, const PatternTarget& target);

// Reads the frame number back from the luma of a picture (luma(x, y) for 0 <= x < width and
// 0 <= y < 16, in 0..255); nullopt when a block is neither clearly black nor clearly white.
std::optional<uint32_t> ReadFrameNumber(const std::function<int(int x, int y)>& luma, int width);

}  // namespace vidorra::devices::sim
