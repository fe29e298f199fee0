#include "WindowTimer.h"

#include <QTimer>
#include <algorithm>

namespace vidorra {

WindowTimer::WindowTimer(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
  // A coarse timer may fire up to 5 % late; the intervallometer counts on each period.
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, &WindowTimer::Timer);
}

void WindowTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Restart();
}

void WindowTimer::SetInterval(int intervalMs) {
  intervalMs_ = std::max(intervalMs, 0);
  if (enabled_) Restart();
}

void WindowTimer::Restart() {
  const bool runs = enabled_ && intervalMs_ > 0;
  if (manual_) {
    manualDueInMs_ = runs ? intervalMs_ : -1;
    return;
  }
  if (runs) {
    timer_->start(intervalMs_);
  } else {
    timer_->stop();
  }
}

void WindowTimer::UseManualTime() {
  timer_->stop();
  manual_ = true;
  Restart();
}

void WindowTimer::Advance(std::int64_t ms) {
  if (!manual_) return;
  while (manualDueInMs_ >= 0 && ms >= manualDueInMs_) {
    ms -= manualDueInMs_;
    manualDueInMs_ = intervalMs_;  // the next period starts at the tick
    emit Timer();
  }
  if (manualDueInMs_ >= 0) manualDueInMs_ -= ms;
}

std::int64_t WindowTimer::DueInMs() const { return manual_ ? manualDueInMs_ : -1; }

}  // namespace vidorra
