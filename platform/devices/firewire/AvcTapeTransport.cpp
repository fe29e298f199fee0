// The AV/C tape transport; see AvcTapeTransport.h.
#include "AvcTapeTransport.h"

#include <vfwmsgs.h>
#include <vidorra_dv.h>

namespace vidorra::devices::firewire::avc {

std::optional<std::array<uint8_t, 4>> ModeCommand(long mode) {
  switch (mode) {
    case ED_MODE_PLAY: return std::array{kControl, kTapeSubunit, kOpPlay, kPlayForward};
    case ED_MODE_FREEZE: return std::array{kControl, kTapeSubunit, kOpPlay, kPlayForwardPause};
    case ED_MODE_STOP: return std::array{kControl, kTapeSubunit, kOpWind, kWindStop};
    case ED_MODE_REW: return std::array{kControl, kTapeSubunit, kOpWind, kWindRewind};
    case ED_MODE_FF: return std::array{kControl, kTapeSubunit, kOpWind, kWindFastForward};
    default: return std::nullopt;
  }
}

std::optional<long> ModeOfState(uint8_t opcode, uint8_t operand) {
  if (opcode == kOpWind) {
    switch (operand) {
      case kWindStop: return ED_MODE_STOP;
      case kWindRewind:
      case kWindHighSpeedRewind: return ED_MODE_REW;
      case kWindFastForward: return ED_MODE_FF;
      default: return std::nullopt;
    }
  }
  if (opcode != kOpPlay) return std::nullopt;
  // Paused play is either pause operand; the other play operands (slow, fast, reverse) all
  // move the tape with the picture on.
  if (operand == kPlayForwardPause || operand == kPlayReversePause) return ED_MODE_FREEZE;
  return ED_MODE_PLAY;
}

}  // namespace vidorra::devices::firewire::avc

namespace vidorra::devices::firewire {

AvcTapeTransport::AvcTapeTransport(std::shared_ptr<FireWireSeam> seam, uint64_t guid)
    : seam_(std::move(seam)), guid_(guid) {}

HRESULT AvcTapeTransport::Outcome(const std::vector<uint8_t>& response, size_t commandSize) {
  if (response.size() < commandSize) return E_FAIL;
  switch (response[0] & 0x0F) {
    case avc::kAccepted:
    case avc::kStable: return S_OK;
    case avc::kNotImplemented: return E_NOTIMPL;
    case avc::kRejected: return VFW_E_WRONG_STATE;
    default: return E_FAIL;  // an interim answer with no final one, or garbage
  }
}

HRESULT AvcTapeTransport::SetMode(long mode) {
  const auto command = avc::ModeCommand(mode);
  if (!command) return E_INVALIDARG;
  return Outcome(seam_->AvcCommand(guid_, *command), command->size());
}

HRESULT AvcTapeTransport::GetMode(long* mode) {
  if (!mode) return E_POINTER;
  constexpr std::array command{avc::kStatus, avc::kTapeSubunit, avc::kOpTransportState,
                               avc::kAskTransportState};
  const std::vector<uint8_t> response = seam_->AvcCommand(guid_, command);
  const HRESULT hr = Outcome(response, command.size());
  if (hr != S_OK) return hr;
  const auto known = avc::ModeOfState(response[2], response[3]);
  // A tape being recorded or loaded is nothing this program commands: it is not playing.
  *mode = known.value_or(ED_MODE_STOP);
  return S_OK;
}

}  // namespace vidorra::devices::firewire
