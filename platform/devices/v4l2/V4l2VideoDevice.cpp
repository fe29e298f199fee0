// The backend of a V4L2 capture node; see V4l2VideoDevice.h.
#include "V4l2VideoDevice.h"

#include "V4l2Tuner.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/mman.h>
#include <time.h>

#include <cerrno>
#include <chrono>

namespace vidorra::devices::v4l2 {

namespace {

constexpr uint32_t kBufferCount = kDeviceQueueFrames;
constexpr int kPollMs = 500;
// A wait for the run longer than this was a pause: what the driver filled meanwhile is old.
constexpr auto kPauseSeen = std::chrono::milliseconds(5);

REFERENCE_TIME MonotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<REFERENCE_TIME>(now.tv_sec) * 10'000'000 + now.tv_nsec / 100;
}

REFERENCE_TIME TimeOf(const timeval& tv) {
  return static_cast<REFERENCE_TIME>(tv.tv_sec) * 10'000'000 + tv.tv_usec * 10;
}

v4l2_buffer MmapBuffer(uint32_t index = 0) {
  v4l2_buffer buffer{};
  buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  buffer.memory = V4L2_MEMORY_MMAP;
  buffer.index = index;
  return buffer;
}

}  // namespace

HRESULT V4l2VideoDevice::Open(std::shared_ptr<V4l2Calls> calls, Locator locate,
                              std::optional<KSPIN_MEDIUM> analogVideoIn,
                              std::unique_ptr<V4l2VideoDevice>* device) {
  if (!device) return E_POINTER;
  const auto node = locate();
  if (!node) return VFW_E_NO_CAPTURE_HARDWARE;
  const int fd = calls->Open(*node, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return HResultFromErrno(errno);
  device->reset(new V4l2VideoDevice(std::move(calls), std::move(locate), fd, analogVideoIn));
  return S_OK;
}

V4l2VideoDevice::V4l2VideoDevice(std::shared_ptr<V4l2Calls> calls, Locator locate, int fd,
                                 std::optional<KSPIN_MEDIUM> analogVideoIn)
    : calls_(std::move(calls)),
      locate_(std::move(locate)),
      analogVideoIn_(analogVideoIn),
      fd_(fd),
      controls_(std::make_unique<V4l2ControlSet>(calls_, fd)),
      formats_(EnumerateFormats(*calls_, fd)) {}

V4l2VideoDevice::~V4l2VideoDevice() {
  StopStream();
  if (fd_ >= 0) calls_->Close(fd_);
}

std::vector<FormatCapability> V4l2VideoDevice::Capabilities() {
  std::vector<FormatCapability> capabilities;
  for (const V4l2Format& format : formats_) capabilities.push_back(format.capability);
  return capabilities;
}

HRESULT V4l2VideoDevice::Available() {
  return locate_() ? S_OK : VFW_E_NO_CAPTURE_HARDWARE;
}

HRESULT V4l2VideoDevice::ReopenIfGone() {
  v4l2_capability caps{};
  if (RetryIoctl(*calls_, fd_, VIDIOC_QUERYCAP, &caps) == 0) return S_OK;
  if (!DeviceGone(errno)) return HResultFromErrno(errno);
  const auto node = locate_();
  if (!node) return VFW_E_NO_CAPTURE_HARDWARE;
  const int fd = calls_->Open(*node, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return HResultFromErrno(errno);
  calls_->Close(fd_);
  fd_ = fd;
  controls_->SetFd(fd);
  return S_OK;
}

HRESULT V4l2VideoDevice::SetMode(const V4l2Mode& mode) {
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  format.fmt.pix.width = mode.width;
  format.fmt.pix.height = mode.height;
  format.fmt.pix.pixelformat = mode.pixelFormat;
  format.fmt.pix.field = V4L2_FIELD_ANY;
  if (RetryIoctl(*calls_, fd_, VIDIOC_S_FMT, &format) != 0) return HResultFromErrno(errno);
  // A driver that changed the request would deliver pictures the media type does not describe.
  if (format.fmt.pix.pixelformat != mode.pixelFormat || format.fmt.pix.width != mode.width ||
      format.fmt.pix.height != mode.height) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  bytesPerLine_ = format.fmt.pix.bytesperline;
  v4l2_streamparm parm{};
  parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (RetryIoctl(*calls_, fd_, VIDIOC_G_PARM, &parm) == 0 &&
      (parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
    parm.parm.capture.timeperframe = {mode.numerator, mode.denominator};
    if (RetryIoctl(*calls_, fd_, VIDIOC_S_PARM, &parm) != 0) return HResultFromErrno(errno);
  }
  return S_OK;
}

HRESULT V4l2VideoDevice::MapBuffers() {
  v4l2_requestbuffers request{};
  request.count = kBufferCount;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  if (RetryIoctl(*calls_, fd_, VIDIOC_REQBUFS, &request) != 0) return HResultFromErrno(errno);
  if (request.count == 0) return E_OUTOFMEMORY;
  for (uint32_t i = 0; i < request.count; ++i) {
    v4l2_buffer buffer = MmapBuffer(i);
    if (RetryIoctl(*calls_, fd_, VIDIOC_QUERYBUF, &buffer) != 0) return HResultFromErrno(errno);
    void* start = calls_->Mmap(buffer.length, fd_, buffer.m.offset);
    if (start == MAP_FAILED) return HResultFromErrno(errno);
    buffers_.push_back({start, buffer.length});
    if (RetryIoctl(*calls_, fd_, VIDIOC_QBUF, &buffer) != 0) return HResultFromErrno(errno);
  }
  return S_OK;
}

void V4l2VideoDevice::ReleaseBuffers() {
  for (const Buffer& buffer : buffers_) calls_->Munmap(buffer.start, buffer.length);
  buffers_.clear();
  v4l2_requestbuffers none{};
  none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  none.memory = V4L2_MEMORY_MMAP;
  RetryIoctl(*calls_, fd_, VIDIOC_REQBUFS, &none);
}

HRESULT V4l2VideoDevice::StartStream(const CMediaType& format) {
  const int index = FindCapability(Capabilities(), format);
  if (index < 0) return VFW_E_INVALIDMEDIATYPE;
  lost_ = false;
  HRESULT hr = ReopenIfGone();
  if (FAILED(hr)) return hr;
  mode_ = formats_[static_cast<size_t>(index)].mode;
  interval_ = IntervalOf(mode_);
  hr = SetMode(mode_);
  if (SUCCEEDED(hr)) hr = MapBuffers();
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (SUCCEEDED(hr) && RetryIoctl(*calls_, fd_, VIDIOC_STREAMON, &type) != 0) {
    hr = HResultFromErrno(errno);
  }
  if (FAILED(hr)) {
    ReleaseBuffers();
    return hr;
  }
  streaming_ = true;
  lastSequence_.reset();
  nextNumber_ = 0;
  haveReady_ = false;
  return S_OK;
}

void V4l2VideoDevice::StopStream() {
  if (!streaming_) return;
  streaming_ = false;
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  RetryIoctl(*calls_, fd_, VIDIOC_STREAMOFF, &type);
  ReleaseBuffers();
}

HRESULT V4l2VideoDevice::Fail(int error) {
  if (DeviceGone(error)) lost_ = true;
  return HResultFromErrno(error);
}

HRESULT V4l2VideoDevice::Requeue(uint32_t index) {
  v4l2_buffer buffer = MmapBuffer(index);
  if (RetryIoctl(*calls_, fd_, VIDIOC_QBUF, &buffer) != 0) return Fail(errno);
  return S_OK;
}

void V4l2VideoDevice::Drain() {
  for (;;) {
    v4l2_buffer buffer = MmapBuffer();
    if (RetryIoctl(*calls_, fd_, VIDIOC_DQBUF, &buffer) != 0) {
      if (errno != EAGAIN) Fail(errno);
      return;
    }
    lastSequence_ = buffer.sequence;
    if (FAILED(Requeue(buffer.index))) return;
  }
}

HRESULT V4l2VideoDevice::NextFrame(StreamTiming& timing, FrameInfo* frame) {
  if (!streaming_) return E_UNEXPECTED;
  for (;;) {
    if (lost_) return VFW_E_NO_CAPTURE_HARDWARE;
    // Nothing is delivered while paused; frames filled during a pause are stale.
    const auto before = std::chrono::steady_clock::now();
    const HRESULT waited = timing.WaitUntil(timing.Now());
    if (waited != S_OK) return waited;
    if (std::chrono::steady_clock::now() - before > kPauseSeen) Drain();
    if (lost_) return VFW_E_NO_CAPTURE_HARDWARE;

    pollfd fds[2] = {{fd_, POLLIN, 0}, {timing.InterruptFd(), POLLIN, 0}};
    const int ready = calls_->Poll(fds, timing.InterruptFd() >= 0 ? 2 : 1, kPollMs);
    if (ready < 0 && errno != EINTR) return Fail(errno);
    if (fds[1].revents & POLLIN) return S_FALSE;
    if (ready <= 0) continue;

    v4l2_buffer buffer = MmapBuffer();
    if (RetryIoctl(*calls_, fd_, VIDIOC_DQBUF, &buffer) != 0) {
      if (errno == EAGAIN) continue;
      return Fail(errno);
    }
    if (buffer.flags & V4L2_BUF_FLAG_ERROR) {
      // A damaged frame is a lost one: the gap it leaves is counted as dropped.
      const HRESULT hr = Requeue(buffer.index);
      if (FAILED(hr)) return hr;
      continue;
    }
    const REFERENCE_TIME streamNow = timing.Now();
    REFERENCE_TIME captureTime = streamNow;
    if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC) {
      const REFERENCE_TIME age = MonotonicNow() - TimeOf(buffer.timestamp);
      if (age > 0) captureTime = streamNow - age;
    }
    // Frames captured well before the run started belong to no one.
    if (captureTime < -interval_ / 2) {
      lastSequence_ = buffer.sequence;
      const HRESULT hr = Requeue(buffer.index);
      if (FAILED(hr)) return hr;
      continue;
    }
    const uint32_t gap = lastSequence_ ? buffer.sequence - *lastSequence_ - 1 : 0;
    frame->number = nextNumber_ + gap;
    nextNumber_ = frame->number + 1;
    lastSequence_ = buffer.sequence;
    frame->captureTime = std::max<REFERENCE_TIME>(captureTime, 0);
    frame->duration = interval_;
    frame->mediaStart = static_cast<LONGLONG>(frame->number);
    frame->mediaStop = frame->mediaStart + 1;
    ready_ = buffer.index;
    readyBytes_ = buffer.bytesused ? buffer.bytesused : buffers_[buffer.index].length;
    haveReady_ = true;
    return S_OK;
  }
}

HRESULT V4l2VideoDevice::ReadFrame(std::span<uint8_t> destination, size_t* length) {
  if (!length) return E_POINTER;
  *length = 0;
  if (!haveReady_) return E_UNEXPECTED;
  haveReady_ = false;
  HRESULT result = S_OK;
  if (!destination.empty()) {
    const Buffer& buffer = buffers_[ready_];
    CapturedPicture picture{static_cast<const uint8_t*>(buffer.start),
                            std::min(readyBytes_, buffer.length), mode_.pixelFormat, mode_.width,
                            mode_.height, bytesPerLine_};
    *length = CopyPicture(picture, destination);
    if (*length == 0) result = E_OUTOFMEMORY;
  }
  const HRESULT hr = Requeue(ready_);
  return FAILED(hr) ? hr : result;
}

VideoDeviceLayout V4l2VideoDevice::Layout() {
  VideoDeviceLayout layout;
  layout.outputs.push_back({VideoPinRole::kCapture, L"Capture"});
  layout.analogVideoIn = analogVideoIn_;
  return layout;
}

long V4l2VideoDevice::AnalogStandards() {
  long standards = AnalogVideo_None;
  v4l2_standard standard{};
  for (standard.index = 0; RetryIoctl(*calls_, fd_, VIDIOC_ENUMSTD, &standard) == 0; ++standard.index) {
    standards |= ToAnalogVideo(standard.id);
  }
  return standards;
}

long V4l2VideoDevice::AnalogStandard() {
  v4l2_std_id standard = 0;
  if (RetryIoctl(*calls_, fd_, VIDIOC_G_STD, &standard) != 0) return AnalogVideo_None;
  return FirstStandard(ToAnalogVideo(standard));
}

HRESULT V4l2VideoDevice::SetAnalogStandard(long standard) {
  v4l2_std_id id = ToV4l2(standard);
  if (id == 0) return E_INVALIDARG;
  if (RetryIoctl(*calls_, fd_, VIDIOC_S_STD, &id) != 0) return HResultFromErrno(errno);
  return S_OK;
}

std::vector<ControlRange> V4l2VideoDevice::PictureControls() {
  return controls_->Ranges(ControlFamily::kVideoProcAmp);
}

HRESULT V4l2VideoDevice::GetPictureControl(long property, long* value, long* flags) {
  return controls_->GetMapped(ControlFamily::kVideoProcAmp, property, value, flags);
}

HRESULT V4l2VideoDevice::SetPictureControl(long property, long value, long flags) {
  return controls_->SetMapped(ControlFamily::kVideoProcAmp, property, value, flags);
}

}  // namespace vidorra::devices::v4l2
