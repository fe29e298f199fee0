// "SampleGrabber" (CLSID_SampleGrabber): an in-place pass-through that keeps a copy of the last
// sample and calls the application back. Pins, in that order: "Input" (id "In") and "Output"
// (id "Out"). The input offers no media type; the output none while the input is unconnected,
// then the types of the pin connected upstream (and the connection's own type, should that
// pin not offer it), of which it accepts the connection's type.
//
// ISampleGrabber:
//   SetMediaType           the input accepts only types matching this (partial) type; null
//                          accepts any. Takes effect at the next connection.
//   GetConnectedMediaType  the input's type (VFW_E_NOT_CONNECTED when unconnected).
//   SetBufferSamples       keep a copy of each sample (off by default).
//   GetCurrentBuffer       with a null buffer: the kept sample's size; otherwise copies it when
//                          *pBufferSize is large enough, E_OUTOFMEMORY (nothing written) when
//                          not; VFW_E_WRONG_STATE before the first sample, E_INVALIDARG when
//                          not buffering.
//   SetCallback            SampleCB (0) or BufferCB (1), on the streaming thread.
//   SetOneShot             after one sample, later ones are dropped and end of stream is sent.
//   GetCurrentSample       E_NOTIMPL.
//
// The grabber samples even when its output is not connected.
//
// Threads: the callbacks and the copy run on the upstream streaming thread; bufferMutex_
// guards the kept copy (read by GetCurrentBuffer on any thread), settingsMutex_ the settings.
#pragma once

#include <qedit.h>
#include <streams.h>

#include <mutex>
#include <optional>
#include <vector>

namespace vidorra::filters {

class CSampleGrabber;

// The grabber's input: enumerates nothing (VFW_E_NOT_CONNECTED) while the output is free, and
// answers QueryAccept by the type given to SetMediaType (see CSampleGrabber::Accepts).
class CSampleGrabberInputPin : public CTransformInputPin {
 public:
  explicit CSampleGrabberInputPin(CSampleGrabber* grabber);
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;

 private:
  CSampleGrabber* const grabber_;
};

// The grabber's output: VFW_E_NOT_CONNECTED while the input is free, else offers the types of
// the pin upstream of the grabber. It reads them without the grabber's lock (EnumMediaTypes is
// overridden, not GetMediaType), so that the upstream filter's lock is never taken under the
// grabber's. QueryAccept as the input's.
class CSampleGrabberOutputPin : public CTransformOutputPin {
 public:
  explicit CSampleGrabberOutputPin(CSampleGrabber* grabber);
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;

 private:
  CSampleGrabber* const grabber_;
};

class CSampleGrabber : public CTransInPlaceFilter, public ISampleGrabber {
 public:
  CSampleGrabber();

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ---- ISampleGrabber ----
  STDMETHODIMP SetOneShot(BOOL OneShot) override;
  STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE* pType) override;
  STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* pType) override;
  STDMETHODIMP SetBufferSamples(BOOL BufferThem) override;
  STDMETHODIMP GetCurrentBuffer(long* pBufferSize, long* pBuffer) override;
  STDMETHODIMP GetCurrentSample(IMediaSample** ppSample) override;
  STDMETHODIMP SetCallback(ISampleGrabberCB* pCallback, long WhichMethodToCallback) override;

  // QueryAccept on either pin: S_OK without a type set; else majortype, subtype and formattype
  // of the set type compared in that order with pmt's, the first GUID_NULL of the set type
  // ending with S_OK, the first difference with S_FALSE (the format block is not compared).
  HRESULT Accepts(const AM_MEDIA_TYPE* pmt);

  // ---- Transform hooks ----
  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT Transform(IMediaSample* sample) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT StartStreaming() override;

 private:
  std::mutex settingsMutex_;
  std::optional<CMediaType> acceptedType_;
  bool bufferSamples_ = false;
  bool oneShot_ = false;
  bool oneShotDone_ = false;
  ComPtr<ISampleGrabberCB> callback_;
  long callbackMethod_ = 0;

  std::mutex bufferMutex_;
  std::vector<BYTE> kept_;
  bool haveKept_ = false;
};

}  // namespace vidorra::filters
