// CBaseRenderer: a filter with one input pin that presents samples (DoRenderSample).
//
// Receive (upstream streaming thread): while Paused the sample is held (the first one is
// offered to OnReceiveFirstSample) until the filter runs, stops or flushes; while Running it
// waits on the graph clock (IReferenceClock::AdviseTime) until the sample's start time, then
// renders it. Without a clock, or for a sample without time, it renders at once. Stop, Pause
// and BeginFlush interrupt the wait; a sample released by Stop is dropped and its Receive
// answers S_OK (S_FALSE when a flush released it). EndOfStream sends EC_COMPLETE (param2: this filter) while the filter
// runs, and again at each Run until Stop (CBaseFilter::EndOfStreamReached); an unconnected
// renderer sends it at each Run. A failing DoRenderSample sends EC_ERRORABORT and fails the
// Receive.
//
// Hooks: CheckMediaType (required), DoRenderSample (required), SetMediaType,
// OnReceiveFirstSample, OnStartStreaming / OnStopStreaming, CompleteConnect / BreakConnect.
//
// Cueing: a connected renderer paused without a sample to show (from Stopped, or from Running
// between two samples) answers S_FALSE from Pause, and VFW_S_STATE_INTERMEDIATE from GetState
// (which waits up to its time-out) until a sample or the end of the stream arrives.
#pragma once

#include <unique_handle.h>
#include <winbase.h>

#include <condition_variable>
#include <memory>

#include "RendererInputPin.h"

class CBaseRenderer : public CBaseFilter {
 public:
  CBaseRenderer(std::wstring name, REFCLSID clsid);
  ~CBaseRenderer() override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME tStart) override;
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;

  // ---- Hooks ----
  virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
  virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
  virtual HRESULT SetMediaType(const CMediaType* mt);
  virtual void OnReceiveFirstSample(IMediaSample* sample);
  virtual HRESULT OnStartStreaming();
  virtual HRESULT OnStopStreaming();
  virtual HRESULT CompleteConnect(IPin* receivePin);
  virtual HRESULT BreakConnect();
  // The allocator the input pin offers upstream (a plain memory allocator by default).
  virtual ComPtr<IMemAllocator> CreateInputAllocator();

  // ---- Stream control, called by the input pin ----
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();

  CRendererInputPin* InputPin() const { return input_.get(); }

 private:
  // Waits while Paused and, when Running, until the sample's time. *renderNow: render it now;
  // the result is what Receive answers when the sample is not rendered (S_OK when Stop
  // released it, S_FALSE when a flush did).
  HRESULT WaitForRenderTime(IMediaSample* sample, bool* renderNow);
  HRESULT WaitForRenderTimeLocked(IMediaSample* sample, std::unique_lock<std::mutex>& render,
                                  bool* renderNow);
  void WakeWaiters();
  bool CuedLocked() const;

  std::unique_ptr<CRendererInputPin> input_;
  std::mutex renderMutex_;  // guards the fields below; never held while rendering
  std::condition_variable stateChanged_;
  bool haveSample_ = false;  // a sample arrived while paused, or was held when the filter paused
  bool holding_ = false;     // a Receive is waiting in WaitForRenderTime
  vidorra::UniqueHandle interruptEvent_;  // manual reset: set by Stop, Pause and BeginFlush
  vidorra::UniqueHandle adviseEvent_;     // auto reset: the clock's advise for the current sample
};
