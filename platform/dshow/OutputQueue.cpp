// OutputQueue: a stream delivered from a thread of its own.
#include "OutputQueue.h"

#include "StreamingThreadRole.h"

OutputQueue::OutputQueue(CBaseOutputPin* pin) : pin_(pin), thread_([this] { ThreadProc(); }) {}

OutputQueue::~OutputQueue() {
  std::deque<Item> dropped;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    dropped.swap(items_);
  }
  changed_.notify_all();
  thread_.join();
}

void OutputQueue::Push(Item item) {
  {
    std::lock_guard lock(mutex_);
    if (flushing_ || quit_) return;
    items_.push_back(std::move(item));
  }
  changed_.notify_all();
}

HRESULT OutputQueue::Receive(IMediaSample* sample) {
  {
    std::lock_guard lock(mutex_);
    if (refusal_ != S_OK) return refusal_;
  }
  Push({Item::Kind::kSample, ComPtr<IMediaSample>(sample)});
  return S_OK;
}

void OutputQueue::EndOfStream() { Push({Item::Kind::kEndOfStream, nullptr}); }

void OutputQueue::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  Push({Item::Kind::kSegment, nullptr, start, stop, rate});
}

void OutputQueue::BeginFlush() {
  std::deque<Item> dropped;
  {
    std::lock_guard lock(mutex_);
    flushing_ = true;
    dropped.swap(items_);
  }
  pin_->DeliverBeginFlush();
}

void OutputQueue::EndFlush() {
  {
    // Nothing from before the flush may reach the receiver after its EndFlush.
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !delivering_; });
  }
  pin_->DeliverEndFlush();
  std::lock_guard lock(mutex_);
  flushing_ = false;
  refusal_ = S_OK;
}

void OutputQueue::DeliverItem(const Item& item) {
  switch (item.kind) {
    case Item::Kind::kSample: {
      const HRESULT hr = pin_->Deliver(item.sample.Get());
      if (hr != S_OK) {
        std::lock_guard lock(mutex_);
        refusal_ = hr;
      }
      break;
    }
    case Item::Kind::kEndOfStream:
      pin_->DeliverEndOfStream();
      break;
    case Item::Kind::kSegment:
      pin_->DeliverNewSegment(item.start, item.stop, item.rate);
      break;
  }
}

void OutputQueue::ThreadProc() {
  // Its receivers are a multiplexer or a renderer of sound: part of the capture path.
  const CStreamingThreadRole role("out-queue", CStreamingThreadRole::Path::kCapture);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || !items_.empty(); });
    if (quit_) return;
    Item item = std::move(items_.front());
    items_.pop_front();
    delivering_ = true;
    lock.unlock();
    DeliverItem(item);
    item.sample = nullptr;
    lock.lock();
    delivering_ = false;
    changed_.notify_all();
  }
}
