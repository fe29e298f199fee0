// The sound level meter beside the picture: for each sound the window records (the DV sound,
// the separate audio source), one thin vertical bar per channel, RMS filled and the peak as a
// line, both in dBFS, falling back smoothly; a red mark at the top for a while after a sample at
// full scale. A screen reader reads the figures as the meter's description ("Son DV : -12,0 dB,
// efficace -15,0 dB · Micro : pas de son"). During a recording, a sound that stays at digital
// silence (every sample 0) for kSilenceSeconds says "pas de son", in orange.
//
// The levels are read ten times a second from the filters that measure the sound as it passes
// (IAudioLevels): the streaming threads keep a few numbers, nothing more.
//
// Thread: the UI thread.
#pragma once

#include <comptr.h>
#include <vidorra_levels.h>

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QTimer;

namespace vidorra {

class SoundMeter : public QWidget {
 public:
  static constexpr double kFloorDb = -60.0;
  static constexpr double kFallDbPerSecond = 20.0;
  static constexpr double kSilenceSeconds = 3.0;
  static constexpr int kIntervalMs = 100;

  struct Source {
    QString name;  // "Son DV", the audio device's name
    ComPtr<IAudioLevels> levels;
  };

  explicit SoundMeter(QWidget* parent);

  // The sounds shown, in order; none hides the meter and stops its timer.
  void SetSources(std::vector<Source> sources);
  // Whether a recording runs: silence is told only then, counted from its start.
  void SetRecording(bool recording);
  // Reads the levels and shows them (the timer's tick).
  void Poll();
  // The names of the sounds that say "pas de son".
  QStringList Unheard() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Channel {
    double peakDb = kFloorDb;
    double rmsDb = kFloorDb;
    qint64 clippedAtMs = -1;  // when a sample at full scale last passed
  };
  struct Shown {
    Source source;
    std::vector<Channel> channels;
    bool measured = false;  // some sound passed since the sources were set
    bool noSound = false;   // digital silence for kSilenceSeconds of a recording
    double silentSeconds = 0;
  };
  void Take(Shown& shown, double elapsedSeconds);
  QString Describe(const Shown& shown) const;

  std::vector<Shown> shown_;
  QTimer* timer_ = nullptr;
  QElapsedTimer clock_;  // since the meter was made: the fall and the clipping marks
  qint64 lastPollMs_ = 0;
  QElapsedTimer recording_;  // valid while a recording runs
};

}  // namespace vidorra
