// TCaptureForm's five states and the commands that move between them: Capture, Couper, Stop
// (buttons and pop-up items), the listening volume, full screen, the graph's device-lost event
// and the refresh of the video source list.
//
// A recording is never left half-stopped: when starting, cutting or stopping fails, the graph
// is stopped and emptied (the multiplexer closes the file written so far, index included), the
// preview is rebuilt if it can be, and the error panel says what happened. The same holds for a
// recording the graph gives up (a write error, a full disk) and for one stopped because the disk
// is almost full: it ends as "Stop" ends it, and the error panel says why.
#include <comptr.h>
#include <vidorra_filters.h>
#include <vidorra_repair.h>

#include <QAction>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLocale>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include "AlarmClock.h"
#include "DiskSpaceWatch.h"
#include "HandlerGuard.h"
#include "MediaGraph.h"
#include "MediaUtil.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "RecordingJournal.h"
#include "graph.h"
#include "mainFlux.h"

using vidorra::Connect;
using vidorra::DiskSpaceWatch;
using vidorra::RecordingJournal;

namespace {

const QColor kNoSourceBorder(128, 128, 128);
const QColor kRecordingBorder(255, 0, 0);
const QColor kProgrammedBorder(255, 255, 0);
const QColor kRecordingTimedBorder(255, 0, 255);

const char* const kStartFailed = "L'enregistrement n'a pas pu démarrer dans le fichier %1.";
const char* const kCutFailed =
    "La coupure a échoué : l'enregistrement est arrêté. Le fichier %1 est complet.";
const char* const kNoRoom =
    "L'enregistrement ne peut pas démarrer : il ne reste que %1 Mo libres sur le disque du "
    "dossier %2 (il en faut au moins %3 Mo).";
const char* const kLowSpace =
    "L'enregistrement est arrêté : il ne reste que %1 Mo libres sur le disque du fichier %2, "
    "qui garde tout ce qui a été enregistré.";
const char* const kAborted =
    "L'enregistrement dans le fichier %1 est arrêté sur une erreur : %2 Le fichier garde tout "
    "ce qui a été enregistré.";
const char* const kRepaired =
    "L'enregistrement %1, interrompu, a été réparé : il garde %2 images (%3 s).";
const char* const kNotRepaired =
    "L'enregistrement %1, interrompu, n'a pas pu être réparé (vidorra --repair dit pourquoi).";
const char* const kProgrammeDropped =
    "La programmation a été annulée : une source de capture a été débranchée ou rebranchée.";
const char* const kProgrammeWithoutPicture =
    "La programmation a été annulée : la source de capture ne donne plus d'image.";
const QString kCrLf = QStringLiteral("\r\n");

bool IsRecordingState(std::uint8_t state) {
  return state == stRecording || state == stRecordingTimed;
}

// The file the running recording writes to, as its file writer has it (VideoFileName may have
// been re-formed since); empty without a recording graph.
QString FileBeingWritten() {
  LPOLESTR name = nullptr;
  if (dmCam == nullptr || !dmCam->FileSink || FAILED(dmCam->FileSink->GetCurFile(&name, nullptr)) ||
      name == nullptr) {
    return QString();
  }
  const QString file = QString::fromWCharArray(name);
  CoTaskMemFree(name);
  return file;
}

qint64 Megabytes(qint64 bytes) { return bytes / DiskSpaceWatch::kMiB; }

}  // namespace

std::function<void()> TCaptureForm::OnGraph(void (TCaptureForm::*handler)()) {
  return [this, handler] {
    if (dmCam != nullptr) (this->*handler)();
  };
}

void TCaptureForm::ConnectRecordingHandlers() {
  Connect(CaptureBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::CaptureBtnClick));
  Connect(CouperBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::CouperBtnClick));
  Connect(StopBtn, &QPushButton::clicked, this, OnGraph(&TCaptureForm::StopBtnClick));
  Connect(Capture1, &QAction::triggered, this, OnGraph(&TCaptureForm::Capture1Click));
  Connect(Couper1, &QAction::triggered, this, OnGraph(&TCaptureForm::Couper1Click));
  Connect(Stop1, &QAction::triggered, this, OnGraph(&TCaptureForm::Stop1Click));
  Connect(tb, &QSlider::valueChanged, this, OnGraph(&TCaptureForm::tbChange));
  Connect(cbMute, &QCheckBox::toggled, this, OnGraph(&TCaptureForm::cbMuteClick));
  Connect(PleinEcranBtn, &QPushButton::clicked, this, &TCaptureForm::PleinEcranBtnClick);
  Connect(PLeinEcran1, &QAction::triggered, this, &TCaptureForm::PLeinEcran1Click);
  Connect(ActualiserVideoBtn, &QToolButton::clicked, this,
          OnGraph(&TCaptureForm::ActualiserVideoBtnClick));
  Connect(StatsTimer, &QTimer::timeout, this, &TCaptureForm::StatsTimerTimer);
  DiskSpace = new DiskSpaceWatch(this);
}

// ---- States ------------------------------------------------------------------------------------

void TCaptureForm::ApplyStateControls(std::uint8_t state, const QColor& border) {
  CaptureState = state;
  QPalette palette = Panel1->palette();
  palette.setColor(Panel1->backgroundRole(), border);
  Panel1->setPalette(palette);

  // The alarm runs only while a programmed start or end waits; the two states give it its
  // action (start or end), the programmed recording its time.
  const bool alarm = state == stProgrammed || state == stRecordingTimed;
  RxClock2->SetAlarmEnabled(alarm);
  if (!alarm) RxClock2->SetAlarmAction(nullptr);

  const bool source = state != stNoSource;
  const bool recording = IsRecordingState(state);
  const bool idle = !recording;  // no recording runs: the sources and formats can change
  RxSwitch1->setEnabled(source);
  grabBtn->setEnabled(source);
  cbDeinterlacer->setEnabled(idle);
  CaptureBtn->setEnabled(source && idle);
  CouperBtn->setEnabled(recording);
  StopBtn->setEnabled(recording);
  PleinEcranBtn->setEnabled(source);
  ProgBtn->setEnabled(state == stPreview || state == stRecording);
  ProgStopBtn->setEnabled(state == stProgrammed || state == stRecordingTimed);
  cboxVideo->setEnabled(idle);
  cboxAudio->setEnabled(idle);
  ActualiserVideoBtn->setEnabled(idle);
  gbAudio->setEnabled(idle);
  rgFormat->setEnabled(idle);
  rgStandard->setEnabled(idle);
  if (recording) {
    cbEnregistrerAudioSource->setEnabled(false);
    cbEnregistrerAudioDV->setEnabled(false);
  }
  Capture1->setEnabled(source && idle);
  Couper1->setEnabled(recording);
  Stop1->setEnabled(recording);

  if (recording) {
    DiskSpace->Watch(FileBeingWritten, [this](qint64 freeBytes) {
      RecordingEnded(
          QString::fromUtf8(kLowSpace).arg(Megabytes(freeBytes)).arg(FileBeingWritten()));
    });
  } else {
    DiskSpace->Stop();
  }
  UpdateStatusLine(recording);
  UpdateSoundMeter(recording);
  UpdateTapePage();
}

void TCaptureForm::SetNoSourceState() {
  // A programme waiting for its start cannot record without a picture: it goes, and says so.
  const bool programmeDropped = CaptureState == stProgrammed;
  ApplyStateControls(stNoSource, kNoSourceBorder);
  if (dmCam != nullptr && dmCam->HasAudioSources) cbEnregistrerAudioSource->setEnabled(true);
  if (programmeDropped) {
    ErreurFrame1->ShowErrorPanel(QString::fromUtf8(kProgrammeWithoutPicture) + kCrLf, false);
  }
}

void TCaptureForm::SetPreviewState() {
  ApplyStateControls(stPreview, palette().color(QPalette::Button));
  const bool dv = dmCam != nullptr && dmCam->IsDVSource;
  cbEnregistrerAudioDV->setEnabled(dv);
  if (!dv) cbEnregistrerAudioDV->setChecked(false);
  cbEnregistrerAudioSource->setEnabled(true);
  if (!cbEnregistrerAudioDV->isEnabled()) cbEcouterAudioDV->setEnabled(false);
}

void TCaptureForm::SetProgrammedState() {
  ApplyStateControls(stProgrammed, kProgrammedBorder);
  RxClock2->SetAlarmAction([this] { lancerEnregistrement(); });
  cbEnregistrerAudioSource->setEnabled(true);
}

void TCaptureForm::SetRecordingState() { ApplyStateControls(stRecording, kRecordingBorder); }

void TCaptureForm::SetRecordingTimedState() {
  ApplyStateControls(stRecordingTimed, kRecordingTimedBorder);
  RxClock2->SetAlarmAction([this] { stopperEnregistrement(); });
}

// ---- Recording commands ------------------------------------------------------------------------

void TCaptureForm::EndInPreview(std::uint8_t previewState) {
  // The recording graph is gone with the preview rebuilt or the graph emptied: its files are
  // finished.
  const auto finished = qScopeGuard([this] { Journal->Finished(); });
  if (IsRecordingState(CaptureState)) {
    StatsTimerTimer();  // the drops the capture pin counted until now, before it starts afresh
    ReportFile = FileBeingWritten();
  }
  if (StartPreview()) {
    if (previewState == stProgrammed) {
      SetProgrammedState();
    } else {
      SetPreviewState();
    }
    return;
  }
  // Nothing may go on running or writing without a picture: the graph is stopped and emptied.
  try {
    dmCam->ResetGraph();
  } catch (...) {
    // ResetGraph reports by its result; the window's state is what matters here.
  }
  SetNoSourceState();
}

void TCaptureForm::RepairUnfinishedRecordings() {
  std::shared_ptr<RecordingJournal::LeftBehind> leftBehind = RecordingJournal::FindLeftBehind();
  if (leftBehind->files.isEmpty()) return;
  auto lines = std::make_shared<QStringList>();
  RepairThread.reset(QThread::create([leftBehind, lines]() mutable {
    const QLocale french(QLocale::French, QLocale::France);
    for (const QString& file : leftBehind->files) {
      if (!QFileInfo::exists(file)) continue;  // never created, or removed since
      VIDORRA_AVI_REPAIR result{};
      VidorraRepairAviFile(file.toStdWString().c_str(), &result);
      if (result.outcome == VIDORRA_AVI_REPAIRED) {
        lines->append(QString::fromUtf8(kRepaired)
                          .arg(file, french.toString(static_cast<qulonglong>(result.frames)),
                               french.toString(result.seconds, 'f', 1)));
      } else if (result.outcome != VIDORRA_AVI_WHOLE) {
        lines->append(QString::fromUtf8(kNotRepaired).arg(file));
      }
    }
    leftBehind.reset();  // the journals go once their files are whole
  }));
  connect(RepairThread.get(), &QThread::finished, this, [this, lines] {
    if (!lines->isEmpty()) ErreurFrame1->ShowErrorPanel(lines->join(kCrLf) + kCrLf, false);
  });
  RepairThread->start();
}

void TCaptureForm::RecordingFailed(const QString& message) {
  EndInPreview();
  ErreurFrame1->ShowErrorPanel(message + kCrLf, false);
}

void TCaptureForm::RecordingEnded(const QString& message) {
  if (!IsRecordingState(CaptureState)) return;
  StopBtnClick();
  ErreurFrame1->ShowErrorPanel(message + kCrLf, false);
}

bool TCaptureForm::EnoughSpaceToRecord() {
  const std::optional<qint64> free = DiskSpace->FreeSpace(VideoFileName);
  // Room that cannot be read is no reason to refuse: the recording finds out for itself.
  if (!free || *free >= DiskSpaceWatch::kStartMinimum) return true;
  ErreurFrame1->ShowErrorPanel(QString::fromUtf8(kNoRoom)
                                       .arg(Megabytes(*free))
                                       .arg(QFileInfo(VideoFileName).absolutePath())
                                       .arg(Megabytes(DiskSpaceWatch::kStartMinimum)) +
                                   kCrLf,
                               false);
  return false;
}

void TCaptureForm::CaptureBtnClick() {
  if (!EnoughSpaceToRecord()) return;
  const std::uint8_t before = CaptureState;
  if (StartCapture()) {
    SetRecordingState();
    return;
  }
  CaptureFailed(before == stProgrammed ? stProgrammed : stPreview);
}

void TCaptureForm::CaptureFailed(std::uint8_t previewState) {
  const QString file = VideoFileName;
  // What a failed start left on disk is not overwritten by the next one.
  if (QFileInfo::exists(file)) VideoFileName = BuildVideoFileName();
  EndInPreview(previewState);
  ErreurFrame1->ShowErrorPanel(QString::fromUtf8(kStartFailed).arg(file) + kCrLf, false);
}

void TCaptureForm::CouperBtnClick() {
  const QString finished = VideoFileName;
  VideoFileName = BuildVideoFileName();
  bool cut = false;
  try {
    ComPtr<IAviFileSplitter> splitter;
    if (FileNamer && dmCam->AviMux &&
        SUCCEEDED(dmCam->AviMux->QueryInterface(IID_IAviFileSplitter,
                                                splitter.ReleaseAndGetVoidAddressOf()))) {
      // A DV stream is cut by its multiplexer between two frames, the graph running on: the
      // next frame begins the new file, nothing lost.
      FileNamer->NameNextFile(VideoFileName);
      cut = SUCCEEDED(splitter->SplitAtNextFrame());
    } else {
      // The file writer keeps its old name if the switch fails: running again would then write
      // over the file just finished, so the recording stops there instead.
      Journal->Begin(VideoFileName);
      CarryCaptureCounts();
      cut = dmCam->fg->StopGraph() && dmCam->SwitchOutputFile(VideoFileName) &&
            dmCam->fg->RunGraph();
      if (cut) ApplyVolume();
    }
  } catch (...) {
    cut = false;
  }
  if (!cut) RecordingFailed(QString::fromUtf8(kCutFailed).arg(finished));
}

void TCaptureForm::StopBtnClick() {
  VideoFileName = BuildVideoFileName();
  EndInPreview();
}

void TCaptureForm::Capture1Click() { CaptureBtnClick(); }

void TCaptureForm::Couper1Click() { CouperBtnClick(); }

void TCaptureForm::Stop1Click() { StopBtnClick(); }

void TCaptureForm::tbChange() { ApplyVolume(); }

void TCaptureForm::cbMuteClick() { ApplyVolume(); }

void TCaptureForm::PleinEcranBtnClick() {
  vwEcran->SetFullScreen(true);
  FollowPreviewSize();
}

void TCaptureForm::PLeinEcran1Click() {
  vwEcran->SetFullScreen(!vwEcran->FullScreen());
  FollowPreviewSize();
}

// ---- Device loss and refresh -------------------------------------------------------------------

void TCaptureForm::GraphDeviceLost() {
  // The file being written keeps its name; the next recording gets a new one.
  if (IsRecordingState(CaptureState)) VideoFileName = BuildVideoFileName();
  const bool programmed = CaptureState == stProgrammed || CaptureState == stRecordingTimed;
  if (FillVideoSourceList()) SelectVideoSource();
  if (FillAudioSourceList()) SelectAudioSource();
  EndInPreview();
  // The alarm is off now: a programme the user left armed must not vanish unseen.
  if (programmed) ErreurFrame1->ShowErrorPanel(QString::fromUtf8(kProgrammeDropped) + kCrLf, false);
}

void TCaptureForm::GraphErrorAbort(HRESULT result) {
  // In the preview there is no file to keep; its failures show in the picture.
  if (!IsRecordingState(CaptureState)) return;
  QString file = FileBeingWritten();
  if (file.isEmpty()) file = VideoFileName;
  RecordingEnded(QString::fromUtf8(kAborted).arg(file, GraphErrorText(result)));
}

void TCaptureForm::AttachDeviceLost() {
  dmCam->fg->OnGraphDeviceLost = [this](TComponent*, IUnknown* device, bool removed) {
    vidorra::GuardCall([&] {
      GraphDeviceLost();
      if (removed && CaptureState == stNoSource) HearReturnOf(device);
    });
  };
  dmCam->fg->OnGraphErrorAbort = [this](TComponent*, HRESULT result) {
    vidorra::GuardCall([&] { GraphErrorAbort(result); });
  };
}

void TCaptureForm::HearReturnOf(IUnknown* device) {
  // A device tells only the graph it sits in that it is back. With no source left the graph
  // is empty: the unplugged device waits in it, stopped, so that plugging it back in refreshes
  // the window as unplugging did. Any rebuild of the graph takes it out again.
  ComPtr<IBaseFilter> filter;
  ComPtr<IFilterGraph> graph;
  if (device == nullptr ||
      FAILED(device->QueryInterface(IID_IBaseFilter, filter.ReleaseAndGetVoidAddressOf())) ||
      FAILED(dmCam->fg->QueryInterface(IID_IFilterGraph, graph.ReleaseAndGetVoidAddressOf())) ||
      !graph) {
    return;
  }
  graph->AddFilter(filter.Get(), L"Unplugged device");
}

void TCaptureForm::ActualiserVideoBtnClick() {
  if (!FillVideoSourceList()) return;
  if (!SelectVideoSource()) return;
  EndInPreview();
  cbEcouterAudioDV->setChecked(dmCam->IsDVSource);
  cbEnregistrerAudioDV->setChecked(dmCam->IsDVSource);
}
