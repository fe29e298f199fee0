// The registry stand-in (winreg.h): a read-only view made of the platform's own values and the
// registry edits of the simulated machine.
//
// Built-in keys and values:
//   HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders
//       "Personal"     the home folder
//       "My Video"     XDG_VIDEOS_DIR of the user's user-dirs.dirs, when set there
//       "My Pictures"  XDG_PICTURES_DIR of the user's user-dirs.dirs, when set there
//   HKLM\Software\Microsoft\DirectX
//       "Version"      the platform's own version text
// A key exists when it holds values or has a subkey that does. Names ignore case; a leading
// backslash of a subkey path is accepted. The "ANSI" code page is UTF-8.
//
// Read-only: RegCreateKeyExA opens an existing key (whatever access it asks for, since nothing
// can be written through this API anyway) and answers ERROR_ACCESS_DENIED for a missing one,
// as a key the caller may not create. Values are snapshot when the key is opened.
//
// Threads: any thread; the table of open keys is guarded by one mutex.
#include <winreg.h>

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTextStream>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "SimulatedMachine.h"

namespace {

using vidorra::win::RegistryEdit;
using vidorra::win::SimulatedMachine;

constexpr const char* kShellFoldersKey =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kDirectXKey = "HKLM\\Software\\Microsoft\\DirectX";
constexpr const char* kPersonalValue = "Personal";
constexpr const char* kMyVideoValue = "My Video";
constexpr const char* kMyPicturesValue = "My Pictures";
constexpr const char* kDirectXVersionValue = "Version";
constexpr const char* kDirectXVersion = "4.09.00.0904";

constexpr const char* kXdgVideosVariable = "XDG_VIDEOS_DIR";
constexpr const char* kXdgPicturesVariable = "XDG_PICTURES_DIR";
constexpr const char* kUserDirsFile = "user-dirs.dirs";
constexpr const char* kHomeReference = "$HOME";

constexpr ULONG_PTR kHkeyClassesRoot = 0x80000000u;
constexpr ULONG_PTR kHkeyCurrentUser = 0x80000001u;
constexpr ULONG_PTR kHkeyLocalMachine = 0x80000002u;

struct RegistryValue {
  std::string name;  // as first written (case kept)
  DWORD type = REG_SZ;
  std::string data;
};

// Values of one key by upper-cased name.
using ValueMap = std::map<std::string, RegistryValue>;
// Keys by upper-cased normalised path ("HKCU\SOFTWARE\...").
using KeyMap = std::map<std::string, ValueMap>;

struct OpenKey {
  std::string path;  // upper-cased normalised path
  ValueMap values;
};

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

void SetValue(KeyMap& keys, const std::string& key, const std::string& name,
              const std::string& data) {
  keys[Upper(key)][Upper(name)] = RegistryValue{name, REG_SZ, data};
}

// Reads one variable of user-dirs.dirs: `NAME="$HOME/Folder"` or `NAME="/absolute"`. A folder
// equal to the home folder means "disabled" in that file's convention, so it counts as unset.
QString ReadUserDir(const QString& configDir, const char* variable, const QString& home) {
  QFile file(QDir(configDir).filePath(QString::fromLatin1(kUserDirsFile)));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  QTextStream in(&file);
  QString result;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0 || line.left(equals).trimmed() != QLatin1String(variable)) continue;
    QString raw = line.mid(equals + 1).trimmed();
    if (raw.size() >= 2 && raw.startsWith(QLatin1Char('"')) && raw.endsWith(QLatin1Char('"'))) {
      raw = raw.mid(1, raw.size() - 2);
    }
    QString value;
    for (qsizetype i = 0; i < raw.size(); ++i) {
      if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size()) ++i;  // shell-style escape
      value += raw[i];
    }
    QString path;
    if (value.startsWith(QLatin1String(kHomeReference))) {
      const QString tail = value.mid(static_cast<qsizetype>(std::strlen(kHomeReference)));
      if (!tail.isEmpty() && !tail.startsWith(QLatin1Char('/'))) continue;
      path = home + tail;
    } else if (value.startsWith(QLatin1Char('/'))) {
      path = value;
    } else {
      continue;
    }
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    result = (path == home) ? QString() : path;  // the last assignment in the file wins
  }
  return result;
}

KeyMap BuildRegistry() {
  KeyMap keys;
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  QString home = QDir::homePath();
  while (home.size() > 1 && home.endsWith(QLatin1Char('/'))) home.chop(1);
  QString configDir = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
  if (configDir.isEmpty()) configDir = home + QStringLiteral("/.config");

  SetValue(keys, kShellFoldersKey, kPersonalValue, home.toStdString());
  const QString videos = ReadUserDir(configDir, kXdgVideosVariable, home);
  if (!videos.isEmpty()) SetValue(keys, kShellFoldersKey, kMyVideoValue, videos.toStdString());
  const QString pictures = ReadUserDir(configDir, kXdgPicturesVariable, home);
  if (!pictures.isEmpty()) {
    SetValue(keys, kShellFoldersKey, kMyPicturesValue, pictures.toStdString());
  }
  SetValue(keys, kDirectXKey, kDirectXVersionValue, kDirectXVersion);

  for (const RegistryEdit& edit : SimulatedMachine::Current().RegistryEdits()) {
    const std::string key = Upper(edit.key);
    switch (edit.kind) {
      case RegistryEdit::Kind::kSetValue:
        SetValue(keys, edit.key, edit.value, edit.data);
        break;
      case RegistryEdit::Kind::kRemoveValue: {
        const auto found = keys.find(key);
        if (found == keys.end()) break;
        found->second.erase(Upper(edit.value));
        if (found->second.empty()) keys.erase(found);
        break;
      }
      case RegistryEdit::Kind::kRemoveKey:
        for (auto it = keys.begin(); it != keys.end();) {
          const bool inside = it->first == key || it->first.rfind(key + "\\", 0) == 0;
          it = inside ? keys.erase(it) : std::next(it);
        }
        break;
    }
  }
  return keys;
}

bool KeyExists(const KeyMap& keys, const std::string& path) {
  if (keys.count(path) != 0) return true;
  const std::string prefix = path + "\\";
  const auto after = keys.lower_bound(prefix);
  return after != keys.end() && after->first.rfind(prefix, 0) == 0;
}

class KeyTable {
 public:
  static KeyTable& Instance() {
    static KeyTable table;
    return table;
  }

  // The upper-cased path of an open or predefined handle; false for an unknown handle.
  bool PathOf(HKEY handle, std::string& path) {
    const auto value = reinterpret_cast<ULONG_PTR>(handle);
    if (value == kHkeyCurrentUser) return path = "HKCU", true;
    if (value == kHkeyLocalMachine) return path = "HKLM", true;
    if (value == kHkeyClassesRoot) return path = "HKCR", true;
    std::lock_guard lock(mutex_);
    const auto found = open_.find(value);
    if (found == open_.end()) return false;
    path = found->second.path;
    return true;
  }

  HKEY Add(OpenKey key) {
    std::lock_guard lock(mutex_);
    const ULONG_PTR handle = nextHandle_++;
    open_.emplace(handle, std::move(key));
    return reinterpret_cast<HKEY>(handle);
  }

  bool Find(HKEY handle, OpenKey& key) {
    std::lock_guard lock(mutex_);
    const auto found = open_.find(reinterpret_cast<ULONG_PTR>(handle));
    if (found == open_.end()) return false;
    key = found->second;
    return true;
  }

  LONG Close(HKEY handle) {
    const auto value = reinterpret_cast<ULONG_PTR>(handle);
    if (value == kHkeyCurrentUser || value == kHkeyLocalMachine || value == kHkeyClassesRoot) {
      return ERROR_SUCCESS;
    }
    std::lock_guard lock(mutex_);
    return open_.erase(value) != 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }

 private:
  // Small numbers, far from the predefined handles at 0x80000000.
  static constexpr ULONG_PTR kFirstHandle = 0x100;
  std::mutex mutex_;
  std::map<ULONG_PTR, OpenKey> open_;
  ULONG_PTR nextHandle_ = kFirstHandle;
};

// Opens `subKey` under `parent`; with `mayCreate`, a missing key is refused as not creatable.
LONG OpenKeyImpl(HKEY parent, LPCSTR subKey, PHKEY result, bool mayCreate, LPDWORD disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::string parentPath;
  if (!KeyTable::Instance().PathOf(parent, parentPath)) return ERROR_INVALID_HANDLE;
  std::string path = parentPath;
  if (subKey != nullptr && *subKey != '\0') {
    std::string normalised;
    // Normalised through the shared helper so both sides agree on key names.
    if (!SimulatedMachine::NormaliseRegistryKey(parentPath + "\\" + subKey, normalised)) {
      return ERROR_FILE_NOT_FOUND;
    }
    path = Upper(normalised);
  }
  const KeyMap keys = BuildRegistry();
  if (!KeyExists(keys, path)) return mayCreate ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  OpenKey key;
  key.path = path;
  if (const auto found = keys.find(path); found != keys.end()) key.values = found->second;
  *result = KeyTable::Instance().Add(std::move(key));
  if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  return OpenKeyImpl(hKey, lpSubKey, phkResult, false, nullptr);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM, void*,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
  return OpenKeyImpl(hKey, lpSubKey, phkResult, true, lpdwDisposition);
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey key;
  const auto handle = reinterpret_cast<ULONG_PTR>(hKey);
  if (handle == kHkeyCurrentUser || handle == kHkeyLocalMachine || handle == kHkeyClassesRoot) {
    // A predefined root holds no values of its own here.
    return ERROR_FILE_NOT_FOUND;
  }
  if (!KeyTable::Instance().Find(hKey, key)) return ERROR_INVALID_HANDLE;
  const auto found = key.values.find(Upper(lpValueName != nullptr ? lpValueName : ""));
  if (found == key.values.end()) return ERROR_FILE_NOT_FOUND;
  const RegistryValue& value = found->second;
  // A string value is stored with its terminating zero, as the size query reports.
  const DWORD size = static_cast<DWORD>(value.data.size() + 1);
  if (lpType != nullptr) *lpType = value.type;
  if (lpcbData == nullptr) return ERROR_SUCCESS;
  if (lpData == nullptr) {
    *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  std::memcpy(lpData, value.data.c_str(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) { return KeyTable::Instance().Close(hKey); }
