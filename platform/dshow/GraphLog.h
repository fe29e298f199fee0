// GraphLog: the readable trace of graph operations that IGraphBuilder::SetLogFile asks for.
// One line per operation: "<operation> <arguments> -> 0x<HRESULT>". The file descriptor
// belongs to the caller, who closes it after SetLogFile(0).
//
// Threads: any; one mutex serialises the lines.
#pragma once

#include <wtypes.h>

#include <mutex>
#include <string>

class GraphLog {
 public:
  void SetFile(DWORD_PTR fd);
  bool Enabled();
  // Writes "<text> -> 0x%08X" and a newline when a file is set.
  void Write(const std::string& text, HRESULT hr);

  static std::string Quote(const std::wstring& name);

 private:
  std::mutex mutex_;
  int fd_ = -1;
};
