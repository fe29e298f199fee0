#include "Gdi.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace vidorra::win {
namespace {

// Handles start high so they are never mistaken for small integers.
constexpr uintptr_t kFirstHandle = 0x6D00'0001;
constexpr WORD kPlanes = 1;

class BitmapTable {
 public:
  static BitmapTable& Instance() {
    static BitmapTable table;
    return table;
  }
  HBITMAP Add(std::unique_ptr<GdiBitmap> bitmap) {
    std::lock_guard lock(mutex_);
    const uintptr_t handle = next_++;
    bitmaps_.emplace(handle, std::move(bitmap));
    return reinterpret_cast<HBITMAP>(handle);
  }
  bool Remove(HGDIOBJ handle) {
    std::unique_ptr<GdiBitmap> removed;
    {
      std::lock_guard lock(mutex_);
      const auto it = bitmaps_.find(reinterpret_cast<uintptr_t>(handle));
      if (it == bitmaps_.end()) return false;
      removed = std::move(it->second);
      bitmaps_.erase(it);
    }
    return true;
  }
  // Calls f with the bitmap under the table's lock; false for an unknown handle.
  template <class F>
  bool With(HGDIOBJ handle, F&& f) {
    std::lock_guard lock(mutex_);
    const auto it = bitmaps_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == bitmaps_.end()) return false;
    f(*it->second);
    return true;
  }

 private:
  std::mutex mutex_;
  uintptr_t next_ = kFirstHandle;
  std::unordered_map<uintptr_t, std::unique_ptr<GdiBitmap>> bitmaps_;
};

bool SupportedBitCount(WORD bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

DWORD ColourCount(const BITMAPINFOHEADER& header) {
  if (header.biBitCount > 8) return 0;
  const DWORD full = DWORD{1} << header.biBitCount;
  return header.biClrUsed == 0 ? full : std::min(header.biClrUsed, full);
}

}  // namespace

uint32_t GdiBitmap::RowBytes() const {
  return WIDTHBYTES(static_cast<DWORD>(header.biWidth) * header.biBitCount);
}

}  // namespace vidorra::win

using vidorra::win::BitmapTable;
using vidorra::win::GdiBitmap;

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE hSection,
                         DWORD) {
  if (ppvBits != nullptr) *ppvBits = nullptr;
  if (pbmi == nullptr || hSection != nullptr || usage != DIB_RGB_COLORS) return nullptr;
  const BITMAPINFOHEADER& in = pbmi->bmiHeader;
  if (in.biSize < sizeof(BITMAPINFOHEADER) || in.biWidth <= 0 || in.biHeight == 0 ||
      !vidorra::win::SupportedBitCount(in.biBitCount)) {
    return nullptr;
  }
  const bool bitfields = in.biCompression == BI_BITFIELDS;
  if (in.biCompression != BI_RGB && !(bitfields && (in.biBitCount == 16 || in.biBitCount == 32))) {
    return nullptr;
  }
  const uint64_t rowBytes =
      ((static_cast<uint64_t>(in.biWidth) * in.biBitCount + 31) & ~uint64_t{31}) / 8;
  const uint64_t rows = in.biHeight < 0 ? -static_cast<int64_t>(in.biHeight) : in.biHeight;
  const uint64_t size = rowBytes * rows;
  if (size == 0 || size > vidorra::win::kMaxDibImageBytes) return nullptr;

  auto bitmap = std::make_unique<GdiBitmap>();
  bitmap->header = in;
  bitmap->header.biSize = sizeof(BITMAPINFOHEADER);
  bitmap->header.biPlanes = vidorra::win::kPlanes;
  bitmap->header.biSizeImage = static_cast<DWORD>(size);
  const DWORD colours = vidorra::win::ColourCount(in);
  bitmap->colours.assign(pbmi->bmiColors, pbmi->bmiColors + colours);
  if (bitfields) std::memcpy(bitmap->bitfields, pbmi->bmiColors, sizeof(bitmap->bitfields));
  bitmap->pixels.assign(static_cast<size_t>(size), 0);
  void* bits = bitmap->pixels.data();
  HBITMAP handle = BitmapTable::Instance().Add(std::move(bitmap));
  if (ppvBits != nullptr) *ppvBits = bits;
  return handle;
}

BOOL DeleteObject(HGDIOBJ ho) { return BitmapTable::Instance().Remove(ho) ? TRUE : FALSE; }

int GetObjectA(HGDIOBJ h, int c, LPVOID pv) {
  if (pv == nullptr || c < static_cast<int>(sizeof(BITMAP))) return 0;
  int written = 0;
  BitmapTable::Instance().With(h, [&](GdiBitmap& bitmap) {
    BITMAP bm{};
    bm.bmType = 0;
    bm.bmWidth = bitmap.header.biWidth;
    bm.bmHeight = bitmap.header.biHeight < 0 ? -bitmap.header.biHeight : bitmap.header.biHeight;
    bm.bmWidthBytes = static_cast<LONG>(bitmap.RowBytes());
    bm.bmPlanes = bitmap.header.biPlanes;
    bm.bmBitsPixel = bitmap.header.biBitCount;
    bm.bmBits = bitmap.pixels.data();
    if (c >= static_cast<int>(sizeof(DIBSECTION))) {
      DIBSECTION ds{};
      ds.dsBm = bm;
      ds.dsBmih = bitmap.header;
      std::memcpy(ds.dsBitfields, bitmap.bitfields, sizeof(ds.dsBitfields));
      std::memcpy(pv, &ds, sizeof(ds));
      written = sizeof(DIBSECTION);
    } else {
      std::memcpy(pv, &bm, sizeof(bm));
      written = sizeof(BITMAP);
    }
  });
  return written;
}

UINT GetDIBColorTable(HBITMAP hbm, UINT iStart, UINT cEntries, RGBQUAD* prgbq) {
  if (prgbq == nullptr) return 0;
  UINT copied = 0;
  BitmapTable::Instance().With(hbm, [&](GdiBitmap& bitmap) {
    const auto count = static_cast<UINT>(bitmap.colours.size());
    if (iStart >= count) return;
    copied = std::min(cEntries, count - iStart);
    std::copy_n(bitmap.colours.begin() + iStart, copied, prgbq);
  });
  return copied;
}
