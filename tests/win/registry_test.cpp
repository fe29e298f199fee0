// The registry stand-in: shell folders from the XDG user dirs, the DirectX version, simulated
// machine edits, size queries and ERROR_MORE_DATA.
#include <gtest/gtest.h>
#include <scoped_env.h>
#include <winreg.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

#include "SimulatedMachine.h"

namespace vidorra::win {
namespace {

constexpr const char* kShellFolders =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Points HOME, XDG_CONFIG_HOME and VIDORRA_SIMULATION at a private folder for one test.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    home_ = dir_.path() + QStringLiteral("/home");
    config_ = dir_.path() + QStringLiteral("/config");
    QDir().mkpath(home_);
    QDir().mkpath(config_);
    env_.Set("HOME", home_.toStdString());
    env_.Set("XDG_CONFIG_HOME", config_.toStdString());
    env_.Set("VIDORRA_SIMULATION", std::nullopt);
    SimulatedMachine::ReloadCurrentForTesting();
  }

  void TearDown() override {
    env_.Restore();
    SimulatedMachine::ReloadCurrentForTesting();
  }

  void WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }

  void WriteUserDirs(const QByteArray& text) {
    WriteFile(config_ + QStringLiteral("/user-dirs.dirs"), text);
  }

  void Simulate(const QByteArray& text) {
    const QString path = dir_.path() + QStringLiteral("/machine");
    WriteFile(path, text);
    env_.Set("VIDORRA_SIMULATION", path.toStdString());
    SimulatedMachine::ReloadCurrentForTesting();
  }

  // The value as a string, or nullopt when missing (checks the size query on the way).
  std::optional<std::string> Read(HKEY root, const char* key, const char* value) {
    HKEY hkey = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &hkey, &disposition) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    DWORD size = 0;
    DWORD type = REG_NONE;
    std::optional<std::string> result;
    if (RegQueryValueExA(hkey, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
      std::string buffer(size, '?');
      EXPECT_EQ(RegQueryValueExA(hkey, value, nullptr, nullptr,
                                 reinterpret_cast<LPBYTE>(buffer.data()), &size),
                ERROR_SUCCESS);
      EXPECT_EQ(buffer.back(), '\0');
      buffer.pop_back();
      result = buffer;
    }
    EXPECT_EQ(RegCloseKey(hkey), ERROR_SUCCESS);
    return result;
  }

  QTemporaryDir dir_;
  QString home_;
  QString config_;
  test::ScopedEnv env_;
};

TEST_F(RegistryTest, PersonalIsHomeXdgFoldersArePresentOnlyWhenSetAndTheDirectXVersion) {
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "Personal"), home_.toStdString());
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "My Video"), std::nullopt);
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "My Pictures"), std::nullopt);

  WriteUserDirs(
      "# written by xdg-user-dirs-update\n"
      "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
      "XDG_VIDEOS_DIR=\"$HOME/Vidéos\"\n"
      "XDG_PICTURES_DIR=\"/srv/photos/\"\n");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "My Video"),
            (home_ + QStringLiteral("/Vidéos")).toStdString());
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "My Pictures"), "/srv/photos");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders + 1, "my video"),
            (home_ + QStringLiteral("/Vidéos")).toStdString())
      << "no leading backslash, any case";
  // A folder set to the home folder means disabled; a relative one is not taken.
  WriteUserDirs("XDG_VIDEOS_DIR=\"$HOME/\"\nXDG_PICTURES_DIR=\"relative/nonsense\"\n");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "My Video"), std::nullopt);
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "My Pictures"), std::nullopt);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "\\Software\\Microsoft\\DirectX", "Version"), "4.09.00.0904");
}

TEST_F(RegistryTest, SimulatedMachineOverridesAddsAndRemoves) {
  Simulate(
      "registry HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
      "Folders|My Video|/media/films\n"
      "registry HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
      "Folders|Personal\n"
      "registry HKLM\\Software\\Microsoft\\DirectX|Version|4.08.00.0400\n"
      "registry HKLM\\Software\\Vidorra\\Extra|Empty|\n");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "My Video"), "/media/films");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "Personal"), std::nullopt);
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\DirectX", "Version"), "4.08.00.0400");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\Vidorra\\Extra", "Empty"), "");
}

TEST_F(RegistryTest, RemovedKeyIsMissingAndCannotBeCreated) {
  Simulate(
      "registry HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\n");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryTest, ParentKeysExistAndSubkeysOpenFromThem) {
  HKEY software = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft", 0, KEY_READ, &software),
            ERROR_SUCCESS);
  HKEY directx = nullptr;
  ASSERT_EQ(RegOpenKeyExA(software, "DirectX", 0, KEY_READ, &directx), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(directx, "Version", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, sizeof("4.09.00.0904"));
  EXPECT_EQ(RegQueryValueExA(software, "Version", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(directx), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(software), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(software), ERROR_INVALID_HANDLE) << "closed twice";
  HKEY none = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Micro", 0, KEY_READ, &none),
            ERROR_FILE_NOT_FOUND)
      << "a prefix of a name is not a parent key";
}

TEST_F(RegistryTest, SmallBufferGivesMoreDataAndTheNeededSize) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\DirectX", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  char buffer[4] = {'x', 'x', 'x', 'x'};
  DWORD size = sizeof(buffer);
  EXPECT_EQ(
      RegQueryValueExA(key, "Version", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof("4.09.00.0904"));
  EXPECT_EQ(
      RegQueryValueExA(key, "Version", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), nullptr),
      ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(RegQueryValueExA(key, "Version", nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace vidorra::win
