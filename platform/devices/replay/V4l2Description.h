// A V4L2 device as `v4l2-ctl` described it: the text its owner captured with
//   v4l2-ctl -d /dev/videoN --all --list-formats-ext --list-ctrls-menus --list-inputs
//            --list-standards
// (any mix of those, --list-formats, -L, --list-audio-inputs, --list-devices and -D, in any
// order, in the tool's older "Index : 0 / Pixel Format: 'YUYV'" listing style or the newer
// "[0]: 'YUYV' (YUYV 4:2:2)" one, indented with tabs or spaces as mail turns them into), read
// into what the device's driver answers, so that a fake kernel can answer the ioctls the same.
//
// The reader is lenient: blank lines, shell prompts and the sections it has no use for
// (overlay, crop, selection, media controller entities ...) are passed over; a line it cannot
// make sense of is kept in `problems` with its line number and the rest of the text is used.
//
// What the text lacks gets what a driver of the device's kind answers (Complete):
//   card type           the --list-devices heading, else the file's base name without extension
//   formats             none listed: the current format alone, at the current rate or at the
//                       standard's (25 frames/s for PAL and SECAM, 30000/1001 for NTSC);
//                       neither: no format (the device offers nothing to show)
//   sizes of a format   none listed (bttv, stk1160): 720x576 (720x480 under an NTSC standard),
//                       640x480 and the current size, at the standard's rate
//   intervals           none listed: the current rate, else the standard's, else 30 frames/s
//   inputs              none listed: the current input, else one camera input "Camera 1"; a
//                       tuner with no tuner input gets one, named after the tuner
//   standards           none listed on a device that has a standard: the usual ones of an
//                       analogue decoder (PAL, NTSC, SECAM families)
//   controls            none listed: none
//   capabilities        none: a capture device; a capture device streams (mmap) whatever the
//                       text says of read() and streaming
//
// Pure functions, any thread.
#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidorra::devices::replay {

// One size of a format (VIDIOC_ENUM_FRAMESIZES) with its frame intervals
// (VIDIOC_ENUM_FRAMEINTERVALS at that size).
struct DescribedSize {
  uint32_t type = V4L2_FRMSIZE_TYPE_DISCRETE;  // or STEPWISE, CONTINUOUS
  uint32_t width = 0;                          // discrete; the smallest of a range
  uint32_t height = 0;
  uint32_t maxWidth = 0;  // ranges only
  uint32_t maxHeight = 0;
  uint32_t stepWidth = 1;
  uint32_t stepHeight = 1;
  // Discrete intervals, in listing order, duplicates once.
  std::vector<v4l2_fract> intervals;
  // A range of intervals instead (type STEPWISE or CONTINUOUS), fastest first.
  uint32_t intervalType = V4L2_FRMIVAL_TYPE_DISCRETE;
  v4l2_fract fastest{0, 0};
  v4l2_fract slowest{0, 0};
  v4l2_fract intervalStep{0, 0};
};

struct DescribedFormat {
  uint32_t fourcc = 0;
  std::string name;    // "YUYV 4:2:2"
  uint32_t flags = 0;  // V4L2_FMT_FLAG_COMPRESSED, V4L2_FMT_FLAG_EMULATED
  std::vector<DescribedSize> sizes;
};

struct DescribedMenuItem {
  uint32_t index = 0;
  std::string name;   // a menu's item
  int64_t value = 0;  // an integer menu's item
};

struct DescribedControl {
  uint32_t id = 0;
  uint32_t type = V4L2_CTRL_TYPE_INTEGER;
  std::string name;  // as the driver names it ("White Balance Temperature")
  int64_t minimum = 0;
  int64_t maximum = 0;
  uint64_t step = 1;
  int64_t defaultValue = 0;
  int64_t value = 0;
  std::string text;  // a string control's value
  uint32_t flags = 0;
  std::vector<DescribedMenuItem> menu;
};

struct DescribedTuner {
  v4l2_tuner tuner{};  // index, name, type, capability, range, audmode, rxsubchans, signal
  uint32_t frequency = 0;
};

struct DescriptionProblem {
  int line = 0;
  std::string text;
};

struct V4l2Description {
  std::string driver;
  std::string card;
  std::string busInfo;
  uint32_t version = 0;
  uint32_t capabilities = 0;  // with V4L2_CAP_DEVICE_CAPS when deviceCaps is given
  uint32_t deviceCaps = 0;

  std::optional<v4l2_pix_format> format;  // "Format Video Capture"
  std::optional<v4l2_fract> interval;     // "Streaming Parameters": the current frame interval
  bool timePerFrame = false;              // the rate can be chosen (V4L2_CAP_TIMEPERFRAME)
  std::vector<DescribedFormat> formats;

  std::vector<v4l2_input> inputs;
  std::optional<uint32_t> input;  // the current one
  std::vector<v4l2_audio> audioInputs;
  std::optional<uint32_t> audioInput;
  std::vector<v4l2_standard> standards;
  std::optional<v4l2_std_id> standard;  // the current one
  std::vector<DescribedTuner> tuners;
  std::vector<DescribedControl> controls;

  std::vector<DescriptionProblem> problems;
};

// Reads what v4l2-ctl printed, as it stands (nothing filled in).
V4l2Description ParseV4l2Description(std::string_view text);
// Fills in what a driver of the device's kind answers where the text is silent (above);
// `fileName` is the description file's name, for a card type of last resort.
void CompleteDescription(V4l2Description& description, const std::string& fileName);
// Both, as the simulated machine reads a description file.
V4l2Description ReadV4l2Description(std::string_view text, const std::string& fileName);

// The frame interval of a standard (1/25 for 625 lines, 1001/30000 for 525 lines).
v4l2_fract StandardInterval(v4l2_std_id standard);

}  // namespace vidorra::devices::replay
