// A window timer: while enabled it emits Timer every Interval milliseconds, on the UI thread.
// Enabling it, or setting its interval while it is enabled, starts the period afresh; an
// interval of 0 never fires. Ticks that fall due while the UI thread is busy are merged.
//
// Tests drive it without waiting: after UseManualTime the timer no longer follows real time,
// and Advance moves its own time on, emitting Timer at each moment a tick falls due (the
// handler may change the interval or disable the timer; what it sets applies from that tick).
// UI thread only.
#pragma once

#include <QObject>
#include <cstdint>

class QTimer;

namespace vidorra {

class WindowTimer : public QObject {
  Q_OBJECT

 public:
  explicit WindowTimer(QObject* parent = nullptr);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  int Interval() const { return intervalMs_; }
  // Negative intervals count as 0.
  void SetInterval(int intervalMs);

  void UseManualTime();
  // Moves the manual time on by `ms` (nothing happens in real time).
  void Advance(std::int64_t ms);
  // Manual time: milliseconds left until the next tick (-1 when none will come).
  std::int64_t DueInMs() const;

 signals:
  void Timer();

 private:
  void Restart();

  QTimer* timer_;
  bool enabled_ = false;
  int intervalMs_ = 1000;
  bool manual_ = false;
  std::int64_t manualDueInMs_ = -1;
};

}  // namespace vidorra
