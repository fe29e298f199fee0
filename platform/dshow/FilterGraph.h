// CFilterGraph (CLSID_FilterGraph): the filter graph manager.
//
// It holds the filters (strong references, unique names: a filter added without a name is
// called "0001", "0002"...; IEnumFilters lists the most recently added first), connects pins
// (directly, or through intermediate filters: those already in the graph with a free pin
// first, then registered transform filters by merit: intelligent connect), refuses a
// connection that would close a loop, renders output pins (to filters already in the graph,
// else to registered renderers), drives the filters' states (downstream first, so renderers
// change state before sources), chooses the clock, and queues the filters' events for the
// application (IMediaEventEx).
//
// Run state: Pause leaves the graph in transition while a renderer waits for its first sample
// (Pause answers S_FALSE). Run on a graph in transition holds the filters paused and answers
// S_FALSE; the graph's run thread waits until every filter has cued (or one answers
// VFW_S_CANT_CUE: a paused live source sends nothing to wait for), then runs them. GetState
// combines the filters' answers: E_FAIL when one fails, VFW_S_CANT_CUE when one cannot cue,
// VFW_S_STATE_INTERMEDIATE while one is in transition at the time-out, else S_OK; the state
// given is the one the graph is going to.
//
// Events: EC_COMPLETE reaches the application once per run, only while the graph runs and
// when every renderer (a filter with inputs and no outputs) has sent it; Stop, and each new
// Run, take back one not read yet (renderers send theirs again when they run at the end of
// their stream). Other events pass through. IVideoWindow is answered by forwarding to the
// video renderer in the graph (GraphVideoWindow), IBasicAudio to the audio renderers; the
// graph object itself does not answer IDispatch.
//
// Threads: the application calls it from its own thread; filters call IMediaEventSink::Notify
// from streaming threads. graphLock_ (recursive) guards filters, connections and state; the
// event queue and the completion count have their own locks, which are never held while a
// filter is called, so Notify never waits for graphLock_. The run thread waits without locks
// and takes graphLock_ to run the filters; runMutex_ (taken after graphLock_, never before)
// only wakes it.
#pragma once

#include <comimpl.h>
#include <control.h>
#include <strmif.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "EnumFilters.h"
#include "GraphEventQueue.h"
#include "GraphLog.h"
#include "GraphVideoWindow.h"

class CFilterGraph : public CUnknown,
                     public IFilterGraph2,
                     public IMediaControl,
                     public IMediaEventEx,
                     public IMediaEventSink,
                     public IMediaFilter,
                     public IBasicAudio,
                     private FilterEnumerationSource {
 public:
  CFilterGraph();
  ~CFilterGraph() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ---- IFilterGraph ----
  STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
  STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override;
  STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override;
  STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
  STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP Reconnect(IPin* ppin) override;
  STDMETHODIMP Disconnect(IPin* ppin) override;
  STDMETHODIMP SetDefaultSyncSource() override;
  // ---- IGraphBuilder ----
  STDMETHODIMP Connect(IPin* ppinOut, IPin* ppinIn) override;
  STDMETHODIMP Render(IPin* ppinOut) override;
  STDMETHODIMP RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;
  STDMETHODIMP AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                               IBaseFilter** ppFilter) override;
  STDMETHODIMP SetLogFile(DWORD_PTR hFile) override;
  STDMETHODIMP Abort() override;
  STDMETHODIMP ShouldOperationContinue() override;
  // ---- IFilterGraph2 ----
  STDMETHODIMP AddSourceFilterForMoniker(IMoniker* pMoniker, IBindCtx* pCtx,
                                         LPCWSTR lpcwstrFilterName,
                                         IBaseFilter** ppFilter) override;
  STDMETHODIMP ReconnectEx(IPin* ppin, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP RenderEx(IPin* pPinOut, DWORD dwFlags, DWORD* pvContext) override;

  // ---- IDispatch of IMediaControl, IMediaEventEx, IBasicAudio: no type information ----
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                             DISPID* rgDispId) override;
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                      DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                      UINT* puArgErr) override;

  // ---- IMediaControl (Stop and Pause also serve IMediaFilter) ----
  STDMETHODIMP Run() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP GetState(LONG msTimeout, OAFilterState* pfs) override;
  STDMETHODIMP RenderFile(BSTR strFilename) override;
  STDMETHODIMP AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) override;
  STDMETHODIMP get_FilterCollection(IDispatch** ppUnk) override;
  STDMETHODIMP get_RegFilterCollection(IDispatch** ppUnk) override;
  STDMETHODIMP StopWhenReady() override;

  // ---- IMediaEvent / IMediaEventEx ----
  STDMETHODIMP GetEventHandle(OAEVENT* hEvent) override;
  STDMETHODIMP GetEvent(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                        long msTimeout) override;
  STDMETHODIMP WaitForCompletion(long msTimeout, long* pEvCode) override;
  STDMETHODIMP CancelDefaultHandling(long lEvCode) override;
  STDMETHODIMP RestoreDefaultHandling(long lEvCode) override;
  STDMETHODIMP FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;
  STDMETHODIMP SetNotifyWindow(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) override;
  STDMETHODIMP SetNotifyFlags(long lNoNotifyFlags) override;
  STDMETHODIMP GetNotifyFlags(long* lplNoNotifyFlags) override;

  // ---- IMediaEventSink ----
  STDMETHODIMP Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

  // ---- IMediaFilter ----
  STDMETHODIMP GetClassID(CLSID* pClassID) override;
  STDMETHODIMP Run(REFERENCE_TIME tStart) override;
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;

  // ---- IBasicAudio ----
  STDMETHODIMP put_Volume(long lVolume) override;
  STDMETHODIMP get_Volume(long* plVolume) override;
  STDMETHODIMP put_Balance(long lBalance) override;
  STDMETHODIMP get_Balance(long* plBalance) override;

 private:
  struct Entry {
    ComPtr<IBaseFilter> filter;
    std::wstring name;
  };
  using Filters = std::vector<ComPtr<IBaseFilter>>;
  using Deadline = std::chrono::steady_clock::time_point;

  IFilterGraph* AsGraph() { return static_cast<IFilterGraph2*>(this); }
  Entry* FindEntry(IBaseFilter* filter);
  bool ContainsPinOf(IPin* pin);
  std::wstring UniqueName(const std::wstring& wanted, bool* renamed);
  std::wstring NameOf(IBaseFilter* filter);
  std::string PinText(IPin* pin);
  Filters Snapshot();
  Filters DownstreamFirst();
  void DisconnectAllPins(IBaseFilter* filter);
  std::vector<ComPtr<IBasicAudio>> AudioRenderers();

  // ---- FilterEnumerationSource ----
  Filters FiltersNewestFirst(unsigned* version) override;
  unsigned FiltersVersion() override { return version_.load(); }

  // State changes (graphLock_ held).
  HRESULT StopLocked();
  HRESULT PauseLocked();
  HRESULT RunLocked(REFERENCE_TIME tStart, bool startGiven);
  HRESULT RunFiltersLocked(REFERENCE_TIME tStart, bool startGiven);
  void CancelPendingRunLocked();
  HRESULT ApplyClockLocked(IReferenceClock* clock);
  REFERENCE_TIME ClockNow();
  void CountRenderersLocked();

  // Cueing: one look at every filter's state, and the wait for the filters to cue (until the
  // deadline, or until `cancelled` holds). Called without graphLock_.
  static HRESULT LookAtStates(const Filters& filters, ComPtr<IBaseFilter>* inTransition);
  // `cancelled` is called with runMutex_ held.
  HRESULT WaitForCue(const Filters& filters, Deadline deadline,
                     const std::function<bool()>& cancelled);
  void RunThreadProc();

  // Connection (graphLock_ held).
  HRESULT ConnectDirectLocked(IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt);
  HRESULT ConnectLocked(IPin* out, IPin* in, int depth);
  HRESULT ConnectThroughFilter(IPin* out, IPin* in, IBaseFilter* middle, int depth);
  HRESULT RenderLocked(IPin* out, int depth);
  HRESULT RenderThroughFilter(IPin* out, IBaseFilter* filter, int depth);
  HRESULT RenderToRegisteredRenderer(IPin* out);
  HRESULT ReconnectLocked(IPin* pin, const AM_MEDIA_TYPE* pmt);
  bool WouldCloseALoop(IPin* out, IPin* in);

  std::recursive_mutex graphLock_;
  std::vector<Entry> filters_;          // addition order
  std::atomic<unsigned> version_{0};    // moves on with every filter added or removed
  FILTER_STATE state_ = State_Stopped;  // the state asked for last
  bool filtersRunning_ = false;  // the filters were told to run (false while a run is pending)
  ComPtr<IReferenceClock> clock_;
  bool clockChosen_ = false;  // SetSyncSource or SetDefaultSyncSource was called
  REFERENCE_TIME start_ = 0;
  REFERENCE_TIME pausedAt_ = 0;
  bool hasRun_ = false;  // ran since the last stop (a Run from Paused resumes)
  std::atomic<bool> abort_{false};

  // A Run waiting for the filters to cue (under graphLock_), and the thread that makes it.
  bool runPending_ = false;
  REFERENCE_TIME pendingStart_ = 0;
  bool pendingStartGiven_ = false;
  std::thread runThread_;
  // runMutex_ guards the request below and wakes the run thread. A request is numbered; a
  // state change withdraws it, and the run thread only runs the filters for the request it
  // waited for.
  std::mutex runMutex_;
  std::condition_variable runWake_;
  unsigned runRequest_ = 0;
  bool runRequested_ = false;
  bool quit_ = false;

  GraphEventQueue events_;
  GraphLog log_;
  GraphVideoWindow videoWindow_;

  // EC_COMPLETE folding: the renderers counted when the graph left Stopped and those that
  // have finished this run. Guarded by completionMutex_.
  std::mutex completionMutex_;
  std::set<IBaseFilter*> renderers_;
  std::set<IBaseFilter*> finished_;
  bool completeSent_ = false;
  bool runningForEvents_ = false;  // the filters run: EC_COMPLETE may reach the application
  bool defaultCompleteHandling_ = true;
};
