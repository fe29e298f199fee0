// A kernel of replayed V4L2 devices: the other side of the V4L2 seam (V4l2Calls) for devices
// described by v4l2-ctl's text (V4l2Description), so that the real V4L2 backend, the same code
// that talks to /dev/video*, runs against them. Each device is plugged in under a node name of
// this kernel's own and answers what its driver would:
//
//   QUERYCAP; ENUM_FMT, ENUM_FRAMESIZES (discrete, stepwise, continuous), ENUM_FRAMEINTERVALS;
//   G/S/TRY_FMT (an unsupported size becomes the nearest the format has, an unknown fourcc the
//   first format); G/S_PARM (the nearest listed interval); ENUMINPUT, G/S_INPUT, ENUMAUDIO,
//   G/S_AUDIO, ENUMSTD, G/S_STD, G/S_TUNER, G/S_FREQUENCY; QUERYCTRL and QUERY_EXT_CTRL (with
//   NEXT_CTRL), QUERYMENU, G/S_CTRL, G/S_EXT_CTRLS (integers clamped to their range and step,
//   menus checked, strings by length); REQBUFS, QUERYBUF, QBUF, DQBUF, STREAMON/OFF with mmap
//   buffers. Only one descriptor streams at a time (EBUSY for the others).
//
// Frames are the moving test pattern, numbered by a clock that runs from the plug-in: frame n
// is captured n frame intervals after it (at the interval of the format in use), so a frame
// that finds no queued buffer, or a stream stopped and started again, shows as a gap in the
// numbers. A buffer is filled with each frame that arrives while it is queued (its sequence
// number is the frame's number, its time stamp the frame's time on the monotonic clock) and
// drawn in the format in use when it is dequeued. A format no frame can be made in (H.264,
// MPEG) streams nothing.
//
// Descriptors are eventfds, so that a poll on them with other descriptors works; Poll wakes
// when a frame is due. Unplugging a device wakes every poll on it and fails every later call
// on its descriptors with ENODEV; plugged in again it is a new device (state and clock anew).
//
// A device whose description pads its rows (bytes per line beyond a packed format's pixels)
// pads every size of its single-plane formats by as much, as such drivers do.
//
// It is also the node source of its devices (NodeSource): the nodes plugged in, with the links
// they were plugged in with, and a monitor that hears each plug and unplug, as udev's.
//
// Threads: any; one mutex guards the devices, frames are drawn outside it into the dequeued
// buffer (which no one else touches until it is queued again).
#pragma once

#include <poll.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "V4l2Description.h"
#include "sim/TestPattern.h"
#include "v4l2/V4l2Calls.h"

namespace vidorra::devices::replay {

class ReplayedV4l2 : public v4l2::V4l2Calls, public v4l2::NodeSource {
 public:
  ReplayedV4l2() = default;
  ~ReplayedV4l2() override;
  ReplayedV4l2(const ReplayedV4l2&) = delete;
  ReplayedV4l2& operator=(const ReplayedV4l2&) = delete;

  // Plugs a device in at `node` (replacing one unplugged there), with udev's symbolic links for
  // it; its frame clock starts now.
  void Plug(const std::string& node, V4l2Description description,
            std::vector<std::string> links = {});
  void Unplug(const std::string& node);
  bool Present(const std::string& node);

  // For tests of the backend's error paths: called after each ioctl with its answer, it may
  // change what the caller gets (a dequeued buffer's flags, sequence or time stamp) and returns
  // the call's result (-1 with errno set: a failure). Called on the caller's thread.
  using IoctlHook = std::function<int(unsigned long request, void* arg, int result)>;
  void SetIoctlHook(IoctlHook hook);

  // ---- V4l2Calls ----
  int Open(const std::string& path, int flags) override;
  int Close(int fd) override;
  int Ioctl(int fd, unsigned long request, void* arg) override;
  void* Mmap(size_t length, int fd, int64_t offset) override;
  int Munmap(void* start, size_t length) override;
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;

  // ---- NodeSource ----
  std::vector<v4l2::VideoNode> Nodes() override;
  std::unique_ptr<v4l2::NodeMonitor> Monitor() override;

  struct Device;

 private:
  class PlugMonitor;
  std::shared_ptr<Device> DeviceOf(int fd);
  int Answer(int fd, unsigned long request, void* arg);
  void Tell(v4l2::NodeEvent::Action action, const std::string& node);  // under mutex_

  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Device>> devices_;
  std::map<int, std::shared_ptr<Device>> open_;
  std::vector<PlugMonitor*> monitors_;
  IoctlHook hook_;
};

}  // namespace vidorra::devices::replay
