// CLiveSource; see LiveSource.h.
#include "LiveSource.h"

#include <StreamingThreadRole.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

#include "CaptureFormats.h"
#include "CapturePin.h"
#include "DeviceCatalog.h"

namespace vidorra::devices {

namespace {

constexpr REFERENCE_TIME kUnitsPerMs = 10'000;

HANDLE NewEvent(bool manualReset) {
  return CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

IUnknown* Identity(CLiveSource* filter) {
  return static_cast<IUnknown*>(static_cast<IBaseFilter*>(filter));
}

}  // namespace

// The stream's clock and its stop signal. Stream time comes from the graph's clock; a filter
// run without one (no graph, or a graph told to use none) keeps time on the monotonic clock,
// so a simulated device is never faster than real time.
class CLiveSource::Timing : public StreamTiming {
 public:
  explicit Timing(CBaseFilter* filter)
      : filter_(filter),
        stopEvent_(NewEvent(true)),
        runningEvent_(NewEvent(true)),
        adviseEvent_(NewEvent(false)),
        interruptFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

  ~Timing() {
    for (HANDLE h : {stopEvent_, runningEvent_, adviseEvent_}) CloseHandle(h);
    if (interruptFd_ >= 0) ::close(interruptFd_);
  }

  // ---- Control (filter lock held, or any thread for RequestStop) ----
  void Prepare() {
    stopping_ = false;
    ResetEvent(stopEvent_);
    ResetEvent(runningEvent_);
    uint64_t drained = 0;
    while (interruptFd_ >= 0 && ::read(interruptFd_, &drained, sizeof drained) > 0) {
    }
  }
  void RequestStop() {
    stopping_ = true;
    SetEvent(stopEvent_);
    const uint64_t one = 1;
    if (interruptFd_ >= 0) {
      [[maybe_unused]] const ssize_t written = ::write(interruptFd_, &one, sizeof one);
    }
  }
  void Running() {
    {
      std::lock_guard lock(steadyMutex_);
      const auto now = std::chrono::steady_clock::now();
      if (!steadyStarted_) {
        steadyStart_ = now;
        steadyStarted_ = true;
      } else if (pausedAt_) {
        steadyStart_ += now - *pausedAt_;
      }
      pausedAt_.reset();
    }
    SetEvent(runningEvent_);
  }
  void Paused() {
    pausedStreamTime_ = Now();  // still running: the stream time that now stands still
    ResetEvent(runningEvent_);
    std::lock_guard lock(steadyMutex_);
    pausedAt_ = std::chrono::steady_clock::now();
  }
  void Stopped() {
    pausedStreamTime_ = 0;
    std::lock_guard lock(steadyMutex_);
    steadyStarted_ = false;
    pausedAt_.reset();
  }
  bool Stopping() const { return stopping_.load(); }

  // ---- StreamTiming (streaming thread) ----
  REFERENCE_TIME Now() override {
    // Paused, stream time stands where the pause left it (0 before the first run): the clock
    // goes on, but the stream's start is only set by the next run.
    if (filter_->State() != State_Running) return pausedStreamTime_.load();
    if (ComPtr<IReferenceClock> clock = filter_->Clock()) {
      REFERENCE_TIME now = 0;
      clock->GetTime(&now);
      return now - filter_->StreamStartTime();
    }
    return SteadyNow();
  }

  HRESULT WaitUntil(REFERENCE_TIME streamTime) override {
    for (;;) {
      if (stopping_.load()) return S_FALSE;
      if (filter_->State() != State_Running) {
        const HANDLE handles[] = {stopEvent_, runningEvent_};
        WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        continue;
      }
      ComPtr<IReferenceClock> clock = filter_->Clock();
      if (!clock) {
        const REFERENCE_TIME left = streamTime - SteadyNow();
        if (left <= 0) return S_OK;
        const DWORD waitMs = static_cast<DWORD>((left + kUnitsPerMs - 1) / kUnitsPerMs);
        if (WaitForSingleObject(stopEvent_, waitMs) == WAIT_OBJECT_0) return S_FALSE;
        continue;
      }
      // Checked against the start of the current run: a pause and a run while the advise was
      // pending moved the start on.
      const REFERENCE_TIME start = filter_->StreamStartTime();
      REFERENCE_TIME now = 0;
      if (SUCCEEDED(clock->GetTime(&now)) && now >= start + streamTime) return S_OK;
      DWORD_PTR cookie = 0;
      ResetEvent(adviseEvent_);
      const HRESULT hr =
          clock->AdviseTime(start, streamTime, reinterpret_cast<HEVENT>(adviseEvent_), &cookie);
      if (FAILED(hr)) return hr;
      const HANDLE handles[] = {stopEvent_, adviseEvent_};
      const DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
      clock->Unadvise(cookie);
      if (result == WAIT_OBJECT_0) return S_FALSE;
    }
  }

  int InterruptFd() override { return interruptFd_; }

 private:
  REFERENCE_TIME SteadyNow() {
    std::lock_guard lock(steadyMutex_);
    if (!steadyStarted_) return 0;
    const auto end = pausedAt_ ? *pausedAt_ : std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(end - steadyStart_).count() / 100;
  }

  CBaseFilter* const filter_;
  const HANDLE stopEvent_;     // manual reset: set while the stream is to stop
  const HANDLE runningEvent_;  // manual reset: set while the filter runs
  const HANDLE adviseEvent_;   // auto reset: the clock's advise
  const int interruptFd_;
  std::atomic<bool> stopping_{false};
  std::atomic<REFERENCE_TIME> pausedStreamTime_{0};
  // The monotonic stand-in for a missing graph clock.
  std::mutex steadyMutex_;
  std::chrono::steady_clock::time_point steadyStart_;
  std::optional<std::chrono::steady_clock::time_point> pausedAt_;
  bool steadyStarted_ = false;
};

CLiveSource::CLiveSource(std::wstring name, REFCLSID clsid, std::wstring deviceName,
                         std::unique_ptr<CaptureBackend> backend)
    : CBaseFilter(std::move(name), clsid),
      backend_(std::move(backend)),
      deviceName_(std::move(deviceName)),
      capabilities_(backend_->Capabilities()),
      timing_(std::make_unique<Timing>(this)) {}

CLiveSource::~CLiveSource() {
  JoinStreamingThread();
  if (inCatalog_) DeviceCatalog::Instance().Detach(this);
}

void CLiveSource::JoinStreamingThread() {
  if (thread_.joinable()) {
    timing_->RequestStop();
    thread_.join();
  }
}

// ---- State ----

STDMETHODIMP CLiveSource::Stop() {
  std::lock_guard lock(filterLock_);
  if (thread_.joinable()) {
    timing_->RequestStop();
    thread_.join();
  }
  streaming_ = false;
  if (IsActive()) backend_->StopStream();
  timing_->Stopped();
  return CBaseFilter::Stop();
}

STDMETHODIMP CLiveSource::Pause() {
  std::lock_guard lock(filterLock_);
  if (State() == State_Running) {
    timing_->Paused();
    return CBaseFilter::Pause();
  }
  if (State() == State_Paused) return S_OK;
  HRESULT hr = backend_->Available();
  if (FAILED(hr)) return hr;
  hr = CBaseFilter::Pause();
  if (FAILED(hr)) return hr;
  if (!AnyCapturePinConnected() && !RunsUnconnected()) return S_OK;
  for (CCapturePin* pin : CapturePins()) pin->ResetCounts();
  hr = backend_->StartStream(CurrentFormat());
  if (FAILED(hr)) {
    CBaseFilter::Stop();
    return hr;
  }
  timing_->Prepare();
  StreamStarting();
  thread_ = std::thread([this] { ThreadProc(); });
  streaming_ = true;
  return S_OK;
}

STDMETHODIMP CLiveSource::Run(REFERENCE_TIME tStart) {
  std::lock_guard lock(filterLock_);
  if (State() == State_Stopped) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  const HRESULT hr = CBaseFilter::Run(tStart);
  if (FAILED(hr)) return hr;
  timing_->Running();
  return S_OK;
}

STDMETHODIMP CLiveSource::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
  const HRESULT hr = CBaseFilter::GetState(dwMilliSecsTimeout, State);
  if (FAILED(hr)) return hr;
  // A live source cannot cue data while paused: nothing is captured until it runs.
  return *State == State_Paused ? VFW_S_CANT_CUE : hr;
}

STDMETHODIMP CLiveSource::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) {
  // Known to the catalog only while a graph holds the filter, so that the catalog never
  // reaches a filter on its way out.
  if (!pGraph && inCatalog_.exchange(false)) DeviceCatalog::Instance().Detach(this);
  const HRESULT hr = CBaseFilter::JoinFilterGraph(pGraph, pName);
  if (pGraph && SUCCEEDED(hr) && !inCatalog_.exchange(true)) {
    DeviceCatalog::Instance().Attach(deviceName_, this);
  }
  return hr;
}

bool CLiveSource::AnyCapturePinConnected() {
  const auto pins = CapturePins();
  return std::any_of(pins.begin(), pins.end(), [](CCapturePin* pin) { return pin->IsConnected(); });
}

// ---- Streaming thread ----

void CLiveSource::ThreadProc() {
  const CStreamingThreadRole role("capture", CStreamingThreadRole::Path::kCapture);
  for (;;) {
    if (lost_.load()) {
      ReportLost();
      return;
    }
    const HRESULT hr = CaptureOne(*timing_);
    if (hr == S_OK || lost_.load()) continue;
    if (hr == VFW_E_NO_CAPTURE_HARDWARE) {
      lost_ = true;
      continue;
    }
    // S_FALSE, or a failure that the stop caused (the allocators are being decommitted).
    if (hr == S_FALSE || timing_->Stopping()) return;
    NotifyEvent(EC_ERRORABORT, hr, 0);
    DeliverEndOfStreamEverywhere();
    return;
  }
}

void CLiveSource::DeliverEndOfStreamEverywhere() {
  for (CCapturePin* pin : CapturePins()) {
    if (pin->IsConnected()) pin->DeliverEndOfStream();
  }
}

// ---- Hot-plug ----

void CLiveSource::ReportLost() {
  std::lock_guard lock(hotPlugMutex_);
  // A device back before the streaming thread got here was told lost and back by DeviceArrived.
  if (lost_.load() && !lostReported_.exchange(true)) {
    NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(Identity(this)), 0);
  }
}

void CLiveSource::DeviceRemoved() {
  lost_ = true;
  timing_->RequestStop();
  // Without a streaming thread nobody else will tell the graph.
  if (!streaming_.load()) ReportLost();
}

void CLiveSource::DeviceArrived() {
  std::lock_guard lock(hotPlugMutex_);
  const auto self = reinterpret_cast<LONG_PTR>(Identity(this));
  // Lost while streaming and back before the streaming thread told the loss: its stream has
  // stopped all the same, so the loss is told here, first.
  if (lost_.exchange(false) && !lostReported_.exchange(true)) NotifyEvent(EC_DEVICE_LOST, self, 0);
  if (lostReported_.exchange(false)) NotifyEvent(EC_DEVICE_LOST, self, 1);
}

// ---- Format ----

CMediaType CLiveSource::CurrentFormat() {
  std::lock_guard lock(filterLock_);
  for (CCapturePin* pin : CapturePins()) {
    if (pin->IsConnected()) return pin->CurrentMediaType();
  }
  if (chosen_) return *chosen_;
  return capabilities_.empty() ? CMediaType() : capabilities_.front().type;
}

HRESULT CLiveSource::OfferedType(int position, CMediaType* mt) {
  std::lock_guard lock(filterLock_);
  if (chosen_) {
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = *chosen_;
    return S_OK;
  }
  if (position >= static_cast<int>(capabilities_.size())) return VFW_S_NO_MORE_ITEMS;
  *mt = capabilities_[static_cast<size_t>(position)].type;
  return S_OK;
}

HRESULT CLiveSource::AcceptsType(const CCapturePin* pin, const CMediaType& mt) {
  std::lock_guard lock(filterLock_);
  const int index = FindCapability(capabilities_, mt);
  if (index < 0) return VFW_E_TYPE_NOT_ACCEPTED;
  const CMediaType& capability = capabilities_[static_cast<size_t>(index)].type;
  // The pin connects with exactly the device's type, not a look-alike.
  if (mt != capability) return VFW_E_TYPE_NOT_ACCEPTED;
  // The chosen format is always acceptable (SetFormat reconnects the pins one by one);
  // otherwise all connected pins carry one format.
  if (chosen_ && *chosen_ == capability) return S_OK;
  for (CCapturePin* other : CapturePins()) {
    if (other != pin && other->IsConnected() && other->CurrentMediaType() != capability) {
      return VFW_E_TYPE_NOT_ACCEPTED;
    }
  }
  return S_OK;
}

HRESULT CLiveSource::ChooseFormat(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  std::lock_guard lock(filterLock_);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  const int index = FindCapability(capabilities_, *pmt);
  if (index < 0) return VFW_E_INVALIDMEDIATYPE;
  chosen_ = capabilities_[static_cast<size_t>(index)].type;
  return S_OK;
}

std::optional<CMediaType> CLiveSource::ChosenFormat() {
  std::lock_guard lock(filterLock_);
  return chosen_;
}

HRESULT CLiveSource::ChangeFormat(const AM_MEDIA_TYPE* pmt) {
  const std::optional<CMediaType> previousChoice = ChosenFormat();
  const CMediaType previous = CurrentFormat();
  HRESULT hr = ChooseFormat(pmt);
  if (FAILED(hr)) return hr;
  const CMediaType next = *ChosenFormat();
  // Outside the filter lock: the graph takes its own lock and then ours.
  hr = S_OK;
  ReconnectPins(next, previous, &hr);
  if (FAILED(hr)) {
    std::lock_guard lock(filterLock_);
    chosen_ = previousChoice;
  }
  return hr;
}

// Reconnects every connected pin whose type differs from `type`; on a refusal reconnects the
// ones already changed with `previous` and reports the refusal in *result.
void CLiveSource::ReconnectPins(const CMediaType& type, const CMediaType& previous,
                                HRESULT* result) {
  ComPtr<IFilterGraph2> graph = QueryAs<IFilterGraph2>(Graph());
  std::vector<CCapturePin*> changed;
  for (CCapturePin* pin : CapturePins()) {
    if (!pin->IsConnected() || pin->CurrentMediaType() == type) continue;
    const HRESULT hr = graph ? graph->ReconnectEx(pin, &type) : VFW_E_NOT_IN_GRAPH;
    if (FAILED(hr)) {
      *result = hr;
      for (CCapturePin* done : changed) graph->ReconnectEx(done, &previous);
      return;
    }
    changed.push_back(pin);
  }
}

}  // namespace vidorra::devices
