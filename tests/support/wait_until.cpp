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
  QObject::connect(&look, &QTimer::timeout, &loop, [&] {
    if (condition()) loop.quit();
  });
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  look.start(kLookEvery);
  deadline.start(timeout);
  loop.exec();
  return condition();
}

}  // namespace vidorra::test
