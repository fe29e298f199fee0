// The kinds of simulated devices (the KIND of the machine file's `video KIND NAME` and
// `audio KIND NAME` lines) and what each one offers.
//
//   dv         DV camcorder, PAL: one interleaved dvsd pin, 720x576 at 25 fps with sound
//   dv-ntsc    DV camcorder, NTSC: the same at 720x480, 29.97 fps
//   webcam     capture and preview pins: YUY2 640x480 and 320x240, MJPG 1280x720, 30 or 15 fps
//   capture    a capture pin only: YUY2 720x576 at 25 fps, 640x480 and 320x240 at 30 fps
//   tv         TV card: capture pin, analogue video input fed by a crossbar (tuner, composite,
//              S-Video, tuner sound, line sound), TV tuner and TV audio filters
//   tv2        TV card with two crossbars in a chain
//   vfw        capture driver with format and source dialogs: capture and preview pins
//   videoport  capture pin and a video-port pin
//   nopins     a device with no output pin
//   broken     listed, but cannot be opened
//   tone       sound: 1 kHz sine at -12 dBFS, 48 kHz 16-bit stereo (44.1 kHz, mono offered)
//   tv-audio   the same sound with a TV sound decoder (mono, stereo, language A or B)
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "CaptureFormats.h"
#include "DeviceBackend.h"
#include "dv/DvFrame.h"

namespace vidorra::devices::sim {

// How a card feeds its analogue input.
enum class CardFrontEnd { kNone, kOneCrossbar, kTwoCrossbars };

struct VideoKind {
  std::string name;
  std::vector<VideoPinDesc> outputs;
  std::vector<VideoMode> modes;  // uncompressed and MJPEG formats, the first the default
  std::optional<dv::DvSystem> dvSystem;
  CardFrontEnd frontEnd = CardFrontEnd::kNone;
  bool vfwDialogs = false;
  bool opens = true;  // false: the device is broken
};

struct AudioKind {
  std::string name;
  std::vector<SoundMode> modes;
  bool tvSound = false;
  bool silent = false;  // digital silence (every sample 0) instead of the tone
};

const VideoKind* FindVideoKind(const std::string& name);
// The AnalogVideoStandard bits a simulated TV card receives.
ULONG CardStandards();
const AudioKind* FindAudioKind(const std::string& name);

}  // namespace vidorra::devices::sim
