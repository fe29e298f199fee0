// The files a recording's AVI Mux begins while it runs; see RecordingFileNamer.h.
#include "RecordingFileNamer.h"

#include <objbase.h>

#include <cstring>
#include <utility>

#include "FileNames.h"
#include "RecordingJournal.h"

namespace vidorra {

namespace {

constexpr const char* kExtension = ".avi";
constexpr std::int32_t kFirstRepeat = 2;

QString Two(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

}  // namespace

RecordingFileNamer::RecordingFileNamer(Rules rules, RecordingJournal* journal)
    : rules_(std::move(rules)), journal_(journal) {}

HRESULT RecordingFileNamer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAviFileNamer) return GetInterface(static_cast<IAviFileNamer*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

QString RecordingFileNamer::DateName(const QString& dateStem, const SYSTEMTIME& at) {
  return dateStem + QStringLiteral("%1-%2-%3_%4-%5-%6")
                        .arg(at.wYear, 4, 10, QLatin1Char('0'))
                        .arg(Two(at.wMonth), Two(at.wDay), Two(at.wHour), Two(at.wMinute),
                             Two(at.wSecond));
}

STDMETHODIMP RecordingFileNamer::NextFileName(const SYSTEMTIME* recordedAt, LPOLESTR* name) {
  if (name == nullptr) return E_POINTER;
  *name = nullptr;
  std::lock_guard lock(mutex_);
  const QString extension = QString::fromLatin1(kExtension);
  QString file = std::exchange(pending_, QString());
  if (!file.isEmpty() && !Taken(file)) {
    // The name the window gave (and shows).
  } else if (rules_.byDate && recordedAt != nullptr) {
    const QString stem = DateName(rules_.dateStem, *recordedAt);
    file = stem + extension;
    std::int32_t repeat = kFirstRepeat;
    if (Taken(file)) {
      file = FirstFreeName(stem + QLatin1Char('_'), repeat, extension,
                           [](std::int32_t n) { return QString::number(n); });
    }
  } else {
    file = UsualNameLocked();
  }
  if (Taken(file)) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);  // every number was tried
  // A repair after a crash finds the file only if it is noted before its first byte; a journal
  // that cannot be written does not stop the recording (a repair by hand stays possible).
  if (journal_ != nullptr) journal_->Begin(file);
  const std::wstring wide = file.toStdWString();
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(wchar_t)));
  if (copy == nullptr) return E_OUTOFMEMORY;
  std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  *name = copy;
  names_ << file;
  return S_OK;
}

QString RecordingFileNamer::UsualNameLocked() {
  return FirstFreeName(rules_.usualStem, rules_.counter, QString::fromLatin1(kExtension),
                       [](std::int32_t n) { return QString::number(n); });
}

QString RecordingFileNamer::NextUsualName(const QString& stem) {
  std::lock_guard lock(mutex_);
  rules_.usualStem = stem;
  return UsualNameLocked();
}

void RecordingFileNamer::NameNextFile(const QString& file) {
  std::lock_guard lock(mutex_);
  pending_ = file;
}

QStringList RecordingFileNamer::Names() const {
  std::lock_guard lock(mutex_);
  return names_;
}

std::int32_t RecordingFileNamer::Counter() const {
  std::lock_guard lock(mutex_);
  return rules_.counter;
}

}  // namespace vidorra
