// ShellExecuteA over the desktop's opener (xdg-open by default, see ShellExecute.h).
#include "ShellExecute.h"

#include <shellapi.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

namespace vidorra::win {

namespace {

constexpr const char* kXdgOpen = "xdg-open";
// What ShellExecuteA answers on success: any value above 32 says so.
constexpr int kSuccess = 42;

struct OpenerState {
  std::mutex mutex;
  DesktopOpener opener = OpenWithXdgOpen;
};

OpenerState& State() {
  static OpenerState state;
  return state;
}

HINSTANCE Result(int code) { return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(code)); }

bool IsEmpty(LPCSTR text) { return text == nullptr || *text == '\0'; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "scheme:" with a scheme of two characters or more (one letter and a colon is a drive, not an
// address): a letter, then letters, digits, "+", "-" or ".".
bool HasScheme(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2 || !IsAsciiLetter(text[0])) return false;
  for (size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
      return false;
    }
  }
  return true;
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

bool CallOpener(const std::string& address) {
  DesktopOpener opener;
  {
    std::lock_guard lock(State().mutex);
    opener = State().opener;
  }
  return opener(address);
}

HINSTANCE Execute(LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpDirectory) {
  const std::string_view verb = lpOperation == nullptr ? std::string_view() : lpOperation;
  const bool explore = EqualsIgnoringCase(verb, "explore");
  if (!verb.empty() && !explore && !EqualsIgnoringCase(verb, "open")) {
    return Result(SE_ERR_NOASSOC);
  }
  if (IsEmpty(lpFile)) return Result(SE_ERR_FNF);
  const std::string_view file = lpFile;

  std::string address;
  if (HasScheme(file)) {
    if (explore) return Result(SE_ERR_NOASSOC);
    if (HasControlCharacter(file)) return Result(SE_ERR_FNF);
    address = file;
  } else {
    QDir base = QDir::current();
    if (!IsEmpty(lpDirectory)) {
      base = QDir(QString::fromUtf8(lpDirectory));
      if (!base.exists()) return Result(SE_ERR_PNF);
    }
    const QFileInfo info(base, QString::fromUtf8(file.data(), static_cast<qsizetype>(file.size())));
    if (!info.exists()) {
      return Result(QFileInfo(info.absolutePath()).isDir() ? SE_ERR_FNF : SE_ERR_PNF);
    }
    if (explore && !info.isDir()) return Result(SE_ERR_NOASSOC);
    address = QDir::cleanPath(info.absoluteFilePath()).toStdString();
  }
  return Result(CallOpener(address) ? kSuccess : SE_ERR_NOASSOC);
}

}  // namespace

bool OpenWithXdgOpen(const std::string& address) {
  const QString program = QStandardPaths::findExecutable(QString::fromLatin1(kXdgOpen));
  if (program.isEmpty()) return false;
  return QProcess::startDetached(program, {QString::fromUtf8(address)});
}

DesktopOpener SetDesktopOpener(DesktopOpener opener) {
  if (!opener) opener = OpenWithXdgOpen;
  std::lock_guard lock(State().mutex);
  return std::exchange(State().opener, std::move(opener));
}

}  // namespace vidorra::win

HINSTANCE ShellExecuteA(HWND /*hwnd*/, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR /*lpParameters*/,
                        LPCSTR lpDirectory, INT /*nShowCmd*/) {
  return vidorra::win::Execute(lpOperation, lpFile, lpDirectory);
}
