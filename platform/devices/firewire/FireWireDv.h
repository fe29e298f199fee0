// DV camcorders on IEEE 1394, listed in "Video Capture Sources" like the simulated `dv` kind:
// one capture pin "DV A/V Out" delivering whole DIF frames as MEDIATYPE_Interleaved/dvsd
// (PAL offered first, then NTSC, with the DVINFO packs of our encoder's frames).
//
// Listing: the camera's name from its configuration ROM (made unique with " #2"...), display
// name "@device:1394:" + its EUI-64 in hex, the same on every bus and after every reset. No
// adapter: no entry.
//
// Streaming: frames are numbered in arrival order, those the reception left out counted, and
// stamped on the graph's clock at the camcorder's steady rate (SteadyFrameStamps), so a frame
// that reaches us late keeps its place. A frame of the other system than the
// format chosen is dropped and counted. A bus reset is survived (the connection is made again
// and frames go on); the camera leaving the bus is the device lost (EC_DEVICE_LOST). A camera
// that is not playing sends no frame: the stream waits, a stop is answered at once.
//
// Tape transport: the camera's tape subunit is commanded over AV/C (AvcTapeTransport), offered
// on the capture filter as IDvTapeTransport.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AvcTapeTransport.h"
#include "DeviceBackend.h"
#include "DeviceCatalog.h"
#include "FireWireSeam.h"
#include "SteadyFrameStamps.h"
#include "dv/DvFrame.h"

namespace vidorra::devices::firewire {

inline constexpr const wchar_t* kDisplayNamePrefix = L"@device:1394:";

class FireWireDvCamera : public VideoBackend {
 public:
  FireWireDvCamera(std::shared_ptr<FireWireSeam> seam, uint64_t guid);

  std::vector<FormatCapability> Capabilities() override;
  HRESULT Available() override;
  HRESULT StartStream(const CMediaType& format) override;
  HRESULT NextFrame(StreamTiming& timing, FrameInfo* frame) override;
  HRESULT ReadFrame(std::span<uint8_t> destination, size_t* length) override;
  void StopStream() override;
  VideoDeviceLayout Layout() override;
  std::vector<ControlRange> PictureControls() override { return {}; }
  HRESULT GetPictureControl(long, long*, long*) override { return E_PROP_ID_UNSUPPORTED; }
  HRESULT SetPictureControl(long, long, long) override { return E_PROP_ID_UNSUPPORTED; }
  // Commanded over AV/C whether or not the camera answers: one in camera mode says it has no
  // tape transport (E_NOTIMPL).
  TapeTransportBackend* TapeTransport() override { return &transport_; }

  // Bus resets the stream went through (streaming thread, or after the stream).
  uint64_t BusResets() const { return busResets_; }

 private:
  // The systems in the order their formats are offered.
  std::vector<dv::DvSystem> Systems();

  const std::shared_ptr<FireWireSeam> seam_;
  const uint64_t guid_;
  AvcTapeTransport transport_;

  // Streaming thread (set up by StartStream with the stream stopped).
  std::unique_ptr<DvReception> reception_;
  dv::DvSystem system_ = dv::DvSystem::k625_50;
  std::vector<uint8_t> frame_;  // the frame NextFrame made ready
  uint64_t number_ = 0;
  uint64_t leftOutSeen_ = 0;  // the reception's FramesLeftOut already counted
  std::optional<SteadyFrameStamps> stamps_;
  uint64_t busResets_ = 0;
};

// The provider of the DV cameras on the machine's 1394 buses.
class FireWireDevices : public DeviceProvider {
 public:
  explicit FireWireDevices(std::shared_ptr<FireWireSeam> seam) : seam_(std::move(seam)) {}
  std::vector<DeviceEntry> Devices() override;

 private:
  const std::shared_ptr<FireWireSeam> seam_;
};

}  // namespace vidorra::devices::firewire
