// The about and error panels driven as a user would: shown over the window shrunk to them and
// given back, in front with their texts inside them, closed by "Fermer" or Esc, the focus kept
// inside; the error report and the mail link carrying it exactly; a fatal error. The link label
// they are made of: the address it composes, its look under the mouse, its clicks. The JPEG
// image the window's grabs are written with.

#include "AppTestSupport.h"
#include "Exception.h"
#include "JpegImage.h"

namespace vidorra {
namespace {

// A report as the first show forms it, with what an address must carry encoded: a mail field's
// separators, line breaks, letters beyond ASCII.
const QString kReport = QString::fromUtf8(
    "Le filtre SampleGrabber n'est pas installé.\r\n"
    "Le filtre DV Splitter n'est pas installé.\r\n"
    "\r\nVous avez directX version 4.09 &Body=faux?Subject=faux#fin = 100% + ; /x à € 日本");

// The window alone, made on the test's own folders without a simulated machine or data module.
class PanelsTest : public test::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    form_ = std::make_unique<TCaptureForm>();
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    outerSize_ = form_->frameGeometry().size();
  }
  QWidget* Client() const { return form_->centralWidget(); }
  bool MenuShown() const { return form_->MENU_OPTIONS->menuAction()->isVisible(); }

  // The panel covers the client area, shrunk to it, in front, its texts inside it.
  void ExpectCovered(TInfoPanel* panel, QSize size) {
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), QRect(QPoint(0, 0), size));
    EXPECT_EQ(Client()->size(), size);
    QWidget* front = Client()->childAt(size.width() / 2, size.height() - 2);
    while (front != nullptr && front->parentWidget() != Client()) front = front->parentWidget();
    EXPECT_EQ(front, panel) << "in front";
    EXPECT_FALSE(MenuShown());
    EXPECT_LT(form_->frameGeometry().width(), outerSize_.width());
    for (QWidget* child : panel->findChildren<QWidget*>()) {
      EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(child->geometry()))
          << child->objectName().toStdString();
    }
  }
  void ExpectGivenBack(TInfoPanel* panel) {
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->pos(), QPoint(-500, 0)) << "parked again";
    EXPECT_EQ(Client()->size(), QSize(TCaptureForm::kClientWidth, TCaptureForm::kClientHeight));
    EXPECT_EQ(form_->frameGeometry().size(), outerSize_);
    EXPECT_TRUE(MenuShown()) << "\"Réglages\" is back";
  }

  void TearDown() override {
    form_.reset();
    AppTest::TearDown();
  }

  std::unique_ptr<TCaptureForm> form_;
  QSize outerSize_;
  test::RecordingOpener opener_;
};

TEST_F(PanelsTest, TheAboutAndErrorPanelsOverTheWindowTheReportMailedExactlyAndAFatalOne) {
  TAproposFrame* about = form_->AproposFrame1;
  for (const bool escape : {false, true}) {
    QTest::mouseClick(form_->AproposBtn, Qt::LeftButton);
    ExpectCovered(about, QSize(300, 408));
    EXPECT_TRUE(about->FermerBtn->hasFocus());
    EXPECT_FALSE(about->Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(about->Memo1->isReadOnly());
    EXPECT_NE(about->RxLabel1->graphicsEffect(), nullptr) << "the title's shadow";
    EXPECT_FALSE(about->findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
    EXPECT_FALSE(form_->windowIcon().isNull()) << "the pictures are built in";
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
    ExpectGivenBack(about);
    EXPECT_TRUE(form_->AproposBtn->hasFocus()) << "focus back where it was";
  }

  // The report is shown between the panel's own lines, and the mail link hands the desktop a
  // plain ASCII address, one query of two fields, whose subject and body the mail program gets
  // back exactly (line breaks as CR LF, letters in UTF-8); the home page link. A panel shown over
  // the other keeps the window's own size to come back to; a fatal error closes the window.
  TErreurFrame* panel = form_->ErreurFrame1;
  QTest::mouseClick(form_->AproposBtn, Qt::LeftButton);
  panel->ShowErrorPanel(kReport, false);
  EXPECT_FALSE(form_->AproposFrame1->isVisible());
  EXPECT_EQ(form_->AproposFrame1->pos(), QPoint(-500, 0));
  ExpectCovered(panel, QSize(320, 446));
  EXPECT_TRUE(panel->FermerErreurBtn->hasFocus());
  const QStringList lines = panel->Memo1->toPlainText().split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 6);
  EXPECT_EQ(lines.mid(2, 4), kReport.split(QStringLiteral("\r\n")));

  QTest::mouseClick(panel->UrlLabel2, Qt::LeftButton);
  QTest::mouseClick(panel->UrlLabel1, Qt::LeftButton);
  const QStringList& opened = opener_.Addresses();
  ASSERT_EQ(opened.size(), 2);
  for (QChar c : opened[0]) {
    EXPECT_TRUE(c.unicode() > 0x20 && c.unicode() < 0x7F) << "sent as it is: " << int(c.unicode());
  }
  EXPECT_EQ(std::pair(opened[0].count(u'?'), opened[0].count(u'&')), (std::pair<qsizetype, qsizetype>(1, 1)))
      << "one query of two fields: " << opened[0].toStdString();
  EXPECT_TRUE(opened[0].contains(QStringLiteral("%0D%0A")) && opened[0].contains(QStringLiteral("%C3%A0")));
  const QUrl mail(opened[0], QUrl::StrictMode);
  ASSERT_TRUE(mail.isValid()) << opened[0].toStdString();
  EXPECT_EQ(mail.scheme() + QLatin1Char(':') + mail.path(),
            QStringLiteral("mailto:") + QString::fromLatin1(TInfoPanel::kMailAddress));
  const QUrlQuery query(mail);
  EXPECT_EQ(query.queryItemValue(QStringLiteral("Subject"), QUrl::FullyDecoded),
            QStringLiteral("Erreur de Vidorra 2.3d"));
  EXPECT_EQ(query.queryItemValue(QStringLiteral("Body"), QUrl::FullyDecoded), kReport);
  EXPECT_EQ(opened[1], QString::fromLatin1(TInfoPanel::kHomePage));

  panel->ShowErrorPanel(kReport, false);  // a second report
  QTest::mouseClick(panel->FermerErreurBtn, Qt::LeftButton);
  ExpectGivenBack(panel);
  EXPECT_TRUE(form_->isVisible()) << "not fatal: the program goes on";
  panel->ShowErrorPanel(QStringLiteral("Plus de mémoire."), true);
  EXPECT_TRUE(panel->Memo1->toPlainText().contains(QStringLiteral("Plus de mémoire.")));
  QTest::mouseClick(panel->FermerErreurBtn, Qt::LeftButton);
  EXPECT_FALSE(form_->isVisible());
}

class UrlLabelTest : public test::AppTest {};

// The scheme of each type in front of the URL (the other types' schemes are a table of the
// code's own), as given for a custom one; empty mail fields left out, the first one given
// opening the query. The hint is the address, unless the label is told otherwise.
TEST_F(UrlLabelTest, ComposesTheAddressFromItsTypeAndMailFields) {
  const struct {
    TUrlLabel::TUrlType type;
    const char *custom, *url, *subject, *body, *address;
  } kRows[] = {
      {TUrlLabel::utHttps, "", "www.orvale.fr/a b", "", "", "https://www.orvale.fr/a b"},
      {TUrlLabel::utCustom, "", "https://www.orvale.fr/", "", "", "https://www.orvale.fr/"},
      {TUrlLabel::utCustom, "irc://", "irc.orvale.fr", "", "", "irc://irc.orvale.fr"},
      {TUrlLabel::utMail, "", "a@b.fr", "", "", "mailto:a@b.fr"},
      {TUrlLabel::utMail, "", "a@b.fr", "S", "", "mailto:a@b.fr?Subject=S"},
      {TUrlLabel::utMail, "", "a@b.fr", "", "B", "mailto:a@b.fr?Body=B"},
      {TUrlLabel::utMail, "", "a@b.fr", "S", "B", "mailto:a@b.fr?Subject=S&Body=B"},
      {TUrlLabel::utMail, "", "a@b.fr?cc=c@b.fr", "S", "", "mailto:a@b.fr?cc=c@b.fr&Subject=S"},
  };
  for (const auto& row : kRows) {
    TUrlLabel label;
    label.SetURLType(row.type);
    label.SetCustomURLType(QString::fromLatin1(row.custom));
    label.SetURL(QString::fromUtf8(row.url));
    label.SetMailSubject(QString::fromLatin1(row.subject));
    label.SetMailBody(QString::fromLatin1(row.body));
    EXPECT_EQ(label.Address(), QString::fromUtf8(row.address));
    EXPECT_EQ(label.toolTip(), label.Address()) << "the hint is the address";
  }
  TUrlLabel label;
  label.SetShowUrlHint(false);
  label.setToolTip(QStringLiteral("mine"));
  label.SetURL(QStringLiteral("c@d.fr"));
  EXPECT_EQ(label.toolTip(), QStringLiteral("mine")) << "without the URL hint, left alone";
}

// Under the mouse the link lights up and is underlined, and is plain again once it has left,
// no style of its own left behind; a label told not to follow the mouse keeps its colour. Only
// a left click released on the link opens it; a link the desktop cannot open gives no message
// (AppTest fails on any report).
TEST_F(UrlLabelTest, TheMouseOverItAndALeftClickHandTheAddressToTheDesktop) {
  TUrlLabel label;
  const QString family = QFontInfo(label.font()).family();
  EXPECT_TRUE(family == QStringLiteral("Verdana") || family == QStringLiteral("Liberation Sans"))
      << family.toStdString();
  const QColor inactive = label.palette().color(QPalette::WindowText);
  QFont bold = label.font();
  bold.setBold(true);
  label.setFont(bold);
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(&label, &enter);
  EXPECT_NE(label.palette().color(QPalette::WindowText), inactive);
  EXPECT_TRUE(label.font().underline());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&label, &leave);
  EXPECT_EQ(label.palette().color(QPalette::WindowText), inactive);
  EXPECT_FALSE(label.font().underline() || label.font().bold());

  test::RecordingOpener opener;
  label.setText(QStringLiteral("Homepage de Orvale"));
  label.resize(150, 16);
  label.SetURLType(TUrlLabel::utCustom);
  label.SetURL(QStringLiteral("https://www.orvale.fr/vidorra/"));
  label.show();
  QTest::mouseClick(&label, Qt::RightButton);
  QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(400, 5));
  EXPECT_TRUE(opener.Addresses().isEmpty());
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(opener.Addresses(), QStringList{QStringLiteral("https://www.orvale.fr/vidorra/")});
  test::RecordingOpener refusing(false);
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(refusing.Addresses(), QStringList{QStringLiteral("https://www.orvale.fr/vidorra/")});

  label.SetDetectMouse(false);
  label.SetFontColour(Qt::darkGreen);
  QApplication::sendEvent(&label, &enter);
  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::darkGreen));
  EXPECT_FALSE(label.font().underline());
}

// A real JPEG file that reads back with the picture's size, orientation and colours, from a
// bitmap as the grabber fills it (bottom-up or top-down, 24 or 32 bits); the quality clamped;
// failures are errors, not silence.
TEST(JpegImage, WritesAFileThatReadsBackUprightInItsColours) {
  constexpr QRgb kTop = qRgb(200, 30, 40);  // a red top half over a blue bottom half
  constexpr QRgb kBottom = qRgb(20, 40, 210);
  QTemporaryDir dir;
  for (const auto& [height, bits] : {std::pair{576, 24}, std::pair{-576, 24}, std::pair{576, 32}}) {
    SCOPED_TRACE(height * 100 + bits);
    TBitmap bitmap(720, height, bits);
    for (int y = 0; y < 576; ++y) {
      const QRgb colour = y < 288 ? kTop : kBottom;
      auto* row = const_cast<uint8_t*>(bitmap.ScanLine(y));
      for (int x = 0; x < 720; ++x) {
        for (int c = 0; c < 3; ++c) row[x * bits / 8 + c] = static_cast<uint8_t>(colour >> (8 * c));
      }
    }
    TJpegImage jpeg;
    jpeg.SetCompressionQuality(90);
    jpeg.Assign(bitmap);
    const QString path = dir.filePath(QStringLiteral("%1.jpg").arg(height * 100 + bits));
    jpeg.SaveToFile(path);
    const QImage back(path);
    ASSERT_EQ(back.size(), QSize(720, 576));
    for (const auto& [y, expected] : {std::pair{100, kTop}, std::pair{476, kBottom}}) {
      const QColor seen = back.pixelColor(360, y);
      EXPECT_NEAR(seen.red(), qRed(expected), 6) << y;
      EXPECT_NEAR(seen.green(), qGreen(expected), 6) << y;
      EXPECT_NEAR(seen.blue(), qBlue(expected), 6) << y;
    }
  }
  TJpegImage jpeg;
  jpeg.SetCompressionQuality(0);
  EXPECT_EQ(jpeg.CompressionQuality(), 1);
  jpeg.SetCompressionQuality(101);
  EXPECT_EQ(jpeg.CompressionQuality(), 100);
  EXPECT_THROW(jpeg.SaveToFile(QStringLiteral("/tmp/never.jpg")), vidorra::Exception);
  jpeg.Assign(QImage(8, 8, QImage::Format_RGB32));
  EXPECT_THROW(jpeg.SaveToFile(QStringLiteral("/no/such/folder/x.jpg")), vidorra::Exception);
}

}  // namespace
}  // namespace vidorra
