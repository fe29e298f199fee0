// The V4L2 capture devices of this machine, as the device catalog lists them (after the
// simulated ones, see DeviceCatalog), and their hot-plug.
//
// Listing: every video4linux node whose device capabilities (VIDIOC_QUERYCAP device_caps)
// include VIDEO_CAPTURE and STREAMING, so metadata and output nodes are left out. Order: by
// bus info, then by node number. Friendly name: the card's name, made unique with " #2",
// " #3" ... in that order. Display name: "@device:v4l2:" and a stable identity, the node's
// /dev/v4l/by-id name when udev gives one (the same across ports, re-plugging and reboots),
// else its bus info (with "\N" for the N-th further capture node on that bus); a card with
// several video inputs or a tuner also lists its crossbar, "@device:v4l2:IDENTITY\crossbar",
// and a card with a tuner its TV tuner and TV sound decoder, "@device:v4l2:IDENTITY\tuner"
// and "...\tvaudio".
// Neither name contains the /dev number, which changes from one plugging to the next.
//
// Hot-plug: from the first listing on, a thread watches udev's video4linux events. On each
// it lists again, and tells the catalog which devices went (EC_DEVICE_LOST, removed, to the
// graphs holding them) and which came (arrived). Without a monitor the list is made afresh
// every time it is asked for.
//
// Threads: any; one mutex guards the seams and the list.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "DeviceCatalog.h"
#include "V4l2Calls.h"
#include "WatchThread.h"

namespace vidorra::devices::v4l2 {

struct ListedNode {
  std::string devnode;
  std::wstring displayName;
  std::wstring friendlyName;
  std::string busInfo;
  bool crossbar = false;
  std::optional<uint32_t> tuner;  // the tuner of the tuner input
  uint64_t tunerStandards = 0;    // V4L2_STD_* bits of the tuner input
};

// Probes one node: what the catalog lists of a capture node (card, bus, crossbar and tuner),
// without its names; nullopt for a node that cannot be opened or is no capture node.
std::optional<ListedNode> ProbeCaptureNode(V4l2Calls& calls, const std::string& devnode);

// The catalog entries of a listed node over `calls`: its capture filter and, for a card, its
// crossbar, TV tuner and TV sound decoder, under the node's display and friendly names.
// `locate` says where the device is now (nullopt once it is gone).
void AppendNodeEntries(const std::shared_ptr<V4l2Calls>& calls, const ListedNode& node,
                       std::function<std::optional<std::string>()> locate,
                       std::vector<DeviceEntry>* entries);

class V4l2Devices : public DeviceProvider {
 public:
  // The provider the catalog holds.
  static V4l2Devices& Instance();
  ~V4l2Devices() override;

  std::vector<DeviceEntry> Devices() override;
  // The capture nodes present now, in listing order.
  std::vector<ListedNode> Listing();
  // Where the device listed under this display name is now.
  std::optional<std::string> NodeOf(const std::wstring& displayName);

  // Puts other seams behind the provider (null: this machine's) and forgets the list; the
  // watching thread stops and starts again with the next listing.
  void UseForTesting(std::shared_ptr<V4l2Calls> calls, std::shared_ptr<NodeSource> nodes);

 private:
  V4l2Devices();
  static std::vector<ListedNode> List(V4l2Calls& calls, NodeSource& nodes);
  void EnsureWatching(std::unique_lock<std::mutex>& lock);
  void StopWatching();
  void Watch(NodeMonitor* monitor, int stopFd);
  void Refresh();

  std::mutex mutex_;
  std::shared_ptr<V4l2Calls> calls_;
  std::shared_ptr<NodeSource> nodes_;
  std::vector<ListedNode> listing_;
  bool watching_ = false;  // listing_ is kept up to date by the thread
  bool watchTried_ = false;
  std::unique_ptr<NodeMonitor> monitor_;
  std::unique_ptr<WatchThread> watcher_;  // joined without the mutex
};

}  // namespace vidorra::devices::v4l2
