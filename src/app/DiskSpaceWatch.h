// The free space of the file system a recording writes to. Before a recording starts, the
// window asks whether there is room (kStartMinimum); while it runs, the watch reads the free
// space every kIntervalMs and calls its handler once when it falls under kRunMinimum, early
// enough for the recording to be stopped with its file closed whole (index included).
//
// Thread: the UI thread (a QTimer).
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QTimer;

namespace vidorra {

class DiskSpaceWatch : public QObject {
  Q_OBJECT

 public:
  static constexpr qint64 kMiB = qint64{1024} * 1024;
  static constexpr qint64 kStartMinimum = 200 * kMiB;
  static constexpr qint64 kRunMinimum = 50 * kMiB;
  static constexpr int kIntervalMs = 1000;

  // The free bytes (for an unprivileged user) of the file system holding an existing folder;
  // nullopt when they cannot be read.
  using Probe = std::function<std::optional<qint64>(const QString& folder)>;

  explicit DiskSpaceWatch(QObject* parent);

  // The free bytes where a file at `path` would be written: those of its nearest existing
  // folder (the recording creates the missing ones). Nullopt when unknown.
  std::optional<qint64> FreeSpace(const QString& path) const;
  // Watches the file system of the file `file` names at each reading (a cut may move the
  // recording to another folder) until Stop; `low` gets the free bytes the first time they are
  // under kRunMinimum, and the watch stops then.
  void Watch(std::function<QString()> file, std::function<void(qint64 freeBytes)> low);
  void Stop();
  bool Watching() const;
  // Replaces the reading of the file system (tests); a null probe restores the real one.
  void SetProbe(Probe probe);

 private:
  void Check();

  QTimer* timer_;
  Probe probe_;
  std::function<QString()> file_;
  std::function<void(qint64)> low_;
};

}  // namespace vidorra
