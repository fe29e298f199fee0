// The main window without a machine: its layout as it starts (every control as recorded, in its
// fonts, inside a fixed client area; Enter and Escape on the first page); the names of recordings
// and pictures; the about and error panels over it; its start-up folders and first names, and the
// screen saver off for the run.

#include "AppTestSupport.h"

namespace vidorra {
namespace {

// A report as the first show forms it, with what an address must carry encoded: a mail field's
// separators, line breaks, letters beyond ASCII.
const QString kReport = QString::fromUtf8(
    "Le filtre SampleGrabber n'est pas installé.\r\n"
    "Le filtre DV Splitter n'est pas installé.\r\n"
    "\r\nVous avez directX version 4.09 &Body=faux?Subject=faux#fin = 100% + ; /x à € 日本");

// The window alone, made on the test's own folders without a data module.
class FormTest : public test::AppTest {};

TEST_F(FormTest, EveryControlStartsInItsStateInAFixedClientAreaTheNamesAndThePanels) {
  TCaptureForm f;
  // Every control as it starts (usable or not, shown or not, checked, its texts and hint, its
  // place and font, a list's edit: tests/snapshots/main-window.txt, the fonts those installed by
  // scripts/run, scripts/test and the package) in a fixed client area; the timer and the alarm
  // off, the picture's pop-up menu.
  f.show();
  test::ExpectSnapshot(f, QStringLiteral("main-window"), QRegularExpression("\\d{6}_\\d{6}"));
  EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "not resizable";
  EXPECT_FALSE(f.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(f.Timer1->Enabled() || f.RxClock2->AlarmEnabled());
  EXPECT_EQ(f.vwEcran->PopupMenu(), f.PopupMenu) << "opened over the picture";
  // No tooltip over the picture, not even the panel's around it.
  QHelpEvent tip(QEvent::ToolTip, QPoint(9, 9), f.vwEcran->mapToGlobal(QPoint(9, 9)));
  EXPECT_TRUE(QApplication::sendEvent(f.vwEcran, &tip) && QToolTip::text().isEmpty());
  // The compact tabs' style sheet still applies: the last tab ends inside the pane.
  QTabBar* tabs = f.PageControl1->tabBar();
  EXPECT_LT(tabs->tabRect(tabs->count() - 1).right(), f.PageControl1->width());

  // Enter and Escape reach only the enabled buttons of the first page.
  int captures = 0, stops = 0;
  QObject::connect(f.CaptureBtn, &QPushButton::clicked, [&] { ++captures; });
  QObject::connect(f.StopBtn, &QPushButton::clicked, [&] { ++stops; });
  EXPECT_TRUE(f.CaptureBtn->isDefault() && f.ProgBtn->isDefault());
  for (auto* shortcut : f.TabSheet1->findChildren<QShortcut*>()) {
    if (shortcut->key() == QKeySequence(Qt::Key_Return)) emit shortcut->activated();
    if (shortcut->key() == QKeySequence(Qt::Key_Escape)) emit shortcut->activated();
  }
  EXPECT_EQ(captures, 1);
  EXPECT_EQ(stops, 0) << "Stop is disabled at start";

  // Recordings: the start-up stamp and consecutive numbers, the date box and the refreshes keep
  // the number, one "/" between folder and root, no existing file replaced (nor one written
  // meanwhile). Pictures: the same, at least four digits, JPEG changing only the extension.
  const QString videos = dir_.path() + QStringLiteral("/Vidéos/");
  const QString images = dir_.path() + QStringLiteral("/Images/");
  f.StartupTime = QDateTime(QDate(2026, 12, 5), QTime(13, 10, 12));
  f.VideoDirEdit->SetText(videos.chopped(1));
  f.ImageDirEdit->SetText(images);
  f.VideoCounter = f.ImageCounter = 0;
  EXPECT_EQ(f.BuildVideoFileName(), videos + QStringLiteral("Video_051226_131012_0.avi"));
  EXPECT_EQ(f.BuildVideoFileName(), videos + QStringLiteral("Video_051226_131012_1.avi"));
  f.VideoFileName = videos + QStringLiteral("Video_051226_131012_1.avi");
  f.VideoDate->click();
  EXPECT_EQ(f.VideoFileName, videos + QStringLiteral("Video_1.avi")) << "re-formed, its number kept";
  f.VideoDate->click();
  EXPECT_EQ(f.VideoFileName, videos + QStringLiteral("Video_051226_131012_1.avi"));
  EXPECT_EQ(f.VideoCounter, 2);

  f.VideoDate->setChecked(false);
  const struct {
    QString folder, root, name;
  } kJoined[] = {{videos, QStringLiteral("Video"), videos + QStringLiteral("Video_0.avi")},
                 {QString(), QStringLiteral("Video"), QStringLiteral("/Video_0.avi")},
                 {videos.chopped(1), QString(), videos + QStringLiteral("_0.avi")}};
  for (const auto& [folder, root, name] : kJoined) {
    f.VideoDirEdit->SetText(folder);
    f.VideoRacineEdit->setText(root);
    f.VideoCounter = 0;
    EXPECT_EQ(f.BuildVideoFileName(), name);
  }
  f.VideoRacineEdit->setText(QStringLiteral("Video"));
  WriteFile(videos + QStringLiteral("Video_0.avi"), "earlier recording");
  WriteFile(videos + QStringLiteral("Video_1.avi"), "earlier recording");
  f.VideoCounter = 0;
  f.VideoFileName = f.BuildVideoFileName();
  EXPECT_EQ(f.VideoFileName, videos + QStringLiteral("Video_2.avi"));
  EXPECT_EQ(f.VideoCounter, 3) << "the numbers of the files skipped are used up";
  f.VideoRacineEdit->setText(QStringLiteral("Mariage"));
  emit f.VideoRacineEdit->editingFinished();
  EXPECT_EQ(f.VideoFileName, videos + QStringLiteral("Mariage_2.avi"));
  const QString other = dir_.path() + QStringLiteral("/ailleurs");
  f.VideoDirEdit->SetFolderDialog([&](QWidget*, const QString&) { return other; });
  ASSERT_TRUE(f.VideoDirEdit->Browse());
  EXPECT_EQ(f.VideoFileName, other + QStringLiteral("/Mariage_2.avi"));
  WriteFile(f.VideoFileName, "the recording into the shown name");
  f.VideoRacineEditExit();
  EXPECT_EQ(f.VideoFileName, other + QStringLiteral("/Mariage_3.avi")) << "written meanwhile";

  WriteFile(images + QStringLiteral("Image_0000.bmp"));
  EXPECT_EQ(f.BuildImageFileName(), images + QStringLiteral("Image_0001.bmp"));
  EXPECT_EQ(f.ImageCounter, 2);
  f.ImageCounter = 9999;
  EXPECT_EQ(f.BuildImageFileName(), images + QStringLiteral("Image_9999.bmp"));
  EXPECT_EQ(f.BuildImageFileName(), images + QStringLiteral("Image_10000.bmp"));
  f.ImageCounter = 3;
  f.ImageFileName = f.BuildImageFileName();
  f.rgExtension->SetItemIndex(1);
  EXPECT_EQ(f.ImageFileName, images + QStringLiteral("Image_0003.jpg"));
  f.rgExtension->SetItemIndex(0);
  EXPECT_TRUE(f.gbQuality->isHidden()) << "only JPEG shows the quality";
  f.ImageRacineEdit->setText(QStringLiteral("Photo"));
  emit f.ImageRacineEdit->editingFinished();
  EXPECT_EQ(f.ImageFileName, images + QStringLiteral("Photo_0003.bmp"));
  f.ImageDate->setChecked(true);
  EXPECT_EQ(f.ImageFileName, images + QStringLiteral("Photo_051226_131012_0003.bmp"));
  EXPECT_EQ(f.ImageCounter, 4);

  // The about and error panels driven as a user would: shown over the window shrunk to them and
  // given back, in front (their texts and places: their snapshots), closed by "Fermer" or Esc,
  // the focus kept inside; the error report and the mail link carrying it exactly; a fatal error.
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  const QSize outerSize = f.frameGeometry().size();
  QWidget* central = f.centralWidget();
  const auto menuShown = [&] { return f.MENU_OPTIONS->menuAction()->isVisible(); };
  // The panel covers the central area, shrunk to it, in front.
  const auto expectCovered = [&](TInfoPanel* panel, QSize size) {
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), QRect(QPoint(0, 0), size));
    EXPECT_EQ(central->size(), size);
    QWidget* front = central->childAt(size.width() / 2, size.height() - 2);
    while (front != nullptr && front->parentWidget() != central) front = front->parentWidget();
    EXPECT_EQ(front, panel) << "in front";
    EXPECT_FALSE(menuShown());
    EXPECT_LT(f.frameGeometry().width(), outerSize.width());
  };
  const auto expectGivenBack = [&](TInfoPanel* panel) {
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->pos(), QPoint(-500, 0)) << "parked again";
    EXPECT_EQ(central->size(), QSize(TCaptureForm::kClientWidth, TCaptureForm::kClientHeight));
    EXPECT_EQ(f.frameGeometry().size(), outerSize);
    EXPECT_TRUE(menuShown()) << "\"Réglages\" is back";
  };

  test::RecordingOpener opener;
  TAproposFrame* about = f.AproposFrame1;
  for (const bool escape : {false, true}) {
    QTest::mouseClick(f.AproposBtn, Qt::LeftButton);
    expectCovered(about, QSize(300, 408));
    if (!escape) test::ExpectSnapshot(*about, QStringLiteral("about-panel"));
    EXPECT_TRUE(about->FermerBtn->hasFocus());
    EXPECT_TRUE(about->Memo1->isReadOnly());
    EXPECT_NE(about->RxLabel1->graphicsEffect(), nullptr) << "the title's shadow";
    EXPECT_FALSE(about->findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
    EXPECT_FALSE(f.windowIcon().isNull()) << "the pictures are built in";
    // Tab and Backtab stay inside the panel.
    for (int i = 0; i < 6; ++i) {
      QTest::keyClick(QApplication::focusWidget(), i % 3 == 0 ? Qt::Key_Backtab : Qt::Key_Tab);
      ASSERT_NE(QApplication::focusWidget(), nullptr);
      EXPECT_TRUE(about->isAncestorOf(QApplication::focusWidget()))
          << QApplication::focusWidget()->objectName().toStdString();
    }
    if (escape) {
      QTest::keyClick(about->FermerBtn, Qt::Key_Escape);
    } else {
      QTest::mouseClick(about->FermerBtn, Qt::LeftButton);
    }
    expectGivenBack(about);
    EXPECT_TRUE(f.AproposBtn->hasFocus()) << "focus back where it was";
  }

  // The report is shown between the panel's own lines, and the mail link hands the desktop the
  // address it shows as its hint (both as recorded: plain ASCII, its subject), whose body the mail
  // program gets back exactly (line breaks as CR LF, letters in UTF-8); the home page link. A panel
  // shown over the other keeps the window's own size to come back to; a fatal error closes the
  // window.
  TErreurFrame* panel = f.ErreurFrame1;
  QTest::mouseClick(f.AproposBtn, Qt::LeftButton);
  panel->ShowErrorPanel(kReport, false);
  EXPECT_FALSE(f.AproposFrame1->isVisible());
  EXPECT_EQ(f.AproposFrame1->pos(), QPoint(-500, 0));
  expectCovered(panel, QSize(320, 446));
  test::ExpectSnapshot(*panel, QStringLiteral("error-panel"));
  EXPECT_TRUE(panel->FermerErreurBtn->hasFocus());

  QTest::mouseClick(panel->UrlLabel2, Qt::LeftButton);
  QTest::mouseClick(panel->UrlLabel1, Qt::LeftButton);
  const QStringList& opened = opener.Addresses();
  ASSERT_EQ(opened.size(), 2);
  EXPECT_EQ(opened[0], panel->UrlLabel2->toolTip());
  const QUrl mail(opened[0], QUrl::StrictMode);  // an invalid one has no query
  EXPECT_EQ(QUrlQuery(mail).queryItemValue(QStringLiteral("Body"), QUrl::FullyDecoded), kReport);
  EXPECT_EQ(opened[1], QString::fromLatin1(TInfoPanel::kHomePage));

  panel->ShowErrorPanel(kReport, false);  // a second report
  QTest::mouseClick(panel->FermerErreurBtn, Qt::LeftButton);
  expectGivenBack(panel);
  EXPECT_TRUE(f.isVisible()) << "not fatal: the program goes on";
  panel->ShowErrorPanel(QStringLiteral("Plus de mémoire."), true);
  EXPECT_TRUE(panel->Memo1->toPlainText().contains(QStringLiteral("Plus de mémoire.")));
  QTest::mouseClick(panel->FermerErreurBtn, Qt::LeftButton);
  EXPECT_FALSE(f.isVisible());
}

// The video and image folders from the XDG user folders, else the personal folder (the home),
// else none (the root); a folder cut to 255 characters.
TEST_F(FormTest, TheFoldersAndTheFirstNamesAndTheScreenSaverOffForTheRun) {
  const QString longFolder = QStringLiteral("/") + QString(300, QChar(0x00E9));
  const struct {
    const char *machine, *userDirs;
    QString videos, images;
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
      Simulate("registry HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders" +
               QByteArray(c.machine) + (*c.machine ? longFolder.toUtf8() : "") + "\n");
    }
    if (c.userDirs != nullptr) WriteFile(config_ + QStringLiteral("/user-dirs.dirs"), c.userDirs);
    TCaptureForm form;
    QFile::remove(config_ + QStringLiteral("/user-dirs.dirs"));
    EXPECT_EQ(form.VideoDirEdit->InitialDir() + form.VideoDirEdit->Text(), c.videos + c.videos);
    EXPECT_EQ(form.ImageDirEdit->InitialDir() + form.ImageDirEdit->Text(), c.images + c.images);
    const QDate day = form.StartupTime.date();
    EXPECT_TRUE(form.VideoFileName.startsWith(c.videos + QStringLiteral("/Video_") +
                                              TCaptureForm::TwoDigits(day.day()) +
                                              TCaptureForm::TwoDigits(day.month())))
        << form.VideoFileName.toStdString();
    EXPECT_TRUE(form.VideoFileName.endsWith(QStringLiteral("_0.avi")));
    EXPECT_EQ(form.ImageFileName, c.images + QStringLiteral("Image_0000.bmp"));
    EXPECT_EQ(std::pair(form.VideoCounter, form.ImageCounter), std::pair(1, 1));
    EXPECT_EQ(form.ScreenSaverWasActive, FALSE) << "no screen-saver service";
  }

  // Off for the run (asked in the program's own name), on again at exit only when it was on;
  // "Quitter" closes the window.
  if (!test::FakeScreenSaverService::BusAvailable()) GTEST_SKIP() << "no session bus";
  for (const bool wasOn : {true, false}) {
    SCOPED_TRACE(wasOn ? "on" : "off");
    test::FakeScreenSaverService service;
    ASSERT_TRUE(service.Registered());
    // Switched off before the program starts (by this process, as another program would).
    ASSERT_TRUE(wasOn || SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0));
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
    EXPECT_EQ(service.Calls()[0].arguments[0], QVariant(qApp->applicationName())) << "its name";
    EXPECT_EQ(service.ActiveInhibitions(), wasOn ? 0u : 1u);
    EXPECT_EQ(methods.contains(QStringLiteral("UnInhibit")), wasOn) << "switched on at exit";
    EXPECT_TRUE(!wasOn || methods.join(u' ') == QStringLiteral("Inhibit UnInhibit"))
        << methods.join(u' ').toStdString();
    ASSERT_TRUE(wasOn || SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0));
  }
}

}  // namespace
}  // namespace vidorra
