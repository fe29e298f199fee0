// AviOutput over a POSIX file created exclusively (never over an existing file). Each write goes
// to the file at once with one pwritev (a chunk's pieces together): nothing is held back here,
// the caller gathers (the AVI Mux delivers large blocks). Errors are reported as HRESULTs from
// the Win32 codes a caller of the file sink expects (ERROR_FILE_EXISTS, ERROR_DISK_FULL,
// ERROR_PATH_NOT_FOUND ...).
//
// Thread: one thread at a time (the owner serialises calls); not internally locked.
#pragma once

#include <unique_handle.h>

#include <string>

#include "AviOutput.h"

namespace vidorra::avi {

class PosixFileOutput final : public AviOutput {
 public:
  PosixFileOutput() = default;
  PosixFileOutput(const PosixFileOutput&) = delete;
  PosixFileOutput& operator=(const PosixFileOutput&) = delete;

  // Creates path (O_EXCL). An existing file answers HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) and is
  // not touched.
  HRESULT Create(const std::string& path);
  // Closes the file; the error met while closing, if any.
  HRESULT Close();
  bool IsOpen() const { return fd_.valid(); }

  using AviOutput::WriteAt;
  HRESULT WriteAt(uint64_t offset, std::initializer_list<Bytes> pieces) override;
  HRESULT Flush() override { return IsOpen() ? S_OK : E_UNEXPECTED; }
  HRESULT Sync() override;
  uint64_t WrittenEnd() const override { return writtenEnd_; }

  // The HRESULT for an errno value of a failed file operation.
  static HRESULT HresultFromErrno(int error);

 private:
  UniqueFd fd_;
  uint64_t writtenEnd_ = 0;
};

}  // namespace vidorra::avi
