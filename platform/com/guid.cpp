// GUID ordering, hashing and the braced text form used by CLSIDFromString and friends.
#include <objbase.h>

#include <array>
#include <cstring>
#include <cwchar>

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" without the terminating zero.
constexpr size_t kGuidTextLength = 38;
constexpr int kGuidTextBufferChars = static_cast<int>(kGuidTextLength) + 1;
// Where each of the 16 bytes' two hex digits start inside the braced text.
constexpr std::array<size_t, 16> kByteTextOffsets = {1,  3,  5,  7,  10, 12, 15, 17,
                                                     20, 22, 25, 27, 29, 31, 33, 35};
constexpr std::array<size_t, 4> kDashOffsets = {9, 14, 19, 24};
constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// The 16 bytes in text order: Data1..Data3 big-endian as written, then Data4.
std::array<uint8_t, 16> TextOrderBytes(const GUID& g) {
  return {static_cast<uint8_t>(g.Data1 >> 24),
          static_cast<uint8_t>(g.Data1 >> 16),
          static_cast<uint8_t>(g.Data1 >> 8),
          static_cast<uint8_t>(g.Data1),
          static_cast<uint8_t>(g.Data2 >> 8),
          static_cast<uint8_t>(g.Data2),
          static_cast<uint8_t>(g.Data3 >> 8),
          static_cast<uint8_t>(g.Data3),
          g.Data4[0],
          g.Data4[1],
          g.Data4[2],
          g.Data4[3],
          g.Data4[4],
          g.Data4[5],
          g.Data4[6],
          g.Data4[7]};
}

bool ParseGuid(LPCOLESTR text, GUID* out) {
  if (!text || std::wcslen(text) != kGuidTextLength) return false;
  if (text[0] != L'{' || text[kGuidTextLength - 1] != L'}') return false;
  for (size_t dash : kDashOffsets) {
    if (text[dash] != L'-') return false;
  }
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int hi = HexValue(text[kByteTextOffsets[i]]);
    const int lo = HexValue(text[kByteTextOffsets[i] + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  out->Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
               static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  out->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  out->Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  std::memcpy(out->Data4, &bytes[8], sizeof(out->Data4));
  return true;
}

}  // namespace

size_t std::hash<GUID>::operator()(const GUID& g) const noexcept {
  // FNV-1a over the 16 bytes: cheap, and every byte counts.
  constexpr uint64_t kFnvOffset = 14695981039346656037ull;
  constexpr uint64_t kFnvPrime = 1099511628211ull;
  uint64_t h = kFnvOffset;
  for (uint8_t b : TextOrderBytes(g)) {
    h = (h ^ b) * kFnvPrime;
  }
  return static_cast<size_t>(h);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!pclsid) return E_INVALIDARG;
  GUID parsed{};
  if (!ParseGuid(lpsz, &parsed)) {
    *pclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
  }
  *pclsid = parsed;
  return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
  if (!lpiid) return E_INVALIDARG;
  GUID parsed{};
  if (!ParseGuid(lpsz, &parsed)) {
    *lpiid = GUID_NULL;
    return CO_E_CLASSSTRING;
  }
  *lpiid = parsed;
  return S_OK;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax < kGuidTextBufferChars) return 0;
  const std::array<uint8_t, 16> bytes = TextOrderBytes(rguid);
  lpsz[0] = L'{';
  for (size_t dash : kDashOffsets) lpsz[dash] = L'-';
  for (size_t i = 0; i < bytes.size(); ++i) {
    lpsz[kByteTextOffsets[i]] = kHexDigits[bytes[i] >> 4];
    lpsz[kByteTextOffsets[i] + 1] = kHexDigits[bytes[i] & 0xF];
  }
  lpsz[kGuidTextLength - 1] = L'}';
  lpsz[kGuidTextLength] = L'\0';
  return kGuidTextBufferChars;
}

namespace {
HRESULT GuidToTaskMemString(REFGUID guid, LPOLESTR* out) {
  if (!out) return E_INVALIDARG;
  auto* text = static_cast<LPOLESTR>(CoTaskMemAlloc(kGuidTextBufferChars * sizeof(OLECHAR)));
  if (!text) {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
  StringFromGUID2(guid, text, kGuidTextBufferChars);
  *out = text;
  return S_OK;
}
}  // namespace

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
  return GuidToTaskMemString(rclsid, lplpsz);
}
