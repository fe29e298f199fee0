// "Smart Tee"; see SmartTee.h.
#include "SmartTee.h"

#include <StreamingThreadRole.h>

#include <algorithm>
#include <cstring>

namespace vidorra::filters {
namespace {

constexpr long kCaptureBuffers = 1;
constexpr long kPreviewBuffers = 2;
// Input samples the preview may hold at once, and what the input asks its allocator for beside
// them: the sample upstream fills and the one the capture branch is given.
constexpr long kSharedPreview = 2;
constexpr long kUpstreamBuffers = 2;

// An input sample lent to the preview: its bytes where they are (read-only for the preview),
// without its time stamps; the input sample stays held until the preview lets this go.
class CLentSample : public CMediaSample {
 public:
  CLentSample(IMediaSample* input, BYTE* data, std::shared_ptr<std::atomic<long>> lent)
      : CMediaSample(nullptr, data, input->GetSize()), input_(input), lent_(std::move(lent)) {
    ++*lent_;
    SetActualDataLength(std::max(input->GetActualDataLength(), 0L));
    SetSyncPoint(input->IsSyncPoint() == S_OK ? TRUE : FALSE);
  }
  ~CLentSample() override { --*lent_; }
  CLentSample(const CLentSample&) = delete;
  CLentSample& operator=(const CLentSample&) = delete;

  // Counted here, not by an allocator: the last reference gives the input sample back.
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 private:
  const ComPtr<IMediaSample> input_;
  const std::shared_ptr<std::atomic<long>> lent_;
  std::atomic<ULONG> refs_{0};
};

}  // namespace

// ---- Input --------------------------------------------------------------------------------

CSmartTeeInputPin::CSmartTeeInputPin(CSmartTee* tee) : CBaseInputPin(tee, L"Input"), tee_(tee) {}

HRESULT CSmartTeeInputPin::CheckMediaType(const CMediaType* mt) {
  if (!mt || !mt->IsValid()) return VFW_E_TYPE_NOT_ACCEPTED;
  // A reconnected input must keep the type the outputs already carry.
  for (CBasePin* output :
       {static_cast<CBasePin*>(tee_->CapturePin()), static_cast<CBasePin*>(tee_->PreviewPin())}) {
    if (output->IsConnected() && output->CurrentMediaType() != *mt) {
      return VFW_E_TYPE_NOT_ACCEPTED;
    }
  }
  return S_OK;
}

STDMETHODIMP CSmartTeeInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  // Preview first: the copy is cheap and taken only when the preview is idle, and the capture
  // receiver may hold this thread for a long time.
  if (tee_->PreviewPin()->IsConnected()) tee_->PreviewPin()->Offer(sample);
  if (!tee_->CapturePin()->IsConnected()) return S_OK;
  return tee_->CapturePin()->Deliver(sample);
}

STDMETHODIMP CSmartTeeInputPin::EndOfStream() {
  HRESULT hr = CBaseInputPin::EndOfStream();
  if (FAILED(hr)) return hr;
  if (tee_->CapturePin()->IsConnected()) tee_->CapturePin()->DeliverEndOfStream();
  if (tee_->PreviewPin()->IsConnected()) tee_->PreviewPin()->OfferEndOfStream();
  return S_OK;
}

STDMETHODIMP CSmartTeeInputPin::BeginFlush() {
  HRESULT hr = CBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  tee_->PreviewPin()->DropPending();
  for (CSmartTeeOutputPin* output :
       {tee_->CapturePin(), static_cast<CSmartTeeOutputPin*>(tee_->PreviewPin())}) {
    if (output->IsConnected()) output->DeliverBeginFlush();
  }
  return S_OK;
}

STDMETHODIMP CSmartTeeInputPin::EndFlush() {
  HRESULT hr = CBaseInputPin::EndFlush();
  if (FAILED(hr)) return hr;
  for (CSmartTeeOutputPin* output :
       {tee_->CapturePin(), static_cast<CSmartTeeOutputPin*>(tee_->PreviewPin())}) {
    if (output->IsConnected()) output->DeliverEndFlush();
  }
  return S_OK;
}

STDMETHODIMP CSmartTeeInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  if (tee_->CapturePin()->IsConnected()) tee_->CapturePin()->DeliverNewSegment(start, stop, rate);
  return S_OK;
}

STDMETHODIMP CSmartTeeInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) {
  if (!pProps) return E_POINTER;
  *pProps = {};
  pProps->cBuffers = kSharedPreview + kUpstreamBuffers;
  return S_OK;
}

// ---- Outputs ------------------------------------------------------------------------------

CSmartTeeOutputPin::CSmartTeeOutputPin(CSmartTee* tee, std::wstring name)
    : CBaseOutputPin(tee, std::move(name)), tee_(tee) {}

HRESULT CSmartTeeOutputPin::CheckMediaType(const CMediaType* mt) {
  if (!mt || !tee_->InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  return *mt == tee_->InputPin()->CurrentMediaType() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSmartTeeOutputPin::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0 || !tee_->InputPin()->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  *mt = tee_->InputPin()->CurrentMediaType();
  return S_OK;
}

STDMETHODIMP CSmartTeeOutputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  if (!tee_->InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  return CBaseOutputPin::EnumMediaTypes(ppEnum);
}

HRESULT CSmartTeeOutputPin::CheckConnect(IPin* pin) {
  if (!tee_->InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CSmartTeeOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
  // Buffers as large as the input's: the capture output passes input samples on, the preview
  // copies them into these.
  const bool preview = this == static_cast<CSmartTeeOutputPin*>(tee_->PreviewPin());
  long inputSize = static_cast<long>(tee_->InputPin()->CurrentMediaType().GetSampleSize());
  if (IMemAllocator* upstream = tee_->InputPin()->Allocator()) {
    ALLOCATOR_PROPERTIES upstreamProps{};
    if (SUCCEEDED(upstream->GetProperties(&upstreamProps))) {
      inputSize = std::max(inputSize, upstreamProps.cbBuffer);
    }
  }
  return DecideBuffers(allocator, *request,
                       {.buffers = preview ? kPreviewBuffers : kCaptureBuffers,
                        .bytes = std::max(inputSize, 1L)});
}

// ---- Preview ------------------------------------------------------------------------------

CSmartTeePreviewPin::CSmartTeePreviewPin(CSmartTee* tee) : CSmartTeeOutputPin(tee, L"Preview") {}

CSmartTeePreviewPin::~CSmartTeePreviewPin() { Stop(); }

void CSmartTeePreviewPin::Stop() {
  {
    std::lock_guard lock(previewMutex_);
    stop_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

HRESULT CSmartTeePreviewPin::Active() {
  HRESULT hr = CSmartTeeOutputPin::Active();
  if (FAILED(hr)) return hr;
  {
    std::lock_guard lock(previewMutex_);
    stop_ = false;
    endOfStreamPending_ = false;
    queue_.clear();
  }
  if (!thread_.joinable()) thread_ = std::thread(&CSmartTeePreviewPin::ThreadProc, this);
  return S_OK;
}

HRESULT CSmartTeePreviewPin::Inactive() {
  {
    std::lock_guard lock(previewMutex_);
    stop_ = true;
  }
  wake_.notify_all();
  // Decommitting the allocator makes a receiver that waits for a buffer give up.
  HRESULT hr = CSmartTeeOutputPin::Inactive();
  Stop();
  return hr;
}

ComPtr<IMediaSample> CSmartTeePreviewPin::PreviewSample(IMediaSample* sample) {
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || !data) return nullptr;
  // A sample of the input's own allocator, which holds enough for the preview's share.
  const auto* own = dynamic_cast<CMediaSample*>(sample);
  IMemAllocator* input = tee_->InputPin()->Allocator();
  if (own && input && own->Allocator() &&
      static_cast<IMemAllocator*>(own->Allocator()) == input) {
    if (lent_->load() >= kSharedPreview) return nullptr;
    return MakeComObject<CLentSample>(sample, data, lent_);
  }
  const long length = std::max(sample->GetActualDataLength(), 0L);
  ComPtr<IMediaSample> copy;
  BYTE* target = nullptr;
  if (FAILED(GetDeliveryBuffer(copy.GetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT)) || !copy ||
      FAILED(copy->GetPointer(&target)) || copy->GetSize() < length) {
    return nullptr;
  }
  std::memcpy(target, data, static_cast<size_t>(length));
  copy->SetActualDataLength(length);
  // No time stamps: the preview shows each frame as soon as it arrives.
  copy->SetTime(nullptr, nullptr);
  copy->SetMediaTime(nullptr, nullptr);
  copy->SetSyncPoint(sample->IsSyncPoint() == S_OK);
  return copy;
}

bool CSmartTeePreviewPin::Offer(IMediaSample* sample) {
  ComPtr<IMediaSample> preview = PreviewSample(sample);
  std::lock_guard lock(previewMutex_);
  if (!preview) {
    ++dropped_;
    return false;
  }
  if (stop_) return false;
  queue_.push_back(std::move(preview));
  wake_.notify_one();
  return true;
}

void CSmartTeePreviewPin::OfferEndOfStream() {
  {
    std::lock_guard lock(previewMutex_);
    endOfStreamPending_ = true;
  }
  wake_.notify_one();
}

void CSmartTeePreviewPin::DropPending() {
  std::lock_guard lock(previewMutex_);
  queue_.clear();
}

long CSmartTeePreviewPin::DroppedCount() const {
  std::lock_guard lock(previewMutex_);
  return dropped_;
}

void CSmartTeePreviewPin::ThreadProc() {
  // The preview gives way: its thread keeps the ordinary priority.
  const CStreamingThreadRole role("tee-preview", CStreamingThreadRole::Path::kPreview);
  std::unique_lock lock(previewMutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty() || endOfStreamPending_; });
    if (stop_) return;
    if (!queue_.empty()) {
      ComPtr<IMediaSample> sample = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      // A refused preview frame is the preview branch's own business (its renderer reports
      // its failures); capture goes on.
      Deliver(sample.Get());
      sample = nullptr;
      lock.lock();
      continue;
    }
    endOfStreamPending_ = false;
    lock.unlock();
    DeliverEndOfStream();
    lock.lock();
  }
}

// ---- Filter -------------------------------------------------------------------------------

CSmartTee::CSmartTee()
    : CBaseFilter(L"Smart Tee", CLSID_SmartTee),
      input_(this),
      capture_(this, L"Capture"),
      preview_(this) {}

CSmartTee::~CSmartTee() = default;

CBasePin* CSmartTee::GetPin(int n) {
  switch (n) {
    case 0:
      return &input_;
    case 1:
      return &capture_;
    case 2:
      return &preview_;
    default:
      return nullptr;
  }
}

STDMETHODIMP CSmartTee::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
  const HRESULT hr = CBaseFilter::GetState(dwMilliSecsTimeout, State);
  return hr == S_OK && *State == State_Paused ? VFW_S_CANT_CUE : hr;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_SmartTee,
    .friendlyName = L"Smart Tee",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_DO_NOT_USE,
    .inputTypes = {{GUID_NULL, GUID_NULL}},
    .outputTypes = {{GUID_NULL, GUID_NULL}, {GUID_NULL, GUID_NULL}},
    .monikerName = {},
    .factory = FilterFactoryFor<CSmartTee>(),
});

}  // namespace
}  // namespace vidorra::filters
