// Runs the GoogleTest suite inside a QApplication, so widgets, window handles and queued
// deliveries work; CI sets QT_QPA_PLATFORM=offscreen. Started as a test's child process, it runs
// that child's routine instead (child_process.h).
#include <QApplication>
#include <gtest/gtest.h>

#include "child_process.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (const auto code = vidorra::test::RunChildRoutineIfAsked(argc, argv)) return *code;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
