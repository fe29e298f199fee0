// "Infinite Pin Tee Filter"; see InfTee.h.
#include "InfTee.h"

#include <string>

namespace vidorra::filters {
namespace {

constexpr long kOutputBuffers = 1;

}  // namespace

// ---- Input --------------------------------------------------------------------------------

CInfTeeInputPin::CInfTeeInputPin(CInfTee* tee) : CBaseInputPin(tee, L"Input"), tee_(tee) {}

HRESULT CInfTeeInputPin::CheckMediaType(const CMediaType* mt) {
  if (!mt || !mt->IsValid()) return VFW_E_TYPE_NOT_ACCEPTED;
  // A new input type must suit the outputs that are already connected.
  for (CInfTeeOutputPin* output : tee_->ConnectedOutputs()) {
    if (output->CurrentMediaType() != *mt) return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT CInfTeeInputPin::BreakConnect() { return CBaseInputPin::BreakConnect(); }

STDMETHODIMP CInfTeeInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  // Every connected output gets the sample; one failing receiver does not starve the others.
  HRESULT result = S_OK;
  bool delivered = false;
  for (CInfTeeOutputPin* output : tee_->ConnectedOutputs()) {
    hr = output->SendSample(sample);
    if (SUCCEEDED(hr)) {
      delivered = true;
    } else {
      result = hr;
    }
  }
  return delivered ? S_OK : result;
}

STDMETHODIMP CInfTeeInputPin::EndOfStream() {
  HRESULT hr = CBaseInputPin::EndOfStream();
  if (FAILED(hr)) return hr;
  for (CInfTeeOutputPin* output : tee_->ConnectedOutputs()) output->SendEndOfStream();
  return S_OK;
}

STDMETHODIMP CInfTeeInputPin::BeginFlush() {
  HRESULT hr = CBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  for (CInfTeeOutputPin* output : tee_->ConnectedOutputs()) output->SendBeginFlush();
  return S_OK;
}

STDMETHODIMP CInfTeeInputPin::EndFlush() {
  HRESULT hr = CBaseInputPin::EndFlush();
  if (FAILED(hr)) return hr;
  for (CInfTeeOutputPin* output : tee_->ConnectedOutputs()) output->SendEndFlush();
  return S_OK;
}

STDMETHODIMP CInfTeeInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  for (CInfTeeOutputPin* output : tee_->ConnectedOutputs()) {
    output->SendNewSegment(start, stop, rate);
  }
  return S_OK;
}

// ---- Outputs ------------------------------------------------------------------------------

CInfTeeOutputPin::CInfTeeOutputPin(CInfTee* tee, std::wstring name)
    : CQueuedOutputPin(tee, std::move(name)), tee_(tee) {}

HRESULT CInfTeeOutputPin::CheckMediaType(const CMediaType* mt) {
  if (!mt || !tee_->InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  return *mt == tee_->InputPin()->CurrentMediaType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CInfTeeOutputPin::GetMediaType(int position, CMediaType* mt) {
  if (!tee_->InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *mt = tee_->InputPin()->CurrentMediaType();
  return S_OK;
}

HRESULT CInfTeeOutputPin::CheckConnect(IPin* pin) {
  // Outputs carry the input's type, so the input connects first.
  if (!tee_->InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CInfTeeOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CBaseOutputPin::CompleteConnect(receivePin);
  if (SUCCEEDED(hr)) tee_->UpdateFreeOutput();
  return hr;
}

HRESULT CInfTeeOutputPin::BreakConnect() {
  HRESULT hr = CBaseOutputPin::BreakConnect();
  // Only the listing changes here: this pin object stays alive (see InfTee.h).
  tee_->UpdateFreeOutput();
  return hr;
}

HRESULT CInfTeeOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                           ALLOCATOR_PROPERTIES* request) {
  // The tee passes the input's samples on; this allocator only satisfies the negotiation.
  const auto sampleSize = static_cast<long>(tee_->InputPin()->CurrentMediaType().GetSampleSize());
  return DecideBuffers(allocator, *request, {.buffers = kOutputBuffers, .bytes = sampleSize});
}

HRESULT CInfTeeOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
  *allocator = nullptr;
  ALLOCATOR_PROPERTIES request{};
  pin->GetAllocatorRequirements(&request);
  ComPtr<IMemAllocator> candidate;
  if (IMemAllocator* upstream = tee_->InputPin()->Allocator()) {
    candidate = upstream;
  } else {
    HRESULT hr = pin->GetAllocator(candidate.GetAddressOf());
    if (FAILED(hr) || !candidate) {
      hr = InitAllocator(candidate.ReleaseAndGetAddressOf());
      if (FAILED(hr)) return hr;
    }
    hr = DecideBufferSize(candidate.Get(), &request);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = pin->NotifyAllocator(candidate.Get(), TRUE);
  if (FAILED(hr)) return hr;
  *allocator = candidate.Detach();
  return S_OK;
}

// ---- Filter -------------------------------------------------------------------------------

CInfTee::CInfTee() : CBaseFilter(L"Infinite Pin Tee Filter", CLSID_InfTee), input_(this) {
  UpdateFreeOutput();
}

CInfTee::~CInfTee() = default;

std::vector<CInfTeeOutputPin*> CInfTee::ConnectedOutputs() {
  std::vector<CInfTeeOutputPin*> connected;
  for (const auto& output : outputs_) {
    if (output->IsConnected()) connected.push_back(output.get());
  }
  return connected;
}

void CInfTee::UpdateFreeOutput() {
  std::lock_guard lock(FilterLock());
  if (freeOutput_ && !freeOutput_->IsConnected()) return;
  freeOutput_ = nullptr;
  for (const auto& output : outputs_) {
    if (!output->IsConnected()) {
      freeOutput_ = output.get();
      return;
    }
  }
  outputs_.push_back(
      std::make_unique<CInfTeeOutputPin>(this, L"Output" + std::to_wstring(outputs_.size() + 1)));
  freeOutput_ = outputs_.back().get();
}

int CInfTee::GetPinCount() {
  std::lock_guard lock(FilterLock());
  return 1 + static_cast<int>(ConnectedOutputs().size()) + (freeOutput_ ? 1 : 0);
}

CBasePin* CInfTee::GetPin(int n) {
  std::lock_guard lock(FilterLock());
  if (n == 0) return &input_;
  // Listed outputs: the connected ones and the free one, in creation order.
  int index = 1;
  for (const auto& output : outputs_) {
    if (!output->IsConnected() && output.get() != freeOutput_) continue;
    if (index == n) return output.get();
    ++index;
  }
  return nullptr;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_InfTee,
    .friendlyName = L"Infinite Pin Tee Filter",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_DO_NOT_USE,
    .inputTypes = {{GUID_NULL, GUID_NULL}},
    .outputTypes = {{GUID_NULL, GUID_NULL}},
    .monikerName = {},
    .factory = FilterFactoryFor<CInfTee>(),
});

}  // namespace
}  // namespace vidorra::filters
