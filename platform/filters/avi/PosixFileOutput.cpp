#include "PosixFileOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vidorra::avi {

namespace {
constexpr mode_t kCreateMode = 0644;
}

PosixFileOutput::PosixFileOutput(size_t bufferBytes) : bufferCapacity_(bufferBytes) {
  buffer_.reserve(bufferCapacity_);
}

PosixFileOutput::~PosixFileOutput() { Close(); }

HRESULT PosixFileOutput::HresultFromErrno(int error) {
  switch (error) {
    case EEXIST:
      return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    case ENOSPC:
    case EDQUOT:
      return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case EFBIG:
      return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    case ENOENT:
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
      return E_ACCESSDENIED;
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  }
}

HRESULT PosixFileOutput::Create(const std::string& path) {
  if (fd_ >= 0) return E_UNEXPECTED;
  if (path.empty()) return E_INVALIDARG;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kCreateMode);
  if (fd < 0) return HresultFromErrno(errno);
  fd_ = fd;
  buffer_.clear();
  bufferOffset_ = 0;
  writtenEnd_ = 0;
  return S_OK;
}

HRESULT PosixFileOutput::Close() {
  if (fd_ < 0) return S_OK;
  HRESULT hr = Flush();
  if (::close(fd_) != 0 && SUCCEEDED(hr)) hr = HresultFromErrno(errno);
  fd_ = -1;
  buffer_.clear();
  return hr;
}

HRESULT PosixFileOutput::WriteDirect(uint64_t offset, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      writtenEnd_ = std::max(writtenEnd_, offset + done);
      return HresultFromErrno(error);
    }
    if (n == 0) {
      writtenEnd_ = std::max(writtenEnd_, offset + done);
      return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
    done += static_cast<size_t>(n);
  }
  writtenEnd_ = std::max(writtenEnd_, offset + size);
  return S_OK;
}

HRESULT PosixFileOutput::WriteAt(uint64_t offset, const uint8_t* data, size_t size) {
  if (fd_ < 0) return E_UNEXPECTED;
  if (size == 0) return S_OK;
  // Appends (at the end of the buffered bytes, or past the file's end when nothing is buffered)
  // are gathered; big ones go straight out once the buffer is flushed.
  const bool appends =
      buffer_.empty() ? offset >= writtenEnd_ : offset == bufferOffset_ + buffer_.size();
  if (appends && buffer_.size() + size <= bufferCapacity_) {
    if (buffer_.empty()) bufferOffset_ = offset;
    buffer_.insert(buffer_.end(), data, data + size);
    return S_OK;
  }
  // A rewrite below the buffered region does not touch it; anything else first pushes the buffer
  // out so the file sees writes in order.
  if (!buffer_.empty() && offset + size > bufferOffset_) {
    const HRESULT hr = Flush();
    if (FAILED(hr)) return hr;
    if (appends && size < bufferCapacity_) {
      bufferOffset_ = offset;
      buffer_.assign(data, data + size);
      return S_OK;
    }
  }
  return WriteDirect(offset, data, size);
}

HRESULT PosixFileOutput::Flush() {
  if (fd_ < 0) return E_UNEXPECTED;
  if (buffer_.empty()) return S_OK;
  const HRESULT hr = WriteDirect(bufferOffset_, buffer_.data(), buffer_.size());
  // After a failure the unwritten tail is dropped: WrittenEnd() says what the file holds.
  buffer_.clear();
  return hr;
}

HRESULT PosixFileOutput::Sync() {
  HRESULT hr = Flush();
  if (FAILED(hr)) return hr;
  if (::fdatasync(fd_) != 0) return HresultFromErrno(errno);
  return S_OK;
}

}  // namespace vidorra::avi
