// ShellExecuteA: which verbs, files and folders it takes, what it hands the desktop and what it
// answers; and the real opener, xdg-open, getting the address as its one argument (a stand-in
// xdg-open on PATH records what it was given).
#include <gtest/gtest.h>
#include <scoped_env.h>
#include <shellapi.h>
#include <temp_dir.h>
#include <winuser.h>

#include <cstdint>
#include <fstream>
#include <sstream>

#include "ShellExecute.h"
#include "wait_until.h"

namespace vidorra {
namespace {

intptr_t Open(const char* verb, const std::string& file, const std::string& directory = {}) {
  return reinterpret_cast<intptr_t>(
      ShellExecuteA(GetDesktopWindow(), verb, file.c_str(), "--new-window",
                    directory.empty() ? nullptr : directory.c_str(), SW_SHOWMAXIMIZED));
}

// The desktop replaced by a recorder: what it is handed for each request, and the answer.
TEST(ShellExecute, VerbsFilesAndFoldersGiveTheDocumentedResults) {
  test::TempDir root;
  const std::string folder = root.File("vidéos"), video = folder + "/Video 0.avi";
  std::filesystem::create_directories(folder);
  std::ofstream{video};
  std::vector<std::string> opened;
  bool accept = true;
  const win::DesktopOpener previous = win::SetDesktopOpener([&](const std::string& address) {
    opened.push_back(address);
    return accept;
  });
  const struct {
    const char *what, *verb;
    std::string file, directory;
    intptr_t code;                      // 0: success (above 32)
    std::optional<std::string> opened;  // what the desktop was handed
  } rows[] = {
      {"web address, any folder", "open", "https://www.orvale.fr/a b?x=1&y=2", "/nowhere", 0,
       "https://www.orvale.fr/a b?x=1&y=2"},
      {"verb in capitals, a scheme with digits", "OPEN", "z39.50r://bnf.fr/x", "", 0,
       "z39.50r://bnf.fr/x"},
      {"a path in the given folder, made plain", "open", "./../vidéos/./Video 0.avi", folder, 0,
       video},
      {"no file", "open", "", "", SE_ERR_FNF, std::nullopt},
      {"a missing file", "open", folder + "/Video 1.avi", "", SE_ERR_FNF, std::nullopt},
      {"a missing folder", "open", root.File("nowhere/Video 0.avi"), "", SE_ERR_PNF, std::nullopt},
      {"an address with a line break", "open", "mailto:a@b.fr?Subject=a\r\nBcc: c@d.fr", "",
       SE_ERR_FNF, std::nullopt},
      {"an address explored", "explore", "https://www.orvale.fr/", "", SE_ERR_NOASSOC,
       std::nullopt},
      {"a verb the desktop has not", "edit", video, "", SE_ERR_NOASSOC, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    opened.clear();
    const intptr_t code = Open(row.verb, row.file, row.directory);
    if (row.code == 0) {
      EXPECT_GT(code, 32);
    } else {
      EXPECT_EQ(code, row.code);
    }
    EXPECT_EQ(opened, row.opened ? std::vector{*row.opened} : std::vector<std::string>{});
  }
  accept = false;  // a desktop that refuses: no association
  EXPECT_EQ(Open("open", "https://www.orvale.fr/"), SE_ERR_NOASSOC);
  win::SetDesktopOpener(previous);
}

// Nothing in the address is taken by a shell: no splitting, quoting, substitution or second
// command. Without xdg-open the desktop cannot be asked.
TEST(ShellExecute, XdgOpenGetsTheAddressAsItsOneArgument) {
  test::TempDir dir;
  const std::string path = std::getenv("PATH");
  const win::DesktopOpener previous = win::SetDesktopOpener(nullptr);  // the default: xdg-open
  test::ScopedEnv env("PATH", dir.path());
  EXPECT_EQ(Open("open", "https://www.orvale.fr/"), SE_ERR_NOASSOC);
  std::filesystem::create_directories(dir.File("bin"));
  std::ofstream(dir.File("bin/xdg-open"))
      << "#!/bin/sh\n"
         "{ printf '%s\\n' \"$#\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } "
         "> \"$XDG_OPEN_RECORD.part\"\n"
         "mv \"$XDG_OPEN_RECORD.part\" \"$XDG_OPEN_RECORD\"\n";
  std::filesystem::permissions(dir.File("bin/xdg-open"), std::filesystem::perms::owner_all);
  env.Set("PATH", dir.File("bin") + ":" + path);
  env.Set("XDG_OPEN_RECORD", dir.File("arguments"));
  const std::string address =
      "mailto:a@b.fr?Subject=x y&Body=\"q\" 'r' $(touch pwned) `id` ; ls | cat > f * é";
  ASSERT_GT(Open("open", address), 32);
  ASSERT_TRUE(test::WaitUntil([&] { return std::filesystem::exists(dir.File("arguments")); }));
  std::stringstream recorded;
  recorded << std::ifstream(dir.File("arguments")).rdbuf();
  EXPECT_EQ(recorded.str(), "1\n" + address + '\0');
  EXPECT_FALSE(std::filesystem::exists("pwned"));
  win::SetDesktopOpener(previous);
}

}  // namespace
}  // namespace vidorra
