// Where an AVI writer puts its bytes: positioned writes, a flush of whatever the output holds
// back, and a durable sync. The AVI Mux provides one that queues the bytes for its delivery
// thread; a file provides one directly (PosixFileOutput); tests provide one over memory (with an
// optional size limit standing in for a full disk).
//
// Contract: the writer appends its chunks in increasing offsets and rewrites headers and index
// slots in place at lower offsets. The output keeps the writes in the order they were made, and
// a Sync() is a barrier: everything written before it is durable in the file before anything
// written after it reaches the file. WrittenEnd() is the end of the bytes the file holds
// from offset 0 (after a failure: the point up to which the file holds the data), so the
// writer can finalise a file that holds exactly what reached it.
#pragma once

#include <wtypes.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace vidorra::avi {

class AviOutput {
 public:
  using Bytes = std::span<const uint8_t>;

  virtual ~AviOutput() = default;

  // Writes the pieces one after the other from offset (a chunk's header, its data and its pad
  // byte in one write). A failure leaves the output usable for in-place rewrites of bytes below
  // WrittenEnd() (a full disk still lets a header be rewritten).
  virtual HRESULT WriteAt(uint64_t offset, std::initializer_list<Bytes> pieces) = 0;
  HRESULT WriteAt(uint64_t offset, const uint8_t* data, size_t size) {
    return WriteAt(offset, {Bytes(data, size)});
  }
  // Hands whatever the output holds back to the file.
  virtual HRESULT Flush() = 0;
  // Flushes, then makes everything written so far durable (fdatasync for a file) before
  // anything written later reaches the file.
  virtual HRESULT Sync() = 0;
  // End of the contiguous bytes the file holds from offset 0.
  virtual uint64_t WrittenEnd() const = 0;
};

}  // namespace vidorra::avi
