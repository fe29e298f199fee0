// Device-independent bitmaps behind CreateDIBSection / DeleteObject / GetObjectA (wingdi.h).
//
// An HBITMAP names a GdiBitmap kept in a table; handles are never reused, so a stale handle is
// unknown rather than dangling. The pixels live as long as the bitmap; whoever writes them
// (through the pointer CreateDIBSection hands out) must stay within the image size that the
// header gives (GdiBitmap::ImageSize).
//
// Threads: any; one mutex guards the table. A bitmap's pixels are not guarded: its owner
// serialises access to them.
#pragma once

#include <wingdi.h>

#include <cstdint>
#include <vector>

namespace vidorra::win {

struct GdiBitmap {
  BITMAPINFOHEADER header{};
  std::vector<RGBQUAD> colours;
  std::vector<uint8_t> pixels;
  DWORD bitfields[3] = {0, 0, 0};

  uint32_t RowBytes() const;
  uint32_t ImageSize() const { return static_cast<uint32_t>(pixels.size()); }
};

// Largest image CreateDIBSection makes.
inline constexpr uint64_t kMaxDibImageBytes = uint64_t{1} << 30;

}  // namespace vidorra::win
