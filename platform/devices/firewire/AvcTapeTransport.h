// The tape transport of a DV camcorder, commanded with the AV/C tape recorder subunit's commands
// over the FireWire seam: PLAY (forward, forward pause), WIND (stop, rewind, fast forward) and
// the TRANSPORT STATE status that says what the tape is doing.
//
// The frames, the responses and what they mean to a caller (the ED_MODE_ values and the
// failures of IDvTapeTransport) are all here; the seam only carries the bytes. Any thread; each
// command is one exchange on the bus.
#pragma once

#include <wtypes.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "DeviceBackend.h"
#include "FireWireSeam.h"

namespace vidorra::devices::firewire::avc {

// Frame bytes: command types, response codes, the tape subunit's address, its opcodes and
// operands.
inline constexpr uint8_t kControl = 0x00;
inline constexpr uint8_t kStatus = 0x01;
inline constexpr uint8_t kNotImplemented = 0x08;
inline constexpr uint8_t kAccepted = 0x09;
inline constexpr uint8_t kRejected = 0x0A;
inline constexpr uint8_t kStable = 0x0C;  // also "implemented"
inline constexpr uint8_t kInterim = 0x0F;
inline constexpr uint8_t kTapeSubunit = 0x20;  // tape recorder/player (type 4), id 0
inline constexpr uint8_t kOpPlay = 0xC3;
inline constexpr uint8_t kOpWind = 0xC4;
inline constexpr uint8_t kOpTransportState = 0xD0;
inline constexpr uint8_t kPlayForward = 0x75;
inline constexpr uint8_t kPlayForwardPause = 0x7D;
inline constexpr uint8_t kPlayReversePause = 0x6D;
inline constexpr uint8_t kWindStop = 0x60;
inline constexpr uint8_t kWindRewind = 0x65;
inline constexpr uint8_t kWindHighSpeedRewind = 0x45;
inline constexpr uint8_t kWindFastForward = 0x75;
inline constexpr uint8_t kAskTransportState = 0x7F;

// The command frame that puts the transport in `mode` (an ED_MODE_ value); none for another.
std::optional<std::array<uint8_t, 4>> ModeCommand(long mode);
// The ED_MODE_ value a TRANSPORT STATE response's opcode and operand stand for; none for a
// state this program does not drive (recording, loading a cassette).
std::optional<long> ModeOfState(uint8_t opcode, uint8_t operand);

}  // namespace vidorra::devices::firewire::avc

namespace vidorra::devices::firewire {

class AvcTapeTransport : public TapeTransportBackend {
 public:
  AvcTapeTransport(std::shared_ptr<FireWireSeam> seam, uint64_t guid);

  HRESULT SetMode(long mode) override;
  HRESULT GetMode(long* mode) override;

 private:
  // The response's meaning for a command: S_OK accepted (or a stable status), E_NOTIMPL,
  // VFW_E_WRONG_STATE rejected, E_FAIL no or a malformed answer.
  static HRESULT Outcome(const std::vector<uint8_t>& response, size_t commandSize);

  const std::shared_ptr<FireWireSeam> seam_;
  const uint64_t guid_;
};

}  // namespace vidorra::devices::firewire
