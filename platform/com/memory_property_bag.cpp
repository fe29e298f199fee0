// CMemoryPropertyBag and CreateMemoryPropertyBag.
#include "memory_property_bag.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <string>

#include "persisted_text.h"

namespace {

// Parses the whole text as a decimal integer within [minimum, maximum].
bool ParseInteger(const std::wstring& text, long long minimum, long long maximum,
                  long long* value) {
  if (text.empty()) return false;
  errno = 0;
  wchar_t* end = nullptr;
  const long long parsed = std::wcstoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  if (parsed < minimum || parsed > maximum) return false;
  *value = parsed;
  return true;
}

// Fills *pVar from the stored text in the type the caller asked for.
HRESULT ConvertText(const std::wstring& text, VARIANT* pVar) {
  long long number = 0;
  switch (pVar->vt) {
    case VT_EMPTY:
    case VT_BSTR: {
      BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!value) return E_OUTOFMEMORY;
      pVar->vt = VT_BSTR;
      pVar->bstrVal = value;
      return S_OK;
    }
    case VT_I4:
    case VT_INT:
      if (!ParseInteger(text, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(),
                        &number)) {
        return DISP_E_TYPEMISMATCH;
      }
      pVar->lVal = static_cast<LONG>(number);
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      if (!ParseInteger(text, 0, std::numeric_limits<ULONG>::max(), &number)) {
        return DISP_E_TYPEMISMATCH;
      }
      pVar->ulVal = static_cast<ULONG>(number);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT VariantToText(const VARIANT& v, std::wstring* text) {
  switch (v.vt) {
    case VT_BSTR:
      *text = v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
      return S_OK;
    case VT_I4:
    case VT_INT:
      *text = std::to_wstring(v.lVal);
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      *text = std::to_wstring(v.ulVal);
      return S_OK;
    case VT_I2:
      *text = std::to_wstring(v.iVal);
      return S_OK;
    case VT_UI1:
      *text = std::to_wstring(v.bVal);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

CMemoryPropertyBag::CMemoryPropertyBag(PropertyList properties)
    : properties_(std::move(properties)) {}

HRESULT CMemoryPropertyBag::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  const HRESULT hr = QueryInterfaceTable<IPropertyBag>(this, riid, ppv);
  if (hr != E_NOINTERFACE) return hr;
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CMemoryPropertyBag::Read(LPCOLESTR pszPropName, VARIANT* pVar,
                                      IErrorLog* /*pErrorLog*/) {
  if (!pszPropName || !pVar) return E_POINTER;
  std::wstring text;
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(properties_.begin(), properties_.end(), [&](const auto& p) {
      return vidorra::com::EqualsIgnoringCase(p.first, pszPropName);
    });
    if (it == properties_.end()) return E_INVALIDARG;
    text = it->second;
  }
  return ConvertText(text, pVar);
}

STDMETHODIMP CMemoryPropertyBag::Write(LPCOLESTR pszPropName, VARIANT* pVar) {
  if (!pszPropName || !pVar) return E_POINTER;
  std::wstring text;
  const HRESULT hr = VariantToText(*pVar, &text);
  if (FAILED(hr)) return hr;
  std::lock_guard lock(mutex_);
  auto it = std::find_if(properties_.begin(), properties_.end(), [&](const auto& p) {
    return vidorra::com::EqualsIgnoringCase(p.first, pszPropName);
  });
  if (it == properties_.end()) {
    properties_.emplace_back(pszPropName, std::move(text));
  } else {
    it->second = std::move(text);
  }
  return S_OK;
}

HRESULT CreateMemoryPropertyBag(PropertyList properties, IPropertyBag** out) {
  if (!out) return E_POINTER;
  ComPtr<CMemoryPropertyBag> bag = MakeComObject<CMemoryPropertyBag>(std::move(properties));
  *out = bag.Detach();
  return S_OK;
}
