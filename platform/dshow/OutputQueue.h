// OutputQueue: delivers a stream to the pin connected to an output pin from a thread of its
// own, in order. A filter that sends one stream to several pins (the Infinite Pin Tee) gives
// each output a queue, so that a receiver that blocks (a paused renderer holding the sample
// it has cued on, a renderer waiting for a sample's time) holds up neither the upstream thread
// nor the other receivers: each renderer behind the tee can cue.
//
// Receive, EndOfStream and NewSegment are queued. BeginFlush drops what is queued and is passed
// on at once (a receiver blocked in Receive lets go); EndFlush is passed on once the thread no
// longer delivers anything from before the flush. Receive answers the failure (or S_FALSE) of
// an earlier delivery, so upstream learns that the receiver gave up; EndFlush forgets it. The
// queue holds a reference on each sample until it is delivered.
//
// Threads: the thread is started by the constructor and joined by the destructor, which drops
// what is still queued; a receiver that may block must be stopped first (the graph stops
// filters downstream first). The other methods may be called from any thread; mutex_ guards
// the queue and is never held while the receiver is called.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "BaseOutputPin.h"

class OutputQueue {
 public:
  explicit OutputQueue(CBaseOutputPin* pin);
  ~OutputQueue();
  OutputQueue(const OutputQueue&) = delete;
  OutputQueue& operator=(const OutputQueue&) = delete;

  HRESULT Receive(IMediaSample* sample);
  void EndOfStream();
  void NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
  void BeginFlush();
  void EndFlush();

 private:
  struct Item {
    enum class Kind { kSample, kEndOfStream, kSegment } kind;
    ComPtr<IMediaSample> sample;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    double rate = 1.0;
  };
  void Push(Item item);
  void ThreadProc();
  void DeliverItem(const Item& item);

  CBaseOutputPin* const pin_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> items_;
  bool quit_ = false;
  bool flushing_ = false;
  bool delivering_ = false;
  HRESULT refusal_ = S_OK;  // the last delivery that failed or was refused
  std::thread thread_;
};
