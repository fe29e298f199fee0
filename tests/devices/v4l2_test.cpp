// V4L2 devices over a fake of the V4L2 seam: the listing (capture nodes only, unique names,
// stable identities), formats and capabilities, SetFormat, streaming with time stamps on the
// graph clock and dropped frames counted from the driver's sequence numbers, an unplug
// mid-stream and the device's return, the controls as IAMVideoProcAmp and IAMCameraControl
// and their page, the analogue inputs as a crossbar; and udev's enumeration of this machine.
#include <devmoniker.h>
#include <modal_dialog_driver.h>
#include <olectl.h>
#include <vidorra_pages.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <cmath>
#include <filesystem>

#include "device_test_support.h"
#include "TestV4l2Fake.h"
#include "v4l2/V4l2Controls.h"
#include "v4l2/V4l2Crossbar.h"
#include "v4l2/V4l2Devices.h"

namespace vidorra::test {
namespace {

using devices::v4l2::V4l2Devices;

constexpr REFERENCE_TIME kSecond = 10'000'000;
constexpr REFERENCE_TIME kMs = 10'000;
constexpr const char* kWebcamId = "usb-Acme_HD_Webcam_1234-video-index0";

FakeNode Webcam(const std::string& devnode = "/dev/video0") {
  FakeNode node;
  node.devnode = devnode;
  node.links = {std::string("/dev/v4l/by-id/") + kWebcamId,
                "/dev/v4l/by-path/pci-0000:00:14.0-usb-0:1:1.0-video-index0"};
  node.card = "HD Webcam";
  node.busInfo = "usb-0000:00:14.0-1";
  node.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}, {320, 240}}, {{1, 30}, {1, 15}}},
                  {V4L2_PIX_FMT_SGRBG8, {{640, 480}}, {{1, 30}}},  // raw Bayer: listed, not shown
                  {V4L2_PIX_FMT_MJPEG, {{1280, 720}}, {{1, 30}}}};
  node.currentFormat = 2;
  node.extraBytesPerLine = 16;
  node.controls = {
      IntegerControl(V4L2_CID_BRIGHTNESS, "Brightness", 0, 255, 1, 128),
      IntegerControl(V4L2_CID_CONTRAST, "Contrast", 0, 100, 1, 50),
      BooleanControl(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", 1),
      IntegerControl(V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", 2800, 6500,
                     10, 4600),
      MenuControl(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency",
                  {"Disabled", "50 Hz", "60 Hz"}, 1),
      MenuControl(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure",
                  {"Auto Mode", "Manual Mode", "Shutter Priority Mode", "Aperture Priority Mode"},
                  3),
      IntegerControl(V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", 3, 2047, 1, 250),
  };
  return node;
}

FakeNode Node(const std::string& devnode, const std::string& card, const std::string& bus,
              uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING) {
  FakeNode node;
  node.devnode = devnode;
  node.card = card;
  node.busInfo = bus;
  node.deviceCaps = caps;
  node.formats = {{V4L2_PIX_FMT_YUYV, {{320, 240}}, {{1, 25}}}};
  return node;
}

FakeNode Grabber() {
  FakeNode node = Node("/dev/video4", "Grabber", "pci-0000:03:00.0");
  node.inputs = {Input(0, "Composite1", V4L2_INPUT_TYPE_CAMERA, 1),
                 Input(1, "S-Video", V4L2_INPUT_TYPE_CAMERA, 1)};
  node.audios = {AudioInput(0, "Line")};
  return node;
}

class V4l2 : public ::testing::Test {
 protected:
  void SetUp() override { V4l2Devices::Instance().UseForTesting(fake_, fake_); }
  void TearDown() override { V4l2Devices::Instance().UseForTesting(nullptr, nullptr); }

  // The webcam's capture pin connected to the sink in g_.
  ComPtr<IPin> ConnectWebcam() {
    source_ = g_.AddDevice(CLSID_VideoInputDeviceCategory, L"HD Webcam");
    EXPECT_TRUE(source_);
    if (!source_) return nullptr;
    ComPtr<IPin> pin = CapturePinOf(source_.Get());
    EXPECT_EQ(S_OK, g_.ConnectToSink(pin.Get(), sink_.Get(), sink_->Input()));
    return pin;
  }
  // Runs g_ and waits until the device streams and the filter waits for its frames (what
  // the driver fills before is thrown away with the frames of the pause).
  void Run(const std::string& devnode = "/dev/video0") {
    ASSERT_EQ(S_OK, g_.Run());
    ASSERT_TRUE(WaitUntil([&] { return fake_->Streaming(devnode) && fake_->Polling() > 0; }));
  }
  // Captures one frame and waits for the sink to have `count` samples.
  bool Frame(uint32_t sequence, size_t count, REFERENCE_TIME age = 0) {
    return WaitUntil([&] { return fake_->Capture("/dev/video0", sequence, age); }) &&
           WaitUntil([&] { return sink_->Count() >= count; });
  }

  std::shared_ptr<FakeV4l2> fake_ = std::make_shared<FakeV4l2>();
  MachineFile machine_{"video webcam Sim Cam\nreal-devices\n"};
  ClockedGraph g_;
  ComPtr<IBaseFilter> source_;
  ComPtr<BytesSink> sink_ = MakeComObject<BytesSink>();
};

TEST_F(V4l2, ListsCaptureNodesOnceWithUniqueNamesAndStableIdentities) {
  fake_->Plug(Webcam("/dev/video0"));
  fake_->Plug(Node("/dev/video1", "HD Webcam", "usb-0000:00:14.0-1",
                   V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING));
  fake_->Plug(Node("/dev/video2", "HD Webcam", "usb-0000:00:14.0-2"));
  fake_->Plug(Node("/dev/video3", "Loopback", "platform:v4l2loopback-000",
                   V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING));
  fake_->Plug(Grabber());
  const auto listing = V4l2Devices::Instance().Listing();
  ASSERT_EQ(listing.size(), 3u);
  EXPECT_EQ(listing[0].displayName, L"@device:v4l2:pci-0000:03:00.0");
  EXPECT_EQ(listing[1].displayName, L"@device:v4l2:" + Utf8ToWide(kWebcamId));
  EXPECT_EQ(listing[2].displayName, L"@device:v4l2:usb-0000:00:14.0-2");
  // After the simulated machine's devices, in the system device enumerator.
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory),
            (std::vector<std::wstring>{L"Sim Cam", L"Grabber", L"HD Webcam", L"HD Webcam #2"}));
  EXPECT_EQ(FriendlyNames(AM_KSCATEGORY_CROSSBAR),
            (std::vector<std::wstring>{L"Grabber Crossbar"}));

  // Plugged in again under another node, the webcam keeps its name: a stored moniker binds it.
  ComPtr<IMoniker> stored;
  ASSERT_EQ(S_OK, CreateDeviceMoniker(listing[1].displayName, stored.GetAddressOf()));
  fake_->Unplug("/dev/video0");
  fake_->Plug(Webcam("/dev/video7"));
  const std::wstring webcam = listing[1].displayName;
  ASSERT_TRUE(WaitUntil([&] { return V4l2Devices::Instance().NodeOf(webcam) == "/dev/video7"; }));
  ComPtr<IBaseFilter> bound;
  EXPECT_EQ(S_OK, stored->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                       reinterpret_cast<void**>(bound.GetAddressOf())));
  EXPECT_TRUE(bound);

  // A simulated machine without `real-devices` lists only its own.
  machine_.Rewrite("video webcam Sim Cam\n");
  EXPECT_TRUE(WaitUntil([] {
    return FriendlyNames(CLSID_VideoInputDeviceCategory) == std::vector<std::wstring>{L"Sim Cam"};
  }));
}

// The subtype of a fourcc media type.
GUID FourccSubtype(uint32_t fourcc) {
  GUID subtype = MEDIASUBTYPE_YUY2;
  subtype.Data1 = fourcc;
  return subtype;
}

TEST_F(V4l2, OffersEachSizeAndRateOfTheMappedFormatsCurrentOneFirst) {
  fake_->Plug(Webcam());
  ComPtr<IBaseFilter> webcam = BindDevice(CLSID_VideoInputDeviceCategory, L"HD Webcam");
  ASSERT_TRUE(webcam);
  ComPtr<IAMStreamConfig> config = QueryAs<IAMStreamConfig>(CapturePinOf(webcam.Get()).Get());
  int count = 0, size = 0;
  ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
  ASSERT_EQ(count, 6);  // MJPG 1280x720@30, YUY2 640x480 and 320x240 @30 and @15, Bayer
  ASSERT_EQ(size, static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
  struct Expected {
    GUID subtype;
    int width, height;
    REFERENCE_TIME interval;
  };
  const Expected expected[] = {{MEDIASUBTYPE_MJPG, 1280, 720, 333333},
                               {MEDIASUBTYPE_YUY2, 640, 480, 333333},
                               {MEDIASUBTYPE_YUY2, 640, 480, 666667},
                               {MEDIASUBTYPE_YUY2, 320, 240, 333333},
                               {MEDIASUBTYPE_YUY2, 320, 240, 666667},
                               {FourccSubtype(V4L2_PIX_FMT_SGRBG8), 640, 480, 333333}};
  for (int i = 0; i < count; ++i) {
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    ASSERT_EQ(S_OK, config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)));
    CMediaType mt;
    mt.Adopt(*type);
    CoTaskMemFree(type);
    EXPECT_EQ(mt.subtype, expected[i].subtype) << i;
    EXPECT_EQ(VideoSizeOf(mt), std::make_pair(expected[i].width, expected[i].height)) << i;
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->AvgTimePerFrame,
              expected[i].interval);
    EXPECT_EQ(caps.MinFrameInterval, expected[i].interval);
    EXPECT_EQ(caps.InputSize.cx, expected[i].width);
  }
}

TEST_F(V4l2, SetFormatSetsTheDeviceAndFramesArriveInTheSampleLayout) {
  fake_->Plug(Webcam());
  source_ = g_.AddDevice(CLSID_VideoInputDeviceCategory, L"HD Webcam");
  ASSERT_TRUE(source_);
  ComPtr<IPin> pin = CapturePinOf(source_.Get());
  ASSERT_EQ(S_OK, ChooseCapability(pin.Get(), 4));  // YUY2 320x240 @15
  ASSERT_EQ(S_OK, g_.ConnectToSink(pin.Get(), sink_.Get(), sink_->Input()));
  Run();
  const v4l2_pix_format format = fake_->Format("/dev/video0");
  EXPECT_EQ(format.pixelformat, static_cast<uint32_t>(V4L2_PIX_FMT_YUYV));
  EXPECT_EQ(format.width, 320u);
  EXPECT_EQ(format.height, 240u);
  EXPECT_EQ(fake_->Interval("/dev/video0").denominator, 15u);

  ASSERT_TRUE(Frame(5, 1));
  const auto sample = sink_->Samples().front();
  ASSERT_EQ(sample.bytes.size(), 320u * 240 * 2);
  // Rows without the driver's padding.
  const size_t driverStride = 320 * 2 + 16;
  for (size_t y : {0u, 1u, 239u}) {
    for (size_t x : {0u, 639u}) {
      EXPECT_EQ(sample.bytes[y * 640 + x], FakeV4l2::PictureByte(5, y * driverStride + x));
    }
  }
  g_.Stop();
  EXPECT_FALSE(fake_->Streaming("/dev/video0"));
}

TEST_F(V4l2, StampsFramesOnTheGraphClockAndCountsTheOnesTheDriverLost) {
  fake_->Plug(Webcam());
  ComPtr<IPin> pin = ConnectWebcam();
  Run();
  g_.AdvanceTo(kSecond);
  ASSERT_TRUE(Frame(10, 1, 100 * kMs));  // captured 100 ms before it was taken
  ASSERT_TRUE(Frame(11, 2));
  ASSERT_TRUE(Frame(14, 3));  // 12 and 13 lost
  ASSERT_TRUE(WaitUntil([&] { return fake_->Capture("/dev/video0", 15, 0, true); }));  // damaged
  ASSERT_TRUE(Frame(16, 4));
  const auto samples = sink_->Samples();
  EXPECT_NEAR(static_cast<double>(samples[0].start), 0.9 * kSecond, 50.0 * kMs);
  EXPECT_NEAR(static_cast<double>(samples[1].start), 1.0 * kSecond, 50.0 * kMs);
  EXPECT_EQ(samples[0].stop - samples[0].start, 333333);  // the MJPG format's interval
  EXPECT_FALSE(samples[1].discontinuity);
  EXPECT_TRUE(samples[2].discontinuity);
  EXPECT_EQ(Delivered(pin.Get()), 4);
  EXPECT_EQ(Dropped(pin.Get()), 3);
  long numbers[3] = {};
  long copied = 0;
  ASSERT_EQ(S_OK, QueryAs<IAMDroppedFrames>(pin.Get())->GetDroppedInfo(3, numbers, &copied));
  EXPECT_EQ(copied, 3);
  EXPECT_EQ(std::vector<long>(numbers, numbers + 3), (std::vector<long>{2, 3, 5}));
  g_.Stop();
}

// An unplug reaches the graph streaming from the device (and no other), the lists, and the
// filter, which cannot run until the device is back under whatever node.
TEST_F(V4l2, AnUnpluggedDeviceStopsTheStreamAndIsBackWhenPluggedIn) {
  fake_->Plug(Webcam());
  fake_->Plug(Node("/dev/video2", "Other Cam", "usb-0000:00:14.0-2"));
  ClockedGraph other;
  ASSERT_TRUE(other.AddDevice(CLSID_VideoInputDeviceCategory, L"Other Cam"));
  ConnectWebcam();
  Run();
  ASSERT_TRUE(Frame(0, 1));
  fake_->Unplug("/dev/video0");
  ASSERT_EQ(NextDeviceLost(g_.graph.Get()), 0);
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory),
            (std::vector<std::wstring>{L"Sim Cam", L"Other Cam"}));
  EXPECT_EQ(S_OK, g_.Stop());
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, source_->Pause());
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, g_.Run());

  fake_->Plug(Webcam("/dev/video3"));
  ASSERT_EQ(NextDeviceLost(g_.graph.Get()), 1);
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory),
            (std::vector<std::wstring>{L"Sim Cam", L"HD Webcam", L"Other Cam"}));
  g_.Stop();
  Run("/dev/video3");
  ASSERT_TRUE(WaitUntil([&] { return fake_->Capture("/dev/video3", 0); }));
  EXPECT_TRUE(WaitUntil([&] { return sink_->Count() == 2; }));
  g_.Stop();
  EXPECT_FALSE(EventQueued(other.graph.Get(), EC_DEVICE_LOST));
}

TEST_F(V4l2, MapsControlsOntoPictureAndCameraProperties) {
  fake_->Plug(Webcam());
  ComPtr<IBaseFilter> webcam = BindDevice(CLSID_VideoInputDeviceCategory, L"HD Webcam");
  ASSERT_TRUE(webcam);
  ComPtr<IAMVideoProcAmp> amp = QueryAs<IAMVideoProcAmp>(webcam.Get());
  long min = 0, max = 0, step = 0, def = 0, caps = 0, value = 0, flags = 0;
  ASSERT_EQ(S_OK, amp->GetRange(VideoProcAmp_Brightness, &min, &max, &step, &def, &caps));
  EXPECT_EQ(std::vector<long>({min, max, step, def, caps}),
            std::vector<long>({0, 255, 1, 128, VideoProcAmp_Flags_Manual}));
  EXPECT_EQ(S_OK, amp->Set(VideoProcAmp_Brightness, 200, VideoProcAmp_Flags_Manual));
  EXPECT_EQ(fake_->ControlValue("/dev/video0", V4L2_CID_BRIGHTNESS), 200);
  EXPECT_EQ(E_INVALIDARG, amp->Set(VideoProcAmp_Brightness, 300, VideoProcAmp_Flags_Manual));
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, amp->GetRange(VideoProcAmp_Hue, &min, &max, &step, &def, &caps));
  // White balance: automatic until set by hand.
  ASSERT_EQ(S_OK, amp->GetRange(VideoProcAmp_WhiteBalance, &min, &max, &step, &def, &caps));
  EXPECT_EQ(caps, VideoProcAmp_Flags_Manual | VideoProcAmp_Flags_Auto);
  ASSERT_EQ(S_OK, amp->Get(VideoProcAmp_WhiteBalance, &value, &flags));
  EXPECT_EQ(flags, VideoProcAmp_Flags_Auto);
  ASSERT_EQ(S_OK, amp->Set(VideoProcAmp_WhiteBalance, 5000, VideoProcAmp_Flags_Manual));
  EXPECT_EQ(fake_->ControlValue("/dev/video0", V4L2_CID_AUTO_WHITE_BALANCE), 0);
  EXPECT_EQ(fake_->ControlValue("/dev/video0", V4L2_CID_WHITE_BALANCE_TEMPERATURE), 5000);

  // Exposure in log2 seconds: 0.3 ms to 204.7 ms.
  ComPtr<IAMCameraControl> camera = QueryAs<IAMCameraControl>(webcam.Get());
  ASSERT_TRUE(camera);
  ASSERT_EQ(S_OK, camera->GetRange(CameraControl_Exposure, &min, &max, &step, &def, &caps));
  EXPECT_EQ(std::vector<long>({min, max, def}), std::vector<long>({-12, -2, -5}));
  ASSERT_EQ(S_OK, camera->Get(CameraControl_Exposure, &value, &flags));
  EXPECT_EQ(flags, CameraControl_Flags_Auto);
  ASSERT_EQ(S_OK, camera->Set(CameraControl_Exposure, -6, CameraControl_Flags_Manual));
  EXPECT_EQ(fake_->ControlValue("/dev/video0", V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
  EXPECT_EQ(fake_->ControlValue("/dev/video0", V4L2_CID_EXPOSURE_ABSOLUTE), 156);
  ASSERT_EQ(S_OK, camera->Get(CameraControl_Exposure, &value, &flags));
  EXPECT_EQ(value, -6);
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, camera->GetRange(CameraControl_Zoom, &min, &max, &step, &def, &caps));
}

TEST_F(V4l2, ThePageListsEveryControlAndReportsARefusedOne) {
  constexpr uint32_t kLimit = V4L2_CID_USER_BASE + 0x1000;  // 64-bit
  constexpr uint32_t kLabel = V4L2_CID_USER_BASE + 0x1001;  // a string
  constexpr int64_t kFiveBillion = 5'000'000'000;
  FakeNode node = Webcam();
  node.controls[1].failWith = EIO;  // contrast
  node.controls.push_back(Integer64Control(kLimit, "Limit", 0, 2 * kFiveBillion, kFiveBillion));
  node.controls.push_back(StringControl(kLabel, "Label", 8, "cam"));
  fake_->Plug(node);
  ComPtr<IBaseFilter> webcam = BindDevice(CLSID_VideoInputDeviceCategory, L"HD Webcam");
  ASSERT_TRUE(webcam);
  CAUUID pages{};
  ASSERT_EQ(S_OK, QueryAs<ISpecifyPropertyPages>(webcam.Get())->GetPages(&pages));
  std::vector<GUID> listed(pages.pElems, pages.pElems + pages.cElems);
  CoTaskMemFree(pages.pElems);
  EXPECT_EQ(listed, (std::vector<GUID>{CLSID_VideoProcAmpPropertyPage, CLSID_CameraControlPropertyPage,
                                       devices::v4l2::CLSID_DeviceControlsPropertyPage}));

  ModalDialogDriver driver([](QWidget& frame) {
    auto* brightness = frame.findChild<QSpinBox*>("ctrl00980900");
    auto* contrast = frame.findChild<QSpinBox*>("ctrl00980901");
    auto* autoWhite = frame.findChild<QCheckBox*>("ctrl0098090C");
    auto* powerLine = frame.findChild<QComboBox*>("ctrl00980918");
    auto* limit = frame.findChild<QLineEdit*>("ctrl00981900");
    auto* label = frame.findChild<QLineEdit*>("ctrl00981901");
    ASSERT_TRUE(brightness && contrast && autoWhite && powerLine && limit && label);
    EXPECT_EQ(limit->text(), "5000000000");
    EXPECT_EQ(label->text(), "cam");
    limit->setText("6000000000");
    label->setText("garage");
    EXPECT_EQ(brightness->value(), 128);
    EXPECT_TRUE(autoWhite->isChecked());
    ASSERT_EQ(powerLine->count(), 3);
    EXPECT_EQ(powerLine->currentText(), "50 Hz");
    brightness->setValue(90);
    contrast->setValue(70);
    autoWhite->setChecked(false);
    ASSERT_TRUE(ChooseItem(powerLine, "60 Hz"));
    ClickButton(frame, "OK");
    // The refused control keeps the frame open with its error.
    auto* error = frame.findChild<QLabel*>("labError");
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->isVisibleTo(&frame));
    EXPECT_TRUE(error->text().contains("Contrast")) << error->text().toStdString();
    ClickButton(frame, "Annuler");
  });
  IUnknown* object = webcam.Get();
  const GUID page = devices::v4l2::CLSID_DeviceControlsPropertyPage;
  EXPECT_EQ(S_OK, OleCreatePropertyFrame(nullptr, 30, 30, nullptr, 1, &object, 1, &page, 0, 0,
                                         nullptr));
  EXPECT_EQ(driver.DialogsDriven(), 1);
  EXPECT_EQ(fake_->ControlValue("/dev/video0", V4L2_CID_BRIGHTNESS), 90);
  EXPECT_EQ(fake_->ControlValue("/dev/video0", V4L2_CID_CONTRAST), 50);
  EXPECT_EQ(fake_->ControlValue("/dev/video0", V4L2_CID_AUTO_WHITE_BALANCE), 0);
  EXPECT_EQ(fake_->ControlValue("/dev/video0", V4L2_CID_POWER_LINE_FREQUENCY), 2);
  EXPECT_EQ(fake_->ControlValue("/dev/video0", kLimit), 6'000'000'000);
  EXPECT_EQ(fake_->ControlText("/dev/video0", kLabel), "garage");
  // Out of range: a 64-bit value past the most, a string longer than its most.
  ComPtr<devices::v4l2::IDeviceControls> controls =
      QueryAs<devices::v4l2::IDeviceControls>(webcam.Get());
  ASSERT_TRUE(controls);
  EXPECT_EQ(E_INVALIDARG, controls->SetControl(kLimit, 2 * kFiveBillion + 1));
  EXPECT_EQ(E_INVALIDARG, controls->SetText(kLabel, "ninechars"));
  EXPECT_EQ(fake_->ControlText("/dev/video0", kLabel), "garage");
}

TEST_F(V4l2, AnaloguInputsAreACrossbarThatSelectsTheInput) {
  fake_->Plug(Grabber());
  ComPtr<IBaseFilter> filter = BindDevice(AM_KSCATEGORY_CROSSBAR, L"Grabber Crossbar");
  ASSERT_TRUE(filter);
  ComPtr<IAMCrossbar> crossbar = QueryAs<IAMCrossbar>(filter.Get());
  long outputs = 0, inputs = 0;
  ASSERT_EQ(S_OK, crossbar->get_PinCounts(&outputs, &inputs));
  EXPECT_EQ(outputs, 2);
  EXPECT_EQ(inputs, 3);
  const long expected[][2] = {  // physical type, related pin
      {PhysConn_Video_Composite, 2},
      {PhysConn_Video_SVideo, 2},
      {PhysConn_Audio_Line, 0}};
  for (long i = 0; i < 3; ++i) {
    long related = 0, type = 0;
    ASSERT_EQ(S_OK, crossbar->get_CrossbarPinInfo(TRUE, i, &related, &type));
    EXPECT_EQ(type, expected[i][0]) << i;
    EXPECT_EQ(related, expected[i][1]) << i;
  }
  long related = 0, type = 0;
  ASSERT_EQ(S_OK, crossbar->get_CrossbarPinInfo(FALSE, 0, &related, &type));
  EXPECT_EQ(type, PhysConn_Video_VideoDecoder);
  EXPECT_EQ(related, 1);

  EXPECT_EQ(S_OK, crossbar->Route(0, 1));
  EXPECT_EQ(fake_->CurrentInput("/dev/video4"), 1u);
  long routed = -1;
  ASSERT_EQ(S_OK, crossbar->get_IsRoutedTo(0, &routed));
  EXPECT_EQ(routed, 1);
  EXPECT_EQ(S_OK, crossbar->Route(1, 2));
  EXPECT_EQ(S_FALSE, crossbar->CanRoute(0, 2));  // sound to the picture
  EXPECT_EQ(E_INVALIDARG, crossbar->Route(0, -1));  // the card always has an input

  // The capture filter's analogue input is on the crossbar's wire.
  ComPtr<IBaseFilter> capture = BindDevice(CLSID_VideoInputDeviceCategory, L"Grabber");
  ASSERT_TRUE(capture);
  const auto pins = PinsOfFilter(capture.Get());
  ASSERT_FALSE(pins.empty());
  EXPECT_EQ(CategoryOfPin(pins.front().Get()), PIN_CATEGORY_ANALOGVIDEOIN);
}

TEST_F(V4l2, TheTunerTunesTheCountrysChannelsAndSetsItsStandardAndSoundMode) {
  FakeNode card = Node("/dev/video6", "TV Card", "pci-0000:04:00.0");
  card.inputs = {Input(0, "Television", V4L2_INPUT_TYPE_TUNER, 1),
                 Input(1, "Composite1", V4L2_INPUT_TYPE_CAMERA, 2)};
  card.inputs[0].std =
      V4L2_STD_PAL_BG | V4L2_STD_PAL_I | V4L2_STD_SECAM_L | V4L2_STD_NTSC_M | V4L2_STD_NTSC_M_JP;
  card.audios = {AudioInput(0, "TV Tuner"), AudioInput(1, "Line In")};
  card.tunerCapability = V4L2_TUNER_CAP_STEREO | V4L2_TUNER_CAP_LANG1;
  fake_->Plug(card);
  EXPECT_EQ(FriendlyNames(AM_KSCATEGORY_TVTUNER), std::vector<std::wstring>{L"TV Card TV Tuner"});
  ComPtr<IBaseFilter> filter = BindDevice(AM_KSCATEGORY_TVTUNER, L"TV Card TV Tuner");
  ASSERT_TRUE(filter);
  ComPtr<IAMTVTuner> tuner = QueryAs<IAMTVTuner>(filter.Get());
  long standards = 0;
  ASSERT_EQ(S_OK, tuner->get_AvailableTVFormats(&standards));
  EXPECT_EQ(standards, AnalogVideo_PAL_B | AnalogVideo_PAL_G | AnalogVideo_PAL_I |
                           AnalogVideo_SECAM_L | AnalogVideo_NTSC_M | AnalogVideo_NTSC_M_J);

  struct Case {
    long country;
    TunerInputType input;
    long channel;
    long picture;  // Hz, 0: not in the plan
    long sound;
    v4l2_std_id standard;
  };
  const Case cases[] = {
      {33, TunerInputAntenna, 21, 471'250'000, 477'750'000, V4L2_STD_SECAM_L},
      {33, TunerInputAntenna, 5, 176'000'000, 182'500'000, V4L2_STD_SECAM_L},
      {49, TunerInputAntenna, 5, 175'250'000, 180'750'000, V4L2_STD_PAL_B},
      {44, TunerInputAntenna, 5, 0, 0, V4L2_STD_PAL_I},
      {44, TunerInputAntenna, 30, 543'250'000, 549'250'000, V4L2_STD_PAL_I},
      {1, TunerInputAntenna, 100, 0, 0, V4L2_STD_NTSC_M},
      {1, TunerInputCable, 100, 649'250'000, 653'750'000, V4L2_STD_NTSC_M},
      {81, TunerInputAntenna, 1, 91'250'000, 95'750'000, V4L2_STD_NTSC_M_JP},
      {81, TunerInputAntenna, 8, 193'250'000, 197'750'000, V4L2_STD_NTSC_M_JP},
      {81, TunerInputAntenna, 63, 0, 0, V4L2_STD_NTSC_M_JP},
      {81, TunerInputCable, 13, 109'250'000, 113'750'000, V4L2_STD_NTSC_M_JP},
      {81, TunerInputCable, 63, 463'250'000, 467'750'000, V4L2_STD_NTSC_M_JP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.country << " channel " << c.channel);
    ASSERT_EQ(S_OK, tuner->put_CountryCode(c.country));
    ASSERT_EQ(S_OK, tuner->put_InputType(0, c.input));
    EXPECT_EQ(fake_->Standard("/dev/video6"), c.standard);
    const HRESULT hr = tuner->put_Channel(c.channel, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT);
    if (c.picture == 0) {
      EXPECT_EQ(hr, E_INVALIDARG);
      continue;
    }
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ(fake_->Frequency("/dev/video6"), static_cast<uint32_t>(c.picture / 62'500));
    long picture = 0, sound = 0;
    tuner->get_VideoFrequency(&picture);
    tuner->get_AudioFrequency(&sound);
    EXPECT_EQ(picture, c.picture);
    EXPECT_EQ(sound, c.sound);
  }
  long signal = 0;
  ASSERT_EQ(S_OK, tuner->SignalPresent(&signal));
  EXPECT_EQ(signal, AMTUNER_SIGNALPRESENT);
  long low = 0, high = 0;
  ASSERT_EQ(S_OK, tuner->put_CountryCode(44));
  ASSERT_EQ(S_OK, tuner->put_InputType(0, TunerInputAntenna));
  ASSERT_EQ(S_OK, tuner->ChannelMinMax(&low, &high));
  EXPECT_EQ(std::make_pair(low, high), std::make_pair(21L, 69L));

  // The TV sound decoder: modes the tuner decodes, those received, the one chosen.
  ComPtr<IBaseFilter> sound = BindDevice(AM_KSCATEGORY_TVAUDIO, L"TV Card TV Audio");
  ASSERT_TRUE(sound);
  ComPtr<IAMTVAudio> tvAudio = QueryAs<IAMTVAudio>(sound.Get());
  long modes = 0;
  ASSERT_EQ(S_OK, tvAudio->GetHardwareSupportedTVAudioModes(&modes));
  EXPECT_EQ(modes, AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO | AMTVAUDIO_MODE_LANG_A);
  ASSERT_EQ(S_OK, tvAudio->GetAvailableTVAudioModes(&modes));
  EXPECT_EQ(modes, AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO);
  ASSERT_EQ(S_OK, tvAudio->put_TVAudioMode(AMTVAUDIO_MODE_STEREO));
  EXPECT_EQ(fake_->AudioMode("/dev/video6"), static_cast<uint32_t>(V4L2_TUNER_MODE_STEREO));
  EXPECT_EQ(E_INVALIDARG, tvAudio->put_TVAudioMode(AMTVAUDIO_MODE_LANG_B));

  // The crossbar's tuner inputs are on the tuner's wires.
  ComPtr<IBaseFilter> crossbar = BindDevice(AM_KSCATEGORY_CROSSBAR, L"TV Card Crossbar");
  ASSERT_TRUE(crossbar);
  long related = 0, type = 0;
  ASSERT_EQ(S_OK, QueryAs<IAMCrossbar>(crossbar.Get())->get_CrossbarPinInfo(TRUE, 0, &related, &type));
  EXPECT_EQ(type, PhysConn_Video_Tuner);
  EXPECT_EQ(related, 2);
}

// udev's enumeration of this machine, for real: whatever it lists is a video node that
// exists, and listing it through the system's calls gives no more devices than nodes.
TEST(V4l2System, UdevListsTheVideoNodesOfThisMachine) {
  const auto nodes = devices::v4l2::SystemNodeSource()->Nodes();
  for (const auto& node : nodes) {
    EXPECT_EQ(node.devnode.rfind("/dev/video", 0), 0u) << node.devnode;
    EXPECT_TRUE(std::filesystem::exists(node.devnode)) << node.devnode;
  }
  EXPECT_LE(V4l2Devices::Instance().Listing().size(), nodes.size());
}

}  // namespace
}  // namespace vidorra::test
