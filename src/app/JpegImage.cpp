#include "JpegImage.h"

#include <QSaveFile>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// libjpeg's header needs the standard I/O types declared first.
#include <jpeglib.h>

#include "Bitmap.h"
#include "Exception.h"

namespace {

constexpr int kTrueColourBits = 24;
constexpr int kTrueColourAlphaBits = 32;

// libjpeg reports fatal errors through error_exit; we turn them into a jump back to the
// caller, which then raises a C++ exception outside libjpeg's frames.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnFatalError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

}  // namespace

void TJpegImage::SetCompressionQuality(int quality) {
  quality_ = std::clamp(quality, kMinQuality, kMaxQuality);
}

void TJpegImage::Assign(const QImage& picture) {
  pixels_.clear();
  width_ = height_ = 0;
  if (picture.isNull()) return;
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  width_ = rgb.width();
  height_ = rgb.height();
  rowBytes_ = static_cast<std::size_t>(width_) * 3;
  bottomUp_ = false;
  layout_ = Layout::kRgb;
  pixels_.resize(rowBytes_ * static_cast<std::size_t>(height_));
  for (int y = 0; y < height_; ++y) {
    std::memcpy(pixels_.data() + static_cast<std::size_t>(y) * rowBytes_, rgb.constScanLine(y),
                rowBytes_);
  }
}

void TJpegImage::Assign(const TBitmap& bitmap) {
  if (bitmap.BitsPerPixel() != kTrueColourBits && bitmap.BitsPerPixel() != kTrueColourAlphaBits) {
    Assign(bitmap.ToImage());  // paletted and other depths: through their colours
    return;
  }
  // The rows are taken as stored, padding and order included: libjpeg reads them in place.
  width_ = bitmap.Width();
  height_ = bitmap.Height();
  rowBytes_ = bitmap.RowBytes();
  bottomUp_ = !bitmap.TopDown();
  layout_ = bitmap.BitsPerPixel() == kTrueColourBits ? Layout::kBgr : Layout::kBgrx;
  pixels_.assign(bitmap.Bits(), bitmap.Bits() + bitmap.ImageSize());
}

QByteArray TJpegImage::Compress() const {
  if (Empty()) throw vidorra::Exception(QStringLiteral("Aucune image à enregistrer."));
  jpeg_compress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnFatalError;
  // libjpeg owns the output buffer until we copy it out; it is freed on every path.
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  // Nothing with a destructor may live between setjmp and a longjmp to it.
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    throw vidorra::Exception(
        QStringLiteral("Erreur JPEG : %1").arg(QString::fromLocal8Bit(errors.message)));
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width_);
  info.image_height = static_cast<JDIMENSION>(height_);
  switch (layout_) {
    case Layout::kRgb:
      info.input_components = 3;
      info.in_color_space = JCS_RGB;
      break;
    case Layout::kBgr:
      info.input_components = 3;
      info.in_color_space = JCS_EXT_BGR;
      break;
    case Layout::kBgrx:
      info.input_components = 4;
      info.in_color_space = JCS_EXT_BGRX;
      break;
  }
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality_, TRUE);
  jpeg_start_compress(&info, TRUE);
  constexpr JDIMENSION kRowsPerCall = 16;
  JSAMPROW rows[kRowsPerCall];
  while (info.next_scanline < info.image_height) {
    const JDIMENSION count = std::min(kRowsPerCall, info.image_height - info.next_scanline);
    for (JDIMENSION i = 0; i < count; ++i) {
      const JDIMENSION y = info.next_scanline + i;
      const std::size_t stored = bottomUp_ ? info.image_height - 1 - y : y;
      rows[i] = const_cast<JSAMPROW>(pixels_.data() + stored * rowBytes_);
    }
    jpeg_write_scanlines(&info, rows, count);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  QByteArray data(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
  std::free(buffer);
  return data;
}

void TJpegImage::SaveToFile(const QString& path) const {
  const QByteArray data = Compress();
  // Written to a temporary file and renamed, so a failed save never leaves half a picture.
  QSaveFile file(path);
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
    throw vidorra::Exception(
        QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(path, file.errorString()));
  }
}
