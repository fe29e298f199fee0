// BSTR and VARIANT helpers.
//
// A BSTR points at its first character; the 32-bit byte length of the text is stored just
// before it and a zero character just after it, so a BSTR is also a valid C string and may hold
// embedded zeros.
#include <oleauto.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

using BstrLength = uint32_t;
constexpr size_t kPrefixBytes = sizeof(BstrLength);
static_assert(kPrefixBytes % alignof(OLECHAR) == 0, "characters stay aligned after the prefix");
constexpr UINT kMaxBstrChars =
    (std::numeric_limits<BstrLength>::max() - kPrefixBytes) / sizeof(OLECHAR) - 1;

BYTE* BlockOf(BSTR s) { return reinterpret_cast<BYTE*>(s) - kPrefixBytes; }

bool IsKnownType(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_UI1:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (ui > kMaxBstrChars) return nullptr;
  const size_t textBytes = static_cast<size_t>(ui) * sizeof(OLECHAR);
  auto* block = static_cast<BYTE*>(std::malloc(kPrefixBytes + textBytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const auto length = static_cast<BstrLength>(textBytes);
  std::memcpy(block, &length, sizeof(length));
  auto* text = reinterpret_cast<OLECHAR*>(block + kPrefixBytes);
  if (strIn) {
    std::memcpy(text, strIn, textBytes);
  } else {
    std::memset(text, 0, textBytes);
  }
  text[ui] = L'\0';
  return text;
}

BSTR SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  size_t length = 0;
  while (psz[length] != L'\0') ++length;
  if (length > kMaxBstrChars) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(length));
}

void SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(BlockOf(bstrString));
}

UINT SysStringLen(BSTR pbstr) {
  if (!pbstr) return 0;
  BstrLength length = 0;
  std::memcpy(&length, BlockOf(pbstr), sizeof(length));
  return length / sizeof(OLECHAR);
}

void VariantInit(VARIANTARG* pvarg) {
  if (!pvarg) return;
  std::memset(pvarg, 0, sizeof(*pvarg));
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  if (!IsKnownType(pvarg->vt)) return DISP_E_BADVARTYPE;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_UNKNOWN:
      if (pvarg->punkVal) pvarg->punkVal->Release();
      break;
    case VT_DISPATCH:
      if (pvarg->pdispVal) pvarg->pdispVal->Release();
      break;
    default:
      break;
  }
  VariantInit(pvarg);
  return S_OK;
}
