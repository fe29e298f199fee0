// The clock's one-shot alarm, driven through an injected time source: no real time passes.
#include <gtest/gtest.h>

#include <QTimer>

#include "AlarmClock.h"

namespace vidorra {
namespace {

class AlarmClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_.ReadingTimer()->stop();  // readings are taken by the test only
    clock_.SetTimeSource([this] { return now_; });
    clock_.SetAlarmAction([this] { ++fired_; });
  }

  void At(int h, int m, int s) {
    now_ = QTime(h, m, s);
    clock_.ReadTime();
  }

  void Arm(int h, int m, int s) {
    clock_.SetAlarmHour(static_cast<std::uint8_t>(h));
    clock_.SetAlarmMinute(static_cast<std::uint8_t>(m));
    clock_.SetAlarmSecond(static_cast<std::uint8_t>(s));
    clock_.SetAlarmEnabled(true);
  }

  AlarmClock clock_;
  QTime now_{12, 0, 0};
  int fired_ = 0;
};

// Each scenario is a list of steps: "now=T" the time of day, "alarm=T" the alarm armed for T,
// "T=N" a reading at T after which the alarm has fired N times in all, "off"/"on" the alarm
// switched, "waiting=0|1" what AlarmWaiting says.
TEST(AlarmClockAlarm, FiresOncePerOccurrenceOfItsTime) {
  const struct {
    const char* name;
    const char* steps;
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
      {"midnight armed by day", "now=18:00:00 alarm=00:00:00 23:59:59=0 00:00:00=1"},
      {"off: no firing, waiting kept up to date",
       "now=08:00:00 alarm=08:00:30 off 08:00:30=0 waiting=0 on 08:00:31=0"},
      {"on just before the time", "now=08:00:00 alarm=08:00:30 off 08:00:29=0 on 08:00:30=1"},
  };
  for (const auto& c : kScenarios) {
    SCOPED_TRACE(c.name);
    AlarmClock clock;
    clock.ReadingTimer()->stop();
    QTime now;
    int fired = 0;
    clock.SetTimeSource([&] { return now; });
    clock.SetAlarmAction([&] { ++fired; });
    for (const QString& step : QString::fromLatin1(c.steps).split(u' ')) {
      SCOPED_TRACE(step.toStdString());
      const QStringList parts = step.split(u'=');
      const QTime time = QTime::fromString(parts.value(1), QStringLiteral("HH:mm:ss"));
      if (step == QStringLiteral("off") || step == QStringLiteral("on")) {
        clock.SetAlarmEnabled(step == QStringLiteral("on"));
      } else if (parts[0] == QStringLiteral("waiting")) {
        EXPECT_EQ(clock.AlarmWaiting(), parts[1] == QStringLiteral("1"));
      } else if (parts[0] == QStringLiteral("now")) {
        now = time;
      } else if (parts[0] == QStringLiteral("alarm")) {
        clock.SetAlarmHour(static_cast<std::uint8_t>(time.hour()));
        clock.SetAlarmMinute(static_cast<std::uint8_t>(time.minute()));
        clock.SetAlarmSecond(static_cast<std::uint8_t>(time.second()));
        clock.SetAlarmEnabled(true);
      } else {
        now = QTime::fromString(parts[0], QStringLiteral("HH:mm:ss"));
        ASSERT_TRUE(now.isValid());
        clock.ReadTime();
        EXPECT_EQ(clock.DisplayedTime(), now);
        EXPECT_EQ(fired, parts[1].toInt());
      }
    }
  }
}

TEST_F(AlarmClockTest, InvalidComponentsAreRefusedAndLeaveTheAlarmTimeUnchanged) {
  Arm(7, 8, 9);
  EXPECT_THROW(clock_.SetAlarmHour(24), EInvalidTime);
  EXPECT_THROW(clock_.SetAlarmMinute(60), EInvalidTime);
  EXPECT_THROW(clock_.SetAlarmSecond(60), EInvalidTime);
  EXPECT_THROW(clock_.SetAlarmSecond(255), EInvalidTime);
  EXPECT_EQ(clock_.AlarmHour(), 7);
  EXPECT_EQ(clock_.AlarmMinute(), 8);
  EXPECT_EQ(clock_.AlarmSecond(), 9);
  EXPECT_NO_THROW(clock_.SetAlarmHour(23));
  EXPECT_NO_THROW(clock_.SetAlarmMinute(59));
  EXPECT_NO_THROW(clock_.SetAlarmSecond(59));
  try {
    clock_.SetAlarmHour(24);
    FAIL() << "no error for hour 24";
  } catch (const Exception& error) {
    EXPECT_FALSE(error.Message().isEmpty());
  }
}

TEST_F(AlarmClockTest, TheActionMayReplaceItselfAndTheNewOneWaitsForItsOwnTime) {
  int stops = 0;
  now_ = QTime(10, 0, 0);
  Arm(10, 0, 5);
  clock_.SetAlarmAction([&] {
    ++fired_;
    clock_.SetAlarmHour(10);
    clock_.SetAlarmMinute(0);
    clock_.SetAlarmSecond(20);
    clock_.SetAlarmAction([&] { ++stops; });
  });
  At(10, 0, 5);
  EXPECT_EQ(fired_, 1);
  EXPECT_EQ(stops, 0);
  At(10, 0, 19);
  At(10, 0, 20);
  EXPECT_EQ(stops, 1);
}

TEST(AlarmClockTimer, ReadsEveryFourHundredFiftyMilliseconds) {
  AlarmClock clock;
  EXPECT_TRUE(clock.ReadingTimer()->isActive());
  EXPECT_EQ(clock.ReadingTimer()->interval(), 450) << "under a second: no second is skipped";
}

}  // namespace
}  // namespace vidorra
