// The clock display with its one-shot alarm.
//
// Every kReadingPeriodMs a QTimer (connected through the handler guard) takes a reading: the
// time of day from the time source (the computer's local time unless a test injects its own),
// shown as hh:mm:ss, then checked against the alarm.
//
// The alarm rule, to the second:
//  - it fires (calls the action once) at the first reading where the alarm is on, the time of
//    day has the alarm's hour and minute and a second equal to or later than the alarm's
//    second, and the alarm is waiting; firing clears the waiting flag;
//  - the waiting flag is worked out again when the alarm time is set and at every reading where
//    the alarm is off or the time test fails (never at a reading that passes the test while the
//    flag is clear): waiting = time of day < alarm time, or alarm time is 00:00:00.
// So the alarm fires once at the next occurrence of its time, today if still ahead, else
// tomorrow; the current second counts as past; 00:00:00 counts as always ahead.
//
// The alarm time is set one component at a time; each is accepted only when the resulting time
// is valid (hour < 24, minute < 60, second < 60), otherwise EInvalidTime is raised and the alarm
// time stays as it was. UI thread only.
#pragma once

#include <QColor>
#include <QTime>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "Exception.h"

class QTimer;

namespace vidorra {

// Raised when an alarm component would give a time that does not exist.
class EInvalidTime : public Exception {
 public:
  using Exception::Exception;
};

class AlarmClock : public QWidget {
  Q_OBJECT

 public:
  using TimeSource = std::function<QTime()>;
  using AlarmAction = std::function<void()>;
  static constexpr int kReadingPeriodMs = 450;

  explicit AlarmClock(QWidget* parent = nullptr);

  // Replaces the time source (QTime::currentTime by default); returns the previous one.
  TimeSource SetTimeSource(TimeSource source);
  // The time of day from the time source, as the next reading would take it.
  QTime Now() const { return timeSource_(); }
  // One reading: what the timer does every kReadingPeriodMs. Runs the action when the alarm
  // fires; an exception from the action propagates to the caller (the guard, for the timer).
  void ReadTime();
  // The time of day of the last reading (shown on the face, which gives it as its accessible
  // description, hh:mm:ss).
  QTime DisplayedTime() const { return displayed_; }
  QTimer* ReadingTimer() const { return timer_; }

  void SetAlarmHour(std::uint8_t hour);
  void SetAlarmMinute(std::uint8_t minute);
  void SetAlarmSecond(std::uint8_t second);
  std::uint8_t AlarmHour() const { return alarmHour_; }
  std::uint8_t AlarmMinute() const { return alarmMinute_; }
  std::uint8_t AlarmSecond() const { return alarmSecond_; }

  bool AlarmEnabled() const { return alarmEnabled_; }
  void SetAlarmEnabled(bool enabled) { alarmEnabled_ = enabled; }
  // The action called when the alarm fires; an empty action fires nothing visible.
  void SetAlarmAction(AlarmAction action) { action_ = std::move(action); }
  bool HasAlarmAction() const { return static_cast<bool>(action_); }
  bool AlarmWaiting() const { return waiting_; }

  void SetSeparatorColour(const QColor& colour);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void SetAlarmTime(std::uint8_t hour, std::uint8_t minute, std::uint8_t second);
  void RecomputeWaiting(const QTime& now);
  int AlarmSecondsOfDay() const;

  QTimer* timer_;
  TimeSource timeSource_;
  QTime displayed_;
  std::uint8_t alarmHour_ = 0;
  std::uint8_t alarmMinute_ = 0;
  std::uint8_t alarmSecond_ = 0;
  bool alarmEnabled_ = false;
  bool waiting_ = true;  // alarm time 00:00:00 at creation counts as ahead
  AlarmAction action_;
  QColor separatorColour_ = Qt::darkBlue;
};

}  // namespace vidorra
