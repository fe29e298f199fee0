// The thin seam between the V4L2 backend and the system: the calls it makes on a video node
// (through libv4l2, which converts the odd pixel formats of many webcams into common ones) and
// the video nodes udev knows, with their hot-plug events. Tests put a fake device behind it.
//
// Threads: a V4l2Calls object is used from any thread at once (controls from the program's
// thread while the capture thread dequeues); NodeSource's Nodes from any thread; a NodeMonitor
// from the one thread that watches it.
#pragma once

#include <poll.h>
#include <strmif.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vidorra::devices::v4l2 {

class V4l2Calls {
 public:
  virtual ~V4l2Calls() = default;
  // As open(2), close(2), ioctl(2), mmap(2) (shared, read and write) and poll(2): -1 (or
  // MAP_FAILED) with errno set on failure.
  virtual int Open(const std::string& path, int flags) = 0;
  virtual int Close(int fd) = 0;
  virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual void* Mmap(size_t length, int fd, int64_t offset) = 0;
  virtual int Munmap(void* start, size_t length) = 0;
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
};

// The calls of this machine, through libv4l2.
std::shared_ptr<V4l2Calls> SystemV4l2Calls();

// An ioctl retried while interrupted by a signal.
int RetryIoctl(V4l2Calls& calls, int fd, unsigned long request, void* arg);

// The HRESULT for an errno of a device call: a device gone is VFW_E_NO_CAPTURE_HARDWARE.
HRESULT HResultFromErrno(int error);
bool DeviceGone(int error);

// A video4linux node as udev lists it: its /dev path and its symbolic links (the stable
// /dev/v4l/by-id/... and /dev/v4l/by-path/... names).
struct VideoNode {
  std::string devnode;
  std::vector<std::string> links;
};

struct NodeEvent {
  enum class Action { kAdded, kRemoved, kChanged };
  Action action = Action::kChanged;
  std::string devnode;
};

class NodeMonitor {
 public:
  virtual ~NodeMonitor() = default;
  // Readable when an event is waiting.
  virtual int Fd() = 0;
  // The waiting event, or nullopt when there is none (or it was not about a video node).
  virtual std::optional<NodeEvent> Receive() = 0;
};

class NodeSource {
 public:
  virtual ~NodeSource() = default;
  // The video4linux nodes present now.
  virtual std::vector<VideoNode> Nodes() = 0;
  // A monitor of the video4linux subsystem, or null when none can be had (no udev daemon).
  virtual std::unique_ptr<NodeMonitor> Monitor() = 0;
};

// udev's view of this machine (the /dev/video* nodes when udev cannot be reached).
std::shared_ptr<NodeSource> SystemNodeSource();

}  // namespace vidorra::devices::v4l2
