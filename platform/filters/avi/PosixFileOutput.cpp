#include "PosixFileOutput.h"

#include <fcntl.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace vidorra::avi {

namespace {
constexpr mode_t kCreateMode = 0644;
}

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
  if (IsOpen()) return E_UNEXPECTED;
  if (path.empty()) return E_INVALIDARG;
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kCreateMode));
  if (!fd) return HresultFromErrno(errno);
  fd_ = std::move(fd);
  writtenEnd_ = 0;
  return S_OK;
}

HRESULT PosixFileOutput::Close() {
  if (!IsOpen()) return S_OK;
  return fd_.reset() ? S_OK : HresultFromErrno(errno);
}

HRESULT PosixFileOutput::WriteAt(uint64_t offset, std::initializer_list<Bytes> pieces) {
  if (!IsOpen()) return E_UNEXPECTED;
  std::vector<iovec> left;
  size_t total = 0;
  for (Bytes piece : pieces) {
    if (piece.empty()) continue;
    left.push_back({const_cast<uint8_t*>(piece.data()), piece.size()});
    total += piece.size();
  }
  size_t done = 0;
  size_t first = 0;  // the iovec the next write starts in
  while (done < total) {
    const ssize_t n = ::pwritev(fd_, left.data() + first, static_cast<int>(left.size() - first),
                                static_cast<off_t>(offset + done));
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      const int error = n < 0 ? errno : 0;
      writtenEnd_ = std::max(writtenEnd_, offset + done);
      return error ? HresultFromErrno(error) : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
    done += static_cast<size_t>(n);
    // Step over what went out: whole pieces, then into the one the write stopped in.
    for (size_t written = static_cast<size_t>(n); written > 0;) {
      iovec& v = left[first];
      const size_t step = std::min(written, v.iov_len);
      v.iov_base = static_cast<uint8_t*>(v.iov_base) + step;
      v.iov_len -= step;
      written -= step;
      if (v.iov_len == 0) ++first;
    }
  }
  writtenEnd_ = std::max(writtenEnd_, offset + total);
  return S_OK;
}

HRESULT PosixFileOutput::Sync() {
  if (!IsOpen()) return E_UNEXPECTED;
  return ::fdatasync(fd_) == 0 ? S_OK : HresultFromErrno(errno);
}

}  // namespace vidorra::avi
