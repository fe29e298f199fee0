// Stamps the frames of a stream that runs at a steady rate, a DV camcorder's isochronous
// stream: frame n began at origin + n periods. Frames reach the reader late when the machine
// is busy (they wait in the bus's queue), so stamping each by when it arrived would put a gap
// before a late frame, and a multiplexer that keeps the stream's rate fills a gap as frames
// lost: empty pictures and silence in the file although nothing was lost.
//
// The origin follows the earliest arrivals: a frame that arrives earlier than its place (the
// first frame came late, or the camcorder's clock runs faster than ours) moves it back at
// once; frames that all arrive late for a whole window of frames (the camcorder's clock runs
// slower, or frames were lost where nobody counted them) move it forward by the least of their
// delays; a frame much later than a bus queue can hold it (the tape paused, the stream
// stopped a while) moves it to that frame, so the time the stream was silent stays a gap.
// Frames the reception knows it left out are counted in the numbers by the caller.
//
// Thread: the streaming thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

namespace vidorra::devices::firewire {

class SteadyFrameStamps {
 public:
  // `period`: a frame's duration. `resyncFrames`: how late (in periods) a frame may be held in
  // the bus's queues before its delay means the stream stood still.
  SteadyFrameStamps(REFERENCE_TIME period, uint32_t resyncFrames);

  // Forgets the origin: the next frame is on time.
  void Reset();

  // When frame `number` (counted from the stream's start, frames left out included) began,
  // given when its capture began as its arrival says (arrival less a period).
  REFERENCE_TIME Stamp(uint64_t number, REFERENCE_TIME beganByArrival);

  // Frames over which the least delay is taken.
  static constexpr uint32_t kWindowFrames = 100;

 private:
  const REFERENCE_TIME period_;
  const REFERENCE_TIME resyncLateness_;
  std::optional<REFERENCE_TIME> origin_;
  REFERENCE_TIME leastDelay_ = 0;
  uint32_t windowSeen_ = 0;
};

}  // namespace vidorra::devices::firewire
