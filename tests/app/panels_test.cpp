// The link label the about and error panels are made of: the address it composes, its look
// under the mouse, its clicks. The JPEG image the window's grabs are written with.

#include "AppTestSupport.h"
#include "Exception.h"
#include "JpegImage.h"

namespace vidorra {
namespace {

class UrlLabelTest : public test::AppTest {};

// The scheme of each type in front of the URL (the other types' schemes are a table of the
// code's own), as given for a custom one; empty mail fields left out, the first one given
// opening the query. The hint is the address, unless the label is told otherwise.
TEST_F(UrlLabelTest, ComposesItsAddressLightsUnderTheMouseAndHandsItToTheDesktopOnALeftClick) {
  const struct {
    TUrlLabel::TUrlType type;
    const char *custom, *url, *subject, *body, *address;
  } kRows[] = {
      {TUrlLabel::utHttps, "", "www.orvale.fr/a b", "", "", "https://www.orvale.fr/a b"},
      {TUrlLabel::utCustom, "irc://", "irc.orvale.fr", "", "", "irc://irc.orvale.fr"},
      {TUrlLabel::utMail, "", "a@b.fr", "", "", "mailto:a@b.fr"},
      {TUrlLabel::utMail, "", "a@b.fr", "S", "B", "mailto:a@b.fr?Subject=S&Body=B"},
      {TUrlLabel::utMail, "", "a@b.fr?cc=c@b.fr", "S", "", "mailto:a@b.fr?cc=c@b.fr&Subject=S"},
  };
  for (const auto& row : kRows) {
    TUrlLabel label;
    label.SetCustomURLType(QString::fromLatin1(row.custom));
    label.SetURL(QString::fromUtf8(row.url));
    label.SetMailSubject(QString::fromLatin1(row.subject));
    label.SetMailBody(QString::fromLatin1(row.body));
    label.SetURLType(row.type);  // last: the hint follows a change of type too
    EXPECT_EQ(label.Address(), QString::fromUtf8(row.address));
    EXPECT_EQ(label.toolTip(), label.Address()) << "the hint is the address";
  }
  TUrlLabel hinted;
  hinted.SetShowUrlHint(false);
  hinted.setToolTip(QStringLiteral("mine"));
  hinted.SetURL(QStringLiteral("c@d.fr"));
  EXPECT_EQ(hinted.toolTip(), QStringLiteral("mine")) << "without the URL hint, left alone";

  // Under the mouse the link lights up and is underlined, and is plain again once it has left,
  // no style of its own left behind; a label told not to follow the mouse keeps its colour. Only
  // a left click released on the link opens it; a link the desktop cannot open gives no message
  // (AppTest fails on any report).
  TUrlLabel label;
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
