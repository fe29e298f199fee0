// CheckGraphResult and GraphErrorText.
#include <array>

#include "MediaUtil.h"

namespace {
// AMGetErrorTextA is given a 256-character buffer and allowed 255 of them.
constexpr DWORD kErrorTextBufferSize = 256;
constexpr DWORD kErrorTextMaxLength = 255;
}  // namespace

QString GraphErrorText(HRESULT hr) {
  std::array<char, kErrorTextBufferSize> buffer{};
  AMGetErrorTextA(hr, buffer.data(), kErrorTextMaxLength);
  buffer.back() = '\0';
  // The ANSI API is UTF-8 on this platform.
  return QString::fromUtf8(buffer.data());
}

HRESULT CheckGraphResult(HRESULT hr) {
  if (SUCCEEDED(hr)) return hr;
  const QString code =
      QStringLiteral("%1").arg(static_cast<uint32_t>(hr), 8, 16, QLatin1Char('0')).toUpper();
  throw EMediaGraphException(
      GraphErrorText(hr) + QStringLiteral(" ($") + code + QStringLiteral(")."), hr);
}
