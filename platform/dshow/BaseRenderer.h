// CBaseRenderer: a filter with one input pin that presents samples (DoRenderSample).
//
// Receive (upstream streaming thread): while Paused the sample is held (the first one is
// offered to OnReceiveFirstSample) until the filter runs, stops or flushes; while Running it
// waits on the graph clock (IReferenceClock::AdviseTime) until the sample's start time, then
// renders it. Without a clock, or for a sample without time, it renders at once. Stop, Pause
// and BeginFlush interrupt the wait. EndOfStream sends EC_COMPLETE (param2: this filter) once
// the filter runs. A failing DoRenderSample sends EC_ERRORABORT and fails the Receive.
//
// Hooks: CheckMediaType (required), DoRenderSample (required), SetMediaType,
// OnReceiveFirstSample, OnStartStreaming / OnStopStreaming, CompleteConnect / BreakConnect.
//
// GetState while Paused answers VFW_S_STATE_INTERMEDIATE until a sample or end of stream has
// arrived (waiting up to the time-out for it).
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

  // ---- Stream control, called by the input pin ----
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();

  CRendererInputPin* InputPin() const { return input_.get(); }

 private:
  // Waits while Paused and, when Running, until the sample's time. S_OK: render it now;
  // otherwise the result Receive returns (the sample is not rendered).
  HRESULT WaitForRenderTime(IMediaSample* sample);
  void SendCompleteIfDue();
  void WakeWaiters();

  std::unique_ptr<CRendererInputPin> input_;
  std::mutex renderMutex_;  // guards the fields below; never held while rendering
  std::condition_variable stateChanged_;
  bool haveSample_ = false;       // a sample arrived since the filter left Stopped
  bool completePending_ = false;  // end of stream arrived, EC_COMPLETE not yet sent
  vidorra::UniqueHandle interruptEvent_;  // manual reset: set by Stop, Pause and BeginFlush
  vidorra::UniqueHandle adviseEvent_;     // auto reset: the clock's advise for the current sample
};
