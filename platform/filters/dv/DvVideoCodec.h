// DV25 picture coding through libavcodec: an encoder (any supported uncompressed picture,
// scaled to the system's 720x576 or 720x480) and a decoder (to YUY2, RGB24 or RGB32 DIBs).
// Used by the DV Video Encoder and Decoder filters and by the simulated camcorder.
//
// Thread: one caller at a time per object (codec contexts are not shared).
#pragma once

#include <wtypes.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "DvFrame.h"

namespace vidorra::dv {

enum class PictureFormat { kYuy2, kUyvy, kRgb24, kRgb32, kI420 };

struct Picture {
  PictureFormat format = PictureFormat::kYuy2;
  int width = 0;
  int height = 0;  // positive; RGB DIBs are bottom-up when bottomUp is set
  bool bottomUp = false;
  std::span<const uint8_t> data;  // rows padded to stride
  int stride = 0;
};

// Bytes per row of a packed picture (DIB rows padded to 4 bytes), 0 for planar formats.
int PackedStride(PictureFormat format, int width);
// Bytes of a whole picture of that format and size.
size_t PictureBytes(PictureFormat format, int width, int height);

class DvVideoEncoder {
 public:
  // nullptr when libavcodec has no DV encoder.
  static std::unique_ptr<DvVideoEncoder> Create(DvSystem system);
  ~DvVideoEncoder();
  DvVideoEncoder(const DvVideoEncoder&) = delete;
  DvVideoEncoder& operator=(const DvVideoEncoder&) = delete;

  DvSystem system() const { return system_; }
  // Encodes one picture into a whole DIF frame (144000 or 120000 bytes).
  HRESULT Encode(const Picture& picture, std::vector<uint8_t>& frame);

 private:
  struct Impl;
  explicit DvVideoEncoder(DvSystem system, std::unique_ptr<Impl> impl);
  DvSystem system_;
  std::unique_ptr<Impl> impl_;
};

class DvVideoDecoder {
 public:
  static std::unique_ptr<DvVideoDecoder> Create();
  ~DvVideoDecoder();
  DvVideoDecoder(const DvVideoDecoder&) = delete;
  DvVideoDecoder& operator=(const DvVideoDecoder&) = delete;

  // Decodes a DIF frame into out (format YUY2/RGB24/RGB32, size width x height of the frame's
  // system, RGB bottom-up as DIBs are). E_INVALIDARG for a frame libavcodec rejects.
  HRESULT Decode(std::span<const uint8_t> frame, PictureFormat format, std::vector<uint8_t>& out);

 private:
  struct Impl;
  explicit DvVideoDecoder(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vidorra::dv
