// AVI writer: frame placement by time stamps, frames checked one by one, master stream, RIFF AVIX
// continuations, files without idx1, a second salvage; each file read back by our reader and
// ffprobe. The DV type-1 file and uncompressed video: through the mux, in the DV and mux tests.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "avi/AviLayout.h"
#include "avi/AviReader.h"
#include "avi/AviWriter.h"
#include "avi/PosixFileOutput.h"
#include "dv/DvFrame.h"
#include "dv_test_support.h"

namespace vidorra::avi {
namespace {

using test::DvFrameMaker;
using test::Probe;
using test::ReadBack;
using test::TempDir;

constexpr REFERENCE_TIME kPalFrame = 400000;

AviStreamFormat DvType1() {
  AviStreamFormat f;
  f.kind = AviStreamFormat::Kind::kDvType1;
  f.name = "DV";
  return f;
}

AviStreamFormat Pcm(int rate = 48000, int channels = 2) {
  AviStreamFormat f;
  f.kind = AviStreamFormat::Kind::kAudio;
  f.wave.wFormatTag = WAVE_FORMAT_PCM;
  f.wave.nChannels = static_cast<WORD>(channels);
  f.wave.nSamplesPerSec = static_cast<DWORD>(rate);
  f.wave.wBitsPerSample = 16;
  f.wave.nBlockAlign = static_cast<WORD>(2 * channels);
  f.wave.nAvgBytesPerSec = static_cast<DWORD>(rate * 2 * channels);
  return f;
}

AviStreamFormat RawVideo(uint32_t compression, int width, int height, int bits,
                         REFERENCE_TIME perFrame = kPalFrame) {
  AviStreamFormat f;
  f.kind = AviStreamFormat::Kind::kVideo;
  f.bitmap.biSize = 40;
  f.bitmap.biWidth = width;
  f.bitmap.biHeight = height;
  f.bitmap.biPlanes = 1;
  f.bitmap.biBitCount = static_cast<WORD>(bits);
  f.bitmap.biCompression = compression;
  f.bitmap.biSizeImage = static_cast<DWORD>(width * height * bits / 8);
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
  for (size_t i = 0; i < streams.size(); ++i) {
    ASSERT_EQ(writer.AddStream(streams[i]), static_cast<int>(i));
  }
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
  const struct {
    const char* what;
    std::function<std::vector<uint8_t>()> frame;
    HRESULT answer;
  } cases[] = {
      {"frame cut short",
       [&] {
         auto f = pal.Frame(5);
         f.resize(dv::kFrameBytesPal / 2);
         return f;
       },
       S_FALSE},
      {"NTSC frame in a PAL stream", [&] { return ntsc.Frame(5); }, AviWriter::kStreamEnded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const bool ended = c.answer == AviWriter::kStreamEnded;
    TempDir dir;
    const std::string path = dir.File("checked.avi");
    WriteFile(path, {DvType1()}, [&](AviWriter& writer) {
      for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(writer.WriteSample(0, pal.Frame(i), FrameTime(i)), S_OK);
      }
      EXPECT_EQ(writer.WriteSample(0, c.frame(), FrameTime(5)), c.answer);
      EXPECT_EQ(writer.WriteSample(0, pal.Frame(6), FrameTime(6)), ended ? c.answer : S_OK);
      EXPECT_EQ(writer.ChunkCount(0), ended ? 5u : 7u);
      EXPECT_EQ(writer.DroppedFrames(0), ended ? 0u : 1u);
    });
    const AviFileInfo info = ReadBack(path);
    ASSERT_EQ(info.streams[0].odmlChunks.size(), ended ? 5u : 7u);
    if (!ended) {
      EXPECT_EQ(info.streams[0].odmlChunks[5].size, 0u);
    }
    EXPECT_EQ(info.height, 576u);
    EXPECT_EQ(Probe(path)[0].count, 6 - (ended ? 1 : 0));
  }
}

TEST(AviWriterVideo, GapsInTimeStampsBecomeDroppedFrames) {
  TempDir dir;
  const std::string path = dir.File("gaps.avi");
  const std::vector<uint8_t> image(32 * 16 * 2, 0x40);
  WriteFile(path, {RawVideo(Fourcc("YUY2"), 32, 16, 16)}, [&](AviWriter& writer) {
    // Frames 0, 1, 2, then 6 (3 dropped), then 7; a late stamp still takes the next place.
    for (uint64_t n : {0, 1, 2, 6, 7}) ASSERT_EQ(writer.WriteSample(0, image, FrameTime(n)), S_OK);
    ASSERT_EQ(writer.WriteSample(0, image, FrameTime(7) + 1000), S_OK);
    EXPECT_EQ(writer.DroppedFrames(0), 3u);
    EXPECT_EQ(writer.ChunkCount(0), 9u);
  });
  const AviFileInfo info = ReadBack(path);
  ASSERT_EQ(info.streams[0].odmlChunks.size(), 9u);
  EXPECT_EQ(info.streams[0].odmlChunks[3].size, 0u);
  EXPECT_EQ(info.streams[0].odmlChunks[5].size, 0u);
  EXPECT_FALSE(info.streams[0].odmlChunks[4].keyframe);
  EXPECT_EQ(info.streams[0].odmlChunks[6].size, image.size());
  EXPECT_EQ(info.streams[0].length, 9u);
  EXPECT_NEAR(test::ProbeFormatDuration(path), 9 * 0.04, 0.001);
}

TEST(AviWriterVideo, FrameRateFromFirstTimeStampsWhenFormatHasNone) {
  TempDir dir;
  const std::string path = dir.File("rate.avi");
  WriteFile(path, {RawVideo(Fourcc("YUY2"), 16, 16, 16, 0)}, [&](AviWriter& writer) {
    const std::vector<uint8_t> image(16 * 16 * 2, 1);
    constexpr REFERENCE_TIME kNtsc = 333667;
    for (int i = 0; i < 10; ++i) ASSERT_EQ(writer.WriteSample(0, image, i * kNtsc), S_OK);
  });
  const AviFileInfo info = ReadBack(path);
  EXPECT_EQ(info.streams[0].scale, 1001u);
  EXPECT_EQ(info.streams[0].rate, 30000u);
  EXPECT_EQ(info.streams[0].length, 10u);
  EXPECT_EQ(info.microSecPerFrame, 33366u);
}

TEST(AviWriterVideo, MasterAudioStreamSetsTheVideoRate) {
  TempDir dir;
  const std::string path = dir.File("master.avi");
  AviWriterOptions options;
  options.masterStream = 1;
  WriteFile(
      path, {RawVideo(Fourcc("YUY2"), 16, 16, 16), Pcm()},
      [](AviWriter& writer) {
        // 24 video frames against 1 s of sound: the video must be stretched to 24 frames/s.
        const std::vector<uint8_t> image(16 * 16 * 2, 1), sound(48000 * 4, 0);
        for (int i = 0; i < 24; ++i) ASSERT_EQ(writer.WriteSample(0, image, std::nullopt), S_OK);
        ASSERT_EQ(writer.WriteSample(1, sound, 0), S_OK);
      },
      options);
  const AviFileInfo info = ReadBack(path);
  const auto& v = info.streams[0];
  EXPECT_EQ(v.length, 24u);
  EXPECT_DOUBLE_EQ(static_cast<double>(v.rate) / v.scale, 24.0);
  EXPECT_EQ(info.streams[1].rate, 192000u);
  EXPECT_NEAR(Probe(path)[0].duration, 1.0, 0.001);
}

// DV video and PCM as two streams (type 2) over several RIFFs.
TEST(AviWriterOdml, AvixContinuationsKeepEveryFrame) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string path = dir.File("avix.avi");
  constexpr int kFrames = 120;
  AviWriterOptions options;
  options.riffLimitBytes = 3u << 20;  // about 21 frames a RIFF
  options.stdIndexCapacity = 16;      // several ix## slots per RIFF
  AviStreamFormat dvsd = RawVideo(kFccDvsd, 720, 576, 24);
  dvsd.bitmap.biSizeImage = dv::kFrameBytesPal;
  WriteFile(
      path, {dvsd, Pcm()},
      [&](AviWriter& writer) {
        for (int i = 0; i < kFrames; ++i) {
          std::vector<int16_t> pcm;
          ASSERT_EQ(writer.WriteSample(0, maker.Frame(i, &pcm), FrameTime(i)), S_OK);
          const std::span<const uint8_t> bytes{reinterpret_cast<const uint8_t*>(pcm.data()),
                                               pcm.size() * 2};
          ASSERT_EQ(writer.WriteSample(1, bytes, FrameTime(i)), S_OK);
        }
      },
      options);
  const AviFileInfo info = ReadBack(path);
  EXPECT_GT(info.riffCount, 4u);
  for (uint32_t size : info.riffSizes) EXPECT_LE(size + 8u, 3u << 20);
  ASSERT_EQ(info.streams.size(), 2u);
  EXPECT_EQ(info.streams[0].type, kFccVids);
  EXPECT_EQ(info.streams[0].handler, kFccDvsd);
  EXPECT_EQ(info.streams[0].length, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(info.streams[1].type, kFccAuds);
  EXPECT_EQ(info.streams[1].length, static_cast<uint32_t>(kFrames * 1920));
  EXPECT_EQ(info.streams[1].sampleSize, 4u);
  EXPECT_EQ(info.grandFrames, static_cast<uint32_t>(kFrames));
  EXPECT_LT(info.totalFrames, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(info.idx1Chunks.size(), 2 * info.totalFrames);
  test::ExpectProbed(path, {"dvvideo", "pcm_s16le"}, kFrames);
  EXPECT_EQ(test::DecodedAudioSamples(path, 2), kFrames * 1920L);
}

TEST(AviWriterOdml, NoCompatibilityIndexMeansNoIdx1) {
  test::MemoryOutput out;
  AviWriterOptions options;
  options.compatibilityIndex = false;
  AviWriter writer(out, options);
  ASSERT_EQ(writer.AddStream(Pcm()), 0);
  ASSERT_EQ(writer.Start(), S_OK);
  std::vector<uint8_t> sound(4800, 0);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(writer.WriteSample(0, sound, std::nullopt), S_OK);
  ASSERT_EQ(writer.Finish(), S_OK);
  const std::vector<uint8_t> idx1 = {'i', 'd', 'x', '1'};
  EXPECT_EQ(std::search(out.bytes.begin(), out.bytes.end(), idx1.begin(), idx1.end()),
            out.bytes.end());
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
  for (int i = 0; i < 30; ++i) {
    if (FAILED(writer.WriteSample(0, maker.Frame(i), FrameTime(i)))) break;
    if (++written == 4) {
      ASSERT_EQ(writer.Checkpoint(), S_OK);
    }
  }
  const std::vector<uint8_t> beforeSalvage = out.bytes;
  EXPECT_EQ(writer.Finish(), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  out.bytes = beforeSalvage;  // the first salvage's writes never reached the file
  EXPECT_EQ(writer.Salvage(HRESULT_FROM_WIN32(ERROR_DISK_FULL)), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  TempDir dir;
  const std::string path = dir.File("salvaged.avi");
  test::WriteBytes(path, out.bytes);
  const AviFileInfo info = ReadBack(path);
  EXPECT_EQ(info.streams[0].length, static_cast<uint32_t>(written));
  EXPECT_EQ(info.streams[0].odmlChunks.size(), static_cast<size_t>(written));
}

}  // namespace
}  // namespace vidorra::avi
