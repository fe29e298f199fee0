#include "RecordingJournal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cerrno>

namespace vidorra {

namespace {

constexpr const char* kStateFolder = "vidorra";
const QString kPrefix = QStringLiteral("recording-");
const QString kSuffix = QStringLiteral(".journal");

// A process of that number exists (it may be another program that took the number over: its
// journal then waits for a later start).
bool ProcessExists(qint64 pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The files a journal notes, each once, added to `files`.
void AddNotedFiles(int fd, QStringList& files) {
  QByteArray content;
  char buffer[4096];
  for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, content.size())) > 0;) {
    content.append(buffer, n);
  }
  for (const QByteArray& line : content.split('\n')) {
    const QString file = QString::fromUtf8(line);
    if (!file.isEmpty() && !files.contains(file)) files.append(file);
  }
}

// The journals of the state folder with the number of the process that wrote each.
QList<QPair<QString, qint64>> Journals() {
  static const QRegularExpression kName(QStringLiteral("^recording-(\\d+)\\.journal$"));
  QList<QPair<QString, qint64>> journals;
  const QDir folder(RecordingJournal::Folder());
  for (const QString& name :
       folder.entryList({kPrefix + QLatin1Char('*') + kSuffix}, QDir::Files)) {
    const QRegularExpressionMatch match = kName.match(name);
    if (match.hasMatch()) journals.append({folder.filePath(name), match.captured(1).toLongLong()});
  }
  return journals;
}

}  // namespace

QString RecordingJournal::Folder() {
  QString base = qEnvironmentVariable("XDG_STATE_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
    base = QDir::homePath() + QStringLiteral("/.local/state");
  }
  return base + QLatin1Char('/') + QLatin1String(kStateFolder);
}

RecordingJournal::~RecordingJournal() {
  if (fd_ < 0) return;
  // A journal still noting files (a recording not finished when the program ends) stays for the
  // next start to check.
  if (!noted_) QFile::remove(path_);
  ::close(fd_);
}

bool RecordingJournal::Open() {
  if (fd_ >= 0) return true;
  if (!QDir().mkpath(Folder())) return false;
  path_ = Folder() + QLatin1Char('/') + kPrefix + QString::number(::getpid()) + kSuffix;
  const QByteArray name = QFile::encodeName(path_);
  fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  // Emptied only once locked: a journal this process already holds is not touched.
  if (fd_ >= 0 && (::flock(fd_, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd_, 0) != 0)) {
    ::close(fd_);
    fd_ = -1;
  }
  return fd_ >= 0;
}

bool RecordingJournal::Begin(const QString& file) {
  if (!Open()) return false;
  const QByteArray line = file.toUtf8() + '\n';
  if (::lseek(fd_, 0, SEEK_END) < 0) return false;
  qsizetype done = 0;
  while (done < line.size()) {
    const ssize_t n =
        ::write(fd_, line.constData() + done, static_cast<size_t>(line.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += n;
  }
  noted_ = true;
  // Durable before the recording's first byte: the journal and its entry in the folder.
  bool durable = ::fsync(fd_) == 0;
  const int folder =
      ::open(QFile::encodeName(Folder()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    durable = ::fsync(folder) == 0 && durable;
    ::close(folder);
  }
  return durable;
}

void RecordingJournal::Finished() {
  if (fd_ < 0 || !noted_) return;
  if (::ftruncate(fd_, 0) == 0) {
    ::fdatasync(fd_);
    noted_ = false;
  }
}

RecordingJournal::LeftBehind::~LeftBehind() {
  for (const auto& [path, fd] : journals_) {
    QFile::remove(path);
    ::close(fd);
  }
}

std::unique_ptr<RecordingJournal::LeftBehind> RecordingJournal::FindLeftBehind() {
  auto found = std::make_unique<LeftBehind>();
  for (const auto& [path, pid] : Journals()) {
    if (pid == ::getpid() || ProcessExists(pid)) continue;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      continue;
    }
    AddNotedFiles(fd, found->files);
    found->journals_.append({path, fd});
  }
  return found;
}

QStringList RecordingJournal::BeingRecorded() {
  QStringList files;
  for (const auto& [path, pid] : Journals()) {
    if (pid != ::getpid() && !ProcessExists(pid)) continue;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    AddNotedFiles(fd, files);
    ::close(fd);
  }
  return files;
}

}  // namespace vidorra
