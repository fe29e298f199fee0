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

TEST_F(AlarmClockTest, FiresOnceTodayWhenTheTimeIsAhead) {
  now_ = QTime(10, 0, 0);
  Arm(10, 5, 0);
  At(10, 4, 59);
  EXPECT_EQ(fired_, 0);
  At(10, 5, 0);
  EXPECT_EQ(fired_, 1);
  At(10, 5, 0);
  At(10, 5, 30);
  At(10, 6, 0);
  EXPECT_EQ(fired_, 1) << "one-shot: fires once per occurrence";
  EXPECT_FALSE(clock_.AlarmWaiting()) << "after its time the alarm waits for tomorrow";
}

TEST_F(AlarmClockTest, ASkippedSecondStillFiresWithinTheMinute) {
  now_ = QTime(10, 0, 0);
  Arm(10, 5, 10);
  At(10, 5, 9);
  At(10, 5, 12);  // the reading of second 10 and 11 were missed
  EXPECT_EQ(fired_, 1);
}

TEST_F(AlarmClockTest, ATimeEarlierTodayWaitsForTomorrow) {
  now_ = QTime(15, 0, 0);
  Arm(14, 0, 0);
  EXPECT_FALSE(clock_.AlarmWaiting());
  At(15, 0, 1);
  At(23, 59, 59);
  EXPECT_EQ(fired_, 0);
  At(0, 0, 0);  // past midnight the time of day is earlier than the alarm again
  EXPECT_TRUE(clock_.AlarmWaiting());
  At(13, 59, 59);
  At(14, 0, 0);
  EXPECT_EQ(fired_, 1);
}

TEST_F(AlarmClockTest, TheCurrentSecondCountsAsPast) {
  now_ = QTime(9, 30, 15);
  Arm(9, 30, 15);
  At(9, 30, 15);
  At(9, 30, 16);
  EXPECT_EQ(fired_, 0);
  At(9, 31, 0);
  At(9, 30, 14);  // the next day, a second before
  At(9, 30, 15);
  EXPECT_EQ(fired_, 1);
}

TEST_F(AlarmClockTest, MidnightCountsAsAlwaysAheadAndFiresAtOnceInTheFirstMinute) {
  now_ = QTime(0, 0, 20);
  Arm(0, 0, 0);
  EXPECT_TRUE(clock_.AlarmWaiting());
  At(0, 0, 20);
  EXPECT_EQ(fired_, 1);
  At(0, 0, 40);
  EXPECT_EQ(fired_, 1);
}

TEST_F(AlarmClockTest, MidnightArmedDuringTheDayFiresAtMidnight) {
  now_ = QTime(18, 0, 0);
  Arm(0, 0, 0);
  At(23, 59, 59);
  EXPECT_EQ(fired_, 0);
  At(0, 0, 0);
  EXPECT_EQ(fired_, 1);
}

TEST_F(AlarmClockTest, AnAlarmThatIsOffNeverFiresButKeepsWaitingUpToDate) {
  now_ = QTime(8, 0, 0);
  Arm(8, 0, 30);
  clock_.SetAlarmEnabled(false);
  At(8, 0, 30);
  EXPECT_EQ(fired_, 0);
  EXPECT_FALSE(clock_.AlarmWaiting()) << "recomputed at a reading with the alarm off";
  clock_.SetAlarmEnabled(true);
  At(8, 0, 31);
  EXPECT_EQ(fired_, 0) << "its time already passed while it was off";
}

TEST_F(AlarmClockTest, SwitchingOnJustBeforeTheTimeFires) {
  now_ = QTime(8, 0, 0);
  Arm(8, 0, 30);
  clock_.SetAlarmEnabled(false);
  At(8, 0, 29);
  clock_.SetAlarmEnabled(true);
  At(8, 0, 30);
  EXPECT_EQ(fired_, 1);
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

TEST_F(AlarmClockTest, ReadingShowsTheTimeOfTheSource) {
  At(21, 7, 3);
  EXPECT_EQ(clock_.DisplayedTime(), QTime(21, 7, 3));
}

TEST(AlarmClockTimer, ReadsEveryFourHundredFiftyMilliseconds) {
  AlarmClock clock;
  EXPECT_TRUE(clock.ReadingTimer()->isActive());
  EXPECT_EQ(clock.ReadingTimer()->interval(), AlarmClock::kReadingPeriodMs);
  EXPECT_LT(AlarmClock::kReadingPeriodMs, 1000) << "a reading period under a second skips none";
}

}  // namespace
}  // namespace vidorra
