// The clock's one-shot alarm, driven through an injected time source (no real time passes),
// and its face.
#include <gtest/gtest.h>

#include <QTimer>

#include "AlarmClock.h"

namespace vidorra {
namespace {

// A clock read only when the test says, at the time the test sets; it counts the firings.
struct ManualClock {
  ManualClock() {
    EXPECT_GT(clock.ReadingTimer()->interval(), 0) << "read now and then, not at every event";
    EXPECT_EQ(clock.accessibleDescription().size(), 8) << "the face read aloud from the start";
    clock.ReadingTimer()->stop();
    clock.SetTimeSource([this] { return now; });
    clock.SetAlarmAction([this] { ++fired; });
  }
  void Arm(const QTime& time) {
    clock.SetAlarmHour(static_cast<std::uint8_t>(time.hour()));
    clock.SetAlarmMinute(static_cast<std::uint8_t>(time.minute()));
    clock.SetAlarmSecond(static_cast<std::uint8_t>(time.second()));
    clock.SetAlarmEnabled(true);
  }
  void At(const QTime& time) {
    now = time;
    clock.ReadTime();
  }
  AlarmClock clock;
  QTime now{12, 0, 0};
  int fired = 0;
};

QTime Time(const QString& text) { return QTime::fromString(text, QStringLiteral("HH:mm:ss")); }

// Each scenario is a list of steps: "now=T" the time of day, "alarm=T" the alarm armed for T,
// "T=N" a reading at T after which the alarm has fired N times in all, "off"/"on" the alarm
// switched, "waiting=0|1" what AlarmWaiting says.
TEST(AlarmClock, FiresOncePerOccurrenceOfItsTime) {
  const struct {
    const char *name, *steps;
  } kScenarios[] = {
      {"ahead today",
       "now=10:00:00 alarm=10:05:00 10:04:59=0 10:05:00=1 10:05:00=1 10:05:30=1 10:06:00=1 "
       "waiting=0"},
      {"a skipped second still fires", "now=10:00:00 alarm=10:05:10 10:05:09=0 10:05:12=1"},
      {"earlier today waits for tomorrow",
       "now=15:00:00 alarm=14:00:00 waiting=0 15:00:01=0 23:59:59=0 00:00:00=0 waiting=1 "
       "13:59:59=0 14:00:00=1"},
      {"the current second counts as past",
       "now=09:30:15 alarm=09:30:15 09:30:15=0 09:30:16=0 09:31:00=0 09:30:14=0 09:30:15=1"},
      {"midnight is always ahead", "now=00:00:20 alarm=00:00:00 waiting=1 00:00:20=1 00:00:40=1"},
      {"the last second of the day", "now=23:59:00 alarm=23:59:59 23:59:58=0 23:59:59=1"},
      {"off: no firing, waiting kept up to date",
       "now=08:00:00 alarm=08:00:30 off 08:00:30=0 waiting=0 on 08:00:31=0"},
      {"on just before the time", "now=08:00:00 alarm=08:00:30 off 08:00:29=0 on 08:00:30=1"},
  };
  for (const auto& c : kScenarios) {
    SCOPED_TRACE(c.name);
    ManualClock m;
    for (const QString& step : QString::fromLatin1(c.steps).split(u' ')) {
      SCOPED_TRACE(step.toStdString());
      const QStringList parts = step.split(u'=');
      if (step == QStringLiteral("off") || step == QStringLiteral("on")) {
        m.clock.SetAlarmEnabled(step == QStringLiteral("on"));
      } else if (parts[0] == QStringLiteral("waiting")) {
        EXPECT_EQ(m.clock.AlarmWaiting(), parts[1] == QStringLiteral("1"));
      } else if (parts[0] == QStringLiteral("now")) {
        m.now = Time(parts[1]);
      } else if (parts[0] == QStringLiteral("alarm")) {
        m.Arm(Time(parts[1]));
      } else {
        m.At(Time(parts[0]));
        ASSERT_TRUE(m.now.isValid());
        EXPECT_EQ(m.clock.accessibleDescription(), parts[0]) << "the face, read aloud";
        EXPECT_EQ(m.fired, parts[1].toInt());
      }
    }
  }
}

// Invalid components are refused with a message and leave the alarm time as it was; the
// action may replace itself, and the new one waits for its own time.
TEST(AlarmClock, RefusesInvalidTimesAndLetsTheActionReplaceItself) {
  ManualClock m;
  m.now = QTime(10, 0, 0);
  m.Arm(QTime(10, 0, 5));
  EXPECT_THROW(m.clock.SetAlarmHour(24), EInvalidTime);
  EXPECT_THROW(m.clock.SetAlarmMinute(60), EInvalidTime);
  try {
    m.clock.SetAlarmSecond(255);
    FAIL() << "no error for second 255";
  } catch (const Exception& error) {
    EXPECT_FALSE(error.Message().isEmpty());
  }
  EXPECT_EQ(QTime(m.clock.AlarmHour(), m.clock.AlarmMinute(), m.clock.AlarmSecond()),
            QTime(10, 0, 5));
  int stops = 0;
  m.clock.SetAlarmAction([&] {
    ++m.fired;
    m.clock.SetAlarmSecond(20);
    m.clock.SetAlarmAction([&] { ++stops; });
  });
  m.At(QTime(10, 0, 5));
  EXPECT_EQ(std::make_pair(m.fired, stops), std::make_pair(1, 0));
  m.At(QTime(10, 0, 19));
  EXPECT_EQ(stops, 0);
  m.At(QTime(10, 0, 20));
  EXPECT_EQ(stops, 1);
}

// The face: the time in the text's colour, centred, its separators in their own colour.
TEST(AlarmClock, DrawsItsFaceCentred) {
  ManualClock m;
  m.At(QTime(0, 0, 0));  // noughts, as wide on either side
  m.clock.SetSeparatorColour(Qt::red);
  m.clock.resize(m.clock.sizeHint() + QSize(60, 0));
  const QImage face = m.clock.grab().toImage();
  int left = face.width(), right = 0, grey = 0, red = 0;
  for (int y = 0; y < face.height(); ++y) {
    for (int x = 0; x < face.width(); ++x) {
      const QRgb p = face.pixel(x, y);
      if (p == face.pixel(0, 0)) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      grey += std::abs(qRed(p) - qGreen(p)) < 10;
      red += qRed(p) - qGreen(p) > 100;
    }
  }
  EXPECT_TRUE(grey > 0 && red > 0) << grey << " " << red;
  EXPECT_NEAR(left, face.width() - 1 - right, 2) << left << " " << right;
}

}  // namespace
}  // namespace vidorra
