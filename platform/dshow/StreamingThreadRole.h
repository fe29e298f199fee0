// CStreamingThreadRole: what a thread of the platform is, for the scheduler and for the tools
// that list threads. Made first thing on the thread, it names it (top, perf and the benchmarks
// show the name) and, for a thread of the capture path (a device's delivery, the clock it waits
// on, the queues to the multiplexer, the writer), raises it for the task "Capture" while it
// lives, so that on a busy machine the capture goes on and the preview gives way. A thread the
// desktop does not raise runs as it was.
#pragma once

#include <avrt.h>
#include <pthread.h>

class CStreamingThreadRole {
 public:
  enum class Path { kCapture, kPreview };

  // `name`: at most 15 characters.
  CStreamingThreadRole(const char* name, Path path) {
    ::pthread_setname_np(::pthread_self(), name);
    if (path == Path::kCapture) {
      DWORD task = 0;
      raised_ = AvSetMmThreadCharacteristicsW(L"Capture", &task);
    }
  }
  ~CStreamingThreadRole() {
    if (raised_) AvRevertMmThreadCharacteristics(raised_);
  }
  CStreamingThreadRole(const CStreamingThreadRole&) = delete;
  CStreamingThreadRole& operator=(const CStreamingThreadRole&) = delete;

  bool Raised() const { return raised_ != nullptr; }

 private:
  HANDLE raised_ = nullptr;
};
