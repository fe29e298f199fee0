// The about and error panels driven as a user would: their texts, controls and places, the
// window shrunk to a panel and given back, the links' addresses as the desktop receives them.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>
#include <string>

#include "UrlLabel.h"
#include "WindowTestSupport.h"

namespace vidorra {
namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

// The start-up report of two missing filters, as the window's first show forms it.
QString TwoFiltersReport() {
  return Utf8(
      "Le filtre SampleGrabber n'est pas installé.\r\n"
      "Le filtre DV Splitter n'est pas installé.\r\n"
      "\r\nVous avez directX version 4.09.00.0904");
}

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

  // What is under the client area's point `at`, seen from the top of the stacking order.
  QWidget* PanelAt(QPoint at) const {
    QWidget* child = Client()->childAt(at);
    while (child != nullptr && child->parentWidget() != Client()) child = child->parentWidget();
    return child;
  }

  void ExpectCovered(TInfoPanel* panel, QSize size) {
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), QRect(QPoint(0, 0), size));
    EXPECT_EQ(Client()->size(), size);
    EXPECT_EQ(PanelAt(QPoint(size.width() / 2, size.height() - 2)), panel) << "in front";
    EXPECT_FALSE(MenuShown());
    EXPECT_LT(form_->frameGeometry().width(), outerSize_.width());
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

TEST_F(PanelsTest, AboutPanelShowsOverTheWindowAndFermerGivesItBack) {
  TAproposFrame* about = form_->AproposFrame1;
  QTest::mouseClick(form_->AproposBtn, Qt::LeftButton);
  ExpectCovered(about, QSize(300, 408));
  EXPECT_EQ(TInfoPanel::SavedFormWidth, outerSize_.width());
  EXPECT_EQ(TInfoPanel::SavedFormHeight, outerSize_.height());
  EXPECT_EQ(about->RxLabel1->text(), QStringLiteral("Vidorra 2.3d"));
  EXPECT_EQ(about->FermerBtn->text(), QStringLiteral("Fermer"));
  EXPECT_TRUE(about->FermerBtn->hasFocus());
  EXPECT_EQ(about->UrlLabel1->text(), QStringLiteral("Homepage de Orvale"));
  EXPECT_EQ(about->UrlLabel2->text(), QStringLiteral("e-mail de Orvale"));

  // The about text: five paragraphs with an empty line between them.
  const QStringList lines = about->Memo1->toPlainText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 9) << about->Memo1->toPlainText().toStdString();
  for (int i : {1, 3, 5, 7}) EXPECT_TRUE(lines[i].isEmpty()) << i;
  EXPECT_EQ(lines[2], Utf8("Sa dernière mise à jour date du 15 février 2004"));
  EXPECT_EQ(lines[6], Utf8("Pour avoir une aide sur son utilisation, des informations, des mises à "
                           "jour éventuelles rendez-vous sur mon site web."));
  EXPECT_EQ(lines[8], Utf8("Par ailleurs un e-mail fait toujours plaisir, si vous utilisez ce "
                           "programme ou avez des suggestions."));
  EXPECT_TRUE(about->Memo1->isReadOnly());

  QTest::mouseClick(about->FermerBtn, Qt::LeftButton);
  ExpectGivenBack(about);

  // Esc closes it as well (cancel-style button); it opens again as often as asked.
  QTest::mouseClick(form_->AproposBtn, Qt::LeftButton);
  ExpectCovered(about, QSize(300, 408));
  QTest::keyClick(about->FermerBtn, Qt::Key_Escape);
  ExpectGivenBack(about);
}

TEST_F(PanelsTest, PanelsHaveTheirControlsInPlace) {
  struct Row {
    TInfoPanel* panel;
    QSize size;
    QSize memo;
  };
  for (const Row& row : {Row{form_->AproposFrame1, {300, 408}, {289, 193}},
                         Row{form_->ErreurFrame1, {320, 446}, {297, 241}}}) {
    SCOPED_TRACE(row.panel->objectName().toStdString());
    EXPECT_EQ(row.panel->size(), row.size);
    auto* memo = row.panel->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->size(), row.memo);
    EXPECT_EQ(memo->frameShape(), QFrame::NoFrame);
    EXPECT_TRUE(memo->font().italic());
    EXPECT_EQ(memo->palette().color(QPalette::Base), row.panel->palette().color(QPalette::Window));
    auto* picture = row.panel->findChild<QLabel*>(QStringLiteral("Image1"));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), QSize(108, 81));
    EXPECT_TRUE(picture->hasScaledContents());
    EXPECT_FALSE(picture->pixmap().isNull()) << "the picture is built in";
    auto* icon = row.panel->findChild<QLabel*>(QStringLiteral("Image2"));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
    auto* title = row.panel->findChild<QLabel*>(QStringLiteral("RxLabel1"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->palette().color(QPalette::WindowText), QColor(128, 0, 0));
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->font().pixelSize(), 19);
    EXPECT_NE(title->graphicsEffect(), nullptr) << "shadow";
    for (QWidget* child : row.panel->findChildren<QWidget*>()) {
      EXPECT_TRUE(QRect(QPoint(0, 0), row.size).contains(child->geometry()))
          << child->objectName().toStdString();
    }
    const auto links = row.panel->findChildren<TUrlLabel*>();
    ASSERT_EQ(links.size(), 2);
    for (TUrlLabel* link : links) {
      EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    }
  }
  EXPECT_FALSE(form_->windowIcon().isNull());
  EXPECT_EQ(form_->windowIcon().availableSizes().value(0), QSize(48, 48));
}

TEST_F(PanelsTest, ErrorPanelShowsTheReportAndMailsItExactly) {
  TErreurFrame* panel = form_->ErreurFrame1;
  panel->ShowErrorPanel(TwoFiltersReport(), false);
  ExpectCovered(panel, QSize(320, 446));
  EXPECT_EQ(panel->RxLabel1->text(), Utf8("Orvale est désolé:"));
  EXPECT_EQ(panel->UrlLabel2->text(), QStringLiteral("Envoyer un rapport d'erreur par e-mail"));
  EXPECT_TRUE(panel->FermerErreurBtn->hasFocus());

  const QStringList lines = panel->Memo1->toPlainText().split(QLatin1Char('\n'));
  const QStringList expected = {
      Utf8("Vidorra a diagnostiqué des problèmes potentiels sur votre système:"),
      QString(),
      Utf8("Le filtre SampleGrabber n'est pas installé."),
      Utf8("Le filtre DV Splitter n'est pas installé."),
      QString(),
      Utf8("Vous avez directX version 4.09.00.0904"),
      QString(),
      Utf8("Vous devriez m'envoyer un e-mail sur ce problème, en n'oubliant pas de préciser quel "
           "est le programme utilisé, le système d'exploitation , le fichier vidéo en cause, son "
           "codec..."),
      Utf8("Pour avoir une aide sur l'utilisation de Vidorra, des informations, des mises à jour "
           "éventuelles, vous pouvez aussi vous rendre sur mon site web."),
      QString(),
      QString(),
  };
  EXPECT_EQ(lines, expected);

  // The mail link: clicked, the desktop gets a mail whose subject and body are exactly these.
  QTest::mouseClick(panel->UrlLabel2, Qt::LeftButton);
  const QStringList& opened = opener_.Addresses();
  ASSERT_EQ(opened.size(), 1);
  const QUrl mail(opened[0], QUrl::StrictMode);
  ASSERT_TRUE(mail.isValid()) << opened[0].toStdString();
  EXPECT_EQ(mail.scheme() + QLatin1Char(':') + mail.path(),
            QStringLiteral("mailto:") + QString::fromLatin1(TInfoPanel::kMailAddress));
  const QUrlQuery query(mail);
  EXPECT_EQ(query.queryItemValue(QStringLiteral("Subject"), QUrl::FullyDecoded),
            QStringLiteral("Erreur de Vidorra 2.3d"));
  EXPECT_EQ(query.queryItemValue(QStringLiteral("Body"), QUrl::FullyDecoded), TwoFiltersReport());
  QTest::mouseClick(panel->UrlLabel1, Qt::LeftButton);
  ASSERT_EQ(opened.size(), 2);
  EXPECT_EQ(opened[1], QString::fromLatin1(TInfoPanel::kHomePage));

  QTest::mouseClick(panel->FermerErreurBtn, Qt::LeftButton);
  ExpectGivenBack(panel);
  EXPECT_TRUE(form_->isVisible()) << "not fatal: the program goes on";
}

TEST_F(PanelsTest, AFatalErrorClosesTheWindowWithThePanel) {
  form_->ErreurFrame1->ShowErrorPanel(QStringLiteral("Plus de mémoire."), true);
  EXPECT_TRUE(form_->ErreurFrame1->Memo1->toPlainText().startsWith(
      Utf8("Vidorra a rencontré une erreur fatale sur votre système:\n\nPlus de mémoire.")));
  QTest::mouseClick(form_->ErreurFrame1->FermerErreurBtn, Qt::LeftButton);
  EXPECT_FALSE(form_->isVisible());
}

TEST_F(PanelsTest, APanelShownOverAnotherKeepsTheWindowsOwnSizeToComeBackTo) {
  QTest::mouseClick(form_->AproposBtn, Qt::LeftButton);
  form_->ErreurFrame1->ShowErrorPanel(TwoFiltersReport(), false);
  EXPECT_FALSE(form_->AproposFrame1->isVisible());
  EXPECT_EQ(form_->AproposFrame1->pos(), QPoint(-500, 0));
  ExpectCovered(form_->ErreurFrame1, QSize(320, 446));
  form_->ErreurFrame1->ShowErrorPanel(TwoFiltersReport(), false);  // a second report
  EXPECT_EQ(TInfoPanel::SavedFormWidth, outerSize_.width());
  QTest::mouseClick(form_->ErreurFrame1->FermerErreurBtn, Qt::LeftButton);
  ExpectGivenBack(form_->ErreurFrame1);
}

TEST_F(PanelsTest, TabStaysInsideThePanel) {
  QTest::mouseClick(form_->AproposBtn, Qt::LeftButton);
  TAproposFrame* about = form_->AproposFrame1;
  for (int i = 0; i < 6; ++i) {
    QTest::keyClick(QApplication::focusWidget(), i % 2 == 0 ? Qt::Key_Tab : Qt::Key_Backtab);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_TRUE(about->isAncestorOf(QApplication::focusWidget()))
        << QApplication::focusWidget()->objectName().toStdString();
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_TRUE(about->isAncestorOf(QApplication::focusWidget()));
  QTest::mouseClick(about->FermerBtn, Qt::LeftButton);
  EXPECT_TRUE(form_->AproposBtn->hasFocus()) << "focus back where it was";
}

}  // namespace
}  // namespace vidorra
