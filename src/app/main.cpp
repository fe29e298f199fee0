// Program entry, in this order: the application object, the main window (its FormCreate runs
// as it is built), the data module, the message loop; then the data module goes before the
// window (reverse order of creation).
#include <QApplication>
#include <QIcon>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>

#include "CommandLine.h"
#include "ErrorReport.h"
#include "graph.h"
#include "mainFlux.h"

int main(int argc, char** argv) {
  if (const std::optional<int> status = vidorra::HandleCommandLine(argc, argv)) return *status;
  int qtArgc = argc > 0 ? 1 : 0;  // the arguments are the program's own: Qt gets none of them
  QApplication app(qtArgc, argv);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/MAINICON.png")));

  auto CaptureForm = std::make_unique<TCaptureForm>();
  // The data module (dmCam) after the window, whose FormCreate uses nothing of it; declared
  // after CaptureForm so that it is destroyed first. Without it (a system filter it needs is
  // missing) the program cannot run: the error is shown and the program ends.
  std::unique_ptr<TdmCam> DataModule;
  try {
    DataModule = std::make_unique<TdmCam>();
  } catch (const std::exception& error) {
    vidorra::ReportException(error);
    return EXIT_FAILURE;
  }
  CaptureForm->show();

  return app.exec();
}
