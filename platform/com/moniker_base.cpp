// CMonikerBase.
#include "moniker_base.h"

namespace {
constexpr DWORD kMksysNone = 0;
}  // namespace

HRESULT CMonikerBase::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  const HRESULT hr = QueryInterfaceTable<IMoniker>(this, riid, ppv);
  if (hr != E_NOINTERFACE) return hr;
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CMonikerBase::Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) { return E_NOTIMPL; }

STDMETHODIMP CMonikerBase::ComposeWith(IMoniker*, BOOL, IMoniker**) { return E_NOTIMPL; }

STDMETHODIMP CMonikerBase::Enum(BOOL /*fForward*/, IEnumMoniker** ppenumMoniker) {
  if (!ppenumMoniker) return E_POINTER;
  *ppenumMoniker = nullptr;
  return S_OK;
}

STDMETHODIMP CMonikerBase::GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) {
  return E_NOTIMPL;
}

STDMETHODIMP CMonikerBase::Inverse(IMoniker**) { return E_NOTIMPL; }

STDMETHODIMP CMonikerBase::CommonPrefixWith(IMoniker*, IMoniker**) { return E_NOTIMPL; }

STDMETHODIMP CMonikerBase::RelativePathTo(IMoniker*, IMoniker**) { return E_NOTIMPL; }

STDMETHODIMP CMonikerBase::GetDisplayName(IBindCtx* /*pbc*/, IMoniker* /*pmkToLeft*/,
                                          LPOLESTR* ppszDisplayName) {
  if (!ppszDisplayName) return E_POINTER;
  *ppszDisplayName = CoTaskMemStrDup(DisplayName());
  return *ppszDisplayName ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMonikerBase::ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) {
  return E_NOTIMPL;
}

STDMETHODIMP CMonikerBase::IsSystemMoniker(DWORD* pdwMksys) {
  if (!pdwMksys) return E_POINTER;
  *pdwMksys = kMksysNone;
  return S_FALSE;
}

bool CMonikerBase::DisplayNameIfSameClass(IMoniker* other, REFCLSID clsid, std::wstring* name) {
  if (!other) return false;
  CLSID otherClass{};
  if (FAILED(other->GetClassID(&otherClass)) || otherClass != clsid) return false;
  LPOLESTR text = nullptr;
  if (FAILED(other->GetDisplayName(nullptr, nullptr, &text)) || !text) return false;
  *name = text;
  CoTaskMemFree(text);
  return true;
}
