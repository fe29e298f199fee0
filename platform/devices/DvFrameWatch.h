// What the last DV frame a capture filter delivered carries (its timecode and recording date),
// for IDvFrameInfo: read from each frame on the streaming thread as it passes (well under a
// microsecond), handed to any other thread under a small lock.
#pragma once

#include <vidorra_dv.h>

#include <cstdint>
#include <mutex>
#include <span>

#include "dv/DvRecordingInfo.h"

namespace vidorra::devices {

class DvFrameWatch {
 public:
  // A run begins: nothing seen yet.
  void Reset();
  // Streaming thread: a frame delivered (whole DIF frame; a frame of no known system only
  // counts).
  void Look(std::span<const uint8_t> frame);
  // S_FALSE, with nothing read, before the first frame of a run.
  HRESULT Fill(DV_FRAME_INFO* info);

 private:
  std::mutex mutex_;
  dv::DvRecordingInfo last_;
  uint64_t seen_ = 0;
};

}  // namespace vidorra::devices
