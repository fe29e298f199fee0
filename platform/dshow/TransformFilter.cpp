// CTransformFilter: output buffers, Transform, stream control and streaming state.
#include "TransformFilter.h"

#include <cstring>

CTransformFilter::CTransformFilter(std::wstring name, REFCLSID clsid)
    : CBaseFilter(std::move(name), clsid),
      input_(std::make_unique<CTransformInputPin>(this, L"XForm In")),
      output_(std::make_unique<CTransformOutputPin>(this, L"XForm Out")) {}

CTransformFilter::~CTransformFilter() = default;

CBasePin* CTransformFilter::GetPin(int n) {
  if (n == 0) return input_.get();
  if (n == 1) return output_.get();
  return nullptr;
}

STDMETHODIMP CTransformFilter::Stop() {
  std::lock_guard lock(filterLock_);
  if (IsStopped()) return S_OK;
  // Stopped first, so a Receive that loses its buffer knows it is no fault; decommitting
  // releases a Receive blocked on an output buffer; the receive lock then waits for any
  // Receive still running.
  SetState(State_Stopped);
  if (input_->IsConnected()) input_->Inactive();
  if (output_->IsConnected()) output_->Inactive();
  std::lock_guard receive(receiveLock_);
  return StopStreaming();
}

STDMETHODIMP CTransformFilter::Pause() {
  std::lock_guard lock(filterLock_);
  if (!IsStopped()) return CBaseFilter::Pause();
  HRESULT hr = StartStreaming();
  if (FAILED(hr)) return hr;
  hr = CBaseFilter::Pause();
  if (FAILED(hr)) {
    StopStreaming();
    return hr;
  }
  // With nothing upstream no sample will ever come: tell downstream at once.
  if (!input_->IsConnected() && output_->IsConnected()) output_->DeliverEndOfStream();
  return S_OK;
}

HRESULT CTransformFilter::Transform(IMediaSample* /*in*/, IMediaSample* /*out*/) {
  return E_UNEXPECTED;
}

HRESULT CTransformFilter::SetMediaType(PIN_DIRECTION /*direction*/, const CMediaType* /*mt*/) {
  return S_OK;
}
HRESULT CTransformFilter::CheckConnect(PIN_DIRECTION /*direction*/, IPin* /*pin*/) { return S_OK; }
HRESULT CTransformFilter::CompleteConnect(PIN_DIRECTION /*direction*/, IPin* /*receivePin*/) {
  return S_OK;
}
HRESULT CTransformFilter::BreakConnect(PIN_DIRECTION /*direction*/) { return S_OK; }
HRESULT CTransformFilter::StartStreaming() { return S_OK; }
HRESULT CTransformFilter::StopStreaming() { return S_OK; }

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* in, IMediaSample** out) {
  IMediaSample* sample = nullptr;
  HRESULT hr = output_->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  hr = in->GetTime(&start, &end);
  if (hr == S_OK) {
    sample->SetTime(&start, &end);
  } else if (hr == VFW_S_NO_STOP_TIME) {
    sample->SetTime(&start, nullptr);
  }
  LONGLONG mediaStart = 0;
  LONGLONG mediaEnd = 0;
  if (in->GetMediaTime(&mediaStart, &mediaEnd) == S_OK)
    sample->SetMediaTime(&mediaStart, &mediaEnd);
  sample->SetSyncPoint(in->IsSyncPoint() == S_OK);
  sample->SetDiscontinuity(in->IsDiscontinuity() == S_OK);
  sample->SetPreroll(in->IsPreroll() == S_OK);
  *out = sample;
  return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample) {
  std::lock_guard receive(receiveLock_);
  IMediaSample* out = nullptr;
  HRESULT hr = InitializeOutputSample(sample, &out);
  if (FAILED(hr)) {
    // No buffer while stopping is no fault: the stream is going away. The graph stops the
    // filters downstream first, so an allocator already decommitted under a filter that still
    // runs is the same stop reaching it.
    if (IsStopped()) return VFW_E_WRONG_STATE;
    if (hr == VFW_E_NOT_COMMITTED) return hr;
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
  }
  ComPtr<IMediaSample> outSample;
  outSample.Attach(out);
  hr = Transform(sample, out);
  if (hr == S_FALSE) return S_OK;
  if (FAILED(hr)) {
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
  }
  return output_->Deliver(out);
}

HRESULT CTransformFilter::EndOfStream() {
  if (!output_->IsConnected()) return S_OK;
  return output_->DeliverEndOfStream();
}

HRESULT CTransformFilter::BeginFlush() {
  if (!output_->IsConnected()) return S_OK;
  return output_->DeliverBeginFlush();
}

HRESULT CTransformFilter::EndFlush() {
  if (!output_->IsConnected()) return S_OK;
  return output_->DeliverEndFlush();
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!output_->IsConnected()) return S_OK;
  return output_->DeliverNewSegment(start, stop, rate);
}
