// CSourceStream: an output pin with one streaming thread that fills and delivers samples.
//
// The thread starts in Active() (the filter leaves Stopped) and is stopped and joined in
// Inactive() (the filter stops): the stop request wakes every wait of the thread — a buffer
// wait (the allocator is decommitted), WaitForStreamTime, and the wait for Running.
//
// Loop: GetDeliveryBuffer, FillBuffer, Deliver, release. FillBuffer returns S_OK to deliver
// the sample, S_FALSE to end the stream (DeliverEndOfStream, thread ends), an error to fail it
// (EC_ERRORABORT with the error to the graph, then DeliverEndOfStream). A failed Deliver ends
// the loop quietly: the receiving filter reports its own failures.
//
// Hooks: FillBuffer (required), GetMediaType / CheckMediaType / DecideBufferSize (the pin's
// types and buffers), OnThreadCreate / OnThreadDestroy / OnThreadStartPlay (on the thread).
#pragma once

#include <winbase.h>

#include <thread>

#include "BaseOutputPin.h"

class CSource;

class CSourceStream : public CBaseOutputPin {
 public:
  CSourceStream(CSource* filter, std::wstring name);
  ~CSourceStream() override;

  // ---- Hooks ----
  virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
  virtual HRESULT OnThreadCreate() { return S_OK; }
  virtual HRESULT OnThreadDestroy() { return S_OK; }
  virtual HRESULT OnThreadStartPlay() { return S_OK; }
  // Default: accepts exactly the types GetMediaType offers.
  HRESULT CheckMediaType(const CMediaType* mt) override;

  HRESULT Active() override;
  HRESULT Inactive() override;
  HRESULT Run(REFERENCE_TIME tStart) override;
  // The filter went from Running to Paused: stream time stops.
  void OnPaused();

  // ---- Helpers for FillBuffer (streaming thread) ----
  // Waits until the graph clock reaches stream time `streamTime` (100-ns units, from the
  // start of the run) while the filter runs. S_OK when reached (at once without a clock),
  // S_FALSE when the stream is being stopped.
  HRESULT WaitForStreamTime(REFERENCE_TIME streamTime);
  bool StopRequested() const { return stopRequested_.load(); }
  // The thread is inside WaitForStreamTime: a paused stream there sends nothing before the
  // run (its filter answers VFW_S_CANT_CUE).
  bool WaitingForStreamTime() const { return waitingForTime_.load(); }

 private:
  void ThreadProc();
  HRESULT DoBufferProcessingLoop();

  std::thread thread_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> waitingForTime_{false};
  HANDLE stopEvent_;     // manual reset: set while a stop is requested
  HANDLE runningEvent_;  // manual reset: set while the filter runs
  HANDLE adviseEvent_;   // auto reset: the clock's advise for WaitForStreamTime
};
