// Start-up and shut-down of the main window: shell folders and their fallbacks, the first
// names, the screen saver off for the run and on again only when it was on, "Quitter".
#include <winuser.h>

#include <QLabel>
#include <QPushButton>

#include "AppTestSupport.h"
#include "Bitmap.h"
#include "FolderPicker.h"

namespace vidorra {
namespace {

constexpr const char* kShellFolders =
    "registry HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class LifecycleTest : public test::AppTest {};

// The video and image folders from the XDG user folders, else the personal folder (the home),
// else none (the root); a folder cut to 255 characters.
TEST_F(LifecycleTest, TheFoldersAndTheFirstNames) {
  const QString longFolder = QStringLiteral("/") + QString(300, QChar(0x00E9));
  const struct {
    const char* machine;
    const char* userDirs;
    QString videos;
    QString images;
  } kCases[] = {
      {nullptr, nullptr, home_, home_ + QStringLiteral("/")},
      {nullptr, "XDG_VIDEOS_DIR=\"$HOME/Films\"\nXDG_PICTURES_DIR=\"$HOME/Photos\"\n",
       home_ + QStringLiteral("/Films"), home_ + QStringLiteral("/Photos/")},
      {"", nullptr, QString(), QStringLiteral("/")},  // no shell folder key
      {"|My Video|", nullptr, longFolder.left(255), home_ + QStringLiteral("/")},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.videos.left(40).toStdString());
    if (c.machine != nullptr) {
      Simulate(QByteArray(kShellFolders) + c.machine + (*c.machine ? longFolder.toUtf8() : "") +
               "\n");
    }
    if (c.userDirs != nullptr) WriteFile(config_ + QStringLiteral("/user-dirs.dirs"), c.userDirs);
    TCaptureForm form;
    QFile::remove(config_ + QStringLiteral("/user-dirs.dirs"));
    EXPECT_EQ(form.VideoDirEdit->Text(), c.videos);
    EXPECT_EQ(form.ImageDirEdit->Text(), c.images);
    const QString stamp = TCaptureForm::TwoDigits(form.StartupTime.date().day()) +
                          TCaptureForm::TwoDigits(form.StartupTime.date().month());
    EXPECT_TRUE(form.VideoFileName.startsWith(c.videos + QStringLiteral("/Video_") + stamp))
        << form.VideoFileName.toStdString();
    EXPECT_TRUE(form.VideoFileName.endsWith(QStringLiteral("_0.avi")));
    EXPECT_EQ(form.ImageFileName, c.images + QStringLiteral("Image_0000.bmp"));
    EXPECT_EQ(form.VideoCounter, 1);
    EXPECT_EQ(form.ImageCounter, 1);
    EXPECT_EQ(form.LabelVideo->text(), form.VideoFileName.section(QLatin1Char('/'), -1));
    EXPECT_EQ(form.destlab->text(), form.ImageFileName);
    ASSERT_NE(form.GrabBitmap, nullptr);
    EXPECT_EQ(form.GrabBitmap->Width(), 720);
    EXPECT_EQ(form.CaptureState, stNoSource);
  }
}

TEST_F(LifecycleTest, ScreenSaverOffForTheRunAndOnAgainOnlyWhenItWasOn) {
  if (!test::FakeScreenSaverService::BusAvailable()) GTEST_SKIP() << "no session bus";
  for (const bool wasOn : {true, false}) {
    SCOPED_TRACE(wasOn ? "on" : "off");
    test::FakeScreenSaverService service;
    ASSERT_TRUE(service.Registered());
    // Switched off before the program starts (by this process, as another program would).
    if (!wasOn) {
      ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0));
    }
    {
      TCaptureForm form;
      EXPECT_EQ(form.ScreenSaverWasActive, wasOn ? TRUE : FALSE);
      EXPECT_EQ(service.ActiveInhibitions(), 1u);
      form.show();
      form.QuitterBtn->click();
      EXPECT_FALSE(form.isVisible()) << "Quitter closes the window";
    }
    QStringList methods;
    for (const auto& call : service.Calls()) methods << call.method;
    EXPECT_EQ(service.ActiveInhibitions(), wasOn ? 0u : 1u);
    EXPECT_EQ(methods.contains(QStringLiteral("UnInhibit")), wasOn) << "switched on at exit";
    if (wasOn) {
      EXPECT_EQ(methods, (QStringList{QStringLiteral("Inhibit"), QStringLiteral("UnInhibit")}));
    }
    if (!wasOn) {
      ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0));
    }
  }
}

}  // namespace
}  // namespace vidorra
