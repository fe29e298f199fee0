// CTransformFilter: a filter with one input and one output pin that turns each input sample
// into one output sample (Transform(in, out)). CTransformInputPin and CTransformOutputPin are
// its pins; they only forward to the filter's hooks.
//
// Hooks of a derived filter:
//   CheckInputType(in)            S_OK when the input accepts `in`.
//   CheckTransform(in, out)       S_OK when `in` can be turned into `out`.
//   GetMediaType(i, out)          the output types offered once the input is connected.
//   DecideBufferSize(alloc, req)  the output buffers.
//   Transform(in, out)            fills `out` from `in`: S_OK delivers it, S_FALSE drops it,
//                                 an error stops the stream and sends EC_ERRORABORT.
//   SetMediaType, CheckConnect, CompleteConnect, BreakConnect (per direction),
//   StartStreaming() / StopStreaming() (on Pause from Stopped / on Stop),
//   EndOfStream, BeginFlush, EndFlush, NewSegment (default: forwarded downstream).
//
// Threads: Receive runs on the upstream streaming thread under the receive lock; Stop takes
// the filter lock, decommits the allocators (releasing a Receive blocked on a buffer), then
// takes the receive lock so that no Receive runs when StopStreaming is called.
#pragma once

#include <memory>

#include "TransformInputPin.h"
#include "TransformOutputPin.h"

class CTransformFilter : public CBaseFilter {
 public:
  CTransformFilter(std::wstring name, REFCLSID clsid);
  ~CTransformFilter() override;

  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int n) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // ---- Hooks ----
  virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
  virtual HRESULT CheckInputType(const CMediaType* in) = 0;
  virtual HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT GetMediaType(int position, CMediaType* mt) = 0;
  virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* mt);
  virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin);
  virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* receivePin);
  virtual HRESULT BreakConnect(PIN_DIRECTION direction);
  virtual HRESULT StartStreaming();
  virtual HRESULT StopStreaming();

  // ---- Stream control, called by the input pin ----
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();
  virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  CTransformInputPin* InputPin() const { return input_.get(); }
  CTransformOutputPin* OutputPin() const { return output_.get(); }

 protected:
  // Gets an output buffer and copies the input's times and flags onto it.
  HRESULT InitializeOutputSample(IMediaSample* in, IMediaSample** out);

  std::unique_ptr<CTransformInputPin> input_;
  std::unique_ptr<CTransformOutputPin> output_;
  std::mutex receiveLock_;
};
