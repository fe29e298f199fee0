// Devices replayed on the simulated machine through the real backends at their seams: V4L2
// devices from their v4l2-ctl descriptions (the default mode, frames in every pixel format) and
// DV camcorders whose tapes are DV files (real-time delivery of the file's frames, the tape's
// position kept).

#include "device_test_support.h"
#include "replay/V4l2Description.h"

namespace vidorra::test {
namespace {

using Watched = LiveGraph<PatternSink>;

// Consecutive numbers, readable all.
testing::AssertionResult Consecutive(const std::vector<std::optional<uint32_t>>& numbers) {
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (!numbers[i]) return testing::AssertionFailure() << "frame " << i << " has no number";
    if (i > 0 && *numbers[i] != *numbers[i - 1] + 1) {
      return testing::AssertionFailure() << "frame " << i << " is " << *numbers[i] << " after "
                                         << *numbers[i - 1];
    }
  }
  return testing::AssertionSuccess();
}

// The description of a one-mode device in `fourcc` (HM12 at 720x576, the others at 320x240).
std::string OneMode(const std::string& fourcc) {
  const std::string size = fourcc == "HM12" ? "720x576" : "320x240";
  return "Driver Info:\n\tCard type        : Cam " + fourcc + "\n"
         "ioctl: VIDIOC_ENUM_FMT\n\tType: Video Capture\n\n\t[0]: '" + fourcc + "' (a format)\n"
         "\t\tSize: Discrete " + size + "\n\t\t\tInterval: Discrete 0.033s (30.000 fps)\n";
}

// A machine of replayed V4L2 devices, their descriptions (file name, text) written in `dir`.
ScopedMachine V4l2Machine(const TempDir& dir,
                          const std::vector<std::pair<std::string, std::string>>& devices) {
  std::string lines;
  for (const auto& [name, text] : devices) {
    std::ofstream(dir.File(name + ".txt")) << text;
    lines += "video v4l2 " + dir.File(name + ".txt") + "\n";
  }
  return ScopedMachine(lines);
}

// Frames in every pixel format a V4L2 device gives are drawn, read by the backend into their
// media type and shown by the preview's converters with their numbers. Some are also recorded
// as they come: each pixel format under the fourcc players know it by (RGB as a bitmap, JPEG
// staying JPEG), every frame there with its number.
TEST(ReplayedV4l2, FramesOfEveryPixelFormatArePreviewedAndRecordedWithTheirNumbers) {
  const struct {
    const char* fourcc;
    const char* probed;  // codec and tag as ffprobe reads them (null: not recorded)
  } rows[] = {{"YUYV", nullptr}, {"UYVY", nullptr}, {"YVYU", "rawvideo,YVYU"}, {"NV12", "rawvideo,NV12"},
              {"NV21", nullptr}, {"YU12", "rawvideo,I420"}, {"YV12", nullptr}, {"HM12", nullptr},
              {"GREY", "rawvideo,Y800"}, {"RGB3", nullptr}, {"BGR3", nullptr}, {"BGR4", "rawvideo,[0][0][0][0]"},
              {"RGB4", nullptr}, {"XR24", nullptr}, {"MJPG", "mjpeg,MJPG"}};
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> devices;
  for (const auto& row : rows) devices.emplace_back(row.fourcc, OneMode(row.fourcc));
  const ScopedMachine machine = V4l2Machine(dir, devices);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fourcc);
    const std::wstring name = Utf8ToWide(std::string("Cam ") + row.fourcc);
    {
      Watched w(BindDevice(CLSID_VideoInputDeviceCategory, name));
      ASSERT_TRUE(w.device);
      ASSERT_EQ(S_OK, w.Run());
      EXPECT_TRUE(WaitUntil([&] { return w.sink->Count() >= 3u; }));
      w.Stop();
      EXPECT_TRUE(Consecutive(w.sink->Numbers()));
    }
    if (!row.probed) continue;
    ClockedGraph g;
    ASSERT_EQ(S_OK, g.graph->SetDefaultSyncSource());  // the system's clock, as the program has
    ComPtr<IBaseFilter> device = g.AddDevice(CLSID_VideoInputDeviceCategory, name);
    ASSERT_TRUE(device);
    const std::string path = dir.File(std::string(row.fourcc) + ".avi");
    ComPtr<IBaseFilter> mux;
    ASSERT_EQ(S_OK, g.builder->SetOutputFileName(&MEDIASUBTYPE_Avi, Utf8ToWide(path).c_str(),
                                                 mux.GetAddressOf(), nullptr));
    ASSERT_EQ(S_OK, g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, device.Get(),
                                            nullptr, mux.Get()));
    ComPtr<IPin> capture = CapturePinOf(device.Get());
    ASSERT_EQ(S_OK, RunGraph(g.graph.Get()));
    ASSERT_TRUE(WaitUntil([&] { return Delivered(capture.Get()) >= 5; }));
    ASSERT_EQ(S_OK, g.Stop());
    const std::string probed = RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,codec_tag_string "
        "-of csv=p=0 " + path);
    EXPECT_EQ(probed, std::string(row.probed) + "\n");
    const auto numbers = RecordedFrameNumbers(path, 320, 240);
    EXPECT_GE(numbers.size(), 5u);
    EXPECT_TRUE(Consecutive(numbers));
  }
}

// Which mode a device starts in: its current one when it can be shown at 10 frames/s or more,
// else the largest picture up to 1920x1080 at 20 frames/s or more (4:2:2 before MJPEG before
// 4:2:0 before RGB, whatever their rates), else the fastest that can be shown.
TEST(ReplayedV4l2, TheDefaultModeIsOneThePreviewShows) {
  const std::string modes =
      "ioctl: VIDIOC_ENUM_FMT\n\tType: Video Capture\n\n"
      "\t[0]: 'H264' (H.264, compressed)\n\t\tSize: Discrete 1920x1080\n"
      "\t\t\tInterval: Discrete 0.033s (30.000 fps)\n"
      "\t[1]: 'YUYV' (YUYV 4:2:2)\n\t\tSize: Discrete 640x480\n"
      "\t\t\tInterval: Discrete 0.033s (30.000 fps)\n\t\tSize: Discrete 1920x1080\n"
      "\t\t\tInterval: Discrete 0.200s (5.000 fps)\n"
      "\t[2]: 'NV12' (Y/CbCr 4:2:0)\n\t\tSize: Discrete 1280x720\n"
      "\t\t\tInterval: Discrete 0.033s (30.000 fps)\n\t\tSize: Discrete 1920x1080\n"
      "\t\t\tInterval: Discrete 0.033s (30.000 fps)\n"
      "\t[3]: 'MJPG' (Motion-JPEG, compressed)\n\t\tSize: Discrete 1920x1080\n"
      "\t\t\tInterval: Discrete 0.033s (30.000 fps)\n\t\tSize: Discrete 2560x1440\n"
      "\t\t\tInterval: Discrete 0.033s (30.000 fps)\n";
  auto current = [](const char* fourcc, const char* size, const char* fps) {
    return std::string("Format Video Capture:\n\tWidth/Height : ") + size +
           "\n\tPixel Format : '" + fourcc + "'\nStreaming Parameters Video Capture:\n"
           "\tFrames per second: " + fps + "\n";
  };
  const struct {
    const char* why;
    std::string text;
    GUID subtype;
    std::pair<int, int> size;
  } rows[] = {
      {"the current mode", current("NV12", "1280/720", "30.000 (30/1)") + modes,
       MEDIASUBTYPE_NV12, {1280, 720}},
      {"the current mode is too slow: MJPEG beats 4:2:0 at 1080 lines, 1440 is too large",
       current("YUYV", "1920/1080", "5.000 (5/1)") + modes, MEDIASUBTYPE_MJPG, {1920, 1080}},
      {"the current mode cannot be shown", current("H264", "1920/1080", "30.000 (30/1)") + modes,
       MEDIASUBTYPE_MJPG, {1920, 1080}},
      {"nothing at 20 frames/s: the fastest",
       "ioctl: VIDIOC_ENUM_FMT\n\t[0]: 'YUYV' (YUYV 4:2:2)\n\t\tSize: Discrete 2592x1944\n"
       "\t\t\tInterval: Discrete 0.500s (2.000 fps)\n\t\tSize: Discrete 1600x1200\n"
       "\t\t\tInterval: Discrete 0.200s (5.000 fps)\n",
       MEDIASUBTYPE_YUY2, {1600, 1200}},
  };
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> devices;
  for (size_t i = 0; i < std::size(rows); ++i) {
    const std::string card = "Cam " + std::to_string(i);
    devices.emplace_back(card, "Driver Info:\n\tCard type : " + card + "\n" + rows[i].text);
  }
  const ScopedMachine machine = V4l2Machine(dir, devices);
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].why);
    ComPtr<IBaseFilter> device =
        BindDevice(CLSID_VideoInputDeviceCategory, L"Cam " + std::to_wstring(i));
    ASSERT_TRUE(device);
    const CMediaType first = Capability(CapturePinOf(device.Get()).Get(), 0);
    EXPECT_EQ(first.subtype, rows[i].subtype);
    EXPECT_EQ(VideoSizeOf(first), rows[i].size);
  }
}

// The camcorder plays its tape in real time from where it was, the file's frames as they are;
// at the end of the recorded area it sends nothing more and the graph hears of no end.
TEST(DvTapeCamcorder, PlaysTheFileInRealTimeFromWhereItStoppedUntilItsEnd) {
  TempDir dir;
  WriteTape(dir.File("Vacances 1998.dv"), dv::DvSystem::k525_60, 40);
  ScopedMachine machine("video dvfile " + dir.File("Vacances 1998.dv") + "\n");
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory),
            std::vector<std::wstring>{L"Caméscope DV (Vacances 1998.dv)"});
  Watched w(BindDevice(CLSID_VideoInputDeviceCategory, L"Caméscope DV (Vacances 1998.dv)"));
  ASSERT_TRUE(w.device);
  const CMediaType first = Capability(w.capture.Get(), 0);
  EXPECT_EQ(first.majortype, MEDIATYPE_Interleaved);
  EXPECT_EQ(first.lSampleSize, 120000u) << "the tape's system (NTSC) first";
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(S_OK, w.Run());
  ASSERT_TRUE(WaitUntil([&] { return w.sink->Count() >= 8u; }));
  const auto seen = w.sink->Numbers();  // each arrived before `took` ends
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  w.Stop();
  const size_t played = w.sink->Count();
  ASSERT_EQ(S_OK, w.Run());
  ASSERT_TRUE(WaitUntil([&] { return w.sink->Count() > played && w.sink->Numbers().back() >= 35u; }));
  // The tape's end: no more frames, and no end of stream for a live source.
  EXPECT_FALSE(
      WaitUntil([&] { return NextGraphEvent(w.graph.Get(), {EC_COMPLETE}, 0).has_value(); },
                std::chrono::milliseconds(800)));
  EXPECT_LE(w.sink->Numbers().back(), 39u);
  w.Stop();
  // In the file's order, from its start, the second run going on where the first stopped (a
  // reader more than a few frames late on a busy machine loses some, as from a real camcorder).
  const auto numbers = w.sink->Numbers();
  ASSERT_GT(numbers.size(), played);
  EXPECT_EQ(numbers.front(), std::optional<uint32_t>(0));
  for (size_t i = 1; i < numbers.size(); ++i) {
    ASSERT_TRUE(numbers[i] && numbers[i - 1]);
    EXPECT_GT(*numbers[i], *numbers[i - 1]) << "frame " << i;
  }
  // Played in real time: one frame every 1001/30000 s, of stream time and of the clock on the
  // wall, never faster.
  const auto starts = w.sink->Starts();
  const REFERENCE_TIME span = starts[played - 1] - starts[0];
  const auto frames = static_cast<double>(*numbers[played - 1] - *numbers[0]);
  EXPECT_GE(static_cast<double>(span), 0.8 * 333667.0 * frames);
  EXPECT_GE(took.count(), 0.8 * 0.0333667 * (seen.back().value_or(0) - seen.front().value_or(0)));
}

}  // namespace
}  // namespace vidorra::test
