// The about and error panels driven as a user would: shown over the window shrunk to them and
// given back, in front with their texts inside them, closed by "Fermer" or Esc, the focus kept
// inside; the error report and the mail link carrying it exactly; a fatal error.
#include <QGraphicsEffect>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QUrl>
#include <QUrlQuery>

#include "AppTestSupport.h"
#include "UrlLabel.h"

namespace vidorra {
namespace {

// The start-up report of two missing filters, as the window's first show forms it.
const QString kTwoFilters = QString::fromUtf8(
    "Le filtre SampleGrabber n'est pas installé.\r\n"
    "Le filtre DV Splitter n'est pas installé.\r\n"
    "\r\nVous avez directX version 4.09.00.0904");

class PanelsTest : public test::FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
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

  QSize outerSize_;
  test::RecordingOpener opener_;
};

TEST_F(PanelsTest, AboutPanelShowsOverTheWindowAndFermerOrEscGiveItBack) {
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
}

// The report is shown between the panel's own lines, and the mail link hands the desktop a
// mail whose subject and body are exactly the program's and the report; the home page link.
TEST_F(PanelsTest, ErrorPanelShowsTheReportAndMailsItExactly) {
  TErreurFrame* panel = form_->ErreurFrame1;
  panel->ShowErrorPanel(kTwoFilters, false);
  ExpectCovered(panel, QSize(320, 446));
  EXPECT_TRUE(panel->FermerErreurBtn->hasFocus());
  const QStringList lines = panel->Memo1->toPlainText().split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 6);
  EXPECT_EQ(lines.mid(2, 4), kTwoFilters.split(QStringLiteral("\r\n")));

  QTest::mouseClick(panel->UrlLabel2, Qt::LeftButton);
  QTest::mouseClick(panel->UrlLabel1, Qt::LeftButton);
  const QStringList& opened = opener_.Addresses();
  ASSERT_EQ(opened.size(), 2);
  const QUrl mail(opened[0], QUrl::StrictMode);
  ASSERT_TRUE(mail.isValid()) << opened[0].toStdString();
  EXPECT_EQ(mail.scheme() + QLatin1Char(':') + mail.path(),
            QStringLiteral("mailto:") + QString::fromLatin1(TInfoPanel::kMailAddress));
  const QUrlQuery query(mail);
  EXPECT_EQ(query.queryItemValue(QStringLiteral("Subject"), QUrl::FullyDecoded),
            QStringLiteral("Erreur de Vidorra 2.3d"));
  EXPECT_EQ(query.queryItemValue(QStringLiteral("Body"), QUrl::FullyDecoded), kTwoFilters);
  EXPECT_EQ(opened[1], QString::fromLatin1(TInfoPanel::kHomePage));

  QTest::mouseClick(panel->FermerErreurBtn, Qt::LeftButton);
  ExpectGivenBack(panel);
  EXPECT_TRUE(form_->isVisible()) << "not fatal: the program goes on";
}

// A panel shown over the other keeps the window's own size to come back to; a fatal error
// closes the window with its panel.
TEST_F(PanelsTest, APanelOverAnotherAndAFatalError) {
  QTest::mouseClick(form_->AproposBtn, Qt::LeftButton);
  form_->ErreurFrame1->ShowErrorPanel(kTwoFilters, false);
  EXPECT_FALSE(form_->AproposFrame1->isVisible());
  EXPECT_EQ(form_->AproposFrame1->pos(), QPoint(-500, 0));
  ExpectCovered(form_->ErreurFrame1, QSize(320, 446));
  form_->ErreurFrame1->ShowErrorPanel(kTwoFilters, false);  // a second report
  QTest::mouseClick(form_->ErreurFrame1->FermerErreurBtn, Qt::LeftButton);
  ExpectGivenBack(form_->ErreurFrame1);

  form_->ErreurFrame1->ShowErrorPanel(QStringLiteral("Plus de mémoire."), true);
  EXPECT_TRUE(
      form_->ErreurFrame1->Memo1->toPlainText().contains(QStringLiteral("Plus de mémoire.")));
  QTest::mouseClick(form_->ErreurFrame1->FermerErreurBtn, Qt::LeftButton);
  EXPECT_FALSE(form_->isVisible());
}

}  // namespace
}  // namespace vidorra
