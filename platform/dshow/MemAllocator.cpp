// CMemAllocator: a fixed pool of samples.
#include "MemAllocator.h"

#include <vfwmsgs.h>

namespace {

constexpr long kMaxBuffers = 1024;
constexpr long kMaxBufferBytes = 256L * 1024 * 1024;

long RoundUp(long value, long align) { return (value + align - 1) / align * align; }

}  // namespace

CMemAllocator::CMemAllocator() = default;

CMemAllocator::~CMemAllocator() = default;

HRESULT CMemAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IMemAllocator) return GetInterface(static_cast<IMemAllocator*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                          ALLOCATOR_PROPERTIES* pActual) {
  if (!pRequest || !pActual) return E_POINTER;
  std::lock_guard lock(mutex_);
  if (committed_) return VFW_E_ALREADY_COMMITTED;
  if (free_.size() != samples_.size()) return VFW_E_BUFFERS_OUTSTANDING;
  const long align = pRequest->cbAlign <= 0 ? 1 : pRequest->cbAlign;
  if ((align & (align - 1)) != 0) return VFW_E_BADALIGN;
  if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0 ||
      pRequest->cBuffers > kMaxBuffers || pRequest->cbBuffer > kMaxBufferBytes ||
      pRequest->cbPrefix > kMaxBufferBytes) {
    return E_INVALIDARG;
  }
  props_.cBuffers = pRequest->cBuffers;
  props_.cbBuffer = pRequest->cbBuffer;
  props_.cbAlign = align;
  props_.cbPrefix = pRequest->cbPrefix;
  propertiesSet_ = true;
  *pActual = props_;
  // Memory of the old properties goes; the next Commit allocates for the new ones.
  samples_.clear();
  free_.clear();
  memory_.clear();
  return S_OK;
}

STDMETHODIMP CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
  if (!pProps) return E_POINTER;
  std::lock_guard lock(mutex_);
  *pProps = props_;
  return S_OK;
}

STDMETHODIMP CMemAllocator::Commit() {
  std::lock_guard lock(mutex_);
  if (!propertiesSet_) return VFW_E_SIZENOTSET;
  if (committed_) return S_OK;
  if (samples_.empty() && props_.cBuffers > 0) {
    const long stride = RoundUp(props_.cbPrefix + props_.cbBuffer, props_.cbAlign);
    // One block for all buffers; the extra alignment lets the first buffer start aligned.
    memory_.assign(static_cast<size_t>(stride) * props_.cBuffers + props_.cbAlign, 0);
    const auto base = reinterpret_cast<uintptr_t>(memory_.data());
    const uintptr_t alignedBase =
        (base + props_.cbPrefix + props_.cbAlign - 1) / props_.cbAlign * props_.cbAlign;
    for (long i = 0; i < props_.cBuffers; ++i) {
      BYTE* buffer = reinterpret_cast<BYTE*>(alignedBase + static_cast<uintptr_t>(i) * stride);
      samples_.push_back(std::make_unique<CMediaSample>(this, buffer, props_.cbBuffer));
      free_.push_back(samples_.back().get());
    }
  }
  committed_ = true;
  return S_OK;
}

STDMETHODIMP CMemAllocator::Decommit() {
  {
    std::lock_guard lock(mutex_);
    committed_ = false;
  }
  freed_.notify_all();
  return S_OK;
}

STDMETHODIMP CMemAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* /*pStartTime*/,
                                      REFERENCE_TIME* /*pEndTime*/, DWORD dwFlags) {
  if (!ppBuffer) return E_POINTER;
  *ppBuffer = nullptr;
  CMediaSample* sample = nullptr;
  {
    std::unique_lock lock(mutex_);
    if (!committed_) return VFW_E_NOT_COMMITTED;
    if (free_.empty() && (dwFlags & AM_GBF_NOWAIT)) return VFW_E_TIMEOUT;
    freed_.wait(lock, [this] { return !committed_ || !free_.empty(); });
    if (!committed_) return VFW_E_NOT_COMMITTED;
    sample = free_.back();
    free_.pop_back();
    sample->PrepareForUse();
  }
  // The sample holds its allocator while it is out (released in ReleaseBuffer).
  AddRef();
  *ppBuffer = sample;
  return S_OK;
}

STDMETHODIMP CMemAllocator::ReleaseBuffer(IMediaSample* pBuffer) {
  if (!pBuffer) return E_POINTER;
  {
    std::lock_guard lock(mutex_);
    free_.push_back(static_cast<CMediaSample*>(pBuffer));
  }
  freed_.notify_one();
  Release();
  return S_OK;
}

int CMemAllocator::OutstandingForTesting() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(samples_.size() - free_.size());
}
