// Program entry (being built: the main window arrives with its layout).
#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return 0;
}
