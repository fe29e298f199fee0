// CWirePin; see WirePin.h.
#include "WirePin.h"

#include <cstring>

namespace vidorra::devices {

CWirePin::CWirePin(CBaseFilter* filter, const AnalogPinDesc& desc, const GUID& subtype)
    : CBasePin(filter, desc.name, desc.direction),
      majorType_(desc.majorType),
      subtype_(subtype),
      medium_(desc.medium) {}

HRESULT CWirePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IKsPropertySet && medium_) {
    return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
  }
  return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CWirePin::CheckMediaType(const CMediaType* mt) {
  if (!mt) return E_POINTER;
  if (mt->majortype != majorType_) return VFW_E_TYPE_NOT_ACCEPTED;
  if (mt->subtype != GUID_NULL && mt->subtype != subtype_) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT CWirePin::GetMediaType(int position, CMediaType* mt) {
  if (!mt) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *mt = CMediaType(&majorType_);
  mt->SetSubtype(&subtype_);
  mt->SetFormatType(&FORMAT_None);
  return S_OK;
}

STDMETHODIMP CWirePin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                           DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData,
                           DWORD* pcbReturned) {
  if (guidPropSet != AMPROPSETID_Pin || dwPropID != AMPROPERTY_PIN_MEDIUM || !medium_) {
    return CBasePin::Get(guidPropSet, dwPropID, pInstanceData, cbInstanceData, pPropData,
                         cbPropData, pcbReturned);
  }
  if (pcbReturned) *pcbReturned = sizeof(KSPIN_MEDIUM);
  if (!pPropData) return pcbReturned ? S_OK : E_POINTER;
  if (cbPropData < sizeof(KSPIN_MEDIUM)) return E_UNEXPECTED;
  std::memcpy(pPropData, &*medium_, sizeof(KSPIN_MEDIUM));
  return S_OK;
}

STDMETHODIMP CWirePin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  if (guidPropSet == AMPROPSETID_Pin && dwPropID == AMPROPERTY_PIN_MEDIUM && medium_) {
    if (pTypeSupport) *pTypeSupport = KSPROPERTY_SUPPORT_GET;
    return S_OK;
  }
  return CBasePin::QuerySupported(guidPropSet, dwPropID, pTypeSupport);
}

}  // namespace vidorra::devices
