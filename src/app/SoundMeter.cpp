// SoundMeter; see SoundMeter.h.
#include "SoundMeter.h"

#include <QLocale>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace vidorra {

namespace {

constexpr double kFullScale = 32768.0;
constexpr qint64 kClipMarkMs = 2000;
constexpr int kClipMarkPx = 3;
const QColor kBackground(Qt::black);
const QColor kRmsColour(0, 200, 0);
const QColor kPeakColour(255, 255, 0);
const QColor kClipColour(255, 0, 0);
const QColor kNoSoundColour(255, 140, 0);

double Decibels(double magnitude) {
  if (magnitude <= 0) return SoundMeter::kFloorDb;
  return std::max(SoundMeter::kFloorDb, 20.0 * std::log10(magnitude / kFullScale));
}

QString Db(double db) {
  return QStringLiteral("%1 dB").arg(
      QLocale(QLocale::French, QLocale::France).toString(db, 'f', 1));
}

}  // namespace

SoundMeter::SoundMeter(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
  setObjectName(QStringLiteral("SoundMeter"));
  setAccessibleName(QStringLiteral("Niveau du son"));
  setVisible(false);
  timer_->setInterval(kIntervalMs);
  connect(timer_, &QTimer::timeout, this, &SoundMeter::Poll);
  clock_.start();
}

void SoundMeter::SetSources(std::vector<Source> sources) {
  shown_.clear();
  for (Source& source : sources) {
    if (source.levels) shown_.push_back({std::move(source), {}, false, false, 0});
  }
  setVisible(!shown_.empty());
  if (shown_.empty()) {
    timer_->stop();
    setAccessibleDescription(QString());
    return;
  }
  lastPollMs_ = clock_.elapsed();
  Poll();
  timer_->start();
}

void SoundMeter::SetRecording(bool recording) {
  if (recording && !recording_.isValid()) recording_.start();
  if (!recording) recording_.invalidate();
}

void SoundMeter::Take(Shown& shown, double elapsedSeconds) {
  SOUND_LEVELS levels{};
  const bool fresh = shown.source.levels->GetLevels(&levels) == S_OK;
  const auto channels =
      static_cast<size_t>(std::clamp<LONG>(levels.channels, 0, SOUND_LEVELS_MAX_CHANNELS));
  shown.channels.resize(channels);
  const double fall = kFallDbPerSecond * elapsedSeconds;
  for (size_t c = 0; c < channels; ++c) {
    Channel& channel = shown.channels[c];
    double peak = kFloorDb;
    double rms = kFloorDb;
    if (fresh) {
      peak = Decibels(levels.peak[c]);
      rms = Decibels(std::sqrt(static_cast<double>(levels.sumOfSquares[c]) /
                               static_cast<double>(levels.samples)));
    }
    channel.peakDb = std::max(peak, channel.peakDb - fall);
    channel.rmsDb = std::max(rms, channel.rmsDb - fall);
  }
  if (fresh && levels.clipped > 0) {
    for (Channel& channel : shown.channels) channel.clippedAtMs = clock_.elapsed();
  }
  shown.measured = shown.measured || fresh;
  shown.silentSeconds =
      levels.sampleRate > 0 ? static_cast<double>(levels.silentSamples) / levels.sampleRate : 0;
  const double recorded = recording_.isValid() ? recording_.elapsed() / 1000.0 : 0;
  shown.noSound =
      recording_.isValid() && std::min(shown.silentSeconds, recorded) >= kSilenceSeconds;
}

QString SoundMeter::Describe(const Shown& shown) const {
  const QString name = shown.source.name + QStringLiteral(" : ");
  if (shown.noSound) return name + QStringLiteral("pas de son");
  if (!shown.measured) return name + QStringLiteral("pas mesuré");
  if (shown.silentSeconds * 1000 >= kIntervalMs) return name + QStringLiteral("silence");
  double peak = kFloorDb;
  double rms = kFloorDb;
  bool clipped = false;
  for (const Channel& channel : shown.channels) {
    peak = std::max(peak, channel.peakDb);
    rms = std::max(rms, channel.rmsDb);
    clipped = clipped ||
              (channel.clippedAtMs >= 0 && clock_.elapsed() - channel.clippedAtMs < kClipMarkMs);
  }
  QString text = name + Db(peak) + QStringLiteral(", efficace ") + Db(rms);
  if (clipped) text += QStringLiteral(", saturé");
  return text;
}

QStringList SoundMeter::Unheard() const {
  QStringList names;
  for (const Shown& shown : shown_) {
    if (shown.noSound) names << shown.source.name;
  }
  return names;
}

void SoundMeter::Poll() {
  const qint64 now = clock_.elapsed();
  const double elapsed = static_cast<double>(now - lastPollMs_) / 1000.0;
  lastPollMs_ = now;
  QStringList parts;
  for (Shown& shown : shown_) {
    Take(shown, elapsed);
    parts << Describe(shown);
  }
  setAccessibleDescription(parts.join(QStringLiteral(" · ")));
  update();
}

void SoundMeter::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  size_t bars = 0;
  for (const Shown& shown : shown_) bars += std::max<size_t>(shown.channels.size(), 1);
  if (bars == 0) return;
  // One bar a channel, a pixel between the sounds' groups.
  const int gaps = static_cast<int>(shown_.size()) - 1;
  const int barWidth = std::max(1, (width() - gaps) / static_cast<int>(bars));
  const auto heightOf = [&](double db) {
    return static_cast<int>(std::lround((db - kFloorDb) / -kFloorDb * height()));
  };
  int x = 0;
  for (const Shown& shown : shown_) {
    if (shown.noSound || shown.channels.empty()) {
      const int w = barWidth * static_cast<int>(std::max<size_t>(shown.channels.size(), 1));
      if (shown.noSound) painter.fillRect(x, 0, w, height(), kNoSoundColour);
      x += w + 1;
      continue;
    }
    for (const Channel& channel : shown.channels) {
      const int rms = heightOf(channel.rmsDb);
      painter.fillRect(x, height() - rms, barWidth, rms, kRmsColour);
      const int peak = heightOf(channel.peakDb);
      painter.fillRect(x, std::clamp(height() - peak, 0, height() - 1), barWidth, 1, kPeakColour);
      if (channel.clippedAtMs >= 0 && clock_.elapsed() - channel.clippedAtMs < kClipMarkMs) {
        painter.fillRect(x, 0, barWidth, kClipMarkPx, kClipColour);
      }
      x += barWidth;
    }
    ++x;
  }
}

}  // namespace vidorra
