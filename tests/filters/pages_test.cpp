// The property pages, each shown, applied and refused in one test, in the property frame the
// program opens them in and driven as a user would ("Appliquer" is enabled while a page has
// something to apply), against the simulated machine's devices and the platform's AVI Mux;
// small fakes only where no device gives the case (a refusal of the crossbar or the TV sound, the
// controls pages' automatic modes and refusals, a scaling capability). And what every page does
// alike: creation by class id, page info, objects without the page's interface, the page widget
// from Activate to Deactivate.
#include <DeviceList.h>
#include <ScopedMachine.h>
#include <gtest/gtest.h>
#include <mmreg.h>
#include <ocidl.h>
#include <olectl.h>
#include <vidorra_pages.h>
#include <winuser.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <map>
#include <tuple>

#include "HwndQt.h"
#include "modal_dialog_driver.h"
#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

QString Fr(const char16_t* text) { return QString::fromUtf16(text); }

template <class Widget = QComboBox>
Widget* Get(QWidget& frame, const std::string& name) {
  return frame.findChild<Widget*>(QString::fromStdString(name));
}
QStringList Items(QWidget& frame, const char* name) {
  QStringList items;
  for (int i = 0; i < Get(frame, name)->count(); ++i) items << Get(frame, name)->itemText(i);
  return items;
}
QString Current(QWidget& frame, const char* name) { return Get(frame, name)->currentText(); }
QString Text(QWidget& frame, const char* name) { return Get<QLabel>(frame, name)->text(); }
// The page's error line, empty while hidden.
QString Error(QWidget& frame) {
  const QLabel* error = Get<QLabel>(frame, "labError");
  return error && error->isVisible() ? error->text() : QString();
}
bool Shows(QWidget& frame, const QString& text) {
  for (const QLabel* label : frame.findChildren<QLabel*>()) {
    if (label->isVisible() && label->text().contains(text)) return true;
  }
  return false;
}
bool Dirty(QWidget& frame) { return FindButton(frame, "Appliquer")->isEnabled(); }

// Shows the page for `object` in a property frame, as the program does, and has `act` drive it;
// `act` closes it with "OK" or "Annuler".
template <class Object>
void InFrame(REFCLSID page, Object* object, ModalDialogDriver::Action act) {
  ComPtr<IUnknown> unknown;
  object->QueryInterface(IID_IUnknown, unknown.ReleaseAndGetVoidAddressOf());
  IUnknown* objects[] = {unknown.Get()};
  ModalDialogDriver driver(std::move(act));
  EXPECT_EQ(S_OK,
            OleCreatePropertyFrame(nullptr, 0, 0, nullptr, 1, objects, 1, &page, 0, 0, nullptr));
  EXPECT_EQ(1, driver.DialogsDriven());
}

class Pages : public ::testing::Test {
 protected:
  template <class Interface>
  ComPtr<Interface> Device(REFGUID category, const wchar_t* name) {
    filters_.push_back(BindDevice(category, name));
    EXPECT_TRUE(filters_.back()) << WideToUtf8(name);
    return QueryAs<Interface>(filters_.back().Get());
  }
  // The stream configuration of the device's first pin.
  ComPtr<IAMStreamConfig> StreamConfig(REFGUID category, const wchar_t* name) {
    return QueryAs<IAMStreamConfig>(PinAt(Device<IBaseFilter>(category, name).Get(), 0).Get());
  }
  static CMediaType Format(IAMStreamConfig* config) {
    AM_MEDIA_TYPE* type = nullptr;
    CMediaType mt;
    if (config->GetFormat(&type) == S_OK) mt.Adopt(*type);
    CoTaskMemFree(type);
    return mt;
  }

  ScopedMachine machine_{
      "video webcam Webcam\nvideo dv Camescope\nvideo tv Carte\naudio tone Micro\n"};
  std::vector<ComPtr<IBaseFilter>> filters_;
};

// ---- What every page does alike -------------------------------------------------------------

class Nothing : public CUnknown {};

TEST_F(Pages, EachIsCreatedByItsClassIdAndRefusesAnObjectWithoutItsInterface) {
  auto nothing = MakeComObject<Nothing>();
  QWidget area;
  for (const CLSID* clsid :
       {&CLSID_StreamFormatPropertyPage, &CLSID_VideoProcAmpPropertyPage,
        &CLSID_CameraControlPropertyPage, &CLSID_CrossbarPropertyPage, &CLSID_TVTunerPropertyPage,
        &CLSID_TVAudioPropertyPage, &CLSID_AviMuxPropertyPage}) {
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(S_OK, CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                     page.ReleaseAndGetVoidAddressOf()));
    PROPPAGEINFO info{};
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    EXPECT_NE(L'\0', info.pszTitle[0]);
    EXPECT_TRUE(info.size.cx > 0 && info.size.cy > 0 && !info.pszDocString);
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(E_POINTER, page->GetPageInfo(nullptr));
    IUnknown* object = nothing.Get();
    EXPECT_EQ(E_NOINTERFACE, page->SetObjects(1, &object));
    EXPECT_EQ(E_UNEXPECTED, page->Activate(HwndForWidget(&area), nullptr, TRUE));
    EXPECT_EQ(E_UNEXPECTED, page->Apply());
    EXPECT_EQ(S_FALSE, page->IsPageDirty());
  }
  EXPECT_EQ(1u, nothing->RefCountForTesting());
}

TEST_F(Pages, ThePageWidgetLivesFromActivateToDeactivate) {
  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest);
  ComPtr<IPropertyPage> page;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_AviMuxPropertyPage, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IPropertyPage, page.ReleaseAndGetVoidAddressOf()));
  IUnknown* object = mux.Get();
  ASSERT_EQ(S_OK, page->SetObjects(1, &object));
  QWidget area;
  area.show();
  EXPECT_EQ(E_INVALIDARG, page->Activate(reinterpret_cast<HWND>(0x7FFFFFF0), nullptr, TRUE));
  ASSERT_EQ(S_OK, page->Activate(HwndForWidget(&area), nullptr, TRUE));
  ASSERT_EQ(S_OK, page->Show(SW_SHOW));
  QWidget* content = Get<QWidget>(area, "pageContent");
  ASSERT_TRUE(content && content->isVisible());
  EXPECT_EQ(E_UNEXPECTED, page->Activate(HwndForWidget(&area), nullptr, TRUE));
  EXPECT_EQ(E_UNEXPECTED, page->SetObjects(1, &object));
  EXPECT_EQ(S_OK, page->Show(SW_HIDE));
  EXPECT_FALSE(content->isVisible());
  EXPECT_EQ(S_OK, page->Show(SW_SHOW));
  ASSERT_TRUE(Click(Get<QCheckBox>(area, "cbCompatibilityIndex")));
  EXPECT_EQ(S_OK, page->IsPageDirty());
  EXPECT_EQ(S_OK, page->Deactivate());
  EXPECT_EQ(nullptr, Get<QWidget>(area, "pageContent"));
  EXPECT_EQ(S_FALSE, page->IsPageDirty()) << "the choices went with the controls";
  EXPECT_EQ(E_UNEXPECTED, page->Deactivate());
  EXPECT_EQ(E_UNEXPECTED, page->Show(SW_SHOW));
  // Activated again, the page shows the object's values afresh.
  ASSERT_EQ(S_OK, page->Activate(HwndForWidget(&area), nullptr, TRUE));
  EXPECT_TRUE(Get<QCheckBox>(area, "cbCompatibilityIndex")->isChecked());
  page->Deactivate();
  page->SetObjects(0, nullptr);
}

// ---- The stream format page -----------------------------------------------------------------

// The webcam's capture pin: its formats narrowed choice by choice from the current one, the
// chosen one applied, refused while the device runs; the camcorder's one DV format; sound.
TEST_F(Pages, StreamFormatShowsAppliesAndRefuses) {
  ComPtr<IAMStreamConfig> webcam = StreamConfig(CLSID_VideoInputDeviceCategory, L"Webcam");
  InFrame(CLSID_StreamFormatPropertyPage, webcam.Get(), [&](QWidget& frame) {
    EXPECT_EQ(QStringList({"YUY2", "MJPG"}), Items(frame, "cboxSubtype"));
    EXPECT_EQ(QStringList({"320 x 240", "640 x 480"}), Items(frame, "cboxSize"));
    EXPECT_EQ("640 x 480", Current(frame, "cboxSize"));
    EXPECT_EQ(QStringList({"30 images/s", "15 images/s"}), Items(frame, "cboxRate"));
    EXPECT_FALSE(Dirty(frame));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxSubtype"), "MJPG"));
    EXPECT_EQ(QStringList({"1280 x 720"}), Items(frame, "cboxSize"));
    EXPECT_TRUE(Dirty(frame));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxSubtype"), "YUY2"));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxSize"), "640 x 480"));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxRate"), "30 images/s"));
    EXPECT_FALSE(Dirty(frame)) << "back to what the pin has";
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxSubtype"), "MJPG"));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxRate"), "15 images/s"));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    EXPECT_FALSE(Dirty(frame));
    const CMediaType mjpg = Format(webcam.Get());
    const auto& info = *reinterpret_cast<const VIDEOINFOHEADER*>(mjpg.Format());
    EXPECT_EQ(MEDIASUBTYPE_MJPG, *mjpg.Subtype());
    EXPECT_EQ(std::tuple(1280, 720), std::tuple(info.bmiHeader.biWidth, info.bmiHeader.biHeight));
    EXPECT_NEAR(666667, info.AvgTimePerFrame, 1);
    // Running, the device refuses a new format: the page says why and keeps it to apply.
    ASSERT_TRUE(SUCCEEDED(filters_[0]->Pause()));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxSubtype"), "YUY2"));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    EXPECT_TRUE(Error(frame).startsWith(Fr(u"Le périphérique n'a pas accepté ce format")) &&
                Error(frame).contains("0x80040224"))
        << Error(frame).toStdString();
    EXPECT_TRUE(Dirty(frame));
    ASSERT_TRUE(SUCCEEDED(filters_[0]->Stop()));
    ASSERT_TRUE(ClickButton(frame, "OK"));
  });
  EXPECT_EQ(MEDIASUBTYPE_YUY2, *Format(webcam.Get()).Subtype()) << "OK applied it";

  InFrame(CLSID_StreamFormatPropertyPage,
          StreamConfig(CLSID_VideoInputDeviceCategory, L"Camescope").Get(), [&](QWidget& frame) {
            EXPECT_EQ("dvsd", Current(frame, "cboxSubtype"));
            EXPECT_EQ("720 x 576", Current(frame, "cboxSize"));
            EXPECT_EQ("25 images/s", Current(frame, "cboxRate"));
            ClickButton(frame, "Annuler");
          });

  ComPtr<IAMStreamConfig> micro = StreamConfig(CLSID_AudioInputDeviceCategory, L"Micro");
  InFrame(CLSID_StreamFormatPropertyPage, micro.Get(), [&](QWidget& frame) {
    EXPECT_EQ("Format audio", frame.windowTitle());
    EXPECT_EQ(QStringList({"44,1 kHz", "48 kHz"}), Items(frame, "cboxSampleRate"));
    EXPECT_EQ("48 kHz", Current(frame, "cboxSampleRate"));
    EXPECT_EQ(QStringList({"Mono", Fr(u"Stéréo")}), Items(frame, "cboxChannels"));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxSampleRate"), "44,1 kHz"));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxChannels"), "Mono"));
    ClickButton(frame, "OK");
  });
  WAVEFORMATEX wave;
  std::memcpy(&wave, Format(micro.Get()).Format(), sizeof wave);
  EXPECT_EQ(std::tuple(44100u, 1, 2, 88200u), std::tuple(wave.nSamplesPerSec, wave.nChannels,
                                                         wave.nBlockAlign, wave.nAvgBytesPerSec));
}

// No device offers these: a capability that scales (the usual sizes on its steps), and none.
class FakeStreamConfig : public CUnknown, public IAMStreamConfig {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override { return current = *type, S_OK; }
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override {
    return current.IsValid() ? (*type = CreateMediaType(&current), S_OK) : VFW_E_NOT_CONNECTED;
  }
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override {
    *count = current.IsValid() ? 1 : 0;
    *size = sizeof caps;
    return S_OK;
  }
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* out) override {
    if (index != 0 || !current.IsValid()) return S_FALSE;
    *type = CreateMediaType(&current);
    std::memcpy(out, &caps, sizeof caps);
    return S_OK;
  }
  VIDEO_STREAM_CONFIG_CAPS caps{};
  CMediaType current;
};

TEST_F(Pages, StreamFormatOffersAScalingCapabilityOnItsStepsAndSaysWhenThereIsNone) {
  auto config = MakeComObject<FakeStreamConfig>();
  config->current = MakeTestVideoType(MEDIASUBTYPE_RGB24, 320, 240);
  auto& caps = config->caps;
  caps.guid = FORMAT_VideoInfo;
  caps.MinOutputSize = {160, 120};
  caps.MaxOutputSize = caps.InputSize = {640, 480};
  caps.OutputGranularityX = caps.OutputGranularityY = 16;
  caps.MinFrameInterval = caps.MaxFrameInterval = 400000;
  InFrame(CLSID_StreamFormatPropertyPage, config.Get(), [&](QWidget& frame) {
    // 176 x 144 and 352 x 288 are not on the 16-pixel steps from 160 x 120.
    EXPECT_EQ(QStringList({"160 x 120", "320 x 240", "640 x 360", "640 x 480"}),
              Items(frame, "cboxSize"));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxSize"), "640 x 360"));
    ClickButton(frame, "OK");
  });
  const auto& header =
      reinterpret_cast<const VIDEOINFOHEADER*>(config->current.Format())->bmiHeader;
  EXPECT_EQ(std::tuple(640, 360, 640u * 3 * 360),
            std::tuple(header.biWidth, header.biHeight, header.biSizeImage));

  auto none = MakeComObject<FakeStreamConfig>();
  InFrame(CLSID_StreamFormatPropertyPage, none.Get(), [&](QWidget& frame) {
    EXPECT_EQ(nullptr, Get(frame, "cboxSubtype"));
    EXPECT_TRUE(Shows(frame, Fr(u"ne propose aucun format")));
    ClickButton(frame, "OK");
  });
}

// ---- The picture and camera controls pages ---------------------------------------------------

constexpr long kAuto = 0x1;
constexpr long kManual = 0x2;

// No simulated device has camera controls, automatic modes or refuses a value in range.
template <class Control>
class FakeControls : public CUnknown, public Control {
 public:
  struct Property {
    long min, max, step, byDefault, caps, value, flags;
  };
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == Control::kIid) return GetInterface(static_cast<Control*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP GetRange(long id, long* min, long* max, long* step, long* byDefault,
                        long* caps) override {
    if (!properties.contains(id)) return E_PROP_ID_UNSUPPORTED;
    const Property& p = properties[id];
    std::tie(*min, *max, *step, *byDefault, *caps) =
        std::tie(p.min, p.max, p.step, p.byDefault, p.caps);
    return S_OK;
  }
  STDMETHODIMP Set(long id, long value, long flags) override {
    sets.emplace_back(id, value, flags);
    if (!properties.contains(id) || id == refused) return E_INVALIDARG;
    properties[id].value = value;
    properties[id].flags = flags;
    return S_OK;
  }
  STDMETHODIMP Get(long id, long* value, long* flags) override {
    if (!properties.contains(id)) return E_PROP_ID_UNSUPPORTED;
    std::tie(*value, *flags) = std::tie(properties[id].value, properties[id].flags);
    return S_OK;
  }
  std::map<long, Property> properties;
  long refused = -1;
  std::vector<std::tuple<long, long, long>> sets;
};

struct ProcAmp {
  using Control = IAMVideoProcAmp;
  static const CLSID& Page() { return CLSID_VideoProcAmpPropertyPage; }
  static constexpr long kManualOne = VideoProcAmp_Brightness, kAutoOne = VideoProcAmp_Contrast;
  static constexpr const char *kManualKey = "Brightness", *kAutoKey = "Contrast",
                              *kMissingKey = "Hue";
  static constexpr const char16_t* kManualName = u"Luminosité";
};
struct Camera {
  using Control = IAMCameraControl;
  static const CLSID& Page() { return CLSID_CameraControlPropertyPage; }
  static constexpr long kManualOne = CameraControl_Focus, kAutoOne = CameraControl_Exposure;
  static constexpr const char *kManualKey = "Focus", *kAutoKey = "Exposure", *kMissingKey = "Zoom";
  static constexpr const char16_t* kManualName = u"Mise au point";
};

template <class Kind>
class ControlsPage : public ::testing::Test {};
using Kinds = ::testing::Types<ProcAmp, Camera>;
TYPED_TEST_SUITE(ControlsPage, Kinds);

// A row per property of the device with its range, value and mode; what the user moved applied,
// "Défaut" putting the defaults back; a refused value shown while the others are set; a device
// without any property says so.
TYPED_TEST(ControlsPage, ShowsAppliesAndRefuses) {
  using Set = std::tuple<long, long, long>;
  auto device = MakeComObject<FakeControls<typename TypeParam::Control>>();
  // One set by hand, 0..255 by 1, default 128, now 100; one the device sets itself, 0..100 by 5,
  // default 50, now 40 in automatic mode.
  device->properties[TypeParam::kManualOne] = {0, 255, 1, 128, kManual, 100, kManual};
  device->properties[TypeParam::kAutoOne] = {0, 100, 5, 50, kAuto | kManual, 40, kAuto};
  InFrame(TypeParam::Page(), device.Get(), [&](QWidget& frame) {
    auto* manual = Get<QSlider>(frame, std::string("slider") + TypeParam::kManualKey);
    auto* automatic = Get<QSlider>(frame, std::string("slider") + TypeParam::kAutoKey);
    auto* autoBox = Get<QCheckBox>(frame, std::string("cbAuto") + TypeParam::kAutoKey);
    ASSERT_TRUE(manual && automatic && autoBox);
    EXPECT_EQ(nullptr, Get<QSlider>(frame, std::string("slider") + TypeParam::kMissingKey));
    EXPECT_EQ(nullptr, Get<QCheckBox>(frame, std::string("cbAuto") + TypeParam::kManualKey));
    EXPECT_EQ(std::tuple(0, 255, 100, true), std::tuple(manual->minimum(), manual->maximum(),
                                                        manual->value(), manual->isEnabled()));
    EXPECT_EQ("100", Text(frame, (std::string("lab") + TypeParam::kManualKey).c_str()));
    EXPECT_EQ(std::tuple(5, 40, false, true),
              std::tuple(automatic->singleStep(), automatic->value(), automatic->isEnabled(),
                         autoBox->isChecked()));
    QTest::keyClick(manual, Qt::Key_End);
    EXPECT_EQ(255, manual->value());
    EXPECT_TRUE(Dirty(frame));
    manual->setValue(100);  // dragged back where it was
    EXPECT_FALSE(Dirty(frame));
    ASSERT_TRUE(Click(autoBox));
    EXPECT_TRUE(automatic->isEnabled());
    automatic->setValue(53);  // a drag stops on the property's steps
    EXPECT_EQ(55, automatic->value());
    ASSERT_TRUE(ClickButton(frame, Fr(u"Défaut")));
    EXPECT_EQ(std::pair(128, 50), std::pair(manual->value(), automatic->value()));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    auto sets = device->sets;
    std::sort(sets.begin(), sets.end());
    std::vector<Set> expected{{TypeParam::kManualOne, 128, kManual},
                              {TypeParam::kAutoOne, 50, kManual}};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, sets);
    EXPECT_FALSE(Dirty(frame));
    device->refused = TypeParam::kManualOne;
    manual->setValue(200);
    ASSERT_TRUE(Click(autoBox));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    EXPECT_TRUE(Error(frame).contains(Fr(TypeParam::kManualName))) << Error(frame).toStdString();
    EXPECT_EQ(kAuto, device->properties[TypeParam::kAutoOne].flags) << "the others are set";
    EXPECT_TRUE(Dirty(frame));
    ClickButton(frame, "Annuler");
  });
  EXPECT_EQ(4u, device->sets.size()) << "Annuler applies nothing";
  device->properties.clear();
  InFrame(TypeParam::Page(), device.Get(), [&](QWidget& frame) {
    EXPECT_EQ(nullptr, FindButton(frame, Fr(u"Défaut")));
    EXPECT_TRUE(Shows(frame, Fr(u"Ce périphérique n'a aucun réglage")));
    ClickButton(frame, "OK");
  });
}

// ---- The crossbar page ----------------------------------------------------------------------

// The simulated crossbar, refusing one input when asked (no device refuses a route it lists).
class RefusingCrossbar : public CUnknown, public IAMCrossbar {
 public:
  explicit RefusingCrossbar(ComPtr<IAMCrossbar> real) : real_(std::move(real)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMCrossbar) return GetInterface(static_cast<IAMCrossbar*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP get_PinCounts(long* o, long* i) override { return real_->get_PinCounts(o, i); }
  STDMETHODIMP CanRoute(long o, long i) override { return real_->CanRoute(o, i); }
  STDMETHODIMP Route(long o, long i) override {
    routes.emplace_back(o, i);
    return i == refused ? E_FAIL : real_->Route(o, i);
  }
  STDMETHODIMP get_IsRoutedTo(long o, long* i) override { return real_->get_IsRoutedTo(o, i); }
  STDMETHODIMP get_CrossbarPinInfo(BOOL in, long n, long* related, long* type) override {
    return real_->get_CrossbarPinInfo(in, n, related, type);
  }
  long refused = -1;
  std::vector<std::pair<long, long>> routes;

 private:
  ComPtr<IAMCrossbar> real_;
};

// The TV card's crossbar: each output with the inputs that can feed it and its route; a choice
// applied with its related sound when the pins are linked, alone when not; a refused route
// shown, the page showing the routes made.
TEST_F(Pages, CrossbarShowsAppliesAndRefuses) {
  using Routes = std::vector<std::pair<long, long>>;
  auto crossbar = MakeComObject<RefusingCrossbar>(
      Device<IAMCrossbar>(AM_KSCATEGORY_CROSSBAR, L"Carte Crossbar"));
  for (const bool linked : {true, false}) {
    InFrame(CLSID_CrossbarPropertyPage, crossbar.Get(), [&](QWidget& frame) {
      EXPECT_TRUE(Shows(frame, "Video Decoder") && Shows(frame, "Audio Decoder"));
      EXPECT_EQ(QStringList({"Video Tuner", "Video Composite", "Video SVideo"}),
                Items(frame, "cboxOutput0"));
      EXPECT_EQ(QStringList({"Audio Tuner", "Audio Line"}), Items(frame, "cboxOutput1"));
      EXPECT_EQ(std::pair(QString("Video Tuner"), QString("Audio Tuner")),
                std::pair(Current(frame, "cboxOutput0"), Current(frame, "cboxOutput1")));
      EXPECT_TRUE(Get<QCheckBox>(frame, "cbLinkRelated")->isChecked());
      if (!linked) {
        ASSERT_TRUE(Click(Get<QCheckBox>(frame, "cbLinkRelated")));
      }
      ASSERT_TRUE(ChooseItem(Get(frame, "cboxOutput0"), "Video SVideo"));
      EXPECT_EQ(linked ? "Audio Line" : "Audio Tuner", Current(frame, "cboxOutput1"));
      crossbar->routes.clear();
      ASSERT_TRUE(ClickButton(frame, "Appliquer"));
      EXPECT_EQ((linked ? Routes{{0, 2}, {1, 4}} : Routes{{0, 2}}), crossbar->routes);
      EXPECT_FALSE(Dirty(frame));
      // Back as it was for the next round; linked, the tuner's sound comes along.
      ASSERT_TRUE(ChooseItem(Get(frame, "cboxOutput0"), "Video Tuner"));
      if (!linked) {
        ASSERT_TRUE(ChooseItem(Get(frame, "cboxOutput1"), "Audio Tuner"));
      }
      EXPECT_EQ("Audio Tuner", Current(frame, "cboxOutput1"));
      ClickButton(frame, "OK");
    });
  }
  crossbar->refused = 1;
  InFrame(CLSID_CrossbarPropertyPage, crossbar.Get(), [&](QWidget& frame) {
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxOutput0"), "Video Composite"));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    EXPECT_TRUE(Error(frame).contains(Fr(u"« Video Composite » à « Video Decoder »")))
        << Error(frame).toStdString();
    EXPECT_EQ("Video Composite", Current(frame, "cboxOutput0")) << "the refused choice stays";
    EXPECT_EQ("Audio Line", Current(frame, "cboxOutput1")) << "the related sound was routed";
    long routed = -1;
    EXPECT_EQ(S_OK, crossbar->get_IsRoutedTo(1, &routed));
    EXPECT_EQ(4, routed);
    EXPECT_TRUE(Dirty(frame));
    ClickButton(frame, "Annuler");
  });
}

// ---- The TV tuner and TV sound pages --------------------------------------------------------

// The TV card's tuner: its settings and reception, followed while the page is open; a country,
// channel and input type applied (the standard and reception shown anew); a country refused.
TEST_F(Pages, TVTunerShowsAppliesAndRefuses) {
  ComPtr<IAMTVTuner> tuner = Device<IAMTVTuner>(AM_KSCATEGORY_TVTUNER, L"Carte TV Tuner");
  InFrame(CLSID_TVTunerPropertyPage, tuner.Get(), [&](QWidget& frame) {
    auto* channel = Get<QSpinBox>(frame, "spinChannel");
    EXPECT_EQ(std::tuple(4, 1, 69),
              std::tuple(channel->value(), channel->minimum(), channel->maximum()));
    EXPECT_EQ(33, Get<QSpinBox>(frame, "spinCountry")->value());
    EXPECT_EQ("Antenne", Current(frame, "cboxInputType"));
    EXPECT_TRUE(Text(frame, "labStandard").startsWith("SECAM L"))
        << Text(frame, "labStandard").toStdString();
    EXPECT_EQ(std::pair(Fr(u"Présent"), QString("62,25 MHz")),
              std::pair(Text(frame, "labSignal"), Text(frame, "labFrequency")));
    ASSERT_EQ(S_OK, tuner->put_Channel(3, -1, -1));  // another client tunes to no station
    EXPECT_TRUE(WaitUntil([&] { return Text(frame, "labSignal") == "Absent"; }));
    ASSERT_EQ(S_OK, tuner->put_Channel(4, -1, -1));
    EXPECT_FALSE(Dirty(frame));
    ASSERT_TRUE(TypeInto(channel, "21"));
    ASSERT_TRUE(TypeInto(Get<QSpinBox>(frame, "spinCountry"), "44"));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxInputType"), Fr(u"Câble")));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    EXPECT_TRUE(Text(frame, "labStandard").startsWith("PAL I"))
        << Text(frame, "labStandard").toStdString();
    EXPECT_EQ(std::pair(Fr(u"Présent"), QString("471,25 MHz")),
              std::pair(Text(frame, "labSignal"), Text(frame, "labFrequency")));
    EXPECT_FALSE(Dirty(frame));
    ASSERT_TRUE(TypeInto(Get<QSpinBox>(frame, "spinCountry"), "0"));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    EXPECT_TRUE(Error(frame).startsWith("Le tuner refuse le pays 0")) << Error(frame).toStdString();
    EXPECT_TRUE(Dirty(frame));
    ClickButton(frame, "Annuler");
  });
  long channel = 0, country = 0, sub = 0;
  TunerInputType type = TunerInputAntenna;
  tuner->get_Channel(&channel, &sub, &sub);
  tuner->get_CountryCode(&country);
  tuner->get_InputType(0, &type);
  EXPECT_EQ(std::tuple(21, 44, TunerInputCable), std::tuple(channel, country, type));
}

// The simulated TV sound, refusing every mode when asked (it takes every mode it lists).
class RefusingTVAudio : public CUnknown, public IAMTVAudio {
 public:
  explicit RefusingTVAudio(ComPtr<IAMTVAudio> real) : real_(std::move(real)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMTVAudio) return GetInterface(static_cast<IAMTVAudio*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP GetHardwareSupportedTVAudioModes(long* m) override {
    return real_->GetHardwareSupportedTVAudioModes(m);
  }
  STDMETHODIMP GetAvailableTVAudioModes(long* m) override {
    return real_->GetAvailableTVAudioModes(m);
  }
  STDMETHODIMP get_TVAudioMode(long* m) override { return real_->get_TVAudioMode(m); }
  STDMETHODIMP put_TVAudioMode(long m) override {
    return refuse ? E_FAIL : real_->put_TVAudioMode(m);
  }
  STDMETHODIMP RegisterNotificationCallBack(IAMTunerNotification*, long) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP UnRegisterNotificationCallBack(IAMTunerNotification*) override { return E_NOTIMPL; }
  bool refuse = false;

 private:
  ComPtr<IAMTVAudio> real_;
};

// The TV card's sound: the broadcast's modes and languages offered, the chosen sound and
// language set together; a refusal shown.
TEST_F(Pages, TVAudioShowsAppliesAndRefuses) {
  auto audio =
      MakeComObject<RefusingTVAudio>(Device<IAMTVAudio>(AM_KSCATEGORY_TVAUDIO, L"Carte TV Audio"));
  InFrame(CLSID_TVAudioPropertyPage, audio.Get(), [&](QWidget& frame) {
    EXPECT_EQ(QStringList({"Mono", Fr(u"Stéréo")}), Items(frame, "cboxSound"));
    EXPECT_EQ(QStringList({"Langue A", "Langue B"}), Items(frame, "cboxLanguage"));
    EXPECT_EQ(std::pair(Fr(u"Stéréo"), QString("Langue A")),
              std::pair(Current(frame, "cboxSound"), Current(frame, "cboxLanguage")));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxSound"), "Mono"));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxLanguage"), "Langue B"));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    long mode = 0;
    audio->get_TVAudioMode(&mode);
    EXPECT_EQ(AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_LANG_B, mode);
    EXPECT_FALSE(Dirty(frame));
    audio->refuse = true;
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxSound"), Fr(u"Stéréo")));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    EXPECT_TRUE(Error(frame).startsWith("Le tuner refuse ce mode de son"))
        << Error(frame).toStdString();
    EXPECT_TRUE(Dirty(frame));
    ClickButton(frame, "Annuler");
  });
}

// ---- The AVI Mux page -----------------------------------------------------------------------

// The mux's settings; what the user changed applied; a mode the mux cannot do refused, the rest
// set.
TEST_F(Pages, AviMuxShowsAppliesAndRefuses) {
  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest);
  auto config = QueryAs<IConfigAviMux>(mux.Get());
  auto interleaving = QueryAs<IConfigInterleaving>(mux.Get());
  REFERENCE_TIME interleave = 0, preroll = 0;
  CAUUID pages{};  // the page the mux lists
  ASSERT_EQ(S_OK, QueryAs<ISpecifyPropertyPages>(mux.Get())->GetPages(&pages));
  ASSERT_EQ(1u, pages.cElems);
  const CLSID page = pages.pElems[0];
  CoTaskMemFree(pages.pElems);
  InFrame(page, mux.Get(), [&](QWidget& frame) {
    EXPECT_EQ("Au fil de la capture", Current(frame, "cboxInterleaveMode"));
    EXPECT_EQ(std::pair(1000, 0), std::pair(Get<QSpinBox>(frame, "spinInterleave")->value(),
                                            Get<QSpinBox>(frame, "spinPreroll")->value()));
    EXPECT_TRUE(Get<QCheckBox>(frame, "cbCompatibilityIndex")->isChecked());
    EXPECT_EQ(QStringList({"Aucun", "Input 01"}), Items(frame, "cboxMasterStream"));
    ASSERT_TRUE(TypeInto(Get<QSpinBox>(frame, "spinInterleave"), "500"));
    ASSERT_TRUE(TypeInto(Get<QSpinBox>(frame, "spinPreroll"), "250"));
    ASSERT_TRUE(Click(Get<QCheckBox>(frame, "cbCompatibilityIndex")));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxMasterStream"), "Input 01"));
    ASSERT_TRUE(ClickButton(frame, "Appliquer"));
    EXPECT_FALSE(Dirty(frame));
    BOOL oldIndex = TRUE;
    LONG master = -1;
    ASSERT_EQ(S_OK, interleaving->get_Interleaving(&interleave, &preroll));
    ASSERT_EQ(S_OK, config->GetOutputCompatibilityIndex(&oldIndex));
    ASSERT_EQ(S_OK, config->GetMasterStream(&master));
    EXPECT_EQ(std::tuple(5'000'000, 2'500'000, FALSE, 0),
              std::tuple(interleave, preroll, oldIndex, master));
    ASSERT_TRUE(ChooseItem(Get(frame, "cboxInterleaveMode"), "Complet"));
    ASSERT_TRUE(TypeInto(Get<QSpinBox>(frame, "spinPreroll"), "100"));
    ASSERT_TRUE(ClickButton(frame, "OK"));
    EXPECT_TRUE(Error(frame).startsWith("Le multiplexeur refuse ce mode d'entrelacement"))
        << Error(frame).toStdString();
    EXPECT_TRUE(frame.isVisible()) << "OK stays on a refused page";
    ClickButton(frame, "Annuler");
  });
  InterleavingMode mode = INTERLEAVE_NONE;
  ASSERT_EQ(S_OK, interleaving->get_Interleaving(&interleave, &preroll));
  ASSERT_EQ(S_OK, interleaving->get_Mode(&mode));
  EXPECT_EQ(std::tuple(5'000'000, 1'000'000, INTERLEAVE_CAPTURE),
            std::tuple(interleave, preroll, mode))
      << "the rest is set";
}

}  // namespace
}  // namespace vidorra::test
