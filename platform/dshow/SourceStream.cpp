// CSourceStream: the streaming thread of a source pin.
#include "SourceStream.h"

#include "Source.h"

namespace {

constexpr HANDLE kNoHandle = nullptr;

HANDLE NewEvent(bool manualReset) {
  return CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

}  // namespace

CSourceStream::CSourceStream(CSource* filter, std::wstring name)
    : CBaseOutputPin(filter, std::move(name)),
      stopEvent_(NewEvent(true)),
      runningEvent_(NewEvent(true)),
      adviseEvent_(NewEvent(false)) {}

CSourceStream::~CSourceStream() {
  // The filter stops its pins before it goes; this is the last guard against a thread left
  // running by a filter destroyed while active.
  if (thread_.joinable()) {
    stopRequested_.store(true);
    SetEvent(stopEvent_);
    if (allocator_) allocator_->Decommit();
    thread_.join();
  }
  for (HANDLE h : {stopEvent_, runningEvent_, adviseEvent_}) {
    if (h != kNoHandle) CloseHandle(h);
  }
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* mt) {
  for (int i = 0;; ++i) {
    CMediaType offered;
    if (GetMediaType(i, &offered) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    if (offered == *mt) return S_OK;
  }
}

HRESULT CSourceStream::Active() {
  HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr)) return hr;
  if (thread_.joinable()) return S_OK;
  stopRequested_.store(false);
  ResetEvent(stopEvent_);
  ResetEvent(runningEvent_);
  thread_ = std::thread([this] { ThreadProc(); });
  return S_OK;
}

HRESULT CSourceStream::Inactive() {
  stopRequested_.store(true);
  SetEvent(stopEvent_);
  // Decommit before joining: it releases a thread waiting for a buffer.
  const HRESULT hr = CBaseOutputPin::Inactive();
  if (thread_.joinable()) thread_.join();
  return hr;
}

HRESULT CSourceStream::Run(REFERENCE_TIME tStart) {
  SetEvent(runningEvent_);
  return CBaseOutputPin::Run(tStart);
}

void CSourceStream::OnPaused() { ResetEvent(runningEvent_); }

HRESULT CSourceStream::WaitForStreamTime(REFERENCE_TIME streamTime) {
  struct Waiting {
    std::atomic<bool>& flag;
    explicit Waiting(std::atomic<bool>& f) : flag(f) { flag.store(true); }
    ~Waiting() { flag.store(false); }
  } waiting(waitingForTime_);
  for (;;) {
    if (stopRequested_.load()) return S_FALSE;
    if (filter_->State() != State_Running) {
      const HANDLE handles[] = {stopEvent_, runningEvent_};
      WaitForMultipleObjects(2, handles, FALSE, INFINITE);
      continue;
    }
    ComPtr<IReferenceClock> clock = filter_->Clock();
    if (!clock) return S_OK;
    // The time is checked against the start of the current run: a pause and a run while the
    // advise was pending moved the start on.
    const REFERENCE_TIME due = filter_->StreamStartTime() + streamTime;
    REFERENCE_TIME now = 0;
    if (SUCCEEDED(clock->GetTime(&now)) && now >= due) return S_OK;
    DWORD_PTR cookie = 0;
    ResetEvent(adviseEvent_);
    HRESULT hr = clock->AdviseTime(due - streamTime, streamTime,
                                   reinterpret_cast<HEVENT>(adviseEvent_), &cookie);
    if (FAILED(hr)) return hr;
    const HANDLE handles[] = {stopEvent_, adviseEvent_};
    const DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    clock->Unadvise(cookie);
    if (result == WAIT_OBJECT_0) return S_FALSE;
    // Looks again: paused meanwhile, or run again with a later start.
  }
}

void CSourceStream::ThreadProc() {
  HRESULT hr = OnThreadCreate();
  if (SUCCEEDED(hr)) {
    hr = OnThreadStartPlay();
    if (SUCCEEDED(hr)) hr = DoBufferProcessingLoop();
  }
  if (FAILED(hr) && !stopRequested_.load()) {
    filter_->NotifyEvent(EC_ERRORABORT, hr, 0);
    DeliverEndOfStream();
  }
  OnThreadDestroy();
}

HRESULT CSourceStream::DoBufferProcessingLoop() {
  while (!stopRequested_.load()) {
    IMediaSample* raw = nullptr;
    HRESULT hr = GetDeliveryBuffer(&raw, nullptr, nullptr, 0);
    if (FAILED(hr)) return stopRequested_.load() ? S_OK : hr;
    ComPtr<IMediaSample> sample;
    sample.Attach(raw);
    hr = FillBuffer(sample.Get());
    if (stopRequested_.load()) return S_OK;
    if (hr == S_FALSE) {
      DeliverEndOfStream();
      return S_OK;
    }
    if (FAILED(hr)) return hr;
    hr = Deliver(sample.Get());
    // The receiver reports its own failures; a refusal (S_FALSE) means it wants no more.
    if (hr != S_OK) return S_OK;
  }
  return S_OK;
}
