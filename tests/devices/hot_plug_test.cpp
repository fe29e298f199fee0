// Hot-plug: a device line removed from the machine file while the program runs unplugs the
// device (its stream stops, every graph holding it and no other gets EC_DEVICE_LOST with 0, its
// filter cannot run), the line added back plugs it in again (EC_DEVICE_LOST with 1), and lists
// made after the change show it.
#include "device_test_support.h"

namespace vidorra::test {
namespace {

constexpr REFERENCE_TIME kInterval = 400000;  // the grabber's 25 fps

const std::string kWith = "video capture Grabber\nvideo webcam Webcam\naudio tone Tone\n";

// A graph with the grabber's capture pin feeding a sink.
struct Capture {
  Capture() { pin = g.Capture(L"Grabber", sink.Get(), -1, &grabber); }
  ClockedGraph g;
  ComPtr<IBaseFilter> grabber;
  ComPtr<PatternSink> sink = MakeComObject<PatternSink>();
  ComPtr<IPin> pin;
};

TEST(HotPlug, UnpluggingStopsTheStreamTellsEveryGraphAndPluggingBackTellsThemAgain) {
  ScopedMachine machine(kWith);
  auto one = std::make_unique<Capture>();
  auto two = std::make_unique<Capture>();  // a second graph holding the same device
  ClockedGraph other;                      // a graph holding another device only
  ASSERT_TRUE(other.AddDevice(CLSID_VideoInputDeviceCategory, L"Webcam"));
  ClockedGraph sound;
  ComPtr<IBaseFilter> tone = sound.AddDevice(CLSID_AudioInputDeviceCategory, L"Tone");
  ComPtr<SoundSink> soundSink = MakeComObject<SoundSink>();
  ASSERT_EQ(S_OK, sound.ConnectToSink(CapturePinOf(tone.Get()).Get(), soundSink.Get()));
  ASSERT_EQ(S_OK, sound.Run());
  ASSERT_EQ(S_OK, one->g.Run());
  ASSERT_TRUE(StepFrames(one->g, one->pin.Get(), 3, kInterval));
  ASSERT_TRUE(WaitUntil([&] { return one->g.clock->PendingAdvises() > 0; }));

  machine.Rewrite("video webcam Webcam\n");  // the grabber and the tone unplugged
  for (auto* c : {one.get(), two.get()}) {
    const auto lost = NextGraphEvent(c->g.graph.Get(), {EC_DEVICE_LOST}, 10'000);
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->param2, 0) << "removed";
    EXPECT_TRUE(IsSameObject(reinterpret_cast<IUnknown*>(lost->param1), c->grabber.Get()));
  }
  EXPECT_EQ(NextDeviceLost(sound.graph.Get()), 0) << "a sound device is unplugged too";
  EXPECT_FALSE(NextGraphEvent(other.graph.Get(), {EC_DEVICE_LOST}, 0));
  // The stream stopped: the source no longer waits for its next frame.
  EXPECT_TRUE(WaitUntil([&] { return one->g.clock->PendingAdvises() == 0; }));
  one->g.AdvanceTo(10 * kInterval);
  EXPECT_EQ(one->sink->Count(), 3u);
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory), std::vector<std::wstring>{L"Webcam"});
  EXPECT_TRUE(FriendlyNames(CLSID_AudioInputDeviceCategory).empty());
  // A lost device cannot run: a clear error, not a hang, and the graph's other filters are
  // stopped again.
  one->g.Stop();
  sound.Stop();
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, one->g.Run());
  FILTER_STATE state = State_Paused;
  EXPECT_TRUE(one->sink->GetState(0, &state) == S_OK && state == State_Stopped);
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, two->grabber->Pause());
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, sound.Run());

  machine.Rewrite(kWith);
  for (auto* c : {one.get(), two.get()}) EXPECT_EQ(NextDeviceLost(c->g.graph.Get()), 1);
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory),
            (std::vector<std::wstring>{L"Grabber", L"Webcam"}));
  one->g.Stop();
  ASSERT_EQ(S_OK, one->g.Run());
  ASSERT_TRUE(WaitUntil([&] { return one->sink->Count() > 3; }));
  one->g.Stop();
}

}  // namespace
}  // namespace vidorra::test
