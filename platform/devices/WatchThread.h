// A thread that waits on a device source's events until it is told to stop: its body gets a
// descriptor that becomes readable when the stop is asked, to wait on with its own.
//
// Threads: Start, Stop and Running from any thread, one at a time (the owner's lock); the body
// runs on the new thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace vidorra::devices {

class WatchThread {
 public:
  WatchThread() = default;
  ~WatchThread() { Stop(); }
  WatchThread(const WatchThread&) = delete;
  WatchThread& operator=(const WatchThread&) = delete;

  // Runs body(stopFd) on a new thread (after stopping one still there); false when no stop
  // descriptor could be had.
  bool Start(std::function<void(int stopFd)> body);
  // Asks the body to return and joins it.
  void Stop();
  // A body started and not returned yet.
  bool Running() const { return ended_ && !*ended_; }

 private:
  int stopFd_ = -1;
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> ended_;  // set once the body returned
};

}  // namespace vidorra::devices
