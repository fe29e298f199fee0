// Programmed recording from the page "Programmer", as a user would set it. The clock reads a time
// of day the test sets, which then runs on at the real pace: no test waits for a time to come.
#include "AppTestSupport.h"

namespace vidorra {
namespace {

constexpr int kFramesPerSecond = 25;  // the camcorder records PAL
constexpr int kSecondsPerDay = 24 * 60 * 60;

class ScheduleTest : public test::WindowTest {
 protected:
  // The clock reads `time` now and runs on from there.
  void SetClock(const QTime& time) {
    base_ = time;
    elapsed_.restart();
    form_->RxClock2->ReadTime();
  }
  // Waits until the clock has read `time` or later (same day).
  bool ClockPasses(const QTime& time) {
    return test::WaitUntil([&] { return form_->RxClock2->DisplayedTime() >= time; });
  }
  void ShowProgramPage() {
    form_->PageControl1->setCurrentWidget(form_->TabSheet1);
    form_->PageControl1->setCurrentWidget(form_->TabSheet2);
  }
  // The start's and the end's fields on the page.
  std::array<SpinEdit*, 6> Fields() const {
    TCaptureForm& f = *form_;
    return {f.RxSpinEdit1, f.RxSpinEdit2, f.RxSpinEdit3, f.RxSpinEdit4, f.RxSpinEdit5, f.RxSpinEdit6};
  }
  // Types the start and end on the page "Programmer" and presses "Prog".
  void Programme(const QTime& start, const QTime& end) {
    ShowProgramPage();
    const int values[] = {start.hour(), start.minute(), start.second(),
                          end.hour(),   end.minute(),   end.second()};
    for (int i = 0; i < 6; ++i) Fields()[i]->SetValue(values[i]);
    Click(form_->ProgBtn);
  }
  // The start and end times the page shows.
  std::pair<QTime, QTime> TimesSet() const {
    const auto v = [&](int i) { return static_cast<int>(Fields()[i]->Value()); };
    return {{v(0), v(1), v(2)}, {v(3), v(4), v(5)}};
  }

  QTime base_;
  QElapsedTimer elapsed_;
};

TEST_F(ScheduleTest, ProgrammesStopProgAnEndPutOnARecordingAFailedStartAndTheProposedTimes) {
  Make("video dv Caméscope DV\n");
  form_->RxClock2->SetTimeSource([this] { return base_.addMSecs(elapsed_.elapsed()); });
  SetClock(QTime(12, 0, 0));
  form_->show();
  ASSERT_EQ(form_->CaptureState, stPreview);
  const struct {
    const char* name;
    QTime armedAt, start, end;
    // When set: the clock first passes `passes` without a start, then is set to `nextDay`.
    QTime passes, nextDay;
  } kCases[] = {
      {"ahead today", {10, 0, 0}, {10, 0, 1}, {10, 0, 3}, {}, {}},
      {"across midnight", {23, 59, 58}, {23, 59, 59}, {0, 0, 1}, {}, {}},
      {"start already past", {10, 0, 0}, {9, 0, 0}, {9, 0, 2}, {10, 0, 1}, {8, 59, 59}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const qsizetype filesBefore = Recordings().size();
    const QString file = form_->VideoFileName;
    SetClock(c.armedAt);
    Programme(c.start, c.end);
    EXPECT_EQ(form_->CaptureState, stProgrammed);
    if (c.passes.isValid()) {
      ASSERT_TRUE(ClockPasses(c.passes));
      EXPECT_EQ(form_->CaptureState, stProgrammed) << "a time earlier today waits for tomorrow";
      EXPECT_FALSE(QFileInfo::exists(file));
      SetClock(c.nextDay);
    }
    ASSERT_TRUE(InState(stRecordingTimed));
    EXPECT_EQ(form_->VideoFileName, file);
    ASSERT_TRUE(InState(stPreview));
    EXPECT_NE(form_->VideoFileName, file);
    EXPECT_EQ(Recordings().size(), filesBefore + 1);
    // At most the programmed length, give or take a reading of the clock; less by the time the
    // recording graph takes to start, which a loaded machine can make most of these 2 s (the
    // file holds frames: read back below).
    const long programmed = (c.start.secsTo(c.end) + kSecondsPerDay) % kSecondsPerDay;
    EXPECT_LE(test::ProbedFrames(file.toStdString()), (programmed + 1) * kFramesPerSecond);
    EXPECT_EQ(test::ReadBack(file), QStringLiteral("dvvideo dvsd 720x576 + pcm_s16le"));
  }

  // "Stop Prog" drops a programme before its start, and the end of a running recording, which
  // goes on; an end put on a running recording ends it, and can be moved while it runs. A start
  // that fails keeps the preview and the programme waits for its end. The page proposes a start
  // in 10 s and an end 30 min later unless a programme is in force; the small button copies the
  // start into the end.
  const qsizetype files = Recordings().size();
  SetClock(QTime(10, 0, 0));
  Programme(QTime(10, 0, 1), QTime(10, 0, 3));
  ASSERT_EQ(form_->CaptureState, stProgrammed);
  Click(form_->ProgStopBtn);
  EXPECT_EQ(form_->CaptureState, stPreview);
  ASSERT_TRUE(ClockPasses(QTime(10, 0, 2)));
  EXPECT_EQ(form_->CaptureState, stPreview) << "no start";
  EXPECT_EQ(Recordings().size(), files);

  // "Capture" drops a programme waiting for its start.
  Programme(QTime(10, 0, 30), QTime(10, 0, 50));
  ASSERT_EQ(form_->CaptureState, stProgrammed);
  const QString file = form_->VideoFileName;
  Click(form_->CaptureBtn);
  EXPECT_EQ(form_->CaptureState, stRecording);
  Programme(QTime(9, 0, 0), QTime(10, 0, 4));
  ASSERT_EQ(form_->CaptureState, stRecordingTimed);
  Click(form_->ProgStopBtn);
  EXPECT_EQ(form_->CaptureState, stRecording);
  ASSERT_TRUE(ClockPasses(QTime(10, 0, 5)));
  EXPECT_EQ(form_->CaptureState, stRecording) << "no end";
  Programme(QTime(9, 0, 0), QTime(10, 0, 40));
  EXPECT_EQ(form_->CaptureState, stRecordingTimed);
  form_->RxSpinEdit6->SetValue(7);  // the end moved while the recording runs
  ASSERT_TRUE(InState(stPreview));
  EXPECT_GE(form_->RxClock2->DisplayedTime(), QTime(10, 0, 7));
  EXPECT_LT(form_->RxClock2->DisplayedTime(), QTime(10, 0, 40));
  EXPECT_EQ(Recordings().size(), files + 1);
  EXPECT_EQ(test::ReadBack(file), QStringLiteral("dvvideo dvsd 720x576 + pcm_s16le"));

  // A start equal to the end: the end is the next day's. "Stop" drops the programme.
  SetClock(QTime(10, 1, 0));
  Programme(QTime(10, 1, 1), QTime(10, 1, 1));
  ASSERT_TRUE(InState(stRecordingTimed));
  ASSERT_TRUE(ClockPasses(QTime(10, 1, 2)));
  EXPECT_EQ(form_->CaptureState, stRecordingTimed) << "not ended at once";
  Click(form_->StopBtn);
  EXPECT_EQ(form_->CaptureState, stPreview);
  SetClock(QTime(10, 1, 0));
  ASSERT_TRUE(ClockPasses(QTime(10, 1, 2)));
  EXPECT_EQ(form_->CaptureState, stPreview) << "no new start";

  // A file in a folder that cannot be made: the recording cannot start, from "Capture" (the
  // preview goes on) nor from a programme.
  WriteFile(dir_.path() + QStringLiteral("/plain"));
  form_->VideoFileName = dir_.path() + QStringLiteral("/plain/x.avi");
  Click(form_->CaptureBtn);
  EXPECT_EQ(form_->CaptureState, stPreview);
  PanelSays(QStringLiteral("x.avi"));
  SetClock(QTime(11, 0, 0));
  Programme(QTime(11, 0, 1), QTime(11, 0, 2));
  ASSERT_TRUE(ClockPasses(QTime(11, 0, 1)));
  EXPECT_EQ(form_->CaptureState, stProgrammed);
  PanelSays(QStringLiteral("x.avi"));
  EXPECT_TRUE(PictureMoves());
  ASSERT_TRUE(InState(stPreview)) << "the end time ends the programme";
  EXPECT_TRUE(PictureMoves());

  SetClock(QTime(23, 45, 0));  // past midnight: the small hours
  ShowProgramPage();
  const std::pair<QTime, QTime> proposed{QTime(23, 45, 10), QTime(0, 15, 10)};
  EXPECT_EQ(TimesSet(), proposed);
  Click(form_->ProgBtn);
  ASSERT_EQ(form_->CaptureState, stProgrammed);
  SetClock(QTime(11, 0, 0));
  ShowProgramPage();
  EXPECT_EQ(TimesSet(), proposed);
  Click(form_->NowBtn);
  EXPECT_EQ(TimesSet().second, QTime(23, 45, 10));
  Click(form_->ProgStopBtn);
  ShowProgramPage();
  EXPECT_EQ(TimesSet().first, QTime(11, 0, 10));

  // The camcorder unplugged while a programme waits: dropped, and said.
  Programme(QTime(11, 0, 30), QTime(11, 0, 40));
  ASSERT_EQ(form_->CaptureState, stProgrammed);
  Replug("");
  ASSERT_TRUE(InState(stNoSource));
  PanelSays(QStringLiteral("La programmation a été annulée"));
}

}  // namespace
}  // namespace vidorra
