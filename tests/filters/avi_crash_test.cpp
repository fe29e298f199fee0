// Crash safety of AVI recordings. What a recording killed at any moment must be: our reader
// parses it; its indexes and header claim only whole chunks that are on disk (the index is a
// prefix of the chunks on disk, the lengths never exceed them); ffprobe opens it and decodes
// every frame on disk; in real time the index is at most about a second behind the data; and
// once repaired every whole frame on disk is in the file.
// Two tables of kills in a child process: of a writer (mid-recording in the first RIFF and a
// later one, at every step of its finish) and of a recording graph (in its first second,
// mid-recording and while finishing, in real time and at file speed); and every moment of a
// graph's deliveries, replayed from their log. Then the repair of unfinished recordings. Files
// past 1 GiB: the writer's tests; a full disk: the mux's.
#include <child_process.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "avi/AviLayout.h"
#include "avi/AviMux.h"
#include "avi/AviRepair.h"
#include "avi_test_support.h"
#include "wait_until.h"

namespace vidorra::avi {
namespace {

using test::DvFrameMaker;
using test::TempDir;

constexpr double kPalFrameSeconds = 0.04;
// In real time the index may lag the data by the one-second checkpoint interval; a loaded
// machine may delay a checkpoint by as much again.
constexpr size_t kMaxLagFrames = 50;

// The whole chunks of stream 0 on disk, found by walking the chunk headers from the first movi
// list to the end of the file, whatever sizes the headers claim (after a kill they lag behind).
std::vector<AviChunkRef> ChunksOnDisk(const std::string& path) {
  std::vector<AviChunkRef> chunks;
  std::ifstream in(path, std::ios::binary);
  const uint64_t size = std::filesystem::file_size(path);
  auto header = [&](uint64_t pos, uint32_t& id, uint32_t& bytes, uint32_t* type = nullptr) {
    uint8_t h[kListHeaderBytes];
    const size_t want = type ? kListHeaderBytes : kChunkHeaderBytes;
    if (pos + want > size) return false;
    in.seekg(static_cast<std::streamoff>(pos));
    in.read(reinterpret_cast<char*>(h), static_cast<std::streamsize>(want));
    id = GetU32(h);
    bytes = GetU32(h + 4);
    if (type) *type = GetU32(h + 8);
    return static_cast<bool>(in);
  };
  uint64_t pos = kListHeaderBytes;
  uint32_t id = 0, bytes = 0, type = 0;
  while (header(pos, id, bytes, &type) && !(id == kFccList && type == kFccMovi)) {
    pos += kChunkHeaderBytes + bytes + (bytes & 1);
  }
  pos += kListHeaderBytes;
  while (header(pos, id, bytes)) {
    if (id == kFccRiff || id == kFccList) {
      pos += kListHeaderBytes;  // into the next RIFF 'AVIX' and its movi list
      continue;
    }
    const uint64_t end = pos + kChunkHeaderBytes + bytes;
    if (end > size) break;
    if (id == StreamChunkId(0, "dc")) chunks.push_back({pos + kChunkHeaderBytes, bytes, 0, true});
    pos = end + (bytes & 1);
  }
  return chunks;
}

struct AfterKill {
  size_t onDisk = 0, indexed = 0;  // whole frames on disk; of them, in the index
};

// Checks a recording killed at some moment against the standard; with `frames`, the indexed
// chunks hold DvFrameMaker's frames. Then repairs it.
AfterKill ExpectSoundAfterKill(const std::string& path, bool probe = true,
                               DvFrameMaker* frames = nullptr) {
  const std::vector<AviChunkRef> disk = ChunksOnDisk(path);
  if (disk.empty()) return {};  // nothing recorded yet, nothing to claim
  std::string error;
  const auto info = AviReader::Read(path, &error);
  EXPECT_TRUE(info && !info->streams.empty()) << error;
  if (!info || info->streams.empty()) return {disk.size(), 0};
  const AviStreamInfo& s = info->streams[0];
  const auto& odml = s.odmlChunks;
  // The indexes are prefixes of the chunks on disk; the header counts no more than they hold.
  const auto prefixOfDisk = [&](const std::vector<AviChunkRef>& index, bool sizes) {
    return index.size() <= disk.size() &&
           std::equal(index.begin(), index.end(), disk.begin(), [&](const auto& a, const auto& b) {
             return a.dataOffset == b.dataOffset && (!sizes || a.size == b.size);
           });
  };
  EXPECT_TRUE(prefixOfDisk(odml, true)) << "the OpenDML index";
  EXPECT_TRUE(prefixOfDisk(info->idx1Chunks, false)) << "idx1";
  EXPECT_LE(std::max({s.length, info->grandFrames, info->totalFrames}), odml.size());
  for (size_t k : {size_t{0}, odml.size() / 2, odml.size() - 1}) {
    std::vector<uint8_t> bytes;
    if (!frames || k >= odml.size()) continue;
    EXPECT_TRUE(AviReader::ReadChunk(path, odml[k], bytes)) << k;
    EXPECT_EQ(bytes, frames->Frame(k)) << "index entry " << k;
  }
  const auto probed =
      probe ? test::Probe(path, {.decode = true}) : std::vector<test::ProbedStream>{};
  EXPECT_TRUE(!probe || !probed.empty()) << "ffprobe cannot open the file";
  if (!probed.empty()) {
    EXPECT_EQ(probed[0].codec, "dvvideo");
    EXPECT_GE(probed[0].frames + 1, static_cast<long>(disk.size())) << "frames on disk";
    EXPECT_LE(probed[0].duration, disk.size() * kPalFrameSeconds + 1e-3);
  }
  // The repair makes every whole frame on disk part of the file again: all of them indexed and
  // read by ffprobe.
  const AviRepairResult repaired = RepairAviFile(path);
  EXPECT_TRUE(repaired.IsWhole()) << repaired.reason;
  EXPECT_EQ(repaired.frames, disk.size());
  const AviFileInfo whole = test::ReadBack(path);
  EXPECT_EQ(whole.streams.empty() ? 0u : whole.streams[0].odmlChunks.size(), disk.size());
  if (probe) {
    EXPECT_EQ(test::ProbedFrames(path), static_cast<long>(disk.size()));
    EXPECT_NEAR(test::ProbeDuration(path), disk.size() * kPalFrameSeconds, 1e-3);
  }
  return {disk.size(), odml.size()};
}

// ---- Writers killed ---------------------------------------------------------------------------

// A file output that kills its own process at the start of its n-th call once armed: a kill
// between two steps of whatever the writer does then.
class KillingOutput final : public AviOutput {
 public:
  explicit KillingOutput(PosixFileOutput& file) : file_(file) {}
  void KillAtCall(int n) { killAt_ = n; }
  using AviOutput::WriteAt;
  HRESULT WriteAt(uint64_t offset, std::initializer_list<Bytes> pieces) override {
    Step();
    return file_.WriteAt(offset, pieces);
  }
  HRESULT Flush() override { return Step(), file_.Flush(); }
  HRESULT Sync() override { return Step(), file_.Sync(); }
  uint64_t WrittenEnd() const override { return file_.WrittenEnd(); }

 private:
  void Step() {
    if (killAt_ >= 0 && calls_++ == killAt_) ::raise(SIGKILL);
  }
  PosixFileOutput& file_;
  int killAt_ = -1, calls_ = 0;
};

// Child: writes DV type 1 into args[0] with RIFFs of args[1] bytes, `frames` frames (args[2];
// -1: until killed) with a checkpoint after args[3] ("checkpointed" is reported then), and
// finishes killed at the start of the output's call args[4] of the finish.
const test::ChildRoutineRegistration kWriteDv(
    "write-dv", [](const std::vector<std::string>& args) -> int {
      DvFrameMaker maker;
      PosixFileOutput file;
      if (args.size() != 5 || FAILED(file.Create(args[0]))) return 2;
      KillingOutput out(file);
      const int frames = std::stoi(args[2]), checkpoint = std::stoi(args[3]);
      AviWriter writer(out, {.riffLimitBytes = std::stoull(args[1])});
      writer.AddStream(test::DvType1());
      if (FAILED(writer.Start())) return 3;
      for (int n = 0; frames < 0 || n < frames; ++n) {
        if (FAILED(writer.WriteSample(0, maker.Frame(n), test::FrameTime(n))) || n > 100000)
          return 4;
        if (n + 1 != checkpoint) continue;
        if (FAILED(writer.Checkpoint())) return 5;
        test::ReportToParent("checkpointed");
      }
      out.KillAtCall(std::stoi(args[4]));
      return writer.Finish() == S_OK ? 0 : 6;
    });

struct WriterKill {
  const char* what;
  uint64_t riffLimit;
  int frames;  // -1: killed mid-recording, else at each step of the finish of that many
  size_t checkpoint;
};

class AviCrashWriter : public ::testing::TestWithParam<WriterKill> {};

TEST_P(AviCrashWriter, KilledLeavesASoundFile) {
  const WriterKill& c = GetParam();
  DvFrameMaker maker;
  TempDir dir;
  for (int step = 0;; ++step) {
    ASSERT_LT(step, 40) << "the finish never completed";
    SCOPED_TRACE("killed before step " + std::to_string(step) + " of the finish");
    const std::string path = dir.File("killed" + std::to_string(step) + ".avi");
    test::ChildProcess child("write-dv",
                             {path, std::to_string(c.riffLimit), std::to_string(c.frames),
                              std::to_string(c.checkpoint), std::to_string(step)});
    if (c.frames < 0) {
      // Mid-recording: a few more frames (and a partial one, most likely) after the checkpoint.
      ASSERT_EQ(child.NextReport(), "checkpointed");
      const uint64_t sizeThen = std::filesystem::file_size(path);
      EXPECT_TRUE(test::WaitUntil([&] {
        return std::filesystem::file_size(path) >
               sizeThen + 10 * (dv::kFrameBytesPal + kChunkHeaderBytes);
      }));
      child.Kill();
    }
    const int status = child.Wait();
    const AfterKill found = ExpectSoundAfterKill(path, true, &maker);
    EXPECT_GE(found.indexed, c.checkpoint) << "the header and index as of the checkpoint";
    if (c.frames < 0) {
      ASSERT_EQ(status, 128 + SIGKILL);
      EXPECT_GT(found.onDisk, c.checkpoint);
      return;
    }
    EXPECT_EQ(found.onDisk, static_cast<size_t>(c.frames));
    if (status != 128 + SIGKILL) {
      ASSERT_EQ(status, 0);
      EXPECT_EQ(found.indexed, static_cast<size_t>(c.frames)) << "the finished file";
      EXPECT_GT(step, 3) << "a finish has its data, a sync, the description and a sync";
      return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kills, AviCrashWriter,
    ::testing::Values(WriterKill{"MidRecordingInTheFirstRiff",
                                 AviWriterOptions::kDefaultRiffLimitBytes, -1, 30},
                      // 3 MiB RIFFs: the checkpoint falls in the fourth or fifth one.
                      WriterKill{"MidRecordingInALaterRiff", 3u << 20, -1, 90},
                      WriterKill{"AtEachStepOfTheFinishInOneRiff", 1u << 30, 30, 20},
                      // 1 MiB RIFFs of 6 frames: the finish also writes the sizes of the RIFFs
                      // closed since the checkpoint.
                      WriterKill{"AtEachStepOfTheFinishAcrossRiffs", 1u << 20, 40, 30}),
    [](const auto& info) { return std::string(info.param.what); });

// ---- Recording graphs killed ------------------------------------------------------------------

// Child: DV file -> AVI Mux -> File writer, on the graph's clock or as fast as it goes. Reports
// "running" once the graph runs; with finishAfter >= 0 it reports "finishing" once that many
// frames are in the file and stops the graph (which finishes the file), else it records to the
// end of the DV file.
const test::ChildRoutineRegistration kRecordDv(
    "record-dv", [](const std::vector<std::string>& args) -> int {
      if (args.size() != 4) return 2;
      const int finishAfter = std::stoi(args[3]);
      ComPtr<IBaseFilter> source = test::LoadedDvSource(args[0]);
      test::RecordingGraph g;
      if (!source || FAILED(g.Build({source.Get()}, args[2] == "1")) ||
          FAILED(g.SetFile(args[1])) || FAILED(g.Run())) {
        return 3;
      }
      test::ReportToParent("running");
      if (finishAfter < 0) {
        g.WaitForEvent(EC_COMPLETE, 600'000);
      } else {
        auto* mux = dynamic_cast<filters::CAviMux*>(g.mux.Get());
        test::WaitUntil([&] { return mux->ChunksWritten(0) >= static_cast<uint64_t>(finishAfter); },
                        std::chrono::minutes(1));
        test::ReportToParent("finishing");
      }
      g.Stop();
      return 0;
    });

struct GraphKill {
  const char* what;
  bool clocked;
  int frames, finishAfter;    // finishAfter -1: killed while recording
  std::vector<int> delaysMs;  // after "running", or after "finishing"
};

class AviCrashGraph : public ::testing::TestWithParam<GraphKill> {};

TEST_P(AviCrashGraph, KilledLeavesASoundFile) {
  const GraphKill& c = GetParam();
  TempDir dir;
  const std::string dvPath = test::SmallDvFile(dir, c.frames);
  const char* moment = c.finishAfter < 0 ? "running" : "finishing";
  for (int delay : c.delaysMs) {
    SCOPED_TRACE(std::string("killed ") + std::to_string(delay) + " ms after \"" + moment + "\"");
    const std::string aviPath = dir.File("killed" + std::to_string(delay) + ".avi");
    test::ChildProcess child(
        "record-dv", {dvPath, aviPath, c.clocked ? "1" : "0", std::to_string(c.finishAfter)});
    std::optional<std::string> report;
    do {
      report = child.NextReport();
    } while (report && *report != moment);
    ASSERT_EQ(report, moment);
    // The moment of the kill is the point of the test, not a wait for something.
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    child.Kill();
    child.Wait();
    const AfterKill found = ExpectSoundAfterKill(aviPath);
    if (c.clocked) {
      EXPECT_LE(found.onDisk - found.indexed, kMaxLagFrames)
          << found.onDisk << " frames on disk, " << found.indexed << " indexed";
    }
    if (c.finishAfter < 0 && delay >= 500 && c.clocked) {
      EXPECT_GT(found.indexed, 0u) << "a recording is readable from its first frame on";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kills, AviCrashGraph,
    ::testing::Values(GraphKill{"RealTimeInItsFirstSecondAndMidRecording", true, 100, -1,
                                {150, 700, 2600}},
                      GraphKill{"RealTimeWhileFinishing", true, 100, 40, {0, 2, 10}},
                      GraphKill{"FileSpeedMidRecording", false, 300, -1, {30, 250}},
                      GraphKill{"FileSpeedWhileFinishing", false, 300, 150, {0, 3}}),
    [](const auto& info) { return std::string(info.param.what); });

// Every moment of a real-time recording's deliveries, replayed: the file as a kill after each
// write leaves it meets the standard, and a header or index rewrite never follows data without
// a sync between them (data is durable before what describes it).
TEST(AviCrashReplay, EveryMomentOfTheDeliveriesLeavesASoundFile) {
  DvFrameMaker maker;
  TempDir dir;
  constexpr int kFrames = 40;  // 1.6 s: a checkpoint after the first frame, one on time, the finish
  auto log = MakeComObject<test::DeliveryLog>();
  test::RecordingGraph g(log);
  ASSERT_EQ(g.Build({test::LoadedDvSource(test::SmallDvFile(dir, kFrames)).Get()}), S_OK);
  ASSERT_TRUE(test::RunToCompletion(g.graph.Get(), 30'000));
  const auto steps = log->Steps();

  uint64_t end = 0;
  bool syncedSinceData = true;
  size_t rewrites = 0;
  for (size_t i = 0; i < steps.size(); ++i) {
    const auto& step = steps[i];
    if (step.sync) {
      syncedSinceData = true;
    } else if (step.offset < end) {
      ++rewrites;
      EXPECT_TRUE(syncedSinceData)
          << "step " << i << " rewrites at " << step.offset << " what unsynced data would follow";
    } else {
      EXPECT_EQ(step.offset, end) << "step " << i << " leaves a hole";
      end = step.offset + step.bytes.size();
      syncedSinceData = false;
    }
  }
  EXPECT_GE(rewrites, 9u) << "a checkpoint after the first frame, on time, and the finish";

  const std::string path = dir.File("moment.avi");
  for (size_t n = 1; n <= steps.size(); ++n) {
    if (steps[n - 1].sync) continue;
    SCOPED_TRACE("killed after step " + std::to_string(n) + " of " + std::to_string(steps.size()));
    test::WriteBytes(path, test::ImageAfter(steps, n));
    // Our reader at every moment; ffprobe too once the header has been rewritten, and at the end.
    const bool headerRewritten = steps[n - 1].offset == 0 && n > 1;
    const AfterKill found =
        ExpectSoundAfterKill(path, headerRewritten || n == steps.size(), &maker);
    if (n == steps.size()) {
      EXPECT_EQ(found.onDisk, static_cast<size_t>(kFrames));
      EXPECT_EQ(found.indexed, static_cast<size_t>(kFrames));
    }
  }
}

// ---- Repairs ----------------------------------------------------------------------------------

// Repair of recordings left unfinished. A recording (picture and sound, several RIFFs, small
// index slots) is written step by step; the file as it stood after every step, and with the next
// write torn half-way, is repaired: the result must be byte for byte the file a writer finishes
// after the same whole chunks, read back whole by our reader, unchanged by a second repair, and
// reached again after a repair cut off at any of its own writes. Files that are not ours, and a
// few thousand damaged ones, are never harmed.
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

TEST(AviRepair, EveryMomentRepairsToTheFileFinishedAfterItsWholeChunksAndDamageNeverWorse) {
  test::MemoryOutput log;
  Record(log, 2 * kFrames, true);
  const test::TempDir dir;
  const std::string path = dir.File("repaired.avi");
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
      test::WriteBytes(path, file.bytes);
      const size_t samples = test::ReadBack(path).moviChunks.size();  // their chunks whole
      test::MemoryOutput finished;  // the file a writer finishes after those samples
      Record(finished, samples, true);
      EXPECT_EQ(file.bytes, finished.bytes) << samples << " samples";
      EXPECT_EQ(result.frames, (samples + 1) / 2);
      EXPECT_FALSE(file.wroteBeyondEnd);
      MemoryFile again(file.bytes);
      EXPECT_EQ(RepairAvi(again).outcome, AviRepairResult::Outcome::kWhole);
      EXPECT_EQ(again.writes, 0u);
      ++checked;
    }
  }
  EXPECT_GT(checked, log.steps.size());
  // The finished file (whole as it is: the last step above) has RIFFs within their limit (the
  // first one with the old index of its chunks), picture and sound each whole.
  test::WriteBytes(path, log.bytes);
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

  // Damaged files of every kind: sizes that lie, chunks that overlap or loop, indexes pointing
  // outside the file, a RIFF inside itself, cuts anywhere. Each repair ends in time with an
  // answer, never writes beyond the file's end, and what it calls whole stays whole.
  const Image unfinished = test::ImageAfter(log.steps, log.steps.size() * 2 / 3);
  std::mt19937 random(20261208);
  auto at = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(random); };
  const int cases = std::getenv("VIDORRA_REPAIR_FUZZ_CASES")
                        ? std::atoi(std::getenv("VIDORRA_REPAIR_FUZZ_CASES"))
                        : 3000;
  for (int i = 0; i < cases; ++i) {
    Image image = (i & 1) ? log.bytes : unfinished;
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

  // A repair cut off at any of its own writes: the next repair completes it.
  test::MemoryOutput cutLog;
  Record(cutLog, 2 * kFrames - 5, false);
  Image torn = cutLog.bytes;
  torn.resize(torn.size() - 100);
  MemoryFile clean(torn);
  ASSERT_EQ(RepairAvi(clean).outcome, AviRepairResult::Outcome::kRepaired);
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
      "ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 10 -c:v mjpeg -y " + path;
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

}  // namespace
}  // namespace vidorra::avi
