// TJpegImage writes a real JPEG file that reads back with the picture's size and colours.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "Exception.h"
#include "JpegImage.h"

namespace {

TEST(JpegImage, WritesAFileThatReadsBackAtTheRightSizeAndColour) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QImage picture(720, 576, QImage::Format_RGB32);
  picture.fill(QColor(200, 30, 40));
  TJpegImage jpeg;
  jpeg.SetCompressionQuality(90);
  jpeg.Assign(picture);
  const QString path = dir.filePath(QStringLiteral("Image_0000.jpg"));
  jpeg.SaveToFile(path);

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  ASSERT_GT(bytes.size(), 4);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);  // SOI marker
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
  const QImage back(path);
  if (back.isNull()) GTEST_SKIP() << "no JPEG reader in this Qt";
  EXPECT_EQ(back.size(), QSize(720, 576));
  const QColor centre = back.pixelColor(360, 288);
  EXPECT_NEAR(centre.red(), 200, 6);
  EXPECT_NEAR(centre.green(), 30, 6);
  EXPECT_NEAR(centre.blue(), 40, 6);
}

TEST(JpegImage, QualityIsClampedAndHigherQualityGivesABiggerFile) {
  TJpegImage jpeg;
  jpeg.SetCompressionQuality(0);
  EXPECT_EQ(jpeg.CompressionQuality(), 1);
  jpeg.SetCompressionQuality(101);
  EXPECT_EQ(jpeg.CompressionQuality(), 100);

  QTemporaryDir dir;
  QImage picture(256, 256, QImage::Format_RGB32);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) picture.setPixel(x, y, qRgb(x, y, (x * y) & 0xFF));
  }
  jpeg.Assign(picture);
  jpeg.SetCompressionQuality(5);
  jpeg.SaveToFile(dir.filePath(QStringLiteral("low.jpg")));
  jpeg.SetCompressionQuality(95);
  jpeg.SaveToFile(dir.filePath(QStringLiteral("high.jpg")));
  EXPECT_LT(QFile(dir.filePath(QStringLiteral("low.jpg"))).size(),
            QFile(dir.filePath(QStringLiteral("high.jpg"))).size());
}

TEST(JpegImage, FailuresAreErrorsNotSilence) {
  TJpegImage jpeg;
  EXPECT_THROW(jpeg.SaveToFile(QStringLiteral("/tmp/never.jpg")), vidorra::Exception);
  jpeg.Assign(QImage(8, 8, QImage::Format_RGB32));
  EXPECT_THROW(jpeg.SaveToFile(QStringLiteral("/no/such/folder/x.jpg")), vidorra::Exception);
}

}  // namespace
