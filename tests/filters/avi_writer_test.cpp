// AVI writer: frames placed by their time stamps, the frame rate from the stamps, sound locked to
// the picture or not, files past 1 GiB (and 4 GiB, long), a second salvage; each file read back
// by our reader and ffprobe. RIFF AVIX continuations, kills and repairs: avi_crash_test;
// recordings through the mux (DV type-1 frames checked one by one): avi_mux_test.
#include <gtest/gtest.h>

#include "avi/AviLayout.h"
#include "avi_test_support.h"

namespace vidorra::avi {
namespace {

using namespace test;

constexpr REFERENCE_TIME kNtscFrame = 333667;

// Without a rate in the format the first stamps give it (NTSC's here). Frames at 0, 1, 3, 7, 8
// and a late stamp of 8: the gaps (one frame, then three) are kept as dropped frames, the late
// frame takes the next place. A file may go without the old index.
TEST(AviWriterVideo, TimeStampsGiveTheRatePlaceTheFramesAndGapsBecomeDroppedFrames) {
  TempDir dir;
  const std::string path = dir.File("gaps.avi");
  const std::vector<uint8_t> image(32 * 16 * 2, 0x40);
  WriteAvi(path, {VideoStream(Fourcc("YUY2"), 32, 16, 16, 0)},
           [&](AviWriter& writer) {
             for (int n : {0, 1, 3, 7, 8})
               ASSERT_EQ(writer.WriteSample(0, image, n * kNtscFrame), S_OK);
             ASSERT_EQ(writer.WriteSample(0, image, 8 * kNtscFrame + 1000), S_OK);
             EXPECT_EQ(std::pair(writer.DroppedFrames(0), writer.ChunkCount(0)),
                       std::pair(4ul, 10ul));
           },
           {.compatibilityIndex = false});
  const AviFileInfo info = ReadBack(path);
  std::string chunks;  // a written frame x, a dropped one . (no bytes, not a key frame)
  for (const AviChunkRef& c : info.streams[0].odmlChunks)
    chunks += c.size == image.size() && c.keyframe ? 'x' : c.size == 0 && !c.keyframe ? '.' : '?';
  EXPECT_EQ(chunks, "xx.x...xxx");
  EXPECT_EQ(std::tuple(info.streams[0].length, info.streams[0].scale, info.streams[0].rate,
                       info.microSecPerFrame),
            std::tuple(10u, 1001u, 30000u, 33366u));
  EXPECT_FALSE(info.hasIdx1);
  EXPECT_NEAR(test::ProbeDuration(path), 10 * 1001 / 30000.0, 0.001);
}

// Big files with the default RIFF limit: frames of 4 MiB of RGB32 keep the test fast.
void WriteBigFileAndCheck(uint64_t targetBytes) {
  TempDir dir;
  const std::string path = dir.File("big.avi");
  const AviStreamFormat rgb = VideoStream(BI_RGB, 1024, 1024, 32);
  const int frames = static_cast<int>(targetBytes / rgb.bitmap.biSizeImage) + 1;
  WriteAvi(path, {rgb}, [&](AviWriter& writer) {
    std::vector<uint8_t> image(rgb.bitmap.biSizeImage, 0x55);
    for (int n = 0; n < frames; ++n) {
      PutU32(image.data(), static_cast<uint32_t>(n));
      ASSERT_EQ(writer.WriteSample(0, image, FrameTime(n)), S_OK);
    }
  });
  const AviFileInfo info = ReadBack(path);
  EXPECT_GE(info.riffCount, targetBytes >> 30);
  const auto& s = info.streams[0];
  EXPECT_EQ(std::pair(s.length, info.grandFrames), std::pair(uint32_t(frames), uint32_t(frames)));
  ASSERT_EQ(s.odmlChunks.size(), static_cast<size_t>(frames));
  for (int n : {0, frames / 2, frames - 1}) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(AviReader::ReadChunk(path, s.odmlChunks[n], bytes));
    EXPECT_EQ(GetU32(bytes.data()), static_cast<uint32_t>(n));
  }
  EXPECT_EQ(test::Probe(path).at(0).frames, frames);
}

TEST(AviBigFile, PastOneGibEveryFrameIsRead) {
  WriteBigFileAndCheck((uint64_t{1} << 30) + (64u << 20));
}

TEST(AviLongBigFile, PastFourGibEveryFrameIsRead) {
  WriteBigFileAndCheck((uint64_t{4} << 30) + (64u << 20));
}

// A queued output drops what was queued before its failure came to light, the description of
// a first salvage included: the salvage that follows writes the whole description again.
TEST(AviWriterOutput, ASecondSalvageDescribesEverythingAgain) {
  test::DvFrameMaker maker;
  test::MemoryOutput out(2048 * 20 + 9 * 144008 + 5000);
  AviWriter writer(out);
  ASSERT_EQ(writer.AddStream(test::DvType1()), 0);
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
  EXPECT_EQ(std::pair(info.streams[0].length, info.streams[0].odmlChunks.size()),
            std::pair(uint32_t(written), size_t(written)));
}

// Sound locked to the picture (a DV camcorder's) is placed by its time stamps, so a frame lost
// upstream leaves an empty video chunk and silence of its sound's length, and the picture keeps
// its rate; sound not locked is written as it comes and, as the master stream, stretches the
// picture to its own length.
constexpr uint32_t kFrames = 10, kNone = kFrames;
constexpr uint32_t kBlock = 4;  // 16-bit stereo

// Samples a frame carries: 1920 in PAL, NTSC's five-frame cycle.
uint32_t SamplesOf(REFERENCE_TIME perFrame, uint32_t n) {
  return perFrame == test::kPalFrame ? 1920 : n % 5 == 0 ? 1600 : 1602;
}

struct Row {
  const char* name;
  REFERENCE_TIME perFrame;
  bool locked;
  int master;
  uint32_t lost;  // the frame lost upstream, picture and sound
  // Expected: sound chunks, the silent one (kNone), the picture's frames per second.
  uint32_t soundChunks, silent;
  double frameRate;
};

TEST(AviWriterLockedSound, ALostFramesSoundIsSilenceOnlyWhenTheSoundIsLocked) {
  const Row rows[] = {
      // Today's master stream: nine frames' sound stretches ten frames to 27.8 frames/s.
      {"not locked, sound master", test::kPalFrame, false, 1, 4, 9, kNone, 250 / 9.0},
      {"locked, picture master", test::kPalFrame, true, 0, 4, 10, 4, 25.0},
      {"locked, sound master", test::kPalFrame, true, 1, 4, 10, 4, 25.0},
      {"locked, none lost", test::kPalFrame, true, 0, kNone, 10, kNone, 25.0},
      // NTSC's uneven counts stray from the stamps by a sample or two: no silence for that.
      {"NTSC locked, none lost", kNtscFrame, true, 0, kNone, 10, kNone, 30000 / 1001.0},
      {"NTSC locked", kNtscFrame, true, 0, 7, 10, 7, 30000 / 1001.0},
  };
  TempDir dir;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    AviStreamFormat sound = test::PcmStream();
    sound.lockedToPicture = r.locked;
    const std::vector<uint8_t> picture(512, 0x40);
    uint64_t samples = 0;
    const std::string path = dir.File(std::string(r.name) + ".avi");
    WriteAvi(path, {VideoStream(Fourcc("YUY2"), 16, 16, 16, r.perFrame), sound},
             [&](AviWriter& writer) {
               for (uint32_t n = 0; n < kFrames; ++n) {
                 samples += SamplesOf(r.perFrame, n);
                 if (n == r.lost) continue;
                 ASSERT_EQ(writer.WriteSample(0, picture, n * r.perFrame), S_OK);
                 const std::vector<uint8_t> pcm(SamplesOf(r.perFrame, n) * kBlock, 0x11);
                 ASSERT_EQ(writer.WriteSample(1, pcm, n * r.perFrame), S_OK);
               }
             },
             {.masterStream = r.master});
    const AviFileInfo info = ReadBack(path);
    ASSERT_EQ(info.streams.size(), 2u);
    const AviStreamInfo& v = info.streams[0];
    const AviStreamInfo& s = info.streams[1];
    EXPECT_EQ(v.length, kFrames) << "the lost frame keeps its place";
    ASSERT_EQ(v.odmlChunks.size(), kFrames);
    for (uint32_t k = 0; k < kFrames; ++k) {
      EXPECT_EQ(v.odmlChunks[k].size, k == r.lost ? 0u : 512u) << "frame " << k;
    }
    EXPECT_DOUBLE_EQ(static_cast<double>(v.rate) / v.scale, r.frameRate);
    ASSERT_EQ(s.odmlChunks.size(), r.soundChunks);
    if (r.locked) {
      EXPECT_EQ(s.rate, 48000 * kBlock) << "locked sound keeps its rate";
      EXPECT_NEAR(static_cast<double>(s.length), static_cast<double>(samples), 2.0)
          << "as long as the picture";
    }
    for (uint32_t k = 0; k < s.odmlChunks.size(); ++k) {
      std::vector<uint8_t> bytes;
      ASSERT_TRUE(AviReader::ReadChunk(path, s.odmlChunks[k], bytes));
      ASSERT_FALSE(bytes.empty());
      EXPECT_NEAR(static_cast<double>(bytes.size()), SamplesOf(r.perFrame, k) * kBlock,
                  2.0 * kBlock);
      EXPECT_EQ(bytes.front(), k == r.silent ? 0 : 0x11) << "sound chunk " << k;
      EXPECT_EQ(bytes.back(), bytes.front()) << "sound chunk " << k;
    }
  }
}

}  // namespace
}  // namespace vidorra::avi
