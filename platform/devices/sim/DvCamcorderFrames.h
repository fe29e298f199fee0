// The DIF frames of the simulated DV camcorders: the test pattern encoded by the platform's
// DV encoder, with a 1 kHz tone at 48 kHz 16-bit stereo (locked) written into the frame's
// audio blocks, as a camcorder records its picture and sound together.
//
// Thread: one caller at a time (the streaming thread), except Info, which any thread may call.
#pragma once

#include <strmif.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "TestPattern.h"
#include "dv/DvFrame.h"
#include "dv/DvVideoCodec.h"

namespace vidorra::devices::sim {

class DvCamcorderFrames {
 public:
  // nullptr when the DV encoder is missing.
  static std::unique_ptr<DvCamcorderFrames> Create(dv::DvSystem system);

  // The DVINFO of the camcorder's stream (from one of its frames); nullopt without an encoder.
  static std::optional<DVINFO> Info(dv::DvSystem system);

  // Makes frame `scene.frameNumber` of the stream into `out` (the frame's size exactly).
  HRESULT Make(const PatternScene& scene, std::span<uint8_t> out);

 private:
  DvCamcorderFrames(dv::DvSystem system, std::unique_ptr<dv::DvVideoEncoder> encoder);

  const dv::DvSystem system_;
  std::unique_ptr<dv::DvVideoEncoder> encoder_;
  std::vector<uint8_t> picture_;  // the pattern, planar 4:2:0 at the system's size
  std::vector<uint8_t> frame_;    // what the encoder wrote
  std::vector<int16_t> sound_;    // the frame's samples, interleaved stereo
};

}  // namespace vidorra::devices::sim
