#include "AlarmClock.h"

#include <QPainter>
#include <QTimer>
#include <utility>

#include "HandlerGuard.h"

namespace vidorra {

namespace {

constexpr int kHoursPerDay = 24;
constexpr int kMinutesPerHour = 60;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = kMinutesPerHour * kSecondsPerMinute;
constexpr const char* kInvalidTimeText = "Heure invalide : %1:%2:%3";
constexpr int kFaceMargin = 4;

int SecondsOfDay(const QTime& time) {
  return time.hour() * kSecondsPerHour + time.minute() * kSecondsPerMinute + time.second();
}

QString TwoDigitText(int n) { return QString::number(n).rightJustified(2, QLatin1Char('0')); }

// The face's hours, minutes and seconds.
QStringList FaceParts(const QTime& time) {
  return {TwoDigitText(time.hour()), TwoDigitText(time.minute()), TwoDigitText(time.second())};
}

}  // namespace

AlarmClock::AlarmClock(QWidget* parent)
    : QWidget(parent), timer_(new QTimer(this)), timeSource_(&QTime::currentTime) {
  displayed_ = timeSource_();
  setAccessibleDescription(FaceParts(displayed_).join(u':'));
  timer_->setInterval(kReadingPeriodMs);
  Connect(timer_, &QTimer::timeout, this, &AlarmClock::ReadTime);
  timer_->start();
}

AlarmClock::TimeSource AlarmClock::SetTimeSource(TimeSource source) {
  return std::exchange(timeSource_, std::move(source));
}

void AlarmClock::ReadTime() {
  const QTime now = timeSource_();
  if (now != displayed_) {
    displayed_ = now;
    setAccessibleDescription(FaceParts(displayed_).join(u':'));  // what a screen reader reads
    update();
  }
  const bool timeReached =
      now.hour() == alarmHour_ && now.minute() == alarmMinute_ && now.second() >= alarmSecond_;
  if (alarmEnabled_ && timeReached) {
    if (waiting_) {
      waiting_ = false;
      if (action_) {
        // A copy: the action may replace itself (the stop action follows the start action).
        const AlarmAction action = action_;
        action();
      }
    }
    return;
  }
  RecomputeWaiting(now);
}

void AlarmClock::SetAlarmHour(std::uint8_t hour) { SetAlarmTime(hour, alarmMinute_, alarmSecond_); }

void AlarmClock::SetAlarmMinute(std::uint8_t minute) {
  SetAlarmTime(alarmHour_, minute, alarmSecond_);
}

void AlarmClock::SetAlarmSecond(std::uint8_t second) {
  SetAlarmTime(alarmHour_, alarmMinute_, second);
}

void AlarmClock::SetAlarmTime(std::uint8_t hour, std::uint8_t minute, std::uint8_t second) {
  if (hour >= kHoursPerDay || minute >= kMinutesPerHour || second >= kSecondsPerMinute) {
    throw EInvalidTime(QString::fromLatin1(kInvalidTimeText).arg(hour).arg(minute).arg(second));
  }
  alarmHour_ = hour;
  alarmMinute_ = minute;
  alarmSecond_ = second;
  RecomputeWaiting(timeSource_());
}

int AlarmClock::AlarmSecondsOfDay() const {
  return alarmHour_ * kSecondsPerHour + alarmMinute_ * kSecondsPerMinute + alarmSecond_;
}

void AlarmClock::RecomputeWaiting(const QTime& now) {
  const int alarm = AlarmSecondsOfDay();
  waiting_ = SecondsOfDay(now) < alarm || alarm == 0;
}

void AlarmClock::SetSeparatorColour(const QColor& colour) {
  separatorColour_ = colour;
  update();
}

QSize AlarmClock::sizeHint() const {
  const QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(QStringLiteral("00:00:00")) + 2 * kFaceMargin,
          metrics.height() + 2 * kFaceMargin};
}

void AlarmClock::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  const QStringList parts = FaceParts(displayed_);
  const QString separator = QStringLiteral(":");
  const int total =
      metrics.horizontalAdvance(parts[0] + separator + parts[1] + separator + parts[2]);
  int x = (width() - total) / 2;
  const int y = (height() + metrics.ascent() - metrics.descent()) / 2;
  const QColor textColour = palette().color(QPalette::WindowText);
  for (int i = 0; i < 3; ++i) {
    painter.setPen(textColour);
    painter.drawText(x, y, parts[i]);
    x += metrics.horizontalAdvance(parts[i]);
    if (i < 2) {
      painter.setPen(separatorColour_);
      painter.drawText(x, y, separator);
      x += metrics.horizontalAdvance(separator);
    }
  }
}

}  // namespace vidorra
