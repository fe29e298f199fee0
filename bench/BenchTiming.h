// What the benchmarks that measure a running program share: the process's CPU time and the Qt
// event loop run for a while.
#pragma once

#include <time.h>

#include <QEventLoop>
#include <QTimer>

namespace vidorra::bench {

inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs the Qt event loop for `seconds` (the window paints meanwhile); the loop sleeps between
// events, as the program's does.
inline void Pump(double seconds) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace vidorra::bench
