// The reader of v4l2-ctl's descriptions, on the real ones of resources/v4l2-samples and on what
// a driver answers where a description is silent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "replay/V4l2Description.h"

namespace vidorra::test {
namespace {

using namespace devices::replay;

std::string Sample(const std::string& name) {
  std::ifstream file(std::string(VIDORRA_SOURCE_DIR) + "/resources/v4l2-samples/" + name);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string NameOf(const __u8* bytes, size_t size) {
  return std::string(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), size));
}

std::string Fourcc(uint32_t code) {
  return {static_cast<char>(code), static_cast<char>(code >> 8), static_cast<char>(code >> 16),
          static_cast<char>(code >> 24)};
}

// What each description comes to, in a few figures, as one line: card | formats | sizes of the
// first and rates of its first size | current interval | inputs and the current one | current
// standard and how many are listed | tuner range | controls | audio inputs | problems.
TEST(V4l2Description, RealDescriptionsAsTheirDriversAnswer) {
  const std::pair<const char*, const char*> rows[] = {
      {"uvc-logitech-c920.txt",
       "HD Pro Webcam C920 | YUYV H264 MJPG | 19x7 | 1/30 | Camera 1 (0) | 0/0 | | 17 | | 0"},
      // --all only: the current format is the one format, at the current rate; PAL; the
      // controls listed twice are one set; the analogue decoder's usual standards.
      {"usb-grabber-em28xx-em2860.txt",
       "EM2860/SAA711X Reference Design | YUYV | 1x1 | 1/25 | S-Video (0) | ff/15 | | 11 | "
       "Television | 0"},
      // A tuner and no tuner input listed: one is added before the current Composite input;
      // 44-958 MHz in 62.5 kHz units; the capability line a mail folded in two is reported.
      {"tv-saa7134-gigabyte-gtp8000-as-aopen-va1000.txt",
       "AOPEN VA1000 POWER | YV12 | 1x1 | 1001/30000 | Television Composite1 (1) | b000/15 | "
       "704-15328 | 0 | | 1"},
  };
  for (const auto& [file, figures] : rows) {
    SCOPED_TRACE(file);
    const V4l2Description d = ReadV4l2Description(Sample(file), file);
    std::ostringstream out;
    out << d.card << " |";
    for (const auto& f : d.formats) out << " " << Fourcc(f.fourcc);
    if (!d.formats.empty()) {
      out << " | " << d.formats[0].sizes.size() << "x" << d.formats[0].sizes[0].intervals.size();
    }
    if (d.interval) out << " | " << d.interval->numerator << "/" << d.interval->denominator;
    out << " |";
    for (const auto& input : d.inputs) out << " " << NameOf(input.name, sizeof input.name);
    out << " (" << d.input.value_or(99) << ") | " << std::hex << d.standard.value_or(0) << std::dec
        << "/" << d.standards.size() << " |";
    if (!d.tuners.empty())
      out << " " << d.tuners[0].tuner.rangelow << "-" << d.tuners[0].tuner.rangehigh;
    out << " | " << d.controls.size() << " |";
    for (const auto& a : d.audioInputs) out << " " << NameOf(a.name, sizeof a.name);
    out << " | " << d.problems.size();
    EXPECT_EQ(out.str(), figures);
    EXPECT_TRUE(d.deviceCaps & V4L2_CAP_VIDEO_CAPTURE);
    EXPECT_TRUE(d.deviceCaps & V4L2_CAP_STREAMING);
  }
  // The webcam's details the figures leave out: a rate of 7.5 frames/s, a menu with a gap, an
  // inactive control.
  const V4l2Description d = ReadV4l2Description(Sample(rows[0].first), rows[0].first);
  ASSERT_GT(d.formats[0].sizes[0].intervals.size(), 5u);
  const v4l2_fract seven = d.formats[0].sizes[0].intervals[5];
  EXPECT_EQ(seven.numerator * 15, seven.denominator * 2) << "7.5 frames/s is 2/15";
  const auto control = [&](uint32_t id) {
    return std::find_if(d.controls.begin(), d.controls.end(),
                        [&](const auto& c) { return c.id == id; });
  };
  const auto exposureAuto = control(V4L2_CID_EXPOSURE_AUTO);
  const auto exposure = control(V4L2_CID_EXPOSURE_ABSOLUTE);
  ASSERT_TRUE(exposureAuto != d.controls.end() && exposure != d.controls.end());
  ASSERT_EQ(exposureAuto->menu.size(), 2u);
  EXPECT_EQ(exposureAuto->menu[1].index, 3u) << "menus keep their gaps";
  EXPECT_TRUE(exposure->flags & V4L2_CTRL_FLAG_INACTIVE);
}

// Texts of both listing styles, other control types, and what the driver fills in.
TEST(V4l2Description, ListingStylesAndWhatADriverFillsIn) {
  struct Row {
    const char* what;
    std::string text;
    std::vector<std::string> formats;
    std::vector<std::pair<uint32_t, uint32_t>> sizesOfFirst;
    v4l2_fract intervalOfFirst;
    std::vector<std::string> inputs;
  };
  const std::string oldStyle =
      "$ v4l2-ctl --list-formats-ext\n"
      "ioctl: VIDIOC_ENUM_FMT\n"
      "        Index       : 0\n"
      "        Type        : Video Capture\n"
      "        Pixel Format: 'NV12'\n"
      "        Name        : Y/CbCr 4:2:0\n"
      "                Size: Stepwise 16x16 - 1920x1080 with step 16/8\n"
      "                        Interval: Continuous 0.033s - 1.000s (1.000-30.000 fps)\n"
      "\n"
      "        Index       : 1\n"
      "        Type        : Video Capture\n"
      "        Pixel Format: 'NV12'\n"
      "        Name        : Y/CbCr 4:2:0\n"
      "                Size: Stepwise 16x16 - 1920x1080 with step 16/8\n"
      "        Index       : 2\n"
      "        Type        : Video Capture\n"
      "        Pixel Format: BGR3\n"
      "        Name        : 24-bit BGR 8-8-8\n"
      "        Flags       : emulated\n";
  const Row rows[] = {
      {"nothing at all", "", {}, {}, {1, 30}, {"Camera 1"}},
      {"older style, NV12 twice, a bare fourcc, ranges", oldStyle, {"NV12", "BGR3"},
       {{16, 16}}, {0, 0}, {"Camera 1"}},
      {"formats without sizes under NTSC",
       "Video Standard = 0x0000b000\n\tNTSC-M/M-JP/M-KR\n"
       "Format Video Capture:\n\tWidth/Height  : 320/240\n\tPixel Format  : 'YUYV'\n"
       "ioctl: VIDIOC_ENUM_FMT\n\t[0]: 'YUYV' (YUYV 4:2:2)\n\t[1]: 'GREY' (8-bit Greyscale)\n"
       "ioctl: VIDIOC_ENUMINPUT\n\tInput       : 0\n\tName        : Composite0\n"
       "\tType        : 0x00000002\n\n\tInput       : 1\n\tName        : S-Video\n",
       {"YUYV", "GREY"}, {{720, 480}, {640, 480}, {320, 240}}, {1001, 30000},
       {"Composite0", "S-Video"}},
      {"a standard of both families is one of 625 lines",
       "Video Standard = 0x0000b0ff\nFormat Video Capture:\n\tWidth/Height  : 320/240\n"
       "\tPixel Format  : 'YUYV'\nioctl: VIDIOC_ENUM_FMT\n\t[0]: 'YUYV' (YUYV 4:2:2)\n",
       {"YUYV"}, {{720, 576}, {640, 480}, {320, 240}}, {1, 25}, {"Camera 1"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const V4l2Description d = ReadV4l2Description(row.text, "/some/where/my-camera.txt");
    EXPECT_EQ(d.card, row.text.empty() ? "my-camera" : d.card);
    std::vector<std::string> formats;
    for (const auto& f : d.formats) formats.push_back(Fourcc(f.fourcc));
    EXPECT_EQ(formats, row.formats);
    if (!row.sizesOfFirst.empty()) {
      std::vector<std::pair<uint32_t, uint32_t>> sizes;
      for (const auto& s : d.formats[0].sizes) sizes.emplace_back(s.width, s.height);
      EXPECT_EQ(sizes, row.sizesOfFirst);
      const auto& first = d.formats[0].sizes[0];
      if (row.intervalOfFirst.denominator) {
        ASSERT_EQ(first.intervals.size(), 1u);
        EXPECT_EQ(first.intervals[0].numerator, row.intervalOfFirst.numerator);
        EXPECT_EQ(first.intervals[0].denominator, row.intervalOfFirst.denominator);
      } else {
        EXPECT_EQ(first.type, uint32_t{V4L2_FRMSIZE_TYPE_STEPWISE});
        EXPECT_EQ(first.intervalType, uint32_t{V4L2_FRMIVAL_TYPE_CONTINUOUS});
        EXPECT_EQ(std::pair(first.fastest.denominator, first.stepHeight), std::pair(30u, 8u));
      }
    }
    std::vector<std::string> inputs;
    for (const auto& input : d.inputs) inputs.push_back(NameOf(input.name, sizeof input.name));
    EXPECT_EQ(inputs, row.inputs);
    EXPECT_TRUE(d.problems.empty()) << d.problems[0].line << ": " << d.problems[0].text;
  }
}

TEST(V4l2Description, ControlsOfEveryTypeAStandardAndLinesItCannotRead) {
  const V4l2Description d = ParseV4l2Description(
      "User Controls\n"
      "\n"
      "                     brightness (int)    : min=-64 max=64 step=1 default=0 value=10\n"
      "                 pixel_rate 0x009f0902 (int64)  : min=1 max=9223372036854775807 step=1 "
      "default=1 value=96000000 flags=read-only\n"
      "               device_label 0x00981980 (str)    : min=0 max=32 step=1 value='Cam A'\n"
      "             restore_factory 0x00981981 (button) : flags=write-only, execute-on-write\n"
      "              private_gadget (bool)   : default=0 value=1\n"
      "some text a mail folded\n"
      "ioctl: VIDIOC_ENUMSTD\n\tIndex       : 0\n\tID          : 0x000000000000B000\n"
      "\tName        : NTSC\n");
  ASSERT_EQ(d.controls.size(), 5u);
  EXPECT_EQ(d.controls[0].id, uint32_t{V4L2_CID_BRIGHTNESS}) << "known names get their ids";
  EXPECT_EQ(d.controls[0].value, 10);
  EXPECT_EQ(d.controls[1].maximum, INT64_MAX);
  EXPECT_TRUE(d.controls[1].flags & V4L2_CTRL_FLAG_READ_ONLY);
  EXPECT_EQ(d.controls[2].text, "Cam A");
  EXPECT_EQ(d.controls[3].type, uint32_t{V4L2_CTRL_TYPE_BUTTON});
  EXPECT_GE(d.controls[4].id, uint32_t{V4L2_CID_USER_BASE | 0x1000}) << "a driver's own id";
  ASSERT_EQ(d.problems.size(), 1u);
  EXPECT_EQ(d.problems[0].line, 8);
  ASSERT_EQ(d.standards.size(), 1u);
  EXPECT_EQ(d.standards[0].id, v4l2_std_id{0xb000});
  EXPECT_EQ(NameOf(d.standards[0].name, sizeof d.standards[0].name), "NTSC");
}

// Damaged texts (cut anywhere, bytes changed) are read without fault: what a user pastes is not
// trusted.
TEST(V4l2Description, DamagedTextsAreReadWithoutFault) {
  for (const char* file : {"uvc-logitech-c920.txt", "usb-grabber-em28xx-em2860.txt",
                           "tv-saa7134-gigabyte-gtp8000-as-aopen-va1000.txt"}) {
    const std::string text = Sample(file);
    uint32_t seed = 12345;
    for (size_t cut = 0; cut < text.size(); cut += 97) {
      std::string damaged = text.substr(0, cut);
      for (int flips = 0; flips < 8 && !damaged.empty(); ++flips) {
        seed = seed * 1103515245 + 12345;
        damaged[seed % damaged.size()] = static_cast<char>(seed >> 16);
      }
      const V4l2Description d = ReadV4l2Description(damaged, file);
      for (const auto& format : d.formats) {
        ASSERT_FALSE(format.sizes.empty());
        for (const auto& size : format.sizes) EXPECT_LE(size.width * size.height, 16384u * 16384u);
      }
      for (const auto& control : d.controls) {
        if (control.type == V4L2_CTRL_TYPE_MENU) {
          EXPECT_LT(control.maximum - control.minimum, 1024);
        }
      }
      EXPECT_FALSE(d.inputs.empty());
    }
  }
}

}  // namespace
}  // namespace vidorra::test
