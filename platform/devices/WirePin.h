// CWirePin: a pin on a wire that carries no samples: the analogue connections between the
// crossbars, TV tuner, TV audio and capture filter of a card, and a video port. It connects
// like any pin (media type MEDIATYPE_AnalogVideo/AnalogAudio with no format, or the video port
// type) but has no allocator and no stream. Its medium, when it has one, names the wire: the
// capture graph builder connects pins whose mediums match (AMPROPERTY_PIN_MEDIUM through
// IKsPropertySet). A pin category, when set, is answered too.
//
// Threads: as CBasePin (connection under the filter's lock).
#pragma once

#include <streams.h>

#include <optional>

#include "DeviceBackend.h"

namespace vidorra::devices {

class CWirePin : public CBasePin {
 public:
  CWirePin(CBaseFilter* filter, const AnalogPinDesc& desc, const GUID& subtype = MEDIASUBTYPE_None);

  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;

  // Nothing flows on a wire: stream control is accepted and has nothing to do.
  STDMETHODIMP EndOfStream() override { return S_OK; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }

  STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
  STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

 private:
  const GUID majorType_;
  const GUID subtype_;
  const std::optional<KSPIN_MEDIUM> medium_;
};

}  // namespace vidorra::devices
