#include "Bitmap.h"

#include <QSaveFile>
#include <cstring>
#include <vector>

#include "LittleEndian.h"

namespace {

constexpr uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kColourEntrySize = 4;
constexpr int kMaxPaletteBits = 8;

std::vector<RGBQUAD> ColourTable(HBITMAP handle, const BITMAPINFOHEADER& header) {
  if (header.biBitCount > kMaxPaletteBits) return {};
  std::vector<RGBQUAD> colours(size_t{1} << header.biBitCount);
  colours.resize(GetDIBColorTable(handle, 0, static_cast<UINT>(colours.size()), colours.data()));
  return colours;
}

}  // namespace

TBitmap::TBitmap(int width, int height, int bitsPerPixel) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP handle = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (handle == nullptr) {
    throw vidorra::Exception(QStringLiteral("Cannot create a bitmap of %1 x %2 at %3 bits.")
                                 .arg(width)
                                 .arg(height)
                                 .arg(bitsPerPixel));
  }
  SetHandle(handle);
}

TBitmap::~TBitmap() {
  if (handle_ != nullptr) DeleteObject(handle_);
}

void TBitmap::SetHandle(HBITMAP handle) {
  if (handle == handle_) return;
  if (handle_ != nullptr) DeleteObject(handle_);
  handle_ = handle;
  Refresh();
}

void TBitmap::Refresh() {
  header_ = BITMAPINFOHEADER{};
  rowBytes_ = 0;
  bits_ = nullptr;
  if (handle_ == nullptr) return;
  DIBSECTION section{};
  if (GetObjectA(handle_, sizeof(section), &section) < static_cast<int>(sizeof(section))) {
    // Not a DIB of this platform: keep nothing that could be written through.
    DeleteObject(handle_);
    handle_ = nullptr;
    return;
  }
  header_ = section.dsBmih;
  rowBytes_ = static_cast<uint32_t>(section.dsBm.bmWidthBytes);
  bits_ = static_cast<uint8_t*>(section.dsBm.bmBits);
}

const uint8_t* TBitmap::ScanLine(int y) const {
  if (bits_ == nullptr || y < 0 || y >= Height()) return nullptr;
  const int stored = TopDown() ? y : Height() - 1 - y;
  return bits_ + static_cast<size_t>(stored) * rowBytes_;
}

bool TBitmap::WriteBmp(QIODevice& out) const {
  if (Empty()) return false;
  const QByteArray headers = BmpHeaders();
  const auto pixels = static_cast<qint64>(ImageSize());
  return out.write(headers) == headers.size() &&
         out.write(reinterpret_cast<const char*>(bits_), pixels) == pixels;
}

QByteArray TBitmap::BmpHeaders() const {
  using namespace vidorra::le;
  if (Empty()) return {};
  const std::vector<RGBQUAD> colours = ColourTable(handle_, header_);
  const bool bitfields = header_.biCompression == BI_BITFIELDS;
  const uint32_t maskBytes = bitfields ? 3 * kColourEntrySize : 0;
  const uint32_t offBits = kFileHeaderSize + kInfoHeaderSize + maskBytes +
                           static_cast<uint32_t>(colours.size()) * kColourEntrySize;
  QByteArray out;
  out.reserve(static_cast<qsizetype>(offBits));
  PutU16(out, kBmpSignature);                                   // bfType
  PutU32(out, offBits + ImageSize());                           // bfSize
  PutU16(out, 0);                                               // bfReserved1
  PutU16(out, 0);                                               // bfReserved2
  PutU32(out, offBits);                                         // bfOffBits
  PutU32(out, kInfoHeaderSize);                                 // biSize
  PutU32(out, static_cast<uint32_t>(header_.biWidth));          // biWidth
  PutU32(out, static_cast<uint32_t>(header_.biHeight));         // biHeight (negative: top-down)
  PutU16(out, 1);                                               // biPlanes
  PutU16(out, header_.biBitCount);                              // biBitCount
  PutU32(out, header_.biCompression);                           // biCompression
  PutU32(out, ImageSize());                                     // biSizeImage
  PutU32(out, static_cast<uint32_t>(header_.biXPelsPerMeter));  // biXPelsPerMeter
  PutU32(out, static_cast<uint32_t>(header_.biYPelsPerMeter));  // biYPelsPerMeter
  PutU32(out, static_cast<uint32_t>(colours.size()));           // biClrUsed
  PutU32(out, 0);                                               // biClrImportant
  if (bitfields) {
    DIBSECTION section{};
    GetObjectA(handle_, sizeof(section), &section);
    for (DWORD mask : section.dsBitfields) PutU32(out, mask);
  }
  for (const RGBQUAD& c : colours) {
    out.append(static_cast<char>(c.rgbBlue));
    out.append(static_cast<char>(c.rgbGreen));
    out.append(static_cast<char>(c.rgbRed));
    out.append('\0');
  }
  return out;
}

void TBitmap::SaveToFile(const QString& path) const {
  if (Empty()) throw vidorra::Exception(QStringLiteral("The bitmap is empty."));
  // Written to a temporary file and renamed, so a failed save never leaves half a picture.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || !WriteBmp(file) || !file.commit()) {
    throw vidorra::Exception(
        QStringLiteral("Cannot write the file %1: %2").arg(path, file.errorString()));
  }
}

QImage TBitmap::ToImage() const {
  if (Empty()) return {};
  const int width = Width();
  const int height = Height();
  switch (header_.biBitCount) {
    case 24: {
      // The stored rows seen in place as Qt's blue-green-red format, copied once in picture order.
      const QImage stored(bits_, width, height, static_cast<qsizetype>(rowBytes_),
                          QImage::Format_BGR888);
      return TopDown() ? stored.copy() : stored.mirrored(false, true);
    }
    case 32: {
      // Blue, green, red, unused in memory: QImage's RGB32 on a little-endian machine.
      QImage image(width, height, QImage::Format_RGB32);
      for (int y = 0; y < height; ++y) {
        std::memcpy(image.scanLine(y), ScanLine(y), static_cast<size_t>(width) * 4);
      }
      return image;
    }
    case 8: {
      QImage image(width, height, QImage::Format_Indexed8);
      QList<QRgb> table;
      for (const RGBQUAD& c : ColourTable(handle_, header_)) {
        table << qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
      }
      table.resize(256, qRgb(0, 0, 0));
      image.setColorTable(table);
      for (int y = 0; y < height; ++y) {
        std::memcpy(image.scanLine(y), ScanLine(y), static_cast<size_t>(width));
      }
      return image;
    }
    default:
      return {};
  }
}

QImage TBitmap::ToThumbnail(const QSize& size) const {
  QImage::Format format = QImage::Format_Invalid;
  if (header_.biBitCount == 24) format = QImage::Format_BGR888;
  if (header_.biBitCount == 32) format = QImage::Format_RGB32;
  if (Empty() || format == QImage::Format_Invalid) {
    return ToImage().scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  }
  // Scaled from the stored rows in place; only the small picture is made and turned upright.
  const QImage stored(bits_, Width(), Height(), static_cast<qsizetype>(rowBytes_), format);
  const QImage scaled = stored.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  return TopDown() ? scaled : scaled.mirrored(false, true);
}
