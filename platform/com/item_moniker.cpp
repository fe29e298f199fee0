// CItemMoniker and CreateItemMoniker.
#include "item_moniker.h"

#include "builtin_classes.h"
#include "persisted_text.h"

CItemMoniker::CItemMoniker(std::wstring delimiter, std::wstring item)
    : delimiter_(std::move(delimiter)), item_(std::move(item)) {}

std::wstring CItemMoniker::DisplayName() {
  std::lock_guard lock(mutex_);
  return delimiter_ + item_;
}

STDMETHODIMP CItemMoniker::GetClassID(CLSID* pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = CLSID_ItemMoniker;
  return S_OK;
}

STDMETHODIMP CItemMoniker::Load(IStream* pStm) {
  if (!pStm) return E_POINTER;
  std::wstring delimiter;
  std::wstring item;
  HRESULT hr = vidorra::com::ReadPersistedText(pStm, &delimiter);
  if (SUCCEEDED(hr)) hr = vidorra::com::ReadPersistedText(pStm, &item);
  if (FAILED(hr)) return hr;  // the moniker keeps its previous names
  std::lock_guard lock(mutex_);
  delimiter_ = std::move(delimiter);
  item_ = std::move(item);
  return S_OK;
}

STDMETHODIMP CItemMoniker::Save(IStream* pStm, BOOL /*fClearDirty*/) {
  if (!pStm) return E_POINTER;
  std::wstring delimiter;
  std::wstring item;
  {
    std::lock_guard lock(mutex_);
    delimiter = delimiter_;
    item = item_;
  }
  const HRESULT hr = vidorra::com::WritePersistedText(pStm, delimiter);
  if (FAILED(hr)) return hr;
  return vidorra::com::WritePersistedText(pStm, item);
}

STDMETHODIMP CItemMoniker::GetSizeMax(ULARGE_INTEGER* pcbSize) {
  if (!pcbSize) return E_POINTER;
  std::lock_guard lock(mutex_);
  pcbSize->QuadPart =
      vidorra::com::PersistedTextSize(delimiter_) + vidorra::com::PersistedTextSize(item_);
  return S_OK;
}

STDMETHODIMP CItemMoniker::BindToObject(IBindCtx* /*pbc*/, IMoniker* pmkToLeft, REFIID riidResult,
                                        void** ppvResult) {
  if (!ppvResult) return E_POINTER;
  *ppvResult = nullptr;
  // An item inside a container would need the container's item interface, which no object
  // on this platform offers.
  if (pmkToLeft) return E_NOTIMPL;
  ComPtr<IRunningObjectTable> table;
  HRESULT hr = GetRunningObjectTable(0, table.ReleaseAndGetAddressOf());
  if (FAILED(hr)) return hr;
  ComPtr<IUnknown> object;
  if (FAILED(table->GetObject(this, object.ReleaseAndGetAddressOf()))) return MK_E_NOOBJECT;
  return object->QueryInterface(riidResult, ppvResult);
}

STDMETHODIMP CItemMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID, void** ppvObj) {
  if (ppvObj) *ppvObj = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CItemMoniker::IsEqual(IMoniker* pmkOtherMoniker) {
  std::wstring other;
  if (!DisplayNameIfSameClass(pmkOtherMoniker, CLSID_ItemMoniker, &other)) return S_FALSE;
  return vidorra::com::EqualsIgnoringCase(other, DisplayName()) ? S_OK : S_FALSE;
}

STDMETHODIMP CItemMoniker::Hash(DWORD* pdwHash) {
  if (!pdwHash) return E_POINTER;
  *pdwHash = vidorra::com::HashIgnoringCase(DisplayName());
  return S_OK;
}

STDMETHODIMP CItemMoniker::IsRunning(IBindCtx* /*pbc*/, IMoniker* pmkToLeft,
                                     IMoniker* pmkNewlyRunning) {
  if (pmkNewlyRunning) return IsEqual(pmkNewlyRunning);
  if (pmkToLeft) return E_NOTIMPL;
  ComPtr<IRunningObjectTable> table;
  const HRESULT hr = GetRunningObjectTable(0, table.ReleaseAndGetAddressOf());
  if (FAILED(hr)) return hr;
  return table->IsRunning(this);
}

HRESULT CreateItemMoniker(LPCOLESTR lpszDelim, LPCOLESTR lpszItem, LPMONIKER* ppmk) {
  if (!ppmk) return E_INVALIDARG;
  *ppmk = nullptr;
  if (!lpszItem) return E_INVALIDARG;
  ComPtr<CItemMoniker> moniker = MakeComObject<CItemMoniker>(lpszDelim ? lpszDelim : L"", lpszItem);
  *ppmk = moniker.Detach();
  return S_OK;
}

HRESULT CreateItemMonikerInstance(REFIID riid, void** ppv) {
  return ComClassFactoryFor<CItemMoniker>()(riid, ppv);
}
