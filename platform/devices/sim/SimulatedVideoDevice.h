// The backend of a simulated video device (every video kind but `broken`): it delivers the
// test pattern in real time on the stream's clock, as the kind's formats ask (YUY2 and RGB24
// drawn straight into the sample, MJPG through the JPEG encoder, DV through the camcorder's
// frame maker), with the card's picture controls and routes applied.
//
// Frame n of a stream is captured at stream time n x the frame interval. Like a driver with a
// queue of a few buffers, a late reader still gets the last frames it missed, and loses older
// ones (the filter counts them from the gap in the frame numbers). The number drawn into a
// picture is the card's clock's (frames since the device was plugged in), so a stream stopped
// and started again, or a frame lost, shows as a gap in what was recorded. The device is gone
// once its line leaves the machine file.
//
// Threads: see VideoBackend.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DeviceBackend.h"
#include "DvCamcorderFrames.h"
#include "MjpegEncoder.h"
#include "SimulatedCard.h"

namespace vidorra::devices::sim {

class SimulatedVideoDevice : public VideoBackend {
 public:
  // `present` says whether the device is still plugged in.
  SimulatedVideoDevice(std::shared_ptr<SimulatedCard> card, std::function<bool()> present);

  std::vector<FormatCapability> Capabilities() override;
  HRESULT Available() override;
  HRESULT StartStream(const CMediaType& format) override;
  HRESULT NextFrame(StreamTiming& timing, FrameInfo* frame) override;
  HRESULT ReadFrame(std::span<uint8_t> destination, size_t* length) override;
  void StopStream() override;

  VideoDeviceLayout Layout() override;
  std::vector<ControlRange> PictureControls() override;
  HRESULT GetPictureControl(long property, long* value, long* flags) override;
  HRESULT SetPictureControl(long property, long value, long flags) override;

 private:
  const std::shared_ptr<SimulatedCard> card_;
  const std::function<bool()> present_;

  // Streaming thread (set up by StartStream with the stream stopped).
  VideoMode mode_;
  bool dv_ = false;
  std::unique_ptr<DvCamcorderFrames> dvFrames_;
  std::unique_ptr<MjpegEncoder> jpeg_;
  std::vector<uint8_t> picture_;  // the pattern before JPEG coding
  uint64_t next_ = 0;             // the number of the next frame to capture
  uint64_t ready_ = 0;            // the frame NextFrame made ready
  uint64_t firstShown_ = 0;       // the card's number of the stream's first frame
};

}  // namespace vidorra::devices::sim
