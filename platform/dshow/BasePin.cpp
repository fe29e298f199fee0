// CBasePin: connection and media-type negotiation.
#include "BasePin.h"

#include <cstring>
#include <cwchar>

#include "EnumMediaTypes.h"

CBasePin::CBasePin(CBaseFilter* filter, std::wstring name, PIN_DIRECTION direction)
    : filter_(filter),
      lock_(filter->FilterLock()),
      name_(std::move(name)),
      id_(name_),
      direction_(direction) {}

void CBasePin::Rename(std::wstring name, std::wstring id) {
  name_ = std::move(name);
  id_ = std::move(id);
}

CBasePin::~CBasePin() = default;

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPin) {
    return GetInterface(static_cast<IPin*>(this), ppv);
  }
  if (riid == IID_IKsPropertySet && category_) {
    return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

// ---- Connection ----

STDMETHODIMP CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
  if (!pReceivePin) return E_POINTER;
  // The candidate types are read before this pin's lock is taken: a pin may offer the types
  // of another filter's pin (the SampleGrabber's output does), whose lock must not be taken
  // under ours.
  ComPtr<IEnumMediaTypes> theirs;
  ComPtr<IEnumMediaTypes> ours;
  if (FAILED(pReceivePin->EnumMediaTypes(theirs.GetAddressOf()))) theirs = nullptr;
  if (FAILED(EnumMediaTypes(ours.GetAddressOf()))) ours = nullptr;
  std::lock_guard lock(lock_);
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (filter_->IsActive() && !canConnectWhileActive_) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION otherDirection;
  if (FAILED(pReceivePin->QueryDirection(&otherDirection)) || otherDirection == direction_) {
    return VFW_E_INVALID_DIRECTION;
  }
  const CMediaType partial = pmt ? CMediaType(*pmt) : CMediaType();
  if (pmt && !partial.IsPartiallySpecified()) return AttemptConnection(pReceivePin, &partial);
  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  // The receiver's types first, then ours.
  for (IEnumMediaTypes* types : {theirs.Get(), ours.Get()}) {
    if (!types) continue;
    const HRESULT hr = TryMediaTypes(pReceivePin, pmt ? &partial : nullptr, types);
    if (SUCCEEDED(hr)) return S_OK;
    if (hr != VFW_E_NO_ACCEPTABLE_TYPES) failure = hr;
  }
  return failure;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* partial,
                                IEnumMediaTypes* types) {
  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  for (;;) {
    AM_MEDIA_TYPE* next = nullptr;
    ULONG fetched = 0;
    if (types->Next(1, &next, &fetched) != S_OK || fetched != 1 || !next) break;
    CMediaType mt;
    mt.Adopt(*next);
    CoTaskMemFree(next);
    if (partial && !mt.MatchesPartial(partial)) continue;
    const HRESULT hr = AttemptConnection(receivePin, &mt);
    if (SUCCEEDED(hr)) return S_OK;
    // Remember a more telling reason than "no type" (e.g. the receiver's own refusal).
    if (hr != E_FAIL && hr != VFW_E_TYPE_NOT_ACCEPTED) failure = hr;
  }
  return failure;
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* mt) {
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckMediaType(mt);
  if (hr != S_OK) {
    BreakConnect();
    return SUCCEEDED(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
  }
  hr = SetMediaType(mt);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  connected_ = receivePin;
  hr = receivePin->ReceiveConnection(this, mt);
  if (SUCCEEDED(hr)) {
    hr = CompleteConnect(receivePin);
    if (SUCCEEDED(hr)) return S_OK;
    receivePin->Disconnect();
  }
  BreakConnect();
  connected_ = nullptr;
  mt_ = CMediaType();
  return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
  if (!pConnector || !pmt) return E_POINTER;
  std::lock_guard lock(lock_);
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (filter_->IsActive() && !canConnectWhileActive_) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(pConnector);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  const CMediaType mt(*pmt);
  hr = CheckMediaType(&mt);
  if (hr != S_OK) {
    BreakConnect();
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  connected_ = pConnector;
  hr = SetMediaType(&mt);
  if (SUCCEEDED(hr)) hr = CompleteConnect(pConnector);
  if (FAILED(hr)) {
    BreakConnect();
    connected_ = nullptr;
    mt_ = CMediaType();
    return hr;
  }
  return S_OK;
}

STDMETHODIMP CBasePin::Disconnect() {
  std::lock_guard lock(lock_);
  if (filter_->IsActive() && !canConnectWhileActive_) return VFW_E_NOT_STOPPED;
  if (!connected_) return S_FALSE;
  BreakConnect();
  connected_ = nullptr;
  mt_ = CMediaType();
  return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pPin) {
  if (!pPin) return E_POINTER;
  std::lock_guard lock(lock_);
  *pPin = nullptr;
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_.CopyTo(pPin);
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  std::lock_guard lock(lock_);
  if (!connected_) {
    std::memset(pmt, 0, sizeof(*pmt));
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(pmt, &mt_);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* pInfo) {
  if (!pInfo) return E_POINTER;
  pInfo->pFilter = filter_;
  filter_->AddRef();
  pInfo->dir = direction_;
  std::wcsncpy(pInfo->achName, name_.c_str(), MAX_PIN_NAME - 1);
  pInfo->achName[MAX_PIN_NAME - 1] = L'\0';
  return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* pPinDir) {
  if (!pPinDir) return E_POINTER;
  *pPinDir = direction_;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* Id) {
  if (!Id) return E_POINTER;
  *Id = CoTaskMemStrDup(id_);
  return *Id ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  const CMediaType mt(*pmt);
  return CheckMediaType(&mt) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::lock_guard lock(lock_);
  *ppEnum = MakeComObject<CEnumMediaTypes>(this).Detach();
  return S_OK;
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin** /*apPin*/, ULONG* /*nPin*/) {
  return E_NOTIMPL;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
  segmentStart_ = tStart;
  segmentStop_ = tStop;
  segmentRate_ = dRate;
  return S_OK;
}

// ---- IKsPropertySet ----

STDMETHODIMP CBasePin::Set(REFGUID guidPropSet, DWORD /*dwPropID*/, LPVOID /*pInstanceData*/,
                           DWORD /*cbInstanceData*/, LPVOID /*pPropData*/, DWORD /*cbPropData*/) {
  // The category is a property of the pin, read only.
  return guidPropSet == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
}

STDMETHODIMP CBasePin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID /*pInstanceData*/,
                           DWORD /*cbInstanceData*/, LPVOID pPropData, DWORD cbPropData,
                           DWORD* pcbReturned) {
  if (guidPropSet != AMPROPSETID_Pin || !category_) return E_PROP_SET_UNSUPPORTED;
  if (dwPropID != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (pcbReturned) *pcbReturned = sizeof(GUID);
  if (!pPropData) return pcbReturned ? S_OK : E_POINTER;
  if (cbPropData < sizeof(GUID)) return E_UNEXPECTED;
  std::memcpy(pPropData, &*category_, sizeof(GUID));
  return S_OK;
}

STDMETHODIMP CBasePin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  if (guidPropSet != AMPROPSETID_Pin || !category_) return E_PROP_SET_UNSUPPORTED;
  if (dwPropID != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (pTypeSupport) *pTypeSupport = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

// ---- Hooks ----

HRESULT CBasePin::GetMediaType(int /*position*/, CMediaType* /*mt*/) { return VFW_S_NO_MORE_ITEMS; }

HRESULT CBasePin::SetMediaType(const CMediaType* mt) {
  mt_ = *mt;
  return S_OK;
}

HRESULT CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION otherDirection;
  if (FAILED(pin->QueryDirection(&otherDirection))) return E_FAIL;
  return otherDirection == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin* /*receivePin*/) { return S_OK; }
HRESULT CBasePin::BreakConnect() { return S_OK; }
HRESULT CBasePin::Active() { return S_OK; }
HRESULT CBasePin::Inactive() { return S_OK; }
HRESULT CBasePin::Run(REFERENCE_TIME /*tStart*/) { return S_OK; }
