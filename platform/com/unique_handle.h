// Owners of the two kinds of handle the platform opens: a kernel object HANDLE (events,
// semaphores; closed with CloseHandle) and a POSIX file descriptor (closed with close). Each
// closes what it holds when it goes or when it is given another, so no error path can leak one.
// Movable, not copyable. An owner converts to the raw value it holds for the calls that take one.
#pragma once

#include <unistd.h>
#include <winbase.h>

#include <utility>

namespace vidorra {

template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() = default;
  explicit UniqueResource(Value value) : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Value get() const { return value_; }
  operator Value() const { return value_; }  // NOLINT: passed straight to the system calls
  bool valid() const { return value_ != Traits::kInvalid; }
  explicit operator bool() const { return valid(); }

  // Gives up ownership without closing.
  Value release() { return std::exchange(value_, Traits::kInvalid); }
  // Closes what is held (if anything) and takes value. Returns the close's result (true when
  // nothing was held).
  bool reset(Value value = Traits::kInvalid) {
    const Value old = std::exchange(value_, value);
    return old == Traits::kInvalid || Traits::Close(old);
  }

 private:
  Value value_ = Traits::kInvalid;
};

struct KernelHandleTraits {
  using Value = HANDLE;
  static constexpr HANDLE kInvalid = nullptr;
  static bool Close(HANDLE h) { return CloseHandle(h) != FALSE; }
};

struct FileDescriptorTraits {
  using Value = int;
  static constexpr int kInvalid = -1;
  static bool Close(int fd) { return ::close(fd) == 0; }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFd = UniqueResource<FileDescriptorTraits>;

}  // namespace vidorra
