// Task memory (the allocator of out-parameter blocks and strings) and the text conversions
// between wide strings and UTF-8.
#include <comimpl.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {
// malloc(0) may return null; task memory always hands out a distinct, freeable block.
constexpr SIZE_T kMinimumBlock = 1;
}  // namespace

LPVOID CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb == 0 ? kMinimumBlock : cb); }

void CoTaskMemFree(LPVOID pv) { std::free(pv); }

LPWSTR CoTaskMemStrDup(const std::wstring& text) {
  const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!copy) return nullptr;
  std::wmemcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;

void AppendUtf8(std::string& out, char32_t c) {
  if (c > kMaxCodePoint || (c >= kSurrogateFirst && c <= kSurrogateLast)) {
    c = kReplacementCharacter;
  }
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at text[i], advancing i; malformed input gives U+FFFD and
// consumes one byte, so conversion never stops or reads past the end.
char32_t DecodeUtf8(const std::string& text, size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return kReplacementCharacter;
  }
  if (i + length > text.size()) {
    ++i;
    return kReplacementCharacter;
  }
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return kReplacementCharacter;
    }
    c = (c << 6) | (next & 0x3F);
  }
  if (c < minimum || c > kMaxCodePoint || (c >= kSurrogateFirst && c <= kSurrogateLast)) {
    ++i;
    return kReplacementCharacter;
  }
  i += length;
  return c;
}

}  // namespace

// wchar_t is UTF-32 on this platform, so a wide character is a code point.
std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t wc : text) AppendUtf8(out, static_cast<char32_t>(wc));
  return out;
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) out.push_back(static_cast<wchar_t>(DecodeUtf8(text, i)));
  return out;
}
