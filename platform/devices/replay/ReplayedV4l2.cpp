// The kernel of replayed V4L2 devices; see ReplayedV4l2.h.
#include "ReplayedV4l2.h"

#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <limits>
#include <set>

#include "PixelFormatConverter.h"
#include "V4l2PatternFrames.h"

namespace vidorra::devices::replay {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kMaxBuffers = 32;
constexpr uint32_t kOffsetStride = 4096;  // the mmap offset of buffer i: i pages
// Frames a stream that was not read for long still looks through for queued buffers.
constexpr uint64_t kMaxCatchUp = 64;

int Fail(int error) {
  errno = error;
  return -1;
}

// Into a fixed-size name field (packed ones too), always terminated.
void CopyText(void* to, size_t size, const std::string& from) {
  std::memset(to, 0, size);
  std::memcpy(to, from.data(), std::min(from.size(), size - 1));
}

std::string TextOf(const __u8* bytes, size_t size) {
  return std::string(reinterpret_cast<const char*>(bytes),
                     strnlen(reinterpret_cast<const char*>(bytes), size));
}

double Seconds(const v4l2_fract& f) {
  return f.denominator ? static_cast<double>(f.numerator) / f.denominator : 0;
}

bool Contains(const DescribedSize& size, uint32_t width, uint32_t height) {
  if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) return size.width == width && size.height == height;
  return width >= size.width && width <= size.maxWidth && height >= size.height &&
         height <= size.maxHeight && (width - size.width) % size.stepWidth == 0 &&
         (height - size.height) % size.stepHeight == 0;
}

struct Buffer {
  enum class State { kWithUser, kQueued, kDone };
  std::shared_ptr<std::vector<uint8_t>> bytes;
  State state = State::kWithUser;
  Clock::time_point queuedAt;
  uint64_t sequence = 0;
  Clock::time_point capturedAt;
};

}  // namespace

struct ReplayedV4l2::Device {
  Device(V4l2Description d, std::vector<std::string> l)
      : description(std::move(d)), links(std::move(l)), plugged(Clock::now()) {
    const v4l2_pix_format& current = description.format.value_or(v4l2_pix_format{});
    format = DriverFormat(current.pixelformat, current.width, current.height,
                          current.field ? current.field : uint32_t{V4L2_FIELD_NONE});
    interval = description.interval.value_or(v4l2_fract{1, 30});
    input = description.input.value_or(0);
    audio = description.audioInput.value_or(0);
    standard = description.standard.value_or(0);
    controls = description.controls;
    std::sort(controls.begin(), controls.end(),
              [](const DescribedControl& a, const DescribedControl& b) { return a.id < b.id; });
  }

  const V4l2Description description;
  const std::vector<std::string> links;
  const Clock::time_point plugged;
  bool present = true;
  std::set<int> fds;

  v4l2_pix_format format{};
  v4l2_fract interval{1, 30};
  uint32_t input = 0;
  uint32_t audio = 0;
  v4l2_std_id standard = 0;
  std::vector<DescribedControl> controls;  // by id
  std::map<uint32_t, uint32_t> frequencies;
  std::map<uint32_t, uint32_t> audioModes;

  // Streaming.
  int owner = -1;
  bool streaming = false;
  std::vector<Buffer> buffers;
  std::deque<uint32_t> queued;
  std::deque<uint32_t> done;
  uint64_t nextFrame = 0;
  std::shared_ptr<V4l2PatternFrames> frames;

  // ---- The frame clock ----

  Clock::time_point FrameTime(uint64_t frame) const {
    const auto ns = static_cast<unsigned __int128>(frame) * interval.numerator * 1'000'000'000u /
                    std::max<uint32_t>(interval.denominator, 1);
    return plugged + std::chrono::nanoseconds(static_cast<int64_t>(ns));
  }

  // The last frame captured at or before `t`.
  uint64_t FrameAt(Clock::time_point t) const {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t - plugged).count();
    if (ns <= 0 || interval.numerator == 0) return 0;
    return static_cast<uint64_t>(static_cast<unsigned __int128>(ns) * interval.denominator /
                                 (static_cast<unsigned __int128>(interval.numerator) * 1'000'000'000u));
  }

  // Fills queued buffers with the frames captured up to now; frames that find none are lost.
  void Capture(Clock::time_point now) {
    if (!streaming || !frames) return;
    const uint64_t latest = FrameAt(now);
    if (latest < nextFrame) return;
    if (latest - nextFrame > kMaxCatchUp) nextFrame = latest - kMaxCatchUp;
    for (uint64_t frame = nextFrame; frame <= latest; ++frame) {
      const Clock::time_point at = FrameTime(frame);
      if (queued.empty() || buffers[queued.front()].queuedAt > at) continue;
      Buffer& buffer = buffers[queued.front()];
      queued.pop_front();
      buffer.state = Buffer::State::kDone;
      buffer.sequence = static_cast<uint32_t>(frame);
      buffer.capturedAt = at;
      done.push_back(static_cast<uint32_t>(&buffer - buffers.data()));
    }
    nextFrame = latest + 1;
  }

  // When the next frame that has a buffer waiting for it arrives.
  std::optional<Clock::time_point> NextDue() const {
    if (!streaming || !frames || queued.empty()) return std::nullopt;
    return FrameTime(nextFrame);
  }

  void StopStreaming() {
    streaming = false;
    queued.clear();
    done.clear();
    for (Buffer& buffer : buffers) buffer.state = Buffer::State::kWithUser;
    frames.reset();
  }

  void FreeBuffers() {
    StopStreaming();
    buffers.clear();
    owner = -1;
  }

  // ---- Formats ----

  const DescribedFormat* FormatOf(uint32_t fourcc) const {
    for (const DescribedFormat& f : description.formats) {
      if (f.fourcc == fourcc) return &f;
    }
    return nullptr;
  }

  const DescribedSize* SizeOf(uint32_t fourcc, uint32_t width, uint32_t height) const {
    const DescribedFormat* f = FormatOf(fourcc);
    if (!f) return nullptr;
    for (const DescribedSize& size : f->sizes) {
      if (Contains(size, width, height)) return &size;
    }
    return nullptr;
  }

  // What the driver makes of a requested format: a fourcc it has, the nearest size.
  v4l2_pix_format Adjust(const v4l2_pix_format& request) const {
    const DescribedFormat* f = FormatOf(request.pixelformat);
    if (!f) f = description.formats.empty() ? nullptr : &description.formats.front();
    if (!f || f->sizes.empty()) return format;
    uint32_t width = f->sizes.front().width;
    uint32_t height = f->sizes.front().height;
    uint64_t best = std::numeric_limits<uint64_t>::max();
    for (const DescribedSize& size : f->sizes) {
      uint32_t w = size.width;
      uint32_t h = size.height;
      if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) {
        w = std::clamp(request.width, size.width, size.maxWidth);
        h = std::clamp(request.height, size.height, size.maxHeight);
        w -= (w - size.width) % size.stepWidth;
        h -= (h - size.height) % size.stepHeight;
      }
      const int64_t dw = static_cast<int64_t>(w) - request.width;
      const int64_t dh = static_cast<int64_t>(h) - request.height;
      const auto distance = static_cast<uint64_t>(dw * dw + dh * dh);
      if (distance < best) {
        best = distance;
        width = w;
        height = h;
      }
    }
    uint32_t field = V4L2_FIELD_NONE;
    if (description.format && description.format->field != V4L2_FIELD_ANY) {
      field = description.format->field;
    }
    return DriverFormat(f->fourcc, width, height, field);
  }

  // The interval nearest to `want` that the format in use has at its size.
  v4l2_fract NearestInterval(v4l2_fract want) const {
    const DescribedSize* size = SizeOf(format.pixelformat, format.width, format.height);
    if (!size) return interval;
    if (size->intervalType != V4L2_FRMIVAL_TYPE_DISCRETE) {
      const double seconds = std::clamp(Seconds(want), Seconds(size->fastest), Seconds(size->slowest));
      if (seconds <= Seconds(size->fastest)) return size->fastest;
      if (seconds >= Seconds(size->slowest)) return size->slowest;
      return want;
    }
    if (size->intervals.empty()) return interval;
    v4l2_fract nearest = size->intervals.front();
    for (const v4l2_fract& f : size->intervals) {
      if (std::abs(Seconds(f) - Seconds(want)) < std::abs(Seconds(nearest) - Seconds(want))) {
        nearest = f;
      }
    }
    return nearest;
  }

  // ---- Controls ----

  DescribedControl* Control(uint32_t id) {
    for (DescribedControl& c : controls) {
      if (c.id == id) return &c;
    }
    return nullptr;
  }

  // The control asked for, or with NEXT_CTRL the first after it.
  DescribedControl* Query(uint32_t id) {
    const uint32_t next = V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;
    if (!(id & next)) return Control(id);
    const uint32_t after = id & ~next;
    for (DescribedControl& c : controls) {
      if (c.id > after) return &c;
    }
    return nullptr;
  }

  // Checks and rounds a new value as the control framework does; 0 or an errno.
  static int Validate(const DescribedControl& c, int64_t* value) {
    if (c.flags & V4L2_CTRL_FLAG_READ_ONLY) return EACCES;
    switch (c.type) {
      case V4L2_CTRL_TYPE_BUTTON:
        return 0;
      case V4L2_CTRL_TYPE_MENU:
      case V4L2_CTRL_TYPE_INTEGER_MENU:
        if (*value < c.minimum || *value > c.maximum) return ERANGE;
        if (!c.menu.empty() &&
            std::none_of(c.menu.begin(), c.menu.end(),
                         [&](const DescribedMenuItem& m) { return m.index == *value; })) {
          return EINVAL;
        }
        return 0;
      case V4L2_CTRL_TYPE_BITMASK:
        return (static_cast<uint64_t>(*value) & ~static_cast<uint64_t>(c.maximum)) ? ERANGE : 0;
      case V4L2_CTRL_TYPE_STRING:
        return EINVAL;
      default: {
        const int64_t step = c.step > 0 ? static_cast<int64_t>(c.step) : 1;
        int64_t v = std::clamp(*value, c.minimum, c.maximum);
        v = c.minimum + (v - c.minimum + step / 2) / step * step;
        *value = std::min(v, c.maximum);
        return 0;
      }
    }
  }

  // ---- What the frames show ----

  sim::PatternScene Scene(uint64_t frame) const {
    sim::PatternScene scene;
    scene.frameNumber = frame;
    scene.title = description.card;
    if (input < description.inputs.size()) {
      const v4l2_input& in = description.inputs[input];
      const std::string name = TextOf(in.name, sizeof in.name);
      std::string lower = name;
      std::transform(lower.begin(), lower.end(), lower.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      const bool svideo = lower.find("s-video") != std::string::npos ||
                          lower.find("svideo") != std::string::npos;
      scene.source = in.type == V4L2_INPUT_TYPE_TUNER                ? sim::PatternSource::kTuner
                     : svideo                                         ? sim::PatternSource::kSVideo
                     : lower.find("composite") != std::string::npos ? sim::PatternSource::kComposite
                                                                     : sim::PatternSource::kCamera;
      scene.caption = name;
    }
    for (const v4l2_standard& s : description.standards) {
      if (standard && (s.id & standard) == standard) {
        scene.caption += " " + TextOf(s.name, sizeof s.name);
        break;
      }
    }
    return scene;
  }
};

// Hears plugs and unplugs: readable while an event waits.
class ReplayedV4l2::PlugMonitor : public v4l2::NodeMonitor {
 public:
  explicit PlugMonitor(ReplayedV4l2* kernel)
      : kernel_(kernel), fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE)) {}
  ~PlugMonitor() override {
    {
      std::lock_guard lock(kernel_->mutex_);
      std::erase(kernel_->monitors_, this);
    }
    ::close(fd_);
  }
  int Fd() override { return fd_; }
  std::optional<v4l2::NodeEvent> Receive() override {
    std::lock_guard lock(kernel_->mutex_);
    uint64_t one = 0;
    if (::read(fd_, &one, sizeof one) != sizeof one || events_.empty()) return std::nullopt;
    v4l2::NodeEvent event = events_.front();
    events_.pop_front();
    return event;
  }
  // Under the kernel's mutex.
  void Push(v4l2::NodeEvent event) {
    events_.push_back(std::move(event));
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
  }

 private:
  ReplayedV4l2* const kernel_;
  const int fd_;
  std::deque<v4l2::NodeEvent> events_;
};

ReplayedV4l2::~ReplayedV4l2() {
  for (const auto& [fd, device] : open_) ::close(fd);
}

void ReplayedV4l2::Tell(v4l2::NodeEvent::Action action, const std::string& node) {
  for (PlugMonitor* monitor : monitors_) monitor->Push({action, node});
}

void ReplayedV4l2::Plug(const std::string& node, V4l2Description description,
                        std::vector<std::string> links) {
  auto device = std::make_shared<Device>(std::move(description), std::move(links));
  std::lock_guard lock(mutex_);
  devices_[node] = std::move(device);
  Tell(v4l2::NodeEvent::Action::kAdded, node);
}

std::vector<v4l2::VideoNode> ReplayedV4l2::Nodes() {
  std::lock_guard lock(mutex_);
  std::vector<v4l2::VideoNode> nodes;
  for (const auto& [node, device] : devices_) nodes.push_back({node, device->links});
  return nodes;
}

std::unique_ptr<v4l2::NodeMonitor> ReplayedV4l2::Monitor() {
  auto monitor = std::make_unique<PlugMonitor>(this);
  std::lock_guard lock(mutex_);
  monitors_.push_back(monitor.get());
  return monitor;
}

void ReplayedV4l2::Unplug(const std::string& node) {
  std::lock_guard lock(mutex_);
  const auto it = devices_.find(node);
  if (it == devices_.end()) return;
  Device& device = *it->second;
  device.present = false;
  // No frame comes any more; the buffers stay mapped until their descriptor closes, as a
  // driver's do (a streaming thread may be reading one).
  device.StopStreaming();
  Tell(v4l2::NodeEvent::Action::kRemoved, node);
  // Every poll on the device wakes to find it gone.
  for (int fd : device.fds) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
  }
  devices_.erase(it);
}

bool ReplayedV4l2::Present(const std::string& node) {
  std::lock_guard lock(mutex_);
  return devices_.contains(node);
}

std::shared_ptr<ReplayedV4l2::Device> ReplayedV4l2::DeviceOf(int fd) {
  const auto it = open_.find(fd);
  return it == open_.end() ? nullptr : it->second;
}

int ReplayedV4l2::Open(const std::string& path, int /*flags*/) {
  std::lock_guard lock(mutex_);
  const auto it = devices_.find(path);
  if (it == devices_.end()) return Fail(ENOENT);
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return -1;
  open_[fd] = it->second;
  it->second->fds.insert(fd);
  return fd;
}

int ReplayedV4l2::Close(int fd) {
  std::lock_guard lock(mutex_);
  const auto device = DeviceOf(fd);
  if (!device) return Fail(EBADF);
  if (device->owner == fd) device->FreeBuffers();
  device->fds.erase(fd);
  open_.erase(fd);
  return ::close(fd);
}

void* ReplayedV4l2::Mmap(size_t length, int fd, int64_t offset) {
  std::lock_guard lock(mutex_);
  const auto device = DeviceOf(fd);
  if (!device) {
    errno = EBADF;
    return MAP_FAILED;
  }
  const auto index = static_cast<size_t>(offset / kOffsetStride);
  if (!device->present) {
    errno = ENODEV;
    return MAP_FAILED;
  }
  if (offset % kOffsetStride != 0 || index >= device->buffers.size() ||
      length > device->buffers[index].bytes->size()) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  return device->buffers[index].bytes->data();
}

int ReplayedV4l2::Munmap(void* /*start*/, size_t /*length*/) {
  return 0;  // the buffers live until REQBUFS frees them or the descriptor closes
}

int ReplayedV4l2::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  const Clock::time_point end = timeoutMs < 0 ? Clock::time_point::max()
                                              : Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<bool> ours(count);
  for (;;) {
    int ready = 0;
    std::optional<Clock::time_point> due;
    {
      std::lock_guard lock(mutex_);
      const Clock::time_point now = Clock::now();
      for (nfds_t i = 0; i < count; ++i) {
        const auto device = DeviceOf(fds[i].fd);
        ours[i] = device != nullptr;
        if (!device) continue;
        fds[i].revents = 0;
        if (!device->present) {
          fds[i].revents = POLLERR | POLLHUP;
        } else if (device->owner == fds[i].fd) {
          device->Capture(now);
          if (!device->done.empty()) fds[i].revents = fds[i].events & (POLLIN | POLLRDNORM);
          const auto next = device->NextDue();
          if (next && (!due || *next < *due)) due = next;
        }
        if (fds[i].revents) ++ready;
      }
    }
    // The other descriptors (and an unplug's wake-up of ours), waited for until a frame is due.
    Clock::time_point until = ready > 0 ? Clock::now() : std::min(end, due.value_or(end));
    const auto wait = std::max(Clock::duration::zero(), until - Clock::now());
    std::vector<pollfd> others(fds, fds + count);
    for (nfds_t i = 0; i < count; ++i) {
      if (ours[i]) others[i].events = POLLIN;  // readable only once unplugged
    }
    int result = 0;
    if (until == Clock::time_point::max()) {
      result = ::ppoll(others.data(), count, nullptr, nullptr);
    } else {
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
      const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
      result = ::ppoll(others.data(), count, &timeout, nullptr);
    }
    if (result < 0) return -1;
    bool woken = false;
    for (nfds_t i = 0; i < count; ++i) {
      if (ours[i]) {
        woken = woken || (others[i].revents & POLLIN);
        continue;
      }
      fds[i].revents = others[i].revents;
      if (fds[i].revents) ++ready;
    }
    if (ready > 0) return ready;
    if (!woken && Clock::now() >= end) return 0;
  }
}

int ReplayedV4l2::Ioctl(int fd, unsigned long request, void* arg) {
  std::unique_lock lock(mutex_);
  const auto device = DeviceOf(fd);
  if (!device) return Fail(EBADF);
  if (!device->present) return Fail(ENODEV);
  if (!arg) return Fail(EFAULT);
  Device& d = *device;
  const V4l2Description& desc = d.description;
  switch (request) {
    case VIDIOC_QUERYCAP: {
      auto* caps = static_cast<v4l2_capability*>(arg);
      *caps = {};
      CopyText(caps->driver, sizeof caps->driver, desc.driver);
      CopyText(caps->card, sizeof caps->card, desc.card);
      CopyText(caps->bus_info, sizeof caps->bus_info, desc.busInfo);
      caps->version = desc.version;
      caps->capabilities = desc.capabilities;
      caps->device_caps = desc.deviceCaps;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto* e = static_cast<v4l2_fmtdesc*>(arg);
      if (e->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || e->index >= desc.formats.size()) {
        return Fail(EINVAL);
      }
      const DescribedFormat& f = desc.formats[e->index];
      const uint32_t index = e->index;
      *e = {};
      e->index = index;
      e->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      e->pixelformat = f.fourcc;
      e->flags = f.flags;
      const char code[5] = {static_cast<char>(f.fourcc & 0xFF), static_cast<char>((f.fourcc >> 8) & 0xFF),
                            static_cast<char>((f.fourcc >> 16) & 0xFF),
                            static_cast<char>((f.fourcc >> 24) & 0xFF), '\0'};
      CopyText(e->description, sizeof e->description, f.name.empty() ? std::string(code) : f.name);
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto* e = static_cast<v4l2_frmsizeenum*>(arg);
      const DescribedFormat* f = d.FormatOf(e->pixel_format);
      if (!f || e->index >= f->sizes.size()) return Fail(EINVAL);
      const DescribedSize& size = f->sizes[e->index];
      if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) {
        if (e->index != 0) return Fail(EINVAL);
        e->type = size.type;
        e->stepwise = {size.width, size.maxWidth, size.stepWidth,
                       size.height, size.maxHeight, size.stepHeight};
        return 0;
      }
      e->type = V4L2_FRMSIZE_TYPE_DISCRETE;
      e->discrete = {size.width, size.height};
      return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
      auto* e = static_cast<v4l2_frmivalenum*>(arg);
      const DescribedSize* size = d.SizeOf(e->pixel_format, e->width, e->height);
      if (!size) return Fail(EINVAL);
      if (size->intervalType != V4L2_FRMIVAL_TYPE_DISCRETE) {
        if (e->index != 0) return Fail(EINVAL);
        e->type = size->intervalType;
        e->stepwise = {size->fastest, size->slowest, size->intervalStep};
        return 0;
      }
      if (e->index >= size->intervals.size()) return Fail(EINVAL);
      e->type = V4L2_FRMIVAL_TYPE_DISCRETE;
      e->discrete = size->intervals[e->index];
      return 0;
    }
    case VIDIOC_G_FMT: {
      auto* f = static_cast<v4l2_format*>(arg);
      if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return Fail(EINVAL);
      if (desc.formats.empty()) return Fail(EINVAL);
      f->fmt.pix = d.format;
      return 0;
    }
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT: {
      auto* f = static_cast<v4l2_format*>(arg);
      if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || desc.formats.empty()) return Fail(EINVAL);
      const v4l2_pix_format adjusted = d.Adjust(f->fmt.pix);
      if (request == VIDIOC_S_FMT) {
        const bool change = adjusted.pixelformat != d.format.pixelformat ||
                            adjusted.width != d.format.width || adjusted.height != d.format.height;
        if (change && !d.buffers.empty()) return Fail(EBUSY);
        d.format = adjusted;
        d.interval = d.NearestInterval(d.interval);
      }
      f->fmt.pix = adjusted;
      return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
      auto* p = static_cast<v4l2_streamparm*>(arg);
      if (p->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return Fail(EINVAL);
      if (request == VIDIOC_S_PARM && desc.timePerFrame) {
        const v4l2_fract want = p->parm.capture.timeperframe;
        if (want.numerator && want.denominator) d.interval = d.NearestInterval(want);
      }
      p->parm.capture = {};
      p->parm.capture.capability = desc.timePerFrame ? V4L2_CAP_TIMEPERFRAME : 0;
      p->parm.capture.timeperframe = d.interval;
      p->parm.capture.readbuffers = 2;
      return 0;
    }
    case VIDIOC_ENUMINPUT: {
      auto* in = static_cast<v4l2_input*>(arg);
      if (in->index >= desc.inputs.size()) return Fail(EINVAL);
      *in = desc.inputs[in->index];
      in->status = 0;
      return 0;
    }
    case VIDIOC_G_INPUT:
      *static_cast<int*>(arg) = static_cast<int>(d.input);
      return 0;
    case VIDIOC_S_INPUT: {
      const int index = *static_cast<int*>(arg);
      if (index < 0 || static_cast<size_t>(index) >= desc.inputs.size()) return Fail(EINVAL);
      d.input = static_cast<uint32_t>(index);
      return 0;
    }
    case VIDIOC_ENUMAUDIO: {
      auto* a = static_cast<v4l2_audio*>(arg);
      if (a->index >= desc.audioInputs.size()) return Fail(EINVAL);
      *a = desc.audioInputs[a->index];
      a->capability = V4L2_AUDCAP_STEREO;
      return 0;
    }
    case VIDIOC_G_AUDIO:
    case VIDIOC_S_AUDIO: {
      auto* a = static_cast<v4l2_audio*>(arg);
      if (desc.audioInputs.empty()) return Fail(ENOTTY);
      if (request == VIDIOC_S_AUDIO) {
        const auto it = std::find_if(desc.audioInputs.begin(), desc.audioInputs.end(),
                                     [&](const v4l2_audio& x) { return x.index == a->index; });
        if (it == desc.audioInputs.end()) return Fail(EINVAL);
        d.audio = a->index;
        return 0;
      }
      for (const v4l2_audio& x : desc.audioInputs) {
        if (x.index == d.audio) *a = x;
      }
      return 0;
    }
    case VIDIOC_ENUMSTD: {
      auto* s = static_cast<v4l2_standard*>(arg);
      if (desc.standards.empty()) return Fail(ENODATA);
      if (s->index >= desc.standards.size()) return Fail(EINVAL);
      *s = desc.standards[s->index];
      return 0;
    }
    case VIDIOC_G_STD:
      if (desc.standards.empty()) return Fail(ENODATA);
      *static_cast<v4l2_std_id*>(arg) = d.standard;
      return 0;
    case VIDIOC_S_STD: {
      if (desc.standards.empty()) return Fail(ENODATA);
      const v4l2_std_id supported =
          d.input < desc.inputs.size() && desc.inputs[d.input].std ? desc.inputs[d.input].std : V4L2_STD_ALL;
      const v4l2_std_id wanted = *static_cast<v4l2_std_id*>(arg) & supported;
      if (!wanted) return Fail(EINVAL);
      d.standard = wanted;
      return 0;
    }
    case VIDIOC_G_TUNER:
    case VIDIOC_S_TUNER: {
      auto* t = static_cast<v4l2_tuner*>(arg);
      const auto it = std::find_if(desc.tuners.begin(), desc.tuners.end(),
                                   [&](const DescribedTuner& x) { return x.tuner.index == t->index; });
      if (it == desc.tuners.end()) return Fail(EINVAL);
      if (request == VIDIOC_S_TUNER) {
        d.audioModes[t->index] = t->audmode;
        return 0;
      }
      *t = it->tuner;
      if (d.audioModes.contains(t->index)) t->audmode = d.audioModes[t->index];
      return 0;
    }
    case VIDIOC_G_FREQUENCY:
    case VIDIOC_S_FREQUENCY: {
      auto* f = static_cast<v4l2_frequency*>(arg);
      const auto it = std::find_if(desc.tuners.begin(), desc.tuners.end(),
                                   [&](const DescribedTuner& x) { return x.tuner.index == f->tuner; });
      if (it == desc.tuners.end()) return Fail(EINVAL);
      if (request == VIDIOC_S_FREQUENCY) {
        const uint32_t low = it->tuner.rangelow;
        const uint32_t high = std::max(it->tuner.rangehigh, low);
        d.frequencies[f->tuner] = std::clamp(f->frequency, low, high);
        return 0;
      }
      f->type = it->tuner.type;
      f->frequency = d.frequencies.contains(f->tuner) ? d.frequencies[f->tuner] : it->frequency;
      return 0;
    }
    case VIDIOC_QUERYCTRL: {
      auto* q = static_cast<v4l2_queryctrl*>(arg);
      const DescribedControl* c = d.Query(q->id);
      if (!c) return Fail(EINVAL);
      *q = {};
      q->id = c->id;
      q->type = c->type;
      CopyText(q->name, sizeof q->name, c->name);
      if (c->type != V4L2_CTRL_TYPE_INTEGER64) {
        q->minimum = static_cast<__s32>(c->minimum);
        q->maximum = static_cast<__s32>(c->maximum);
        q->step = static_cast<__s32>(c->step);
        q->default_value = static_cast<__s32>(c->defaultValue);
      }
      q->flags = c->flags;
      return 0;
    }
    case VIDIOC_QUERY_EXT_CTRL: {
      auto* q = static_cast<v4l2_query_ext_ctrl*>(arg);
      const DescribedControl* c = d.Query(q->id);
      if (!c) return Fail(EINVAL);
      *q = {};
      q->id = c->id;
      q->type = c->type;
      CopyText(q->name, sizeof q->name, c->name);
      q->minimum = c->minimum;
      q->maximum = c->maximum;
      q->step = c->step;
      q->default_value = c->defaultValue;
      q->flags = c->flags;
      q->elems = 1;
      q->elem_size = c->type == V4L2_CTRL_TYPE_STRING ? static_cast<__u32>(c->maximum + 1)
                     : c->type == V4L2_CTRL_TYPE_INTEGER64 ? 8
                                                            : 4;
      return 0;
    }
    case VIDIOC_QUERYMENU: {
      auto* m = static_cast<v4l2_querymenu*>(arg);
      const DescribedControl* c = d.Control(m->id);
      if (!c || (c->type != V4L2_CTRL_TYPE_MENU && c->type != V4L2_CTRL_TYPE_INTEGER_MENU) ||
          static_cast<int64_t>(m->index) < c->minimum || static_cast<int64_t>(m->index) > c->maximum) {
        return Fail(EINVAL);
      }
      const uint32_t index = m->index;
      if (c->menu.empty()) {
        // A menu listed without its items: they have their numbers for names.
        CopyText(m->name, sizeof m->name, std::to_string(index));
        return 0;
      }
      for (const DescribedMenuItem& item : c->menu) {
        if (item.index != index) continue;
        if (c->type == V4L2_CTRL_TYPE_MENU) {
          CopyText(m->name, sizeof m->name, item.name);
        } else {
          m->value = item.value;
        }
        return 0;
      }
      return Fail(EINVAL);
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
      auto* control = static_cast<v4l2_control*>(arg);
      DescribedControl* c = d.Control(control->id);
      if (!c || c->type == V4L2_CTRL_TYPE_INTEGER64 || c->type == V4L2_CTRL_TYPE_STRING) {
        return Fail(EINVAL);
      }
      if (request == VIDIOC_G_CTRL) {
        if (c->flags & V4L2_CTRL_FLAG_WRITE_ONLY) return Fail(EACCES);
        control->value = static_cast<__s32>(c->value);
        return 0;
      }
      int64_t value = control->value;
      if (const int error = Device::Validate(*c, &value)) return Fail(error);
      if (c->type != V4L2_CTRL_TYPE_BUTTON) c->value = value;
      control->value = static_cast<__s32>(value);
      return 0;
    }
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS: {
      auto* list = static_cast<v4l2_ext_controls*>(arg);
      for (uint32_t i = 0; i < list->count; ++i) {
        v4l2_ext_control& control = list->controls[i];
        list->error_idx = i;
        DescribedControl* c = d.Control(control.id);
        if (!c) return Fail(EINVAL);
        if (request == VIDIOC_G_EXT_CTRLS) {
          if (c->type == V4L2_CTRL_TYPE_STRING) {
            if (control.size < c->text.size() + 1) {
              control.size = static_cast<__u32>(c->text.size() + 1);
              return Fail(ENOSPC);
            }
            std::memcpy(control.string, c->text.c_str(), c->text.size() + 1);
          } else if (c->type == V4L2_CTRL_TYPE_INTEGER64) {
            control.value64 = c->value;
          } else {
            control.value = static_cast<__s32>(c->value);
          }
          continue;
        }
        if (c->type == V4L2_CTRL_TYPE_STRING) {
          if (c->flags & V4L2_CTRL_FLAG_READ_ONLY) return Fail(EACCES);
          const std::string text(control.string, strnlen(control.string, control.size));
          const auto length = static_cast<int64_t>(text.size());
          const auto step = static_cast<int64_t>(std::max<uint64_t>(c->step, 1));
          if (length < c->minimum || length > c->maximum || (length - c->minimum) % step != 0) {
            return Fail(ERANGE);
          }
          if (request == VIDIOC_S_EXT_CTRLS) c->text = text;
          continue;
        }
        int64_t value = c->type == V4L2_CTRL_TYPE_INTEGER64 ? control.value64 : control.value;
        if (const int error = Device::Validate(*c, &value)) return Fail(error);
        if (request == VIDIOC_S_EXT_CTRLS && c->type != V4L2_CTRL_TYPE_BUTTON) c->value = value;
      }
      list->error_idx = list->count;
      return 0;
    }
    case VIDIOC_REQBUFS: {
      auto* r = static_cast<v4l2_requestbuffers*>(arg);
      if (r->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || r->memory != V4L2_MEMORY_MMAP) {
        return Fail(EINVAL);
      }
      if (d.owner >= 0 && d.owner != fd) return Fail(EBUSY);
      if (r->count == 0) {
        d.FreeBuffers();
        return 0;
      }
      if (d.streaming) return Fail(EBUSY);
      d.FreeBuffers();
      r->count = std::min(r->count, kMaxBuffers);
      for (uint32_t i = 0; i < r->count; ++i) {
        Buffer buffer;
        // Room after the image lets the frames be converted straight into the buffer.
        buffer.bytes = std::make_shared<std::vector<uint8_t>>(
            std::max<uint32_t>(d.format.sizeimage, 1) + filters::PixelFormatConverter::kBufferPadding);
        d.buffers.push_back(std::move(buffer));
      }
      d.owner = fd;
      return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (d.owner != fd) return Fail(EBUSY);
      if (b->index >= d.buffers.size() || b->memory != V4L2_MEMORY_MMAP) return Fail(EINVAL);
      Buffer& buffer = d.buffers[b->index];
      if (request == VIDIOC_QBUF) {
        if (buffer.state != Buffer::State::kWithUser) return Fail(EINVAL);
        buffer.state = Buffer::State::kQueued;
        buffer.queuedAt = Clock::now();
        d.queued.push_back(b->index);
      }
      b->length = static_cast<__u32>(buffer.bytes->size());
      b->m.offset = b->index * kOffsetStride;
      b->flags = V4L2_BUF_FLAG_MAPPED | (buffer.state == Buffer::State::kQueued ? V4L2_BUF_FLAG_QUEUED : 0) |
                 (buffer.state == Buffer::State::kDone ? V4L2_BUF_FLAG_DONE : 0);
      return 0;
    }
    case VIDIOC_DQBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (d.owner != fd) return Fail(EBUSY);
      if (!d.streaming) return Fail(EINVAL);
      d.Capture(Clock::now());
      if (d.done.empty()) return Fail(EAGAIN);
      const uint32_t index = d.done.front();
      d.done.pop_front();
      Buffer& buffer = d.buffers[index];
      buffer.state = Buffer::State::kWithUser;
      const auto since = buffer.capturedAt.time_since_epoch();
      *b = {};
      b->index = index;
      b->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      b->memory = V4L2_MEMORY_MMAP;
      b->field = d.format.field;
      b->sequence = static_cast<__u32>(buffer.sequence);
      b->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_DONE | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC |
                 V4L2_BUF_FLAG_TSTAMP_SRC_EOF;
      b->timestamp.tv_sec = std::chrono::duration_cast<std::chrono::seconds>(since).count();
      b->timestamp.tv_usec =
          std::chrono::duration_cast<std::chrono::microseconds>(since).count() % 1'000'000;
      b->length = static_cast<__u32>(buffer.bytes->size());
      const sim::PatternScene scene = d.Scene(buffer.sequence);
      const std::shared_ptr<std::vector<uint8_t>> bytes = buffer.bytes;
      const std::shared_ptr<V4l2PatternFrames> frames = d.frames;
      lock.unlock();
      b->bytesused = static_cast<__u32>(frames->Make(scene, *bytes));
      return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF: {
      if (*static_cast<int*>(arg) != V4L2_BUF_TYPE_VIDEO_CAPTURE) return Fail(EINVAL);
      if (d.owner != fd) return Fail(EBUSY);
      if (request == VIDIOC_STREAMOFF) {
        d.StopStreaming();
        return 0;
      }
      if (d.buffers.empty()) return Fail(EINVAL);
      if (d.streaming) return 0;
      d.streaming = true;
      d.nextFrame = d.FrameAt(Clock::now()) + 1;
      d.frames = V4l2PatternFrames::Create(d.format);  // none: the format streams nothing
      return 0;
    }
    default:
      return Fail(ENOTTY);
  }
}

}  // namespace vidorra::devices::replay
