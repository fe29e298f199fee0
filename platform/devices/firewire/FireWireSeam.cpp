// The seam over libraw1394 and libiec61883; see FireWireSeam.h.
//
// A camera is a node whose configuration ROM has an AV/C unit directory (unit specifier id
// 0x00A02D, version 0x010001); its name is the text of the ROM's textual descriptor leaves (vendor,
// then model), its identity the EUI-64 of the bus information block. Reception connects the
// camera's output plug to ours (falling back to the broadcast channel when the camera has no plug
// registers) and assembles DIF frames with libiec61883's frame receiver; after a bus reset the
// camera is looked up again by its EUI-64 and the connection made again.
#include "FireWireSeam.h"

#include <arpa/inet.h>
#include <libavc1394/avc1394.h>
#include <libiec61883/iec61883.h>
#include <libraw1394/csr.h>
#include <libraw1394/raw1394.h>
#include <poll.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <deque>
#include <optional>

#include "DeviceBackend.h"

namespace vidorra::devices::firewire {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxPorts = 16;
constexpr nodeid_t kLocalBus = 0xFFC0;
constexpr uint32_t kAvcSpecifierId = 0x00A02D;
constexpr uint32_t kAvcVersion = 0x010001;
constexpr uint32_t kKeyUnitSpecifierId = 0x12;
constexpr uint32_t kKeyUnitVersion = 0x13;
constexpr uint32_t kKeyTextualLeaf = 0x81;
constexpr uint32_t kKeyUnitDirectory = 0xD1;
constexpr int kBroadcastChannel = 63;
constexpr size_t kMaxDirectoryEntries = 64;
constexpr size_t kMaxTextQuadlets = 64;
constexpr size_t kTextLeafHeaderQuadlets = 2;  // specifier id and language
// Frames received and not yet read, and what the kernel is asked to buffer for a late reader
// (a DV frame is 300 isochronous packets in PAL, 250 in NTSC).
constexpr size_t kQueuedFrames = kDeviceQueueFrames;
constexpr unsigned kBufferPackets = 300 * kDeviceQueueFrames;
constexpr int kAvcRetries = 2;
constexpr size_t kMaxAvcQuadlets = 128;  // an FCP frame holds at most 512 bytes

struct HandleDeleter {
  void operator()(raw1394handle_t handle) const { raw1394_destroy_handle(handle); }
};
using HandlePtr = std::unique_ptr<std::remove_pointer_t<raw1394handle_t>, HandleDeleter>;

// Reads a node's configuration ROM a quadlet at a time.
class RomReader {
 public:
  explicit RomReader(const RomQuadletReader& read) : read_(read) {}

  // The quadlet at byte offset `offset` of the ROM.
  std::optional<uint32_t> At(uint64_t offset) { return read_(offset); }

  // The entries (offset of the entry, its quadlet) of the directory at `offset`.
  std::vector<std::pair<uint64_t, uint32_t>> Directory(uint64_t offset) {
    std::vector<std::pair<uint64_t, uint32_t>> entries;
    const auto header = At(offset);
    if (!header) return entries;
    const size_t count = std::min<size_t>(*header >> 16, kMaxDirectoryEntries);
    for (size_t i = 1; i <= count; ++i) {
      const uint64_t at = offset + 4 * i;
      const auto entry = At(at);
      if (!entry) break;
      entries.emplace_back(at, *entry);
    }
    return entries;
  }

  // The text of the textual descriptor leaf an entry at `entryOffset` points to.
  std::string Text(uint64_t entryOffset, uint32_t entry) {
    const uint64_t leaf = entryOffset + 4 * static_cast<uint64_t>(entry & 0xFFFFFF);
    const auto header = At(leaf);
    if (!header) return {};
    const size_t quadlets = std::min<size_t>(*header >> 16, kMaxTextQuadlets);
    std::string text;
    for (size_t i = kTextLeafHeaderQuadlets + 1; i <= quadlets; ++i) {
      const auto value = At(leaf + 4 * i);
      if (!value) break;
      for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((*value >> shift) & 0xFF);
        if (c == '\0') return text;
        text.push_back(c);
      }
    }
    return text;
  }

 private:
  const RomQuadletReader& read_;
};

}  // namespace

std::optional<DvCamera> CameraOfConfigRom(const RomQuadletReader& read) {
  RomReader rom(read);
  const auto info = rom.At(0);
  const auto guidHigh = rom.At(12);
  const auto guidLow = rom.At(16);
  if (!info || !guidHigh || !guidLow) return std::nullopt;
  const uint64_t root = 4 + 4 * static_cast<uint64_t>(*info >> 24);  // after the bus info block
  std::vector<std::string> texts;
  bool avc = false;
  for (const auto& [at, entry] : rom.Directory(root)) {
    const uint32_t key = entry >> 24;
    if (key == kKeyTextualLeaf) texts.push_back(rom.Text(at, entry));
    if (key != kKeyUnitDirectory) continue;
    uint32_t specifierId = 0;
    uint32_t version = 0;
    for (const auto& [unitAt, unitEntry] : rom.Directory(at + 4 * (entry & 0xFFFFFF))) {
      if (unitEntry >> 24 == kKeyUnitSpecifierId) specifierId = unitEntry & 0xFFFFFF;
      if (unitEntry >> 24 == kKeyUnitVersion) version = unitEntry & 0xFFFFFF;
    }
    avc = avc || (specifierId == kAvcSpecifierId && version == kAvcVersion);
  }
  if (!avc) return std::nullopt;
  DvCamera camera;
  camera.guid = (static_cast<uint64_t>(*guidHigh) << 32) | *guidLow;
  for (const std::string& text : texts) {
    if (text.empty()) continue;
    if (!camera.name.empty()) camera.name += ' ';
    camera.name += text;
  }
  if (camera.name.empty()) camera.name = "DV camcorder";
  return camera;
}

namespace {

struct FoundCamera {
  DvCamera camera;
  int port = 0;
  nodeid_t node = 0;
};

// The camera on this node, if it is one.
std::optional<DvCamera> CameraAt(raw1394handle_t handle, nodeid_t node) {
  return CameraOfConfigRom([&](uint64_t offset) -> std::optional<uint32_t> {
    quadlet_t value = 0;
    if (raw1394_read(handle, node, CSR_REGISTER_BASE + CSR_CONFIG_ROM + offset, sizeof value,
                     &value) < 0) {
      return std::nullopt;
    }
    return ntohl(value);
  });
}

std::vector<FoundCamera> FindCameras() {
  std::vector<FoundCamera> found;
  HandlePtr probe(raw1394_new_handle());
  if (!probe) return found;  // no 1394 support or no adapter
  std::array<raw1394_portinfo, kMaxPorts> ports{};
  const int count = raw1394_get_port_info(probe.get(), ports.data(), kMaxPorts);
  for (int port = 0; port < std::min(count, kMaxPorts); ++port) {
    HandlePtr handle(raw1394_new_handle_on_port(port));
    if (!handle) continue;
    const int nodes = raw1394_get_nodecount(handle.get());
    const nodeid_t local = raw1394_get_local_id(handle.get());
    for (int n = 0; n < nodes; ++n) {
      const auto node = static_cast<nodeid_t>(kLocalBus | n);
      if (node == local) continue;
      if (auto camera = CameraAt(handle.get(), node)) found.push_back({*camera, port, node});
    }
  }
  return found;
}

class LibRaw1394Reception : public DvReception {
 public:
  LibRaw1394Reception(uint64_t guid, int port) : guid_(guid), port_(port) {}
  ~LibRaw1394Reception() override {
    if (frames_) iec61883_dv_fb_close(frames_);
    Disconnect();
  }

  bool Start(nodeid_t node, std::string* error) {
    handle_.reset(raw1394_new_handle_on_port(port_));
    if (!handle_) return Fail(error, "cannot open the 1394 port");
    raw1394_set_userdata(handle_.get(), this);
    raw1394_set_bus_reset_handler(handle_.get(), &LibRaw1394Reception::OnBusReset);
    node_ = node;
    Connect();
    frames_ = iec61883_dv_fb_init(handle_.get(), &LibRaw1394Reception::OnFrame, this);
    if (frames_) iec61883_dv_set_buffers(iec61883_dv_fb_get_dv(frames_), kBufferPackets);
    if (!frames_ || iec61883_dv_fb_start(frames_, channel_) < 0) {
      return Fail(error, "cannot receive DV from the camera");
    }
    return true;
  }

  uint64_t FramesLeftOut() const override { return leftOut_; }

  Result Next(std::vector<uint8_t>* frame, int interruptFd, int timeoutMs) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (reset_) {
        reset_ = false;
        const auto node = NodeOf(guid_);
        if (!node) return Result::kGone;
        node_ = *node;
        Reconnect();
        return Result::kBusReset;
      }
      if (!ready_.empty()) {
        frame->swap(ready_.front());
        ready_.pop_front();
        return Result::kFrame;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return Result::kTimedOut;
      std::array<pollfd, 2> fds = {pollfd{raw1394_get_fd(handle_.get()), POLLIN | POLLPRI, 0},
                                   pollfd{interruptFd, POLLIN, 0}};
      const int ready = ::poll(fds.data(), interruptFd >= 0 ? 2 : 1, static_cast<int>(left));
      if (ready < 0 && errno != EINTR) return Result::kGone;
      if (interruptFd >= 0 && fds[1].revents) return Result::kInterrupted;
      if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return Result::kGone;
      if ((fds[0].revents & (POLLIN | POLLPRI)) && raw1394_loop_iterate(handle_.get()) < 0) {
        return Result::kGone;
      }
    }
  }

 private:
  static bool Fail(std::string* error, const char* text) {
    if (error) *error = text;
    return false;
  }

  // The camera's node on our port now, looked up by its EUI-64.
  std::optional<nodeid_t> NodeOf(uint64_t guid) {
    for (const FoundCamera& found : FindCameras()) {
      if (found.camera.guid == guid && found.port == port_) return found.node;
    }
    return std::nullopt;
  }

  void Connect() {
    oplug_ = -1;
    iplug_ = -1;
    const int channel = iec61883_cmp_connect(
        handle_.get(), node_, &oplug_, raw1394_get_local_id(handle_.get()), &iplug_, &bandwidth_);
    connected_ = channel >= 0;
    channel_ = connected_ ? channel : kBroadcastChannel;
  }

  void Reconnect() {
    if (!connected_) return;
    iec61883_cmp_reconnect(handle_.get(), node_, &oplug_, raw1394_get_local_id(handle_.get()),
                           &iplug_, &bandwidth_, channel_);
  }

  void Disconnect() {
    if (handle_ && connected_) {
      iec61883_cmp_disconnect(handle_.get(), node_, oplug_, raw1394_get_local_id(handle_.get()),
                              iplug_, static_cast<unsigned>(channel_),
                              static_cast<unsigned>(bandwidth_));
    }
    connected_ = false;
  }

  static int OnFrame(unsigned char* data, int length, int complete, void* self) {
    auto* reception = static_cast<LibRaw1394Reception*>(self);
    // An incomplete frame (packets lost) is left out; the next complete one follows.
    if (!complete || length <= 0) {
      ++reception->leftOut_;
      return 0;
    }
    if (reception->ready_.size() >= kQueuedFrames) {
      reception->ready_.pop_front();
      ++reception->leftOut_;
    }
    reception->ready_.emplace_back(data, data + length);
    return 0;
  }

  static int OnBusReset(raw1394handle_t handle, unsigned int generation) {
    raw1394_update_generation(handle, generation);
    static_cast<LibRaw1394Reception*>(raw1394_get_userdata(handle))->reset_ = true;
    return 0;
  }

  const uint64_t guid_;
  const int port_;
  HandlePtr handle_;
  iec61883_dv_fb_t frames_ = nullptr;
  nodeid_t node_ = 0;
  int oplug_ = -1;
  int iplug_ = -1;
  int bandwidth_ = 0;
  int channel_ = kBroadcastChannel;
  uint64_t leftOut_ = 0;
  bool connected_ = false;
  bool reset_ = false;
  std::deque<std::vector<uint8_t>> ready_;
};

class LibRaw1394Seam : public FireWireSeam {
 public:
  std::vector<DvCamera> Cameras() override {
    std::vector<DvCamera> cameras;
    for (FoundCamera& found : FindCameras()) cameras.push_back(std::move(found.camera));
    return cameras;
  }

  std::unique_ptr<DvReception> Receive(uint64_t guid, std::string* error) override {
    for (const FoundCamera& found : FindCameras()) {
      if (found.camera.guid != guid) continue;
      auto reception = std::make_unique<LibRaw1394Reception>(guid, found.port);
      if (!reception->Start(found.node, error)) return nullptr;
      return reception;
    }
    if (error) *error = "the camera is not on the bus";
    return nullptr;
  }

  std::vector<uint8_t> AvcCommand(uint64_t guid, std::span<const uint8_t> command) override {
    if (command.empty() || command.size() > 4 * kMaxAvcQuadlets) return {};
    for (const FoundCamera& found : FindCameras()) {
      if (found.camera.guid != guid) continue;
      HandlePtr handle(raw1394_new_handle_on_port(found.port));
      if (!handle) return {};
      // The frame in quadlets, its first byte the most significant of the first quadlet (the
      // library puts them on the bus in bus order).
      std::vector<quadlet_t> request((command.size() + 3) / 4, 0);
      for (size_t i = 0; i < command.size(); ++i) {
        request[i / 4] |= static_cast<quadlet_t>(command[i]) << (24 - 8 * (i % 4));
      }
      unsigned int responseQuadlets = 0;
      const quadlet_t* response =
          avc1394_transaction_block2(handle.get(), found.node, request.data(),
                                     static_cast<int>(request.size()), &responseQuadlets, kAvcRetries);
      std::vector<uint8_t> bytes;
      if (response) {
        for (unsigned int q = 0; q < std::min<unsigned int>(responseQuadlets, kMaxAvcQuadlets); ++q) {
          for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(response[q] >> (24 - 8 * b)));
        }
      }
      avc1394_transaction_block_close(handle.get());
      return bytes;
    }
    return {};
  }
};

}  // namespace

std::shared_ptr<FireWireSeam> MakeLibRaw1394Seam() { return std::make_shared<LibRaw1394Seam>(); }

}  // namespace vidorra::devices::firewire
