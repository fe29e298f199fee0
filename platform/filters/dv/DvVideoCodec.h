// DV25 picture coding through libavcodec: an encoder (any supported uncompressed picture,
// scaled to the system's 720x576 or 720x480) and a decoder (to the codec's own planar format,
// YUY2, RGB24 or RGB32 DIBs). Used by the DV Video Encoder and Decoder filters and by the
// simulated camcorder.
//
// Both work in the caller's buffers where the formats allow it: the decoder reads the frame
// where it lies and decodes the codec's own planar format (4:2:0 on 625/50, 4:1:1 on 525/60)
// straight into the output buffer; any other output is converted once, from the decoded planes
// into the output buffer. The encoder reads a picture in the codec's own format where it lies
// and writes the frame straight into the output buffer. Buffers without room after their data
// (kPadding) go through a copy: correct, one copy slower.
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

enum class PictureFormat { kYuy2, kUyvy, kRgb24, kRgb32, kI420, kY41b };

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
// Bytes of a whole picture of that format and size (planar: Y, then U, then V, unpadded).
size_t PictureBytes(PictureFormat format, int width, int height);
// The planar format the codec works in for a system: 4:2:0 (I420) on 625/50, 4:1:1 (Y41B) on
// 525/60.
PictureFormat NativeFormat(DvSystem system);

// Bytes a buffer needs after its data for the codec to read or write it in place.
inline constexpr size_t kPadding = 64;

// The decoder's reduced sizes: 0 decodes the whole picture, 1 half of it in each direction, 2 a
// quarter, 3 the DC coefficients alone (an eighth, 88 pixels wide).
inline constexpr int kMaxLowres = 3;
struct PictureSize {
  int width = 0;
  int height = 0;
  bool operator==(const PictureSize&) const = default;
};
// The size of a system's picture decoded at `lowres` (720x576, 360x288, 180x144, 88x72 on
// 625/50; 720x480, 360x240, 180x120, 88x60 on 525/60).
PictureSize DecodedSize(DvSystem system, int lowres);

class DvVideoEncoder {
 public:
  // nullptr when libavcodec has no DV encoder.
  static std::unique_ptr<DvVideoEncoder> Create(DvSystem system);
  ~DvVideoEncoder();
  DvVideoEncoder(const DvVideoEncoder&) = delete;
  DvVideoEncoder& operator=(const DvVideoEncoder&) = delete;

  DvSystem system() const { return system_; }
  // Encodes one picture into a whole DIF frame (144000 or 120000 bytes) at the start of out,
  // which must hold that many bytes; with kPadding more, the codec writes it there itself.
  HRESULT Encode(const Picture& picture, std::span<uint8_t> out);
  HRESULT Encode(const Picture& picture, std::vector<uint8_t>& frame);

  // Pictures converted before coding, and frames copied out of the codec's own buffer.
  long Conversions() const { return conversions_; }
  long Copies() const { return copies_; }

 private:
  struct Impl;
  explicit DvVideoEncoder(DvSystem system, std::unique_ptr<Impl> impl);
  DvSystem system_;
  std::unique_ptr<Impl> impl_;
  long conversions_ = 0;
  long copies_ = 0;
};

class DvVideoDecoder {
 public:
  // Decodes at the size DecodedSize gives for `lowres` (0 to kMaxLowres), with the codec's own
  // reduced decoding, which reads only the coefficients that size needs.
  static std::unique_ptr<DvVideoDecoder> Create(int lowres = 0);
  ~DvVideoDecoder();
  DvVideoDecoder(const DvVideoDecoder&) = delete;
  DvVideoDecoder& operator=(const DvVideoDecoder&) = delete;

  // Decodes a DIF frame into out (format I420, Y41B, YUY2, RGB24 or RGB32, the size DecodedSize
  // gives for the frame's system, RGB bottom-up as DIBs are); out must hold PictureBytes of it.
  // bufferBytes is how much may be read from frame.data() on (at least frame.size()); with
  // kPadding more than the frame the codec reads the frame where it lies. Damaged blocks are
  // concealed by the codec; E_INVALIDARG for a frame whose structure cannot be read or that
  // libavcodec rejects.
  HRESULT Decode(std::span<const uint8_t> frame, size_t bufferBytes, PictureFormat format,
                 std::span<uint8_t> out);
  // The same into a vector sized to the picture.
  HRESULT Decode(std::span<const uint8_t> frame, PictureFormat format, std::vector<uint8_t>& out);

  // Frames copied before decoding (no room after them), and pictures converted after it.
  long Copies() const { return copies_; }
  long Conversions() const { return conversions_; }

 private:
  struct Impl;
  explicit DvVideoDecoder(std::unique_ptr<Impl> impl, int lowres);
  std::unique_ptr<Impl> impl_;
  int lowres_ = 0;
  long copies_ = 0;
  long conversions_ = 0;
};

}  // namespace vidorra::dv
