// RegistryKey over the platform's registry.
#include "RegistryKey.h"

#include <algorithm>
#include <string>

RegistryKey::~RegistryKey() { Close(); }

void RegistryKey::Close() {
  if (key_ != nullptr) RegCloseKey(key_);
  key_ = nullptr;
}

bool RegistryKey::OpenReadOnly(HKEY root, const char* path) {
  Close();
  return RegOpenKeyExA(root, path, 0, KEY_READ, &key_) == ERROR_SUCCESS;
}

bool RegistryKey::OpenOrCreate(HKEY root, const char* path) {
  Close();
  DWORD disposition = 0;
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                         &key_, &disposition) == ERROR_SUCCESS;
}

QString RegistryKey::ReadString(const char* name) const {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (key_ == nullptr ||
      RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
    return {};
  }
  std::string buffer(size, '\0');
  if (RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer.data()),
                       &size) != ERROR_SUCCESS) {
    return {};
  }
  buffer.resize(std::min<size_t>(size, buffer.size()));
  while (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
  return QString::fromStdString(buffer);
}
