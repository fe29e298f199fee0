// CStreamingThreadRole: what a thread of the platform is, for the scheduler and for the tools
// that list threads. Made first thing on the thread, it names it (top, perf and the benchmarks
// show the name): a thread of the capture path (a device's delivery, the clock it waits on,
// the queues to the multiplexer, the writer) or of the preview.
#pragma once

#include <pthread.h>

class CStreamingThreadRole {
 public:
  enum class Path { kCapture, kPreview };

  // `name`: at most 15 characters.
  CStreamingThreadRole(const char* name, Path) { ::pthread_setname_np(::pthread_self(), name); }
  CStreamingThreadRole(const CStreamingThreadRole&) = delete;
  CStreamingThreadRole& operator=(const CStreamingThreadRole&) = delete;
};
