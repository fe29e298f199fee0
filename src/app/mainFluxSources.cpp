// TCaptureForm's source lists and source choice: the text moves between the drop-down lists and
// the data module's device routines; the format choice follows the kind of the video source.
#include <QCheckBox>
#include <QComboBox>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>

#include "HandlerGuard.h"
#include "MediaGraph.h"
#include "RadioGroup.h"
#include "graph.h"
#include "mainFlux.h"

namespace {

const QString kNoVideoSource = QStringLiteral("Aucune source vidéo");
const QString kNoAudioSource = QStringLiteral("Pas de source Audio");

// The format choice for each kind of video source, and the item selected after the refill.
const QStringList kDVFormats = {QStringLiteral("DV type 1"), QStringLiteral("DV type 2 normal"),
                                QStringLiteral("DV type 2 recompressé")};
constexpr int kDVDefaultFormat = 1;
const QStringList kOtherFormats = {QStringLiteral("Video native"),
                                   QStringLiteral("DV type 2 recompressé")};
constexpr int kOtherDefaultFormat = 0;

using DeviceLister = bool (TdmCam::*)(QStringList&);

// Fills `box` from the lister and selects its first name, or shows `placeholder` when there is
// none. The box's signals are held meanwhile: filling is not the user choosing a source.
bool FillSourceList(QComboBox* box, bool& hasSources, DeviceLister lister,
                    const QString& placeholder) {
  try {
    hasSources = false;
    const QSignalBlocker quiet(box);
    QStringList names;
    const bool listed = (dmCam->*lister)(names);
    box->clear();
    box->addItems(names);
    if (listed && !names.isEmpty()) {
      box->setCurrentIndex(0);
      hasSources = true;
    } else {
      box->setCurrentIndex(-1);
      box->setEditText(placeholder);
    }
    // A list that could not be read is a failure, even though the box shows no device.
    return listed;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool TCaptureForm::FillVideoSourceList() {
  return FillSourceList(cboxVideo, dmCam->HasVideoSources, &TdmCam::ListVideoDevices,
                        kNoVideoSource);
}

bool TCaptureForm::FillAudioSourceList() {
  return FillSourceList(cboxAudio, dmCam->HasAudioSources, &TdmCam::ListAudioDevices,
                        kNoAudioSource);
}

bool TCaptureForm::SelectVideoSource() {
  try {
    dmCam->PreviewReady = false;
    dmCam->IsDVSource = false;
    const bool result = dmCam->SelectVideoDevice(cboxVideo->currentText());
    VideoSourceName = result ? cboxVideo->currentText() : QString();
    rgStandard->hide();
    // Selecting the item and setting the marks fire their handlers, which arrange the window
    // for the new source.
    if (dmCam->IsDVSource) {
      rgFormat->SetItems(kDVFormats);
      rgFormat->SetItemIndex(kDVDefaultFormat);
      cbEnregistrerAudioDV->setChecked(true);
      cbEnregistrerAudioSource->setChecked(false);
    } else {
      rgFormat->SetItems(kOtherFormats);
      rgFormat->SetItemIndex(kOtherDefaultFormat);
      cbEnregistrerAudioDV->setChecked(false);
    }
    return result;
  } catch (...) {
    return false;
  }
}

bool TCaptureForm::SelectAudioSource() {
  try {
    return dmCam->SelectAudioDevice(cboxAudio->currentText());
  } catch (...) {
    return false;
  }
}

namespace {

// The helper filters checked at first show, in the order of the report, with their messages.
struct RequiredFilter {
  const char* category;
  const char* name;
  const char* missing;
};
constexpr RequiredFilter kRequiredFilters[] = {
    {"DirectShow Filters", "Color Space Converter",
     "Le filtre Color Space Converter n'est pas installé."},
    {"DirectShow Filters", "SampleGrabber", "Le filtre SampleGrabber n'est pas installé."},
    {"Video Compressors", "DV Video Encoder", "DV Video Encoder n'est pas installé."},
    {"DirectShow Filters", "Smart Tee", "Le Filtre Smart Tee n'est pas installé."},
    {"DirectShow Filters", "DV Splitter", "Le filtre DV Splitter n'est pas installé."},
    {"DirectShow Filters", "Infinite Pin Tee Filter", "Le Filtre Infinite Tee n'est pas installé."},
};

}  // namespace

void TCaptureForm::FormShow() {
  const QString crLf = QStringLiteral("\r\n");
  QString report;

  cbDeinterlacer->setVisible(false);
  dmCam->DeinterlacerInstalled = false;
  dmCam->UseDeinterlacer = false;
  try {
    if (dmCam->BindFilterByName(QStringLiteral("DirectShow Filters"),
                                QStringLiteral("Pinnacle Video Deinterlacer"),
                                dmCam->Deinterlacer)) {
      cbDeinterlacer->setVisible(true);
      dmCam->DeinterlacerInstalled = true;
      dmCam->UseDeinterlacer = cbDeinterlacer->isChecked();
    }
  } catch (...) {
    // Without the deinterlacer the box stays hidden; start-up goes on.
  }

  for (const RequiredFilter& filter : kRequiredFilters) {
    if (!dmCam->IsFilterInstalled(QString::fromUtf8(filter.category),
                                  QString::fromUtf8(filter.name))) {
      report += QString::fromUtf8(filter.missing) + crLf;
    }
  }

  // A missing or malformed version raises out of the handler: nothing below runs.
  QString version;
  dmCam->GetDirectXVersion(version);
  if (version.isEmpty() || version.at(0) < QLatin1Char('9')) {
    report += QStringLiteral("Vous devriez mettre à jour votre version de DirectX.") + crLf;
  }

  if (!FillAudioSourceList()) {
    report += QStringLiteral("Impossible d'actualiser les sources audio") + crLf;
  }
  if (dmCam->HasAudioSources) SelectAudioSource();
  if (!FillVideoSourceList()) {
    report += QStringLiteral("Impossible d'actualiser les sources Vidéos") + crLf;
  }
  if (dmCam->HasVideoSources) SelectVideoSource();

  try {
    if (StartPreview()) {
      SetPreviewState();
    } else {
      SetNoSourceState();
    }
    if (!report.isEmpty()) {
      ErreurFrame1->ShowErrorPanel(
          report + crLf + QStringLiteral("Vous avez directX version ") + version, false);
    }
  } catch (...) {
    // A preview that raises leaves the window without a picture; start-up goes on.
    SetNoSourceState();
  }

  PageControl1->setCurrentWidget(TabSheet1);
  AttachDeviceLost();
}

void TCaptureForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // A window shown without its data module (a test of the layout alone) has nothing to fill.
  if (shown_ || dmCam == nullptr) return;
  shown_ = true;
  // The keyboard's input comes here at once, with or without a window manager to give it:
  // Enter and Esc reach the first page's buttons.
  activateWindow();
  TabSheet1->setFocus(Qt::ActiveWindowFocusReason);
  vidorra::GuardCall([this] { FormShow(); });
}
