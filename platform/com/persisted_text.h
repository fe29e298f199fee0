// The stored form of a moniker's text: a 32-bit little-endian byte count N, then N bytes of
// UTF-16LE text ending with one zero character (N = 2 * (UTF-16 units + 1)). Wide strings are
// UTF-32 here, so characters beyond the basic plane become surrogate pairs on the way out and
// are joined again on the way in.
#pragma once

#include <objidl.h>

#include <string>
#include <vector>

namespace vidorra::com {

// No stored name is longer than this; a larger count marks a damaged stream.
constexpr ULONG kMaxPersistedTextBytes = 64 * 1024;

std::vector<BYTE> EncodePersistedText(const std::wstring& text);
// Bytes EncodePersistedText gives for text, without building them.
ULONG PersistedTextSize(const std::wstring& text);
HRESULT WritePersistedText(IStream* stream, const std::wstring& text);
// Reads one stored text. Fails without changing *text when the count is odd, below 2 or above
// kMaxPersistedTextBytes, when the stream ends early (STG_E_READFAULT) or when the last
// character is not the terminating zero.
HRESULT ReadPersistedText(IStream* stream, std::wstring* text);

std::u16string ToUtf16(const std::wstring& text);
std::wstring FromUtf16(const std::u16string& text);

// Case-insensitive comparison and hashing for names made of ASCII and other characters;
// only ASCII letters fold, so the result never depends on the locale.
bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b);
DWORD HashIgnoringCase(const std::wstring& text);

}  // namespace vidorra::com
