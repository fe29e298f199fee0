// GraphLog: trace lines written to a caller's file descriptor.
#include "GraphLog.h"

#include <comimpl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

void GraphLog::SetFile(DWORD_PTR fd) {
  std::lock_guard lock(mutex_);
  fd_ = fd == 0 ? -1 : static_cast<int>(fd);
}

bool GraphLog::Enabled() {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

void GraphLog::Write(const std::string& text, HRESULT hr) {
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return;
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(hr));
  const std::string line = text + " -> " + code + "\n";
  size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    // A log that cannot be written is dropped; the graph operation itself is unaffected.
    if (n <= 0) return;
    written += static_cast<size_t>(n);
  }
}

std::string GraphLog::Quote(const std::wstring& name) {
  std::string quoted(1, '"');
  quoted += WideToUtf8(name);
  quoted += '"';
  return quoted;
}
