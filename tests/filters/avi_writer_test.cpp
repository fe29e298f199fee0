// AVI writer: frames placed by their time stamps, DV frames checked one by one, the frame rate
// from the stamps or a master stream, RIFF AVIX continuations, a second salvage; each file read
// back by our reader and ffprobe. Recordings through the mux: avi_mux_test; kills: avi_crash_test.
#include <gtest/gtest.h>

#include <functional>

#include "avi/AviLayout.h"
#include "avi/AviWriter.h"
#include "avi/PosixFileOutput.h"
#include "avi_test_support.h"
#include "dv/DvFrame.h"

namespace vidorra::avi {
namespace {

using test::DvFrameMaker;
using test::ReadBack;
using test::TempDir;

constexpr REFERENCE_TIME kPalFrame = 400000;

AviStreamFormat DvType1() {
  AviStreamFormat f;
  f.kind = AviStreamFormat::Kind::kDvType1;
  return f;
}

AviStreamFormat Pcm() {
  AviStreamFormat f;
  f.kind = AviStreamFormat::Kind::kAudio;
  f.wave = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  return f;
}

AviStreamFormat RawVideo(uint32_t compression, int width, int height, int bits,
                         REFERENCE_TIME perFrame = kPalFrame) {
  AviStreamFormat f;
  f.kind = AviStreamFormat::Kind::kVideo;
  f.bitmap = {40,
              width,
              height,
              1,
              static_cast<WORD>(bits),
              compression,
              static_cast<DWORD>(width * height * bits / 8),
              0,
              0,
              0,
              0};
  f.avgTimePerFrame = perFrame;
  return f;
}

REFERENCE_TIME FrameTime(uint64_t n) { return static_cast<REFERENCE_TIME>(n) * kPalFrame; }

// Writes a file at path: the streams, the samples `write` gives (it checks the writer's answers),
// the finish.
void WriteFile(const std::string& path, const std::vector<AviStreamFormat>& streams,
               const std::function<void(AviWriter&)>& write, AviWriterOptions options = {}) {
  PosixFileOutput out;
  ASSERT_EQ(out.Create(path), S_OK);
  AviWriter writer(out, options);
  for (size_t i = 0; i < streams.size(); ++i)
    ASSERT_EQ(writer.AddStream(streams[i]), static_cast<int>(i));
  ASSERT_EQ(writer.Start(), S_OK);
  write(writer);
  ASSERT_EQ(writer.Finish(), S_OK);
  ASSERT_EQ(out.Close(), S_OK);
}

// Each type-1 frame is checked as the first: a foreign one keeps its place as a dropped frame (a
// zero-length entry) and is counted; a frame of the other system ends the stream, whose header
// cannot describe it. Damaged frames: the mux's tests, end to end.
TEST(AviWriterDv, Type1FramesAreCheckedOneByOne) {
  DvFrameMaker pal;
  DvFrameMaker ntsc(dv::DvSystem::k525_60);
  ASSERT_TRUE(pal.ok() && ntsc.ok());
  auto cut = pal.Frame(5);
  cut.resize(dv::kFrameBytesPal / 2);
  for (const auto& [frame, answer] :
       {std::pair{cut, S_FALSE}, std::pair{ntsc.Frame(5), AviWriter::kStreamEnded}}) {
    SCOPED_TRACE(answer);
    const bool ended = answer == AviWriter::kStreamEnded;
    TempDir dir;
    const std::string path = dir.File("checked.avi");
    WriteFile(path, {DvType1()}, [&](AviWriter& writer) {
      for (int i = 0; i < 5; ++i)
        ASSERT_EQ(writer.WriteSample(0, pal.Frame(i), FrameTime(i)), S_OK);
      EXPECT_EQ(writer.WriteSample(0, frame, FrameTime(5)), answer);
      EXPECT_EQ(writer.WriteSample(0, pal.Frame(6), FrameTime(6)), ended ? answer : S_OK);
      EXPECT_EQ(writer.ChunkCount(0), ended ? 5u : 7u);
      EXPECT_EQ(writer.DroppedFrames(0), ended ? 0u : 1u);
    });
    const AviFileInfo info = ReadBack(path);
    ASSERT_EQ(info.streams[0].odmlChunks.size(), ended ? 5u : 7u);
    if (!ended) {
      EXPECT_EQ(info.streams[0].odmlChunks[5].size, 0u);
    }
    EXPECT_EQ(info.height, 576u);
    EXPECT_EQ(test::Probe(path, {.decode = true})[0].frames, ended ? 5 : 6);
  }
}

// Frames at 0, 1, 3, 7, 8 and a late stamp of 8: the gaps (one frame, then three) are kept as
// dropped frames, the late frame takes the next place.
TEST(AviWriterVideo, TimeStampsPlaceTheFramesAndGapsBecomeDroppedFrames) {
  TempDir dir;
  const std::string path = dir.File("gaps.avi");
  const std::vector<uint8_t> image(32 * 16 * 2, 0x40);
  WriteFile(path, {RawVideo(Fourcc("YUY2"), 32, 16, 16)}, [&](AviWriter& writer) {
    for (uint64_t n : {0, 1, 3, 7, 8}) ASSERT_EQ(writer.WriteSample(0, image, FrameTime(n)), S_OK);
    ASSERT_EQ(writer.WriteSample(0, image, FrameTime(8) + 1000), S_OK);
    EXPECT_EQ(writer.DroppedFrames(0), 4u);
    EXPECT_EQ(writer.ChunkCount(0), 10u);
  });
  const AviFileInfo info = ReadBack(path);
  const auto& chunks = info.streams[0].odmlChunks;
  ASSERT_EQ(chunks.size(), 10u);
  for (size_t k = 0; k < chunks.size(); ++k) {
    const bool dropped = k == 2 || (k >= 4 && k <= 6);
    EXPECT_EQ(chunks[k].size, dropped ? 0u : image.size()) << k;
    EXPECT_EQ(chunks[k].keyframe, !dropped) << k;
  }
  EXPECT_EQ(info.streams[0].length, 10u);
  EXPECT_NEAR(test::ProbeDuration(path), 10 * 0.04, 0.001);
}

// Without a rate in the format the first stamps give it; a master sound stream stretches the
// video to its own length (and a file may go without the old index).
TEST(AviWriterVideo, RateFromTheFirstStampsOrFromTheMasterStream) {
  TempDir dir;
  const std::vector<uint8_t> image(16 * 16 * 2, 1);
  WriteFile(dir.File("rate.avi"), {RawVideo(Fourcc("YUY2"), 16, 16, 16, 0)},
            [&](AviWriter& writer) {
              for (int i = 0; i < 10; ++i)
                ASSERT_EQ(writer.WriteSample(0, image, i * REFERENCE_TIME{333667}), S_OK);
            });
  const AviFileInfo rate = ReadBack(dir.File("rate.avi"));
  EXPECT_EQ(rate.streams[0].scale, 1001u);
  EXPECT_EQ(rate.streams[0].rate, 30000u);
  EXPECT_EQ(rate.microSecPerFrame, 33366u);

  const std::string path = dir.File("master.avi");
  AviWriterOptions options;
  options.masterStream = 1;
  options.compatibilityIndex = false;
  WriteFile(
      path, {RawVideo(Fourcc("YUY2"), 16, 16, 16), Pcm()},
      [&](AviWriter& writer) {
        // 24 video frames against 1 s of sound: the video must be stretched to 24 frames/s.
        for (int i = 0; i < 24; ++i) ASSERT_EQ(writer.WriteSample(0, image, std::nullopt), S_OK);
        ASSERT_EQ(writer.WriteSample(1, std::vector<uint8_t>(48000 * 4, 0), 0), S_OK);
      },
      options);
  const AviFileInfo info = ReadBack(path);
  EXPECT_EQ(info.streams[0].length, 24u);
  EXPECT_DOUBLE_EQ(static_cast<double>(info.streams[0].rate) / info.streams[0].scale, 24.0);
  EXPECT_EQ(info.streams[1].rate, 192000u);
  EXPECT_FALSE(info.hasIdx1);
  EXPECT_NEAR(test::Probe(path)[0].duration, 1.0, 0.001);
}

// DV video and PCM as two streams (type 2) over several RIFFs, several ix## slots a RIFF.
TEST(AviWriterOdml, AvixContinuationsKeepEveryFrame) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string path = dir.File("avix.avi");
  constexpr int kFrames = 120;
  AviWriterOptions options;
  options.riffLimitBytes = 3u << 20;  // about 21 frames a RIFF
  options.stdIndexCapacity = 16;
  AviStreamFormat dvsd = RawVideo(kFccDvsd, 720, 576, 24);
  dvsd.bitmap.biSizeImage = dv::kFrameBytesPal;
  WriteFile(
      path, {dvsd, Pcm()},
      [&](AviWriter& writer) {
        for (int i = 0; i < kFrames; ++i) {
          std::vector<int16_t> pcm;
          ASSERT_EQ(writer.WriteSample(0, maker.Frame(i, &pcm), FrameTime(i)), S_OK);
          ASSERT_EQ(
              writer.WriteSample(1, {reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2},
                                 FrameTime(i)),
              S_OK);
        }
      },
      options);
  const AviFileInfo info = ReadBack(path);
  EXPECT_GT(info.riffCount, 4u);
  for (uint32_t size : info.riffSizes) EXPECT_LE(size + 8u, 3u << 20);
  ASSERT_EQ(info.streams.size(), 2u);
  const auto& [video, sound] = std::tie(info.streams[0], info.streams[1]);
  EXPECT_EQ(std::tuple(video.handler, video.length, info.grandFrames),
            std::tuple(kFccDvsd, uint32_t{kFrames}, uint32_t{kFrames}));
  EXPECT_EQ(std::tuple(sound.type, sound.length, sound.sampleSize),
            std::tuple(kFccAuds, uint32_t{kFrames * 1920}, 4u));
  EXPECT_LT(info.totalFrames, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(info.idx1Chunks.size(), 2 * info.totalFrames);
  test::ExpectProbed(path, {"dvvideo", "pcm_s16le"}, kFrames);
  EXPECT_EQ(test::RecordedSoundSamples(path, 2), kFrames * 1920L);
}

// A queued output drops what was queued before its failure came to light, the description of
// a first salvage included: the salvage that follows writes the whole description again.
TEST(AviWriterOutput, ASecondSalvageDescribesEverythingAgain) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  test::MemoryOutput out(2048 * 20 + 9 * 144008 + 5000);
  AviWriter writer(out);
  ASSERT_EQ(writer.AddStream(DvType1()), 0);
  ASSERT_EQ(writer.Start(), S_OK);
  int written = 0;
  for (int i = 0; i < 30 && SUCCEEDED(writer.WriteSample(0, maker.Frame(i), FrameTime(i))); ++i) {
    if (++written == 4) {
      ASSERT_EQ(writer.Checkpoint(), S_OK);
    }
  }
  const std::vector<uint8_t> beforeSalvage = out.bytes;
  EXPECT_EQ(writer.Finish(), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  out.bytes = beforeSalvage;  // the first salvage's writes never reached the file
  EXPECT_EQ(writer.Salvage(HRESULT_FROM_WIN32(ERROR_DISK_FULL)),
            HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  TempDir dir;
  test::WriteBytes(dir.File("salvaged.avi"), out.bytes);
  const AviFileInfo info = ReadBack(dir.File("salvaged.avi"));
  EXPECT_EQ(info.streams[0].length, static_cast<uint32_t>(written));
  EXPECT_EQ(info.streams[0].odmlChunks.size(), static_cast<size_t>(written));
}

}  // namespace
}  // namespace vidorra::avi
