// Moniker text in its stored form, and the text comparisons monikers use.
#include "persisted_text.h"

#include <algorithm>

namespace vidorra::com {

namespace {

constexpr size_t kCountBytes = 4;
constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kLowSurrogateFirst = 0xDC00;
constexpr char16_t kLowSurrogateLast = 0xDFFF;
constexpr int kSurrogateBits = 10;
constexpr char32_t kSurrogateMask = 0x3FF;

bool IsHighSurrogate(char16_t u) { return u >= kHighSurrogateFirst && u < kLowSurrogateFirst; }
bool IsLowSurrogate(char16_t u) { return u >= kLowSurrogateFirst && u <= kLowSurrogateLast; }

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c; }

DWORD Fnv1aFolded(const std::wstring& text) {
  constexpr DWORD kOffset = 2166136261u;
  constexpr DWORD kPrime = 16777619u;
  DWORD h = kOffset;
  for (wchar_t c : text) {
    const auto v = static_cast<uint32_t>(FoldAscii(c));
    for (int shift = 0; shift < 32; shift += 8) h = (h ^ ((v >> shift) & 0xFF)) * kPrime;
  }
  return h;
}

}  // namespace

std::u16string ToUtf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    auto c = static_cast<char32_t>(wc);
    if (c > kMaxCodePoint) c = kReplacementCharacter;
    if (c >= kFirstSupplementary) {
      c -= kFirstSupplementary;
      out.push_back(static_cast<char16_t>(kHighSurrogateFirst + (c >> kSurrogateBits)));
      out.push_back(static_cast<char16_t>(kLowSurrogateFirst + (c & kSurrogateMask)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::wstring FromUtf16(const std::u16string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const char32_t c = kFirstSupplementary +
                         ((static_cast<char32_t>(u - kHighSurrogateFirst) << kSurrogateBits) |
                          static_cast<char32_t>(text[i + 1] - kLowSurrogateFirst));
      out.push_back(static_cast<wchar_t>(c));
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      out.push_back(static_cast<wchar_t>(kReplacementCharacter));
    } else {
      out.push_back(static_cast<wchar_t>(u));
    }
  }
  return out;
}

std::vector<BYTE> EncodePersistedText(const std::wstring& text) {
  std::u16string units = ToUtf16(text);
  units.push_back(u'\0');
  const auto count = static_cast<uint32_t>(units.size() * sizeof(char16_t));
  std::vector<BYTE> out;
  out.reserve(kCountBytes + count);
  for (size_t i = 0; i < kCountBytes; ++i) out.push_back(static_cast<BYTE>(count >> (8 * i)));
  for (char16_t u : units) {
    out.push_back(static_cast<BYTE>(u & 0xFF));
    out.push_back(static_cast<BYTE>(u >> 8));
  }
  return out;
}

ULONG PersistedTextSize(const std::wstring& text) {
  return static_cast<ULONG>(kCountBytes + (ToUtf16(text).size() + 1) * sizeof(char16_t));
}

HRESULT WritePersistedText(IStream* stream, const std::wstring& text) {
  if (!stream) return E_POINTER;
  const std::vector<BYTE> bytes = EncodePersistedText(text);
  if (bytes.size() - kCountBytes > kMaxPersistedTextBytes) return E_INVALIDARG;
  ULONG written = 0;
  const HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (FAILED(hr)) return hr;
  return written == bytes.size() ? S_OK : STG_E_WRITEFAULT;
}

HRESULT ReadPersistedText(IStream* stream, std::wstring* text) {
  if (!stream || !text) return E_POINTER;
  BYTE countBytes[kCountBytes] = {};
  ULONG read = 0;
  HRESULT hr = stream->Read(countBytes, kCountBytes, &read);
  if (FAILED(hr)) return hr;
  if (read != kCountBytes) return STG_E_READFAULT;
  uint32_t count = 0;
  for (size_t i = 0; i < kCountBytes; ++i) count |= static_cast<uint32_t>(countBytes[i]) << (8 * i);
  if (count < sizeof(char16_t) || count % sizeof(char16_t) != 0 || count > kMaxPersistedTextBytes) {
    return E_FAIL;
  }
  std::vector<BYTE> bytes(count);
  hr = stream->Read(bytes.data(), count, &read);
  if (FAILED(hr)) return hr;
  if (read != count) return STG_E_READFAULT;
  std::u16string units(count / sizeof(char16_t), u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  if (units.back() != u'\0') return E_FAIL;
  units.pop_back();
  // A zero inside the text would cut the name short wherever it is used as a C string.
  if (units.find(u'\0') != std::u16string::npos) return E_FAIL;
  *text = FromUtf16(units);
  return S_OK;
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](wchar_t x, wchar_t y) { return FoldAscii(x) == FoldAscii(y); });
}

DWORD HashIgnoringCase(const std::wstring& text) { return Fnv1aFolded(text); }

}  // namespace vidorra::com
