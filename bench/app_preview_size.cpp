// The whole program previewing a DV camcorder in the window's video area at its default size
// (384x288, where the camcorder's PAL picture is decoded at half size), against the ffmpeg
// command line decoding the same frames in real time to the area's size:
// `ffmpeg -re -threads 1 -i F -vf scale=384:288 -pix_fmt bgra -f null -`. Our side is the
// program's window and data module as main() makes them (this executable started again with
// "--run SECONDS FILE"), on a simulated machine whose only device is a `dvfile` camcorder
// playing F (a file costs the program nothing to make, as a real camcorder's frames do), for
// SECONDS of the message loop, listening to the camcorder's sound as the window does by default.
// Both sides are whole processes timed by their CPU, the cost per frame the slope between a 5 s
// and a 20 s run (see BenchCompare.h). A run in which the camcorder dropped frames or the window
// showed too few is run again. Goal: ours at most 0.6 of ffmpeg's CPU.
#include <SimulatedMachine.h>
#include <VideoRenderer.h>
#include <stdlib.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "BenchCompare.h"
#include "MediaGraph.h"
#include "graph.h"
#include "mainFlux.h"

namespace {

using vidorra::bench::Compare;
using vidorra::bench::OutputValue;
using vidorra::bench::ProcessResult;
using vidorra::bench::SelfPath;
using vidorra::bench::Side;

constexpr int kShortSeconds = 5;
constexpr int kLongSeconds = 20;
constexpr int kFramesPerSecond = 25;
// The program's start before the first picture, beyond which every frame must be shown.
constexpr int kStartFrames = 2 * kFramesPerSecond;
constexpr const char* kAreaSize = "384:288";

int RunProgram(int seconds, const std::string& dvPath, int argc, char** argv) {
  QTemporaryDir dir;
  std::ofstream(dir.filePath(QStringLiteral("machine")).toStdString())
      << "video dvfile " << dvPath << "\n";
  ::setenv("VIDORRA_SIMULATION", dir.filePath(QStringLiteral("machine")).toUtf8().constData(), 1);
  ::setenv("HOME", dir.path().toUtf8().constData(), 1);
  ::setenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8().constData(), 1);
  ::setenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toUtf8().constData(), 1);
  int qtArgc = argc > 0 ? 1 : 0;
  QApplication app(qtArgc, argv);
  vidorra::win::SimulatedMachine::ReloadCurrentForTesting();
  auto form = std::make_unique<TCaptureForm>();
  auto module = std::make_unique<TdmCam>();
  form->show();
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  QApplication::exec();
  auto* renderer = static_cast<vidorra::filters::CVideoRenderer*>(form->vwEcran->MemberFilter());
  long dropped = -1;
  if (module->DroppedFrames) module->DroppedFrames->GetNumDropped(&dropped);
  std::printf("frames=%ld\ndropped=%ld\nresolution=%d\n",
              renderer ? renderer->WindowForTesting()->FramesPresented() : -1L, dropped,
              module->PreviewResolution);
  module->fg->StopGraph();
  module.reset();
  form.reset();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--run") {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return RunProgram(std::atoi(argv[2]), argv[3], argc, argv);
  }
  const vidorra::bench::DvInputs dv(kShortSeconds * kFramesPerSecond,
                                    kLongSeconds * kFramesPerSecond);
  if (!dv.ok()) return 1;
  const std::string self = SelfPath();
  const auto seconds = [](bool longRun) { return longRun ? kLongSeconds : kShortSeconds; };
  const Side ours{"the program",
                  [&](bool l) {
                    // The long file for both: the tape does not run out before the end.
                    return std::vector<std::string>{self, "--run", std::to_string(seconds(l)),
                                                    dv.Path(true)};
                  },
                  [&](const ProcessResult& run, bool l) -> std::string {
                    if (OutputValue(run.output, "resolution") != DVRESOLUTION_HALF) {
                      return "not decoded at half size: " + run.output;
                    }
                    if (OutputValue(run.output, "dropped") != 0 ||
                        OutputValue(run.output, "frames") <
                            seconds(l) * kFramesPerSecond - kStartFrames) {
                      return vidorra::bench::kRunAgain;
                    }
                    return {};
                  }};
  const Side ffmpeg{"ffmpeg",
                    [&](bool l) {
                      return std::vector<std::string>{
                          "ffmpeg", "-nostdin", "-v",         "error", "-re", "-threads", "1",
                          "-filter_threads", "1", "-i", dv.Path(l), "-vf",
                          std::string("scale=") + kAreaSize, "-pix_fmt", "bgra", "-f",
                          "null", "-"};
                    },
                    [](const ProcessResult&, bool) { return std::string(); }};
  Compare("The window's preview at its default size", ours, ffmpeg,
          kShortSeconds * kFramesPerSecond, kLongSeconds * kFramesPerSecond, 5);
  return 0;
}
