// TCaptureForm's status line while a recording runs, across the top of the picture's border:
// how long it has run, the frames the capture pin delivered and those it dropped (red from the
// first drop until the recording ends), the file's size, the rate at which it grows and how long
// the free space of its folder lasts at that rate. Updated once a second, from counters the
// streaming threads keep anyway: nothing is added to them. Beside the picture, the sound meter
// of the sounds recorded (or to be recorded, during the preview).
#include <vidorra_filters.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QTimer>
#include <utility>

#include "DiskSpaceWatch.h"
#include "SoundMeter.h"
#include "erreurUnit.h"
#include "graph.h"
#include "mainFlux.h"

namespace {

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kSecondsPerHour = 3600;
constexpr qint64 kSecondsPerMinute = 60;
constexpr REFERENCE_TIME kUnitsPerMs = 10'000;
const char* const kDropColour = "#ff5050";
const char* const kNoSoundColour = "#ff8c00";

// "reste 3 h 12 min" (or "reste 12 min"), how long `freeBytes` last at `bytesPerSecond`.
QString TimeLeft(qint64 freeBytes, double bytesPerSecond) {
  const auto seconds = static_cast<qint64>(static_cast<double>(freeBytes) / bytesPerSecond);
  const qint64 hours = seconds / kSecondsPerHour;
  const qint64 minutes = seconds % kSecondsPerHour / kSecondsPerMinute;
  if (hours == 0) return QStringLiteral("reste %1 min").arg(minutes);
  return QStringLiteral("reste %1 h %2 min").arg(hours).arg(minutes);
}

// The first picture stream and the first sound stream of the file the multiplexer writes (or
// finished last), as far as it wrote them.
struct FileStreams {
  std::optional<AVI_STREAM_TIMES> picture;
  std::optional<AVI_STREAM_TIMES> sound;
};

FileStreams StreamsOf(IBaseFilter* mux) {
  FileStreams found;
  ComPtr<IAviStreamTimes> streams;
  if (mux == nullptr ||
      FAILED(mux->QueryInterface(IID_IAviStreamTimes, streams.ReleaseAndGetVoidAddressOf()))) {
    return found;
  }
  AVI_STREAM_TIMES times{};
  for (LONG stream = 0; streams->GetStreamTimes(stream, &times) == S_OK; ++stream) {
    std::optional<AVI_STREAM_TIMES>& slot = times.sound ? found.sound : found.picture;
    if (!slot) slot = times;
  }
  return found;
}

// How far the sound runs ahead of the picture in the file (negative: behind), in milliseconds,
// from the times the two streams reach as written. Nothing while the file lacks either.
std::optional<qint64> SoundLeadMs(const FileStreams& file) {
  if (!file.picture || !file.sound || file.picture->duration == 0 || file.sound->duration == 0) {
    return std::nullopt;
  }
  return (file.sound->duration - file.picture->duration) / kUnitsPerMs;
}

QString Lead(qint64 ms) {
  return QStringLiteral("%1%2 ms").arg(ms >= 0 ? QStringLiteral("+") : QString()).arg(ms);
}

// "1:02:03".
QString Clock(qint64 seconds) {
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / kSecondsPerHour)
      .arg(seconds % kSecondsPerHour / kSecondsPerMinute, 2, 10, QLatin1Char('0'))
      .arg(seconds % kSecondsPerMinute, 2, 10, QLatin1Char('0'));
}

IBaseFilter* Mux() { return dmCam != nullptr ? dmCam->AviMux.Get() : nullptr; }

}  // namespace

void TCaptureForm::StatsTimerTimer() {
  const QLocale french(QLocale::French, QLocale::France);
  long delivered = 0;
  long dropped = 0;
  if (dmCam != nullptr && dmCam->DroppedFrames) {
    dmCam->DroppedFrames->GetNumNotDropped(&delivered);
    dmCam->DroppedFrames->GetNumDropped(&dropped);
  }
  // The capture pin counts from its graph's last run: a recording that restarted its graph goes
  // on from what it had counted before.
  delivered += DeliveredBefore;
  dropped += DroppedBefore;
  DeliveredShown = delivered;
  DropsSeen = DropsSeen || dropped > 0;
  const qint64 seconds = RecordingClock.elapsed() / 1000;
  QStringList parts;
  parts << Clock(seconds);
  if (dropped > DropsNoted) {
    DropTimes << QStringLiteral("%1 : %2").arg(parts[0]).arg(dropped - DropsNoted);
    DropsNoted = dropped;
  }
  parts << QStringLiteral("%1 images").arg(french.toString(static_cast<qlonglong>(delivered)));
  const QString drops = QStringLiteral("%1 perdue%2")
                            .arg(french.toString(static_cast<qlonglong>(dropped)))
                            .arg(dropped > 1 ? QStringLiteral("s") : QString());
  const QString file = VideoFileName;
  const qint64 size = QFileInfo(file).size();
  parts << drops;
  if (const std::optional<qint64> lead = SoundLeadMs(StreamsOf(Mux()))) {
    parts << QStringLiteral("son/image ") + Lead(*lead);
  }
  const QString sizePart = QStringLiteral("%1 Mo").arg(french.toString(size / kMiB));
  parts << sizePart;
  const double elapsed = static_cast<double>(RecordingClock.elapsed()) / 1000.0;
  const double rate = elapsed > 0 ? static_cast<double>(size) / elapsed : 0;
  const QString ratePart = QStringLiteral("%1 Mo/s").arg(french.toString(rate / kMiB, 'f', 1));
  if (rate > 0) {
    parts << ratePart;
    if (const std::optional<qint64> free = DiskSpace->FreeSpace(file)) parts << TimeLeft(*free, rate);
  }
  const QString separator = QStringLiteral(" · ");
  QStringList shown = parts;
  const auto coloured = [](const char* colour, const QString& text) {
    return QStringLiteral("<span style=\"color:%1\">%2</span>")
        .arg(QString::fromLatin1(colour), text.toHtmlEscaped());
  };
  if (DropsSeen) shown[2] = coloured(kDropColour, drops);
  // First, where a long line cannot cut it off.
  for (const QString& name : SoundMeter1->Unheard()) {
    parts.prepend(QStringLiteral("%1 : pas de son").arg(name));
    shown.prepend(coloured(kNoSoundColour, parts.first()));
  }
  const QString line = parts.join(separator);
  // A line wider than the strip shows neither the rate nor then the size (its description keeps
  // them), rather than losing its end.
  QStringList visible = parts;
  const QFontMetrics metrics(labStatistiques->font());
  for (const QString& part : {ratePart, sizePart}) {
    if (metrics.horizontalAdvance(visible.join(separator)) <= labStatistiques->width()) break;
    const qsizetype at = visible.indexOf(part);
    if (at < 0) continue;
    visible.removeAt(at);
    shown.removeAt(at);
  }
  labStatistiques->setText(shown.join(separator));
  labStatistiques->setAccessibleDescription(line);
}

void TCaptureForm::CarryCaptureCounts() {
  if (!StatsTimer->isActive()) return;
  StatsTimerTimer();
  DeliveredBefore = DeliveredShown;
  DroppedBefore = DropsNoted;
}

void TCaptureForm::UpdateStatusLine(bool recording) {
  if (recording == StatsTimer->isActive()) return;
  labStatistiques->setVisible(recording);
  if (!recording) {
    StatsTimer->stop();
    WriteRecordingReport();
    return;
  }
  RecordingClock.start();
  RecordingStart = QDateTime::currentDateTime();
  DropsSeen = false;
  DeliveredBefore = 0;
  DroppedBefore = 0;
  DropsNoted = 0;
  DropTimes.clear();
  StatsTimerTimer();
  StatsTimer->start();
}

void TCaptureForm::UpdateSoundMeter(bool recording) {
  std::vector<vidorra::SoundMeter::Source> sources;
  if (dmCam != nullptr && CaptureState != stNoSource) {
    if (dmCam->RecordDVAudio) sources.push_back({QStringLiteral("Son DV"), dmCam->DvSoundLevels()});
    if (dmCam->RecordAudioSource) {
      sources.push_back({cboxAudio->currentText(), dmCam->AudioSourceLevels()});
    }
  }
  SoundMeter1->SetRecording(recording);
  SoundMeter1->SetSources(std::move(sources));
}

void TCaptureForm::WriteRecordingReport() {
  const QString file = std::exchange(ReportFile, QString());
  if (file.isEmpty() || !cbRapport->isChecked()) return;
  const QString format = QStringLiteral("dd/MM/yyyy hh:mm:ss");
  const FileStreams streams = StreamsOf(Mux());
  QStringList lines;
  lines << QStringLiteral("Enregistrement : %1").arg(QFileInfo(file).fileName())
        << QStringLiteral("Début : %1").arg(RecordingStart.toString(format))
        << QStringLiteral("Fin : %1").arg(QDateTime::currentDateTime().toString(format))
        << QStringLiteral("Images : %1").arg(streams.picture ? streams.picture->chunks : 0)
        << QStringLiteral("Images perdues : %1").arg(DropsNoted)
        << QStringLiteral("Pertes : %1")
               .arg(DropTimes.isEmpty() ? QStringLiteral("aucune")
                                        : DropTimes.join(QStringLiteral(" ; ")));
  if (const std::optional<qint64> lead = SoundLeadMs(streams)) {
    lines << QStringLiteral("Décalage son : %1").arg(Lead(*lead));
  }
  lines << QStringLiteral("Taille : %1 octets").arg(QFileInfo(file).size());
  // A file of that name that is already there is not the report's to replace.
  QFile report(file + QStringLiteral(".txt"));
  if (!report.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text) ||
      report.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) < 0 ||
      !report.flush()) {
    ErreurFrame1->ShowErrorPanel(QStringLiteral("Le rapport %1 n'a pas pu être écrit : %2")
                                         .arg(report.fileName(), report.errorString()) +
                                     QStringLiteral("\r\n"),
                                 false);
  }
}
