// Devices listed and bound: the simulated machine's lines in the video and audio capture
// categories in file order, binding, a broken device, two lines with one name, and the
// front-end filters of TV cards in the crossbar, tuner and TV audio categories; devices
// unplugged and plugged back.
#include "device_test_support.h"

namespace vidorra::test {
namespace {

constexpr const char* kMachine =
    "# a machine of every kind\n"
    "video dv Caméscope DV\n"
    "video webcam USB Camera\n"
    "video broken Dead Card\n"
    "video tv Carte TV\n"
    "video tv2 Double Tuner\n"
    "video webcam USB Camera\n"
    "audio tone Carte son\n"
    "audio tv-audio Son TV\n"
    "hide-filter Smart Tee\n";

TEST(DeviceEnumeration, ListsEveryLineInFileOrderWithItsFriendlyNameAndBindsIt) {
  ScopedMachine machine(kMachine);
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory),
            (std::vector<std::wstring>{L"Caméscope DV", L"USB Camera", L"Dead Card", L"Carte TV",
                                       L"Double Tuner", L"USB Camera"}));
  EXPECT_EQ(FriendlyNames(CLSID_AudioInputDeviceCategory),
            (std::vector<std::wstring>{L"Carte son", L"Son TV"}));
  EXPECT_EQ(FriendlyNames(AM_KSCATEGORY_CROSSBAR),
            (std::vector<std::wstring>{L"Carte TV Crossbar", L"Double Tuner Crossbar",
                                       L"Double Tuner Crossbar 2"}));
  EXPECT_EQ(FriendlyNames(AM_KSCATEGORY_TVTUNER),
            (std::vector<std::wstring>{L"Carte TV TV Tuner", L"Double Tuner TV Tuner"}));
  EXPECT_EQ(FriendlyNames(AM_KSCATEGORY_TVAUDIO),
            (std::vector<std::wstring>{L"Carte TV TV Audio", L"Double Tuner TV Audio"}));
  // Every entry has a class, and the two lines of one name have names of their own.
  const auto video = ListDevices(CLSID_VideoInputDeviceCategory);
  for (const ListedDevice& device : video) EXPECT_FALSE(device.clsid.empty());
  EXPECT_NE(video[1].displayName, video[5].displayName);
  // Binding makes a new filter each time; a broken device is listed but does not bind.
  ComPtr<IBaseFilter> a = BindDevice(CLSID_VideoInputDeviceCategory, L"Caméscope DV");
  ComPtr<IBaseFilter> b = BindDevice(CLSID_VideoInputDeviceCategory, L"Caméscope DV");
  ASSERT_TRUE(a && b);
  EXPECT_NE(a.Get(), b.Get());
  HRESULT hr = S_OK;
  EXPECT_FALSE(BindDevice(CLSID_VideoInputDeviceCategory, L"Dead Card", &hr));
  EXPECT_EQ(hr, VFW_E_NO_CAPTURE_HARDWARE);

  machine.Rewrite("hide-filter Smart Tee\n");  // a machine without devices lists none
  EXPECT_TRUE(WaitUntil([] { return ListDevices(CLSID_VideoInputDeviceCategory).empty(); }));
  EXPECT_TRUE(ListDevices(CLSID_AudioInputDeviceCategory).empty());
  EXPECT_TRUE(ListDevices(AM_KSCATEGORY_CROSSBAR).empty());
}

// Hot-plug: a device line removed from the machine file while the program runs unplugs the
// device (its stream stops, every graph holding it and no other gets EC_DEVICE_LOST with 0, its
// filter cannot run), the line added back plugs it in again (EC_DEVICE_LOST with 1), and lists
// made after the change show it.

constexpr REFERENCE_TIME kInterval = 400000;  // the grabber's 25 fps

const std::string kWith = "video capture Grabber\nvideo webcam Webcam\naudio tone Tone\n";
const std::string kWithout = "video webcam Webcam\n";

class HotPlug : public ::testing::Test {
 protected:
  // A graph with the grabber's capture pin (320x240) feeding a sink.
  struct Capture {
    ClockedGraph g;
    ComPtr<IBaseFilter> grabber;
    ComPtr<PatternSink> sink = MakeComObject<PatternSink>();
    ComPtr<IPin> pin;
  };
  std::unique_ptr<Capture> NewCapture() {
    auto c = std::make_unique<Capture>();
    c->grabber = c->g.AddDevice(CLSID_VideoInputDeviceCategory, L"Grabber");
    c->pin = CapturePinOf(c->grabber.Get());
    EXPECT_EQ(S_OK, c->g.ConnectToSink(c->pin.Get(), c->sink.Get(), c->sink->Input()));
    return c;
  }

  ScopedMachine machine_{kWith};
};

TEST_F(HotPlug, UnpluggingStopsTheStreamTellsEveryGraphAndPluggingBackTellsThemAgain) {
  auto one = NewCapture();
  auto two = NewCapture();  // a second graph holding the same device
  ClockedGraph other;       // a graph holding another device only
  ASSERT_TRUE(other.AddDevice(CLSID_VideoInputDeviceCategory, L"Webcam"));
  ClockedGraph sound;
  ComPtr<IBaseFilter> tone = sound.AddDevice(CLSID_AudioInputDeviceCategory, L"Tone");
  ComPtr<SoundSink> soundSink = MakeComObject<SoundSink>();
  ASSERT_EQ(S_OK, sound.ConnectToSink(CapturePinOf(tone.Get()).Get(), soundSink.Get(),
                                      soundSink->Input()));
  ASSERT_EQ(S_OK, sound.Run());
  ASSERT_EQ(S_OK, one->g.Run());
  ASSERT_TRUE(StepFrames(one->g, one->pin.Get(), 3, kInterval));
  ASSERT_TRUE(WaitUntil([&] { return one->g.clock->PendingAdvises() > 0; }));

  machine_.Rewrite(kWithout);
  for (auto* c : {one.get(), two.get()}) {
    const auto lost = NextGraphEvent(c->g.graph.Get(), {EC_DEVICE_LOST}, 10'000);
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->param2, 0) << "removed";
    EXPECT_TRUE(IsSameObject(reinterpret_cast<IUnknown*>(lost->param1), c->grabber.Get()));
  }
  EXPECT_EQ(NextDeviceLost(sound.graph.Get()), 0) << "a sound device is unplugged too";
  EXPECT_FALSE(EventQueued(other.graph.Get(), EC_DEVICE_LOST));
  // The stream stopped: the source no longer waits for its next frame.
  EXPECT_TRUE(WaitUntil([&] { return one->g.clock->PendingAdvises() == 0; }));
  one->g.AdvanceTo(10 * kInterval);
  EXPECT_EQ(one->sink->Count(), 3u);
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory), std::vector<std::wstring>{L"Webcam"});
  EXPECT_TRUE(FriendlyNames(CLSID_AudioInputDeviceCategory).empty());
  // A lost device cannot run: a clear error, not a hang.
  one->g.Stop();
  sound.Stop();
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, one->g.Run());
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, two->grabber->Pause());
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, sound.Run());

  machine_.Rewrite(kWith);
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
