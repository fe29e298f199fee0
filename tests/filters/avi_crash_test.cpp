// Crash safety of AVI recordings. What a recording killed at any moment must be: our reader
// parses it; its indexes and header claim only whole chunks that are on disk (the index is a
// prefix of the chunks on disk, the lengths never exceed them); ffprobe opens it and decodes
// every frame on disk; and in real time the index is at most about a second behind the data.
// Checked for SIGKILLs of a writer (mid-recording, in the first RIFF and a later one, and at
// every step of its finish), of a recording graph in a child process (in its first second,
// mid-recording and while finishing, in real time and at file speed), and at every moment of a
// graph's deliveries, replayed from their log. Also: a full disk (a file-size limit, in a child)
// ends with the error and a readable file; files past 1 GiB (and 4 GiB, long) keep every frame.
#include <child_process.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "avi/AviLayout.h"
#include "avi/AviMux.h"
#include "avi/AviReader.h"
#include "avi/AviWriter.h"
#include "avi/PosixFileOutput.h"
#include "avi_test_support.h"
#include "wait_until.h"

namespace vidorra::avi {
namespace {

using test::DvFrameMaker;
using test::TempDir;

constexpr REFERENCE_TIME kPalFrame = 400000;
constexpr double kPalFrameSeconds = 0.04;
// In real time the index may lag the data by the one-second checkpoint interval; a loaded
// machine may delay a checkpoint by as much again.
constexpr size_t kMaxLagFrames = 50;

AviStreamFormat DvType1() {
  AviStreamFormat f;
  f.kind = AviStreamFormat::Kind::kDvType1;
  return f;
}

uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// The whole chunks of stream 0 on disk, found by walking the chunk headers from the first movi
// list to the end of the file, whatever sizes the headers claim (after a kill they lag behind).
std::vector<AviChunkRef> ChunksOnDisk(const std::string& path) {
  std::vector<AviChunkRef> chunks;
  std::ifstream in(path, std::ios::binary);
  const uint64_t size = FileSize(path);
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
  size_t onDisk = 0;   // whole frames on disk
  size_t indexed = 0;  // of them, in the index
};

// Checks a recording killed at some moment against the standard; frame(k), when given, is what
// the k-th chunk must hold.
AfterKill ExpectSoundAfterKill(const std::string& path, bool probe = true,
                               const std::function<std::vector<uint8_t>(size_t)>& frame = {}) {
  AfterKill found;
  const std::vector<AviChunkRef> disk = ChunksOnDisk(path);
  found.onDisk = disk.size();
  if (disk.empty()) return found;  // nothing recorded yet, nothing to claim
  std::string error;
  const auto info = AviReader::Read(path, &error);
  EXPECT_TRUE(info) << error;
  if (!info || info->streams.empty()) return found;
  const AviStreamInfo& s = info->streams[0];
  found.indexed = s.odmlChunks.size();
  // The indexes are prefixes of the chunks on disk; the header counts no more than they hold.
  EXPECT_LE(s.odmlChunks.size(), disk.size());
  for (size_t k = 0; k < std::min(s.odmlChunks.size(), disk.size()); ++k) {
    if (s.odmlChunks[k].dataOffset == disk[k].dataOffset && s.odmlChunks[k].size == disk[k].size) {
      continue;
    }
    ADD_FAILURE() << "index entry " << k << " is not the chunk on disk";
    break;
  }
  EXPECT_LE(info->idx1Chunks.size(), disk.size());
  for (size_t k = 0; k < std::min(info->idx1Chunks.size(), disk.size()); ++k) {
    EXPECT_EQ(info->idx1Chunks[k].dataOffset, disk[k].dataOffset) << "idx1 entry " << k;
  }
  EXPECT_LE(s.length, s.odmlChunks.size());
  EXPECT_LE(info->grandFrames, s.odmlChunks.size());
  EXPECT_LE(info->totalFrames, s.odmlChunks.size());
  if (frame) {
    for (size_t k : {size_t{0}, s.odmlChunks.size() / 2, s.odmlChunks.size() - 1}) {
      if (k >= s.odmlChunks.size()) continue;
      std::vector<uint8_t> bytes;
      EXPECT_TRUE(AviReader::ReadChunk(path, s.odmlChunks[k], bytes)) << k;
      EXPECT_EQ(bytes, frame(k)) << "index entry " << k;
    }
  }
  if (probe) {
    const auto probed = test::Probe(path);
    EXPECT_FALSE(probed.empty()) << "ffprobe cannot open the file";
    if (!probed.empty()) {
      EXPECT_EQ(probed[0].codec, "dvvideo");
      EXPECT_GE(probed[0].count + 1, static_cast<long>(disk.size())) << "frames on disk";
      EXPECT_LE(probed[0].duration, disk.size() * kPalFrameSeconds + 1e-3);
    }
  }
  return found;
}

// ---- A writer killed mid-recording ------------------------------------------------------------

// Child side: records DV frames until killed; after checkpointFrame frames it makes a
// checkpoint and reports the frame count through the pipe.
[[noreturn]] void RecordUntilKilled(const std::string& path, DvFrameMaker& maker,
                                    uint64_t riffLimit, int checkpointFrame, int reportFd) {
  PosixFileOutput out;
  if (FAILED(out.Create(path))) ::_exit(2);
  AviWriterOptions options;
  options.riffLimitBytes = riffLimit;
  AviWriter writer(out, options);
  writer.AddStream(DvType1());
  if (FAILED(writer.Start())) ::_exit(3);
  for (uint64_t n = 0;; ++n) {
    if (FAILED(writer.WriteSample(0, maker.Frame(n), static_cast<REFERENCE_TIME>(n) * kPalFrame))) {
      ::_exit(4);
    }
    if (n + 1 == static_cast<uint64_t>(checkpointFrame)) {
      if (FAILED(writer.Checkpoint())) ::_exit(5);
      const uint32_t frames = static_cast<uint32_t>(checkpointFrame);
      if (::write(reportFd, &frames, sizeof frames) != sizeof frames) ::_exit(6);
    }
    if (n > 100000) ::_exit(7);
  }
}

void KillMidRecordingAndCheck(uint64_t riffLimit, int checkpointFrame) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string path = dir.File("killed.avi");
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(fds[0]);
    RecordUntilKilled(path, maker, riffLimit, checkpointFrame, fds[1]);
  }
  ::close(fds[1]);
  uint32_t checkpointed = 0;
  ASSERT_EQ(::read(fds[0], &checkpointed, sizeof checkpointed),
            static_cast<ssize_t>(sizeof checkpointed));
  ::close(fds[0]);
  // Let a few more frames (and a partial one, most likely) reach the file, then kill.
  const uint64_t sizeAtCheckpoint = FileSize(path);
  const uint64_t chunkBytes = dv::kFrameBytesPal + kChunkHeaderBytes;
  EXPECT_TRUE(
      test::WaitUntil([&] { return FileSize(path) > sizeAtCheckpoint + 10 * chunkBytes; }));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "child ended on its own with " << WEXITSTATUS(status);

  const AfterKill found =
      ExpectSoundAfterKill(path, true, [&](size_t k) { return maker.Frame(k); });
  // Header duration and index at least as of the checkpoint, and frames after it on disk.
  EXPECT_GE(found.indexed, checkpointed);
  EXPECT_GT(found.onDisk, checkpointed);
  const auto info = AviReader::Read(path);
  ASSERT_TRUE(info);
  EXPECT_GE(info->streams[0].length, checkpointed);
  EXPECT_GE(test::ProbeFormatDuration(path) + 1e-6, checkpointed * kPalFrameSeconds);
  // Seeking lands exactly on the asked frame up to the checkpoint.
  const double target = (checkpointed - 2) * kPalFrameSeconds;
  const std::string packets = test::RunCommand(
      "ffprobe -v error -select_streams v -read_intervals " + std::to_string(target) +
      "%+#1 -show_entries packet=pts_time -of csv=p=0 " + test::Quote(path));
  EXPECT_NEAR(std::atof(packets.c_str()), target, 1e-3) << packets;
}

TEST(AviCrash, KilledInTheFirstRiffLeavesAReadableFile) {
  KillMidRecordingAndCheck(AviWriterOptions::kDefaultRiffLimitBytes, 30);
}

TEST(AviCrash, KilledInALaterRiffLeavesAReadableFile) {
  // 3 MiB RIFFs: the checkpoint falls in the fourth or fifth one.
  KillMidRecordingAndCheck(3u << 20, 90);
}

// ---- A writer killed at each step of its finish -----------------------------------------------

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
  HRESULT Flush() override {
    Step();
    return file_.Flush();
  }
  HRESULT Sync() override {
    Step();
    return file_.Sync();
  }
  uint64_t WrittenEnd() const override { return file_.WrittenEnd(); }

 private:
  void Step() {
    if (killAt_ >= 0 && calls_++ == killAt_) ::raise(SIGKILL);
  }
  PosixFileOutput& file_;
  int killAt_ = -1;
  int calls_ = 0;
};

// Records `frames` frames with a checkpoint after `checkpointFrame`, then finishes, killed at the
// start of each step of the finish in turn; every file left meets the standard.
void KillAtEachStepOfTheFinish(int frames, int checkpointFrame, uint64_t riffLimit) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  for (int step = 0;; ++step) {
    ASSERT_LT(step, 40) << "the finish never completed";
    SCOPED_TRACE("killed before step " + std::to_string(step) + " of the finish");
    const std::string path = dir.File("finish" + std::to_string(step) + ".avi");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PosixFileOutput file;
      if (FAILED(file.Create(path))) ::_exit(2);
      KillingOutput out(file);
      AviWriterOptions options;
      options.riffLimitBytes = riffLimit;
      AviWriter writer(out, options);
      writer.AddStream(DvType1());
      if (FAILED(writer.Start())) ::_exit(3);
      for (int n = 0; n < frames; ++n) {
        if (FAILED(writer.WriteSample(0, maker.Frame(n), n * kPalFrame))) ::_exit(4);
        if (n + 1 == checkpointFrame && FAILED(writer.Checkpoint())) ::_exit(5);
      }
      out.KillAtCall(step);
      ::_exit(writer.Finish() == S_OK ? 0 : 6);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const AfterKill found =
        ExpectSoundAfterKill(path, true, [&](size_t k) { return maker.Frame(k); });
    EXPECT_EQ(found.onDisk, static_cast<size_t>(frames));
    EXPECT_GE(found.indexed, static_cast<size_t>(checkpointFrame));
    if (WIFEXITED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0);
      EXPECT_EQ(found.indexed, static_cast<size_t>(frames)) << "the finished file";
      EXPECT_GT(step, 3) << "a finish has its data, a sync, the description and a sync";
      return;
    }
    ASSERT_TRUE(WIFSIGNALED(status));
  }
}

TEST(AviCrash, KilledAtEachStepOfTheFinishInOneRiff) { KillAtEachStepOfTheFinish(30, 20, 1u << 30); }

TEST(AviCrash, KilledAtEachStepOfTheFinishAcrossRiffs) {
  // 1 MiB RIFFs of 6 frames: the finish also writes the sizes of the RIFFs closed since the
  // checkpoint.
  KillAtEachStepOfTheFinish(40, 30, 1u << 20);
}

// ---- A recording graph killed in a child process ----------------------------------------------

// Child: DV file -> AVI Mux -> File writer, on the graph's clock or as fast as it goes. Reports
// "running" once the graph runs; with finishAfter >= 0 it reports "finishing" once that many
// frames are in the file and stops the graph (which finishes the file), else it records to the
// end of the DV file.
const test::ChildRoutineRegistration kRecordDv(
    "record-dv", [](const std::vector<std::string>& args) -> int {
      if (args.size() != 4) return 2;
      const bool clocked = args[2] == "1";
      const int finishAfter = std::stoi(args[3]);
      ComPtr<IBaseFilter> source = test::LoadedDvSource(args[0]);
      test::RecordingGraph g;
      if (!source || FAILED(g.Build({source.Get()}, clocked)) || FAILED(g.SetFile(args[1])) ||
          FAILED(g.Run())) {
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
      test::ReportToParent("finished");
      return 0;
    });

struct KillMoment {
  const char* report;  // the child's report the delay counts from
  std::chrono::milliseconds delay;
};

// Records a DV file of `frames` frames in a child and kills it at each moment in turn.
void KillRecordingGraph(bool clocked, int frames, int finishAfter,
                        std::initializer_list<KillMoment> moments) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string dvPath = dir.File("in.dv");
  test::WriteDvFile(dvPath, maker, frames);
  int run = 0;
  for (const KillMoment& moment : moments) {
    SCOPED_TRACE(std::string("killed ") + std::to_string(moment.delay.count()) + " ms after \"" +
                 moment.report + "\"");
    const std::string aviPath = dir.File("killed" + std::to_string(++run) + ".avi");
    test::ChildProcess child("record-dv", {dvPath, aviPath, clocked ? "1" : "0",
                                           std::to_string(finishAfter)});
    ASSERT_TRUE(child.started());
    std::optional<std::string> report;
    do {
      report = child.NextReport();
    } while (report && *report != moment.report);
    ASSERT_EQ(report, moment.report);
    // The moment of the kill is the point of the test, not a wait for something.
    std::this_thread::sleep_for(moment.delay);
    child.Kill();
    child.Wait();
    const AfterKill found = ExpectSoundAfterKill(aviPath);
    if (clocked) {
      EXPECT_LE(found.onDisk - found.indexed, kMaxLagFrames)
          << found.onDisk << " frames on disk, " << found.indexed << " indexed";
    }
    if (finishAfter < 0 && moment.delay >= std::chrono::milliseconds(500) && clocked) {
      EXPECT_GT(found.indexed, 0u) << "a recording is readable from its first frame on";
    }
  }
}

TEST(AviCrashGraph, RealTimeKilledInItsFirstSecond) {
  KillRecordingGraph(true, 50, -1, {{"running", std::chrono::milliseconds(150)},
                                    {"running", std::chrono::milliseconds(700)}});
}

TEST(AviCrashGraph, RealTimeKilledMidRecording) {
  KillRecordingGraph(true, 100, -1, {{"running", std::chrono::milliseconds(2600)}});
}

TEST(AviCrashGraph, RealTimeKilledWhileFinishing) {
  KillRecordingGraph(true, 100, 40, {{"finishing", std::chrono::milliseconds(0)},
                                     {"finishing", std::chrono::milliseconds(2)},
                                     {"finishing", std::chrono::milliseconds(10)}});
}

TEST(AviCrashGraph, FileSpeedKilledMidRecording) {
  KillRecordingGraph(false, 300, -1, {{"running", std::chrono::milliseconds(30)},
                                      {"running", std::chrono::milliseconds(250)}});
}

TEST(AviCrashGraph, FileSpeedKilledWhileFinishing) {
  KillRecordingGraph(false, 300, 150, {{"finishing", std::chrono::milliseconds(0)},
                                       {"finishing", std::chrono::milliseconds(3)}});
}

// Every moment of a real-time recording's deliveries, replayed: the file as a kill after each
// write leaves it meets the standard, and a header or index rewrite never follows data without
// a sync between them (data is durable before what describes it).
TEST(AviCrashGraph, EveryMomentOfTheDeliveriesLeavesASoundFile) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string dvPath = dir.File("in.dv");
  constexpr int kFrames = 40;  // 1.6 s: a checkpoint after the first frame, one on time, the finish
  test::WriteDvFile(dvPath, maker, kFrames);
  ComPtr<IBaseFilter> source = test::LoadedDvSource(dvPath);
  auto log = MakeComObject<test::DeliveryLog>();
  test::RecordingGraph g(log);
  ASSERT_EQ(g.Build({source.Get()}), S_OK);
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
      EXPECT_TRUE(syncedSinceData) << "step " << i << " rewrites at " << step.offset
                                   << " what unsynced data would follow";
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
    test::WriteBytes(path, test::DeliveryLog::ImageAfter(steps, n));
    // Our reader at every moment; ffprobe too once the header has been rewritten, and at the end.
    const bool headerRewritten = steps[n - 1].offset == 0 && n > 1;
    const AfterKill found = ExpectSoundAfterKill(path, headerRewritten || n == steps.size(),
                                                 [&](size_t k) { return maker.Frame(k); });
    if (n == steps.size()) {
      EXPECT_EQ(found.onDisk, static_cast<size_t>(kFrames));
      EXPECT_EQ(found.indexed, static_cast<size_t>(kFrames));
    }
  }
}

// ---- Full disk and big files ------------------------------------------------------------------

TEST(AviDiskFull, FileSizeLimitEndsWithTheErrorAndAReadableFile) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string path = dir.File("full.avi");
  constexpr rlim_t kLimit = 5u << 20;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLimit, kLimit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
    PosixFileOutput out;
    if (FAILED(out.Create(path))) ::_exit(11);
    AviWriter writer(out);
    writer.AddStream(DvType1());
    if (FAILED(writer.Start())) ::_exit(12);
    HRESULT hr = S_OK;
    for (uint64_t n = 0; n < 200 && SUCCEEDED(hr); ++n) {
      hr = writer.WriteSample(0, maker.Frame(n), static_cast<REFERENCE_TIME>(n) * kPalFrame);
    }
    if (hr != HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)) ::_exit(13);
    if (writer.Finish() != hr) ::_exit(14);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(FileSize(path), kLimit);

  std::string error;
  const auto info = AviReader::Read(path, &error);
  ASSERT_TRUE(info) << error;
  const auto& s = info->streams[0];
  const uint64_t whole = ChunksOnDisk(path).size();
  // Every whole frame that fit is indexed and counted.
  EXPECT_EQ(s.length, whole);
  EXPECT_EQ(s.odmlChunks.size(), whole);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(AviReader::ReadChunk(path, s.odmlChunks.back(), bytes));
  EXPECT_EQ(bytes, maker.Frame(whole - 1));
  const auto probed = test::Probe(path);
  ASSERT_FALSE(probed.empty());
  EXPECT_EQ(probed[0].count, static_cast<long>(whole));
}

// Big files: frames of 4 MiB of RGB32 keep the test fast while crossing the RIFF limits.
void WriteBigFileAndCheck(uint64_t targetBytes) {
  TempDir dir;
  const std::string path = dir.File("big.avi");
  constexpr int kWidth = 1024, kHeight = 1024;
  const size_t frameBytes = static_cast<size_t>(kWidth) * kHeight * 4;
  const int frames = static_cast<int>(targetBytes / frameBytes) + 1;
  {
    PosixFileOutput out;
    ASSERT_EQ(out.Create(path), S_OK);
    AviWriter writer(out);
    AviStreamFormat f;
    f.kind = AviStreamFormat::Kind::kVideo;
    f.bitmap = {40, kWidth, kHeight, 1, 32, BI_RGB, static_cast<DWORD>(frameBytes), 0, 0, 0, 0};
    f.avgTimePerFrame = kPalFrame;
    ASSERT_EQ(writer.AddStream(f), 0);
    ASSERT_EQ(writer.Start(), S_OK);
    std::vector<uint8_t> image(frameBytes, 0x55);
    for (int n = 0; n < frames; ++n) {
      PutU32(image.data(), static_cast<uint32_t>(n));
      ASSERT_EQ(writer.WriteSample(0, image, static_cast<REFERENCE_TIME>(n) * kPalFrame), S_OK);
    }
    ASSERT_EQ(writer.Finish(), S_OK);
  }
  EXPECT_GT(FileSize(path), targetBytes);
  std::string error;
  const auto info = AviReader::Read(path, &error);
  ASSERT_TRUE(info) << error;
  EXPECT_GE(info->riffCount, targetBytes >> 30);
  const auto& s = info->streams[0];
  EXPECT_EQ(s.length, static_cast<uint32_t>(frames));
  EXPECT_EQ(info->grandFrames, static_cast<uint32_t>(frames));
  ASSERT_EQ(s.odmlChunks.size(), static_cast<size_t>(frames));
  for (int n : {0, frames / 2, frames - 1}) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(AviReader::ReadChunk(path, s.odmlChunks[n], bytes));
    EXPECT_EQ(GetU32(bytes.data()), static_cast<uint32_t>(n));
  }
  const auto probed = test::Probe(path, true, /*countPackets=*/true);
  ASSERT_EQ(probed.size(), 1u);
  EXPECT_EQ(probed[0].count, frames);
}

TEST(AviBigFile, PastOneGibEveryFrameIsRead) {
  WriteBigFileAndCheck((uint64_t{1} << 30) + (64u << 20));
}

TEST(AviLongBigFile, PastFourGibEveryFrameIsRead) {
  WriteBigFileAndCheck((uint64_t{4} << 30) + (64u << 20));
}

}  // namespace
}  // namespace vidorra::avi
