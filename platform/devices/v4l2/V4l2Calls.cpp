// The system side of the V4L2 seam: libv4l2 for the device calls, libudev for the nodes and
// their hot-plug; see V4l2Calls.h.
#include "V4l2Calls.h"

#include <libudev.h>
#include <libv4l2.h>
#include <sys/mman.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vidorra::devices::v4l2 {

namespace {

constexpr uint32_t kErrorBusy = 170;  // ERROR_BUSY

class LibV4l2Calls : public V4l2Calls {
 public:
  int Open(const std::string& path, int flags) override { return ::v4l2_open(path.c_str(), flags); }
  int Close(int fd) override { return ::v4l2_close(fd); }
  int Ioctl(int fd, unsigned long request, void* arg) override {
    return ::v4l2_ioctl(fd, request, arg);
  }
  void* Mmap(size_t length, int fd, int64_t offset) override {
    return ::v4l2_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
  }
  int Munmap(void* start, size_t length) override { return ::v4l2_munmap(start, length); }
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
    return ::poll(fds, count, timeoutMs);
  }
};

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <class T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::vector<std::string> LinksOf(udev_device* device) {
  std::vector<std::string> links;
  for (udev_list_entry* entry = udev_device_get_devlinks_list_entry(device); entry;
       entry = udev_list_entry_get_next(entry)) {
    links.emplace_back(udev_list_entry_get_name(entry));
  }
  return links;
}

class UdevMonitor : public NodeMonitor {
 public:
  UdevMonitor(UdevPtr<udev> context, UdevPtr<udev_monitor> monitor)
      : context_(std::move(context)), monitor_(std::move(monitor)) {}
  int Fd() override { return udev_monitor_get_fd(monitor_.get()); }
  std::optional<NodeEvent> Receive() override {
    UdevPtr<udev_device> device(udev_monitor_receive_device(monitor_.get()));
    if (!device) return std::nullopt;
    const char* node = udev_device_get_devnode(device.get());
    const char* action = udev_device_get_action(device.get());
    if (!node || !action) return std::nullopt;
    NodeEvent event;
    event.devnode = node;
    if (std::strcmp(action, "add") == 0) {
      event.action = NodeEvent::Action::kAdded;
    } else if (std::strcmp(action, "remove") == 0) {
      event.action = NodeEvent::Action::kRemoved;
    }
    return event;
  }

 private:
  UdevPtr<udev> context_;
  UdevPtr<udev_monitor> monitor_;
};

class UdevNodes : public NodeSource {
 public:
  std::vector<VideoNode> Nodes() override {
    UdevPtr<udev> context(udev_new());
    std::vector<VideoNode> nodes = context ? Enumerate(context.get()) : std::vector<VideoNode>{};
    if (nodes.empty()) nodes = ScanDev();
    std::sort(nodes.begin(), nodes.end(),
              [](const VideoNode& a, const VideoNode& b) { return a.devnode < b.devnode; });
    return nodes;
  }

  std::unique_ptr<NodeMonitor> Monitor() override {
    // Without a udev daemon (a container) no event ever comes: no monitor, so that the nodes
    // are listed afresh each time rather than once for good.
    std::error_code error;
    if (!std::filesystem::exists("/run/udev/control", error)) return nullptr;
    UdevPtr<udev> context(udev_new());
    if (!context) return nullptr;
    UdevPtr<udev_monitor> monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "video4linux", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
      return nullptr;
    }
    return std::make_unique<UdevMonitor>(std::move(context), std::move(monitor));
  }

 private:
  static std::vector<VideoNode> Enumerate(udev* context) {
    std::vector<VideoNode> nodes;
    UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "video4linux") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
      return nodes;
    }
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get()); entry;
         entry = udev_list_entry_get_next(entry)) {
      UdevPtr<udev_device> device(
          udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
      if (!device) continue;
      const char* node = udev_device_get_devnode(device.get());
      if (!node || std::strncmp(node, "/dev/video", 10) != 0) continue;
      nodes.push_back({node, LinksOf(device.get())});
    }
    return nodes;
  }

  // Without udev's database (a container), the nodes themselves; no stable links then.
  static std::vector<VideoNode> ScanDev() {
    std::vector<VideoNode> nodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("video", 0) == 0 && name.size() > 5 &&
          std::all_of(name.begin() + 5, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        nodes.push_back({entry.path().string(), {}});
      }
    }
    return nodes;
  }
};

}  // namespace

std::shared_ptr<V4l2Calls> SystemV4l2Calls() {
  static const auto calls = std::make_shared<LibV4l2Calls>();
  return calls;
}

std::shared_ptr<NodeSource> SystemNodeSource() {
  static const auto nodes = std::make_shared<UdevNodes>();
  return nodes;
}

int RetryIoctl(V4l2Calls& calls, int fd, unsigned long request, void* arg) {
  int result = 0;
  do {
    result = calls.Ioctl(fd, request, arg);
  } while (result == -1 && errno == EINTR);
  return result;
}

bool DeviceGone(int error) { return error == ENODEV || error == ENXIO || error == ENOENT; }

HRESULT HResultFromErrno(int error) {
  if (DeviceGone(error)) return VFW_E_NO_CAPTURE_HARDWARE;
  switch (error) {
    case EINVAL:
    case ERANGE:
      return E_INVALIDARG;
    case EACCES:
    case EPERM:
      return E_ACCESSDENIED;
    case EBUSY:
      return HRESULT_FROM_WIN32(kErrorBusy);
    case ENOMEM:
      return E_OUTOFMEMORY;
    case ENOTTY:
      return E_NOTIMPL;
    default:
      return E_FAIL;
  }
}

}  // namespace vidorra::devices::v4l2
