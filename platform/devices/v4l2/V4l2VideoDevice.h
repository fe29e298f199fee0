// The backend of a V4L2 video capture node: its formats (V4l2Formats), its controls
// (V4l2Controls) and streaming with memory-mapped buffers.
//
// Streaming: StartStream sets the format (VIDIOC_S_FMT, then the frame interval with S_PARM),
// asks for a few mmap buffers, queues them and starts the stream. NextFrame waits (poll) for a
// filled buffer or the stream's interrupt, while the filter is paused it waits for the run and
// then throws away what the driver filled in the meantime. A frame's capture time is the
// buffer's monotonic time stamp carried onto the graph's clock (stream time now minus the
// frame's age); its number follows the driver's sequence numbers, so frames the driver lost
// (or filled with errors) are a gap the filter counts as dropped. ReadFrame copies the buffer
// into the sample and queues it again. A call failing with ENODEV (the device unplugged) gives
// VFW_E_NO_CAPTURE_HARDWARE: the filter stops and reports the device lost.
//
// The node is opened when the backend is made and kept open for its controls; a node that
// went away and came back (maybe under another /dev number) is opened again by StartStream
// through `locate`, which says where the device is now.
//
// Threads: see VideoBackend; the controls work on the node from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DeviceBackend.h"
#include "V4l2Calls.h"
#include "V4l2Controls.h"
#include "V4l2Formats.h"

namespace vidorra::devices::v4l2 {

class V4l2VideoDevice : public VideoBackend {
 public:
  using Locator = std::function<std::optional<std::string>()>;

  // Opens the node; fails with the error of the open (VFW_E_NO_CAPTURE_HARDWARE when gone).
  static HRESULT Open(std::shared_ptr<V4l2Calls> calls, Locator locate,
                      std::optional<KSPIN_MEDIUM> analogVideoIn,
                      std::unique_ptr<V4l2VideoDevice>* device);
  ~V4l2VideoDevice() override;

  std::vector<FormatCapability> Capabilities() override;
  HRESULT Available() override;
  HRESULT StartStream(const CMediaType& format) override;
  HRESULT NextFrame(StreamTiming& timing, FrameInfo* frame) override;
  HRESULT ReadFrame(std::span<uint8_t> destination, size_t* length) override;
  void StopStream() override;

  VideoDeviceLayout Layout() override;
  // The standards of VIDIOC_ENUMSTD, the one of VIDIOC_G_STD, VIDIOC_S_STD.
  long AnalogStandards() override;
  long AnalogStandard() override;
  HRESULT SetAnalogStandard(long standard) override;
  std::vector<ControlRange> PictureControls() override;
  HRESULT GetPictureControl(long property, long* value, long* flags) override;
  HRESULT SetPictureControl(long property, long value, long flags) override;

  V4l2ControlSet& Controls() { return *controls_; }

 private:
  struct Buffer {
    void* start = nullptr;
    size_t length = 0;
  };

  V4l2VideoDevice(std::shared_ptr<V4l2Calls> calls, Locator locate, int fd,
                  std::optional<KSPIN_MEDIUM> analogVideoIn);
  HRESULT ReopenIfGone();
  HRESULT SetMode(const V4l2Mode& mode);
  HRESULT MapBuffers();
  void ReleaseBuffers();
  HRESULT Requeue(uint32_t index);
  // Dequeues and queues again every filled buffer (frames of a pause).
  void Drain();
  HRESULT Fail(int error);

  const std::shared_ptr<V4l2Calls> calls_;
  const Locator locate_;
  const std::optional<KSPIN_MEDIUM> analogVideoIn_;
  int fd_ = -1;
  std::unique_ptr<V4l2ControlSet> controls_;
  std::vector<V4l2Format> formats_;

  // Streaming thread (set up by StartStream with the stream stopped).
  V4l2Mode mode_;
  uint32_t bytesPerLine_ = 0;
  REFERENCE_TIME interval_ = 0;
  std::vector<Buffer> buffers_;
  bool streaming_ = false;
  std::atomic<bool> lost_{false};
  // The driver's sequence number of the last frame taken (delivered or thrown away on purpose,
  // as in a pause), and the number the next frame gets when none is lost in between.
  std::optional<uint32_t> lastSequence_;
  uint64_t nextNumber_ = 0;
  uint32_t ready_ = 0;
  size_t readyBytes_ = 0;
  bool haveReady_ = false;
};

}  // namespace vidorra::devices::v4l2
