#include "wait_until.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <thread>

namespace vidorra::test {

namespace {
constexpr std::chrono::milliseconds kLookEvery(2);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  if (condition()) return true;
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() != app->thread()) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
      if (std::chrono::steady_clock::now() >= deadline) return condition();
      std::this_thread::sleep_for(kLookEvery);
    }
    return true;
  }
  QEventLoop loop;
  QTimer look;
  // The look that saw the condition hold decides: a condition may judge each new state once
  // (a frame, an event), so it is not asked again after it held.
  bool held = false;
  QObject::connect(&look, &QTimer::timeout, &loop, [&] {
    if (held) return;
    held = condition();
    if (held) loop.quit();
  });
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  look.start(kLookEvery);
  deadline.start(timeout);
  loop.exec();
  return held || condition();
}

}  // namespace vidorra::test
