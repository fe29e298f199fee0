// The capture filters of every simulated kind: pins in order with their categories, media
// types and stream capabilities, the device format (SetFormat, also while connected), what the
// driver dialogs do, and picture controls. (The property pages and dialogs each object has: the
// program's Options menu tests.)
#include <modal_dialog_driver.h>

#include <QComboBox>
#include <QSlider>
#include <QTabWidget>

#include "device_test_support.h"

namespace vidorra::test {
namespace {

struct PinExpectation {
  std::wstring name;
  PIN_DIRECTION direction;
  GUID category, majorType, subtype;  // subtype: of the first type offered
};

struct KindExpectation {
  std::wstring device;
  std::vector<PinExpectation> pins;
  int capabilities, width, height;  // on the capture pin; the default format's size
  REFERENCE_TIME interval;
};

class CaptureFilters : public ::testing::Test {
 protected:
  ScopedMachine machine_{
      "video dv DV PAL\n"
      "video dv-ntsc DV NTSC\n"
      "video webcam Webcam\n"
      "video capture Grabber\n"
      "video tv TV One\n"
      "video vfw Old Driver\n"
      "video videoport Port Card\n"
      "video nopins No Pins\n"
      "video broken Dead Card\n"
      "audio tone Tone\n"};
};

TEST_F(CaptureFilters, EveryKindHasItsPinsCategoriesTypesAndCapabilities) {
  const PinExpectation analogIn{L"Analog Video In", PINDIR_INPUT, PIN_CATEGORY_ANALOGVIDEOIN,
                                MEDIATYPE_AnalogVideo, MEDIASUBTYPE_None};
  const PinExpectation capture{L"Capture", PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE, MEDIATYPE_Video,
                               MEDIASUBTYPE_YUY2};
  const PinExpectation preview{L"Preview", PINDIR_OUTPUT, PIN_CATEGORY_PREVIEW, MEDIATYPE_Video,
                               MEDIASUBTYPE_YUY2};
  const PinExpectation dv{L"DV A/V Out", PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE, MEDIATYPE_Interleaved,
                          MEDIASUBTYPE_dvsd};
  const PinExpectation port{L"VP", PINDIR_OUTPUT, PIN_CATEGORY_VIDEOPORT, MEDIATYPE_Video,
                            MEDIASUBTYPE_VPVideo};
  const std::vector<KindExpectation> kinds = {
      {L"DV PAL", {dv}, 1, 720, 576, 400000},
      {L"DV NTSC", {dv}, 1, 720, 480, 333667},
      {L"Webcam", {capture, preview}, 6, 640, 480, 333333},
      {L"Grabber", {capture}, 3, 720, 576, 400000},
      // A card of two crossbars has the same capture filter (its crossbars: the card tests).
      {L"TV One", {analogIn, capture}, 3, 720, 576, 400000},
      {L"Old Driver", {capture, preview}, 3, 640, 480, 333333},
      {L"Port Card", {capture, port}, 2, 720, 576, 400000},
      {L"No Pins", {}, 0, 0, 0, 0},
  };
  for (const KindExpectation& kind : kinds) {
    SCOPED_TRACE(std::string(kind.device.begin(), kind.device.end()));
    ComPtr<IBaseFilter> filter = BindDevice(CLSID_VideoInputDeviceCategory, kind.device);
    ASSERT_TRUE(filter);
    ASSERT_EQ(PinsOf(filter.Get()).size(), kind.pins.size());
    if (kind.pins.empty()) {  // runs and stops like any other
      EXPECT_EQ(S_OK, filter->Run(0));
      EXPECT_EQ(S_OK, filter->Stop());
    }
    for (size_t i = 0; i < kind.pins.size(); ++i) {
      const PinExpectation& want = kind.pins[i];
      ComPtr<IPin> pin = PinsOf(filter.Get())[i];
      PIN_DIRECTION direction = PINDIR_INPUT;
      pin->QueryDirection(&direction);
      EXPECT_EQ(std::pair(PinName(pin.Get()), direction), std::pair(want.name, want.direction));
      EXPECT_EQ(CategoryOfPin(pin.Get()), want.category);
      const std::vector<CMediaType> types = OfferedTypes(pin.Get());
      ASSERT_FALSE(types.empty());
      EXPECT_EQ(types[0].majortype, want.majorType);
      EXPECT_EQ(types[0].subtype, want.subtype);
      // Stream configuration on the pins that carry samples, and on them only.
      ComPtr<IAMStreamConfig> config = QueryAs<IAMStreamConfig>(pin.Get());
      const bool samples =
          want.direction == PINDIR_OUTPUT && want.category != PIN_CATEGORY_VIDEOPORT;
      EXPECT_EQ(static_cast<bool>(config), samples);
      EXPECT_EQ(static_cast<bool>(QueryAs<IAMDroppedFrames>(pin.Get())),
                samples && want.category == PIN_CATEGORY_CAPTURE);
      if (!config) continue;
      int count = 0, size = 0;
      ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
      EXPECT_EQ(count, kind.capabilities);
      EXPECT_EQ(size, static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
      for (int c = 0; c < count; ++c) {
        VIDEO_STREAM_CONFIG_CAPS caps{};
        const CMediaType mt = Capability(pin.Get(), c, &caps);
        EXPECT_EQ(std::tuple(mt.majortype, caps.guid, caps.MaxFrameInterval, caps.MaxBitsPerSecond > 0),
                  std::tuple(want.majorType, mt.formattype, caps.MinFrameInterval, true));
        if (mt.formattype == FORMAT_VideoInfo) {
          const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
          EXPECT_EQ(std::tuple(caps.InputSize.cx, caps.InputSize.cy, caps.MinFrameInterval),
                    std::tuple(vih->bmiHeader.biWidth, vih->bmiHeader.biHeight, vih->AvgTimePerFrame));
          EXPECT_EQ(mt.IsFixedSize(), mt.subtype != MEDIASUBTYPE_MJPG) << "pictures of one size";
        }
        EXPECT_TRUE(c > 0 || std::tuple(caps.InputSize.cx, caps.InputSize.cy, caps.MinFrameInterval) ==
                                 std::tuple(kind.width, kind.height, kind.interval));
      }
      EXPECT_TRUE(CurrentFormat(pin.Get()) == Capability(pin.Get(), 0)) << "the first by default";
      AM_MEDIA_TYPE* past = nullptr;
      VIDEO_STREAM_CONFIG_CAPS caps{};
      EXPECT_EQ(S_FALSE, config->GetStreamCaps(count, &past, reinterpret_cast<BYTE*>(&caps)));
    }
  }
  HRESULT hr = S_OK;
  EXPECT_FALSE(BindDevice(CLSID_VideoInputDeviceCategory, L"Dead Card", &hr));
  EXPECT_EQ(hr, VFW_E_NO_CAPTURE_HARDWARE) << "a broken device is listed but does not bind";
}

// SetFormat chooses one of the device's capabilities and refuses others; while connected it
// connects the pins again with it, unless the sink refuses it (the connection and the format
// stay as they were); not while the graph runs. (Both pins offering the choice alone: the
// program's replayed webcam and the stream format page.)
TEST_F(CaptureFilters, SetFormatChoosesACapabilityAndReconnectsOrFailsCleanly) {
  ClockedGraph g;
  ComPtr<IBaseFilter> webcam = g.AddDevice(CLSID_VideoInputDeviceCategory, L"Webcam");
  ComPtr<IPin> capture = PinNamed(webcam.Get(), L"Capture");
  ComPtr<IAMStreamConfig> config = QueryAs<IAMStreamConfig>(capture.Get());
  CMediaType mjpg = Capability(capture.Get(), 4);
  CMediaType odd = mjpg;
  reinterpret_cast<VIDEOINFOHEADER*>(odd.pbFormat)->bmiHeader.biWidth = 100;
  EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&odd));
  EXPECT_EQ(E_POINTER, config->SetFormat(nullptr));

  ComPtr<PatternSink> sink = MakeComObject<PatternSink>();
  CMediaType large = Capability(capture.Get(), 0);
  ASSERT_EQ(S_OK, config->SetFormat(&large));
  ASSERT_EQ(S_OK, g.ConnectToSink(capture.Get(), sink.Get()));
  CMediaType small = Capability(capture.Get(), 2);  // 320x240
  ASSERT_EQ(S_OK, config->SetFormat(&small));
  auto connection = [&] {
    CMediaType mt;
    capture->ConnectionMediaType(&mt);
    return mt;
  };
  EXPECT_TRUE(connection() == small);
  EXPECT_TRUE(FAILED(config->SetFormat(&mjpg)));
  EXPECT_TRUE(connection() == small);
  EXPECT_TRUE(CurrentFormat(capture.Get()) == small);
  ASSERT_TRUE(SUCCEEDED(g.Run()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, config->SetFormat(&large));
  g.Stop();
}

// Each picture control's range, step, default and value ("min..max/step default=value"); its
// least value taken, one past the range and a control the device lacks refused.
TEST_F(CaptureFilters, PictureControlsHaveRangesDefaultsAndCheckValues) {
  ComPtr<IAMVideoProcAmp> amp =
      QueryAs<IAMVideoProcAmp>(BindDevice(CLSID_VideoInputDeviceCategory, L"Grabber").Get());
  ASSERT_TRUE(amp);
  std::string shown;
  for (long p : {VideoProcAmp_Brightness, VideoProcAmp_Contrast, VideoProcAmp_Hue,
                 VideoProcAmp_Saturation, VideoProcAmp_Gamma}) {
    long min = 0, max = 0, step = 0, def = 0, flags = 0, value = 0;
    const HRESULT range = amp->GetRange(p, &min, &max, &step, &def, &flags);
    const HRESULT got = amp->Get(p, &value, &flags);
    const bool refused = amp->Set(p, max + 1, VideoProcAmp_Flags_Manual) == E_INVALIDARG;
    const bool taken = amp->Set(p, min, VideoProcAmp_Flags_Manual) == S_OK;
    shown += range != S_OK || got != S_OK ? "none; "
             : std::to_string(min) + ".." + std::to_string(max) + "/" + std::to_string(step) +
                   " " + std::to_string(def) + "=" + std::to_string(value) +
                   (refused && taken ? "; " : " wrongly checked; ");
  }
  EXPECT_EQ(shown, "0..255/1 128=128; 0..200/1 100=100; -180..180/1 0=0; 0..200/1 100=100; none; ");
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, amp->Set(VideoProcAmp_Gamma, 1, VideoProcAmp_Flags_Manual));
}

// The capture driver dialogs of the `vfw` kind, driven without a person through the platform's
// property frame: the source dialog's picture controls act on the device; the format dialog
// sets the device's format, answering VFW_E_CANNOT_CONNECT when that no longer fits the
// connected pin, which keeps its connection until the graph is built again; closed without a
// change it leaves a fitting connection alone. (Which dialogs the driver has: the program's
// Options menu tests.)
TEST_F(CaptureFilters, TheDriverSourceAndFormatDialogsChangeTheDevice) {
  ClockedGraph g;
  ComPtr<IBaseFilter> device = g.AddDevice(CLSID_VideoInputDeviceCategory, L"Old Driver");
  ComPtr<IAMVfwCaptureDialogs> dialogs = QueryAs<IAMVfwCaptureDialogs>(device.Get());
  ASSERT_TRUE(dialogs);
  ComPtr<IPin> capture = CapturePinOf(device.Get());
  ModalDialogDriver driver([](QWidget& frame) {
    ASSERT_EQ(frame.findChild<QTabWidget*>()->count(), 1);
    QSlider* brightness = frame.findChild<QSlider*>("sliderBrightness");
    ASSERT_TRUE(brightness);
    brightness->setValue(200);
    ClickButton(frame, "OK");
  });
  EXPECT_EQ(S_OK, dialogs->ShowDialog(VfwCaptureDialog_Source, nullptr));
  long value = 0, flags = 0;
  QueryAs<IAMVideoProcAmp>(device.Get())->Get(VideoProcAmp_Brightness, &value, &flags);
  EXPECT_EQ(value, 200);

  ComPtr<PatternSink> sink = MakeComObject<PatternSink>();
  ASSERT_EQ(S_OK, g.ConnectToSink(capture.Get(), sink.Get()));
  const CMediaType connected = CurrentFormat(capture.Get());
  driver.Then([](QWidget& frame) {
    ASSERT_TRUE(ChooseItem(frame.findChild<QComboBox*>("cboxSize"), "320 x 240"));
    ClickButton(frame, "OK");
  });
  EXPECT_EQ(VFW_E_CANNOT_CONNECT, dialogs->ShowDialog(VfwCaptureDialog_Format, nullptr));
  EXPECT_TRUE(CurrentFormat(capture.Get()) == connected);
  ASSERT_EQ(S_OK, g.graph->Disconnect(capture.Get()));
  ASSERT_EQ(S_OK, g.graph->Disconnect(sink->Input()));
  ASSERT_EQ(S_OK, g.graph->ConnectDirect(capture.Get(), sink->Input(), nullptr));
  EXPECT_EQ(VideoSizeOf(CurrentFormat(capture.Get())), std::make_pair(320, 240));
  driver.Then([](QWidget& frame) { ClickButton(frame, "Annuler"); });
  EXPECT_EQ(S_OK, dialogs->ShowDialog(VfwCaptureDialog_Format, nullptr));
  EXPECT_EQ(driver.DialogsDriven(), 3);
  EXPECT_EQ(E_INVALIDARG, dialogs->ShowDialog(VfwCaptureDialog_Display, nullptr));
}

}  // namespace
}  // namespace vidorra::test
