#include "wait_until.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <thread>

namespace vidorra::test {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    if (QCoreApplication::instance() != nullptr) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    std::this_thread::yield();
  }
  return true;
}

}  // namespace vidorra::test
