// Program entry, in this order: the application object, the main window (its FormCreate runs
// as it is built), the data module, the message loop; then the data module goes before the
// window (reverse order of creation).
#include <QApplication>
#include <QIcon>
#include <memory>

#include "mainFlux.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/MAINICON.png")));

  auto CaptureForm = std::make_unique<TCaptureForm>();
  // The data module TdmCam (instance dmCam) is created here, after the window, when the graph
  // engine arrives; declared after CaptureForm so that it is destroyed first.
  CaptureForm->show();

  return app.exec();
}
