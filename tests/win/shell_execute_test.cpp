// ShellExecuteA: which verbs, files and folders it takes, what it hands the desktop and what it
// answers; and the real opener, xdg-open, getting the address as its one argument (a stand-in
// xdg-open on PATH records what it was given).
#include <gtest/gtest.h>
#include <scoped_env.h>
#include <shellapi.h>
#include <winuser.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ShellExecute.h"
#include "wait_until.h"

namespace vidorra {
namespace {

intptr_t Code(HINSTANCE result) { return reinterpret_cast<intptr_t>(result); }

// The desktop replaced by a recorder for the life of the test.
class ShellExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = dir_.path().toStdString();
    QDir(dir_.path()).mkpath(QStringLiteral("vidéos"));
    for (const char* name : {"/vidéos/Video 0.avi", "/vidéos/-x"}) {
      QFile file(dir_.path() + QString::fromUtf8(name));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    previous_ = win::SetDesktopOpener([this](const std::string& address) {
      opened_.push_back(address);
      return accept_;
    });
  }
  void TearDown() override { win::SetDesktopOpener(previous_); }

  QTemporaryDir dir_;
  std::string root_;
  std::vector<std::string> opened_;
  bool accept_ = true;

 private:
  win::DesktopOpener previous_;
};

TEST_F(ShellExecuteTest, VerbsFilesAndFoldersGiveTheDocumentedResults) {
  const std::string folder = root_ + "/vidéos";
  const std::string video = folder + "/Video 0.avi";
  struct Row {
    const char* what;
    const char* verb;
    std::string file;
    std::string directory;
    intptr_t code;                      // 0: success (above 32)
    std::optional<std::string> opened;  // what the desktop was handed
  };
  const std::vector<Row> rows = {
      {"web address", "open", "https://www.orvale.fr/a b?x=1&y=2", "", 0,
       "https://www.orvale.fr/a b?x=1&y=2"},
      {"no verb is open", nullptr, "mailto:a@b.fr?Subject=%C3%A9t%C3%A9", "", 0,
       "mailto:a@b.fr?Subject=%C3%A9t%C3%A9"},
      {"empty verb", "", "mailto:a@b.fr", "", 0, "mailto:a@b.fr"},
      {"verb in capitals", "OPEN", "news:fr.rec.video", "", 0, "news:fr.rec.video"},
      {"an absolute path", "open", video, "", 0, video},
      {"a path in the given folder", "open", "Video 0.avi", folder, 0, video},
      {"a path made plain", "open", "./../vidéos/./Video 0.avi", folder, 0, video},
      {"a folder explored", "explore", folder, "", 0, folder},
      {"a name that looks like an option", "open", "-x", folder, 0, folder + "/-x"},
      {"no file", "open", "", "", SE_ERR_FNF, std::nullopt},
      {"a missing file", "open", folder + "/Video 1.avi", "", SE_ERR_FNF, std::nullopt},
      {"a missing folder", "open", root_ + "/nowhere/Video 0.avi", "", SE_ERR_PNF, std::nullopt},
      {"a missing directory", "open", "Video 0.avi", root_ + "/nowhere", SE_ERR_PNF, std::nullopt},
      {"an address with a line break", "open", "mailto:a@b.fr?Subject=a\r\nBcc: c@d.fr", "",
       SE_ERR_FNF, std::nullopt},
      {"a file explored", "explore", video, "", SE_ERR_NOASSOC, std::nullopt},
      {"an address explored", "explore", "https://www.orvale.fr/", "", SE_ERR_NOASSOC,
       std::nullopt},
      {"a verb the desktop has not", "print", video, "", SE_ERR_NOASSOC, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    opened_.clear();
    const intptr_t code =
        Code(ShellExecuteA(GetDesktopWindow(), row.verb, row.file.c_str(), nullptr,
                           row.directory.empty() ? nullptr : row.directory.c_str(), SW_SHOWNORMAL));
    if (row.code == 0) {
      EXPECT_GT(code, 32);
    } else {
      EXPECT_EQ(code, row.code);
    }
    if (row.opened) {
      EXPECT_EQ(opened_, std::vector<std::string>{*row.opened});
    } else {
      EXPECT_TRUE(opened_.empty());
    }
  }
  EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, SW_SHOW)), SE_ERR_FNF);
  // A desktop that refuses the address: no association.
  accept_ = false;
  opened_.clear();
  EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", "https://www.orvale.fr/", nullptr, nullptr,
                               SW_SHOWNORMAL)),
            SE_ERR_NOASSOC);
  EXPECT_EQ(opened_.size(), 1u);
}

TEST_F(ShellExecuteTest, OwnerParametersAndShowCommandAreNotPassedOn) {
  for (INT show : {SW_HIDE, SW_SHOWNORMAL, SW_SHOWMAXIMIZED, SW_SHOWDEFAULT}) {
    EXPECT_GT(Code(ShellExecuteA(nullptr, "open", "https://www.orvale.fr/", "--new-window",
                                 "/nowhere/at/all", show)),
              32)
        << show;
  }
  EXPECT_EQ(opened_, std::vector<std::string>(4, "https://www.orvale.fr/"))
      << "an address does not depend on a directory";
}

// The real opener with a stand-in xdg-open first on PATH.
class XdgOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    record_ = dir_.path() + QStringLiteral("/arguments");
    previous_ = win::SetDesktopOpener(nullptr);  // the default: xdg-open
  }
  void TearDown() override { win::SetDesktopOpener(previous_); }

  // An xdg-open that writes how many arguments it got, then each one ended by a NUL.
  void InstallRecorder() {
    const QString bin = dir_.path() + QStringLiteral("/bin");
    QDir().mkpath(bin);
    QFile script(bin + QStringLiteral("/xdg-open"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        "#!/bin/sh\n"
        "{ printf '%s\\n' \"$#\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } "
        "> \"$XDG_OPEN_RECORD.part\"\n"
        "mv \"$XDG_OPEN_RECORD.part\" \"$XDG_OPEN_RECORD\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env_.Set("PATH", bin.toStdString() + ":" + std::getenv("PATH"));
    env_.Set("XDG_OPEN_RECORD", record_.toStdString());
  }

  QTemporaryDir dir_;
  QString record_;
  test::ScopedEnv env_;

 private:
  win::DesktopOpener previous_;
};

TEST_F(XdgOpenTest, TheAddressIsItsOneArgumentExactly) {
  InstallRecorder();
  // Nothing in it is taken by a shell: no splitting, quoting, substitution or second command.
  const std::string address =
      "mailto:a@b.fr?Subject=x y&Body=\"q\" 'r' $(touch pwned) `id` ; ls | cat > f * é";
  ASSERT_GT(Code(ShellExecuteA(GetDesktopWindow(), "open", address.c_str(), nullptr, nullptr,
                               SW_SHOWNORMAL)),
            32);
  ASSERT_TRUE(test::WaitUntil([&] { return QFile::exists(record_); }));
  QFile record(record_);
  ASSERT_TRUE(record.open(QIODevice::ReadOnly));
  EXPECT_EQ(record.readAll(), QByteArray("1\n") + QByteArray::fromStdString(address) + '\0');
  EXPECT_FALSE(QFile::exists(QDir::currentPath() + QStringLiteral("/pwned")));
}

TEST_F(XdgOpenTest, WithoutXdgOpenTheDesktopCannotBeAsked) {
  env_.Set("PATH", dir_.path().toStdString());  // a folder without xdg-open
  EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", "https://www.orvale.fr/", nullptr, nullptr,
                               SW_SHOWNORMAL)),
            SE_ERR_NOASSOC);
}

}  // namespace
}  // namespace vidorra
