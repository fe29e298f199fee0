// A recording of each kind of device through the capture graph builder into an AVI file, on a
// clock the test moves, read back with ffprobe (codec, size, rate, frame count, sound) and with
// our AVI reader, and every recorded picture's frame number read back from the picture; a sound
// device recorded beside a picture.
#include <avi/AviLayout.h>
#include <avi/AviReader.h>

#include "device_test_support.h"

namespace vidorra::test {
namespace {

constexpr long kFrames = 12;

// A camcorder's recording (codec dvvideo) is of interleaved DV with its sound, 1920 samples
// of 48 kHz a PAL frame, 1602 an NTSC one (1600 in frames numbered by a multiple of five).
struct Recording {
  const char* line;  // the machine file's line
  std::wstring device;
  int capability;     // the format chosen on the capture pin
  const char* codec;  // as ffprobe names it
  int width, height;
  REFERENCE_TIME interval;
};

const Recording kRecordings[] = {
    {"video dv Camcorder", L"Camcorder", 0, "dvvideo", 720, 576, 400000},
    {"video dv-ntsc Camcorder", L"Camcorder", 0, "dvvideo", 720, 480, 333667},
    {"video webcam Webcam", L"Webcam", 0, "rawvideo", 640, 480, 333333},
    {"video webcam Webcam", L"Webcam", 4, "mjpeg", 1280, 720, 333333},
    // The sound device recorded beside the picture.
    {"video capture Grabber\naudio tone Tone", L"Grabber", 0, "rawvideo", 720, 576, 400000},
    {"video tv Carte TV", L"Carte TV", 2, "rawvideo", 320, 240, 400000},
    {"video tv2 Double", L"Double", 2, "rawvideo", 320, 240, 400000},
    {"video vfw Old Driver", L"Old Driver", 2, "rawvideo", 320, 240, 333333},
    {"video videoport Port", L"Port", 1, "rawvideo", 320, 240, 400000},
};

class Recordings : public ::testing::TestWithParam<Recording> {};

TEST_P(Recordings, RecordsEveryFrameReadBackByFfprobeAndOurReader) {
  const Recording& r = GetParam();
  ScopedMachine machine(std::string(r.line) + "\n");
  TempDir folder;
  const std::string path = folder.File("recording.avi");
  const bool dv = r.codec == std::string("dvvideo");
  ClockedGraph g;
  ComPtr<IBaseFilter> device = g.AddDevice(CLSID_VideoInputDeviceCategory, r.device);
  ASSERT_TRUE(device);
  ComPtr<IPin> capture = CapturePinOf(device.Get());
  ASSERT_EQ(S_OK, ChooseCapability(capture.Get(), r.capability));
  const GUID major = Capability(capture.Get(), r.capability).majortype;
  ComPtr<IBaseFilter> tone;
  if (std::string(r.line).ends_with("Tone"))
    tone = g.AddDevice(CLSID_AudioInputDeviceCategory, L"Tone");

  ComPtr<IBaseFilter> mux;
  ASSERT_EQ(S_OK, g.builder->SetOutputFileName(&MEDIASUBTYPE_Avi, Utf8ToWide(path).c_str(),
                                               mux.GetAddressOf(), nullptr));
  ASSERT_EQ(S_OK, g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &major, device.Get(), nullptr,
                                          mux.Get()));
  ASSERT_TRUE(!tone || g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, tone.Get(),
                                               nullptr, mux.Get()) == S_OK);
  ASSERT_EQ(S_OK, g.Run());
  ASSERT_TRUE(StepFrames(g, capture.Get(), kFrames, r.interval));
  // Sound buffers of 20 ms complete every other frame time: 22 of them by frame 11.
  ASSERT_TRUE(!tone || WaitUntil([&] {
    return Delivered(CapturePinOf(tone.Get()).Get()) == 2 * (kFrames - 1);
  }));
  ASSERT_EQ(S_OK, g.Stop());
  EXPECT_EQ(Dropped(capture.Get()), 0);

  const auto streams = Probe(path);
  ASSERT_FALSE(streams.empty());
  const ProbedStream& video = streams[0];
  EXPECT_EQ(std::tuple(video.type, video.codec, video.width, video.height, video.frames),
            std::tuple("video", r.codec, r.width, r.height, kFrames));
  const double rate = 1e7 / static_cast<double>(r.interval);
  EXPECT_NEAR(video.frameRate, rate, 0.01);
  EXPECT_NEAR(ProbeDuration(path) * rate, kFrames, 1.0);
  const auto recorded = RecordedFrameNumbers(path, r.width, r.height);
  const auto numbers = FromFirst(recorded);
  ASSERT_EQ(numbers.size(), static_cast<size_t>(kFrames));
  for (size_t n = 0; n < numbers.size(); ++n) EXPECT_EQ(numbers[n], n) << "picture " << n;
  if (dv) {
    long sound = 0;
    for (const auto& n : recorded)
      sound += r.height == 576 ? 1920 : n.value_or(1) % 5 ? 1602 : 1600;
    ASSERT_EQ(streams.size(), 2u) << "a camcorder records its sound in the DV frames";
    EXPECT_EQ(std::tuple(streams[1].sampleRate, streams[1].channels, RecordedSoundSamples(path, 2)),
              std::tuple(48000, 2, sound));
  }
  if (tone) {
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(std::tuple(streams[1].codec, streams[1].sampleRate, RecordedSoundSamples(path, 2)),
              std::tuple("pcm_s16le", 48000, 2 * (kFrames - 1) * 960));
  }

  std::string error;
  const auto file = avi::AviReader::Read(path, &error);
  ASSERT_TRUE(file) << error;
  ASSERT_EQ(file->streams.size(), tone ? 2u : 1u);
  EXPECT_EQ(std::tuple(file->streams[0].type, file->streams[0].length, file->idx1Chunks.size()),
            std::tuple(avi::Fourcc(dv ? "iavs" : "vids"), static_cast<uint32_t>(kFrames),
                       static_cast<size_t>(kFrames + (tone ? 2 * (kFrames - 1) : 0))));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, Recordings, ::testing::ValuesIn(kRecordings),
                         [](const auto& info) {
                           std::string name = std::string(info.param.line).substr(6);
                           name = name.substr(0, name.find(' ')) + std::to_string(info.index);
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace
}  // namespace vidorra::test
