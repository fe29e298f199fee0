// Start-up and shut-down of the main window: shell folders and their fallbacks, the first
// names, the screen saver off for the run and on again only when it was on, "Quitter".
#include <winuser.h>

#include <QLabel>
#include <QPushButton>

#include "../win/FakeScreenSaverService.h"
#include "AppTestEnvironment.h"
#include "Bitmap.h"
#include "FolderPicker.h"
#include "mainFlux.h"

namespace vidorra {
namespace {

constexpr const char* kShellFolders =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class LifecycleTest : public test::AppTest {};

TEST_F(LifecycleTest, PersonalPresentAndMyVideoAbsentGivesThePersonalFolder) {
  TCaptureForm form;
  EXPECT_EQ(form.PersonalDir, home_);
  EXPECT_EQ(form.MyVideoDir, home_);
  EXPECT_EQ(form.MyPicturesDir, home_);
  EXPECT_EQ(form.VideoDirEdit->Text(), home_);
  EXPECT_EQ(form.VideoDirEdit->InitialDir(), home_);
  EXPECT_EQ(form.ImageDirEdit->Text(), home_ + QStringLiteral("/"));
}

TEST_F(LifecycleTest, XdgFoldersBecomeTheVideoAndImageFolders) {
  WriteFile(config_ + QStringLiteral("/user-dirs.dirs"),
            "XDG_VIDEOS_DIR=\"$HOME/Films\"\nXDG_PICTURES_DIR=\"$HOME/Photos\"\n");
  TCaptureForm form;
  EXPECT_EQ(form.VideoDirEdit->Text(), home_ + QStringLiteral("/Films"));
  EXPECT_EQ(form.ImageDirEdit->Text(), home_ + QStringLiteral("/Photos/"));
  EXPECT_TRUE(form.VideoFileName.startsWith(home_ + QStringLiteral("/Films/Video_")));
  EXPECT_EQ(form.ImageFileName, home_ + QStringLiteral("/Photos/Image_0000.bmp"));
}

TEST_F(LifecycleTest, FirstNamesAreNumberZeroWhateverTheChangeHandlersDid) {
  TCaptureForm form;
  const QString stamp = TCaptureForm::TwoDigits(form.StartupTime.date().day()) +
                        TCaptureForm::TwoDigits(form.StartupTime.date().month());
  EXPECT_TRUE(form.VideoFileName.endsWith(QStringLiteral("_0.avi")))
      << form.VideoFileName.toStdString();
  EXPECT_TRUE(form.VideoFileName.contains(QStringLiteral("/Video_") + stamp));
  EXPECT_EQ(form.VideoCounter, 1);
  EXPECT_EQ(form.ImageCounter, 1);
  EXPECT_EQ(form.LabelVideo->text(), form.VideoFileName.section(QLatin1Char('/'), -1));
  EXPECT_EQ(form.destlab->text(), form.ImageFileName);
  ASSERT_NE(form.GrabBitmap, nullptr);
  EXPECT_EQ(form.GrabBitmap->Width(), 720);
  EXPECT_EQ(form.GrabBitmap->Height(), 576);
  EXPECT_NE(form.GrabJpeg, nullptr);
  EXPECT_EQ(form.CaptureState, stNoSource);
}

TEST_F(LifecycleTest, NoShellFolderKeyLeavesTheFoldersEmpty) {
  Simulate(QByteArray("registry ") + kShellFolders + "\n");
  TCaptureForm form;
  EXPECT_TRUE(form.PersonalDir.isEmpty());
  EXPECT_TRUE(form.MyVideoDir.isEmpty());
  EXPECT_EQ(form.ImageDirEdit->Text(), QStringLiteral("/"));
  EXPECT_TRUE(form.VideoFileName.startsWith(QStringLiteral("/Video_")));
}

TEST_F(LifecycleTest, LongFoldersAreCutTo255Characters) {
  const QString longFolder = QStringLiteral("/") + QString(300, QChar(0x00E9));
  Simulate(QByteArray("registry ") + kShellFolders + "|My Video|" + longFolder.toUtf8() + "\n");
  TCaptureForm form;
  EXPECT_EQ(form.MyVideoDir.size(), 255);
  EXPECT_EQ(form.MyVideoDir, longFolder.left(255));
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

TEST_F(LifecycleTest, QuitterClosesTheWindow) {
  TCaptureForm form;
  form.show();
  ASSERT_TRUE(form.isVisible());
  form.QuitterBtn->click();
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace vidorra
