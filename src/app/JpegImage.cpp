#include "JpegImage.h"

#include <QFile>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

// libjpeg's header needs the standard I/O types declared first.
#include <jpeglib.h>

#include "Exception.h"

namespace {

constexpr int kRgbComponents = 3;

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

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void TJpegImage::SetCompressionQuality(int quality) {
  quality_ = std::clamp(quality, kMinQuality, kMaxQuality);
}

void TJpegImage::SaveToFile(const QString& path) const {
  if (picture_.isNull()) throw vidorra::Exception(QStringLiteral("Aucune image à enregistrer."));
  const QImage rgb = picture_.convertToFormat(QImage::Format_RGB888);
  std::unique_ptr<std::FILE, FileCloser> file(
      std::fopen(QFile::encodeName(path).constData(), "wb"));
  if (!file) {
    throw vidorra::Exception(QStringLiteral("Impossible de créer le fichier %1.").arg(path));
  }

  jpeg_compress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnFatalError;
  // Nothing with a destructor may live between setjmp and a longjmp to it.
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_compress(&info);
    file.reset();
    QFile::remove(path);
    throw vidorra::Exception(
        QStringLiteral("Erreur JPEG : %1").arg(QString::fromLocal8Bit(errors.message)));
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file.get());
  info.image_width = static_cast<JDIMENSION>(rgb.width());
  info.image_height = static_cast<JDIMENSION>(rgb.height());
  info.input_components = kRgbComponents;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality_, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  if (std::fflush(file.get()) != 0 || std::ferror(file.get()) != 0) {
    file.reset();
    QFile::remove(path);
    throw vidorra::Exception(QStringLiteral("Impossible d'écrire le fichier %1.").arg(path));
  }
}
