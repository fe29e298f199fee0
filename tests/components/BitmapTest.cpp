// TBitmap: rows as CreateDIBSection lays them out, BMP files read back by Qt (the window's grabs
// are read back by ffprobe too), the handle's replacement and what it refuses.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "Bitmap.h"

// A recognisable picture, bottom-up or top-down: a green top row over a red left half and a
// blue right half, read back by the bitmap's own image and from the BMP file; rows of 90 bytes
// of pixels are padded to 92.
TEST(Bitmap, RowsArePaddedAndShownAndSavedTheRightWayUp) {
  QTemporaryDir dir;
  for (int height : {21, -21}) {
    SCOPED_TRACE(height);
    TBitmap bitmap(30, height);
    ASSERT_EQ(bitmap.RowBytes(), 92u);
    EXPECT_EQ(bitmap.ImageSize(), 92u * 21);
    EXPECT_EQ(bitmap.ScanLine(0), bitmap.Bits() + (height > 0 ? 20 * 92 : 0)) << "the top row";
    for (int y = 0; y < 21; ++y) {
      auto* row = const_cast<uint8_t*>(bitmap.ScanLine(y));
      for (int x = 0; x < 30; ++x) {
        const QRgb c = y == 0 ? qRgb(0, 255, 0) : x < 15 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
        row[3 * x] = qBlue(c), row[3 * x + 1] = qGreen(c), row[3 * x + 2] = qRed(c);
      }
    }
    const QString path = dir.filePath(QStringLiteral("grab%1.bmp").arg(height));
    bitmap.SaveToFile(path);
    EXPECT_EQ(QFile(path).size(), 14 + 40 + 92 * 21);
    for (const QImage& image : {bitmap.ToImage(), QImage(path)}) {
      ASSERT_EQ(image.size(), QSize(30, 21));
      EXPECT_EQ(image.pixel(10, 0), qRgb(0, 255, 0));
      EXPECT_EQ(image.pixel(2, 20), qRgb(255, 0, 0));
      EXPECT_EQ(image.pixel(29, 20), qRgb(0, 0, 255));
    }
  }
}

TEST(Bitmap, ANewHandleFreesTheOldImageAndUnusableBitmapsAreRefused) {
  TBitmap bitmap(8, 8);
  HBITMAP old = bitmap.Handle();
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, 2, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP fresh = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(fresh, nullptr);
  bitmap.SetHandle(fresh);
  EXPECT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(bitmap.BitsPerPixel(), 32);
  EXPECT_EQ(bitmap.Bits(), bits);
  EXPECT_EQ(DeleteObject(old), FALSE) << "already freed";

  EXPECT_THROW(TBitmap(0, 10), vidorra::Exception);
  EXPECT_THROW(TBitmap(10, 10, 7), vidorra::Exception);
  EXPECT_THROW(TBitmap(100000, 100000), vidorra::Exception);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("missing/folder/grab.bmp"));
  EXPECT_THROW(bitmap.SaveToFile(path), vidorra::Exception);
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_THROW(TBitmap().SaveToFile(dir.filePath(QStringLiteral("empty.bmp"))), vidorra::Exception);
}
