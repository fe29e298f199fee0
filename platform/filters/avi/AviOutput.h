// Where an AVI writer puts its bytes: positioned writes, a flush of whatever the output buffers,
// and a durable sync. The File Writer filter provides one over a file; tests provide one over
// memory (with an optional size limit standing in for a full disk).
//
// Contract: the writer appends its chunks in increasing offsets and rewrites headers and index
// slots in place at lower offsets. WrittenEnd() is the end of the bytes the output has actually
// handed to the file (after a failure: the point up to which the file holds the data), so the
// writer can finalise a file that holds exactly what reached it.
#pragma once

#include <wtypes.h>

#include <cstddef>
#include <cstdint>

namespace vidorra::avi {

class AviOutput {
 public:
  virtual ~AviOutput() = default;

  // Writes size bytes at offset. A failure leaves the output usable for in-place rewrites of
  // bytes below WrittenEnd() (a full disk still lets a header be rewritten).
  virtual HRESULT WriteAt(uint64_t offset, const uint8_t* data, size_t size) = 0;
  // Hands buffered bytes to the file.
  virtual HRESULT Flush() = 0;
  // Flushes, then makes the file's data durable (fdatasync for a file).
  virtual HRESULT Sync() = 0;
  // End of the contiguous bytes the file holds from offset 0.
  virtual uint64_t WrittenEnd() const = 0;
};

}  // namespace vidorra::avi
