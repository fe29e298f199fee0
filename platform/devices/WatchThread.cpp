// A thread waiting on device events; see WatchThread.h.
#include "WatchThread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace vidorra::devices {

bool WatchThread::Start(std::function<void(int stopFd)> body) {
  Stop();
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) return false;
  ended_ = std::make_shared<std::atomic<bool>>(false);
  thread_ = std::thread([body = std::move(body), stop = stopFd_, ended = ended_] {
    body(stop);
    *ended = true;
  });
  return true;
}

void WatchThread::Stop() {
  if (stopFd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
  if (thread_.joinable()) thread_.join();
  ::close(stopFd_);
  stopFd_ = -1;
  ended_.reset();
}

}  // namespace vidorra::devices
