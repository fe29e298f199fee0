// The V4L2 devices of this machine; see V4l2Devices.h.
#include "V4l2Devices.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <vidorra_pages.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "CrossbarFilter.h"
#include "TvAudioFilter.h"
#include "TvTunerFilter.h"
#include "V4l2CaptureFilter.h"
#include "V4l2Crossbar.h"
#include "V4l2Tuner.h"

namespace vidorra::devices::v4l2 {

namespace {

constexpr std::wstring_view kPrefix = L"@device:v4l2:";
constexpr std::string_view kById = "/dev/v4l/by-id/";

std::string Text(const __u8* bytes, size_t size) {
  return std::string(reinterpret_cast<const char*>(bytes),
                     strnlen(reinterpret_cast<const char*>(bytes), size));
}

// The number of /dev/videoN, for the order of nodes on one bus.
long NodeNumber(const std::string& devnode) {
  const size_t digits = devnode.find_last_not_of("0123456789");
  return digits + 1 < devnode.size() ? std::stol(devnode.substr(digits + 1)) : -1;
}

struct Probed {
  ListedNode node;
  std::string card;
  std::string byId;
};

std::optional<Probed> Probe(V4l2Calls& calls, const VideoNode& node) {
  std::optional<ListedNode> listed = ProbeCaptureNode(calls, node.devnode);
  if (!listed) return std::nullopt;
  Probed probed{*listed, WideToUtf8(listed->friendlyName), {}};
  for (const std::string& link : node.links) {
    if (link.rfind(kById, 0) == 0) probed.byId = link.substr(kById.size());
  }
  return probed;
}

}  // namespace

std::optional<ListedNode> ProbeCaptureNode(V4l2Calls& calls, const std::string& devnode) {
  const int fd = calls.Open(devnode, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<ListedNode> probed;
  v4l2_capability caps{};
  if (RetryIoctl(calls, fd, VIDIOC_QUERYCAP, &caps) == 0) {
    const uint32_t device = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps
                                                                       : caps.capabilities;
    if ((device & V4L2_CAP_VIDEO_CAPTURE) && (device & V4L2_CAP_STREAMING)) {
      probed = ListedNode{};
      probed->devnode = devnode;
      probed->friendlyName = Utf8ToWide(Text(caps.card, sizeof caps.card));
      probed->busInfo = Text(caps.bus_info, sizeof caps.bus_info);
      const AnalogInputs inputs = QueryInputs(calls, fd);
      probed->crossbar = HasCrossbar(inputs);
      for (const v4l2_input& input : inputs.video) {
        if (input.type != V4L2_INPUT_TYPE_TUNER) continue;
        probed->tuner = input.tuner;
        probed->tunerStandards = input.std;
        break;
      }
    }
  }
  calls.Close(fd);
  return probed;
}

V4l2Devices& V4l2Devices::Instance() {
  // Never destroyed: the catalog holds it for the whole run, and the watching thread may be
  // waiting when the program exits.
  static V4l2Devices* const devices = [] {
    std::shared_ptr<V4l2Devices> made(new V4l2Devices());
    DeviceCatalog::Instance().AddProvider(made, false);
    return made.get();
  }();
  return *devices;
}

namespace {
const bool kRegistered = (V4l2Devices::Instance(), true);
}  // namespace

V4l2Devices::V4l2Devices() : calls_(SystemV4l2Calls()), nodes_(SystemNodeSource()) {}

V4l2Devices::~V4l2Devices() { StopWatching(); }

std::vector<ListedNode> V4l2Devices::List(V4l2Calls& calls, NodeSource& nodes) {
  std::vector<Probed> probed;
  for (const VideoNode& node : nodes.Nodes()) {
    if (auto found = Probe(calls, node)) probed.push_back(std::move(*found));
  }
  std::sort(probed.begin(), probed.end(), [](const Probed& a, const Probed& b) {
    if (a.node.busInfo != b.node.busInfo) return a.node.busInfo < b.node.busInfo;
    return NodeNumber(a.node.devnode) < NodeNumber(b.node.devnode);
  });
  std::vector<ListedNode> listed;
  std::map<std::string, int> perBus;
  std::map<std::string, int> perCard;
  for (Probed& probe : probed) {
    ListedNode& node = probe.node;
    const int onBus = perBus[node.busInfo]++;
    std::string identity = probe.byId;
    if (identity.empty()) {
      identity = node.busInfo.empty() ? probe.card : node.busInfo;
      if (onBus > 0) {
        identity += '\\';
        identity += std::to_string(onBus);
      }
    }
    const int sameName = ++perCard[probe.card];
    if (sameName > 1) node.friendlyName += L" #" + std::to_wstring(sameName);
    node.displayName = std::wstring(kPrefix) + Utf8ToWide(identity);
    listed.push_back(std::move(node));
  }
  return listed;
}

std::vector<ListedNode> V4l2Devices::Listing() {
  std::unique_lock lock(mutex_);
  EnsureWatching(lock);
  if (!watching_) listing_ = List(*calls_, *nodes_);
  return listing_;
}

std::optional<std::string> V4l2Devices::NodeOf(const std::wstring& displayName) {
  for (const ListedNode& node : Listing()) {
    if (node.displayName == displayName) return node.devnode;
  }
  return std::nullopt;
}

std::vector<DeviceEntry> V4l2Devices::Devices() {
  std::shared_ptr<V4l2Calls> calls;
  {
    std::lock_guard lock(mutex_);
    calls = calls_;
  }
  std::vector<DeviceEntry> entries;
  for (const ListedNode& node : Listing()) {
    AppendNodeEntries(calls, node,
                      [this, displayName = node.displayName] { return NodeOf(displayName); },
                      &entries);
  }
  return entries;
}

void AppendNodeEntries(const std::shared_ptr<V4l2Calls>& calls, const ListedNode& node,
                       std::function<std::optional<std::string>()> locate,
                       std::vector<DeviceEntry>* entries) {
  const std::wstring displayName = node.displayName;
  const std::wstring name = node.friendlyName;
  const std::optional<KSPIN_MEDIUM> wire =
      node.crossbar ? std::optional(CaptureWire(displayName)) : std::nullopt;
  entries->push_back(
      {CLSID_VideoInputDeviceCategory, displayName, name, CLSID_VidorraVideoCapture,
       [calls, locate, displayName, name, wire](IBaseFilter** filter) -> HRESULT {
         if (!filter) return E_POINTER;
         *filter = nullptr;
         std::unique_ptr<V4l2VideoDevice> device;
         const HRESULT hr = V4l2VideoDevice::Open(calls, locate, wire, &device);
         if (FAILED(hr)) return hr;
         ComPtr<CV4l2CaptureFilter> made =
             MakeComObject<CV4l2CaptureFilter>(name, displayName, std::move(device));
         return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
       }});
  if (!node.crossbar) return;
  const std::string devnode = node.devnode;
  entries->push_back(
      {AM_KSCATEGORY_CROSSBAR, displayName + L"\\crossbar", name + L" Crossbar",
       CLSID_VidorraCrossbar,
       [calls, devnode, name, displayName](IBaseFilter** filter) -> HRESULT {
         if (!filter) return E_POINTER;
         *filter = nullptr;
         std::unique_ptr<V4l2Crossbar> crossbar;
         const HRESULT hr = V4l2Crossbar::Open(calls, devnode, displayName, &crossbar);
         if (FAILED(hr)) return hr;
         ComPtr<CCrossbarFilter> made =
             MakeComObject<CCrossbarFilter>(name + L" Crossbar", std::move(crossbar));
         return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
       }});
  if (!node.tuner) return;
  entries->push_back(
      {AM_KSCATEGORY_TVTUNER, displayName + L"\\tuner", name + L" TV Tuner",
       CLSID_VidorraTvTuner,
       [calls, devnode, name, displayName, index = *node.tuner,
        standards = node.tunerStandards](IBaseFilter** filter) -> HRESULT {
         if (!filter) return E_POINTER;
         *filter = nullptr;
         std::unique_ptr<V4l2Tuner> tuner;
         const HRESULT hr = V4l2Tuner::Open(calls, devnode, index, standards, displayName, &tuner);
         if (FAILED(hr)) return hr;
         ComPtr<CTvTunerFilter> made =
             MakeComObject<CTvTunerFilter>(name + L" TV Tuner", std::move(tuner));
         return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
       }});
  entries->push_back(
      {AM_KSCATEGORY_TVAUDIO, displayName + L"\\tvaudio", name + L" TV Audio",
       CLSID_VidorraTvAudio,
       [calls, devnode, name, displayName, index = *node.tuner](IBaseFilter** filter) -> HRESULT {
         if (!filter) return E_POINTER;
         *filter = nullptr;
         std::unique_ptr<V4l2TvAudio> audio;
         const HRESULT hr = V4l2TvAudio::Open(calls, devnode, index, &audio);
         if (FAILED(hr)) return hr;
         ComPtr<CTvAudioFilter> made = MakeComObject<CTvAudioFilter>(
             name + L" TV Audio", V4l2TvAudio::Pins(displayName), std::move(audio));
         return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
       }});
}

// ---- Hot-plug ----

void V4l2Devices::EnsureWatching(std::unique_lock<std::mutex>& lock) {
  if (watchTried_) return;
  watchTried_ = true;
  monitor_ = nodes_->Monitor();
  if (!monitor_) return;
  // Listed after the monitor is on, so that no change falls between the two.
  listing_ = List(*calls_, *nodes_);
  watcher_ = std::make_unique<WatchThread>();
  if (!watcher_->Start(
          [this, monitor = monitor_.get()](int stopFd) { Watch(monitor, stopFd); })) {
    watcher_.reset();
    monitor_.reset();
    return;
  }
  watching_ = true;
  (void)lock;
}

void V4l2Devices::StopWatching() {
  std::unique_ptr<WatchThread> watcher;
  {
    std::lock_guard lock(mutex_);
    watcher = std::move(watcher_);
  }
  watcher.reset();
  std::lock_guard lock(mutex_);
  monitor_.reset();
  watching_ = false;
  watchTried_ = false;
  listing_.clear();
}

void V4l2Devices::Watch(NodeMonitor* monitor, int stopFd) {
  for (;;) {
    pollfd fds[2] = {{monitor->Fd(), POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno != EINTR) return;
    if (fds[1].revents & POLLIN) return;
    if (!(fds[0].revents & POLLIN)) continue;
    if (monitor->Receive()) Refresh();
  }
}

void V4l2Devices::Refresh() {
  std::vector<ListedNode> before;
  std::vector<ListedNode> after;
  {
    std::lock_guard lock(mutex_);
    before = listing_;
    listing_ = List(*calls_, *nodes_);
    after = listing_;
  }
  std::set<std::wstring> was;
  std::set<std::wstring> is;
  for (const ListedNode& node : before) was.insert(node.displayName);
  for (const ListedNode& node : after) is.insert(node.displayName);
  for (const std::wstring& name : was) {
    if (!is.contains(name)) DeviceCatalog::Instance().DeviceRemoved(name);
  }
  for (const std::wstring& name : is) {
    if (!was.contains(name)) DeviceCatalog::Instance().DeviceArrived(name);
  }
}

void V4l2Devices::UseForTesting(std::shared_ptr<V4l2Calls> calls,
                                std::shared_ptr<NodeSource> nodes) {
  StopWatching();
  std::lock_guard lock(mutex_);
  calls_ = calls ? std::move(calls) : SystemV4l2Calls();
  nodes_ = nodes ? std::move(nodes) : SystemNodeSource();
}

}  // namespace vidorra::devices::v4l2
