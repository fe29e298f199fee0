// CBaseFilter: state machine, pins, graph membership, events and clock.
#include "BaseFilter.h"

#include <cwchar>

#include "BasePin.h"
#include "EnumPins.h"

CBaseFilter::CBaseFilter(std::wstring name, REFCLSID clsid)
    : clsid_(clsid), name_(std::move(name)) {}

CBaseFilter::~CBaseFilter() = default;

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist) {
    return GetInterface(static_cast<IBaseFilter*>(this), ppv);
  }
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = clsid_;
  return S_OK;
}

STDMETHODIMP CBaseFilter::Stop() {
  std::lock_guard lock(filterLock_);
  if (State() == State_Stopped) return S_OK;
  HRESULT result = S_OK;
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* pin = GetPin(i);
    if (!pin || !pin->IsConnected()) continue;
    const HRESULT hr = pin->Inactive();
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  {
    std::lock_guard end(endMutex_);
    SetState(State_Stopped);
    streamEnded_ = false;
    completeSentThisRun_ = false;
  }
  return result;
}

STDMETHODIMP CBaseFilter::Pause() {
  std::lock_guard lock(filterLock_);
  if (State() == State_Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (!pin || !pin->IsConnected()) continue;
      const HRESULT hr = pin->Active();
      if (FAILED(hr)) {
        // Leave no pin half started.
        for (int j = 0; j < i; ++j) {
          CBasePin* started = GetPin(j);
          if (started && started->IsConnected()) started->Inactive();
        }
        return hr;
      }
    }
  }
  const bool nothingToWaitFor = State() == State_Stopped && IsUnconnectedSink();
  std::lock_guard end(endMutex_);
  if (nothingToWaitFor) streamEnded_ = true;
  SetState(State_Paused);
  return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME tStart) {
  std::lock_guard lock(filterLock_);
  if (State() == State_Stopped) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  start_.store(tStart, std::memory_order_release);
  if (State() == State_Paused) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (!pin || !pin->IsConnected()) continue;
      const HRESULT hr = pin->Run(tStart);
      if (FAILED(hr)) return hr;
    }
  }
  bool send = false;
  {
    std::lock_guard end(endMutex_);
    SetState(State_Running);
    completeSentThisRun_ = streamEnded_;
    send = streamEnded_;
  }
  if (send) NotifyComplete();
  return S_OK;
}

bool CBaseFilter::IsUnconnectedSink() {
  bool hasInput = false;
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* pin = GetPin(i);
    if (!pin) continue;
    if (pin->Direction() == PINDIR_OUTPUT || pin->IsConnected()) return false;
    hasInput = true;
  }
  return hasInput;
}

void CBaseFilter::EndOfStreamReached() {
  bool send = false;
  {
    std::lock_guard end(endMutex_);
    streamEnded_ = true;
    send = State() == State_Running && !completeSentThisRun_;
    if (send) completeSentThisRun_ = true;
  }
  if (send) NotifyComplete();
}

void CBaseFilter::ClearEndOfStream() {
  std::lock_guard end(endMutex_);
  streamEnded_ = false;
  completeSentThisRun_ = false;
}

bool CBaseFilter::StreamEnded() const {
  std::lock_guard end(endMutex_);
  return streamEnded_;
}

void CBaseFilter::NotifyComplete() {
  NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

STDMETHODIMP CBaseFilter::GetState(DWORD /*dwMilliSecsTimeout*/, FILTER_STATE* State) {
  if (!State) return E_POINTER;
  *State = this->State();
  return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* pClock) {
  std::lock_guard lock(graphMutex_);
  clock_ = pClock;
  return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** pClock) {
  if (!pClock) return E_POINTER;
  std::lock_guard lock(graphMutex_);
  return clock_.CopyTo(pClock);
}

ComPtr<IReferenceClock> CBaseFilter::Clock() const {
  std::lock_guard lock(graphMutex_);
  return clock_;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::lock_guard lock(filterLock_);
  *ppEnum = MakeComObject<CEnumPins>(this).Detach();
  return S_OK;
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR Id, IPin** ppPin) {
  if (!Id || !ppPin) return E_POINTER;
  *ppPin = nullptr;
  std::lock_guard lock(filterLock_);
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* pin = GetPin(i);
    if (pin && pin->Id() == Id) {
      *ppPin = pin;
      pin->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
  if (!pInfo) return E_POINTER;
  std::lock_guard lock(graphMutex_);
  std::wcsncpy(pInfo->achName, name_.c_str(), MAX_FILTER_NAME - 1);
  pInfo->achName[MAX_FILTER_NAME - 1] = L'\0';
  pInfo->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) {
  std::lock_guard filter(filterLock_);
  std::lock_guard lock(graphMutex_);
  graph_ = pGraph;
  sink_ = nullptr;
  if (pGraph) {
    // Weak references: the graph holds this filter, not the other way round.
    ComPtr<IMediaEventSink> sink;
    if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, sink.ReleaseAndGetVoidAddressOf()))) {
      sink_ = sink.Get();
    }
  }
  if (pName) name_ = pName;
  return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* pVendorInfo) {
  if (pVendorInfo) *pVendorInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  // The sink is called under graphMutex_ and without a reference: the graph clears it
  // (JoinFilterGraph(null)) before it goes away, which waits for a Notify in progress. Taking
  // a reference instead could make a streaming thread the one that destroys the graph.
  std::lock_guard lock(graphMutex_);
  if (!sink_) return E_UNEXPECTED;
  return sink_->Notify(code, param1, param2);
}

IFilterGraph* CBaseFilter::Graph() const {
  std::lock_guard lock(graphMutex_);
  return graph_;
}

std::wstring CBaseFilter::Name() const {
  std::lock_guard lock(graphMutex_);
  return name_;
}
