// DV camcorders on IEEE 1394, against a fake of the bus seam fed with DIF frames made by our
// encoder: the listing (names, stable identities, no adapter no entry), streaming as
// MEDIATYPE_Interleaved through a bus reset, a frame of the other system dropped and counted,
// and the camera unplugged reported as the device lost; the frames' steady stamps. Cameras known
// by their configuration ROMs.
#include <poll.h>

#include <deque>

#include "device_test_support.h"
#include "firewire/FireWireDv.h"
#include "firewire/FireWireSeam.h"

namespace vidorra::test {
namespace {

using devices::DeviceEntry;
using namespace devices::firewire;

constexpr auto kPeriod = std::chrono::milliseconds(40);

// What the fake bus does, step by step, on each read. Frames come a period apart, or later.
struct Step {
  DvReception::Result result = DvReception::Result::kFrame;
  std::vector<uint8_t> frame;
  std::chrono::milliseconds lateBy{0};  // the reader gets it this late
  uint64_t leftOutBefore = 0;           // frames the bus left out before it
};

class FakeReception : public DvReception {
 public:
  explicit FakeReception(std::deque<Step> steps) : steps_(std::move(steps)) {}
  Result Next(std::vector<uint8_t>* frame, int interruptFd, int timeoutMs) override {
    pollfd fd{interruptFd, POLLIN, 0};
    if (steps_.empty()) return ::poll(&fd, 1, timeoutMs) > 0 ? Result::kInterrupted : Result::kTimedOut;
    Step step = std::move(steps_.front());
    steps_.pop_front();
    if (step.result != Result::kFrame) return step.result;
    const auto now = std::chrono::steady_clock::now();
    if (!start_) start_ = now;
    leftOut_ += step.leftOutBefore;
    sent_ += step.leftOutBefore + 1;
    const auto due = *start_ + kPeriod * sent_ + step.lateBy;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
    if (wait > 0 && ::poll(&fd, 1, static_cast<int>(wait)) > 0) return Result::kInterrupted;
    *frame = std::move(step.frame);
    return Result::kFrame;
  }
  uint64_t FramesLeftOut() const override { return leftOut_; }

 private:
  std::deque<Step> steps_;
  std::optional<std::chrono::steady_clock::time_point> start_;
  int64_t sent_ = 0;
  uint64_t leftOut_ = 0;
};

class FakeBus : public FireWireSeam {
 public:
  std::vector<DvCamera> Cameras() override {
    std::lock_guard lock(mutex);
    return cameras;
  }
  std::unique_ptr<DvReception> Receive(uint64_t guid, std::string* error) override {
    std::lock_guard lock(mutex);
    for (const DvCamera& camera : cameras) {
      if (camera.guid == guid) return std::make_unique<FakeReception>(steps);
    }
    *error = "not on the bus";
    return nullptr;
  }
  std::mutex mutex;
  std::vector<DvCamera> cameras = {{0x0800460102030405ull, "Camcorder DV-100"},
                                   {0x0800460102030999ull, "Camcorder DV-100"}};
  std::deque<Step> steps;
};

// The cameras listed by name with stable identities (no adapter or camera, no entry); the
// first one streams. Also: a frame that reaches the reader late keeps its place in time, frames
// the bus left out are counted as dropped and leave their time free.
TEST(FireWireDv, ListsCamerasAndStreamsInterleavedDvThroughABusResetUntilUnplugged) {
  auto bus = std::make_shared<FakeBus>();
  const std::vector<DeviceEntry> entries = FireWireDevices(bus).Devices();
  std::vector<std::wstring> listed;
  for (const DeviceEntry& entry : entries) {
    listed.push_back(entry.friendlyName + L" " + entry.displayName);
    EXPECT_EQ(entry.category, CLSID_VideoInputDeviceCategory);
  }
  EXPECT_EQ(listed,
            (std::vector<std::wstring>{L"Camcorder DV-100 @device:1394:0800460102030405",
                                       L"Camcorder DV-100 #2 @device:1394:0800460102030999"}));
  constexpr uint64_t kFrames = 10, kNtscAt = 5, kLateAt = 2, kLeftOutBefore = 7;
  std::vector<std::vector<uint8_t>> sent;
  for (uint64_t n = 0; n < kFrames; ++n) {
    sent.push_back(
        CamcorderFrames(n == kNtscAt ? dv::DvSystem::k525_60 : dv::DvSystem::k625_50, n, 1));
    if (n == kLeftOutBefore - 1) continue;
    bus->steps.push_back({DvReception::Result::kFrame, sent.back(),
                          n == kLateAt ? std::chrono::milliseconds(90) : std::chrono::milliseconds(0),
                          n == kLeftOutBefore ? 1u : 0u});
    if (n == 3) bus->steps.push_back({DvReception::Result::kBusReset, {}});
  }
  bus->steps.push_back({DvReception::Result::kGone, {}});

  ComPtr<IBaseFilter> camera;
  ASSERT_EQ(S_OK, entries.at(0).create(camera.GetAddressOf()));
  ComPtr<IGraphBuilder> graph = NewGraph();
  auto sink = MakeComObject<RecordingSink>(RecordingSinkOptions{
      .majorType = MEDIATYPE_Interleaved, .subtype = MEDIASUBTYPE_dvsd, .keepBytes = true});
  ASSERT_EQ(S_OK, AddFilters(graph.Get(), {{camera.Get(), L"DV camera"}, {sink.Get(), L"Sink"}}));
  ComPtr<IPin> pin = CapturePinOf(camera.Get());
  ASSERT_TRUE(pin);
  EXPECT_TRUE(PinNamed(camera.Get(), L"DV A/V Out"));
  ASSERT_EQ(S_OK, graph->ConnectDirect(pin.Get(), sink->Input(), nullptr));
  ASSERT_TRUE(SUCCEEDED(RunGraph(graph.Get())));
  ASSERT_TRUE(WaitForGraphEvent(graph.Get(), EC_DEVICE_LOST)) << "unplugged";
  EXPECT_EQ(S_OK, StopGraph(graph.Get()));

  const auto frames = sink->Samples();
  EXPECT_EQ(frames.size() + static_cast<size_t>(Dropped(pin.Get())), kFrames);
  bool afterReset = false;
  for (size_t i = 1; i < frames.size(); ++i) {
    // At most the frames' distance apart (a frame found late by a busy reader moves the stamps
    // back, never apart).
    const LONGLONG apart = frames[i].mediaStart - frames[i - 1].mediaStart;
    EXPECT_LE(frames[i].start - frames[i - 1].start, apart * 400000) << "frame " << frames[i].mediaStart;
  }
  for (const auto& frame : frames) {
    const LONGLONG number = frame.mediaStart;  // the camera's frame number
    ASSERT_GE(number, 0);
    ASSERT_LT(number, static_cast<LONGLONG>(kFrames));
    EXPECT_NE(number, static_cast<LONGLONG>(kNtscAt)) << "the NTSC frame is not PAL";
    EXPECT_TRUE(frame.bytes == sent[static_cast<size_t>(number)]) << "frame " << number;
    afterReset = afterReset || number > 3;
  }
  EXPECT_TRUE(afterReset) << "the stream goes on after the bus reset";
  bus->cameras.clear();
  EXPECT_TRUE(FireWireDevices(bus).Devices().empty()) << "no adapter or camera, no entry";
}

// A node is a camera when its configuration ROM has an AV/C unit directory; its name is its
// textual leaves' (vendor, then model) as far as they can be read, its identity its EUI-64.
TEST(FireWireDv, CamerasAreKnownByTheirConfigurationRom) {
  const std::vector<uint32_t> acme = {
      0x0404A1B2, 0x31333934, 0x0000A002, 0x08004601, 0x0A0B0C0D,   // bus information block
      0x00030000, 0xD1000003, 0x81000005, 0x81000008,               // root: unit, vendor, model
      0x00020000, 0x1200A02D, 0x13010001,                           // an AV/C unit
      0x00030000, 0,          0,          0x41636D65,               // "Acme"
      0x00040000, 0,          0,          0x4D6F6465, 0x6C203900};  // "Model 9"
  const auto nameOf = [](const std::vector<uint32_t>& rom, size_t readable = 99) -> std::string {
    const auto camera = devices::firewire::CameraOfConfigRom([&](uint64_t offset) {
      const bool read = offset % 4 == 0 && offset / 4 < std::min(readable, rom.size());
      return read ? std::optional(rom[offset / 4]) : std::nullopt;  // quadlets only
    });
    if (!camera) return "none";
    return camera->guid == 0x080046010A0B0C0D ? camera->name : "another EUI-64";
  };
  auto otherUnit = acme, noTexts = acme;
  otherUnit[11] = 0x13010002;
  noTexts[7] = noTexts[8] = 0x0C0083C0;  // node capabilities in their place
  EXPECT_EQ(nameOf(acme), "Acme Model 9");
  EXPECT_EQ(nameOf(acme, 20), "Acme Mode");
  EXPECT_EQ(nameOf(otherUnit), "none");
  EXPECT_EQ(nameOf(noTexts), "DV camcorder");
}

// A frame that reaches the reader late keeps its place; the stream standing still, frames left
// out, an early first frame and a camcorder clock slower than ours move the origin. In ms.
TEST(FireWireDv, FramesAreStampedAtTheCamcordersSteadyRate) {
  using devices::firewire::SteadyFrameStamps;
  constexpr int64_t kMs = 10000;
  struct Frame {
    uint64_t number;
    int64_t arrivedMs;  // when its capture began as its arrival says
    int64_t stampMs;
  };
  struct Row {
    const char* name;
    std::vector<Frame> frames;
  };
  std::vector<Frame> slowClock = {{0, 0, 0}};
  for (uint64_t n = 1; n <= 200; ++n) {
    const auto at = static_cast<int64_t>(n) * 40;
    slowClock.push_back({n, at + 7, n < 200 ? at : at + 7});
  }
  const Row rows[] = {
      {"late frames keep their places", {{0, 0, 0}, {1, 40, 40}, {2, 140, 80}, {3, 125, 120}}},
      {"an early frame moves the origin back", {{0, 30, 30}, {1, 40, 40}, {2, 85, 80}}},
      {"a stream that stood still", {{0, 0, 0}, {1, 40, 40}, {2, 1000, 1000}, {3, 1045, 1040}}},
      {"frames left out", {{0, 0, 0}, {1, 40, 40}, {4, 180, 160}, {5, 200, 200}}},
      {"a slower clock, after a window of late frames", slowClock},
  };
  static_assert(SteadyFrameStamps::kWindowFrames == 100);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SteadyFrameStamps stamps(40 * kMs, 12);
    for (const Frame& f : row.frames) {
      EXPECT_EQ(stamps.Stamp(f.number, f.arrivedMs * kMs), f.stampMs * kMs) << "frame " << f.number;
    }
  }
}

}  // namespace
}  // namespace vidorra::test
