// A DV camcorder playing a tape, for the simulated machine's `video dvfile PATH`: the FireWire
// seam of one camera whose tape is a raw DV file (DIF frames, PAL or NTSC, as `ffmpeg -f dv`
// writes them or a camcorder's tape holds them), so that the real FireWire DV backend runs
// against it.
//
// The tape (DvTape) keeps its position while its line is in the machine file. It has a
// transport, commanded over AV/C as a camcorder's tape deck is (DvTapeSeam::AvcCommand answers
// the tape subunit's PLAY, WIND and TRANSPORT STATE): it starts playing, as a camcorder its
// owner pressed Play on. While playing, a reception plays it from its position in real time,
// at the system's frame rate (the system of its first frame), frame after frame as the file
// holds them, damaged ones included; a reader that falls more than a few frames behind loses
// the oldest, as the bus's queue would. Paused or stopped, no frame comes (the reception times
// out); rewinding and fast-forwarding move the position at ten times the playing rate, no
// frame shown, and stop at either end. At the end of the recorded area a playing tape stops
// there. Between receptions the tape does not move, even playing.
//
// Threads: the tape is shared by its receptions, the catalog and the commands (a mutex guards
// its position, transport and file); a reception belongs to the streaming thread that reads it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dv/DvFrame.h"
#include "firewire/FireWireSeam.h"

namespace vidorra::devices::replay {

class DvTape {
 public:
  // The tape in `path`; null (and why in *error) when the file cannot be read or does not
  // start with a DV frame.
  static std::shared_ptr<DvTape> Open(const std::string& path, std::string* error);
  ~DvTape();
  DvTape(const DvTape&) = delete;
  DvTape& operator=(const DvTape&) = delete;

  enum class Motion { kStopped, kPlaying, kPaused, kRewinding, kFastForwarding };
  static constexpr int kWindSpeed = 10;  // times the playing rate

  dv::DvSystem System() const { return system_; }
  // How long a frame plays.
  std::chrono::nanoseconds Period() const;
  // Whole frames on the tape, and the one the next reading gives.
  size_t Frames() const { return frames_; }
  size_t Position();
  void SetPosition(size_t frame);

  Motion GetMotion();
  void SetMotion(Motion motion);
  // Counts the times the tape began to play (a reception starts its pacing again then).
  uint64_t PlayCount();

  // While playing, the frame at the position, which then moves on; false when not playing, at
  // the end of the tape (where it stops) or on a read error (which ends what can be played).
  bool ReadNext(std::vector<uint8_t>* frame);
  // Moves on by `count` frames without reading them (frames lost by a late reader).
  void Skip(size_t count);

 private:
  DvTape(int fd, dv::DvSystem system, size_t frames);
  // Brings a winding tape's position to now (stopping it at an end); under mutex_.
  void SettleLocked();

  const int fd_;
  const dv::DvSystem system_;
  const size_t frames_;
  std::mutex mutex_;
  size_t position_ = 0;
  Motion motion_ = Motion::kPlaying;
  uint64_t plays_ = 1;
  // Where and when the winding began.
  size_t windFrom_ = 0;
  std::chrono::steady_clock::time_point windStart_;
};

// The seam of the one camera that plays `tape`: it is on the bus while `present` says so.
class DvTapeSeam : public firewire::FireWireSeam {
 public:
  DvTapeSeam(std::shared_ptr<DvTape> tape, uint64_t guid, std::string name,
             std::function<bool()> present);

  std::vector<firewire::DvCamera> Cameras() override;
  std::unique_ptr<firewire::DvReception> Receive(uint64_t guid, std::string* error) override;
  // The tape subunit: PLAY forward and forward pause, WIND stop, rewind and fast forward, and
  // the TRANSPORT STATE status; anything else is not implemented.
  std::vector<uint8_t> AvcCommand(uint64_t guid, std::span<const uint8_t> command) override;

 private:
  const std::shared_ptr<DvTape> tape_;
  const uint64_t guid_;
  const std::string name_;
  const std::function<bool()> present_;
};

}  // namespace vidorra::devices::replay
