// The link label: the address it composes from its type, URL, subject and body, which is its
// hint; its look under the mouse; a click hands the address to the desktop (a recorder here).
#include <QEnterEvent>
#include <QFontInfo>
#include <QUrl>
#include <QUrlQuery>

#include "AppTestSupport.h"
#include "UrlLabel.h"

namespace vidorra {
namespace {

class UrlLabelTest : public test::AppTest {};

TEST_F(UrlLabelTest, ComposesTheAddressFromItsTypeAndMailFields) {
  const struct {
    TUrlLabel::TUrlType type;
    const char* custom;
    const char* url;
    const char* subject;
    const char* body;
    const char* address;
  } kRows[] = {
      // The scheme of each type in front of the URL (the other types' schemes are a table of
      // the code's own), as given for a custom one.
      {TUrlLabel::utHttps, "", "www.orvale.fr/a b", "", "", "https://www.orvale.fr/a b"},
      {TUrlLabel::utCustom, "", "https://www.orvale.fr/", "", "", "https://www.orvale.fr/"},
      {TUrlLabel::utCustom, "irc://", "irc.orvale.fr", "", "", "irc://irc.orvale.fr"},
      // Empty mail fields are left out; the first one given opens the query.
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

// Whatever the subject and body hold, the mail program gets exactly them back: the address is
// plain ASCII, one query, two fields, line breaks as CR LF and letters in UTF-8.
TEST_F(UrlLabelTest, MailFieldsAreEncodedSoTheMailProgramGetsExactlyThem) {
  const QString subject = QStringLiteral("Rapport & question ? été = 100% + #1 ; /x");
  const QString body = QStringLiteral(
      "Le filtre Smart Tee n'est pas installé.\r\n\r\nVous avez directX version 4.09 "
      "&Body=faux?Subject=faux#fin à é è ê ç ô ù ü € 日本");
  TUrlLabel label;
  label.SetURLType(TUrlLabel::utMail);
  label.SetURL(QStringLiteral("vidorra@orvale.fr"));
  label.SetMailSubject(subject);
  label.SetMailBody(body);
  const QString address = label.Address();
  for (QChar c : address) {
    EXPECT_TRUE(c.unicode() > 0x20 && c.unicode() < 0x7F) << "sent as it is: " << int(c.unicode());
  }
  EXPECT_EQ(address.count(QLatin1Char('?')), 1);
  EXPECT_EQ(address.count(QLatin1Char('&')), 1);
  EXPECT_TRUE(address.contains(QStringLiteral("%0D%0A")));
  EXPECT_TRUE(address.contains(QStringLiteral("%C3%A9")));
  const QUrl url(address, QUrl::StrictMode);
  ASSERT_TRUE(url.isValid()) << address.toStdString();
  EXPECT_EQ(url.scheme() + QLatin1Char(':') + url.path(),
            QStringLiteral("mailto:vidorra@orvale.fr"));
  const QUrlQuery query(url);
  EXPECT_EQ(query.queryItemValue(QStringLiteral("Subject"), QUrl::FullyDecoded), subject);
  EXPECT_EQ(query.queryItemValue(QStringLiteral("Body"), QUrl::FullyDecoded), body);
}

// Under the mouse the link lights up and is underlined, and is plain again once it has left,
// no style of its own left behind; a label told not to follow the mouse keeps its colour.
TEST_F(UrlLabelTest, TheMouseOverIt) {
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
  EXPECT_FALSE(label.font().underline());
  EXPECT_FALSE(label.font().bold());
  label.SetDetectMouse(false);
  label.SetFontColour(Qt::darkGreen);
  QApplication::sendEvent(&label, &enter);
  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::darkGreen));
  EXPECT_FALSE(label.font().underline());
}

// Only a left click released on the link opens it; a link the desktop cannot open gives no
// message (AppTest fails on any report).
TEST_F(UrlLabelTest, ALeftClickHandsTheAddressToTheDesktopWhichMayRefuseIt) {
  test::RecordingOpener opener;
  TUrlLabel label;
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
}

}  // namespace
}  // namespace vidorra
