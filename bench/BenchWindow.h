// What the benchmarks that drive the main window share: the window on a simulated machine of
// its own (and, through BenchTiming.h, the process's CPU time and the event loop run for a while).
#pragma once

#include <SimulatedMachine.h>
#include <stdlib.h>

#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "BenchTiming.h"
#include "graph.h"
#include "mainFlux.h"

namespace vidorra::bench {

// The main window and its data module on the simulated machine `machine` (the text of its
// file), with a home and settings folder of their own (recordings and pictures go there):
// `prepare` sets its controls before the first show, which starts the preview; then a second
// to settle.
struct WindowOnMachine {
  explicit WindowOnMachine(const std::string& machine,
                           const std::function<void(TCaptureForm&)>& prepare) {
    std::ofstream(dir.filePath(QStringLiteral("machine")).toStdString()) << machine;
    ::setenv("VIDORRA_SIMULATION", dir.filePath(QStringLiteral("machine")).toUtf8().constData(), 1);
    ::setenv("HOME", dir.path().toUtf8().constData(), 1);
    ::setenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8().constData(), 1);
    win::SimulatedMachine::ReloadCurrentForTesting();
    form = std::make_unique<TCaptureForm>();
    module = std::make_unique<TdmCam>();
    prepare(*form);
    form->show();
    Pump(1);
  }
  ~WindowOnMachine() {
    module->fg->StopGraph();
    module.reset();
    form.reset();
  }
  QTemporaryDir dir;
  std::unique_ptr<TCaptureForm> form;
  std::unique_ptr<TdmCam> module;
};

}  // namespace vidorra::bench
