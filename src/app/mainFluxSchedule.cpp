// TCaptureForm's programmed recording on the page "Programmer": a start and an end given as
// times of day, carried by the one-shot alarm of the clock RxClock2. The alarm fires at the next
// occurrence of its time (today if still ahead, otherwise tomorrow), so a programme may run
// across midnight. "Prog" arms the start (or, during a recording, its end), the start action
// records and arms the end, the end action stops as "Stop" does; "Stop Prog" drops the
// programme. The state operations give the alarm its switch and action; this file its time.
#include <QPushButton>
#include <QTabWidget>
#include <QTime>
#include <QToolButton>

#include "AlarmClock.h"
#include "HandlerGuard.h"
#include "SpinEdit.h"
#include "graph.h"
#include "mainFlux.h"

using vidorra::AlarmClock;
using vidorra::Connect;
using vidorra::SpinEdit;

namespace {

// What "Programmer" proposes: a start this long after now, an end this long after now.
constexpr int kProposedStartSecs = 10;
constexpr int kProposedEndSecs = 30 * 60 + 10;

// The spin edit's whole part as an alarm component; out-of-range values are left for the
// clock to refuse.
std::uint8_t Component(const SpinEdit* edit) { return static_cast<std::uint8_t>(edit->Value()); }

void Show(SpinEdit* hour, SpinEdit* minute, SpinEdit* second, const QTime& time) {
  hour->SetValue(time.hour());
  minute->SetValue(time.minute());
  second->SetValue(time.second());
}

}  // namespace

void TCaptureForm::ConnectScheduleHandlers() {
  Connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    if (PageControl1->widget(index) == TabSheet2) TabSheet2Show();
  });
  Connect(ProgBtn, &QPushButton::clicked, this, &TCaptureForm::ProgBtnClick);
  Connect(ProgStopBtn, &QPushButton::clicked, this, &TCaptureForm::ProgStopBtnClick);
  Connect(NowBtn, &QToolButton::clicked, this, &TCaptureForm::NowBtnClick);
  Connect(RxSpinEdit4, &SpinEdit::Change, this, &TCaptureForm::RxSpinEdit4Change);
  Connect(RxSpinEdit5, &SpinEdit::Change, this, &TCaptureForm::RxSpinEdit5Change);
  Connect(RxSpinEdit6, &SpinEdit::Change, this, &TCaptureForm::RxSpinEdit6Change);
}

void TCaptureForm::TabSheet2Show() {
  // A programme in force keeps the times it was given.
  if (CaptureState == stProgrammed || CaptureState == stRecordingTimed) return;
  const QTime now = RxClock2->Now();
  // QTime wraps at midnight: a sum past it gives the small hours.
  Show(RxSpinEdit1, RxSpinEdit2, RxSpinEdit3, now.addSecs(kProposedStartSecs));
  Show(RxSpinEdit4, RxSpinEdit5, RxSpinEdit6, now.addSecs(kProposedEndSecs));
}

void TCaptureForm::SetAlarmFrom(const SpinEdit* hour, const SpinEdit* minute,
                                const SpinEdit* second) {
  RxClock2->SetAlarmHour(Component(hour));
  RxClock2->SetAlarmMinute(Component(minute));
  RxClock2->SetAlarmSecond(Component(second));
}

void TCaptureForm::ProgBtnClick() { ArmSchedule(); }

void TCaptureForm::ProgStopBtnClick() { DisarmSchedule(); }

bool TCaptureForm::ArmSchedule() {
  // Only a running preview can wait for a start, only a running recording for an end.
  if (dmCam == nullptr || (CaptureState != stPreview && CaptureState != stRecording)) {
    return false;
  }
  try {
    if (CaptureState == stRecording) {
      SetAlarmFrom(RxSpinEdit4, RxSpinEdit5, RxSpinEdit6);
      SetRecordingTimedState();
    } else {
      SetAlarmFrom(RxSpinEdit1, RxSpinEdit2, RxSpinEdit3);
      SetProgrammedState();
    }
    return true;
  } catch (const vidorra::EInvalidTime&) {
    return false;
  }
}

bool TCaptureForm::DisarmSchedule() {
  if (CaptureState != stProgrammed && CaptureState != stRecordingTimed) return false;
  try {
    RxClock2->SetAlarmEnabled(false);
    VideoFileName = BuildVideoFileName();
    if (CaptureState == stRecordingTimed) {
      SetRecordingState();  // the recording goes on without an end time
    } else {
      SetPreviewState();
    }
    return true;
  } catch (...) {
    return false;  // what went wrong leaves the window as far as it got
  }
}

void TCaptureForm::MoveProgrammedEnd(void (AlarmClock::*set)(std::uint8_t), const SpinEdit* edit) {
  // In the other states the end time is read when the recording starts.
  if (CaptureState != stRecordingTimed) return;
  try {
    (RxClock2->*set)(Component(edit));
  } catch (const vidorra::EInvalidTime&) {
    // The alarm keeps its previous time.
  }
}

void TCaptureForm::RxSpinEdit4Change() {
  MoveProgrammedEnd(&AlarmClock::SetAlarmHour, RxSpinEdit4);
}

void TCaptureForm::RxSpinEdit5Change() {
  MoveProgrammedEnd(&AlarmClock::SetAlarmMinute, RxSpinEdit5);
}

void TCaptureForm::RxSpinEdit6Change() {
  MoveProgrammedEnd(&AlarmClock::SetAlarmSecond, RxSpinEdit6);
}

void TCaptureForm::NowBtnClick() {
  RxSpinEdit4->SetValue(RxSpinEdit1->Value());
  RxSpinEdit5->SetValue(RxSpinEdit2->Value());
  RxSpinEdit6->SetValue(RxSpinEdit3->Value());
  if (CaptureState != stRecordingTimed) return;
  try {
    SetAlarmFrom(RxSpinEdit4, RxSpinEdit5, RxSpinEdit6);
  } catch (const vidorra::EInvalidTime&) {
    // The alarm keeps its previous time.
  }
}

void TCaptureForm::lancerEnregistrement() {
  if (dmCam == nullptr || CaptureState != stProgrammed) return;
  // Too little room: the error panel says so, and the programme waits for its end time as
  // after any start that fails.
  const bool room = EnoughSpaceToRecord();
  if (room && StartCapture()) {
    SetRecordingTimedState();
  } else if (room) {
    // The preview comes back and the programme waits for its end time, which returns the
    // window to the plain preview; without a source nothing is left to wait for.
    CaptureFailed(stProgrammed);
    if (CaptureState != stProgrammed) return;
  }
  try {
    SetAlarmFrom(RxSpinEdit4, RxSpinEdit5, RxSpinEdit6);
  } catch (const vidorra::EInvalidTime&) {
    // The end keeps the alarm's previous time.
  }
  RxClock2->SetAlarmAction([this] { stopperEnregistrement(); });
  RxClock2->SetAlarmEnabled(true);
}

void TCaptureForm::stopperEnregistrement() {
  if (dmCam == nullptr) return;
  RxClock2->SetAlarmEnabled(false);
  // As "Stop": the next recording gets a new name, and a preview that cannot be rebuilt leaves
  // the window without a source rather than with a recording half-stopped.
  StopBtnClick();
}
