// TJpegImage writes a real JPEG file that reads back with the picture's size, orientation and
// colours, from a Qt image or from a bitmap as the grabber fills it.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <utility>

#include "Bitmap.h"
#include "Exception.h"
#include "JpegImage.h"

namespace {

// A red top half over a blue bottom half.
constexpr QRgb kTop = qRgb(200, 30, 40);
constexpr QRgb kBottom = qRgb(20, 40, 210);

QImage TwoHalves() {
  QImage picture(720, 576, QImage::Format_RGB32);
  picture.fill(kTop);
  for (int y = 288; y < 576; ++y) {
    for (int x = 0; x < 720; ++x) picture.setPixel(x, y, kBottom);
  }
  return picture;
}

// The same picture in a DIB, rows stored bottom-up (positive height) or top-down.
void Paint(TBitmap& bitmap) {
  const int bytes = bitmap.BitsPerPixel() / 8;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const QRgb colour = y < bitmap.Height() / 2 ? kTop : kBottom;
    auto* row = const_cast<uint8_t*>(bitmap.ScanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x) {
      row[x * bytes] = static_cast<uint8_t>(qBlue(colour));
      row[x * bytes + 1] = static_cast<uint8_t>(qGreen(colour));
      row[x * bytes + 2] = static_cast<uint8_t>(qRed(colour));
    }
  }
}

TEST(JpegImage, WritesAFileThatReadsBackUprightInItsColours) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const struct {
    const char* source;
    int height;  // of the bitmap; 0: a Qt image
    int bits;
  } kSources[] = {{"image", 0, 0}, {"bottom-up", 576, 24}, {"top-down", -576, 24}, {"32", 576, 32}};
  for (const auto& c : kSources) {
    SCOPED_TRACE(c.source);
    TJpegImage jpeg;
    jpeg.SetCompressionQuality(90);
    if (c.height == 0) {
      jpeg.Assign(TwoHalves());
    } else {
      TBitmap bitmap(720, c.height, c.bits);
      Paint(bitmap);
      jpeg.Assign(bitmap);
    }
    const QString path = dir.filePath(QString::fromLatin1(c.source) + QStringLiteral(".jpg"));
    jpeg.SaveToFile(path);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 4);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);  // SOI marker
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
    const QImage back(path);
    ASSERT_EQ(back.size(), QSize(720, 576));
    for (const auto& [y, expected] : {std::pair{100, kTop}, std::pair{476, kBottom}}) {
      const QColor seen = back.pixelColor(360, y);
      EXPECT_NEAR(seen.red(), qRed(expected), 6) << y;
      EXPECT_NEAR(seen.green(), qGreen(expected), 6) << y;
      EXPECT_NEAR(seen.blue(), qBlue(expected), 6) << y;
    }
  }
}

// A better quality giving a bigger file is checked on the grabs of the window's tests.
TEST(JpegImage, QualityIsClampedAndFailuresAreErrorsNotSilence) {
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
