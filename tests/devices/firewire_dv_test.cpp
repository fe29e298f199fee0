// DV camcorders on IEEE 1394, against a fake of the bus seam fed with DIF frames made by our
// encoder: the listing (names, stable identities, no adapter no entry), streaming as
// MEDIATYPE_Interleaved through a bus reset, a frame of the other system dropped and counted,
// and the camera unplugged reported as the device lost.
#include <FilterPins.h>
#include <poll.h>

#include <deque>
#include <mutex>

#include "device_test_support.h"
#include "firewire/FireWireDv.h"
#include "sim/DvCamcorderFrames.h"

namespace vidorra::test {
namespace {

using devices::DeviceEntry;
using devices::firewire::DvCamera;
using devices::firewire::DvReception;
using devices::firewire::FireWireDevices;
using devices::firewire::FireWireSeam;

// One DIF frame of the test pattern numbered `number`.
std::vector<uint8_t> DifFrame(dv::DvSystem system, uint64_t number) {
  auto maker = devices::sim::DvCamcorderFrames::Create(system);
  EXPECT_TRUE(maker);
  std::vector<uint8_t> frame(dv::FactsOf(system).frameBytes);
  if (!maker) return frame;
  devices::sim::PatternScene scene;
  scene.frameNumber = number;
  EXPECT_EQ(S_OK, maker->Make(scene, frame));
  return frame;
}

// What the fake bus does, step by step, on each read.
struct Step {
  DvReception::Result result = DvReception::Result::kFrame;
  std::vector<uint8_t> frame;
};

class FakeReception : public DvReception {
 public:
  explicit FakeReception(std::deque<Step> steps) : steps_(std::move(steps)) {}
  Result Next(std::vector<uint8_t>* frame, int interruptFd, int timeoutMs) override {
    if (steps_.empty()) {
      pollfd fd{interruptFd, POLLIN, 0};
      return ::poll(&fd, 1, timeoutMs) > 0 ? Result::kInterrupted : Result::kTimedOut;
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    if (step.result == Result::kFrame) *frame = std::move(step.frame);
    return step.result;
  }

 private:
  std::deque<Step> steps_;
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

TEST(FireWireDv, ListsCamerasByNameWithStableIdentities) {
  auto bus = std::make_shared<FakeBus>();
  const std::vector<DeviceEntry> entries = FireWireDevices(bus).Devices();
  std::vector<std::wstring> listed;
  for (const DeviceEntry& entry : entries) {
    listed.push_back(entry.friendlyName + L" " + entry.displayName);
    EXPECT_EQ(entry.category, CLSID_VideoInputDeviceCategory);
  }
  EXPECT_EQ(listed, (std::vector<std::wstring>{L"Camcorder DV-100 @device:1394:0800460102030405",
                                               L"Camcorder DV-100 #2 @device:1394:0800460102030999"}));
  bus->cameras.clear();
  EXPECT_TRUE(FireWireDevices(bus).Devices().empty()) << "no adapter or camera, no entry";
  // The real bus of this machine, which has no adapter.
  ScopedMachine machine("real-devices\n");
  for (const ListedDevice& device : ListDevices(CLSID_VideoInputDeviceCategory)) {
    EXPECT_NE(device.displayName.rfind(L"@device:1394:", 0), 0u)
        << "this machine has no 1394 adapter";
  }
}

TEST(FireWireDv, StreamsInterleavedDvThroughABusResetUntilUnplugged) {
  auto bus = std::make_shared<FakeBus>();
  constexpr uint64_t kFrames = 8;
  constexpr uint64_t kNtscAt = 5;
  std::vector<std::vector<uint8_t>> sent;
  for (uint64_t n = 0; n < kFrames; ++n) {
    sent.push_back(DifFrame(n == kNtscAt ? dv::DvSystem::k525_60 : dv::DvSystem::k625_50, n));
    bus->steps.push_back({DvReception::Result::kFrame, sent.back()});
    if (n == 3) bus->steps.push_back({DvReception::Result::kBusReset, {}});
  }
  bus->steps.push_back({DvReception::Result::kGone, {}});

  ComPtr<IBaseFilter> camera;
  ASSERT_EQ(S_OK, FireWireDevices(bus).Devices().at(0).create(camera.GetAddressOf()));
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
  for (const auto& frame : frames) {
    const LONGLONG number = frame.mediaStart;  // the camera's frame number
    ASSERT_GE(number, 0);
    ASSERT_LT(number, static_cast<LONGLONG>(kFrames));
    EXPECT_NE(number, static_cast<LONGLONG>(kNtscAt)) << "the NTSC frame is not PAL";
    EXPECT_TRUE(frame.bytes == sent[static_cast<size_t>(number)]) << "frame " << number;
    afterReset = afterReset || number > 3;
  }
  EXPECT_TRUE(afterReset) << "the stream goes on after the bus reset";
}

}  // namespace
}  // namespace vidorra::test
