// A fake of the V4L2 seam for the device tests and benchmarks: video nodes a test plugs and unplugs, each
// with its capabilities, formats, controls and inputs, answering the ioctls the backend makes,
// and a stream whose buffers the test fills one by one (Capture). Descriptors are real
// eventfds, readable while a filled buffer waits, so the backend polls them as it would a
// device. Unplugging a node makes every call on it fail with ENODEV and tells the monitor.
#pragma once

#include <linux/videodev2.h>
#include <streams.h>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "RecordingSink.h"
#include "v4l2/V4l2Calls.h"

namespace vidorra::test {

struct FakeFormat {
  uint32_t pixelFormat = V4L2_PIX_FMT_YUYV;
  std::vector<std::pair<uint32_t, uint32_t>> sizes;  // width, height
  std::vector<v4l2_fract> intervals;                 // for every size
};

struct FakeControl {
  v4l2_queryctrl query{};  // as the plain query gives it (no range for a 64-bit control)
  std::vector<std::string> menu;  // item names of a menu control, from query.minimum
  long value = 0;
  int64_t minimum64 = 0;  // a 64-bit control's range
  int64_t maximum64 = 0;
  std::string text;  // a string control's
  int failWith = 0;  // an errno S_CTRL and S_EXT_CTRLS answer
};

struct FakeNode {
  std::string devnode;
  std::vector<std::string> links;
  std::string card;
  std::string busInfo;
  uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  std::vector<FakeFormat> formats;
  size_t currentFormat = 0;  // the format the node starts with (its first size and interval)
  uint32_t extraBytesPerLine = 0;  // padding at the end of each row
  std::vector<FakeControl> controls;
  std::vector<v4l2_input> inputs;
  std::vector<v4l2_audio> audios;
  uint32_t tunerCapability = 0;  // V4L2_TUNER_CAP_LOW for 62.5 Hz units
  uint16_t signal = 0xFFFF;
  uint32_t rxsubchans = V4L2_TUNER_SUB_MONO | V4L2_TUNER_SUB_STEREO;
};

FakeControl IntegerControl(uint32_t id, const char* name, long min, long max, long step, long def);
FakeControl BooleanControl(uint32_t id, const char* name, long def);
FakeControl MenuControl(uint32_t id, const char* name, std::vector<std::string> items, long def);
FakeControl Integer64Control(uint32_t id, const char* name, int64_t min, int64_t max, int64_t def);
FakeControl StringControl(uint32_t id, const char* name, long maxLength, std::string text);
v4l2_input Input(uint32_t index, const char* name, uint32_t type, uint32_t audioset = 0);
v4l2_audio AudioInput(uint32_t index, const char* name);

class FakeV4l2 : public devices::v4l2::V4l2Calls, public devices::v4l2::NodeSource {
 public:
  FakeV4l2() = default;
  ~FakeV4l2() override;

  // ---- The test's side ----
  void Plug(FakeNode node);
  void Unplug(const std::string& devnode);
  // Fills the next queued buffer of the node's stream: the driver's sequence number, the age
  // of its time stamp (100-ns units), the error flag. False when no buffer is queued.
  bool Capture(const std::string& devnode, uint32_t sequence, REFERENCE_TIME age = 0,
               bool error = false);
  bool Streaming(const std::string& devnode);
  // Threads waiting in Poll now.
  int Polling() const { return polling_.load(); }
  // When the last buffer was dequeued (steady clock, nanoseconds since its epoch).
  int64_t LastDequeue() const { return lastDequeue_.load(); }
  // What the node was last set to.
  v4l2_pix_format Format(const std::string& devnode);
  v4l2_fract Interval(const std::string& devnode);
  long ControlValue(const std::string& devnode, uint32_t id);
  std::string ControlText(const std::string& devnode, uint32_t id);
  uint32_t CurrentInput(const std::string& devnode);
  uint32_t CurrentAudio(const std::string& devnode);
  uint32_t Frequency(const std::string& devnode);
  v4l2_std_id Standard(const std::string& devnode);
  uint32_t AudioMode(const std::string& devnode);
  // The byte at `offset` of the picture captured with `sequence`.
  static uint8_t PictureByte(uint32_t sequence, size_t offset) {
    return static_cast<uint8_t>(offset * 7 + sequence);
  }

  // ---- V4l2Calls ----
  int Open(const std::string& path, int flags) override;
  int Close(int fd) override;
  int Ioctl(int fd, unsigned long request, void* arg) override;
  void* Mmap(size_t length, int fd, int64_t offset) override;
  int Munmap(void* start, size_t length) override;
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;

  // ---- NodeSource ----
  std::vector<devices::v4l2::VideoNode> Nodes() override;
  std::unique_ptr<devices::v4l2::NodeMonitor> Monitor() override;

 private:
  struct Node {
    FakeNode desc;
    bool present = true;
    v4l2_pix_format format{};
    v4l2_fract interval{1, 30};
    uint32_t input = 0;
    uint32_t audio = 0;
    uint32_t frequency = 0;
    v4l2_std_id standard = 0;
    uint32_t audmode = V4L2_TUNER_MODE_MONO;
    int streamFd = -1;
    bool streamOn = false;
    std::vector<std::vector<uint8_t>> buffers;
    std::deque<uint32_t> queued;
    std::deque<v4l2_buffer> filled;
  };
  class Monitor_;

  // read(node) under the mutex for a node present, else `otherwise`.
  template <class T, class Reader>
  T Read(const std::string& devnode, T otherwise, Reader read);
  Node* NodeOf(int fd);
  Node* Find(const std::string& devnode);
  int Handle(Node& node, int fd, unsigned long request, void* arg);
  void Notify(devices::v4l2::NodeEvent::Action action, const std::string& devnode);

  std::mutex mutex_;
  std::vector<std::unique_ptr<Node>> nodes_;
  std::map<int, Node*> open_;
  Monitor_* monitor_ = nullptr;
  std::atomic<int> polling_{0};
  std::atomic<int64_t> lastDequeue_{0};
};

// The V4L2 tests' sink (to be removed once they use RecordingSink): any video, bytes kept.
class BytesSink : public RecordingSink {
 public:
  BytesSink() : RecordingSink(RecordingSinkOptions{.keepBytes = true}) {}
  size_t Count() { return static_cast<size_t>(RecordingSink::Count()); }
};

}  // namespace vidorra::test
