// V4L2 devices through the real backend on the replayed kernel, described by v4l2-ctl texts: the
// listing (capture nodes only, unique names, stable identities), SetFormat on a mode found by
// its place among the sizes and rates, the driver's padded rows, streaming with time stamps on
// the graph clock and lost and damaged frames counted from the driver's sequence numbers, an
// unplug mid-stream and the device's return, the controls as IAMVideoProcAmp, IAMCameraControl
// and their page, the analogue inputs as a crossbar, the tuner and TV sound.
#include <fcntl.h>
#include <modal_dialog_driver.h>
#include <olectl.h>
#include <vidorra_pages.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "device_test_support.h"
#include "replay/ReplayedV4l2.h"
#include "v4l2/V4l2Controls.h"
#include "v4l2/V4l2Devices.h"

namespace vidorra::test {
namespace {

using devices::replay::ReadV4l2Description;
using devices::v4l2::V4l2Devices;

constexpr REFERENCE_TIME kSecond = 10'000'000;
const std::string kWebcamId = "usb-Acme_HD_Webcam_1234-video-index0";

std::string Mode(const char* size, const std::vector<const char*>& rates) {
  std::string text = std::string("\t\tSize: Discrete ") + size + "\n";
  for (const char* rate : rates) text += std::string("\t\t\tInterval: Discrete ") + rate + "\n";
  return text;
}

// A capture device unless its capabilities say otherwise.
std::string Heading(const std::string& card, const std::string& bus, const char* caps = nullptr) {
  return "Driver Info:\n\tCard type     : " + card + "\n\tBus info      : " + bus + "\n" +
         (caps ? std::string("\tDevice Caps   : ") + caps + "\n" : "");
}

// YUYV at 640x480 with rows padded to 1296 bytes, 320x240, Bayer, and MJPEG at 1280x720 (the
// current mode), its controls as --list-ctrls-menus prints them (one with a step of 0, which
// takes any value in its range as it is).
const std::string kWebcam =
    Heading("HD Webcam", "usb-0000:00:14.0-1") +
    "Format Video Capture:\n\tWidth/Height  : 640/480\n\tPixel Format  : 'YUYV'\n"
    "\tBytes per Line: 1296\n"
    "Streaming Parameters Video Capture:\n\tCapabilities     : timeperframe\n"
    "\tFrames per second: 30.000 (30/1)\n"
    "ioctl: VIDIOC_ENUM_FMT\n\tType: Video Capture\n\n\t[0]: 'YUYV' (YUYV 4:2:2)\n" +
    Mode("640x480", {"0.033s (30.000 fps)", "0.067s (15.000 fps)"}) +
    Mode("320x240", {"0.033s (30.000 fps)", "0.067s (15.000 fps)"}) +
    "\t[1]: 'GRBG' (8-bit Bayer GRGR/BGBG)\n" + Mode("640x480", {"0.033s (30.000 fps)"}) +
    "\t[2]: 'MJPG' (Motion-JPEG, compressed)\n" + Mode("1280x720", {"0.033s (30.000 fps)"}) +
    "User Controls\n"
    "  brightness 0x00980900 (int)  : min=0 max=255 step=1 default=128 value=128\n"
    "  contrast 0x00980901 (int)    : min=0 max=100 step=1 default=50 value=50\n"
    "  white_balance_automatic 0x0098090c (bool) : default=1 value=1\n"
    "  power_line_frequency 0x00980918 (menu) : min=0 max=2 default=1 value=1 (50 Hz)\n"
    "\t\t0: Disabled\n\t\t1: 50 Hz\n\t\t2: 60 Hz\n"
    "  white_balance_temperature 0x0098091a (int) : min=2800 max=6500 step=10 default=4600 "
    "value=4600\n"
    "  limit 0x00981900 (int64) : min=0 max=10000000000 step=0 default=5000000000 "
    "value=5000000000\n"
    "  label 0x00981901 (str)   : min=0 max=8 step=1 value='cam'\n"
    "Camera Controls\n"
    "  auto_exposure 0x009a0901 (menu) : min=0 max=3 default=3 value=3 (Aperture Priority Mode)\n"
    "\t\t0: Auto Mode\n\t\t1: Manual Mode\n\t\t2: Shutter Priority Mode\n"
    "\t\t3: Aperture Priority Mode\n"
    "  exposure_time_absolute 0x009a0902 (int) : min=3 max=2047 step=1 default=250 value=250\n";

std::string Device(const std::string& card, const std::string& bus, const char* caps = nullptr) {
  return Heading(card, bus, caps) + "ioctl: VIDIOC_ENUM_FMT\n\t[0]: 'YUYV' (YUYV 4:2:2)\n" +
         Mode("320x240", {"0.040s (25.000 fps)"});
}

std::string Input(int index, const char* name, int type, int audioset, const char* standard = "0") {
  return "\tInput       : " + std::to_string(index) + "\n\tName        : " + name +
         "\n\tType        : " + std::to_string(type) + "\n\tAudio set   : " +
         std::to_string(audioset) + "\n\tStandard    : " + standard + "\n\n";
}

std::string AudioInputs(const std::vector<const char*>& names) {
  std::string text = "ioctl: VIDIOC_ENUMAUDIO\n";
  for (size_t i = 0; i < names.size(); ++i) {
    text += "\tInput   : " + std::to_string(i) + "\n\tName    : " + names[i] + "\n\n";
  }
  return text;
}

const std::string kGrabber = Device("Grabber", "pci-0000:03:00.0") + "ioctl: VIDIOC_ENUMINPUT\n" +
                             Input(0, "Composite1", 2, 1) + Input(1, "S-Video", 2, 1) +
                             AudioInputs({"Line"});

class V4l2 : public ::testing::Test {
 protected:
  void SetUp() override { V4l2Devices::Instance().UseForTesting(kernel_, kernel_); }
  void TearDown() override {
    kernel_->SetIoctlHook(nullptr);
    V4l2Devices::Instance().UseForTesting(nullptr, nullptr);
    kernel_->Unplug("/dev/video0");  // heard by no monitor now
  }
  void Plug(const std::string& node, const std::string& text, std::vector<std::string> links = {}) {
    kernel_->Plug(node, ReadV4l2Description(text, "device.txt"), std::move(links));
  }
  void PlugWebcam(const std::string& node = "/dev/video0") {
    Plug(node, kWebcam,
         {"/dev/v4l/by-id/" + kWebcamId, "/dev/v4l/by-path/pci-0000:00:14.0-usb-0:1:1.0-video-index0"});
  }
  // What the node answers now to `request`, as another program asking it would read it.
  template <class T>
  T Ask(unsigned long request, T arg, const std::string& node = "/dev/video0") {
    const int fd = kernel_->Open(node, O_RDWR);
    EXPECT_EQ(0, kernel_->Ioctl(fd, request, &arg)) << node << " " << request;
    kernel_->Close(fd);
    return arg;
  }
  int64_t Control(uint32_t id) { return Ask(VIDIOC_G_CTRL, v4l2_control{id, 0}).value; }
  // A 64-bit control's value, a string control's text.
  std::pair<int64_t, std::string> Extended(uint32_t id) {
    char text[32] = {};
    v4l2_ext_control control{};
    control.id = id;
    control.size = sizeof text;
    control.string = text;
    v4l2_ext_controls list{};
    list.count = 1;
    list.controls = &control;
    Ask(VIDIOC_G_EXT_CTRLS, list);
    return {control.string == text ? 0 : control.value64, text};
  }

  std::shared_ptr<devices::replay::ReplayedV4l2> kernel_ =
      std::make_shared<devices::replay::ReplayedV4l2>();
  ScopedMachine machine_{"video webcam Sim Cam\nreal-devices\n"};
  ClockedGraph g_;
  ComPtr<IBaseFilter> source_;
  ComPtr<RecordingSink> sink_ = MakeComObject<RecordingSink>(RecordingSinkOptions{.keepBytes = true});
};

// The listing: capture nodes only, unique names, stable identities. An unplug reaches the graph
// streaming from the device (and no other), the lists, and the filter, which cannot run until
// the device is back under whatever node, keeping its name: a stored moniker binds it.
TEST_F(V4l2, ListsCaptureNodesOnceAndFollowsADeviceUnpluggedAndPluggedBackElsewhere) {
  PlugWebcam();
  Plug("/dev/video1", Device("HD Webcam", "usb-0000:00:14.0-1", "0x04a00000"));  // metadata
  Plug("/dev/video2", Device("HD Webcam", "usb-0000:00:14.0-2"));
  Plug("/dev/video3", Device("Loopback", "platform:v4l2loopback-000", "0x04200002"));  // output
  Plug("/dev/video4", kGrabber);
  const auto listing = V4l2Devices::Instance().Listing();
  ASSERT_EQ(listing.size(), 3u);
  EXPECT_EQ(listing[0].displayName, L"@device:v4l2:pci-0000:03:00.0");
  EXPECT_EQ(listing[1].displayName, L"@device:v4l2:" + Utf8ToWide(kWebcamId));
  EXPECT_EQ(listing[2].displayName, L"@device:v4l2:usb-0000:00:14.0-2");
  // After the simulated machine's devices, in the system device enumerator.
  const std::vector<std::wstring> all = {L"Sim Cam", L"Grabber", L"HD Webcam", L"HD Webcam #2"};
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory), all);
  EXPECT_EQ(FriendlyNames(AM_KSCATEGORY_CROSSBAR), (std::vector<std::wstring>{L"Grabber Crossbar"}));

  ComPtr<IMoniker> stored;
  ASSERT_EQ(S_OK, CreateDeviceMoniker(listing[1].displayName, stored.GetAddressOf()));
  ClockedGraph other;
  ASSERT_TRUE(other.AddDevice(CLSID_VideoInputDeviceCategory, L"Grabber"));
  g_.Capture(L"HD Webcam", sink_.Get(), 0, &source_);
  ASSERT_EQ(S_OK, g_.Run());
  ASSERT_TRUE(WaitUntil([&] { return sink_->Count() >= 1; }));
  kernel_->Unplug("/dev/video0");
  ASSERT_EQ(NextDeviceLost(g_.graph.Get()), 0);
  // The stream may hear of the unplug before the device watch does: the listing follows.
  EXPECT_TRUE(WaitUntil([] { return FriendlyNames(CLSID_VideoInputDeviceCategory).size() == 3u; }));
  EXPECT_EQ(S_OK, g_.Stop());
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, source_->Pause());
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, g_.Run());

  PlugWebcam("/dev/video7");
  ASSERT_EQ(NextDeviceLost(g_.graph.Get()), 1);
  EXPECT_EQ(V4l2Devices::Instance().NodeOf(listing[1].displayName), "/dev/video7");
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory), all);
  ComPtr<IBaseFilter> bound;
  EXPECT_EQ(S_OK, stored->BindToObject(nullptr, nullptr, IID_IBaseFilter, bound.ReleaseAndGetVoidAddressOf()));
  EXPECT_TRUE(bound);
  g_.Stop();
  const int before = sink_->Count();
  ASSERT_EQ(S_OK, g_.Run());
  EXPECT_TRUE(WaitUntil([&] { return sink_->Count() >= before + 1; }));
  g_.Stop();
  EXPECT_FALSE(NextGraphEvent(other.graph.Get(), {EC_DEVICE_LOST}, 0));
}

int64_t Micros(const timeval& t) { return int64_t{t.tv_sec} * 1'000'000 + t.tv_usec; }

// SetFormat sets the device; frames arrive in the sample's layout (the driver's row padding
// gone), stamped on the graph clock less their age, numbered by the driver's sequence: frames
// the driver lost (a jump in its sequence) and damaged ones are counted as dropped.
TEST_F(V4l2, SetFormatStampsFramesOnTheGraphClockAndCountsTheOnesTheDriverLost) {
  PlugWebcam();
  // YUY2 320x240 @15.
  ComPtr<IPin> pin = g_.Capture(L"HD Webcam", sink_.Get(), 3, &source_);
  // From the sample after the injection starts: the first 100 ms old, the driver's sequence
  // 2 ahead from the second on (two lost), the third damaged.
  std::atomic<bool> inject = false;
  std::mutex mutex;
  size_t calls = 0;
  std::vector<uint32_t> injected;  // the pictures of the three, as drawn
  kernel_->SetIoctlHook([&](unsigned long request, void* arg, int result) {
    if (request != VIDIOC_DQBUF || result != 0 || !inject) return result;
    auto* buffer = static_cast<v4l2_buffer*>(arg);
    std::lock_guard lock(mutex);
    const size_t k = calls++;
    if (k < 3) injected.push_back(buffer->sequence);
    if (k == 0) {
      const int64_t aged = Micros(buffer->timestamp) - 100'000;
      buffer->timestamp = {aged / 1'000'000, aged % 1'000'000};
    }
    if (k >= 1) buffer->sequence += 2;
    if (k == 2) buffer->flags |= V4L2_BUF_FLAG_ERROR;
    return result;
  });
  g_.AdvanceTo(kSecond);
  ASSERT_EQ(S_OK, g_.Run());
  v4l2_streamparm parm{};
  parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  EXPECT_EQ(Ask(VIDIOC_G_PARM, parm).parm.capture.timeperframe.denominator, 15u);
  ASSERT_TRUE(WaitUntil([&] { return sink_->Count() >= 2; }));
  const int before = sink_->Count();
  inject = true;
  ASSERT_TRUE(WaitUntil([&] { return sink_->Count() >= before + 4; }));
  g_.Stop();
  kernel_->SetIoctlHook(nullptr);

  const auto samples = sink_->Samples();
  std::vector<uint32_t> pictures;
  for (const auto& sample : samples) {
    ASSERT_EQ(sample.bytes.size(), 320u * 240 * 2);
    const auto number = devices::sim::ReadFrameNumber(
        [&](int x, int y) { return sample.bytes[static_cast<size_t>(y) * 640 + 2 * x]; }, 320);
    ASSERT_TRUE(number) << "sample " << pictures.size() << ": rows out of place";
    pictures.push_back(*number);
  }
  ASSERT_EQ(injected.size(), 3u);
  std::vector<long> missing;
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "picture " << pictures[i]);
    EXPECT_NE(pictures[i], injected[2]) << "the damaged frame delivered";
    EXPECT_EQ(samples[i].stop - samples[i].start, 666667);
    EXPECT_LE(samples[i].start, pictures[i] == injected[0] ? kSecond * 9 / 10 : kSecond);
    if (i == 0) continue;
    // The filter's numbers follow the driver's sequence, lost frames being gaps.
    const bool lost = pictures[i - 1] < injected[1] && pictures[i] >= injected[1];
    const LONGLONG step = samples[i].mediaStart - samples[i - 1].mediaStart;
    EXPECT_EQ(step, pictures[i] - pictures[i - 1] + (lost ? 2 : 0));
    EXPECT_EQ(samples[i].discontinuity, step > 1);
    for (LONGLONG n = samples[i - 1].mediaStart + 1; n < samples[i].mediaStart; ++n) missing.push_back(static_cast<long>(n));
  }
  EXPECT_EQ(Delivered(pin.Get()), static_cast<long>(samples.size()));
  ASSERT_EQ(Dropped(pin.Get()), static_cast<long>(missing.size()));
  std::vector<long> numbers(missing.size());
  long copied = 0;
  ASSERT_EQ(S_OK, QueryAs<IAMDroppedFrames>(pin.Get())->GetDroppedInfo(static_cast<long>(numbers.size()), numbers.data(), &copied));
  EXPECT_EQ(numbers, missing);
}

// The controls as picture and camera properties, and on their page, which reports a refused one.
TEST_F(V4l2, ControlsArePictureAndCameraPropertiesAndThePageListsEveryOne) {
  constexpr uint32_t kLimit = V4L2_CID_USER_BASE + 0x1000;  // 64-bit
  constexpr uint32_t kLabel = V4L2_CID_USER_BASE + 0x1001;  // a string
  constexpr int64_t kFiveBillion = 5'000'000'000;
  PlugWebcam();
  kernel_->SetIoctlHook([](unsigned long request, void* arg, int result) {
    if (request != VIDIOC_S_CTRL || static_cast<v4l2_control*>(arg)->id != V4L2_CID_CONTRAST) return result;
    errno = EIO;  // the driver refuses the contrast
    return -1;
  });
  ComPtr<IBaseFilter> webcam = BindDevice(CLSID_VideoInputDeviceCategory, L"HD Webcam");
  ASSERT_TRUE(webcam);
  ComPtr<IAMVideoProcAmp> amp = QueryAs<IAMVideoProcAmp>(webcam.Get());
  ComPtr<IAMCameraControl> camera = QueryAs<IAMCameraControl>(webcam.Get());
  ASSERT_TRUE(amp && camera);
  // Each one's range, default, capabilities, value and mode now (white balance and exposure
  // automatic until set by hand; exposure in log2 seconds: 0.3 ms to 204.7 ms); those the device
  // lacks.
  const auto range = [](auto* control, long property) {
    long min = 0, max = 0, step = 0, def = 0, caps = 0, value = 0, flags = 0;
    if (control->GetRange(property, &min, &max, &step, &def, &caps) != S_OK) return std::vector<long>{};
    control->Get(property, &value, &flags);
    return std::vector<long>({min, max, step, def, caps, value, flags});
  };
  constexpr long kManual = VideoProcAmp_Flags_Manual, kBoth = kManual | VideoProcAmp_Flags_Auto;
  EXPECT_EQ(range(amp.Get(), VideoProcAmp_Brightness),
            std::vector<long>({0, 255, 1, 128, kManual, 128, kManual}));
  EXPECT_EQ(range(amp.Get(), VideoProcAmp_WhiteBalance).back(), VideoProcAmp_Flags_Auto);
  EXPECT_EQ(range(amp.Get(), VideoProcAmp_WhiteBalance)[4], kBoth);
  EXPECT_EQ(range(camera.Get(), CameraControl_Exposure),
            std::vector<long>({-12, -2, 1, -5, kBoth, -5, CameraControl_Flags_Auto}));
  EXPECT_TRUE(range(amp.Get(), VideoProcAmp_Hue).empty());
  EXPECT_TRUE(range(camera.Get(), CameraControl_Zoom).empty());
  for (long brightness : {-1L, 0L, 255L, 256L, 200L})  // taken up to both ends, refused past
    EXPECT_EQ(brightness < 0 || brightness > 255 ? E_INVALIDARG : S_OK,
              amp->Set(VideoProcAmp_Brightness, brightness, kManual));
  ASSERT_EQ(S_OK, amp->Set(VideoProcAmp_WhiteBalance, 5000, VideoProcAmp_Flags_Manual));
  ASSERT_EQ(S_OK, camera->Set(CameraControl_Exposure, -6, CameraControl_Flags_Manual));
  EXPECT_EQ(range(camera.Get(), CameraControl_Exposure)[5], -6);
  EXPECT_EQ(std::vector<int64_t>({Control(V4L2_CID_BRIGHTNESS), Control(V4L2_CID_AUTO_WHITE_BALANCE),
                                  Control(V4L2_CID_WHITE_BALANCE_TEMPERATURE),
                                  Control(V4L2_CID_EXPOSURE_AUTO), Control(V4L2_CID_EXPOSURE_ABSOLUTE)}),
            std::vector<int64_t>({200, 0, 5000, V4L2_EXPOSURE_MANUAL, 156}));

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
    limit->setText("6000000001");
    label->setText("garage");
    EXPECT_EQ(brightness->value(), 200);
    EXPECT_FALSE(autoWhite->isChecked());
    ASSERT_EQ(powerLine->count(), 3);
    EXPECT_EQ(powerLine->currentText(), "50 Hz");
    brightness->setValue(90);
    contrast->setValue(70);
    autoWhite->setChecked(true);
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
  EXPECT_EQ(S_OK, OleCreatePropertyFrame(nullptr, 30, 30, nullptr, 1, &object, 1, &page, 0, 0, nullptr));
  EXPECT_EQ(driver.DialogsDriven(), 1);
  EXPECT_EQ(Control(V4L2_CID_BRIGHTNESS), 90);
  EXPECT_EQ(Control(V4L2_CID_AUTO_WHITE_BALANCE), 1);
  EXPECT_EQ(Control(V4L2_CID_POWER_LINE_FREQUENCY), 2);
  EXPECT_EQ(Extended(kLimit).first, 6'000'000'001);
  EXPECT_EQ(Extended(kLabel).second, "garage");
  // Out of range: a 64-bit value past the most, a string longer than its most.
  ComPtr<devices::v4l2::IDeviceControls> controls = QueryAs<devices::v4l2::IDeviceControls>(webcam.Get());
  ASSERT_TRUE(controls);
  EXPECT_EQ(E_INVALIDARG, controls->SetControl(kLimit, 2 * kFiveBillion + 1));
  EXPECT_EQ(E_INVALIDARG, controls->SetText(kLabel, "ninechars"));
  EXPECT_EQ(Extended(kLabel).second, "garage");
}

TEST_F(V4l2, TheTunerTunesTheCountrysChannelsTheTvSoundItsModesAndTheCrossbarTheInput) {
  // PAL-B/G, PAL-I, SECAM-L, NTSC-M, NTSC-M-JP on the tuner input.
  Plug("/dev/video6", Device("TV Card", "pci-0000:04:00.0") +
                          "Tuner 0:\n\tName                 : TV Card\n"
                          "\tCapabilities         : 62.5 kHz multi-standard stereo lang1\n"
                          "\tFrequency range      : 44.000 MHz - 958.000 MHz\n"
                          "\tSignal strength/AFC  : 100%/0\n\tCurrent audio mode   : mono\n"
                          "\tAvailable subchannels: mono stereo\n"
                          "Video Standard = 0x00001000\n"
                          "ioctl: VIDIOC_ENUMINPUT\n" +
                          Input(0, "Television", 1, 1, "0x00403017") + Input(1, "Composite1", 2, 2) +
                          AudioInputs({"TV Tuner", "Line In"}));
  EXPECT_EQ(FriendlyNames(AM_KSCATEGORY_TVTUNER), std::vector<std::wstring>{L"TV Card TV Tuner"});
  ComPtr<IBaseFilter> filter = BindDevice(AM_KSCATEGORY_TVTUNER, L"TV Card TV Tuner");
  ASSERT_TRUE(filter);
  ComPtr<IAMTVTuner> tuner = QueryAs<IAMTVTuner>(filter.Get());
  long standards = 0;
  ASSERT_EQ(S_OK, tuner->get_AvailableTVFormats(&standards));
  EXPECT_EQ(standards, AnalogVideo_PAL_B | AnalogVideo_PAL_G | AnalogVideo_PAL_I | AnalogVideo_SECAM_L |
                           AnalogVideo_NTSC_M | AnalogVideo_NTSC_M_J);

  const struct {
    long country;
    TunerInputType input;
    long channel;
    long picture, sound;  // Hz, 0: not in the plan
    v4l2_std_id standard;
  } cases[] = {
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
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.country << " channel " << c.channel);
    ASSERT_EQ(S_OK, tuner->put_CountryCode(c.country));
    ASSERT_EQ(S_OK, tuner->put_InputType(0, c.input));
    EXPECT_EQ(Ask(VIDIOC_G_STD, v4l2_std_id{0}, "/dev/video6"), c.standard);
    const HRESULT hr = tuner->put_Channel(c.channel, AMTUNER_SUBCHAN_DEFAULT, AMTUNER_SUBCHAN_DEFAULT);
    if (c.picture == 0) {
      EXPECT_EQ(hr, E_INVALIDARG);
      continue;
    }
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ(Ask(VIDIOC_G_FREQUENCY, v4l2_frequency{}, "/dev/video6").frequency,
              static_cast<uint32_t>(c.picture / 62'500));
    long picture = 0, sound = 0;
    tuner->get_VideoFrequency(&picture);
    tuner->get_AudioFrequency(&sound);
    EXPECT_EQ(std::make_pair(picture, sound), std::make_pair(c.picture, c.sound));
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
  EXPECT_EQ(Ask(VIDIOC_G_TUNER, v4l2_tuner{}, "/dev/video6").audmode, uint32_t{V4L2_TUNER_MODE_STEREO});
  EXPECT_EQ(E_INVALIDARG, tvAudio->put_TVAudioMode(AMTVAUDIO_MODE_LANG_B));

  // The analogue inputs are a crossbar (its tuner inputs on the tuner's wires) that selects the
  // input.
  ComPtr<IAMCrossbar> crossbar =
      QueryAs<IAMCrossbar>(BindDevice(AM_KSCATEGORY_CROSSBAR, L"TV Card Crossbar").Get());
  ASSERT_TRUE(crossbar);
  EXPECT_EQ(CrossbarPins(crossbar.Get()),
            (std::vector<std::pair<long, long>>{{2, PhysConn_Video_Tuner},
                                                {3, PhysConn_Video_Composite},
                                                {0, PhysConn_Audio_Tuner},
                                                {1, PhysConn_Audio_Line},
                                                {1, PhysConn_Video_VideoDecoder},
                                                {0, PhysConn_Audio_AudioDecoder}}));
  EXPECT_EQ(S_OK, crossbar->Route(0, 1));
  EXPECT_EQ(Ask(VIDIOC_G_INPUT, 0, "/dev/video6"), 1);
  long routed = -1;
  ASSERT_EQ(S_OK, crossbar->get_IsRoutedTo(0, &routed));
  EXPECT_EQ(routed, 1);
  EXPECT_EQ(S_OK, crossbar->Route(1, 3));
  EXPECT_EQ(S_FALSE, crossbar->CanRoute(0, 2));     // sound to the picture
  EXPECT_EQ(E_INVALIDARG, crossbar->Route(0, -1));  // the card always has an input
}

}  // namespace
}  // namespace vidorra::test
