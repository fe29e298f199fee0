// The preview and the recording of the simulated DV camcorder as the program builds them (the
// data module's preview graph through the deinterlacer into a shown video window, offscreen,
// the camcorder's own DV coding included): the CPU the whole process spends per frame of
// preview, the CPU a DV type 2 recording adds to it, and the time from the start of the preview
// build to the first picture in the window. Against the CPU per frame of
// `ffmpeg -threads 1 -i F -an -vf yadif -pix_fmt bgra -f null -` on a DV file of the very frames
// the camcorder makes (its picture and sound, raw DIF frames back to back), ffmpeg's cost per
// frame being the slope between a long and a short file, so that its start-up falls out as our
// steady state has none; also with bwdif, our deinterlacer's own algorithm. A real camcorder's
// frames cost the program nothing to make, so each round also runs the same simulated
// camcorder into a Null Renderer for as long: the preview's own cost is the whole process's
// minus that. Rounds interleave all sides; medians and the spread are reported. Goals: preview
// at most 1.5x ffmpeg's CPU per frame, recording at most 2 points of one core more, first
// picture under 1 s.
#include <FilterPins.h>
#include <SimulatedMachine.h>
#include <VideoRenderer.h>
#include <benchmark/benchmark.h>
#include <qedit.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QSize>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchDevices.h"
#include "BenchTiming.h"
#include "graph.h"

namespace {

using vidorra::bench::BindFirstVideoDevice;
using vidorra::bench::ProcessCpuSeconds;
using vidorra::bench::Pump;
using vidorra::bench::WriteCamcorderFrames;
using vidorra::test::CreateFilter;
using vidorra::test::PinAt;

constexpr int kSeconds = 5;
constexpr int kShortSeconds = 1;
constexpr double kFramesPerSecond = 25.0;
// The simulated machine's camcorder, as the pattern names it.
constexpr const char* kCamcorderName = "Camcorder";

// The CPU (user + system) of a command and its children, in seconds.
double CommandCpuSeconds(const std::string& command) {
  rusage before{};
  getrusage(RUSAGE_CHILDREN, &before);
  if (std::system(command.c_str()) != 0) return -1;
  rusage after{};
  getrusage(RUSAGE_CHILDREN, &after);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
         seconds(before.ru_stime);
}

// ffmpeg's CPU per frame for a video filter on the PAL DV files `longFile` and `shortFile` of
// `frames` frames apart, as the slope between them (its start-up falls out). The preview leaves
// the sound alone: so does ffmpeg (-an).
double FfmpegPerFrame(const std::string& filter, const std::string& longFile,
                      const std::string& shortFile, double frames) {
  auto command = [&](const std::string& file) {
    return "ffmpeg -v error -threads 1 -i " + file + " -an -vf " + filter +
           " -pix_fmt bgra -f null -";
  };
  return (CommandCpuSeconds(command(longFile)) - CommandCpuSeconds(command(shortFile))) / frames;
}

struct Engine {
  // The data module and the video window on the simulated machine `machine` (text), `device`
  // selected, "Désentrelacer" ticked.
  void Start(const std::string& machine, const QString& device, QSize size) {
    std::ofstream(dir.filePath(QStringLiteral("machine")).toStdString()) << machine;
    ::setenv("VIDORRA_SIMULATION", dir.filePath(QStringLiteral("machine")).toUtf8().constData(), 1);
    vidorra::win::SimulatedMachine::ReloadCurrentForTesting();
    module = std::make_unique<TdmCam>();
    window = std::make_unique<TVideoWindow>();
    window->SetName(QStringLiteral("vwEcran"));
    window->resize(size);
    window->show();
    window->SetFilterGraph(module->fg);
    module->SelectVideoDevice(device);
    // "Désentrelacer" ticked: the picture is deinterlaced, like ffmpeg's below.
    module->DeinterlacerInstalled = module->BindFilterByName(
        QStringLiteral("DirectShow Filters"), QStringLiteral("Pinnacle Video Deinterlacer"),
        module->Deinterlacer);
    module->UseDeinterlacer = module->DeinterlacerInstalled;
  }
  ~Engine() {
    if (module) module->fg->StopGraph();
    window.reset();
    module.reset();
  }
  long Presented() {
    auto* renderer = static_cast<vidorra::filters::CVideoRenderer*>(window->MemberFilter());
    return renderer == nullptr ? 0 : renderer->WindowForTesting()->FramesPresented();
  }
  QTemporaryDir dir;
  std::unique_ptr<TdmCam> module;
  std::unique_ptr<TVideoWindow> window;
};

// The simulated camcorder alone, streaming in real time into a Null Renderer for `seconds`: the
// process's CPU per frame it delivered, in seconds; negative when it could not run.
double CamcorderAlonePerFrame(double seconds) {
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  ComPtr<IBaseFilter> camcorder = BindFirstVideoDevice();
  ComPtr<IBaseFilter> sink = CreateFilter(CLSID_NullRenderer);
  if (!graph || !camcorder || !sink) return -1;
  graph->AddFilter(camcorder.Get(), L"Camcorder");
  graph->AddFilter(sink.Get(), L"Null Renderer");
  ComPtr<IPin> output = PinAt(camcorder.Get(), 0);
  if (graph->ConnectDirect(output.Get(), PinAt(sink.Get(), 0).Get(), nullptr) != S_OK) return -1;
  ComPtr<IMediaControl> control = QueryAs<IMediaControl>(graph.Get());
  control->Run();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  long before = 0;
  ComPtr<IAMDroppedFrames> frames = QueryAs<IAMDroppedFrames>(output.Get());
  frames->GetNumNotDropped(&before);
  const double cpu = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double spent = ProcessCpuSeconds() - cpu;
  long after = 0;
  frames->GetNumNotDropped(&after);
  control->Stop();
  return after > before ? spent / static_cast<double>(after - before) : -1;
}

struct Spread {
  double median, lowest, highest;
};

Spread SpreadOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.front(), values.back()};
}

void Report(benchmark::State& state, const std::string& name, const std::vector<double>& values) {
  const Spread spread = SpreadOf(values);
  state.counters[name + "_median"] = spread.median;
  state.counters[name + "_lowest"] = spread.lowest;
  state.counters[name + "_highest"] = spread.highest;
}

void BM_PreviewAndRecordingOfTheDVCamcorder(benchmark::State& state) {
  int argc = 0;
  QApplication app(argc, nullptr);
  Engine engine;
  engine.Start(std::string("video dv ") + kCamcorderName + "\naudio tone Micro\n",
               QString::fromLatin1(kCamcorderName), QSize(384, 288));
  // A long file and a short one of the same first frames: ffmpeg's cost per frame is the slope
  // between them, so its process start-up falls out, as our in-process steady state has none.
  const std::string dv = engine.dir.filePath(QStringLiteral("pal.dv")).toStdString();
  const std::string shortDv = engine.dir.filePath(QStringLiteral("short.dv")).toStdString();
  if (!engine.module->UseDeinterlacer) {
    state.SkipWithError("the deinterlacer is not installed");
    return;
  }
  if (!WriteCamcorderFrames(dv, static_cast<int>(kSeconds * kFramesPerSecond), kCamcorderName) ||
      !WriteCamcorderFrames(shortDv, static_cast<int>(kShortSeconds * kFramesPerSecond),
                            kCamcorderName)) {
    state.SkipWithError("could not write the camcorder's frames");
    return;
  }
  auto ffmpegPerFrame = [&](const std::string& filter) {
    return FfmpegPerFrame(filter, dv, shortDv, (kSeconds - kShortSeconds) * kFramesPerSecond);
  };
  std::vector<double> overYadif, ownOverYadif, overBwdif, ownOverBwdif, ourMs, ownMs, deviceMs,
      yadifMs, bwdifMs;
  double preview = 0, recording = 0, firstPicture = 0;
  int runs = 0;
  for (auto _ : state) {
    // Preview: from the start of the build to the first picture, then kSeconds of it.
    const auto start = std::chrono::steady_clock::now();
    engine.module->BuildPreviewGraph(engine.window->MemberFilter());
    engine.module->fg->RunGraph();
    const long shown = engine.Presented();
    while (engine.Presented() <= shown) {
      QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    firstPicture += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Pump(0.5);
    double cpu = ProcessCpuSeconds();
    Pump(kSeconds);
    const double share = (ProcessCpuSeconds() - cpu) / kSeconds;
    preview += share;
    // The same preview while a DV type 2 recording runs.
    engine.module->fg->StopGraph();
    const QString file = engine.dir.filePath(QStringLiteral("rec%1.avi").arg(runs));
    engine.module->RecordDVAudio = true;
    engine.module->BuildDVType2CaptureGraph(file);
    engine.module->fg->RunGraph();
    Pump(0.5);
    cpu = ProcessCpuSeconds();
    Pump(kSeconds);
    recording += (ProcessCpuSeconds() - cpu) / kSeconds;
    engine.module->fg->StopGraph();
    QFile::remove(file);
    // The device's own frame-making, for as long.
    const double device = CamcorderAlonePerFrame(kSeconds);
    if (device < 0) {
      state.SkipWithError("the camcorder alone did not stream");
      return;
    }
    const double ours = share / kFramesPerSecond;
    const double own = ours - device;
    const double yadif = ffmpegPerFrame("yadif");
    const double bwdif = ffmpegPerFrame("bwdif");
    ourMs.push_back(ours * 1000);
    ownMs.push_back(own * 1000);
    deviceMs.push_back(device * 1000);
    yadifMs.push_back(yadif * 1000);
    bwdifMs.push_back(bwdif * 1000);
    overYadif.push_back(ours / yadif);
    ownOverYadif.push_back(own / yadif);
    overBwdif.push_back(ours / bwdif);
    ownOverBwdif.push_back(own / bwdif);
    std::printf(
        "round %d: whole %.2f ms, camcorder %.2f ms, own %.2f ms per frame; "
        "ffmpeg yadif %.2f, bwdif %.2f ms\n",
        runs, ours * 1000, device * 1000, own * 1000, yadif * 1000, bwdif * 1000);
    ++runs;
  }
  state.counters["preview_cpu_share"] = preview / runs;
  state.counters["recording_added_points"] = (recording - preview) / runs * 100;
  state.counters["first_picture_ms"] = firstPicture / runs * 1000;
  state.counters["whole_ms_per_frame"] = SpreadOf(ourMs).median;
  state.counters["camcorder_ms_per_frame"] = SpreadOf(deviceMs).median;
  state.counters["own_ms_per_frame"] = SpreadOf(ownMs).median;
  state.counters["ffmpeg_yadif_ms_per_frame"] = SpreadOf(yadifMs).median;
  state.counters["ffmpeg_bwdif_ms_per_frame"] = SpreadOf(bwdifMs).median;
  // The whole process (the camcorder's frame-making included), then the preview's own cost.
  Report(state, "whole_over_yadif", overYadif);
  Report(state, "own_over_yadif", ownOverYadif);
  // Our deinterlacer's own algorithm: the same work on both sides.
  Report(state, "whole_over_bwdif", overBwdif);
  Report(state, "own_over_bwdif", ownOverBwdif);
}

// The deinterlaced full-size preview (720x576 window) of the `dvfile` camcorder, whose tape
// holds the simulated camcorder's frames: the source costs nothing, so the whole process's CPU
// per frame is the preview's; against ffmpeg's yadif chain on the same frames, rounds
// interleaved. Goal: at most 1.2 times ffmpeg's.
void BM_DeinterlacedFullSizePreviewOfATape(benchmark::State& state) {
  int argc = 0;
  QApplication app(argc, nullptr);
  Engine engine;
  constexpr int kRounds = 5;
  const std::string tape = engine.dir.filePath(QStringLiteral("tape.dv")).toStdString();
  const std::string dv = engine.dir.filePath(QStringLiteral("pal.dv")).toStdString();
  const std::string shortDv = engine.dir.filePath(QStringLiteral("short.dv")).toStdString();
  // The tape plays on from where each round stopped.
  const int tapeFrames = static_cast<int>((kRounds * (kSeconds + 2) + 10) * kFramesPerSecond);
  if (!WriteCamcorderFrames(tape, tapeFrames, kCamcorderName) ||
      !WriteCamcorderFrames(dv, static_cast<int>(kSeconds * kFramesPerSecond), kCamcorderName) ||
      !WriteCamcorderFrames(shortDv, static_cast<int>(kShortSeconds * kFramesPerSecond),
                            kCamcorderName)) {
    state.SkipWithError("could not write the camcorder's frames");
    return;
  }
  engine.Start("video dvfile " + tape + "\n", QStringLiteral("Caméscope DV (tape.dv)"),
               QSize(720, 576));
  if (!engine.module->UseDeinterlacer) {
    state.SkipWithError("the deinterlacer is not installed");
    return;
  }
  std::vector<double> ourMs, yadifMs, ratios;
  long shown = 0;
  for (auto _ : state) {
    engine.module->BuildPreviewGraph(engine.window->MemberFilter());
    engine.module->fg->RunGraph();
    Pump(0.5);
    const long before = engine.Presented();
    const double cpu = ProcessCpuSeconds();
    Pump(kSeconds);
    const double ours = (ProcessCpuSeconds() - cpu) / (kSeconds * kFramesPerSecond);
    shown += engine.Presented() - before;
    engine.module->fg->StopGraph();
    const double yadif =
        FfmpegPerFrame("yadif", dv, shortDv, (kSeconds - kShortSeconds) * kFramesPerSecond);
    ourMs.push_back(ours * 1000);
    yadifMs.push_back(yadif * 1000);
    ratios.push_back(ours / yadif);
    std::printf("round: ours %.2f ms, ffmpeg yadif %.2f ms per frame, %ld frames shown\n",
                ours * 1000, yadif * 1000, engine.Presented() - before);
  }
  Report(state, "ours_ms_per_frame", ourMs);
  Report(state, "yadif_ms_per_frame", yadifMs);
  Report(state, "ours_over_yadif", ratios);
  state.counters["frames_shown"] = static_cast<double>(shown);
}

BENCHMARK(BM_DeinterlacedFullSizePreviewOfATape)->Iterations(5)->Unit(benchmark::kSecond);
BENCHMARK(BM_PreviewAndRecordingOfTheDVCamcorder)->Iterations(5)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
