// File names of recordings and images, and the handlers that re-form them.
//
// A name is folder, "/" (unless the folder already ends with one), root, "_", an optional
// stamp of the start-up time (DDMMYY_hhmmss_), the number and the extension. On this platform
// the separator is "/", so an empty folder gives a name at the root of the file system.
//
// A builder never returns the name of a file that exists on disk: it moves on to the next
// number, each skipped number used up as well, so a recording or image never replaces an
// earlier file, of this run or of another. Image numbers have at least four digits.
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "FileNames.h"
#include "FolderPicker.h"
#include "RadioGroup.h"
#include "mainFlux.h"

using vidorra::FirstFreeName;

namespace {

constexpr QChar kPathSeparator = QLatin1Char('/');
constexpr QChar kPartSeparator = QLatin1Char('_');
constexpr const char* kVideoExtension = ".avi";
constexpr const char* kBmpExtension = ".bmp";
constexpr const char* kJpegExtension = ".jpg";
constexpr int kBmpItem = 0;
constexpr int kJpegItem = 1;
constexpr int kImageNumberDigits = 4;
constexpr int kYearDigits = 100;

QString WithSeparator(const QString& folder) {
  return folder.endsWith(kPathSeparator) ? folder : folder + kPathSeparator;
}

// "DDMMYY_hhmmss_" of the start-up time.
QString DateStamp(const QDateTime& time) {
  const QDate date = time.date();
  const QTime clock = time.time();
  auto two = [](int n) { return TCaptureForm::TwoDigits(static_cast<std::uint16_t>(n)); };
  return two(date.day()) + two(date.month()) + two(date.year() % kYearDigits) + kPartSeparator +
         two(clock.hour()) + two(clock.minute()) + two(clock.second()) + kPartSeparator;
}

// What follows the last separator.
QString FilePart(const QString& name) { return name.mid(name.lastIndexOf(kPathSeparator) + 1); }

// At least four digits: 7 gives "0007", 10000 gives "10000". A negative number (only ever
// seen transiently, before the first name is formed) keeps its sign inside the four places.
QString ImageNumber(std::int32_t n) {
  const QString digits = QString::number(n);
  if (n >= 0) return digits.rightJustified(kImageNumberDigits, QLatin1Char('0'));
  return (QStringLiteral("0000") + digits).right(kImageNumberDigits);
}

}  // namespace

QString TCaptureForm::TwoDigits(std::uint16_t n) {
  return (QStringLiteral("00") + QString::number(n)).right(2);
}

QString TCaptureForm::VideoNameStem() const {
  QString stem = WithSeparator(VideoDirEdit->Text()) + VideoRacineEdit->text() + kPartSeparator;
  if (VideoDate->isChecked()) stem += DateStamp(StartupTime);
  return stem;
}

QString TCaptureForm::BuildVideoFileName() {
  QString name;
  if (FileNamer && (CaptureState == stRecording || CaptureState == stRecordingTimed)) {
    // The recording's namer numbers the files it begins itself: one series of numbers.
    name = FileNamer->NextUsualName(VideoNameStem());
    VideoCounter = FileNamer->Counter();
  } else {
    name = FirstFreeName(VideoNameStem(), VideoCounter, QString::fromLatin1(kVideoExtension),
                         [](std::int32_t n) { return QString::number(n); });
  }
  LabelVideo->setText(FilePart(name));
  return name;
}

QString TCaptureForm::BuildImageFileName() {
  QString stem = WithSeparator(ImageDirEdit->Text()) + ImageRacineEdit->text() + kPartSeparator;
  if (ImageDate->isChecked()) stem += DateStamp(StartupTime);
  const char* extension = rgExtension->ItemIndex() == kBmpItem ? kBmpExtension : kJpegExtension;
  const QString name =
      FirstFreeName(stem, ImageCounter, QString::fromLatin1(extension), ImageNumber);
  LabelImage->setText(FilePart(name));
  destlab->setText(name);
  return name;
}

// The refresh handlers give back the number the shown name had: the builder's increment
// cancels the decrement.
void TCaptureForm::VideoRacineEditExit() {
  --VideoCounter;
  VideoFileName = BuildVideoFileName();
}

void TCaptureForm::VideoDateClick() { VideoRacineEditExit(); }

void TCaptureForm::VideoDirEditChange() { VideoRacineEditExit(); }

void TCaptureForm::ImageDirEditChange() {
  --ImageCounter;
  ImageFileName = BuildImageFileName();
}

void TCaptureForm::ImageRacineEditExit() { ImageDirEditChange(); }

void TCaptureForm::ImageDateClick() { ImageDirEditChange(); }

void TCaptureForm::rgExtensionClick() {
  gbQuality->setVisible(rgExtension->ItemIndex() == kJpegItem);
  ImageDirEditChange();
}
