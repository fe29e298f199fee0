// JPEG pictures of the simulated webcam's MJPG formats, through libavcodec: a full-range
// planar 4:2:0 picture in, one baseline JPEG image out.
//
// Thread: one caller at a time (the streaming thread).
#pragma once

#include <wtypes.h>

#include <cstdint>
#include <memory>
#include <span>

namespace vidorra::devices::sim {

class MjpegEncoder {
 public:
  // nullptr when libavcodec has no JPEG encoder.
  static std::unique_ptr<MjpegEncoder> Create(int width, int height);
  ~MjpegEncoder();
  MjpegEncoder(const MjpegEncoder&) = delete;
  MjpegEncoder& operator=(const MjpegEncoder&) = delete;

  // Encodes `picture` (I420, full range, width x height) into `out`; E_OUTOFMEMORY when the
  // image does not fit.
  HRESULT Encode(std::span<const uint8_t> picture, std::span<uint8_t> out, size_t* length);

 private:
  struct Impl;
  explicit MjpegEncoder(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vidorra::devices::sim
