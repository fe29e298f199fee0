// TJpegImage: the window's JPEG image object (GrabJpeg). It takes a copy of a picture and
// writes it as a baseline colour JPEG file at its compression quality, through libjpeg.
// UI thread only.
#pragma once

#include <QImage>
#include <QString>

class TJpegImage {
 public:
  static constexpr int kMinQuality = 1;
  static constexpr int kMaxQuality = 100;
  static constexpr int kDefaultQuality = 75;

  int CompressionQuality() const { return quality_; }
  // Clamped to kMinQuality..kMaxQuality.
  void SetCompressionQuality(int quality);

  void Assign(const QImage& picture) { picture_ = picture; }
  bool Empty() const { return picture_.isNull(); }

  // Writes the picture to `path`; raises vidorra::Exception with the reason on failure (no
  // partial file is left behind).
  void SaveToFile(const QString& path) const;

 private:
  QImage picture_;
  int quality_ = kDefaultQuality;
};
