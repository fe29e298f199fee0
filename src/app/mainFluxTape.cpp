// TCaptureForm's page "Cassette": a DV camcorder's tape, commanded through the capture filter's
// tape transport, its timecode and recording date shown under the picture, and its capture
// from the start (or from here) to the end of what was filmed.
//
// A tape capture goes by steps that the tape timer follows, so that the window never waits on
// the tape: rewinding (until the camcorder says it has stopped at the start), then recording
// (the recording is running before the tape plays, so its first frame is kept) until the
// camcorder stops at the end of the tape or no frame has come for 3 s.
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "HandlerGuard.h"
#include "graph.h"
#include "mainFlux.h"

using vidorra::Connect;

namespace {

constexpr qint64 kNoFrameEndMs = 3000;
const char* const kNoTransport =
    "Le caméscope ne répond pas aux commandes de la cassette : il est en mode caméra, ou ce "
    "n'est pas un magnétoscope.";
const char* const kCommandFailed = "Le caméscope n'a pas exécuté la commande « %1 ».";
const char* const kUnknownTimecode = "--:--:--:--";
const char* const kUnknownDate = "--/--/---- --:--:--";

QString Two(long n) { return TCaptureForm::TwoDigits(static_cast<std::uint16_t>(n)); }

// "hh:mm:ss:ff   JJ/MM/AAAA hh:mm:ss" of the frame, with dashes for what it does not carry.
QString TimecodeLine(const DV_FRAME_INFO& info) {
  const QString timecode =
      info.hasTimecode ? QStringLiteral("%1:%2:%3:%4")
                             .arg(Two(info.hours), Two(info.minutes), Two(info.seconds), Two(info.frames))
                       : QString::fromLatin1(kUnknownTimecode);
  const QString date = info.hasRecordingDate
                           ? QStringLiteral("%1/%2/%3 %4:%5:%6")
                                 .arg(Two(info.day), Two(info.month))
                                 .arg(info.year, 4, 10, QLatin1Char('0'))
                                 .arg(Two(info.hour), Two(info.minute), Two(info.second))
                           : QString::fromLatin1(kUnknownDate);
  return timecode + QStringLiteral("   ") + date;
}

}  // namespace

void TCaptureForm::ConnectTapeHandlers() {
  Connect(LectureBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::LectureBtnClick));
  Connect(PauseBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::PauseBtnClick));
  Connect(StopBandeBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::StopBandeBtnClick));
  Connect(RembobinerBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::RembobinerBtnClick));
  Connect(AvanceBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::AvanceBtnClick));
  Connect(CassetteBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::CassetteBtnClick));
  Connect(IciBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::IciBtnClick));
  Connect(TapeTimer, &QTimer::timeout, this, OnGraph(&TCaptureForm::TapeTimerTimer));
}

void TCaptureForm::UpdateTapePage() {
  const bool source = CaptureState != stNoSource;
  const bool recording = CaptureState == stRecording || CaptureState == stRecordingTimed;
  // A tape capture ends with its recording, however that ended (a write error, the device
  // gone): the tape is stopped as well.
  if (!recording && TapeCapture == TapeStep::kRecording) {
    TapeCapture = TapeStep::kNone;
    if (dmCam != nullptr && dmCam->TapeTransport) dmCam->TapeTransport->put_Mode(ED_MODE_STOP);
  }
  const bool dv = dmCam != nullptr && source && dmCam->IsDVSource;
  if (!dv) TapeCapture = TapeStep::kNone;
  ShowTapePage(dv);
  labTimecode->setVisible(dv);
  if (!dv) labTimecode->clear();
  if (dv) {
    TapeTimer->start();
  } else {
    TapeTimer->stop();
  }

  long mode = 0;
  const bool transport = dv && dmCam->TapeTransport && SUCCEEDED(dmCam->TapeTransport->get_Mode(&mode));
  const bool capturing = TapeCapture != TapeStep::kNone;
  for (QPushButton* button : {RembobinerBtn, AvanceBtn, LectureBtn, PauseBtn}) {
    button->setEnabled(transport && !capturing);
  }
  StopBandeBtn->setEnabled(transport);
  const bool startable = transport && CaptureState == stPreview && !capturing;
  CassetteBtn->setEnabled(startable);
  IciBtn->setEnabled(startable);
  cbUnFichierParScene->setEnabled(!recording && !capturing);
  cbNommerParDate->setEnabled(!recording && !capturing);
  labCommandes->setText(dv && !transport ? QString::fromUtf8(kNoTransport) : QString());
}

bool TCaptureForm::TapeCommand(long mode, const char* caption) {
  if (dmCam->TapeTransport && SUCCEEDED(dmCam->TapeTransport->put_Mode(mode))) return true;
  ErreurFrame1->ShowErrorPanel(
      QString::fromUtf8(kCommandFailed).arg(QString::fromUtf8(caption)) + QStringLiteral("\r\n"),
      false);
  return false;
}

void TCaptureForm::LectureBtnClick() { TapeCommand(ED_MODE_PLAY, "Lecture"); }

void TCaptureForm::PauseBtnClick() { TapeCommand(ED_MODE_FREEZE, "Pause"); }

void TCaptureForm::RembobinerBtnClick() { TapeCommand(ED_MODE_REW, "Rembobiner"); }

void TCaptureForm::AvanceBtnClick() { TapeCommand(ED_MODE_FF, "Avance rapide"); }

void TCaptureForm::StopBandeBtnClick() {
  if (TapeCapture != TapeStep::kNone) {
    EndTapeCapture();
    return;
  }
  TapeCommand(ED_MODE_STOP, "Stop");
}

void TCaptureForm::CassetteBtnClick() { BeginTapeCapture(true); }

void TCaptureForm::IciBtnClick() { BeginTapeCapture(false); }

void TCaptureForm::BeginTapeCapture(bool rewind) {
  if (CaptureState != stPreview || !EnoughSpaceToRecord()) return;
  if (!rewind) {
    StartTapeRecording();
    return;
  }
  if (!TapeCommand(ED_MODE_REW, "Rembobiner")) return;
  TapeCapture = TapeStep::kRewinding;
  UpdateTapePage();
}

void TCaptureForm::StartTapeRecording() {
  // The camcorder sends nothing while its tape stands still: the recording waits for the
  // first frame.
  TapeCapture = TapeStep::kRecording;
  TapeFramesSeen = 0;
  SinceTapeFrame.start();
  CaptureBtnClick();
  if (CaptureState != stRecording) {
    TapeCapture = TapeStep::kNone;  // the start failed and said why
    UpdateTapePage();
    return;
  }
  if (!TapeCommand(ED_MODE_PLAY, "Lecture")) EndTapeCapture();
}

void TCaptureForm::EndTapeCapture() {
  const bool recording = TapeCapture == TapeStep::kRecording;
  TapeCapture = TapeStep::kNone;
  if (dmCam->TapeTransport) dmCam->TapeTransport->put_Mode(ED_MODE_STOP);
  if (recording && (CaptureState == stRecording || CaptureState == stRecordingTimed)) {
    StopBtnClick();
  } else {
    UpdateTapePage();
  }
}

void TCaptureForm::TapeTimerTimer() {
  DV_FRAME_INFO info{};
  const bool seen = dmCam->DvFrames && dmCam->DvFrames->GetLastFrameInfo(&info) == S_OK;
  labTimecode->setText(seen ? TimecodeLine(info) : TimecodeLine(DV_FRAME_INFO{}));
  // The file being written, once the multiplexer has begun another (a new scene, a first
  // file named by its date).
  const bool recording = CaptureState == stRecording || CaptureState == stRecordingTimed;
  const QStringList names = FileNamer && recording ? FileNamer->Names() : QStringList();
  if (names.size() > FileNamesSeen) {
    FileNamesSeen = names.size();
    VideoFileName = names.back();
    LabelVideo->setText(QFileInfo(VideoFileName).fileName());
  }
  if (TapeCapture == TapeStep::kNone) return;
  long mode = 0;
  const bool answered = dmCam->TapeTransport && SUCCEEDED(dmCam->TapeTransport->get_Mode(&mode));
  if (TapeCapture == TapeStep::kRewinding) {
    if (!answered || CaptureState != stPreview) {
      // The camcorder went silent, or a recording or programme began meanwhile: the tape
      // capture gives way.
      EndTapeCapture();
    } else if (mode == ED_MODE_STOP) {
      StartTapeRecording();
    }
    return;
  }
  if (info.framesSeen != TapeFramesSeen) {
    TapeFramesSeen = info.framesSeen;
    SinceTapeFrame.start();
  }
  // The end of what was filmed: the camcorder stopped at the tape's end, or nothing comes.
  if ((answered && mode == ED_MODE_STOP) || SinceTapeFrame.elapsed() >= kNoFrameEndMs) {
    EndTapeCapture();
  }
}
