// TCaptureForm's choices of what the next preview and recording hold: the video and audio
// source, the recording format (and the standard of the re-encoded one), the separate sound
// recorded and the sounds heard, and the deinterlacer.
//
// The handlers chain: a check mark or a format item set from code fires the control's handler
// as a click does, so choosing a source rearranges the window, sets the sound boxes and their
// listening through their own handlers. Listening acts on the graph at once once a preview has
// been built, and is otherwise remembered in the box for the next build.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>

#include "HandlerGuard.h"
#include "MediaGraph.h"
#include "RadioGroup.h"
#include "graph.h"
#include "mainFlux.h"

using vidorra::Connect;

namespace {

// rgFormat's recompressing item: the last of either list.
constexpr int kDVRecompressed = 2;
constexpr int kOtherRecompressed = 1;

const char* const kRestartFailed =
    "L'enregistrement n'a pas pu continuer après le changement d'écoute : il est arrêté. Le "
    "fichier %1 est complet.";

bool IsRecording(std::uint8_t state) { return state == stRecording || state == stRecordingTimed; }

// A new preview of the chosen devices, and the state it leaves the window in.
void Preview(TCaptureForm& form) {
  if (form.StartPreview()) {
    form.SetPreviewState();
  } else {
    form.SetNoSourceState();
  }
}

}  // namespace

void TCaptureForm::ConnectChoiceHandlers() {
  FormatNarrowWidth = rgFormat->width();
  FormatWideWidth = rgStandard->geometry().right() + 1 - rgFormat->x();

  // A source is chosen by picking a name or by typing one; a text set by the program (the
  // lists' fill, "Connexion impossible") chooses nothing. A typed name is never added to the
  // list of devices.
  for (QComboBox* box : {cboxVideo, cboxAudio}) box->setInsertPolicy(QComboBox::NoInsert);
  Connect(cboxVideo, &QComboBox::textActivated, this, &TCaptureForm::cboxVideoChange);
  Connect(cboxVideo->lineEdit(), &QLineEdit::textEdited, this, &TCaptureForm::cboxVideoChange);
  Connect(cboxAudio, &QComboBox::textActivated, this, &TCaptureForm::cboxAudioChange);
  Connect(cboxAudio->lineEdit(), &QLineEdit::textEdited, this, &TCaptureForm::cboxAudioChange);
  Connect(rgFormat, &vidorra::RadioGroup::Click, this, &TCaptureForm::rgFormatClick);
  Connect(cbEnregistrerAudioSource, &QCheckBox::toggled, this,
          &TCaptureForm::cbEnregistrerAudioSourceClick);
  Connect(cbEnregistrerAudioDV, &QCheckBox::toggled, this,
          &TCaptureForm::cbEnregistrerAudioDVClick);
  Connect(cbEcouterAudioSource, &QCheckBox::toggled, this,
          &TCaptureForm::cbEcouterAudioSourceClick);
  Connect(cbEcouterAudioDV, &QCheckBox::toggled, this, &TCaptureForm::cbEcouterAudioDVClick);
  Connect(cbDeinterlacer, &QCheckBox::toggled, this, &TCaptureForm::cbDeinterlacerClick);
}

void TCaptureForm::cboxVideoChange() {
  if (dmCam == nullptr || !SelectVideoSource()) return;
  Preview(*this);
  cbEnregistrerAudioDV->setChecked(dmCam->IsDVSource);
  cbEcouterAudioDV->setChecked(dmCam->IsDVSource);
}

void TCaptureForm::cboxAudioChange() {
  if (dmCam == nullptr || !SelectAudioSource()) return;
  Preview(*this);
}

void TCaptureForm::cbEnregistrerAudioSourceClick() {
  const bool added = cbEnregistrerAudioSource->isChecked();
  if (!added) cbEcouterAudioSource->setChecked(false);
  cbEcouterAudioSource->setEnabled(added);
  cboxAudio->setEnabled(added);
  // Takes effect at the next build of a graph.
  BuildOptionsMenu();
}

void TCaptureForm::cbEnregistrerAudioDVClick() {
  const bool recorded = cbEnregistrerAudioDV->isChecked();
  cbEcouterAudioDV->setChecked(recorded);
  cbEcouterAudioDV->setEnabled(recorded);
}

void TCaptureForm::cbEcouterAudioSourceClick() {
  if (dmCam == nullptr || !dmCam->PreviewReady) return;
  const bool listen = cbEcouterAudioSource->isChecked();
  RestartGraphAfter([&] {
    dmCam->MonitorAudioSource(listen);
    cbMute->setChecked(listen);
  });
}

void TCaptureForm::cbEcouterAudioDVClick() {
  if (dmCam == nullptr || !dmCam->PreviewReady) return;
  const bool listen = cbEcouterAudioDV->isChecked();
  RestartGraphAfter([&] { dmCam->MonitorDVAudio(listen); });
}

void TCaptureForm::RestartGraphAfter(const std::function<void()>& change) {
  const bool recording = IsRecording(CaptureState);
  if (recording) CarryCaptureCounts();
  dmCam->fg->StopGraph();
  change();
  if (!recording) {
    dmCam->fg->RunGraph();
    // A renderer just added plays at the window's volume too.
    ApplyVolume();
    return;
  }
  // The file writer, stopped, has closed its file whole; it would not write over it.
  const QString finished = VideoFileName;
  VideoFileName = BuildVideoFileName();
  bool goesOn = false;
  try {
    goesOn = dmCam->SwitchOutputFile(VideoFileName) && dmCam->fg->RunGraph();
  } catch (...) {
    goesOn = false;
  }
  if (goesOn) {
    ApplyVolume();
  } else {
    RecordingFailed(QString::fromUtf8(kRestartFailed).arg(finished));
  }
}

void TCaptureForm::rgFormatClick() {
  const bool dv = dmCam != nullptr && dmCam->IsDVSource;
  const int format = rgFormat->ItemIndex();
  const bool recompressed = dv ? format == kDVRecompressed : format == kOtherRecompressed;

  // Both listening boxes shown stand one above the other; one alone stands between.
  cbEnregistrerAudioDV->setVisible(dv);
  cbEcouterAudioDV->setVisible(dv);
  if (dv && format == kDVRecompressed) {
    cbEcouterAudioSource->move(ListenPlaces[0]);
    cbEcouterAudioDV->move(ListenPlaces[1]);
  } else if (dv) {
    cbEcouterAudioDV->move(ListenPlaces[2]);
  } else {
    cbEcouterAudioSource->move(ListenPlaces[2]);
  }

  rgStandard->setVisible(recompressed);
  rgFormat->resize(recompressed ? FormatNarrowWidth : FormatWideWidth, rgFormat->height());

  // The camcorder's own formats carry its sound: no separate audio device can be added.
  const bool soundInDV = dv && (format == 0 || format == 1);
  gbAudio->setVisible(!soundInDV);
  cbEcouterAudioSource->setVisible(!soundInDV);
  Bevel4->setVisible(soundInDV);
}

void TCaptureForm::cbDeinterlacerClick() {
  if (dmCam == nullptr) return;
  dmCam->UseDeinterlacer = cbDeinterlacer->isChecked();
  // On success the state stays as it was (a programme in force stays armed).
  if (!StartPreview()) SetNoSourceState();
}
