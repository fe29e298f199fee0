// TJpegImage writes a real JPEG file that reads back with the picture's size, orientation and
// colours, from a bitmap as the grabber fills it (the window's grabs are read back by ffprobe
// with their frame numbers, a better quality taking more room).
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include "Bitmap.h"
#include "Exception.h"
#include "JpegImage.h"

namespace {

TEST(JpegImage, WritesAFileThatReadsBackUprightInItsColours) {
  // A red top half over a blue bottom half, in bitmaps stored bottom-up or top-down.
  constexpr QRgb kTop = qRgb(200, 30, 40);
  constexpr QRgb kBottom = qRgb(20, 40, 210);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const auto& [height, bits] : {std::pair{576, 24}, std::pair{-576, 24}, std::pair{576, 32}}) {
    SCOPED_TRACE(height * 100 + bits);
    TBitmap bitmap(720, height, bits);
    for (int y = 0; y < 576; ++y) {
      const QRgb colour = y < 288 ? kTop : kBottom;
      auto* row = const_cast<uint8_t*>(bitmap.ScanLine(y));
      for (int x = 0; x < 720; ++x) {
        row[x * bits / 8] = static_cast<uint8_t>(qBlue(colour));
        row[x * bits / 8 + 1] = static_cast<uint8_t>(qGreen(colour));
        row[x * bits / 8 + 2] = static_cast<uint8_t>(qRed(colour));
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
}

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
