// The camcorder's tape transport over AV/C: the command frames sent and the answers understood
// (against a fake bus), and the `dvfile` camcorder's tape moved by them: played, paused, wound
// back and forth at ten times the playing rate, stopped at its ends.
#include <vidorra_dv.h>

#include "device_test_support.h"
#include "firewire/AvcTapeTransport.h"
#include "replay/DvTape.h"

namespace vidorra::test {
namespace {

using namespace devices::firewire;
namespace avc = devices::firewire::avc;

constexpr uint64_t kGuid = 0x0800460102030405;

// Answers every command with the response code (and state) it is given; keeps what it was sent.
class FakeAvcBus : public FireWireSeam {
 public:
  std::vector<DvCamera> Cameras() override { return {}; }
  std::unique_ptr<DvReception> Receive(uint64_t, std::string*) override { return nullptr; }
  std::vector<uint8_t> AvcCommand(uint64_t guid, std::span<const uint8_t> command) override {
    sent.emplace_back(command.begin(), command.end());
    if (guid != kGuid || !answer) return {};
    std::vector<uint8_t> response(command.begin(), command.end());
    response[0] = *answer;
    if (state) std::tie(response[2], response[3]) = *state;
    return response;
  }
  std::optional<uint8_t> answer;
  std::optional<std::pair<uint8_t, uint8_t>> state;
  std::vector<std::vector<uint8_t>> sent;
};

TEST(AvcTapeTransport, SendsTheTapeSubunitsCommandsAndUnderstandsTheAnswers) {
  auto bus = std::make_shared<FakeAvcBus>();
  AvcTapeTransport transport(bus, kGuid);
  const std::vector<std::pair<long, std::vector<uint8_t>>> commands = {
      {ED_MODE_PLAY, {0x00, 0x20, 0xC3, 0x75}}, {ED_MODE_FREEZE, {0x00, 0x20, 0xC3, 0x7D}},
      {ED_MODE_STOP, {0x00, 0x20, 0xC4, 0x60}}, {ED_MODE_REW, {0x00, 0x20, 0xC4, 0x65}},
      {ED_MODE_FF, {0x00, 0x20, 0xC4, 0x75}},
  };
  bus->answer = avc::kAccepted;
  for (const auto& [mode, bytes] : commands) {
    EXPECT_EQ(S_OK, transport.SetMode(mode)) << mode;
    EXPECT_EQ(bus->sent.back(), bytes) << mode;
  }
  const size_t sent = bus->sent.size();
  EXPECT_EQ(E_INVALIDARG, transport.SetMode(ED_MODE_PLAY + 6));  // recording: never asked for
  EXPECT_EQ(sent, bus->sent.size());

  const std::vector<std::pair<std::optional<uint8_t>, HRESULT>> answers = {
      {avc::kNotImplemented, E_NOTIMPL}, {avc::kRejected, VFW_E_WRONG_STATE},
      {avc::kInterim, E_FAIL}, {std::nullopt, E_FAIL},
  };
  long mode = 0;
  for (const auto& [answer, expected] : answers) {
    bus->answer = answer;
    EXPECT_EQ(expected, transport.SetMode(ED_MODE_PLAY));
    EXPECT_EQ(expected, transport.GetMode(&mode));
  }

  const std::vector<std::pair<std::pair<uint8_t, uint8_t>, long>> states = {
      {{0xC3, 0x75}, ED_MODE_PLAY}, {{0xC3, 0x7D}, ED_MODE_FREEZE}, {{0xC3, 0x3F}, ED_MODE_PLAY},
      {{0xC4, 0x60}, ED_MODE_STOP}, {{0xC4, 0x65}, ED_MODE_REW},    {{0xC4, 0x45}, ED_MODE_REW},
      {{0xC4, 0x75}, ED_MODE_FF},   {{0xC2, 0x75}, ED_MODE_STOP},   {{0xC3, 0x6D}, ED_MODE_FREEZE},
  };
  bus->answer = avc::kStable;
  for (const auto& [state, expected] : states) {
    bus->state = state;
    ASSERT_EQ(S_OK, transport.GetMode(&mode));
    EXPECT_EQ(expected, mode) << std::hex << int(state.first) << " " << int(state.second);
    EXPECT_EQ(bus->sent.back(), (std::vector<uint8_t>{0x01, 0x20, 0xD0, 0x7F}));
  }
}

TEST(DvTapeCamcorder, TheTransportMovesTheTape) {
  TempDir dir;
  WriteTape(dir.File("tape.dv"), dv::DvSystem::k625_50, 125);
  std::string error;
  auto tape = devices::replay::DvTape::Open(dir.File("tape.dv"), &error);
  ASSERT_TRUE(tape) << error;
  auto seam = std::make_shared<devices::replay::DvTapeSeam>(tape, kGuid, "DV", [] { return true; });
  AvcTapeTransport transport(seam, kGuid);
  const auto modeNow = [&] {
    long mode = 0;
    return transport.GetMode(&mode) == S_OK ? mode : -1;
  };
  EXPECT_EQ(ED_MODE_PLAY, modeNow()) << "a camcorder its owner pressed Play on";

  auto reception = seam->Receive(kGuid, &error);
  ASSERT_TRUE(reception);
  std::vector<uint8_t> frame;
  ASSERT_EQ(DvReception::Result::kFrame, reception->Next(&frame, -1, 1000));
  ASSERT_EQ(DvReception::Result::kFrame, reception->Next(&frame, -1, 1000));
  EXPECT_EQ(2u, tape->Position());

  ASSERT_EQ(S_OK, transport.SetMode(ED_MODE_FREEZE));
  EXPECT_EQ(ED_MODE_FREEZE, modeNow());
  EXPECT_EQ(DvReception::Result::kTimedOut, reception->Next(&frame, -1, 150));
  EXPECT_EQ(2u, tape->Position());

  // Wound at ten times the playing rate (250 frames a second for PAL), stopping at each end.
  const struct {
    long mode;
    size_t from, to;
  } winds[] = {{ED_MODE_REW, 100, 0}, {ED_MODE_FF, 25, 125}};
  for (const auto& wind : winds) {
    tape->SetPosition(wind.from);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(S_OK, transport.SetMode(wind.mode));
    EXPECT_EQ(wind.mode, modeNow());
    ASSERT_TRUE(WaitUntil([&] { return modeNow() == ED_MODE_STOP; }));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(wind.to, tape->Position());
    EXPECT_GE(took.count(), 0.9 * 0.04 * 100 / 10) << "not faster than ten times the rate";
    EXPECT_EQ(DvReception::Result::kTimedOut, reception->Next(&frame, -1, 50)) << "no picture";
  }

  // Played to its end, the tape stops there.
  tape->SetPosition(120);
  ASSERT_EQ(S_OK, transport.SetMode(ED_MODE_PLAY));
  int played = 0;
  while (reception->Next(&frame, -1, 300) == DvReception::Result::kFrame) ++played;
  EXPECT_EQ(5, played);
  EXPECT_EQ(ED_MODE_STOP, modeNow());
  EXPECT_EQ(125u, tape->Position());
}

}  // namespace
}  // namespace vidorra::test
