// RegistryKey: one open key of the registry, closed when the object goes. The window reads its
// shell folders through it and the data module the DirectX version.
#pragma once

#include <winreg.h>

#include <QString>

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey();

  // Opens `path` under `root` for reading; false when the key does not exist.
  bool OpenReadOnly(HKEY root, const char* path);
  // Opens `path` under `root` with full access, creating it when it is missing; false when it
  // can be neither opened nor created.
  bool OpenOrCreate(HKEY root, const char* path);
  // The string value `name` (UTF-8 here), or an empty text when it is missing or not a string.
  QString ReadString(const char* name) const;

 private:
  void Close();
  HKEY key_ = nullptr;
};
