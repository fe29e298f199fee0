// CFilterGraph: run state and clock.
#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "FilterGraph.h"

namespace {

// Stream time 0 falls this far after Run, so that every filter is running when it comes.
constexpr REFERENCE_TIME kRunLatency = 100'000;  // 10 ms
constexpr DWORD kStopWhenReadyTimeoutMs = 5000;
// How often the filters are looked at again while one of them is in transition.
constexpr std::chrono::milliseconds kCueSlice{10};

bool PinDirectionIs(IPin* pin, PIN_DIRECTION wanted) {
  PIN_DIRECTION direction;
  return SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted;
}

// The filters connected to the output pins of `filter`.
std::vector<IBaseFilter*> DownstreamOf(IBaseFilter* filter) {
  std::vector<IBaseFilter*> result;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.GetAddressOf()))) return result;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (!PinDirectionIs(pin.Get(), PINDIR_OUTPUT)) continue;
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(peer.GetAddressOf())) || !peer) continue;
    PIN_INFO info{};
    if (FAILED(peer->QueryPinInfo(&info)) || !info.pFilter) continue;
    result.push_back(info.pFilter);
    info.pFilter->Release();  // the graph holds it
  }
  return result;
}

}  // namespace

std::vector<ComPtr<IBaseFilter>> CFilterGraph::DownstreamFirst() {
  std::vector<ComPtr<IBaseFilter>> all = Snapshot();
  std::map<IBaseFilter*, std::vector<IBaseFilter*>> downstream;
  for (auto& filter : all) downstream[filter.Get()] = DownstreamOf(filter.Get());
  std::vector<ComPtr<IBaseFilter>> ordered;
  std::set<IBaseFilter*> placed;
  // A filter goes once everything downstream of it is placed; a cycle (never built by the
  // graph itself) ends the sorting and its filters follow in addition order.
  bool progress = true;
  while (ordered.size() < all.size() && progress) {
    progress = false;
    for (auto& filter : all) {
      if (placed.contains(filter.Get())) continue;
      bool ready = true;
      for (IBaseFilter* next : downstream[filter.Get()]) {
        if (!placed.contains(next) && downstream.contains(next)) ready = false;
      }
      if (!ready) continue;
      ordered.push_back(filter);
      placed.insert(filter.Get());
      progress = true;
    }
  }
  for (auto& filter : all) {
    if (!placed.contains(filter.Get())) ordered.push_back(filter);
  }
  return ordered;
}

REFERENCE_TIME CFilterGraph::ClockNow() {
  REFERENCE_TIME now = 0;
  if (clock_) clock_->GetTime(&now);
  return now;
}

void CFilterGraph::CountRenderersLocked() {
  std::set<IBaseFilter*> renderers;
  for (Entry& entry : filters_) {
    int inputs = 0;
    int outputs = 0;
    ComPtr<IEnumPins> pins;
    if (FAILED(entry.filter->EnumPins(pins.GetAddressOf()))) continue;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
      (PinDirectionIs(pin.Get(), PINDIR_OUTPUT) ? outputs : inputs)++;
    }
    if (inputs > 0 && outputs == 0) renderers.insert(entry.filter.Get());
  }
  std::lock_guard lock(completionMutex_);
  renderers_ = std::move(renderers);
  finished_.clear();
  completeSent_ = false;
}

// ---- Cueing ----

HRESULT CFilterGraph::LookAtStates(const Filters& filters, ComPtr<IBaseFilter>* inTransition) {
  bool cantCue = false;
  for (const ComPtr<IBaseFilter>& filter : filters) {
    FILTER_STATE state;
    const HRESULT hr = filter->GetState(0, &state);
    if (FAILED(hr)) return E_FAIL;
    if (hr == VFW_S_CANT_CUE) cantCue = true;
    if (hr == VFW_S_STATE_INTERMEDIATE && !*inTransition) *inTransition = filter;
  }
  // A live source paused sends nothing: the renderers after it will not cue, so they are not
  // waited for.
  if (cantCue) return VFW_S_CANT_CUE;
  return *inTransition ? VFW_S_STATE_INTERMEDIATE : S_OK;
}

HRESULT CFilterGraph::WaitForCue(const Filters& filters, Deadline deadline,
                                 const std::function<bool()>& cancelled) {
  for (;;) {
    ComPtr<IBaseFilter> waiting;
    const HRESULT hr = LookAtStates(filters, &waiting);
    if (hr != VFW_S_STATE_INTERMEDIATE) return hr;
    const auto now = std::chrono::steady_clock::now();
    {
      std::lock_guard lock(runMutex_);
      if (now >= deadline || cancelled()) return hr;
    }
    // The filter in transition wakes as soon as it cues; the others are looked at again after
    // one slice, since a source may meanwhile have found that it cannot cue.
    const auto until = std::min(deadline, now + kCueSlice);
    const auto sliceMs = std::chrono::ceil<std::chrono::milliseconds>(until - now);
    FILTER_STATE state;
    if (waiting->GetState(static_cast<DWORD>(sliceMs.count()), &state) ==
            VFW_S_STATE_INTERMEDIATE &&
        std::chrono::steady_clock::now() < until) {
      // It answered at once without cueing: wait out the slice, but not a cancellation.
      std::unique_lock lock(runMutex_);
      runWake_.wait_until(lock, until, cancelled);
    }
  }
}

void CFilterGraph::RunThreadProc() {
  unsigned served = 0;
  std::unique_lock lock(runMutex_);
  for (;;) {
    runWake_.wait(lock, [&] { return quit_ || (runRequested_ && runRequest_ != served); });
    if (quit_) return;
    const unsigned request = runRequest_;
    served = request;
    const auto withdrawn = [this, request] {
      return quit_ || !runRequested_ || runRequest_ != request;
    };
    lock.unlock();
    WaitForCue(Snapshot(), Deadline::max(), withdrawn);
    {
      std::lock_guard graph(graphLock_);
      bool current = false;
      {
        std::lock_guard run(runMutex_);
        current = !withdrawn();
      }
      if (current && runPending_) {
        runPending_ = false;
        const HRESULT hr = RunFiltersLocked(pendingStart_, pendingStartGiven_);
        log_.Write("Run (once cued)", hr);
        // Nobody waits for this Run's result: the failure goes to the application as an event.
        if (FAILED(hr)) events_.Push(EC_ERRORABORT, hr, 0);
      }
    }
    lock.lock();
  }
}

void CFilterGraph::CancelPendingRunLocked() {
  runPending_ = false;
  {
    std::lock_guard lock(runMutex_);
    runRequested_ = false;
    ++runRequest_;
  }
  runWake_.notify_all();
}

// ---- State changes ----

HRESULT CFilterGraph::StopLocked() {
  CancelPendingRunLocked();
  {
    std::lock_guard lock(completionMutex_);
    runningForEvents_ = false;
    finished_.clear();
    completeSent_ = false;
  }
  // An EC_COMPLETE not read yet stays queued: only the next run takes it back.
  // A filter that stops asynchronously says S_FALSE: so does the graph, until it has stopped.
  HRESULT result = S_OK;
  for (auto& filter : DownstreamFirst()) {
    const HRESULT hr = filter->Stop();
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    if (hr == S_FALSE && result == S_OK) result = S_FALSE;
  }
  state_ = State_Stopped;
  filtersRunning_ = false;
  hasRun_ = false;
  return result;
}

HRESULT CFilterGraph::PauseLocked() {
  CancelPendingRunLocked();
  if (state_ == State_Stopped) {
    if (!clockChosen_) SetDefaultSyncSource();
    CountRenderersLocked();
    events_.ResetCompletion();
  }
  {
    std::lock_guard lock(completionMutex_);
    runningForEvents_ = false;
  }
  for (auto& filter : DownstreamFirst()) {
    const HRESULT hr = filter->Pause();
    if (FAILED(hr)) {
      StopLocked();
      return hr;
    }
  }
  if (filtersRunning_) pausedAt_ = ClockNow();
  filtersRunning_ = false;
  state_ = State_Paused;
  ComPtr<IBaseFilter> waiting;
  return LookAtStates(Snapshot(), &waiting) == VFW_S_STATE_INTERMEDIATE ? S_FALSE : S_OK;
}

HRESULT CFilterGraph::RunLocked(REFERENCE_TIME tStart, bool startGiven) {
  if (state_ == State_Running) return runPending_ ? S_FALSE : S_OK;
  if (state_ == State_Stopped) {
    const HRESULT hr = PauseLocked();
    if (FAILED(hr)) return hr;
  }
  ComPtr<IBaseFilter> waiting;
  if (LookAtStates(Snapshot(), &waiting) != VFW_S_STATE_INTERMEDIATE) {
    return RunFiltersLocked(tStart, startGiven);
  }
  // Still pausing: the filters stay paused until they have cued; the run thread runs them.
  state_ = State_Running;
  runPending_ = true;
  pendingStart_ = tStart;
  pendingStartGiven_ = startGiven;
  {
    std::lock_guard lock(runMutex_);
    runRequested_ = true;
    ++runRequest_;
  }
  runWake_.notify_all();
  if (!runThread_.joinable()) runThread_ = std::thread([this] { RunThreadProc(); });
  return S_FALSE;
}

HRESULT CFilterGraph::RunFiltersLocked(REFERENCE_TIME tStart, bool startGiven) {
  if (startGiven) {
    start_ = tStart;
  } else if (!clock_) {
    start_ = 0;
  } else if (!hasRun_) {
    start_ = ClockNow() + kRunLatency;
  } else {
    // Resuming: stream time stood still while paused.
    start_ += ClockNow() - pausedAt_;
  }
  // A new run: the renderers tell their end again, so an earlier EC_COMPLETE is taken back.
  {
    std::lock_guard lock(completionMutex_);
    finished_.clear();
    completeSent_ = false;
    runningForEvents_ = true;
  }
  events_.WithdrawComplete();
  for (auto& filter : DownstreamFirst()) {
    const HRESULT hr = filter->Run(start_);
    if (FAILED(hr)) {
      StopLocked();
      return hr;
    }
  }
  hasRun_ = true;
  filtersRunning_ = true;
  state_ = State_Running;
  return S_OK;
}

STDMETHODIMP CFilterGraph::Run() {
  std::lock_guard lock(graphLock_);
  const HRESULT hr = RunLocked(0, false);
  log_.Write("Run", hr);
  return hr;
}

STDMETHODIMP CFilterGraph::Run(REFERENCE_TIME tStart) {
  std::lock_guard lock(graphLock_);
  const HRESULT hr = RunLocked(tStart, true);
  log_.Write("Run " + std::to_string(tStart), hr);
  return hr;
}

STDMETHODIMP CFilterGraph::Pause() {
  std::lock_guard lock(graphLock_);
  const HRESULT hr = PauseLocked();
  log_.Write("Pause", hr);
  return hr;
}

STDMETHODIMP CFilterGraph::Stop() {
  std::lock_guard lock(graphLock_);
  const HRESULT hr = StopLocked();
  log_.Write("Stop", hr);
  return hr;
}

STDMETHODIMP CFilterGraph::StopWhenReady() {
  std::lock_guard lock(graphLock_);
  HRESULT hr = PauseLocked();
  if (SUCCEEDED(hr)) {
    FILTER_STATE state;
    GetState(kStopWhenReadyTimeoutMs, &state);
    hr = StopLocked();
  }
  log_.Write("StopWhenReady", hr);
  return hr;
}

STDMETHODIMP CFilterGraph::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
  if (!State) return E_POINTER;
  Filters filters;
  {
    std::lock_guard lock(graphLock_);
    *State = state_;
    filters = Snapshot();
  }
  const Deadline deadline =
      dwMilliSecsTimeout == INFINITE
          ? Deadline::max()
          : std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliSecsTimeout);
  for (;;) {
    const HRESULT cue = WaitForCue(filters, deadline, [] { return false; });
    if (FAILED(cue) || cue == VFW_S_STATE_INTERMEDIATE) return cue;
    // Cued; every filter must also be in the graph's state: one still paused is on its way
    // (a run that waits for its cue), one in any other state is not.
    HRESULT hr = cue;
    for (const ComPtr<IBaseFilter>& filter : filters) {
      FILTER_STATE state = *State;
      if (FAILED(filter->GetState(0, &state))) return E_FAIL;
      if (state == *State) continue;
      if (state != State_Paused) return E_FAIL;
      hr = VFW_S_STATE_INTERMEDIATE;
    }
    if (hr != VFW_S_STATE_INTERMEDIATE || std::chrono::steady_clock::now() >= deadline) return hr;
    std::unique_lock lock(runMutex_);
    runWake_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + kCueSlice));
  }
}

STDMETHODIMP CFilterGraph::GetState(LONG msTimeout, OAFilterState* pfs) {
  if (!pfs) return E_POINTER;
  FILTER_STATE state = State_Stopped;
  const HRESULT hr = GetState(msTimeout < 0 ? INFINITE : static_cast<DWORD>(msTimeout), &state);
  *pfs = state;
  return hr;
}

// ---- Clock ----

HRESULT CFilterGraph::ApplyClockLocked(IReferenceClock* clock) {
  clock_ = clock;
  clockChosen_ = true;
  HRESULT result = S_OK;
  for (Entry& entry : filters_) {
    const HRESULT hr = entry.filter->SetSyncSource(clock);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

STDMETHODIMP CFilterGraph::SetSyncSource(IReferenceClock* pClock) {
  std::lock_guard lock(graphLock_);
  HRESULT hr = state_ == State_Stopped ? ApplyClockLocked(pClock) : VFW_E_NOT_STOPPED;
  log_.Write(pClock ? "SetSyncSource clock" : "SetSyncSource none", hr);
  return hr;
}

STDMETHODIMP CFilterGraph::GetSyncSource(IReferenceClock** pClock) {
  if (!pClock) return E_POINTER;
  std::lock_guard lock(graphLock_);
  return clock_.CopyTo(pClock);
}

STDMETHODIMP CFilterGraph::SetDefaultSyncSource() {
  std::lock_guard lock(graphLock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  // A filter that keeps time itself (an audio renderer) is the best clock; else the system's.
  ComPtr<IReferenceClock> clock;
  for (Entry& entry : filters_) {
    clock = QueryAs<IReferenceClock>(entry.filter.Get());
    if (clock) break;
  }
  if (!clock) {
    HRESULT hr = CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IReferenceClock, clock.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) return hr;
  }
  return ApplyClockLocked(clock.Get());
}
