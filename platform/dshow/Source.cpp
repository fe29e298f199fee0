// CSource: a filter of CSourceStream pins.
#include "Source.h"

CSource::CSource(std::wstring name, REFCLSID clsid) : CBaseFilter(std::move(name), clsid) {}

CSource::~CSource() = default;

int CSource::GetPinCount() {
  std::lock_guard lock(filterLock_);
  return static_cast<int>(streams_.size());
}

CBasePin* CSource::GetPin(int n) {
  std::lock_guard lock(filterLock_);
  if (n < 0 || n >= static_cast<int>(streams_.size())) return nullptr;
  return streams_[static_cast<size_t>(n)].get();
}

CSourceStream* CSource::Stream(int n) const {
  if (n < 0 || n >= static_cast<int>(streams_.size())) return nullptr;
  return streams_[static_cast<size_t>(n)].get();
}

void CSource::AddPin(std::unique_ptr<CSourceStream> stream) {
  std::lock_guard lock(filterLock_);
  streams_.push_back(std::move(stream));
}

STDMETHODIMP CSource::Pause() {
  std::lock_guard lock(filterLock_);
  if (State() == State_Running) {
    for (auto& stream : streams_) stream->OnPaused();
  }
  return CBaseFilter::Pause();
}

STDMETHODIMP CSource::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
  const HRESULT hr = CBaseFilter::GetState(dwMilliSecsTimeout, State);
  if (hr != S_OK || *State != State_Paused) return hr;
  std::lock_guard lock(filterLock_);
  for (auto& stream : streams_) {
    if (stream->WaitingForStreamTime()) return VFW_S_CANT_CUE;
  }
  return S_OK;
}
