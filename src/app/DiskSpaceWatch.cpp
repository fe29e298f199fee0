#include "DiskSpaceWatch.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTimer>
#include <utility>

#include "HandlerGuard.h"

namespace vidorra {

namespace {

std::optional<qint64> ReadFileSystem(const QString& folder) {
  const QStorageInfo storage(folder);
  if (!storage.isValid() || !storage.isReady()) return std::nullopt;
  return storage.bytesAvailable();
}

// The folder itself when it exists, else its nearest existing parent.
QString ExistingFolder(const QString& path) {
  QString folder = QFileInfo(path).absolutePath();
  while (!QFileInfo(folder).isDir()) {
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent == folder) return QString();
    folder = parent;
  }
  return folder;
}

}  // namespace

DiskSpaceWatch::DiskSpaceWatch(QObject* parent)
    : QObject(parent), timer_(new QTimer(this)), probe_(ReadFileSystem) {
  timer_->setInterval(kIntervalMs);
  Connect(timer_, &QTimer::timeout, this, &DiskSpaceWatch::Check);
}

std::optional<qint64> DiskSpaceWatch::FreeSpace(const QString& path) const {
  const QString folder = ExistingFolder(path);
  if (folder.isEmpty()) return std::nullopt;
  return probe_(folder);
}

void DiskSpaceWatch::Watch(std::function<QString()> file, std::function<void(qint64)> low) {
  file_ = std::move(file);
  low_ = std::move(low);
  timer_->start();
}

void DiskSpaceWatch::Stop() {
  timer_->stop();
  low_ = nullptr;
  file_ = nullptr;
}

bool DiskSpaceWatch::Watching() const { return timer_->isActive(); }

void DiskSpaceWatch::SetProbe(Probe probe) {
  probe_ = probe ? std::move(probe) : Probe(ReadFileSystem);
}

void DiskSpaceWatch::Check() {
  if (!file_) return;
  const std::optional<qint64> free = FreeSpace(file_());
  if (!free || *free >= kRunMinimum) return;
  // Told once: the handler usually ends the recording, which stops the watch anyway.
  const std::function<void(qint64)> low = std::exchange(low_, nullptr);
  Stop();
  if (low) low(*free);
}

}  // namespace vidorra
