// A DV type 2 recording from the window while two other processes keep both cores busy at
// normal priority (each `sh -c 'while :; do :; done'`), as a user's machine is when it compiles
// or converts something beside the capture. The camcorder is the `dvfile` kind (a FireWire
// camcorder whose tape is a DV file of the simulated camcorder's numbered frames: the source
// costs nothing, as a real camcorder's frames cost the program nothing). The window is the
// program's own (its first show starts the preview, "Capture" records in the default format,
// DV type 2 normal with the DV sound, listened to); each run records kSeconds, then "Stop".
//
// Reported per run: frames lost (gaps in the numbers of the recorded pictures, read back with
// ffmpeg, plus the capture pin's own count of frames it dropped; 0 expected), the longest delay
// of a picture and of a sound block from the end of its capture to the AVI Mux's Receive (on
// the graph's clock), the preview's frames shown, and where the CPU went: the process's threads
// by name (the capture path's threads are named by the platform: "capture", "clock",
// "out-queue", "avi-writer"; the preview's "tee-preview"; the window's is the process's first
// thread) in per cent of one core over the recording.
#include <SimulatedMachine.h>
#include <VideoRenderer.h>
#include <avi/AviMux.h>
#include <benchmark/benchmark.h>
#include <recording_readback.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <thread_scheduling.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchDevices.h"
#include "BenchTiming.h"
#include "MediaGraph.h"
#include "graph.h"
#include "mainFlux.h"

extern char** environ;

namespace {

using vidorra::bench::Pump;

constexpr int kSeconds = 60;
constexpr int kBusyProcesses = 2;
// The tape: the recording and the preview before it, with room to spare.
constexpr int kTapeFrames = (kSeconds + 15) * 25;
constexpr const char* kTapeTitle = "Tape";

// Pumps the event loop until `done` or `seconds` have gone by.
template <class Done>
bool PumpUntil(Done done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Pump(0.05);
  }
  return true;
}

// The CPU seconds of each of the process's threads so far, summed by thread name.
std::map<std::string, double> CpuByThread() {
  std::map<std::string, double> cpu;
  for (const vidorra::test::ThreadScheduling& thread : vidorra::test::ProcessThreads()) {
    cpu[thread.main ? "window (main thread)" : thread.name] += thread.cpuSeconds;
  }
  return cpu;
}

// Two busy processes at normal priority, killed when this goes.
class BusyLoad {
 public:
  BusyLoad() {
    for (int i = 0; i < kBusyProcesses; ++i) {
      const char* argv[] = {"sh", "-c", "while :; do :; done", nullptr};
      pid_t pid = -1;
      if (::posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) == 0) {
        pids_.push_back(pid);
      }
    }
  }
  ~BusyLoad() {
    for (const pid_t pid : pids_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  bool ok() const { return static_cast<int>(pids_.size()) == kBusyProcesses; }

 private:
  std::vector<pid_t> pids_;
};

struct RunResult {
  bool ok = false;
  std::string problem;
  long recorded = 0;
  long lost = 0;        // gaps in the recorded numbers
  long pinDropped = 0;  // the capture pin's count
  double pictureDelayMs = 0;
  double soundDelayMs = 0;
  long previewShown = 0;
  std::map<std::string, double> cpu;  // per cent of one core
};

RunResult RecordUnderLoad(const QTemporaryDir& dir, const std::string& tape, int run) {
  RunResult result;
  // A name of its own for the tape each run: a new camcorder, playing from the tape's start.
  const std::string link = dir.filePath(QStringLiteral("tape%1.dv").arg(run)).toStdString();
  std::filesystem::create_hard_link(tape, link);
  const QString machine = dir.filePath(QStringLiteral("machine"));
  std::ofstream(machine.toStdString()) << "video dvfile " << link << "\n";
  ::setenv("VIDORRA_SIMULATION", machine.toUtf8().constData(), 1);
  vidorra::win::SimulatedMachine::ReloadCurrentForTesting();
  auto form = std::make_unique<TCaptureForm>();
  auto module = std::make_unique<TdmCam>();
  form->show();  // the first show starts the preview
  if (!PumpUntil([&] { return form->CaptureState == stPreview; }, 10)) {
    result.problem = "no preview";
    return result;
  }
  Pump(1);
  BusyLoad load;
  if (!load.ok()) {
    result.problem = "cannot start the busy processes";
    return result;
  }
  Pump(1);
  const std::map<std::string, double> before = CpuByThread();
  form->CaptureBtnClick();
  const QString file = form->VideoFileName;
  if (form->CaptureState != stRecording) {
    result.problem = "the recording did not start";
    return result;
  }
  auto* renderer = static_cast<vidorra::filters::CVideoRenderer*>(form->vwEcran->MemberFilter());
  const long shownBefore = renderer ? renderer->WindowForTesting()->FramesPresented() : 0;
  Pump(kSeconds);
  const std::map<std::string, double> after = CpuByThread();
  result.previewShown =
      (renderer ? renderer->WindowForTesting()->FramesPresented() : 0) - shownBefore;
  auto* mux = static_cast<vidorra::filters::CAviMux*>(dmCam->AviMux.Get());
  result.pictureDelayMs = static_cast<double>(mux->LongestDelay(0)) / 1e4;
  result.soundDelayMs = static_cast<double>(mux->LongestDelay(1)) / 1e4;
  if (ComPtr<IAMDroppedFrames> frames = QueryAs<IAMDroppedFrames>(dmCam->SourcePin.Get())) {
    frames->GetNumDropped(&result.pinDropped);
  }
  form->StopBtnClick();
  dmCam->fg->StopGraph();
  module.reset();
  form.reset();
  for (const auto& [name, seconds] : after) {
    const auto was = before.find(name);
    result.cpu[name] = (seconds - (was == before.end() ? 0 : was->second)) / kSeconds * 100;
  }
  const auto numbers = vidorra::test::RecordedFrameNumbers(file.toStdString(), 720, 576);
  result.recorded = static_cast<long>(numbers.size());
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (!numbers[i]) {
      result.problem = "a picture without a number";
      return result;
    }
    if (i > 0)
      result.lost += static_cast<long>(*numbers[i]) - static_cast<long>(*numbers[i - 1]) - 1;
  }
  QFile::remove(file);
  std::filesystem::remove(link);
  result.ok = result.recorded > 0;
  if (!result.ok) result.problem = "nothing recorded";
  return result;
}

void BM_DvType2RecordingUnderLoad(benchmark::State& state) {
  int argc = 0;
  QApplication app(argc, nullptr);
  QTemporaryDir dir;
  ::setenv("HOME", dir.path().toUtf8().constData(), 1);
  ::setenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8().constData(), 1);
  ::setenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toUtf8().constData(), 1);
  const std::string tape = dir.filePath(QStringLiteral("tape.dv")).toStdString();
  if (!vidorra::bench::WriteCamcorderFrames(tape, kTapeFrames, kTapeTitle)) {
    state.SkipWithError("cannot write the tape");
    return;
  }
  long lost = 0, recorded = 0;
  double pictureDelay = 0, soundDelay = 0;
  int run = 0;
  for (auto _ : state) {
    const RunResult r = RecordUnderLoad(dir, tape, run);
    if (!r.ok) {
      state.SkipWithError(r.problem.c_str());
      return;
    }
    std::printf(
        "run %d: %ld frames recorded, %ld lost (gaps), %ld dropped by the capture pin; longest "
        "delay to the mux: picture %.1f ms, sound %.1f ms; preview %ld frames shown\n",
        run, r.recorded, r.lost, r.pinDropped, r.pictureDelayMs, r.soundDelayMs, r.previewShown);
    for (const auto& [name, share] : r.cpu) {
      if (share >= 0.05) std::printf("  %-22s %5.1f %% of a core\n", name.c_str(), share);
    }
    std::fflush(stdout);
    lost += r.lost + r.pinDropped;
    recorded += r.recorded;
    pictureDelay = std::max(pictureDelay, r.pictureDelayMs);
    soundDelay = std::max(soundDelay, r.soundDelayMs);
    ++run;
  }
  state.counters["frames_recorded"] = static_cast<double>(recorded);
  state.counters["frames_lost"] = static_cast<double>(lost);
  state.counters["longest_picture_delay_ms"] = pictureDelay;
  state.counters["longest_sound_delay_ms"] = soundDelay;
}

BENCHMARK(BM_DvType2RecordingUnderLoad)->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
