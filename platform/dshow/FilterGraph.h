// CFilterGraph (CLSID_FilterGraph): the filter graph manager.
//
// It holds the filters (strong references, addition order, unique names), connects pins
// (directly, or through registered transform filters by merit: intelligent connect), renders
// output pins to registered renderers, drives the filters' states (downstream first, so
// renderers change state before sources), chooses the clock, and queues the filters' events
// for the application (IMediaEventEx), folding the renderers' EC_COMPLETE into one.
//
// Threads: the application calls it from its own thread; filters call IMediaEventSink::Notify
// from streaming threads. graphLock_ (recursive) guards filters, connections and state; the
// event queue and the completion count have their own locks, which are never held while a
// filter is called, so Notify never waits for graphLock_.
#pragma once

#include <comimpl.h>
#include <control.h>
#include <strmif.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "GraphEventQueue.h"
#include "GraphLog.h"

class CFilterGraph : public CUnknown,
                     public IFilterGraph2,
                     public IMediaControl,
                     public IMediaEventEx,
                     public IMediaEventSink,
                     public IMediaFilter,
                     public IBasicAudio {
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

  // ---- IDispatch (IMediaControl, IMediaEventEx, IBasicAudio): no type information ----
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

  IFilterGraph* AsGraph() { return static_cast<IFilterGraph2*>(this); }
  Entry* FindEntry(IBaseFilter* filter);
  bool ContainsPinOf(IPin* pin);
  std::wstring UniqueName(const std::wstring& wanted, bool* renamed);
  std::wstring NameOf(IBaseFilter* filter);
  std::string PinText(IPin* pin);
  std::vector<ComPtr<IBaseFilter>> Snapshot();
  std::vector<ComPtr<IBaseFilter>> DownstreamFirst();
  void DisconnectAllPins(IBaseFilter* filter);
  std::vector<ComPtr<IBasicAudio>> AudioRenderers();

  // State changes (graphLock_ held).
  HRESULT StopLocked();
  HRESULT PauseLocked();
  HRESULT RunLocked(REFERENCE_TIME tStart, bool startGiven);
  HRESULT ApplyClockLocked(IReferenceClock* clock);
  REFERENCE_TIME ClockNow();
  void CountRenderersLocked();

  // Connection (graphLock_ held).
  HRESULT ConnectDirectLocked(IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt);
  HRESULT ConnectLocked(IPin* out, IPin* in, int depth);
  HRESULT ConnectThroughFilter(IPin* out, IPin* in, IBaseFilter* middle, int depth);
  HRESULT RenderLocked(IPin* out);
  HRESULT ReconnectLocked(IPin* pin, const AM_MEDIA_TYPE* pmt);

  std::recursive_mutex graphLock_;
  std::vector<Entry> filters_;
  FILTER_STATE state_ = State_Stopped;
  ComPtr<IReferenceClock> clock_;
  bool clockChosen_ = false;  // SetSyncSource or SetDefaultSyncSource was called
  REFERENCE_TIME start_ = 0;
  REFERENCE_TIME pausedAt_ = 0;
  bool hasRun_ = false;  // ran since the last stop (a Run from Paused resumes)
  std::atomic<bool> abort_{false};

  GraphEventQueue events_;
  GraphLog log_;

  // EC_COMPLETE folding: the renderers counted when the graph left Stopped and those that
  // have finished. Guarded by completionMutex_.
  std::mutex completionMutex_;
  std::set<IBaseFilter*> renderers_;
  std::set<IBaseFilter*> finished_;
  bool completeSent_ = false;
  bool defaultCompleteHandling_ = true;
};
