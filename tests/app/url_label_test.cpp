// The link label: the address it composes from its type, URL, subject and body; its hint; its
// look under the mouse; a click hands the address to the desktop (a recording opener here).
#include <QEnterEvent>
#include <QFontInfo>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>
#include <string>
#include <vector>

#include "AppTestEnvironment.h"
#include "UrlLabel.h"

namespace vidorra {
namespace {

// The subject and body that a mail program takes from a mailto address.
struct Mail {
  QString to, subject, body;
};
Mail DecodeMail(const QString& address) {
  const QUrl url(address, QUrl::StrictMode);
  EXPECT_TRUE(url.isValid()) << address.toStdString();
  EXPECT_EQ(url.scheme(), QStringLiteral("mailto"));
  const QUrlQuery query(url);
  Mail mail;
  mail.to = url.path();
  for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
    if (name.compare(QStringLiteral("subject"), Qt::CaseInsensitive) == 0) mail.subject = value;
    if (name.compare(QStringLiteral("body"), Qt::CaseInsensitive) == 0) mail.body = value;
  }
  return mail;
}

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
      {TUrlLabel::utHttp, "", "www.orvale.fr", "", "", "http://www.orvale.fr"},
      {TUrlLabel::utHttps, "", "www.orvale.fr/a b", "", "", "https://www.orvale.fr/a b"},
      {TUrlLabel::utFtp, "", "ftp.orvale.fr", "", "", "ftp://ftp.orvale.fr"},
      {TUrlLabel::utFile, "", "/tmp/x", "", "", "file:///tmp/x"},
      {TUrlLabel::utNews, "", "fr.rec.video", "", "", "news:fr.rec.video"},
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
}

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
  EXPECT_TRUE(address.startsWith(QStringLiteral("mailto:vidorra@orvale.fr?Subject=")));
  for (QChar c : address) {
    EXPECT_TRUE(c.unicode() > 0x20 && c.unicode() < 0x7F)
        << "not sent as it is: " << int(c.unicode());
  }
  EXPECT_EQ(address.count(QLatin1Char('?')), 1);
  EXPECT_EQ(address.count(QLatin1Char('&')), 1);
  const Mail mail = DecodeMail(address);
  EXPECT_EQ(mail.to, QStringLiteral("vidorra@orvale.fr"));
  EXPECT_EQ(mail.subject, subject);
  EXPECT_EQ(mail.body, body);
  EXPECT_TRUE(address.contains(QStringLiteral("%0D%0A"))) << "line breaks as CR LF";
  EXPECT_TRUE(address.contains(QStringLiteral("%C3%A9"))) << "é in UTF-8";
}

TEST_F(UrlLabelTest, WithShowUrlHintOffTheHintIsLeftAlone) {
  TUrlLabel label;
  label.SetShowUrlHint(false);
  label.setToolTip(QStringLiteral("mine"));
  label.SetURL(QStringLiteral("c@d.fr"));
  EXPECT_EQ(label.toolTip(), QStringLiteral("mine"));
}

TEST_F(UrlLabelTest, DefaultsAndTheMouseOverIt) {
  TUrlLabel label;
  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(label.font().pixelSize(), 11);
  const QString family = QFontInfo(label.font()).family();
  EXPECT_TRUE(family == QStringLiteral("Verdana") || family == QStringLiteral("Liberation Sans"))
      << family.toStdString();

  label.setFont([&] {
    QFont bold = label.font();
    bold.setBold(true);
    return bold;
  }());
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(&label, &enter);
  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_TRUE(label.font().underline());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&label, &leave);
  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_FALSE(label.font().underline());
  EXPECT_FALSE(label.font().bold()) << "no style left";

  label.SetDetectMouse(false);
  label.SetFontColour(Qt::darkGreen);
  QApplication::sendEvent(&label, &enter);
  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::darkGreen));
  EXPECT_FALSE(label.font().underline());
}

TEST_F(UrlLabelTest, ALeftClickHandsTheAddressToTheDesktopWhichMayRefuseIt) {
  test::RecordingOpener opener;
  TUrlLabel label;
  label.setText(QStringLiteral("Homepage de Orvale"));
  label.resize(150, 16);
  label.SetURLType(TUrlLabel::utCustom);
  label.SetURL(QStringLiteral("https://www.orvale.fr/vidorra/"));
  label.show();

  QTest::mouseClick(&label, Qt::RightButton);
  EXPECT_TRUE(opener.Addresses().isEmpty()) << "only the left button opens";
  QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(400, 5));
  EXPECT_TRUE(opener.Addresses().isEmpty()) << "released away from the link";
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(opener.Addresses(), QStringList{QStringLiteral("https://www.orvale.fr/vidorra/")});

  // A link the desktop cannot open gives no message (AppTest fails on any report).
  test::RecordingOpener refusing(false);
  QTest::mouseClick(&label, Qt::LeftButton);
  EXPECT_EQ(refusing.Addresses(), QStringList{QStringLiteral("https://www.orvale.fr/vidorra/")});
}

}  // namespace
}  // namespace vidorra
