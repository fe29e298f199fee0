// Crash safety and failures of the AVI writer on a real file: a writer killed with SIGKILL (in
// the first RIFF and in a later one) leaves a file ffprobe reads to the last whole frame and
// seeks exactly up to the last checkpoint; a full disk (a file-size limit) ends the recording
// with the error and a readable file; files past 1 GiB (and 4 GiB, long) keep every frame.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "avi/AviLayout.h"
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
constexpr uint64_t kDvChunkBytes = dv::kFrameBytesPal + kChunkHeaderBytes;

AviStreamFormat DvType1() {
  AviStreamFormat f;
  f.kind = AviStreamFormat::Kind::kDvType1;
  return f;
}

uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Child side: records DV frames until killed; after checkpointFrame frames it makes a
// checkpoint and reports the frame count through the pipe.
[[noreturn]] void RecordUntilKilled(const std::string& path, DvFrameMaker& maker,
                                    uint64_t riffLimit, int checkpointFrame, int reportFd) {
  PosixFileOutput out;
  if (FAILED(out.Create(path))) ::_exit(2);
  AviWriterOptions options;
  options.riffLimitBytes = riffLimit;
  options.checkpointInterval = std::chrono::hours(1);  // only the explicit checkpoint below
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
    // Keep the kernel's copy moving past the checkpoint without ending the recording.
    if (n % 8 == 0) out.Flush();
    if (n > 100000) ::_exit(7);
  }
}

// Frames the killed writer left whole on disk after the first one at firstChunkData.
uint64_t WholeFramesOnDisk(const std::string& path, uint64_t firstChunkData) {
  return (FileSize(path) - (firstChunkData - kChunkHeaderBytes)) / kDvChunkBytes;
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
  EXPECT_TRUE(
      test::WaitUntil([&] { return FileSize(path) > sizeAtCheckpoint + 10 * kDvChunkBytes; }));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "child ended on its own with " << WEXITSTATUS(status);

  std::string error;
  const auto info = AviReader::Read(path, &error);
  ASSERT_TRUE(info) << error;
  ASSERT_EQ(info->streams.size(), 1u);
  const auto& s = info->streams[0];
  // Header duration and index at least as of the checkpoint, and the index is exact.
  EXPECT_GE(s.length, checkpointed);
  ASSERT_GE(s.odmlChunks.size(), checkpointed);
  for (uint32_t k : {0u, checkpointed / 2, checkpointed - 1}) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(AviReader::ReadChunk(path, s.odmlChunks[k], bytes));
    EXPECT_EQ(bytes, maker.Frame(k)) << "index entry " << k;
  }
  // ffprobe decodes every frame on disk, the last one perhaps excepted.
  const uint64_t onDisk = WholeFramesOnDisk(path, s.odmlChunks[0].dataOffset);
  EXPECT_GT(onDisk, checkpointed);
  const auto probed = test::Probe(path);
  ASSERT_FALSE(probed.empty());
  EXPECT_EQ(probed[0].codec, "dvvideo");
  EXPECT_GE(probed[0].count + 1, static_cast<long>(onDisk)) << "frames on disk " << onDisk;
  EXPECT_GE(test::ProbeFormatDuration(path) + 1e-6, checkpointed * 0.04);
  // Seeking lands exactly on the asked frame up to the checkpoint.
  const double target = (checkpointed - 2) * 0.04;
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

TEST(AviCrash, CheckpointsHappenWhileRecording) {
  test::MemoryOutput out;
  AviWriterOptions options;
  options.checkpointInterval = std::chrono::milliseconds(0);
  AviWriter writer(out, options);
  AviStreamFormat pcm;
  pcm.kind = AviStreamFormat::Kind::kAudio;
  pcm.wave = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  ASSERT_EQ(writer.AddStream(pcm), 0);
  ASSERT_EQ(writer.Start(), S_OK);
  std::vector<uint8_t> sound(1920 * 4, 0);
  ASSERT_EQ(writer.WriteSample(0, sound, std::nullopt), S_OK);
  const int syncsAfterOne = out.syncs;
  EXPECT_GE(syncsAfterOne, 2);  // data, then headers and indexes
  ASSERT_EQ(writer.WriteSample(0, sound, std::nullopt), S_OK);
  EXPECT_GT(out.syncs, syncsAfterOne);
  ASSERT_EQ(writer.Finish(), S_OK);
}

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
    PosixFileOutput out(1u << 20);
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
  const uint64_t whole = WholeFramesOnDisk(path, s.odmlChunks.at(0).dataOffset);
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
