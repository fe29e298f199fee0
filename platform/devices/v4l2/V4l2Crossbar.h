// The analogue inputs of a V4L2 capture card as a crossbar (CrossbarBackend): each video input
// of VIDIOC_ENUMINPUT (tuner, composite, S-Video, component, as its type and name say) and
// each sound input of VIDIOC_ENUMAUDIO, then the outputs "Video Decoder Out" (on the wire to
// the capture filter's analogue video input) and, when the card has sound inputs, "Audio
// Decoder Out". The tuner's picture and sound inputs are on the wires from the card's tuner
// (V4l2Tuner). A video input's related pin is the sound input its audioset names. Routing the
// video output selects the input (VIDIOC_S_INPUT), routing the sound output the sound input
// (VIDIOC_S_AUDIO); the hardware always has an input selected, so an output cannot be left
// unconnected.
//
// Threads: any; the driver keeps the routes.
#pragma once

#include <linux/videodev2.h>

#include <memory>
#include <vector>

#include "DeviceBackend.h"
#include "V4l2Calls.h"

namespace vidorra::devices::v4l2 {

// The wires of the V4L2 cards; the low bits of an id number a card's wires.
// {8E3A5F20-1D4C-4B7A-9E61-5C2D7A0B3112}
DEFINE_GUID(KSMEDIUMSETID_V4l2Card, 0x8E3A5F20, 0x1D4C, 0x4B7A, 0x9E, 0x61, 0x5C, 0x2D, 0x7A,
            0x0B, 0x31, 0x12);

struct AnalogInputs {
  std::vector<v4l2_input> video;
  std::vector<v4l2_audio> audio;
};
AnalogInputs QueryInputs(V4l2Calls& calls, int fd);
// A card needs a crossbar when it has more than one video input or a tuner.
bool HasCrossbar(const AnalogInputs& inputs);
// The wire between a card's crossbar and its capture filter.
KSPIN_MEDIUM CaptureWire(const std::wstring& deviceDisplayName);

class V4l2Crossbar : public CrossbarBackend {
 public:
  // Opens `devnode` of the device listed as `deviceDisplayName` (its wires are named after
  // it); fails with the open's error.
  static HRESULT Open(std::shared_ptr<V4l2Calls> calls, const std::string& devnode,
                      const std::wstring& deviceDisplayName,
                      std::unique_ptr<V4l2Crossbar>* crossbar);
  ~V4l2Crossbar() override;

  std::vector<CrossbarPinDesc> Pins() override;
  bool CanRoute(long output, long input) override;
  HRESULT Route(long output, long input) override;
  long RoutedTo(long output) override;

 private:
  V4l2Crossbar(std::shared_ptr<V4l2Calls> calls, int fd, std::wstring deviceDisplayName);
  long VideoCount() const { return static_cast<long>(inputs_.video.size()); }

  const std::shared_ptr<V4l2Calls> calls_;
  const int fd_;
  const std::wstring displayName_;
  const AnalogInputs inputs_;
};

}  // namespace vidorra::devices::v4l2
