// Repair of recordings left unfinished. A recording (picture and sound, several RIFFs, small
// index slots) is written step by step; the file as it stood after every step, and with the next
// write torn half-way, is repaired: the result must be byte for byte the file a writer finishes
// after the same whole chunks, read back whole by our reader, unchanged by a second repair, and
// reached again after a repair cut off at any of its own writes. Files that are not ours, and a
// few thousand damaged ones, are never harmed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>

#include "avi/AviLayout.h"
#include "avi/AviRepair.h"
#include "avi/AviWriter.h"
#include "avi_test_support.h"

namespace vidorra::avi {
namespace {

using Image = std::vector<uint8_t>;

constexpr int kWidth = 16, kHeight = 8;
constexpr size_t kFrameBytes = kWidth * kHeight * 2;
constexpr size_t kSoundBytes = 1920 * 4;  // 40 ms of 48 kHz stereo
constexpr int kFrames = 40;

// The file under repair, in memory; it stops taking writes after `writes` of them (a repair
// killed there), and remembers where the first write past the file's end began.
class MemoryFile final : public AviRepairFile {
 public:
  explicit MemoryFile(Image bytes, size_t writes = SIZE_MAX)
      : bytes(std::move(bytes)), budget_(writes), originalSize_(this->bytes.size()) {}
  uint64_t Size() const override { return bytes.size(); }
  bool ReadAt(uint64_t offset, uint8_t* data, size_t size) override {
    if (offset > bytes.size() || size > bytes.size() - offset) return false;
    std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(offset), size, data);
    return true;
  }
  HRESULT WriteAt(uint64_t offset, const uint8_t* data, size_t size) override {
    if (budget_ == 0) return E_FAIL;
    --budget_;
    ++writes;
    if (offset > originalSize_) wroteBeyondEnd = true;
    if (bytes.size() < offset + size) bytes.resize(offset + size);
    std::copy_n(data, size, bytes.begin() + static_cast<ptrdiff_t>(offset));
    return S_OK;
  }
  HRESULT Sync() override { return budget_ ? S_OK : E_FAIL; }
  HRESULT Truncate(uint64_t size) override {
    if (budget_ == 0) return E_FAIL;
    bytes.resize(size);
    return S_OK;
  }
  Image bytes;
  size_t writes = 0;
  bool wroteBeyondEnd = false;

 private:
  size_t budget_;
  uint64_t originalSize_;
};

// Writes the first `count` samples of the recording through a writer on out (frame n, its
// number in every byte, then its sound: sample i is of stream i % 2, frame i / 2), with a
// checkpoint every 7 samples, and finishes when asked.
void Record(AviOutput& out, size_t count, bool finish) {
  AviWriter writer(out, {.riffLimitBytes = 96 * 1024, .stdIndexCapacity = 6});
  AviStreamFormat sound = test::PcmStream();
  sound.name = "Son";
  ASSERT_EQ(writer.AddStream(test::VideoStream(Fourcc("YUY2"), kWidth, kHeight, 16)), 0);
  ASSERT_EQ(writer.AddStream(sound), 1);
  ASSERT_EQ(writer.Start(), S_OK);
  for (size_t i = 0; i < count; ++i) {
    const int stream = static_cast<int>(i % 2), n = static_cast<int>(i / 2);
    const Image bytes(stream ? kSoundBytes : kFrameBytes,
                      static_cast<uint8_t>(stream ? 0x80 + n : n + 1));
    ASSERT_EQ(writer.WriteSample(stream, bytes, n * 400000LL), S_OK);
    ASSERT_EQ(i % 7 == 6 ? writer.Checkpoint() : S_OK, S_OK);
  }
  ASSERT_EQ(finish ? writer.Finish() : S_OK, S_OK);
}

Image Finished(size_t samples) {
  test::MemoryOutput out;
  Record(out, samples, true);
  return out.bytes;
}

// Samples whose chunks are whole in a repaired file, counted by our reader.
size_t SamplesIn(const Image& image, const test::TempDir& dir) {
  const std::string path = dir.File("read.avi");
  test::WriteBytes(path, image);
  const AviFileInfo info = test::ReadBack(path);
  return info.moviChunks.size();
}

TEST(AviRepair, EveryMomentOfARecordingRepairsToTheFileFinishedAfterItsWholeChunks) {
  test::MemoryOutput log;
  Record(log, 2 * kFrames, true);
  const test::TempDir dir;
  size_t checked = 0;
  for (size_t n = 1; n <= log.steps.size(); ++n) {
    for (const bool torn : {false, true}) {
      Image image = test::ImageAfter(log.steps, n);
      const test::WriteStep& next = log.steps[std::min(n, log.steps.size() - 1)];
      if (torn) {
        if (n == log.steps.size() || next.sync || next.offset != image.size()) continue;
        image.insert(image.end(), next.bytes.begin(), next.bytes.begin() + next.bytes.size() / 2);
      }
      SCOPED_TRACE(testing::Message() << "after step " << n << (torn ? ", next one torn" : ""));
      MemoryFile file(image);
      const AviRepairResult result = RepairAvi(file);
      ASSERT_TRUE(result.IsWhole()) << result.reason;
      const size_t samples = SamplesIn(file.bytes, dir);
      EXPECT_EQ(file.bytes, Finished(samples)) << samples << " samples";
      EXPECT_EQ(result.frames, (samples + 1) / 2);
      EXPECT_FALSE(file.wroteBeyondEnd);
      MemoryFile again(file.bytes);
      EXPECT_EQ(RepairAvi(again).outcome, AviRepairResult::Outcome::kWhole);
      EXPECT_EQ(again.writes, 0u);
      ++checked;
    }
  }
  EXPECT_GT(checked, log.steps.size());
  // The finished file itself is whole as it is: RIFFs within their limit (the first one with
  // the old index of its chunks), picture and sound each whole.
  MemoryFile finished(Finished(2 * kFrames));
  EXPECT_EQ(RepairAvi(finished).outcome, AviRepairResult::Outcome::kWhole);
  EXPECT_EQ(finished.writes, 0u);
  const std::string path = dir.File("finished.avi");
  test::WriteBytes(path, finished.bytes);
  const AviFileInfo info = test::ReadBack(path);
  EXPECT_GT(info.riffCount, 3u);
  for (uint32_t size : info.riffSizes) EXPECT_LE(size + 8u, 96u * 1024);
  ASSERT_EQ(info.streams.size(), 2u);
  const auto& [video, sound] = std::tie(info.streams[0], info.streams[1]);
  EXPECT_EQ(std::tuple(video.handler, video.length, info.grandFrames, sound.length),
            std::tuple(Fourcc("YUY2"), uint32_t{kFrames}, uint32_t{kFrames}, kFrames * 1920u));
  EXPECT_LT(info.totalFrames, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(info.idx1Chunks.size(),
            std::count_if(info.moviChunks.begin(), info.moviChunks.end(),
                          [&](const auto& c) { return c.dataOffset < info.riffSizes.at(0) + 8u; }));
  test::ExpectProbed(path, {"rawvideo", "pcm_s16le"}, kFrames);
  EXPECT_EQ(test::RecordedSoundSamples(path, 2), kFrames * 1920L);
}

TEST(AviRepair, ARepairCutOffAtAnyOfItsWritesIsCompletedByTheNext) {
  test::MemoryOutput log;
  Record(log, 2 * kFrames - 5, false);
  Image torn = log.bytes;
  torn.resize(torn.size() - 100);
  MemoryFile clean(torn);
  ASSERT_EQ(RepairAvi(clean).outcome, AviRepairResult::Outcome::kRepaired);
  const test::TempDir dir;
  const std::string path = dir.File("repaired.avi");
  test::WriteBytes(path, clean.bytes);
  test::ExpectProbed(path, {"rawvideo", "pcm_s16le"}, kFrames - 3);
  for (size_t w = 0; w < clean.writes; ++w) {
    MemoryFile cut(torn, w);
    EXPECT_NE(RepairAvi(cut).outcome, AviRepairResult::Outcome::kRepaired) << w;
    MemoryFile next(cut.bytes);
    const AviRepairResult result = RepairAvi(next);
    EXPECT_TRUE(result.IsWhole()) << "cut after write " << w << ": " << result.reason;
    EXPECT_EQ(next.bytes, clean.bytes) << "cut after write " << w;
  }
}

TEST(AviRepair, FilesNotOursAreNeverWrittenTo) {
  const test::TempDir dir;
  const std::string path = dir.File("other.avi");
  const std::string command =
      "ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 10 "
      "-c:v mjpeg -y " +
      path;
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(path, std::ios::binary);
  const Image whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  struct Case {
    const char* name;
    size_t keep;
    AviRepairResult::Outcome outcome;
  };
  for (const Case& c :
       {Case{"whole", whole.size(), AviRepairResult::Outcome::kWhole},
        Case{"truncated", whole.size() * 2 / 3, AviRepairResult::Outcome::kNotRepairable},
        Case{"only a header", 100, AviRepairResult::Outcome::kNotRepairable}}) {
    MemoryFile file(Image(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(c.keep)));
    EXPECT_EQ(RepairAvi(file).outcome, c.outcome) << c.name;
    EXPECT_EQ(file.writes, 0u) << c.name;
  }
  EXPECT_EQ(RepairAviFile(dir.File("missing.avi")).outcome,
            AviRepairResult::Outcome::kNotRepairable);
}

// Damaged files of every kind: sizes that lie, chunks that overlap or loop, indexes pointing
// outside the file, a RIFF inside itself, cuts anywhere. Each repair ends in time with an answer,
// never writes beyond the file's end, and what it calls whole stays whole.
TEST(AviRepair, DamagedFilesEndWithAnAnswerAndNeverWorse) {
  test::MemoryOutput log;
  Record(log, 2 * kFrames, true);
  const Image finished = log.bytes;
  const Image unfinished = test::ImageAfter(log.steps, log.steps.size() * 2 / 3);
  std::mt19937 random(20261208);
  auto at = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(random); };
  const int cases = std::getenv("VIDORRA_REPAIR_FUZZ_CASES")
                        ? std::atoi(std::getenv("VIDORRA_REPAIR_FUZZ_CASES"))
                        : 3000;
  for (int i = 0; i < cases; ++i) {
    Image image = (i & 1) ? finished : unfinished;
    const int damages = 1 + static_cast<int>(at(4));
    for (int d = 0; d < damages; ++d) {
      // Mostly near the structures (header, slots, chunk headers), sometimes anywhere.
      const size_t where =
          random() % 3 ? at(std::min<size_t>(image.size(), 8192)) : at(image.size());
      const size_t pos = std::min(where, image.size() - 8);
      const int damage = static_cast<int>(random() % 6);
      if (damage == 0) image[pos] ^= static_cast<uint8_t>(1 + random() % 255);
      if (damage == 1) PutU32(&image[pos], static_cast<uint32_t>(random()));  // a lying size
      if (damage == 2) PutU32(&image[pos], static_cast<uint32_t>(image.size() - pos));
      if (damage == 3) image.resize(std::max<size_t>(pos, 1));  // a cut
      if (damage == 4) std::copy_n(image.begin(), 8, image.begin() + static_cast<ptrdiff_t>(pos));
      if (damage == 5) PutU32(&image[pos], kFccRiff);  // a RIFF inside
      if (image.size() < 16) break;
    }
    MemoryFile file(image);
    const auto began = std::chrono::steady_clock::now();
    const AviRepairResult result = RepairAvi(file);
    ASSERT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1)) << "case " << i;
    ASSERT_FALSE(file.wroteBeyondEnd) << "case " << i;
    if (result.outcome == AviRepairResult::Outcome::kNotRepairable) {
      ASSERT_EQ(file.writes, 0u) << "case " << i;
    } else if (result.IsWhole()) {
      MemoryFile again(file.bytes);
      ASSERT_EQ(RepairAvi(again).outcome, AviRepairResult::Outcome::kWhole) << "case " << i;
      ASSERT_EQ(again.writes, 0u) << "case " << i;
    }
  }
}

}  // namespace
}  // namespace vidorra::avi
