// The registry stand-in: shell folders from the XDG user dirs, the simulated machine's edits,
// key paths, size queries and ERROR_MORE_DATA.
#include <ScopedMachine.h>
#include <gtest/gtest.h>
#include <winreg.h>

namespace vidorra::win {
namespace {

constexpr const char* kShellFolders =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// HOME and XDG_CONFIG_HOME in a private folder, and an empty simulated machine, for one test.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home_);
    std::filesystem::create_directories(dir_.File("config"));
    env_.Set("HOME", home_);
    env_.Set("XDG_CONFIG_HOME", dir_.File("config"));
  }
  // The value, or nullopt when missing (sized first, as the program reads values).
  std::optional<std::string> Read(HKEY root, const char* key, const char* value) {
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &hkey) != ERROR_SUCCESS) return std::nullopt;
    DWORD size = 0, type = REG_NONE;
    std::optional<std::string> result;
    if (RegQueryValueExA(hkey, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::string buffer(size, '?');
      RegQueryValueExA(hkey, value, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer.data()),
                       &size);
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(buffer.back(), '\0');
      result = buffer.substr(0, buffer.size() - 1);
    }
    EXPECT_EQ(RegCloseKey(hkey), ERROR_SUCCESS);
    return result;
  }

  test::TempDir dir_;
  const std::string home_ = dir_.File("home");
  test::ScopedEnv env_;
  test::ScopedMachine machine_{""};
};

// "My Video" and "My Pictures" exist only when user-dirs.dirs sets them to a folder other than
// the home folder ($HOME/ means disabled; a relative path is not taken; the last line wins).
TEST_F(RegistryTest, ShellFoldersFollowTheUserDirs) {
  const struct {
    const char* userDirs;
    std::optional<std::string> video, pictures;
  } cases[] = {
      {nullptr, std::nullopt, std::nullopt},
      {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
       "XDG_VIDEOS_DIR=\"$HOME/Films\"\nXDG_VIDEOS_DIR=\"$HOME/Vidéos\"\n"
       "XDG_PICTURES_DIR=\"/srv/photos/\"\n",
       home_ + "/Vidéos", "/srv/photos"},
      {"XDG_VIDEOS_DIR=\"$HOME/\"\nXDG_PICTURES_DIR=\"relative/nonsense\"\n", std::nullopt,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.userDirs ? c.userDirs : "no file");
    if (c.userDirs) std::ofstream(dir_.File("config/user-dirs.dirs")) << c.userDirs;
    EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "Personal"), home_);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "My Video"), c.video);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders + 1, "my pictures"), c.pictures)
        << "no leading backslash, any case";
  }
  env_.Set("HOME", "/");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kShellFolders, "Personal"), "/") << "the root as home";
}

// A value set empty, a key removed: missing, and refused as not creatable (the values set,
// replaced and removed: the engine's DirectX version and the window's folders).
TEST_F(RegistryTest, TheMachinesEditsKeyPathsAndSizes) {
  test::ScopedMachine machine(
      "registry HKLM\\Software\\Vidorra\\Extra|Empty|\n"
      "registry HKLM\\Software\\Vidorra\\Gone|Value|x\n"
      "registry HKLM\\Software\\Vidorra\\Gone\n");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\Vidorra\\Extra", "Empty"), "");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vidorra\\Gone", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vidorra\\Gone", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  // A parent of keys with values exists and opens them; a prefix of a name is no parent. A
  // buffer too small gets ERROR_MORE_DATA and the size; a closed key is refused.
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vidorra", 0, KEY_READ, &parent),
            ERROR_SUCCESS);
  EXPECT_EQ(Read(parent, "Extra", "Empty"), "");
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vido", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\DirectX", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  char buffer[4] = {};
  DWORD size = sizeof(buffer);
  EXPECT_EQ(
      RegQueryValueExA(key, "Version", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof("4.09.00.0904"));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "Version", nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace vidorra::win
