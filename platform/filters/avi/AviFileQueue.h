// How the AVI Mux's writer reaches the file without making a streaming thread wait for the
// disk.
//
// The writer's bytes (AviOutput) are gathered, in the order they are written, into blocks of
// contiguous bytes: this is the one place where the output is gathered. A full block, a write
// elsewhere in the file (a header or index rewrite), Flush() and Sync() close the current block.
// Closed blocks, sync barriers and the end of stream wait in a queue that one delivery thread,
// owned here, hands to a Target (the mux's output pin) in order: each block as one sample whose
// start..stop are its byte range, each barrier as Target::Sync(). So the data reach the file in
// the order they were written and every sync is a barrier, whoever wrote them. The delivery
// thread also runs a NewFile() between the blocks before and after it: it asks the owner's
// naming function for the new file's path (there, off the writers' threads, with no lock of the
// queue held), hands it to the Target (the writes after it count their offsets from the new
// file's start), and runs the owner's switched hook with the outcome. The delivery
// thread also runs the owner's checkpoint hook once a checkpoint interval (by time, whether or
// not a block filled) and as soon as asked (CheckpointSoon).
//
// Memory: WaitForRoom(), called by the streaming threads before they write, waits while more than
// kMaxQueuedBytes are queued: a disk slower than the stream for long slows the source down
// instead of memory growing without end.
//
// Failure: the first failure of the Target stops the deliveries of data: the owner's failure hook
// runs on the delivery thread before anything else is delivered, and may Discard() what is queued
// and queue rewrites of bytes the file already holds (WrittenEnd()); writes that would grow the
// file answer the failure from then on.
//
// Threads: the AviOutput methods, CheckpointSoon, EndOfStream and Discard under the owner's lock
// (one writer at a time); WaitForRoom without it; Start, Drain and Stop on the graph's thread
// without it. The hooks run on the delivery thread with no lock of the queue held: they may take
// the owner's lock and call the AviOutput methods.
#pragma once

#include <strmif.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AviOutput.h"

namespace vidorra::avi {

class BlockPool;

class AviFileQueue final : public AviOutput {
 public:
  static constexpr size_t kBlockBytes = size_t{1} << 20;
  static constexpr size_t kMaxQueuedBytes = size_t{32} << 20;

  // Where the blocks go. Called on the delivery thread only.
  class Target {
   public:
    virtual ~Target() = default;
    // One block: a sample of bytes whose start..stop times are its byte range in the file.
    virtual HRESULT Deliver(IMediaSample* sample) = 0;
    // Makes everything delivered so far durable.
    virtual HRESULT Sync() = 0;
    virtual HRESULT EndOfStream() = 0;
    // End of the contiguous bytes the file holds from offset 0.
    virtual uint64_t WrittenEnd() = 0;
    // Closes the file delivered to so far and opens path for what follows.
    virtual HRESULT NextFile(const std::wstring& path) = 0;
  };
  struct Hooks {
    std::function<void()> checkpoint;
    // A delivery failed: nothing grows the file from then on.
    std::function<void(HRESULT)> failed;
    // A NextFile reached the Target: its answer. A failure is also the queue's failure (as a
    // failed delivery, but the failed hook is not called for it).
    std::function<void(HRESULT)> switched;
  };

  AviFileQueue();
  ~AviFileQueue() override;
  AviFileQueue(const AviFileQueue&) = delete;
  AviFileQueue& operator=(const AviFileQueue&) = delete;

  // Starts the delivery thread for a new file.
  void Start(Target* target, Hooks hooks, std::chrono::milliseconds checkpointInterval);
  // Delivers what is queued, then ends the thread. Nothing may be written until the next Start.
  void Stop();
  // Returns once everything queued so far has been delivered (or dropped after a failure).
  void Drain();
  // Waits while the queue is full (returns at once when stopped).
  void WaitForRoom();
  // The checkpoint hook runs as soon as the delivery thread gets to it.
  void CheckpointSoon();
  // Queues the end of the stream after everything written so far.
  void EndOfStream();
  // Drops everything queued and not yet delivered.
  void Discard();
  // Queues a move to a new file after everything written so far: the writes that follow go
  // to the path `name` gives (on the delivery thread), from its offset 0. A failure of `name`
  // is the move's failure.
  using Namer = std::function<HRESULT(std::wstring& path)>;
  void NewFile(Namer name);

  // AviOutput
  using AviOutput::WriteAt;
  HRESULT WriteAt(uint64_t offset, std::initializer_list<Bytes> pieces) override;
  HRESULT Flush() override;
  HRESULT Sync() override;
  uint64_t WrittenEnd() const override;

 private:
  struct Block {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
  };
  struct Item {
    enum class Kind { kBlock, kSync, kEndOfStream, kNewFile };
    Kind kind = Kind::kBlock;
    Block block;
    size_t queuedBytes = 0;  // counted in queuedBytes_ until delivered
    Namer name;              // kNewFile
  };

  void Run();
  void Handle(Item& item);
  void CloseBlockLocked();
  void PushLocked(Item item);

  std::shared_ptr<BlockPool> pool_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;     // the delivery thread: items, a checkpoint request, stop
  std::condition_variable changed_;  // room in the queue, queue drained
  std::deque<Item> items_;
  Block current_;  // the block being gathered (empty bytes: none)
  size_t queuedBytes_ = 0;
  bool running_ = false;
  bool stopping_ = false;
  bool delivering_ = false;
  bool checkpointSoon_ = false;
  HRESULT failure_ = S_OK;
  uint64_t failedWrittenEnd_ = 0;  // what the file held when it failed
  Target* target_ = nullptr;
  Hooks hooks_;
  std::chrono::milliseconds interval_{1000};
  std::thread thread_;
};

}  // namespace vidorra::avi
