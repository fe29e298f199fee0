// Like-for-like comparisons with the ffmpeg command line: both sides run as whole processes on
// the same input file, timed the same way (CPU time, user + system, of the process), in
// interleaved rounds (A B A B ...). A side's cost per frame is the slope between a short and a
// long run over the same frames (the short input is a prefix of the long one), so the fixed
// cost of starting and ending a process falls out on both sides alike. The median over the
// rounds is reported with the spread (lowest and highest round).
//
// Our side is the benchmark executable itself started again with "--run MODE ARGS...": each
// benchmark's main hands such a call to its runner, which builds the graph, runs it to its end
// and prints what it delivered.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "../tests/filters/avi_test_support.h"

extern char** environ;

namespace vidorra::bench {

inline constexpr int kRounds = 7;

struct ProcessResult {
  int status = -1;
  double cpuSeconds = 0;
  std::string output;  // standard output
};

// Runs argv[0] with its arguments (standard error goes on to ours) and waits for it.
inline ProcessResult RunProcess(const std::vector<std::string>& argv) {
  ProcessResult result;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned == 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, n);
  }
  ::close(pipeFds[0]);
  if (spawned != 0) return result;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) return result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return result;
}

inline std::string SelfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

// The value printed as "key=value" on its own line by a runner, or -1.
inline long OutputValue(const std::string& output, const std::string& key) {
  const std::string prefix = key + "=";
  size_t at = output.rfind("\n" + prefix);
  if (at != std::string::npos) {
    ++at;
  } else if (output.compare(0, prefix.size(), prefix) == 0) {
    at = 0;
  } else {
    return -1;
  }
  return std::atol(output.c_str() + at + prefix.size());
}

struct Spread {
  double median = 0;
  double low = 0;
  double high = 0;
};

inline Spread SpreadOf(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

// One side of a comparison: the command for the short or the long input, and a check of a
// finished run (frames delivered, output file complete) that names what went wrong. A check
// may answer kRunAgain: the run did less than the whole work (a preview that dropped frames on
// a busy machine) and does not count; it is run again, up to kAttempts times.
inline const std::string kRunAgain = "run again";
inline constexpr int kAttempts = 10;

struct Side {
  std::string name;
  std::function<std::vector<std::string>(bool longRun)> command;
  std::function<std::string(const ProcessResult&, bool longRun)> check;
};

// Runs a side until a run passes its check (or fails it for good); the CPU seconds of that run,
// or a negative value with the reason in *problem.
inline double TimedRun(const Side& side, bool longRun, std::string* problem, int* repeated) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const ProcessResult run = RunProcess(side.command(longRun));
    *problem = run.status == 0 ? side.check(run, longRun)
                               : "exit status " + std::to_string(run.status);
    if (*problem == kRunAgain) {
      ++*repeated;
      continue;
    }
    return problem->empty() ? run.cpuSeconds : -1;
  }
  *problem = "no complete run in " + std::to_string(kAttempts) + " attempts";
  return -1;
}

struct Comparison {
  Spread ours;    // milliseconds of CPU per frame
  Spread theirs;  // milliseconds of CPU per frame
  Spread ratio;   // ours / theirs, per round
  bool ok = false;
};

// Runs `rounds` interleaved rounds of both sides on the short and the long input and returns
// the CPU milliseconds per frame of each; prints each round and the summary under `title`.
inline Comparison Compare(const std::string& title, const Side& ours, const Side& theirs,
                          int shortFrames, int longFrames, int rounds = kRounds) {
  std::vector<double> a, b, ratios;
  Comparison result;
  int repeated = 0;
  for (int round = 0; round < rounds; ++round) {
    double cpu[2][2] = {};  // [side][long]
    for (bool longRun : {false, true}) {
      for (int side = 0; side < 2; ++side) {
        const Side& s = side == 0 ? ours : theirs;
        std::string problem;
        cpu[side][longRun] = TimedRun(s, longRun, &problem, &repeated);
        if (cpu[side][longRun] < 0) {
          std::printf("%s: %s failed: %s\n", title.c_str(), s.name.c_str(), problem.c_str());
          return result;
        }
      }
    }
    const double frames = longFrames - shortFrames;
    const double perFrameA = (cpu[0][1] - cpu[0][0]) * 1000 / frames;
    const double perFrameB = (cpu[1][1] - cpu[1][0]) * 1000 / frames;
    a.push_back(perFrameA);
    b.push_back(perFrameB);
    ratios.push_back(perFrameA / perFrameB);
    std::printf("  %s round %d: %s %.3f ms/frame, %s %.3f ms/frame\n", title.c_str(), round + 1,
                ours.name.c_str(), perFrameA, theirs.name.c_str(), perFrameB);
    std::fflush(stdout);
  }
  result.ours = SpreadOf(a);
  result.theirs = SpreadOf(b);
  result.ratio = SpreadOf(ratios);
  result.ok = true;
  std::printf(
      "%s: %s %.3f ms/frame (%.3f-%.3f), %s %.3f ms/frame (%.3f-%.3f), ratio %.2f (%.2f-%.2f), "
      "median of %d interleaved rounds, CPU per frame of %d frames; %d incomplete runs repeated\n",
      title.c_str(), ours.name.c_str(), result.ours.median, result.ours.low, result.ours.high,
      theirs.name.c_str(), result.theirs.median, result.theirs.low, result.theirs.high,
      result.ratio.median, result.ratio.low, result.ratio.high, rounds, longFrames - shortFrames,
      repeated);
  std::fflush(stdout);
  return result;
}

// A PAL DV file of `frames` frames with a moving, noisy picture (as a camera's is: the codec
// has real detail to work on) and a 1 kHz tone, made by the ffmpeg command line; the first
// `prefixFrames` frames are also written to prefixPath. False when ffmpeg fails.
inline bool MakeDvFiles(const std::string& path, int frames, const std::string& prefixPath,
                        int prefixFrames) {
  constexpr size_t kPalFrameBytes = 144000;
  const std::string seconds = std::to_string(frames / 25 + 1);
  const std::string command =
      "ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=size=720x576:rate=25,"
      "noise=alls=12:allf=t+u' -f lavfi -i 'sine=frequency=1000:sample_rate=48000' -t " +
      seconds + " -map 0:v -map 1:a -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 -f dv '" +
      path + ".whole'";
  if (std::system(command.c_str()) != 0) return false;
  std::ifstream in(path + ".whole", std::ios::binary);
  std::vector<char> frame(kPalFrameBytes);
  std::ofstream whole(path, std::ios::binary), prefix(prefixPath, std::ios::binary);
  for (int i = 0; i < frames; ++i) {
    if (!in.read(frame.data(), static_cast<std::streamsize>(frame.size()))) return false;
    whole.write(frame.data(), static_cast<std::streamsize>(frame.size()));
    if (i < prefixFrames) prefix.write(frame.data(), static_cast<std::streamsize>(frame.size()));
  }
  std::filesystem::remove(path + ".whole");
  return true;
}

// The short and the long DV input of a comparison (MakeDvFiles), in a folder of their own that
// also takes the outputs.
class DvInputs {
 public:
  DvInputs(int shortFrames, int longFrames) : shortFrames_(shortFrames), longFrames_(longFrames) {
    ok_ = MakeDvFiles(Path(true), longFrames, Path(false), shortFrames);
    if (!ok_) std::printf("cannot make the DV file with ffmpeg\n");
  }
  bool ok() const { return ok_; }
  std::string Path(bool longRun) const { return dir_.File(longRun ? "long.dv" : "short.dv"); }
  int Frames(bool longRun) const { return longRun ? longFrames_ : shortFrames_; }
  std::string File(const std::string& name) const { return dir_.File(name); }

 private:
  test::TempDir dir_;
  const int shortFrames_;
  const int longFrames_;
  bool ok_ = false;
};

}  // namespace vidorra::bench
