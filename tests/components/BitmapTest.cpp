// TBitmap: DIBs made by CreateDIBSection, BMP files read back by Qt and by ffprobe.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstring>

#include "Bitmap.h"

namespace {

// Paints a recognisable picture: red left half, blue right half, a green top row.
void Paint(TBitmap& bitmap) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    auto* row = const_cast<uint8_t*>(bitmap.ScanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x) {
      uint8_t* px = row + 3 * x;  // blue, green, red
      if (y == 0) {
        px[0] = 0, px[1] = 255, px[2] = 0;
      } else if (x < bitmap.Width() / 2) {
        px[0] = 0, px[1] = 0, px[2] = 255;
      } else {
        px[0] = 255, px[1] = 0, px[2] = 0;
      }
    }
  }
}

QString Ffprobe(const QString& path) {
  const QString program = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
  if (program.isEmpty()) return {};
  QProcess probe;
  probe.start(program,
              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
               QStringLiteral("stream=codec_name,width,height,pix_fmt"), QStringLiteral("-of"),
               QStringLiteral("csv=p=0"), path});
  if (!probe.waitForFinished(10000) || probe.exitCode() != 0) return QStringLiteral("failed");
  return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

}  // namespace

TEST(Bitmap, RowsArePaddedToFourBytes) {
  TBitmap bitmap(5, 3);
  EXPECT_EQ(bitmap.RowBytes(), 16u);  // 15 bytes of pixels, padded
  EXPECT_EQ(bitmap.ImageSize(), 48u);
  EXPECT_FALSE(bitmap.TopDown());
  TBitmap pal(720, 576);
  EXPECT_EQ(pal.RowBytes(), 2160u);
  TBitmap topDown(4, -2);
  EXPECT_TRUE(topDown.TopDown());
  EXPECT_EQ(topDown.Height(), 2);
  EXPECT_EQ(topDown.ScanLine(0), topDown.Bits()) << "top-down: the first row stored first";
  EXPECT_EQ(bitmap.ScanLine(0), bitmap.Bits() + 2 * 16) << "bottom-up: the top row last";
}

TEST(Bitmap, UnusableSizesRaise) {
  EXPECT_THROW(TBitmap(0, 10), vidorra::Exception);
  EXPECT_THROW(TBitmap(10, 10, 7), vidorra::Exception);
  EXPECT_THROW(TBitmap(100000, 100000), vidorra::Exception);
}

TEST(Bitmap, ReplacingTheHandleFreesTheOldImage) {
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
}

TEST(Bitmap, ImageShowsThePixelsTheRightWayUp) {
  for (int height : {6, -6}) {
    TBitmap bitmap(8, height);
    Paint(bitmap);
    const QImage image = bitmap.ToImage();
    ASSERT_EQ(image.size(), QSize(8, 6));
    EXPECT_EQ(image.pixel(3, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(1, 5), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(6, 5), qRgb(0, 0, 255));
  }
}

TEST(Bitmap, BmpFilesOpenInQtAndFfprobe) {
  QTemporaryDir dir;
  for (int height : {21, -21}) {
    TBitmap bitmap(30, height);  // 90 bytes of pixels per row, padded to 92
    Paint(bitmap);
    const QString path = dir.filePath(QStringLiteral("grab%1.bmp").arg(height));
    bitmap.SaveToFile(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    EXPECT_EQ(data.left(2), QByteArray("BM"));
    EXPECT_EQ(data.size(), 14 + 40 + 92 * 21);

    QImage image(path);
    ASSERT_FALSE(image.isNull()) << path.toStdString();
    EXPECT_EQ(image.size(), QSize(30, 21));
    EXPECT_EQ(image.pixel(10, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(2, 20), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(29, 20), qRgb(0, 0, 255));

    const QString probed = Ffprobe(path);
    if (probed.isEmpty()) GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_EQ(probed, QStringLiteral("bmp,30,21,bgr24")) << probed.toStdString();
  }
}

TEST(Bitmap, SaveFailureRaisesAndLeavesNoFile) {
  QTemporaryDir dir;
  TBitmap bitmap(4, 4);
  const QString path = dir.filePath(QStringLiteral("missing/folder/grab.bmp"));
  EXPECT_THROW(bitmap.SaveToFile(path), vidorra::Exception);
  EXPECT_FALSE(QFile::exists(path));
  TBitmap empty;
  EXPECT_THROW(empty.SaveToFile(dir.filePath(QStringLiteral("empty.bmp"))), vidorra::Exception);
}
