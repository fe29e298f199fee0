// CFilterGraph: membership, names, events, audio and the interfaces without work.
#include "FilterGraph.h"

#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstdio>
#include <cwchar>

#include "EnumFilters.h"

namespace {

// Room for the " 0001" suffix a taken name receives.
constexpr size_t kSuffixLength = 5;
constexpr size_t kMaxNameLength = MAX_FILTER_NAME - 1;
constexpr int kMaxNameNumber = 9999;
constexpr size_t kNumberDigits = 4;

std::wstring Numbered(int n) {
  wchar_t text[kNumberDigits + 1];
  std::swprintf(text, kNumberDigits + 1, L"%04d", n);
  return text;
}

}  // namespace

CFilterGraph::CFilterGraph()
    : videoWindow_(static_cast<IFilterGraph2*>(this), [this] {
        for (ComPtr<IBaseFilter>& filter : FiltersNewestFirst(nullptr)) {
          if (ComPtr<IVideoWindow> window = QueryAs<IVideoWindow>(filter.Get())) return window;
        }
        return ComPtr<IVideoWindow>();
      }) {}

CFilterGraph::~CFilterGraph() {
  // The run thread takes graphLock_ to run the filters: it is stopped without holding it.
  {
    std::lock_guard lock(runMutex_);
    quit_ = true;
  }
  runWake_.notify_all();
  if (runThread_.joinable()) runThread_.join();
  std::lock_guard lock(graphLock_);
  StopLocked();
  // Break the filters' connections (they hold each other) and their weak links to us before
  // the references go.
  for (Entry& entry : filters_) DisconnectAllPins(entry.filter.Get());
  for (Entry& entry : filters_) {
    entry.filter->JoinFilterGraph(nullptr, nullptr);
    entry.filter->SetSyncSource(nullptr);
  }
  filters_.clear();
}

HRESULT CFilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown) return GetInterface(static_cast<IFilterGraph2*>(this), ppv);
  if (riid == IID_IFilterGraph || riid == IID_IGraphBuilder || riid == IID_IFilterGraph2) {
    return GetInterface(static_cast<IFilterGraph2*>(this), ppv);
  }
  // IDispatch is not answered by the graph object: each automation interface brings its own.
  if (riid == IID_IMediaControl) return GetInterface(static_cast<IMediaControl*>(this), ppv);
  if (riid == IID_IMediaEvent || riid == IID_IMediaEventEx) {
    return GetInterface(static_cast<IMediaEventEx*>(this), ppv);
  }
  if (riid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
  if (riid == IID_IMediaFilter || riid == IID_IPersist) {
    return GetInterface(static_cast<IMediaFilter*>(this), ppv);
  }
  if (riid == IID_IBasicAudio) return GetInterface(static_cast<IBasicAudio*>(this), ppv);
  if (riid == IID_IVideoWindow) return GetInterface(static_cast<IVideoWindow*>(&videoWindow_), ppv);
  *ppv = nullptr;
  return E_NOINTERFACE;
}

// ---- Membership ----

CFilterGraph::Entry* CFilterGraph::FindEntry(IBaseFilter* filter) {
  for (Entry& entry : filters_) {
    if (entry.filter.Get() == filter || IsSameObject(entry.filter.Get(), filter)) return &entry;
  }
  return nullptr;
}

bool CFilterGraph::ContainsPinOf(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return false;
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);
  return owner && FindEntry(owner.Get()) != nullptr;
}

std::wstring CFilterGraph::NameOf(IBaseFilter* filter) {
  Entry* entry = FindEntry(filter);
  return entry ? entry->name : std::wstring();
}

std::string CFilterGraph::PinText(IPin* pin) {
  if (!pin) return "(null)";
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return "(pin)";
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);
  return GraphLog::Quote(NameOf(owner.Get())) + "." + GraphLog::Quote(info.achName);
}

std::wstring CFilterGraph::UniqueName(const std::wstring& wanted, bool* renamed) {
  *renamed = false;
  auto taken = [this](const std::wstring& name) {
    for (const Entry& entry : filters_) {
      if (entry.name == name) return true;
    }
    return false;
  };
  // A filter given no name is numbered: "0001", "0002"...
  if (wanted.empty()) {
    for (int n = 1; n <= kMaxNameNumber; ++n) {
      if (!taken(Numbered(n))) return Numbered(n);
    }
    return std::wstring();
  }
  std::wstring base = wanted.substr(0, kMaxNameLength);
  if (!taken(base)) return base;
  *renamed = true;
  base = wanted.substr(0, kMaxNameLength - kSuffixLength);
  for (int n = 1; n <= kMaxNameNumber; ++n) {
    std::wstring candidate = base + L" " + Numbered(n);
    if (!taken(candidate)) return candidate;
  }
  return std::wstring();
}

STDMETHODIMP CFilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
  if (!pFilter) return E_POINTER;
  std::lock_guard lock(graphLock_);
  HRESULT hr = S_OK;
  std::wstring wanted = pName ? pName : L"";
  if (FindEntry(pFilter)) {
    hr = E_INVALIDARG;
  } else {
    bool renamed = false;
    const std::wstring name = UniqueName(wanted, &renamed);
    if (name.empty()) {
      hr = VFW_E_DUPLICATE_NAME;
    } else {
      hr = pFilter->JoinFilterGraph(AsGraph(), name.c_str());
      if (SUCCEEDED(hr)) {
        filters_.push_back({ComPtr<IBaseFilter>(pFilter), name});
        ++version_;
        if (clock_) pFilter->SetSyncSource(clock_.Get());
        hr = renamed ? VFW_S_DUPLICATE_NAME : S_OK;
        wanted = name;
      }
    }
  }
  log_.Write("AddFilter " + GraphLog::Quote(wanted), hr);
  return hr;
}

void CFilterGraph::DisconnectAllPins(IBaseFilter* filter) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.GetAddressOf()))) return;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPin> peer;
    if (SUCCEEDED(pin->ConnectedTo(peer.GetAddressOf())) && peer) {
      peer->Disconnect();
      pin->Disconnect();
    }
  }
}

STDMETHODIMP CFilterGraph::RemoveFilter(IBaseFilter* pFilter) {
  if (!pFilter) return E_POINTER;
  std::lock_guard lock(graphLock_);
  auto it = filters_.begin();
  while (it != filters_.end() &&
         !(it->filter.Get() == pFilter || IsSameObject(it->filter.Get(), pFilter))) {
    ++it;
  }
  HRESULT hr = S_OK;
  std::wstring name;
  if (it == filters_.end()) {
    hr = VFW_E_NOT_FOUND;
  } else if (state_ != State_Stopped) {
    name = it->name;
    hr = VFW_E_NOT_STOPPED;
  } else {
    name = it->name;
    ComPtr<IBaseFilter> filter = it->filter;
    DisconnectAllPins(filter.Get());
    filter->JoinFilterGraph(nullptr, nullptr);
    filter->SetSyncSource(nullptr);
    filters_.erase(it);
    ++version_;
  }
  log_.Write("RemoveFilter " + GraphLog::Quote(name), hr);
  return hr;
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::Snapshot() {
  std::lock_guard lock(graphLock_);
  std::vector<ComPtr<IBaseFilter>> result;
  for (Entry& entry : filters_) result.push_back(entry.filter);
  return result;
}

std::vector<ComPtr<IBaseFilter>> CFilterGraph::FiltersNewestFirst(unsigned* version) {
  std::lock_guard lock(graphLock_);
  if (version) *version = version_.load();
  std::vector<ComPtr<IBaseFilter>> result;
  for (auto it = filters_.rbegin(); it != filters_.rend(); ++it) result.push_back(it->filter);
  return result;
}

STDMETHODIMP CFilterGraph::EnumFilters(IEnumFilters** ppEnum) {
  if (!ppEnum) return E_POINTER;
  ComPtr<IUnknown> self(static_cast<IFilterGraph2*>(this));
  *ppEnum =
      MakeComObject<CEnumFilters>(std::move(self), static_cast<FilterEnumerationSource*>(this))
          .Detach();
  return S_OK;
}

STDMETHODIMP CFilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) {
  if (!pName || !ppFilter) return E_POINTER;
  *ppFilter = nullptr;
  std::lock_guard lock(graphLock_);
  for (Entry& entry : filters_) {
    if (entry.name == pName) return entry.filter.CopyTo(ppFilter);
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP CFilterGraph::AddSourceFilterForMoniker(IMoniker* pMoniker, IBindCtx* pCtx,
                                                     LPCWSTR lpcwstrFilterName,
                                                     IBaseFilter** ppFilter) {
  if (!pMoniker || !ppFilter) return E_POINTER;
  *ppFilter = nullptr;
  ComPtr<IBaseFilter> filter;
  HRESULT hr =
      pMoniker->BindToObject(pCtx, nullptr, IID_IBaseFilter, filter.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) return hr;
  hr = AddFilter(filter.Get(), lpcwstrFilterName);
  if (FAILED(hr)) return hr;
  filter.CopyTo(ppFilter);
  return hr;
}

// ---- Files: this platform has no file source filters ----

STDMETHODIMP CFilterGraph::RenderFile(LPCWSTR /*lpcwstrFile*/, LPCWSTR /*lpcwstrPlayList*/) {
  return E_NOTIMPL;
}
STDMETHODIMP CFilterGraph::AddSourceFilter(LPCWSTR /*lpcwstrFileName*/,
                                           LPCWSTR /*lpcwstrFilterName*/, IBaseFilter** ppFilter) {
  if (ppFilter) *ppFilter = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP CFilterGraph::RenderFile(BSTR /*strFilename*/) { return E_NOTIMPL; }
STDMETHODIMP CFilterGraph::AddSourceFilter(BSTR /*strFilename*/, IDispatch** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP CFilterGraph::get_FilterCollection(IDispatch** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP CFilterGraph::get_RegFilterCollection(IDispatch** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CFilterGraph::SetLogFile(DWORD_PTR hFile) {
  // The closing line goes to the old file, the opening line to the new one.
  if (hFile == 0) log_.Write("SetLogFile 0", S_OK);
  log_.SetFile(hFile);
  if (hFile != 0) log_.Write("SetLogFile " + std::to_string(hFile), S_OK);
  return S_OK;
}

STDMETHODIMP CFilterGraph::Abort() {
  abort_.store(true);
  return S_OK;
}

STDMETHODIMP CFilterGraph::ShouldOperationContinue() { return abort_.load() ? S_FALSE : S_OK; }

// ---- IDispatch ----

STDMETHODIMP CFilterGraph::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo) *pctinfo = 0;
  return E_NOTIMPL;
}
STDMETHODIMP CFilterGraph::GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP CFilterGraph::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* /*rgszNames*/, UINT /*cNames*/,
                                         LCID /*lcid*/, DISPID* /*rgDispId*/) {
  return E_NOTIMPL;
}
STDMETHODIMP CFilterGraph::Invoke(DISPID /*dispIdMember*/, REFIID /*riid*/, LCID /*lcid*/,
                                  WORD /*wFlags*/, DISPPARAMS* /*pDispParams*/,
                                  VARIANT* /*pVarResult*/, EXCEPINFO* /*pExcepInfo*/,
                                  UINT* /*puArgErr*/) {
  return E_NOTIMPL;
}

// ---- Events ----

STDMETHODIMP CFilterGraph::GetEventHandle(OAEVENT* hEvent) {
  if (!hEvent) return E_POINTER;
  *hEvent = reinterpret_cast<OAEVENT>(events_.Handle());
  return S_OK;
}

STDMETHODIMP CFilterGraph::GetEvent(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                                    long msTimeout) {
  return events_.Get(lEventCode, lParam1, lParam2, msTimeout);
}

STDMETHODIMP CFilterGraph::WaitForCompletion(long msTimeout, long* pEvCode) {
  if (!pEvCode) return E_POINTER;
  *pEvCode = 0;
  {
    std::lock_guard lock(graphLock_);
    if (state_ != State_Running) return VFW_E_WRONG_STATE;
  }
  return events_.WaitForCompletion(msTimeout, pEvCode);
}

STDMETHODIMP CFilterGraph::CancelDefaultHandling(long lEvCode) {
  if (lEvCode != EC_COMPLETE) return S_FALSE;
  std::lock_guard lock(completionMutex_);
  defaultCompleteHandling_ = false;
  return S_OK;
}

STDMETHODIMP CFilterGraph::RestoreDefaultHandling(long lEvCode) {
  if (lEvCode != EC_COMPLETE) return S_FALSE;
  std::lock_guard lock(completionMutex_);
  defaultCompleteHandling_ = true;
  return S_OK;
}

STDMETHODIMP CFilterGraph::FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) {
  GraphEventQueue::FreeParams(lEvCode, lParam1, lParam2);
  return S_OK;
}

STDMETHODIMP CFilterGraph::SetNotifyWindow(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) {
  events_.SetNotifyWindow(reinterpret_cast<HWND>(hwnd), static_cast<UINT>(lMsg), lInstanceData);
  return S_OK;
}

STDMETHODIMP CFilterGraph::SetNotifyFlags(long lNoNotifyFlags) {
  return events_.SetNotifyFlags(lNoNotifyFlags);
}

STDMETHODIMP CFilterGraph::GetNotifyFlags(long* lplNoNotifyFlags) {
  if (!lplNoNotifyFlags) return E_POINTER;
  *lplNoNotifyFlags = events_.NotifyFlags();
  return S_OK;
}

STDMETHODIMP CFilterGraph::Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
  if (EventCode != EC_COMPLETE) {
    events_.Push(EventCode, EventParam1, EventParam2);
    return S_OK;
  }
  // Queued under the lock, so that a Stop taking EC_COMPLETE back cannot miss one.
  std::lock_guard lock(completionMutex_);
  // A graph that is not running reports no end: its renderers tell it again when it runs.
  if (!runningForEvents_) return S_OK;
  auto* sender = reinterpret_cast<IBaseFilter*>(EventParam2);
  if (!defaultCompleteHandling_ || !sender || !renderers_.contains(sender)) {
    events_.Push(EventCode, EventParam1, EventParam2);
    return S_OK;
  }
  finished_.insert(sender);
  if (completeSent_ || finished_.size() < renderers_.size()) return S_OK;
  completeSent_ = true;
  events_.Push(EC_COMPLETE, S_OK, 0);
  return S_OK;
}

// ---- IBasicAudio: forwarded to the audio renderers ----

std::vector<ComPtr<IBasicAudio>> CFilterGraph::AudioRenderers() {
  std::vector<ComPtr<IBasicAudio>> result;
  for (ComPtr<IBaseFilter>& filter : Snapshot()) {
    ComPtr<IBasicAudio> audio = QueryAs<IBasicAudio>(filter.Get());
    if (!audio) continue;
    // An audio renderer ends its stream: it has no output pin.
    bool hasOutput = false;
    ComPtr<IEnumPins> pins;
    if (SUCCEEDED(filter->EnumPins(pins.GetAddressOf()))) {
      ComPtr<IPin> pin;
      while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT) {
          hasOutput = true;
        }
      }
    }
    if (!hasOutput) result.push_back(std::move(audio));
  }
  return result;
}

STDMETHODIMP CFilterGraph::put_Volume(long lVolume) {
  auto renderers = AudioRenderers();
  if (renderers.empty()) return E_NOTIMPL;
  HRESULT result = S_OK;
  for (auto& audio : renderers) {
    const HRESULT hr = audio->put_Volume(lVolume);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

STDMETHODIMP CFilterGraph::get_Volume(long* plVolume) {
  if (!plVolume) return E_POINTER;
  auto renderers = AudioRenderers();
  if (renderers.empty()) return E_NOTIMPL;
  return renderers.front()->get_Volume(plVolume);
}

STDMETHODIMP CFilterGraph::put_Balance(long lBalance) {
  auto renderers = AudioRenderers();
  if (renderers.empty()) return E_NOTIMPL;
  HRESULT result = S_OK;
  for (auto& audio : renderers) {
    const HRESULT hr = audio->put_Balance(lBalance);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

STDMETHODIMP CFilterGraph::get_Balance(long* plBalance) {
  if (!plBalance) return E_POINTER;
  auto renderers = AudioRenderers();
  if (renderers.empty()) return E_NOTIMPL;
  return renderers.front()->get_Balance(plBalance);
}

STDMETHODIMP CFilterGraph::GetClassID(CLSID* pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = CLSID_FilterGraph;
  return S_OK;
}
