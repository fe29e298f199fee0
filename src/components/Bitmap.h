// TBitmap: a device-independent bitmap (BITMAPINFOHEADER and pixels, rows padded to 4 bytes,
// bottom-up for a positive height, top-down for a negative one) held through a GDI handle made
// by CreateDIBSection. It is the grab bitmap of the main window: the sample grabber copies a
// frame into it, the window saves it as a Windows BMP file or shows it as a QImage.
//
// UI thread only. The bitmap owns its handle and frees it (DeleteObject) when replaced or
// destroyed.
#pragma once

#include <wingdi.h>

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>
#include <cstdint>

#include "Exception.h"

class TBitmap {
 public:
  // An empty bitmap (no image).
  TBitmap() = default;
  // A zero-filled bitmap of that size; raises vidorra::Exception when it cannot be made.
  TBitmap(int width, int height, int bitsPerPixel = 24);
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  ~TBitmap();

  // Takes ownership of a DIB handle and frees the previous image.
  void SetHandle(HBITMAP handle);
  HBITMAP Handle() const { return handle_; }
  bool Empty() const { return handle_ == nullptr; }

  int Width() const { return header_.biWidth; }
  // The number of rows (positive also for a top-down bitmap).
  int Height() const { return header_.biHeight < 0 ? -header_.biHeight : header_.biHeight; }
  int BitsPerPixel() const { return header_.biBitCount; }
  bool TopDown() const { return header_.biHeight < 0; }
  uint32_t RowBytes() const { return rowBytes_; }
  uint32_t ImageSize() const { return rowBytes_ * static_cast<uint32_t>(Height()); }
  const BITMAPINFOHEADER& Header() const { return header_; }
  // The pixels as stored (rows in file order); null when empty.
  uint8_t* Bits() const { return bits_; }
  // Row `y` counted from the top of the picture.
  const uint8_t* ScanLine(int y) const;

  // Writes the Windows BMP file (file header, info header, colour table, pixels) to `out`, the
  // pixels taken straight from the bitmap; false when `out` did not take it all.
  bool WriteBmp(QIODevice& out) const;
  // Writes the BMP file; raises vidorra::Exception when it cannot (the file is then absent
  // or left as it was).
  void SaveToFile(const QString& path) const;
  // The picture for display (null image when empty or of an unsupported depth).
  QImage ToImage() const;
  // The picture stretched to `size` by picking pixels (as a stretched bitmap is drawn), made
  // without a full-size copy where the depth allows: a thumbnail.
  QImage ToThumbnail(const QSize& size) const;

 private:
  void Refresh();
  // Everything a BMP file holds before the pixels.
  QByteArray BmpHeaders() const;

  HBITMAP handle_ = nullptr;
  BITMAPINFOHEADER header_{};
  uint32_t rowBytes_ = 0;
  uint8_t* bits_ = nullptr;
};
