// AviFileQueue; see AviFileQueue.h.
#include "AviFileQueue.h"

#include <StreamingThreadRole.h>
#include <comimpl.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>

namespace vidorra::avi {

// Gathering blocks, kept for reuse so that a recording does not allocate a block a second.
class BlockPool {
 public:
  std::vector<uint8_t> Take() {
    std::vector<uint8_t> block;
    {
      std::lock_guard lock(mutex_);
      if (!spare_.empty()) {
        block = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    block.clear();
    block.reserve(AviFileQueue::kBlockBytes);
    return block;
  }
  void Give(std::vector<uint8_t> block) {
    std::lock_guard lock(mutex_);
    if (spare_.size() < kSpareBlocks) spare_.push_back(std::move(block));
  }

 private:
  static constexpr size_t kSpareBlocks = 8;
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> spare_;
};

namespace {

// One gathered block handed downstream as it is: a sample over the block's own bytes, stamped
// with its byte range. The block goes back to the pool when the last reference goes.
class BlockSample final : public CUnknown, public IMediaSample {
 public:
  BlockSample(std::shared_ptr<BlockPool> pool, uint64_t offset, std::vector<uint8_t> bytes)
      : pool_(std::move(pool)),
        bytes_(std::move(bytes)),
        start_(static_cast<REFERENCE_TIME>(offset)),
        stop_(static_cast<REFERENCE_TIME>(offset + bytes_.size())) {}
  ~BlockSample() override { pool_->Give(std::move(bytes_)); }

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IMediaSample) return GetInterface(static_cast<IMediaSample*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }

  STDMETHODIMP GetPointer(BYTE** ppBuffer) override {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = bytes_.data();
    return S_OK;
  }
  STDMETHODIMP_(long) GetSize() override { return static_cast<long>(bytes_.size()); }
  STDMETHODIMP GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    *pTimeStart = start_;
    *pTimeEnd = stop_;
    return S_OK;
  }
  STDMETHODIMP SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    start_ = *pTimeStart;
    stop_ = *pTimeEnd;
    return S_OK;
  }
  // Every block stands alone: a sync point, never preroll, never a discontinuity.
  STDMETHODIMP IsSyncPoint() override { return S_OK; }
  STDMETHODIMP SetSyncPoint(BOOL) override { return S_OK; }
  STDMETHODIMP IsPreroll() override { return S_FALSE; }
  STDMETHODIMP SetPreroll(BOOL) override { return S_OK; }
  STDMETHODIMP_(long) GetActualDataLength() override { return static_cast<long>(bytes_.size()); }
  STDMETHODIMP SetActualDataLength(long length) override {
    if (length < 0 || static_cast<size_t>(length) > bytes_.size()) return VFW_E_BUFFER_OVERFLOW;
    bytes_.resize(static_cast<size_t>(length));
    return S_OK;
  }
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override {
    if (!ppMediaType) return E_POINTER;
    *ppMediaType = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDiscontinuity() override { return S_FALSE; }
  STDMETHODIMP SetDiscontinuity(BOOL) override { return S_OK; }
  STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
  STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

 private:
  std::shared_ptr<BlockPool> pool_;
  std::vector<uint8_t> bytes_;
  REFERENCE_TIME start_;
  REFERENCE_TIME stop_;
};

}  // namespace

AviFileQueue::AviFileQueue() : pool_(std::make_shared<BlockPool>()) {}

AviFileQueue::~AviFileQueue() { Stop(); }

void AviFileQueue::Start(Target* target, Hooks hooks, std::chrono::milliseconds checkpointInterval) {
  Stop();
  std::lock_guard lock(mutex_);
  target_ = target;
  hooks_ = std::move(hooks);
  interval_ = checkpointInterval;
  items_.clear();
  current_ = {};
  queuedBytes_ = 0;
  failure_ = S_OK;
  failedWrittenEnd_ = 0;
  checkpointSoon_ = false;
  stopping_ = false;
  running_ = true;
  thread_ = std::thread([this] { Run(); });
}

void AviFileQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    CloseBlockLocked();
    stopping_ = true;
  }
  wake_.notify_all();
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  running_ = false;
  hooks_ = {};
  target_ = nullptr;
}

void AviFileQueue::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !running_ || (items_.empty() && !delivering_); });
}

void AviFileQueue::WaitForRoom() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !running_ || stopping_ || queuedBytes_ < kMaxQueuedBytes; });
}

void AviFileQueue::CheckpointSoon() {
  {
    std::lock_guard lock(mutex_);
    checkpointSoon_ = true;
  }
  wake_.notify_all();
}

void AviFileQueue::EndOfStream() {
  std::lock_guard lock(mutex_);
  CloseBlockLocked();
  PushLocked({Item::Kind::kEndOfStream, {}, 0, {}});
}

void AviFileQueue::Discard() {
  {
    std::lock_guard lock(mutex_);
    for (Item& item : items_) pool_->Give(std::move(item.block.bytes));
    items_.clear();
    current_ = {};
    queuedBytes_ = 0;
  }
  changed_.notify_all();
}

void AviFileQueue::NewFile(Namer name) {
  std::lock_guard lock(mutex_);
  CloseBlockLocked();
  PushLocked({Item::Kind::kNewFile, {}, 0, std::move(name)});
}

HRESULT AviFileQueue::WriteAt(uint64_t offset, std::initializer_list<Bytes> pieces) {
  size_t size = 0;
  for (Bytes piece : pieces) size += piece.size();
  std::lock_guard lock(mutex_);
  if (!running_ || stopping_) return VFW_E_WRONG_STATE;
  // After a failure only rewrites of bytes the file holds go through (the salvage).
  if (FAILED(failure_) && offset + size > failedWrittenEnd_) return failure_;
  if (size == 0) return S_OK;
  const bool continues = !current_.bytes.empty() &&
                         offset == current_.offset + current_.bytes.size() &&
                         current_.bytes.size() < kBlockBytes;
  if (!continues) CloseBlockLocked();
  for (Bytes piece : pieces) {
    while (!piece.empty()) {
      if (current_.bytes.size() >= kBlockBytes) CloseBlockLocked();
      if (current_.bytes.empty()) {
        current_.bytes = pool_->Take();
        current_.offset = offset;
      }
      const size_t n = std::min(piece.size(), kBlockBytes - current_.bytes.size());
      current_.bytes.insert(current_.bytes.end(), piece.begin(), piece.begin() + n);
      piece = piece.subspan(n);
      offset += n;
      queuedBytes_ += n;
    }
  }
  return S_OK;
}

HRESULT AviFileQueue::Flush() {
  std::lock_guard lock(mutex_);
  if (!running_ || stopping_) return VFW_E_WRONG_STATE;
  CloseBlockLocked();
  return S_OK;
}

HRESULT AviFileQueue::Sync() {
  std::lock_guard lock(mutex_);
  if (!running_ || stopping_) return VFW_E_WRONG_STATE;
  CloseBlockLocked();
  PushLocked({Item::Kind::kSync, {}, 0, {}});
  return S_OK;
}

uint64_t AviFileQueue::WrittenEnd() const {
  Target* target = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (FAILED(failure_)) return failedWrittenEnd_;
    target = target_;
  }
  return target ? target->WrittenEnd() : 0;
}

void AviFileQueue::CloseBlockLocked() {
  if (current_.bytes.empty()) return;
  const size_t size = current_.bytes.size();
  PushLocked({Item::Kind::kBlock, std::move(current_), size, {}});
  current_ = {};
}

void AviFileQueue::PushLocked(Item item) {
  items_.push_back(std::move(item));
  wake_.notify_one();
}

void AviFileQueue::Run() {
  const CStreamingThreadRole role("avi-writer", CStreamingThreadRole::Path::kCapture);
  std::unique_lock lock(mutex_);
  auto nextCheckpoint = std::chrono::steady_clock::now() + interval_;
  for (;;) {
    wake_.wait_until(lock, nextCheckpoint,
                     [this] { return !items_.empty() || stopping_ || checkpointSoon_; });
    // A checkpoint is asked for on time even while a backlog is being delivered: it is queued
    // behind the backlog, so what lies on disk undescribed stays within one interval's data.
    const auto now = std::chrono::steady_clock::now();
    if ((checkpointSoon_ || now >= nextCheckpoint) && !stopping_) {
      checkpointSoon_ = false;
      nextCheckpoint = now + interval_;
      if (SUCCEEDED(failure_) && hooks_.checkpoint) {
        lock.unlock();
        hooks_.checkpoint();
        lock.lock();
      }
    }
    if (items_.empty()) {
      if (stopping_) break;
      continue;
    }
    Item item = std::move(items_.front());
    items_.pop_front();
    delivering_ = true;
    lock.unlock();
    Handle(item);
    lock.lock();
    delivering_ = false;
    queuedBytes_ -= std::min(queuedBytes_, item.queuedBytes);
    changed_.notify_all();
  }
  changed_.notify_all();
}

void AviFileQueue::Handle(Item& item) {
  bool failedBefore = false;
  {
    std::lock_guard lock(mutex_);
    failedBefore = FAILED(failure_);
  }
  HRESULT hr = S_OK;
  switch (item.kind) {
    case Item::Kind::kBlock: {
      const uint64_t end = item.block.offset + item.block.bytes.size();
      // After a failure nothing grows the file any more.
      if (failedBefore && end > failedWrittenEnd_) return;
      ComPtr<BlockSample> sample =
          MakeComObject<BlockSample>(pool_, item.block.offset, std::move(item.block.bytes));
      hr = target_->Deliver(sample.Get());
      break;
    }
    case Item::Kind::kSync:
      hr = target_->Sync();
      break;
    case Item::Kind::kEndOfStream:
      if (!failedBefore) target_->EndOfStream();
      return;
    case Item::Kind::kNewFile: {
      if (failedBefore) return;
      std::wstring path;
      hr = item.name ? item.name(path) : E_UNEXPECTED;
      if (SUCCEEDED(hr)) hr = target_->NextFile(path);
      if (FAILED(hr)) {
        std::lock_guard lock(mutex_);
        failure_ = hr;
        failedWrittenEnd_ = 0;  // the new file holds nothing
      }
      if (hooks_.switched) hooks_.switched(hr);
      return;
    }
  }
  if (SUCCEEDED(hr) || failedBefore) return;
  const uint64_t writtenEnd = target_->WrittenEnd();
  {
    std::lock_guard lock(mutex_);
    failure_ = hr;
    failedWrittenEnd_ = writtenEnd;
  }
  if (hooks_.failed) hooks_.failed(hr);
}

}  // namespace vidorra::avi
