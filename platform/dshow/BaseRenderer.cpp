// CBaseRenderer: presentation on the graph clock.
#include "BaseRenderer.h"

#include "MemAllocator.h"

CBaseRenderer::CBaseRenderer(std::wstring name, REFCLSID clsid)
    : CBaseFilter(std::move(name), clsid),
      input_(std::make_unique<CRendererInputPin>(this, L"In")),
      interruptEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      adviseEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CBaseRenderer::~CBaseRenderer() = default;

CBasePin* CBaseRenderer::GetPin(int n) { return n == 0 ? input_.get() : nullptr; }

void CBaseRenderer::WakeWaiters() {
  SetEvent(interruptEvent_);
  stateChanged_.notify_all();
}

bool CBaseRenderer::CuedLocked() const {
  return haveSample_ || !input_->IsConnected() || StreamEnded();
}

STDMETHODIMP CBaseRenderer::Stop() {
  std::lock_guard lock(filterLock_);
  if (IsStopped()) return S_OK;
  {
    std::lock_guard render(renderMutex_);
    HRESULT hr = CBaseFilter::Stop();
    haveSample_ = false;
    // A held sample is let go: its Receive returns.
    WakeWaiters();
    if (FAILED(hr)) return hr;
  }
  return OnStopStreaming();
}

STDMETHODIMP CBaseRenderer::Pause() {
  std::lock_guard lock(filterLock_);
  const bool starting = IsStopped();
  if (starting) {
    HRESULT hr = OnStartStreaming();
    if (FAILED(hr)) return hr;
  }
  std::lock_guard render(renderMutex_);
  HRESULT hr = CBaseFilter::Pause();
  if (FAILED(hr)) return hr;
  if (starting) {
    haveSample_ = false;
    ResetEvent(interruptEvent_);
  } else {
    // From Running: cued only if a sample waiting for its time is held now (the wait turns
    // into the paused hold); a sample rendered before does not count.
    haveSample_ = holding_;
    WakeWaiters();
  }
  return CuedLocked() ? S_OK : S_FALSE;
}

STDMETHODIMP CBaseRenderer::Run(REFERENCE_TIME tStart) {
  std::lock_guard lock(filterLock_);
  if (IsStopped()) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  std::lock_guard render(renderMutex_);
  ResetEvent(interruptEvent_);
  HRESULT hr = CBaseFilter::Run(tStart);
  if (FAILED(hr)) return hr;
  stateChanged_.notify_all();
  return S_OK;
}

STDMETHODIMP CBaseRenderer::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
  if (!State) return E_POINTER;
  std::unique_lock render(renderMutex_);
  *State = this->State();
  if (*State != State_Paused) return S_OK;
  const auto cued = [this] { return this->State() != State_Paused || CuedLocked(); };
  if (dwMilliSecsTimeout == INFINITE) {
    stateChanged_.wait(render, cued);
  } else {
    stateChanged_.wait_for(render, std::chrono::milliseconds(dwMilliSecsTimeout), cued);
  }
  *State = this->State();
  return cued() ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

HRESULT CBaseRenderer::WaitForRenderTime(IMediaSample* sample, bool* renderNow) {
  std::unique_lock render(renderMutex_);
  holding_ = true;
  const HRESULT hr = WaitForRenderTimeLocked(sample, render, renderNow);
  holding_ = false;
  return hr;
}

// Called and returning with the render lock held; it lets the lock go while it waits.
HRESULT CBaseRenderer::WaitForRenderTimeLocked(IMediaSample* sample,
                                               std::unique_lock<std::mutex>& render,
                                               bool* renderNow) {
  *renderNow = false;
  if (!haveSample_) {
    haveSample_ = true;
    stateChanged_.notify_all();
    if (State() == State_Paused) {
      render.unlock();
      OnReceiveFirstSample(sample);
      render.lock();
    }
  }
  for (;;) {
    if (input_->IsFlushing()) return S_FALSE;
    const FILTER_STATE state = State();
    // Stopped while held: the sample is dropped, which is no failure of the stream.
    if (state == State_Stopped) return S_OK;
    if (state == State_Paused) {
      stateChanged_.wait(render, [&] { return State() != State_Paused || input_->IsFlushing(); });
      continue;
    }
    ComPtr<IReferenceClock> clock = Clock();
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    if (!clock || FAILED(sample->GetTime(&start, &end))) {
      *renderNow = true;
      return S_OK;
    }
    const REFERENCE_TIME base = StreamStartTime();
    render.unlock();
    DWORD_PTR cookie = 0;
    ResetEvent(adviseEvent_);
    DWORD result = WAIT_OBJECT_0 + 1;
    // A clock that cannot advise (a time before its start, say): render at once.
    if (SUCCEEDED(
            clock->AdviseTime(base, start, reinterpret_cast<HEVENT>(adviseEvent_.get()), &cookie))) {
      const HANDLE handles[] = {interruptEvent_, adviseEvent_};
      result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
      clock->Unadvise(cookie);
    }
    render.lock();
    if (result != WAIT_OBJECT_0) {
      *renderNow = true;
      return S_OK;
    }
    // Interrupted: the loop looks at the new state.
    if (State() == State_Running && !input_->IsFlushing()) ResetEvent(interruptEvent_);
  }
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample) {
  bool renderNow = false;
  HRESULT hr = WaitForRenderTime(sample, &renderNow);
  if (!renderNow) return hr;
  hr = DoRenderSample(sample);
  if (FAILED(hr)) {
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
  }
  return S_OK;
}

HRESULT CBaseRenderer::EndOfStream() {
  EndOfStreamReached();
  std::lock_guard render(renderMutex_);
  stateChanged_.notify_all();
  return S_OK;
}

HRESULT CBaseRenderer::BeginFlush() {
  ClearEndOfStream();
  std::lock_guard render(renderMutex_);
  WakeWaiters();
  return S_OK;
}

HRESULT CBaseRenderer::EndFlush() {
  std::lock_guard render(renderMutex_);
  if (State() == State_Running) ResetEvent(interruptEvent_);
  haveSample_ = false;
  return S_OK;
}

HRESULT CBaseRenderer::SetMediaType(const CMediaType* /*mt*/) { return S_OK; }
void CBaseRenderer::OnReceiveFirstSample(IMediaSample* /*sample*/) {}
HRESULT CBaseRenderer::OnStartStreaming() { return S_OK; }
HRESULT CBaseRenderer::OnStopStreaming() { return S_OK; }
HRESULT CBaseRenderer::CompleteConnect(IPin* /*receivePin*/) { return S_OK; }
HRESULT CBaseRenderer::BreakConnect() { return S_OK; }
ComPtr<IMemAllocator> CBaseRenderer::CreateInputAllocator() {
  return MakeComObject<CMemAllocator>();
}
