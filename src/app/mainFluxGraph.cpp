// TCaptureForm's graph operations: the preview and the recording are built by the data module
// dmCam from the window's choices, then run with the listening volume.
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QSlider>
#include <stdexcept>

#include "MediaGraph.h"
#include "RadioGroup.h"
#include "graph.h"
#include "erreurUnit.h"
#include "RecordingJournal.h"
#include "mainFlux.h"

namespace {

const QString kConnectionFailed = QStringLiteral("Connexion impossible");
// Why the preview failed when the source offers nothing it can show.
constexpr const char* kNothingToShow = "La source vidéo « %1 » propose : %2. Aucun de ces formats "
                                       "ne peut être affiché.";
constexpr const char* kNoFormat = "La source vidéo « %1 » ne propose aucun format d'image.";

// rgFormat's items: the recompressing format is the last one of either list (2 for a DV
// source, 1 for any other), "DV type 2 normal" the second for a DV source.
constexpr int kDVRecompressed = 2;
constexpr int kOtherRecompressed = 1;
constexpr int kDVType2 = 1;

}  // namespace

void TCaptureForm::CopyAudioChoices() {
  dmCam->RecordAudioSource = cbEnregistrerAudioSource->isChecked();
  dmCam->RecordDVAudio = cbEnregistrerAudioDV->isChecked();
  dmCam->ListenAudioSource = cbEcouterAudioSource->isChecked();
  dmCam->ListenDVAudio = cbEcouterAudioDV->isChecked();
}

void TCaptureForm::ApplyVolume() {
  dmCam->fg->SetGraphVolume(cbMute->isChecked() ? 0 : tb->value());
}

IBaseFilter* TCaptureForm::VideoRenderer() {
  vwEcran->SetFilterGraph(dmCam->fg);
  // Null while the window has no renderer: the builds then render no picture and fail where
  // the picture is needed.
  return vwEcran->MemberFilter();
}

bool TCaptureForm::StartPreview() {
  try {
    CopyAudioChoices();
    if (dmCam->fg->GraphState() == grsPlaying) dmCam->fg->StopGraph();
    dmCam->PreviewArea = PreviewAreaInPixels();
    const bool built = dmCam->BuildPreviewGraph(VideoRenderer());
    if (built) {
      ApplyVolume();
      dmCam->fg->RunGraph();
      UpdateSoundMeter(false);
    } else {
      cboxVideo->setEditText(kConnectionFailed);
      ReportUnshowableSource(VideoSourceName);
    }
    BuildOptionsMenu();
    return built;
  } catch (...) {
    return false;
  }
}

void TCaptureForm::ReportUnshowableSource(const QString& source) {
  QStringList offered;
  bool showable = true;
  if (!dmCam->DescribeVideoFormats(offered, showable) || showable) return;
  const QString line = offered.isEmpty()
                           ? QString::fromUtf8(kNoFormat).arg(source)
                           : QString::fromUtf8(kNothingToShow).arg(source, offered.join(QStringLiteral(", ")));
  ErreurFrame1->ShowErrorPanel(line + QStringLiteral("\r\n"), false);
}

bool TCaptureForm::StartCapture() {
  try {
    // Noted before the file's first byte, so that a program dying now leaves it for repair.
    Journal->Begin(VideoFileName);
    if (dmCam->fg->GraphState() == grsPlaying) dmCam->fg->StopGraph();
    CopyAudioChoices();
    const int format = rgFormat->ItemIndex();
    const bool dv = dmCam->IsDVSource;
    bool built = false;
    if ((dv && format == kDVRecompressed) || (!dv && format == kOtherRecompressed)) {
      // The picture is coded from the preview's decoder: a whole picture, whatever the area.
      if (dv && dmCam->PreviewResolution != DVRESOLUTION_FULL) {
        dmCam->PreviewArea = QSize();
        if (!dmCam->BuildPreviewGraph(VideoRenderer())) return false;
      }
      built = dmCam->BuildRecompressCaptureGraph(
          VideoFileName, static_cast<std::uint8_t>(rgStandard->ItemIndex() & 0xFF));
    } else if (dv && format == kDVType2) {
      built = dmCam->BuildDVType2CaptureGraph(VideoFileName);
    } else {
      built = dmCam->BuildNativeCaptureGraph(VideoFileName, VideoRenderer());
    }
    if (!built) return false;
    SetUpFileSplitting();
    ApplyVolume();
    return dmCam->fg->RunGraph();
  } catch (...) {
    return false;
  }
}

void TCaptureForm::SetUpFileSplitting() {
  FileNamer.Reset();
  FileNamesSeen = 0;
  const int format = rgFormat->ItemIndex();
  if (!dmCam->IsDVSource || (format != 0 && format != kDVType2) || !dmCam->AviMux) return;
  ComPtr<IAviFileSplitter> splitter;
  if (FAILED(dmCam->AviMux->QueryInterface(IID_IAviFileSplitter,
                                           splitter.ReleaseAndGetVoidAddressOf()))) {
    return;
  }
  vidorra::RecordingFileNamer::Rules rules;
  QString folder = QFileInfo(VideoFileName).path();
  if (!folder.endsWith(u'/')) folder += u'/';
  rules.dateStem = folder + VideoRacineEdit->text() + u'_';
  rules.byDate = TapeCapture == TapeStep::kRecording && cbNommerParDate->isChecked();
  rules.usualStem = VideoNameStem();
  rules.counter = VideoCounter;
  FileNamer = MakeComObject<vidorra::RecordingFileNamer>(rules, Journal.get());
  const DWORD flags = (cbUnFichierParScene->isChecked() ? AVI_SPLIT_AT_SCENES : 0u) |
                      (rules.byDate ? AVI_SPLIT_NAME_FIRST : 0u);
  if (FAILED(splitter->SetFileNamer(FileNamer.Get())) || FAILED(splitter->SetSplitting(flags))) {
    FileNamer.Reset();
    throw std::runtime_error("the recording's files cannot be split");
  }
}
