// Still images: "Grab" on the page "Images", the intervallometer (switch RxSwitch1, period and
// unit on the page "Options", countdown in chronoLab, ticks of Timer1) and the JPEG quality
// slider.
//
// A picture is saved only when it was just grabbed: a grab that finds no frame writes nothing
// and says so in the error panel, as does a file that cannot be written. The intervallometer
// goes on after either (the source may come back, the disk may be freed); its error is shown
// once while the panel stays up, so that a failing 40 ms period does not keep redrawing it.
//
// A file is created only where nothing exists: it is opened for exclusive creation, and a name
// taken since it was formed gives way to the next free one.
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <functional>

#include "Bitmap.h"
#include "Exception.h"
#include "HandlerGuard.h"
#include "JpegImage.h"
#include "MediaGraph.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "SpinEdit.h"
#include "WindowTimer.h"
#include "erreurUnit.h"
#include "graph.h"
#include "mainFlux.h"

using vidorra::Connect;

namespace {

constexpr int kBmpItem = 0;
constexpr std::int64_t kMsPerSecond = 1000;
constexpr int kSecondTickMs = 1000;
// The units of ComboBox1, by position: "secondes", "frames Pal (25/s)", "minutes".
constexpr std::array<std::int64_t, 3> kUnitMs{1000, 40, 60000};
// A name can be taken again between forming it and creating the file only by another
// program racing us; past this many tries the save gives up.
constexpr int kNameTries = 100;

const char* const kIntervalCaption = "Image toutes les ";
const char* const kNoFrame =
    "Aucune image n'a pu être saisie : la source vidéo ne fournit pas d'image. "
    "Aucun fichier n'a été écrit.";
const char* const kNotWritten = "L'image %1 n'a pas pu être enregistrée : %2";

// Creates `path` and fills it through `write`; false when something already exists there (left
// untouched). Raises vidorra::Exception when the file cannot be written; a partial file is
// removed.
bool WriteNewFile(const QString& path, const std::function<bool(QIODevice&)>& write) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) return false;
    throw vidorra::Exception(file.errorString());
  }
  const bool written = write(file) && file.flush();
  file.close();
  if (!written || file.error() != QFileDevice::NoError) {
    const QString reason = file.errorString();
    file.remove();
    throw vidorra::Exception(reason);
  }
  return true;
}

}  // namespace

void TCaptureForm::ConnectImageHandlers() {
  Connect(grabBtn, &QPushButton::clicked, this, &TCaptureForm::grabBtnClick);
  Connect(RxSwitch1, &vidorra::OnOffSwitch::Switched, this, &TCaptureForm::RxSwitch1Click);
  Connect(Timer1, &vidorra::WindowTimer::Timer, this, &TCaptureForm::Timer1Timer);
  Connect(TrackBar1, &QSlider::valueChanged, this, &TCaptureForm::TrackBar1Change);
}

bool TCaptureForm::GrabFrame() {
  // A new bitmap each time, so that a failed copy leaves the last picture whole.
  std::unique_ptr<TBitmap> frame = dmCam != nullptr ? dmCam->GrabFrame() : nullptr;
  if (!frame) return false;
  GrabBitmap = std::move(frame);
  // At the thumbnail's own size: the label shows it as it is, and no full-size copy is made.
  Image->setPixmap(QPixmap::fromImage(GrabBitmap->ToThumbnail(Image->size())));
  return true;
}

void TCaptureForm::SaveGrabbedImage() {
  try {
    std::function<bool(QIODevice&)> write;
    if (rgExtension->ItemIndex() == kBmpItem) {
      write = [this](QIODevice& file) { return GrabBitmap->WriteBmp(file); };
    } else {
      GrabJpeg->Assign(*GrabBitmap);
      GrabJpeg->SetCompressionQuality(TrackBar1->value());
      write = [data = GrabJpeg->Compress()](QIODevice& file) {
        return file.write(data) == data.size();
      };
    }
    int tries = 0;
    while (!WriteNewFile(ImageFileName, write)) {
      if (++tries == kNameTries) {
        throw vidorra::Exception(QStringLiteral("un autre fichier occupe déjà ce nom."));
      }
      ImageFileName = BuildImageFileName();
    }
  } catch (const vidorra::Exception& error) {
    throw vidorra::Exception(QString::fromUtf8(kNotWritten).arg(ImageFileName, error.Message()));
  }
  ImageFileName = BuildImageFileName();
}

void TCaptureForm::GrabAndSave() {
  if (!GrabFrame()) {
    ShowGrabError(QString::fromUtf8(kNoFrame));
    return;
  }
  try {
    SaveGrabbedImage();
    grabError_.clear();
  } catch (const vidorra::Exception& error) {
    ShowGrabError(error.Message());
  }
}

void TCaptureForm::ShowGrabError(const QString& message) {
  if (message == grabError_ && ErreurFrame1->isVisible()) return;
  grabError_ = message;
  ErreurFrame1->ShowErrorPanel(message + QStringLiteral("\r\n"), false);
}

void TCaptureForm::grabBtnClick() { GrabAndSave(); }

void TCaptureForm::RxSwitch1Click() {
  chronoLab->hide();
  if (!RxSwitch1->IsOn()) {
    Timer1->SetEnabled(false);
    LabelIntervallo->hide();
    RxSpinEdit7->setEnabled(true);
    ComboBox1->setEnabled(true);
    return;
  }
  // The list can be typed into: a text that is no entry falls back on the entry last chosen,
  // whose text comes back, so that the caption below names the unit used.
  int unit = ComboBox1->findText(ComboBox1->currentText());
  if (unit < 0) unit = ComboBox1->currentIndex() >= 0 ? ComboBox1->currentIndex() : 0;
  ComboBox1->setCurrentIndex(unit);
  ComboBox1->setEditText(ComboBox1->itemText(unit));

  IntervalMs = RxSpinEdit7->Value() * kUnitMs.at(static_cast<std::size_t>(unit));
  if (IntervalMs < 1) return;  // the switch stays on, nothing runs
  IntervalCountdown = static_cast<std::int32_t>(IntervalMs / kMsPerSecond);
  const auto remainder = static_cast<int>(IntervalMs % kMsPerSecond);
  if (remainder == 0) {
    chronoLab->setText(QString::number(IntervalCountdown));
    chronoLab->show();
    --IntervalCountdown;
    Timer1->SetInterval(kSecondTickMs);
  } else {
    Timer1->SetInterval(remainder);
  }
  Timer1->SetEnabled(true);
  LabelIntervallo->setText(QString::fromUtf8(kIntervalCaption) +
                           QString::number(RxSpinEdit7->Value()) + QLatin1Char(' ') +
                           ComboBox1->currentText());
  LabelIntervallo->show();
  RxSpinEdit7->setEnabled(false);
  ComboBox1->setEnabled(false);
}

void TCaptureForm::Timer1Timer() {
  chronoLab->setText(QString::number(IntervalCountdown));
  if (IntervalCountdown > 0) {
    --IntervalCountdown;
    Timer1->SetInterval(kSecondTickMs);
    return;
  }
  GrabAndSave();
  IntervalCountdown = static_cast<std::int32_t>(IntervalMs / kMsPerSecond);
  const auto remainder = static_cast<int>(IntervalMs % kMsPerSecond);
  if (remainder > 0) {
    Timer1->SetInterval(remainder);
  } else {
    Timer1->SetInterval(kSecondTickMs);
    --IntervalCountdown;
  }
}

void TCaptureForm::TrackBar1Change() { labQuality->setText(QString::number(TrackBar1->value())); }
