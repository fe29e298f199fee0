// CDeviceMoniker, its class registration and CreateDeviceMoniker.
#include "device_moniker.h"

#include <uuids.h>

#include "builtin_classes.h"
#include "device_moniker_resolvers.h"
#include "persisted_text.h"

namespace {

// "@device:sw:{CATEGORY}\{CLSID}": a software filter named by its class.
constexpr std::wstring_view kSoftwarePrefix = L"@device:sw:";
constexpr size_t kGuidTextChars = 38;
constexpr wchar_t kCategorySeparator = L'\\';

// The class of a "@device:sw:{CATEGORY}\{CLSID}" name, or false for any other name.
bool SoftwareFilterClass(const std::wstring& name, CLSID* clsid) {
  const size_t categoryAt = kSoftwarePrefix.size();
  const size_t separatorAt = categoryAt + kGuidTextChars;
  const size_t clsidAt = separatorAt + 1;
  if (name.size() != clsidAt + kGuidTextChars) return false;
  if (name.compare(0, kSoftwarePrefix.size(), kSoftwarePrefix) != 0) return false;
  if (name[separatorAt] != kCategorySeparator) return false;
  CLSID category{};
  if (FAILED(CLSIDFromString(name.substr(categoryAt, kGuidTextChars).c_str(), &category))) {
    return false;
  }
  return SUCCEEDED(CLSIDFromString(name.substr(clsidAt).c_str(), clsid));
}

}  // namespace

CDeviceMoniker::CDeviceMoniker(std::wstring displayName) : displayName_(std::move(displayName)) {}

std::wstring CDeviceMoniker::DisplayName() {
  std::lock_guard lock(mutex_);
  return displayName_;
}

STDMETHODIMP CDeviceMoniker::GetClassID(CLSID* pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = CLSID_CDeviceMoniker;
  return S_OK;
}

STDMETHODIMP CDeviceMoniker::Load(IStream* pStm) {
  if (!pStm) return E_POINTER;
  std::wstring name;
  const HRESULT hr = vidorra::com::ReadPersistedText(pStm, &name);
  if (FAILED(hr)) return hr;  // the moniker keeps its previous name
  std::lock_guard lock(mutex_);
  displayName_ = std::move(name);
  return S_OK;
}

STDMETHODIMP CDeviceMoniker::Save(IStream* pStm, BOOL /*fClearDirty*/) {
  if (!pStm) return E_POINTER;
  return vidorra::com::WritePersistedText(pStm, DisplayName());
}

STDMETHODIMP CDeviceMoniker::GetSizeMax(ULARGE_INTEGER* pcbSize) {
  if (!pcbSize) return E_POINTER;
  pcbSize->QuadPart = vidorra::com::PersistedTextSize(DisplayName());
  return S_OK;
}

STDMETHODIMP CDeviceMoniker::BindToObject(IBindCtx* /*pbc*/, IMoniker* /*pmkToLeft*/,
                                          REFIID riidResult, void** ppvResult) {
  if (!ppvResult) return E_POINTER;
  *ppvResult = nullptr;
  const std::wstring name = DisplayName();
  for (const auto& resolver : DeviceMonikerResolverList::Instance().Snapshot()) {
    const HRESULT hr = resolver->BindToObject(name, riidResult, ppvResult);
    if (FAILED(hr) && *ppvResult) {
      // A failing resolver must not hand out an object; never leak one to the caller.
      static_cast<IUnknown*>(*ppvResult)->Release();
      *ppvResult = nullptr;
    }
    if (hr != MK_E_NOOBJECT) return hr;
  }
  CLSID clsid{};
  if (!SoftwareFilterClass(name, &clsid)) return MK_E_NOOBJECT;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riidResult, ppvResult);
}

STDMETHODIMP CDeviceMoniker::BindToStorage(IBindCtx* /*pbc*/, IMoniker* /*pmkToLeft*/, REFIID riid,
                                           void** ppvObj) {
  if (!ppvObj) return E_POINTER;
  *ppvObj = nullptr;
  const std::wstring name = DisplayName();
  PropertyList properties;
  HRESULT hr = MK_E_NOOBJECT;
  for (const auto& resolver : DeviceMonikerResolverList::Instance().Snapshot()) {
    properties.clear();
    hr = resolver->ReadProperties(name, &properties);
    if (hr != MK_E_NOOBJECT) break;
  }
  if (hr == MK_E_NOOBJECT) {
    CLSID clsid{};
    if (!SoftwareFilterClass(name, &clsid)) return MK_E_NOOBJECT;
    wchar_t text[kGuidTextChars + 1];
    StringFromGUID2(clsid, text, static_cast<int>(std::size(text)));
    properties = {{L"CLSID", text}};
    hr = S_OK;
  }
  if (FAILED(hr)) return hr;
  ComPtr<IPropertyBag> bag;
  hr = CreateMemoryPropertyBag(std::move(properties), bag.ReleaseAndGetAddressOf());
  if (FAILED(hr)) return hr;
  return bag->QueryInterface(riid, ppvObj);
}

STDMETHODIMP CDeviceMoniker::IsEqual(IMoniker* pmkOtherMoniker) {
  std::wstring other;
  if (!DisplayNameIfSameClass(pmkOtherMoniker, CLSID_CDeviceMoniker, &other)) return S_FALSE;
  return vidorra::com::EqualsIgnoringCase(other, DisplayName()) ? S_OK : S_FALSE;
}

STDMETHODIMP CDeviceMoniker::Hash(DWORD* pdwHash) {
  if (!pdwHash) return E_POINTER;
  *pdwHash = vidorra::com::HashIgnoringCase(DisplayName());
  return S_OK;
}

STDMETHODIMP CDeviceMoniker::IsRunning(IBindCtx*, IMoniker*, IMoniker*) { return S_FALSE; }

HRESULT CreateDeviceMoniker(const std::wstring& displayName, IMoniker** out) {
  if (!out) return E_POINTER;
  ComPtr<CDeviceMoniker> moniker = MakeComObject<CDeviceMoniker>(displayName);
  *out = moniker.Detach();
  return S_OK;
}

HRESULT CreateDeviceMonikerInstance(REFIID riid, void** ppv) {
  return ComClassFactoryFor<CDeviceMoniker>()(riid, ppv);
}
