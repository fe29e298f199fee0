// CQueuedOutputPin; see QueuedOutputPin.h.
#include "QueuedOutputPin.h"

CQueuedOutputPin::CQueuedOutputPin(CBaseFilter* filter, std::wstring name, bool queued)
    : CBaseOutputPin(filter, std::move(name)), queued_(queued) {}

HRESULT CQueuedOutputPin::Active() {
  HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr) || !queued_) return hr;
  std::lock_guard lock(queueMutex_);
  queue_ = std::make_shared<OutputQueue>(this);
  return S_OK;
}

HRESULT CQueuedOutputPin::Inactive() {
  std::shared_ptr<OutputQueue> queue;
  {
    std::lock_guard lock(queueMutex_);
    queue.swap(queue_);
  }
  // The receiver has stopped (downstream first): the queue's thread ends at once.
  queue.reset();
  return CBaseOutputPin::Inactive();
}

std::shared_ptr<OutputQueue> CQueuedOutputPin::Queue() {
  std::lock_guard lock(queueMutex_);
  return queue_;
}

HRESULT CQueuedOutputPin::SendSample(IMediaSample* sample) {
  if (!queued_) return Deliver(sample);
  std::shared_ptr<OutputQueue> queue = Queue();
  return queue ? queue->Receive(sample) : VFW_E_WRONG_STATE;
}

void CQueuedOutputPin::SendEndOfStream() {
  if (!queued_) {
    DeliverEndOfStream();
  } else if (std::shared_ptr<OutputQueue> queue = Queue()) {
    queue->EndOfStream();
  }
}

void CQueuedOutputPin::SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!queued_) {
    DeliverNewSegment(start, stop, rate);
  } else if (std::shared_ptr<OutputQueue> queue = Queue()) {
    queue->NewSegment(start, stop, rate);
  }
}

void CQueuedOutputPin::SendBeginFlush() {
  if (std::shared_ptr<OutputQueue> queue = Queue()) {
    queue->BeginFlush();
  } else {
    DeliverBeginFlush();
  }
}

void CQueuedOutputPin::SendEndFlush() {
  if (std::shared_ptr<OutputQueue> queue = Queue()) {
    queue->EndFlush();
  } else {
    DeliverEndFlush();
  }
}
