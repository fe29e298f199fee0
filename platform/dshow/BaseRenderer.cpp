// CBaseRenderer: presentation on the graph clock.
#include "BaseRenderer.h"

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

STDMETHODIMP CBaseRenderer::Stop() {
  std::lock_guard lock(filterLock_);
  if (IsStopped()) return S_OK;
  {
    std::lock_guard render(renderMutex_);
    HRESULT hr = CBaseFilter::Stop();
    haveSample_ = false;
    completePending_ = false;
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
    completePending_ = false;
    ResetEvent(interruptEvent_);
    // An unconnected renderer will never receive anything: it has finished already.
    if (!input_->IsConnected()) completePending_ = true;
  } else {
    WakeWaiters();
  }
  return S_OK;
}

STDMETHODIMP CBaseRenderer::Run(REFERENCE_TIME tStart) {
  std::lock_guard lock(filterLock_);
  if (IsStopped()) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  {
    std::lock_guard render(renderMutex_);
    ResetEvent(interruptEvent_);
    HRESULT hr = CBaseFilter::Run(tStart);
    if (FAILED(hr)) return hr;
    stateChanged_.notify_all();
  }
  SendCompleteIfDue();
  return S_OK;
}

STDMETHODIMP CBaseRenderer::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
  if (!State) return E_POINTER;
  std::unique_lock render(renderMutex_);
  *State = this->State();
  if (*State != State_Paused) return S_OK;
  const auto cued = [this] {
    return this->State() != State_Paused || haveSample_ || completePending_ ||
           input_->IsEndOfStream();
  };
  if (dwMilliSecsTimeout == INFINITE) {
    stateChanged_.wait(render, cued);
  } else {
    stateChanged_.wait_for(render, std::chrono::milliseconds(dwMilliSecsTimeout), cued);
  }
  *State = this->State();
  return cued() ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

HRESULT CBaseRenderer::WaitForRenderTime(IMediaSample* sample) {
  std::unique_lock render(renderMutex_);
  if (!haveSample_) {
    haveSample_ = true;
    stateChanged_.notify_all();
    render.unlock();
    OnReceiveFirstSample(sample);
    render.lock();
  }
  for (;;) {
    if (input_->IsFlushing()) return S_FALSE;
    const FILTER_STATE state = State();
    if (state == State_Stopped) return VFW_E_WRONG_STATE;
    if (state == State_Paused) {
      stateChanged_.wait(render, [&] { return State() != State_Paused || input_->IsFlushing(); });
      continue;
    }
    ComPtr<IReferenceClock> clock = Clock();
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    if (!clock || FAILED(sample->GetTime(&start, &end))) return S_OK;
    const REFERENCE_TIME base = StreamStartTime();
    render.unlock();
    DWORD_PTR cookie = 0;
    ResetEvent(adviseEvent_);
    HRESULT hr = clock->AdviseTime(base, start, reinterpret_cast<HEVENT>(adviseEvent_.get()), &cookie);
    if (FAILED(hr)) return S_OK;  // a clock that cannot advise: render at once
    const HANDLE handles[] = {interruptEvent_, adviseEvent_};
    const DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    clock->Unadvise(cookie);
    render.lock();
    if (result != WAIT_OBJECT_0) return S_OK;
    // Interrupted: the loop looks at the new state.
    if (State() == State_Running && !input_->IsFlushing()) ResetEvent(interruptEvent_);
  }
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample) {
  HRESULT hr = WaitForRenderTime(sample);
  if (hr != S_OK) return hr;
  hr = DoRenderSample(sample);
  if (FAILED(hr)) {
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
  }
  return S_OK;
}

HRESULT CBaseRenderer::EndOfStream() {
  {
    std::lock_guard render(renderMutex_);
    completePending_ = true;
    stateChanged_.notify_all();
  }
  SendCompleteIfDue();
  return S_OK;
}

void CBaseRenderer::SendCompleteIfDue() {
  {
    std::lock_guard render(renderMutex_);
    if (!completePending_ || State() != State_Running) return;
    completePending_ = false;
  }
  NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

HRESULT CBaseRenderer::BeginFlush() {
  std::lock_guard render(renderMutex_);
  completePending_ = false;
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
