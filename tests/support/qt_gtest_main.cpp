// Runs the GoogleTest suite inside a QApplication, so widgets, window handles and queued
// deliveries work; CI sets QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
