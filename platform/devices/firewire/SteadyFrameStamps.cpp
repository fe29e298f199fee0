// Steady stamps for an isochronous stream; see SteadyFrameStamps.h.
#include "SteadyFrameStamps.h"

#include <algorithm>

namespace vidorra::devices::firewire {

SteadyFrameStamps::SteadyFrameStamps(REFERENCE_TIME period, uint32_t resyncFrames)
    : period_(period), resyncLateness_(period * resyncFrames) {}

void SteadyFrameStamps::Reset() {
  origin_.reset();
  windowSeen_ = 0;
}

REFERENCE_TIME SteadyFrameStamps::Stamp(uint64_t number, REFERENCE_TIME beganByArrival) {
  const REFERENCE_TIME offset = static_cast<REFERENCE_TIME>(number) * period_;
  if (!origin_) origin_ = beganByArrival - offset;
  const REFERENCE_TIME delay = beganByArrival - (*origin_ + offset);
  if (delay < 0 || delay > resyncLateness_) {
    origin_ = beganByArrival - offset;
    windowSeen_ = 0;
    return beganByArrival;
  }
  const REFERENCE_TIME stamp = *origin_ + offset;
  leastDelay_ = windowSeen_ == 0 ? delay : std::min(leastDelay_, delay);
  if (++windowSeen_ == kWindowFrames) {
    // Every frame of the window came late: the delay is the stream's, not the reader's; the
    // next frame takes it up.
    *origin_ += leastDelay_;
    windowSeen_ = 0;
  }
  return stamp;
}

}  // namespace vidorra::devices::firewire
