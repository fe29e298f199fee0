// TBitmap: rows as CreateDIBSection lays them out, BMP files read back by Qt (the window's grabs
// are read back by ffprobe too), the handle's replacement and what it refuses.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "Bitmap.h"

// A recognisable picture, bottom-up or top-down, 24 or 32 bits: a green top row over a red left
// half and a blue right half, read back by the bitmap's own image and from the BMP file; rows of
// 90 bytes of pixels are padded to 92.
TEST(Bitmap, RowsArePaddedAndShownAndSavedTheRightWayUp) {
  QTemporaryDir dir;
  for (const auto& [height, bytes] : {std::pair{21, 3}, std::pair{-21, 3}, std::pair{21, 4}}) {
    SCOPED_TRACE(height * bytes);
    TBitmap bitmap(30, height, 8 * bytes);
    const uint32_t rowBytes = bytes == 3 ? 92 : 120;
    ASSERT_EQ(bitmap.RowBytes(), rowBytes);
    EXPECT_EQ(bitmap.ImageSize(), rowBytes * 21);
    EXPECT_EQ(bitmap.ScanLine(0), bitmap.Bits() + (height > 0 ? 20 * rowBytes : 0))
        << "the top row";
    for (int y = 0; y < 21; ++y) {
      auto* row = const_cast<uint8_t*>(bitmap.ScanLine(y));
      for (int x = 0; x < 30; ++x) {
        const QRgb c = y == 0 ? qRgb(0, 255, 0) : x < 15 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
        row[bytes * x] = qBlue(c), row[bytes * x + 1] = qGreen(c), row[bytes * x + 2] = qRed(c);
      }
    }
    const QString path = dir.filePath(QStringLiteral("grab%1.bmp").arg(height * bytes));
    bitmap.SaveToFile(path);
    EXPECT_EQ(QFile(path).size(), 14 + 40 + rowBytes * 21);
    for (const QImage& image : {bitmap.ToImage(), QImage(path)}) {
      ASSERT_EQ(image.size(), QSize(30, 21));
      EXPECT_EQ(image.pixel(10, 0), qRgb(0, 255, 0));
      EXPECT_EQ(image.pixel(2, 20), qRgb(255, 0, 0));
      EXPECT_EQ(image.pixel(29, 20), qRgb(0, 0, 255));
    }
  }
}

// A new handle frees the old image (a paletted one here, shown and saved in its colours);
// unusable bitmaps are refused.
TEST(Bitmap, ANewHandleFreesTheOldImageAndUnusableBitmapsAreRefused) {
  TBitmap bitmap(8, 8);
  HBITMAP old = bitmap.Handle();
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];  // blue, red
  } info{{sizeof(BITMAPINFOHEADER), 2, 2, 1, 8, BI_RGB, 0, 0, 0, 2, 0},
         {{255, 0, 0, 0}, {0, 0, 255, 0}}};
  void* bits = nullptr;
  HBITMAP fresh = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
  ASSERT_NE(fresh, nullptr);
  bitmap.SetHandle(fresh);
  EXPECT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(bitmap.Bits(), bits);
  BITMAP bm{};
  EXPECT_EQ(GetObjectA(old, sizeof bm, &bm), 0) << "freed";
  EXPECT_EQ(DeleteObject(old), FALSE) << "already freed";
  ASSERT_EQ(GetObjectA(fresh, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(std::tuple(bm.bmPlanes, bm.bmWidthBytes, bm.bmBitsPixel), std::tuple(1, 4, 8));
  static_cast<uint8_t*>(bits)[1] = 1;  // the bottom row's second pixel: red
  QTemporaryDir dir;
  bitmap.SaveToFile(dir.filePath(QStringLiteral("paletted.bmp")));
  for (const QImage& image :
       {bitmap.ToImage(), QImage(dir.filePath(QStringLiteral("paletted.bmp")))}) {
    EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(1, 1), qRgb(255, 0, 0));
  }

  EXPECT_THROW(TBitmap(0, 10), vidorra::Exception);
  EXPECT_EQ(TBitmap(1, 10).Width(), 1) << "the narrowest";
  EXPECT_THROW(TBitmap(10, 10, 7), vidorra::Exception);
  EXPECT_THROW(TBitmap(100000, 100000), vidorra::Exception);
  const QString path = dir.filePath(QStringLiteral("missing/folder/grab.bmp"));
  EXPECT_THROW(bitmap.SaveToFile(path), vidorra::Exception);
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_THROW(TBitmap().SaveToFile(dir.filePath(QStringLiteral("empty.bmp"))), vidorra::Exception);
}
