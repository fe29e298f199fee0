// The fake V4L2 seam; see fake_v4l2.h.
#include "TestV4l2Fake.h"

#include <sys/eventfd.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vidorra::test {

namespace {

using devices::v4l2::NodeEvent;
using devices::v4l2::VideoNode;

constexpr uint32_t kJpegBytes = 1000;

void CopyName(__u8* to, size_t size, const std::string& from) {
  std::memset(to, 0, size);
  std::memcpy(to, from.data(), std::min(from.size(), size - 1));
}

int Error(int error) {
  errno = error;
  return -1;
}

void Signal(int fd, uint64_t count = 1) {
  [[maybe_unused]] const ssize_t written = ::write(fd, &count, sizeof count);
}

bool Consume(int fd) {
  uint64_t value = 0;
  return ::read(fd, &value, sizeof value) == sizeof value;
}

v4l2_pix_format PixFormat(uint32_t pixelFormat, uint32_t width, uint32_t height, uint32_t extra) {
  v4l2_pix_format pix{};
  pix.width = width;
  pix.height = height;
  pix.pixelformat = pixelFormat;
  pix.field = V4L2_FIELD_NONE;
  switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
      pix.bytesperline = width * 2 + extra;
      pix.sizeimage = pix.bytesperline * height;
      break;
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_RGB24:
      pix.bytesperline = width * 3 + extra;
      pix.sizeimage = pix.bytesperline * height;
      break;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
      pix.bytesperline = width + extra;
      pix.sizeimage = pix.bytesperline * height * 3 / 2;
      break;
    default:
      pix.sizeimage = width * height;
      break;
  }
  return pix;
}

const FakeFormat* FormatOf(const FakeNode& node, uint32_t pixelFormat) {
  for (const FakeFormat& format : node.formats) {
    if (format.pixelFormat == pixelFormat) return &format;
  }
  return nullptr;
}

FakeControl* ControlOf(FakeNode& node, uint32_t id) {
  for (FakeControl& control : node.controls) {
    if (control.query.id == id) return &control;
  }
  return nullptr;
}

}  // namespace

FakeControl IntegerControl(uint32_t id, const char* name, long min, long max, long step, long def) {
  FakeControl control;
  control.query.id = id;
  control.query.type = V4L2_CTRL_TYPE_INTEGER;
  CopyName(control.query.name, sizeof control.query.name, name);
  control.query.minimum = static_cast<__s32>(min);
  control.query.maximum = static_cast<__s32>(max);
  control.query.step = static_cast<__s32>(step);
  control.query.default_value = static_cast<__s32>(def);
  control.value = def;
  return control;
}

FakeControl BooleanControl(uint32_t id, const char* name, long def) {
  FakeControl control = IntegerControl(id, name, 0, 1, 1, def);
  control.query.type = V4L2_CTRL_TYPE_BOOLEAN;
  return control;
}

FakeControl MenuControl(uint32_t id, const char* name, std::vector<std::string> items, long def) {
  FakeControl control = IntegerControl(id, name, 0, static_cast<long>(items.size()) - 1, 1, def);
  control.query.type = V4L2_CTRL_TYPE_MENU;
  control.menu = std::move(items);
  return control;
}

FakeControl Integer64Control(uint32_t id, const char* name, int64_t min, int64_t max, int64_t def) {
  FakeControl control = IntegerControl(id, name, 0, 0, 0, 0);
  control.query.type = V4L2_CTRL_TYPE_INTEGER64;
  control.minimum64 = min;
  control.maximum64 = max;
  control.value = def;
  return control;
}

FakeControl StringControl(uint32_t id, const char* name, long maxLength, std::string text) {
  FakeControl control = IntegerControl(id, name, 0, maxLength, 1, 0);
  control.query.type = V4L2_CTRL_TYPE_STRING;
  control.text = std::move(text);
  return control;
}

v4l2_input Input(uint32_t index, const char* name, uint32_t type, uint32_t audioset) {
  v4l2_input input{};
  input.index = index;
  CopyName(input.name, sizeof input.name, name);
  input.type = type;
  input.audioset = audioset;
  return input;
}

v4l2_audio AudioInput(uint32_t index, const char* name) {
  v4l2_audio audio{};
  audio.index = index;
  CopyName(audio.name, sizeof audio.name, name);
  return audio;
}

class FakeV4l2::Monitor_ : public devices::v4l2::NodeMonitor {
 public:
  explicit Monitor_(FakeV4l2* fake)
      : fake_(fake), fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE)) {}
  ~Monitor_() override {
    std::lock_guard lock(fake_->mutex_);
    if (fake_->monitor_ == this) fake_->monitor_ = nullptr;
    ::close(fd_);
  }
  int Fd() override { return fd_; }
  std::optional<NodeEvent> Receive() override {
    std::lock_guard lock(fake_->mutex_);
    if (!Consume(fd_) || events_.empty()) return std::nullopt;
    NodeEvent event = events_.front();
    events_.pop_front();
    return event;
  }
  // Under the fake's mutex.
  void Push(NodeEvent event) {
    events_.push_back(std::move(event));
    Signal(fd_);
  }

 private:
  FakeV4l2* const fake_;
  const int fd_;
  std::deque<NodeEvent> events_;
};

FakeV4l2::~FakeV4l2() {
  for (const auto& [fd, node] : open_) ::close(fd);
}

// ---- The test's side ----

void FakeV4l2::Plug(FakeNode desc) {
  std::lock_guard lock(mutex_);
  auto node = std::make_unique<Node>();
  if (!desc.formats.empty()) {
    const FakeFormat& first = desc.formats[desc.currentFormat];
    node->format = PixFormat(first.pixelFormat, first.sizes.front().first,
                             first.sizes.front().second, desc.extraBytesPerLine);
    node->interval = first.intervals.front();
  }
  const std::string devnode = desc.devnode;
  node->desc = std::move(desc);
  nodes_.push_back(std::move(node));
  Notify(NodeEvent::Action::kAdded, devnode);
}

void FakeV4l2::Unplug(const std::string& devnode) {
  std::lock_guard lock(mutex_);
  for (auto& node : nodes_) {
    if (node->desc.devnode != devnode || !node->present) continue;
    node->present = false;
    // Everyone waiting on the node wakes to find it gone.
    for (const auto& [fd, open] : open_) {
      if (open == node.get()) Signal(fd, 1000);
    }
  }
  Notify(NodeEvent::Action::kRemoved, devnode);
}

void FakeV4l2::Notify(NodeEvent::Action action, const std::string& devnode) {
  if (monitor_) monitor_->Push({action, devnode});
}

FakeV4l2::Node* FakeV4l2::Find(const std::string& devnode) {
  for (auto& node : nodes_) {
    if (node->desc.devnode == devnode && node->present) return node.get();
  }
  return nullptr;
}

bool FakeV4l2::Capture(const std::string& devnode, uint32_t sequence, REFERENCE_TIME age,
                       bool error) {
  std::lock_guard lock(mutex_);
  Node* node = Find(devnode);
  if (!node || !node->streamOn || node->queued.empty()) return false;
  const uint32_t index = node->queued.front();
  node->queued.pop_front();
  std::vector<uint8_t>& bytes = node->buffers[index];
  const uint32_t used =
      node->format.pixelformat == V4L2_PIX_FMT_MJPEG ? kJpegBytes : node->format.sizeimage;
  for (size_t i = 0; i < used; ++i) bytes[i] = PictureByte(sequence, i);
  v4l2_buffer buffer{};
  buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  buffer.memory = V4L2_MEMORY_MMAP;
  buffer.index = index;
  buffer.bytesused = used;
  buffer.sequence = sequence;
  buffer.flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | (error ? V4L2_BUF_FLAG_ERROR : 0);
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const int64_t micros = now.tv_sec * 1'000'000LL + now.tv_nsec / 1000 - age / 10;
  buffer.timestamp.tv_sec = micros / 1'000'000;
  buffer.timestamp.tv_usec = micros % 1'000'000;
  node->filled.push_back(buffer);
  Signal(node->streamFd);
  return true;
}

template <class T, class Reader>
T FakeV4l2::Read(const std::string& devnode, T otherwise, Reader read) {
  std::lock_guard lock(mutex_);
  Node* node = Find(devnode);
  return node ? read(*node) : otherwise;
}

bool FakeV4l2::Streaming(const std::string& devnode) {
  return Read(devnode, false, [](Node& node) { return node.streamOn; });
}

v4l2_pix_format FakeV4l2::Format(const std::string& devnode) {
  return Read(devnode, v4l2_pix_format{}, [](Node& node) { return node.format; });
}

v4l2_fract FakeV4l2::Interval(const std::string& devnode) {
  return Read(devnode, v4l2_fract{}, [](Node& node) { return node.interval; });
}

long FakeV4l2::ControlValue(const std::string& devnode, uint32_t id) {
  return Read(devnode, -1L, [id](Node& node) {
    const FakeControl* control = ControlOf(node.desc, id);
    return control ? control->value : -1L;
  });
}

std::string FakeV4l2::ControlText(const std::string& devnode, uint32_t id) {
  return Read(devnode, std::string(), [id](Node& node) {
    const FakeControl* control = ControlOf(node.desc, id);
    return control ? control->text : std::string();
  });
}

uint32_t FakeV4l2::CurrentInput(const std::string& devnode) {
  return Read(devnode, 0u, [](Node& node) { return node.input; });
}

uint32_t FakeV4l2::CurrentAudio(const std::string& devnode) {
  return Read(devnode, 0u, [](Node& node) { return node.audio; });
}

uint32_t FakeV4l2::Frequency(const std::string& devnode) {
  return Read(devnode, 0u, [](Node& node) { return node.frequency; });
}

v4l2_std_id FakeV4l2::Standard(const std::string& devnode) {
  return Read(devnode, v4l2_std_id{0}, [](Node& node) { return node.standard; });
}

uint32_t FakeV4l2::AudioMode(const std::string& devnode) {
  return Read(devnode, 0u, [](Node& node) { return node.audmode; });
}

// ---- NodeSource ----

std::vector<VideoNode> FakeV4l2::Nodes() {
  std::lock_guard lock(mutex_);
  std::vector<VideoNode> nodes;
  for (const auto& node : nodes_) {
    if (node->present) nodes.push_back({node->desc.devnode, node->desc.links});
  }
  return nodes;
}

std::unique_ptr<devices::v4l2::NodeMonitor> FakeV4l2::Monitor() {
  auto monitor = std::make_unique<Monitor_>(this);
  std::lock_guard lock(mutex_);
  monitor_ = monitor.get();
  return monitor;
}

// ---- V4l2Calls ----

int FakeV4l2::Open(const std::string& path, int) {
  std::lock_guard lock(mutex_);
  Node* node = Find(path);
  if (!node) return Error(ENOENT);
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
  open_[fd] = node;
  return fd;
}

int FakeV4l2::Close(int fd) {
  std::lock_guard lock(mutex_);
  const auto it = open_.find(fd);
  if (it == open_.end()) return Error(EBADF);
  Node* node = it->second;
  if (node->streamFd == fd) {
    node->streamFd = -1;
    node->streamOn = false;
    node->buffers.clear();
    node->queued.clear();
    node->filled.clear();
  }
  open_.erase(it);
  return ::close(fd);
}

FakeV4l2::Node* FakeV4l2::NodeOf(int fd) {
  const auto it = open_.find(fd);
  return it == open_.end() ? nullptr : it->second;
}

int FakeV4l2::Ioctl(int fd, unsigned long request, void* arg) {
  std::lock_guard lock(mutex_);
  Node* node = NodeOf(fd);
  if (!node) return Error(EBADF);
  if (!node->present) return Error(ENODEV);
  return Handle(*node, fd, request, arg);
}

int FakeV4l2::Handle(Node& node, int fd, unsigned long request, void* arg) {
  const FakeNode& desc = node.desc;
  switch (request) {
    case VIDIOC_QUERYCAP: {
      auto* caps = static_cast<v4l2_capability*>(arg);
      *caps = {};
      CopyName(caps->driver, sizeof caps->driver, "fake");
      CopyName(caps->card, sizeof caps->card, desc.card);
      CopyName(caps->bus_info, sizeof caps->bus_info, desc.busInfo);
      caps->device_caps = desc.deviceCaps;
      caps->capabilities = desc.deviceCaps | V4L2_CAP_DEVICE_CAPS;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto* description = static_cast<v4l2_fmtdesc*>(arg);
      if (description->index >= desc.formats.size()) return Error(EINVAL);
      description->pixelformat = desc.formats[description->index].pixelFormat;
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto* size = static_cast<v4l2_frmsizeenum*>(arg);
      const FakeFormat* format = FormatOf(desc, size->pixel_format);
      if (!format || size->index >= format->sizes.size()) return Error(EINVAL);
      size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
      size->discrete = {format->sizes[size->index].first, format->sizes[size->index].second};
      return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
      auto* interval = static_cast<v4l2_frmivalenum*>(arg);
      const FakeFormat* format = FormatOf(desc, interval->pixel_format);
      if (!format || interval->index >= format->intervals.size()) return Error(EINVAL);
      interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
      interval->discrete = format->intervals[interval->index];
      return 0;
    }
    case VIDIOC_G_FMT:
      static_cast<v4l2_format*>(arg)->fmt.pix = node.format;
      return 0;
    case VIDIOC_S_FMT: {
      if (node.streamOn) return Error(EBUSY);
      auto* format = static_cast<v4l2_format*>(arg);
      const v4l2_pix_format want = format->fmt.pix;
      if (!FormatOf(desc, want.pixelformat)) return Error(EINVAL);
      node.format = PixFormat(want.pixelformat, want.width, want.height, desc.extraBytesPerLine);
      format->fmt.pix = node.format;
      return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
      auto* parm = static_cast<v4l2_streamparm*>(arg);
      if (request == VIDIOC_S_PARM) node.interval = parm->parm.capture.timeperframe;
      parm->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
      parm->parm.capture.timeperframe = node.interval;
      return 0;
    }
    case VIDIOC_REQBUFS: {
      auto* request = static_cast<v4l2_requestbuffers*>(arg);
      if (node.streamOn) return Error(EBUSY);
      node.buffers.assign(request->count, std::vector<uint8_t>(node.format.sizeimage));
      node.queued.clear();
      node.filled.clear();
      node.streamFd = request->count ? fd : -1;
      return 0;
    }
    case VIDIOC_QUERYBUF: {
      auto* buffer = static_cast<v4l2_buffer*>(arg);
      if (buffer->index >= node.buffers.size()) return Error(EINVAL);
      buffer->length = static_cast<__u32>(node.buffers[buffer->index].size());
      buffer->m.offset = buffer->index * buffer->length;
      return 0;
    }
    case VIDIOC_QBUF: {
      auto* buffer = static_cast<v4l2_buffer*>(arg);
      if (buffer->index >= node.buffers.size()) return Error(EINVAL);
      node.queued.push_back(buffer->index);
      return 0;
    }
    case VIDIOC_DQBUF: {
      if (node.filled.empty()) return Error(EAGAIN);
      lastDequeue_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
      Consume(fd);
      *static_cast<v4l2_buffer*>(arg) = node.filled.front();
      node.filled.pop_front();
      return 0;
    }
    case VIDIOC_STREAMON:
      node.streamOn = true;
      return 0;
    case VIDIOC_STREAMOFF:
      node.streamOn = false;
      for (const v4l2_buffer& done : node.filled) node.queued.push_back(done.index);
      node.filled.clear();
      return 0;
    case VIDIOC_QUERYCTRL: {
      auto* query = static_cast<v4l2_queryctrl*>(arg);
      const bool next = query->id & V4L2_CTRL_FLAG_NEXT_CTRL;
      const uint32_t id = query->id & ~V4L2_CTRL_FLAG_NEXT_CTRL;
      const FakeControl* found = nullptr;
      for (const FakeControl& control : desc.controls) {
        if (next ? control.query.id > id && (!found || control.query.id < found->query.id)
                 : control.query.id == id) {
          found = &control;
        }
      }
      if (!found) return Error(EINVAL);
      *query = found->query;
      return 0;
    }
    case VIDIOC_QUERYMENU: {
      auto* item = static_cast<v4l2_querymenu*>(arg);
      const FakeControl* control = ControlOf(node.desc, item->id);
      const long at = control ? static_cast<long>(item->index) - control->query.minimum : -1;
      if (at < 0 || at >= static_cast<long>(control->menu.size())) return Error(EINVAL);
      CopyName(item->name, sizeof item->name, control->menu[static_cast<size_t>(at)]);
      return 0;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
      auto* value = static_cast<v4l2_control*>(arg);
      FakeControl* control = ControlOf(node.desc, value->id);
      // As the kernel's: only the 32-bit kinds go through the plain calls.
      if (!control || control->query.type == V4L2_CTRL_TYPE_INTEGER64 ||
          control->query.type == V4L2_CTRL_TYPE_STRING) {
        return Error(EINVAL);
      }
      if (request == VIDIOC_G_CTRL) {
        value->value = static_cast<__s32>(control->value);
        return 0;
      }
      if (control->failWith) return Error(control->failWith);
      if (value->value < control->query.minimum || value->value > control->query.maximum) {
        return Error(ERANGE);
      }
      control->value = value->value;
      return 0;
    }
    case VIDIOC_QUERY_EXT_CTRL: {
      auto* query = static_cast<v4l2_query_ext_ctrl*>(arg);
      const FakeControl* control = ControlOf(node.desc, query->id);
      if (!control) return Error(EINVAL);
      const bool wide = control->query.type == V4L2_CTRL_TYPE_INTEGER64;
      *query = v4l2_query_ext_ctrl{};
      query->id = control->query.id;
      query->type = control->query.type;
      std::memcpy(query->name, control->query.name, sizeof query->name);
      query->minimum = wide ? control->minimum64 : control->query.minimum;
      query->maximum = wide ? control->maximum64 : control->query.maximum;
      query->step = wide ? 1 : static_cast<__u64>(control->query.step);
      query->default_value = wide ? control->value : control->query.default_value;
      query->flags = control->query.flags;
      query->elems = 1;
      return 0;
    }
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS: {
      auto* list = static_cast<v4l2_ext_controls*>(arg);
      for (uint32_t i = 0; i < list->count; ++i) {
        v4l2_ext_control& asked = list->controls[i];
        FakeControl* found = ControlOf(node.desc, asked.id);
        if (!found) return Error(EINVAL);
        const bool text = found->query.type == V4L2_CTRL_TYPE_STRING;
        if (request == VIDIOC_G_EXT_CTRLS) {
          if (!text) {
            asked.value64 = found->value;
          } else if (asked.size < found->text.size() + 1) {
            asked.size = static_cast<__u32>(found->text.size() + 1);
            return Error(ENOSPC);
          } else {
            std::memcpy(asked.string, found->text.c_str(), found->text.size() + 1);
          }
          continue;
        }
        if (found->failWith) return Error(found->failWith);
        if (text) {
          const std::string value(asked.string, strnlen(asked.string, asked.size));
          if (static_cast<long>(value.size()) > found->query.maximum) return Error(ERANGE);
          found->text = value;
        } else {
          if (asked.value64 < found->minimum64 || asked.value64 > found->maximum64) {
            return Error(ERANGE);
          }
          found->value = asked.value64;
        }
      }
      return 0;
    }
    case VIDIOC_ENUMINPUT: {
      auto* input = static_cast<v4l2_input*>(arg);
      if (input->index >= desc.inputs.size()) return Error(EINVAL);
      *input = desc.inputs[input->index];
      return 0;
    }
    case VIDIOC_ENUMAUDIO: {
      auto* audio = static_cast<v4l2_audio*>(arg);
      if (audio->index >= desc.audios.size()) return Error(EINVAL);
      *audio = desc.audios[audio->index];
      return 0;
    }
    case VIDIOC_G_INPUT:
      *static_cast<int*>(arg) = static_cast<int>(node.input);
      return 0;
    case VIDIOC_S_INPUT: {
      const int index = *static_cast<int*>(arg);
      if (index < 0 || static_cast<size_t>(index) >= desc.inputs.size()) return Error(EINVAL);
      node.input = static_cast<uint32_t>(index);
      return 0;
    }
    case VIDIOC_G_AUDIO:
      *static_cast<v4l2_audio*>(arg) = desc.audios.empty() ? v4l2_audio{} : desc.audios[node.audio];
      return desc.audios.empty() ? Error(EINVAL) : 0;
    case VIDIOC_S_AUDIO: {
      const auto* audio = static_cast<v4l2_audio*>(arg);
      if (audio->index >= desc.audios.size()) return Error(EINVAL);
      node.audio = audio->index;
      return 0;
    }
    case VIDIOC_G_TUNER: {
      auto* tuner = static_cast<v4l2_tuner*>(arg);
      if (tuner->index != 0 || desc.inputs.empty()) return Error(EINVAL);
      tuner->type = V4L2_TUNER_ANALOG_TV;
      tuner->capability = desc.tunerCapability;
      tuner->signal = desc.signal;
      tuner->rxsubchans = desc.rxsubchans;
      tuner->audmode = node.audmode;
      return 0;
    }
    case VIDIOC_S_TUNER: {
      const auto* tuner = static_cast<v4l2_tuner*>(arg);
      if (tuner->index != 0 || desc.inputs.empty()) return Error(EINVAL);
      node.audmode = tuner->audmode;
      return 0;
    }
    case VIDIOC_S_FREQUENCY: {
      const auto* frequency = static_cast<v4l2_frequency*>(arg);
      if (frequency->tuner != 0) return Error(EINVAL);
      node.frequency = frequency->frequency;
      return 0;
    }
    case VIDIOC_S_STD:
      node.standard = *static_cast<v4l2_std_id*>(arg);
      return 0;
    case VIDIOC_G_STD:
      *static_cast<v4l2_std_id*>(arg) = node.standard;
      return 0;
    default:
      return Error(ENOTTY);
  }
}

void* FakeV4l2::Mmap(size_t length, int fd, int64_t offset) {
  std::lock_guard lock(mutex_);
  Node* node = NodeOf(fd);
  if (!node || !node->present || node->buffers.empty()) {
    errno = ENODEV;
    return MAP_FAILED;
  }
  const size_t index = static_cast<size_t>(offset) / node->buffers.front().size();
  if (index >= node->buffers.size() || node->buffers[index].size() != length) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  return node->buffers[index].data();
}

int FakeV4l2::Munmap(void*, size_t) { return 0; }

int FakeV4l2::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  ++polling_;
  const int ready = ::poll(fds, count, timeoutMs);
  --polling_;
  return ready;
}

}  // namespace vidorra::test
