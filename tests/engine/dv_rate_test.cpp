// A DV type 2 recording in which the camcorder lost a frame keeps DV's exact rate: the lost
// frame keeps its place as an empty chunk, its sound is silence, and picture and sound last as
// long. The camcorder runs on a clock the test moves: one jump of one frame period more than
// the device keeps makes it a reader late enough to lose its oldest queued frame, as on a
// machine busy for longer than the device's queue lasts. Read back by our
// reader and by ffprobe and ffmpeg.
#include <DeviceBackend.h>

#include "../filters/avi_test_support.h"
#include "EngineTestSupport.h"
#include "avi/AviMux.h"

using namespace engine_test;

namespace {

constexpr REFERENCE_TIME kPeriod = 400000;  // PAL
constexpr long kFrames = 60;                // frames the camcorder makes, the lost one with them
constexpr long kLost = 30;
constexpr uint32_t kSamplesPerFrame = 1920;  // 48 kHz
constexpr uint32_t kBlock = 4;               // 16-bit stereo

TEST_F(EngineTest, ADVType2RecordingKeepsDVsRateAcrossAFrameTheCamcorderLost) {
  TdmCam& dm = Prepare("video dv Caméscope DV\n");
  ASSERT_TRUE(Select("Caméscope DV"));
  dm.RecordDVAudio = true;
  ASSERT_TRUE(dm.BuildPreviewGraph(window_->MemberFilter()));
  const std::string path = dir_.filePath(QStringLiteral("lost.avi")).toStdString();
  ASSERT_TRUE(dm.BuildDVType2CaptureGraph(QString::fromStdString(path)));
  const auto clock = MakeComObject<vt::TestManualClock>();
  ASSERT_EQ(QueryAs<IMediaFilter>(Graph().Get())->SetSyncSource(clock.Get()), S_OK);
  const ComPtr<IPin> capture = vt::CapturePinOf(QueryAs<IBaseFilter>(dm.VideoSource).Get());
  auto* mux = static_cast<vidorra::filters::CAviMux*>(dm.AviMux.Get());

  // Stream time 0 at clock time 0; each frame waited for before the clock moves on.
  ASSERT_EQ(QueryAs<IMediaFilter>(Graph().Get())->Run(0), S_OK);
  auto stepTo = [&](long frames) {
    for (long n = vt::Delivered(capture.Get()); n < frames; n = vt::Delivered(capture.Get())) {
      clock->AdvanceTo((n + vt::Dropped(capture.Get())) * kPeriod);
      if (!vt::WaitUntil([&] { return vt::Delivered(capture.Get()) > n; })) return false;
    }
    return true;
  };
  ASSERT_TRUE(stepTo(kLost));
  constexpr long kKept = static_cast<long>(vidorra::devices::kDeviceQueueFrames);
  clock->AdvanceTo((kLost + kKept) * kPeriod);
  ASSERT_TRUE(vt::WaitUntil([&] { return vt::Delivered(capture.Get()) == kLost + kKept; }));
  ASSERT_EQ(vt::Dropped(capture.Get()), 1) << "one frame lost";
  ASSERT_TRUE(stepTo(kFrames - 1));
  // Every frame and its sound in the file (the sound comes through a queue), then the end.
  const auto whole = [&] {
    return mux->ChunksWritten(0) == kFrames && mux->ChunksWritten(1) == kFrames;
  };
  EXPECT_TRUE(vt::WaitUntil(whole)) << mux->ChunksWritten(1) << " sound chunks";
  ASSERT_TRUE(dm.fg->StopGraph());

  // Our reader: 25/1, the lost frame's slot empty at its place, its sound silence.
  const vidorra::avi::AviFileInfo info = vt::ReadBack(path);
  ASSERT_EQ(info.streams.size(), 2u);
  const vidorra::avi::AviStreamInfo& video = info.streams[0];
  const vidorra::avi::AviStreamInfo& sound = info.streams[1];
  EXPECT_EQ(std::pair(video.rate, video.scale), std::pair(25u, 1u));
  EXPECT_EQ(video.length, static_cast<uint32_t>(kFrames));
  ASSERT_EQ(video.odmlChunks.size(), static_cast<size_t>(kFrames));
  for (long k = 0; k < kFrames; ++k) {
    EXPECT_EQ(video.odmlChunks[k].size, k == kLost ? 0u : 144000u) << "frame " << k;
  }
  EXPECT_EQ(std::pair(sound.rate, sound.scale), std::pair(48000 * kBlock, kBlock));
  EXPECT_EQ(sound.length, kFrames * kSamplesPerFrame) << "as long as the picture";
  ASSERT_EQ(sound.odmlChunks.size(), static_cast<size_t>(kFrames));
  std::vector<uint8_t> silence;
  ASSERT_TRUE(vidorra::avi::AviReader::ReadChunk(path, sound.odmlChunks[kLost], silence));
  EXPECT_EQ(silence, std::vector<uint8_t>(kSamplesPerFrame * kBlock, 0));

  // ffprobe and ffmpeg: exactly 25 frames/s, the sound as long as the picture within a sample.
  EXPECT_EQ(vt::RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                           "stream=r_frame_rate,avg_frame_rate -of csv=p=0 " +
                           vt::Quote(path)),
            "25/1,25/1\n");
  const std::vector<vt::ProbedStream> probed = vt::Probe(path);
  ASSERT_EQ(probed.size(), 2u);
  EXPECT_DOUBLE_EQ(probed[0].duration, kFrames / 25.0);
  const long samples = vt::RecordedSoundSamples(path, 2);
  EXPECT_NEAR(static_cast<double>(samples) / 48000, probed[0].duration, 1.0 / 48000);

  // ffmpeg's pictures: numbers consecutive but for the lost one.
  const auto numbers = vt::RecordedFrameNumbers(path, 720, 576);
  ASSERT_EQ(numbers.size(), static_cast<size_t>(kFrames - 1));
  for (size_t i = 1; i < numbers.size(); ++i) {
    ASSERT_TRUE(numbers[i] && numbers[i - 1]) << i;
    EXPECT_EQ(*numbers[i] - *numbers[i - 1], i == kLost ? 2u : 1u) << "picture " << i;
  }
}

}  // namespace
