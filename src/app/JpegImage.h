// TJpegImage: the window's JPEG image object (GrabJpeg). It takes a copy of a picture (a Qt
// image, or the grab bitmap as it stands: bottom-up or top-down rows of blue, green, red) and
// compresses it as a baseline colour JPEG at its compression quality, through libjpeg.
// UI thread only.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

class TBitmap;

class TJpegImage {
 public:
  static constexpr int kMinQuality = 1;
  static constexpr int kMaxQuality = 100;
  static constexpr int kDefaultQuality = 75;

  int CompressionQuality() const { return quality_; }
  // Clamped to kMinQuality..kMaxQuality.
  void SetCompressionQuality(int quality);

  void Assign(const QImage& picture);
  // An empty bitmap leaves the image empty.
  void Assign(const TBitmap& bitmap);
  bool Empty() const { return pixels_.empty(); }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // The JPEG file's bytes; raises vidorra::Exception when the image is empty or libjpeg fails.
  QByteArray Compress() const;
  // Writes the file at `path`; raises vidorra::Exception with the reason on failure (no
  // partial file is left behind).
  void SaveToFile(const QString& path) const;

 private:
  // How the copied rows are laid out, in libjpeg's terms.
  enum class Layout { kRgb, kBgr, kBgrx };

  std::vector<std::uint8_t> pixels_;
  int width_ = 0;
  int height_ = 0;
  std::size_t rowBytes_ = 0;
  bool bottomUp_ = false;
  Layout layout_ = Layout::kRgb;
  int quality_ = kDefaultQuality;
};
