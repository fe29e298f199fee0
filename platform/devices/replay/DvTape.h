// A DV camcorder playing a tape, for the simulated machine's `video dvfile PATH`: the FireWire
// seam of one camera whose tape is a raw DV file (DIF frames, PAL or NTSC, as `ffmpeg -f dv`
// writes them or a camcorder's tape holds them), so that the real FireWire DV backend runs
// against it.
//
// The tape (DvTape) keeps its position while its line is in the machine file: a reception
// plays it from there in real time, at the system's frame rate (the system of its first
// frame), frame after frame as the file holds them, damaged ones included; a reader that falls
// more than a few frames behind loses the oldest, as the bus's queue would. At the end of the
// recorded area the camcorder stops sending (no frame comes, the reception times out) and
// stays there. Between receptions the tape does not move.
//
// Threads: the tape is shared by its receptions and the catalog (a mutex guards its position
// and file); a reception belongs to the streaming thread that reads it.
#pragma once

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

  dv::DvSystem System() const { return system_; }
  // Whole frames on the tape, and the one the next reading gives.
  size_t Frames() const { return frames_; }
  size_t Position();
  void SetPosition(size_t frame);

  // The frame at the position, which then moves on; false at the end of the tape (or on a read
  // error, which ends what can be played).
  bool ReadNext(std::vector<uint8_t>* frame);
  // Moves on by `count` frames without reading them (frames lost by a late reader).
  void Skip(size_t count);

 private:
  DvTape(int fd, dv::DvSystem system, size_t frames);

  const int fd_;
  const dv::DvSystem system_;
  const size_t frames_;
  std::mutex mutex_;
  size_t position_ = 0;
};

// The seam of the one camera that plays `tape`: it is on the bus while `present` says so.
class DvTapeSeam : public firewire::FireWireSeam {
 public:
  DvTapeSeam(std::shared_ptr<DvTape> tape, uint64_t guid, std::string name,
             std::function<bool()> present);

  std::vector<firewire::DvCamera> Cameras() override;
  std::unique_ptr<firewire::DvReception> Receive(uint64_t guid, std::string* error) override;

 private:
  const std::shared_ptr<DvTape> tape_;
  const uint64_t guid_;
  const std::string name_;
  const std::function<bool()> present_;
};

}  // namespace vidorra::devices::replay
