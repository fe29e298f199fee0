// CBaseFilter: the base of every filter. It owns the state machine (Stopped, Paused, Running)
// and implements IBaseFilter once; a filter only supplies its pins and fills hooks.
//
// What a derived filter provides:
//   GetPinCount() / GetPin(n)   its pins, by index, in a stable order (the pins are owned by
//                               the filter, usually as members; their AddRef/Release go to
//                               the filter, so a pin keeps its filter alive).
// What it may override (call the base version from the override):
//   Stop(), Pause(), Run(tStart) to start and stop its own work. The base class calls
//   CBasePin::Active() on every connected pin when leaving Stopped, CBasePin::Run(tStart)
//   when entering Running and CBasePin::Inactive() when entering Stopped.
//
// Events: NotifyEvent(code, p1, p2) sends an event to the graph's IMediaEventSink; it is safe
// from any thread, including streaming threads. A filter that ends its stream like a renderer
// (no output pins) calls EndOfStreamReached() when its input's stream ends: EC_COMPLETE (param1
// S_OK, param2 its IBaseFilter pointer, so that the graph can tell when every renderer has
// finished) goes to the graph at once if the filter runs, else when it next runs, and again
// at every later Run until Stop or ClearEndOfStream() (a flush). Such a filter with no pin
// connected has nothing to wait for: its stream counts as ended from the Pause that starts it.
//
// Locks: FilterLock() (recursive) serialises state changes and pin connection; it is never
// taken by the base classes on a streaming thread, so Stop may wait for a streaming thread
// while holding it. State() and StreamStartTime() may be read from any thread without it.
// The graph is held by a weak pointer (the graph holds the filter).
#pragma once

#include <comimpl.h>
#include <control.h>
#include <evcode.h>
#include <vfwmsgs.h>

#include <atomic>
#include <mutex>
#include <string>

#include "MediaType.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter {
 public:
  CBaseFilter(std::wstring name, REFCLSID clsid);
  ~CBaseFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ---- Hooks ----
  virtual int GetPinCount() = 0;
  // The pin at index n (0 <= n < GetPinCount()), or null.
  virtual CBasePin* GetPin(int n) = 0;

  // ---- IPersist ----
  STDMETHODIMP GetClassID(CLSID* pClassID) override;

  // ---- IMediaFilter ----
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME tStart) override;
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;

  // ---- IBaseFilter ----
  STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
  STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* pVendorInfo) override;

  // ---- Helpers for derived classes and pins ----
  // Sends an event to the graph; E_UNEXPECTED when the filter is in no graph.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
  // End of stream of a filter that ends streams (see above); any thread.
  void EndOfStreamReached();
  void ClearEndOfStream();
  bool StreamEnded() const;
  FILTER_STATE State() const { return state_.load(std::memory_order_acquire); }
  bool IsStopped() const { return State() == State_Stopped; }
  bool IsActive() const { return State() != State_Stopped; }
  // The reference time at which stream time 0 falls (the tStart of the last Run).
  REFERENCE_TIME StreamStartTime() const { return start_.load(std::memory_order_acquire); }
  // The graph's clock, or null when the graph runs without one.
  ComPtr<IReferenceClock> Clock() const;
  // The graph this filter is in (weak; null when in none) and the name it was given there.
  IFilterGraph* Graph() const;
  std::wstring Name() const;
  std::recursive_mutex& FilterLock() { return filterLock_; }

 protected:
  void SetState(FILTER_STATE state) { state_.store(state, std::memory_order_release); }

  std::recursive_mutex filterLock_;

 private:
  // True for a filter with input pins, no output pin and no pin connected.
  bool IsUnconnectedSink();
  void NotifyComplete();

  // Guards the end-of-stream state and the move into Running, so that an end of stream
  // racing a Run is told once.
  mutable std::mutex endMutex_;
  bool streamEnded_ = false;
  bool completeSentThisRun_ = false;

  const CLSID clsid_;
  std::atomic<FILTER_STATE> state_{State_Stopped};
  std::atomic<REFERENCE_TIME> start_{0};

  // Guards the graph, sink, name and clock (read by streaming threads).
  mutable std::mutex graphMutex_;
  IFilterGraph* graph_ = nullptr;
  IMediaEventSink* sink_ = nullptr;
  std::wstring name_;
  ComPtr<IReferenceClock> clock_;
};
