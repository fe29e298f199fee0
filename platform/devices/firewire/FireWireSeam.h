// The thin seam between the DV camcorder backend and the IEEE 1394 bus (libraw1394 for the bus
// and the cameras' configuration ROMs, libiec61883 for the connection and the DV frames,
// libavc1394 for the AV/C commands of the tape transport). The real seam talks to the bus; tests
// put a fake in its place.
//
// Threads: Cameras, Receive and AvcCommand may be called on any thread (each opens its own handle); a
// reception belongs to the streaming thread that reads it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dv/DvFrame.h"

namespace vidorra::devices::firewire {

struct DvCamera {
  uint64_t guid = 0;  // the camera's EUI-64: the same on every bus, after every reset
  std::string name;   // vendor and model from its configuration ROM
  // The system it sends, when known before it sends (a camcorder on the bus says nothing of
  // it; a tape replayed from a file does).
  std::optional<dv::DvSystem> system = std::nullopt;
};

class DvReception {
 public:
  enum class Result {
    kFrame,        // *frame holds one whole DIF frame
    kBusReset,     // the bus was reset; the connection was made again (the stream goes on)
    kInterrupted,  // the interrupt descriptor became readable
    kTimedOut,     // no frame within the wait (a camera that is not playing sends none)
    kGone,         // the camera left the bus (or the adapter went)
  };
  virtual ~DvReception() = default;
  virtual Result Next(std::vector<uint8_t>* frame, int interruptFd, int timeoutMs) = 0;
  // Frames the reception left out since it began: those a reader too late pushed out of the
  // queue, those that came incomplete. Read on the reading thread.
  virtual uint64_t FramesLeftOut() const { return 0; }
};

class FireWireSeam {
 public:
  virtual ~FireWireSeam() = default;
  // The DV devices on every 1394 bus of the machine; none without an adapter.
  virtual std::vector<DvCamera> Cameras() = 0;
  // Connects to the camera's output plug and receives its DV frames; null (and the reason in
  // *error) when that fails.
  virtual std::unique_ptr<DvReception> Receive(uint64_t guid, std::string* error) = 0;
  // Sends one AV/C command frame (ctype, subunit address, opcode, operands, as on the wire) to
  // the camera and waits for its response frame (response code, subunit address, opcode,
  // operands); empty when none came (no answer within the retries, the camera not on the bus).
  // A bus that carries no AV/C commands answers none.
  virtual std::vector<uint8_t> AvcCommand(uint64_t guid, std::span<const uint8_t> command) {
    (void)guid;
    (void)command;
    return {};
  }
};

// A quadlet of a node's configuration ROM at a byte offset, in host order; none when it cannot
// be read.
using RomQuadletReader = std::function<std::optional<uint32_t>(uint64_t offset)>;

// The DV camera a configuration ROM describes: a node with an AV/C unit directory, named by the
// root directory's textual leaves (vendor, then model) and known by the EUI-64 of its bus
// information block. None for any other node, or when the ROM cannot be read that far.
std::optional<DvCamera> CameraOfConfigRom(const RomQuadletReader& read);

// The seam over libraw1394 and libiec61883.
std::shared_ptr<FireWireSeam> MakeLibRaw1394Seam();

}  // namespace vidorra::devices::firewire
