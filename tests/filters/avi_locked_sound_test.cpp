// AVI writer: sound locked to the picture (a DV camcorder's) is placed by its time stamps, so a
// frame lost upstream leaves an empty video chunk and silence of its sound's length, and the
// picture keeps its rate; sound not locked is written as it comes and, as the master stream,
// stretches the picture to its own length. Files read back by our reader.
#include <gtest/gtest.h>

#include "avi/AviLayout.h"
#include "avi/AviWriter.h"
#include "avi_test_support.h"

namespace vidorra::avi {
namespace {

constexpr REFERENCE_TIME kPal = 400000;
constexpr REFERENCE_TIME kNtsc = 333667;
constexpr uint32_t kFrames = 10;
constexpr uint32_t kNone = kFrames;
constexpr uint32_t kBlock = 4;  // 16-bit stereo

// Samples a frame carries: 1920 in PAL, NTSC's five-frame cycle.
uint32_t SamplesOf(REFERENCE_TIME perFrame, uint32_t n) {
  return perFrame == kPal ? 1920 : n % 5 == 0 ? 1600 : 1602;
}

struct Row {
  const char* name;
  REFERENCE_TIME perFrame;
  bool locked;
  int master;
  uint32_t lost;  // the frame lost upstream, picture and sound
  // Expected: sound chunks, the silent one (kNone), the picture's frames per second.
  uint32_t soundChunks;
  uint32_t silent;
  double frameRate;
};

TEST(AviWriterLockedSound, ALostFramesSoundIsSilenceOnlyWhenTheSoundIsLocked) {
  const Row rows[] = {
      // Today's master stream: nine frames' sound stretches ten frames to 27.8 frames/s.
      {"not locked, sound master", kPal, false, 1, 4, 9, kNone, 250 / 9.0},
      {"locked, picture master", kPal, true, 0, 4, 10, 4, 25.0},
      {"locked, sound master", kPal, true, 1, 4, 10, 4, 25.0},
      {"locked, none lost", kPal, true, 0, kNone, 10, kNone, 25.0},
      // NTSC's uneven counts stray from the stamps by a sample or two: no silence for that.
      {"NTSC locked, none lost", kNtsc, true, 0, kNone, 10, kNone, 30000 / 1001.0},
      {"NTSC locked", kNtsc, true, 0, 7, 10, 7, 30000 / 1001.0},
  };
  test::TempDir dir;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    AviStreamFormat sound = test::PcmStream();
    sound.lockedToPicture = r.locked;
    const std::vector<uint8_t> picture(512, 0x40);
    uint64_t samples = 0;
    const std::string path = dir.File(std::string(r.name) + ".avi");
    test::WriteAvi(path, {test::VideoStream(Fourcc("YUY2"), 16, 16, 16, r.perFrame), sound},
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
    const AviFileInfo info = test::ReadBack(path);
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
