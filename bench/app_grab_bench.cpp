// A still image as the main window takes it from the running preview of the simulated DV
// camcorder (720x576): the sample grabber's last frame copied into the grab bitmap and the
// thumbnail (GrabFrame), then encoded and written as a new file on disk under the next image
// name (SaveGrabbedImage), as a BMP and as a JPEG at quality 85. Wall time on the UI thread
// per grab, in process; each file is removed outside the timing. Goals: JPEG under 2 ms, BMP
// under 3 ms.
#include <SimulatedMachine.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <memory>

#include "RadioGroup.h"
#include "graph.h"
#include "mainFlux.h"

namespace {

constexpr int kJpegQuality = 85;

struct Window {
  Window() {
    std::ofstream(dir.filePath(QStringLiteral("machine")).toStdString())
        << "video dv Camcorder\n";
    ::setenv("VIDORRA_SIMULATION", dir.filePath(QStringLiteral("machine")).toUtf8().constData(), 1);
    // The pictures folder (from the XDG user dirs of this home) is the benchmark's own.
    ::setenv("HOME", dir.path().toUtf8().constData(), 1);
    ::setenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8().constData(), 1);
    vidorra::win::SimulatedMachine::ReloadCurrentForTesting();
    form = std::make_unique<TCaptureForm>();
    module = std::make_unique<TdmCam>();
    form->cbEcouterAudioDV->setChecked(false);
    form->show();  // the first show starts the preview
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
  }
  ~Window() {
    module->fg->StopGraph();
    module.reset();
    form.reset();
  }
  QTemporaryDir dir;
  std::unique_ptr<TCaptureForm> form;
  std::unique_ptr<TdmCam> module;
};

void Grab(benchmark::State& state, int extension) {
  int argc = 0;
  QApplication app(argc, nullptr);
  Window window;
  TCaptureForm& form = *window.form;
  form.rgExtension->SetItemIndex(extension);
  form.TrackBar1->setValue(kJpegQuality);
  if (form.CaptureState != stPreview || !form.GrabFrame()) {
    state.SkipWithError("no preview to grab from");
    return;
  }
  qint64 bytes = 0;
  for (auto _ : state) {
    const QString file = form.ImageFileName;
    const auto start = std::chrono::steady_clock::now();
    form.GrabFrame();
    form.SaveGrabbedImage();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    bytes = QFile(file).size();
    QFile::remove(file);
    // Lets the preview deliver the next frame, as the window's event loop does between grabs.
    QApplication::processEvents();
  }
  state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_GrabBmp(benchmark::State& state) { Grab(state, 0); }
void BM_GrabJpeg85(benchmark::State& state) { Grab(state, 1); }

BENCHMARK(BM_GrabBmp)->UseManualTime()->Iterations(200)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrabJpeg85)
    ->UseManualTime()
    ->Iterations(200)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
