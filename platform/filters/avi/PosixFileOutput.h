// AviOutput over a POSIX file created exclusively (never over an existing file). Appends are
// gathered in a large buffer and written in big blocks; positioned rewrites below the buffered
// region go straight to the file. Errors are reported as HRESULTs from the Win32 codes a caller
// of the file sink expects (ERROR_FILE_EXISTS, ERROR_DISK_FULL, ERROR_PATH_NOT_FOUND ...).
//
// Thread: one thread at a time (the owner serialises calls); not internally locked.
#pragma once

#include <string>
#include <vector>

#include "AviOutput.h"

namespace vidorra::avi {

class PosixFileOutput final : public AviOutput {
 public:
  static constexpr size_t kDefaultBufferBytes = size_t{4} << 20;

  explicit PosixFileOutput(size_t bufferBytes = kDefaultBufferBytes);
  ~PosixFileOutput() override;
  PosixFileOutput(const PosixFileOutput&) = delete;
  PosixFileOutput& operator=(const PosixFileOutput&) = delete;

  // Creates path (O_EXCL). An existing file answers HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) and is
  // not touched.
  HRESULT Create(const std::string& path);
  // Flushes and closes; returns the first error met while flushing or closing.
  HRESULT Close();
  bool IsOpen() const { return fd_ >= 0; }

  HRESULT WriteAt(uint64_t offset, const uint8_t* data, size_t size) override;
  HRESULT Flush() override;
  HRESULT Sync() override;
  uint64_t WrittenEnd() const override { return writtenEnd_; }

  // The HRESULT for an errno value of a failed file operation.
  static HRESULT HresultFromErrno(int error);

 private:
  HRESULT WriteDirect(uint64_t offset, const uint8_t* data, size_t size);

  int fd_ = -1;
  std::vector<uint8_t> buffer_;
  size_t bufferCapacity_;
  uint64_t bufferOffset_ = 0;  // file offset of buffer_[0]
  uint64_t writtenEnd_ = 0;
};

}  // namespace vidorra::avi
