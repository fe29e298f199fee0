// The property pages, each shown, applied and refused in one session of steps, in the property
// frame the program opens them in and driven as a user would ("Appliquer" is enabled while a
// page has something to apply), against the simulated machine's devices (the crossbar refusing
// once its card is unplugged) and the platform's AVI Mux; small fakes only where no device gives
// the case (a refusal of the TV sound, the controls pages' automatic modes and refusals, a
// scaling capability). And what every page does alike: creation by class id, page info, objects
// without the page's interface, the page widget from Activate to Deactivate.
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
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <map>

#include "HwndQt.h"
#include "modal_dialog_driver.h"
#include "sys_filter_support.h"
#include "widget_snapshot.h"

namespace vidorra::test {
namespace {

// What the named controls show, "; " between them: a list its items, the current one in
// brackets; a spin box its range and value; a slider its range, step and value; a check box
// on or off; a label its text; " (grey)" after a disabled control, "-" for one the page lacks.
QString Shown(QWidget& frame, const std::vector<std::string>& names) {
  QStringList shown;
  for (const std::string& name : names) {
    QWidget* w = frame.findChild<QWidget*>(QString::fromStdString(name));
    QString text = "-";
    if (auto* list = qobject_cast<QComboBox*>(w)) {
      QStringList items;
      for (int i = 0; i < list->count(); ++i)
        items << (i == list->currentIndex() ? "[" + list->itemText(i) + "]" : list->itemText(i));
      text = items.join('|');
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
      text = QString("%1..%2=%3").arg(spin->minimum()).arg(spin->maximum()).arg(spin->value());
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
      text = QString("%1..%2/%3=%4")
                 .arg(slider->minimum())
                 .arg(slider->maximum())
                 .arg(slider->singleStep())
                 .arg(slider->value());
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
      text = check->isChecked() ? "on" : "off";
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      text = label->text();
    }
    shown << (w && !w->isEnabled() ? text + " (grey)" : text);
  }
  return shown.join("; ");
}

// A step of a session with a page: what the user does, then what the page shows (while the
// frame is open) and the object's settings read back. The act is done in order, "; " between
// its parts: "name=value" an item chosen in a list, a value typed into a spin box or a slider
// moved to it, a check box set on or off; "[text]" the button of that text clicked; "@hook" a
// hook of the session called (another client, the device's state); "?text" a text the frame's
// title or a label must show.
struct Step {
  QString act;
  QString shown = {};     // the page's controls (when given)
  bool dirty = false;     // "Appliquer" enabled (while the frame is open)
  QString settings = {};  // the object's settings (when given)
  QString error = {};     // a pattern the error line shows (when given; "^$": none shown)
};
using Hooks = std::map<QString, std::function<void()>>;

void Act(QWidget& frame, const QString& act, const Hooks& hooks) {
  for (const QString& part : act.split("; ", Qt::SkipEmptyParts)) {
    const QString name = part.section('=', 0, 0), value = part.section('=', 1);
    auto* w = frame.findChild<QWidget*>(name);
    bool done = true;
    if (part.startsWith('[')) {
      done = ClickButton(frame, part.mid(1, part.size() - 2));
    } else if (part.startsWith('@')) {
      hooks.at(part.mid(1))();
    } else if (part.startsWith('?')) {
      const auto labels = frame.findChildren<QLabel*>();
      done = frame.windowTitle().contains(part.mid(1)) ||
             std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
               return label->isVisible() && label->text().contains(part.mid(1));
             });
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
      done = ChooseItem(list, value);
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) {
      done = TypeInto(spin, value);
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
      slider->setValue(value.toInt());
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
      done = check->isChecked() == (value == "on") || Click(check);
    } else {
      done = false;
    }
    EXPECT_TRUE(done) << part.toStdString();
  }
}

// A name for each session of a test, for what its frame shows first (tests/snapshots/).
QString SessionName() {
  static std::pair<std::string, int> session;
  const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  session = {test, session.first == test ? session.second + 1 : 1};
  return QString::fromStdString("page-" + test + "-" + std::to_string(session.second));
}

// Opens the page for `object` in a property frame, as the program does, and goes through the
// steps; the last one closes the frame ("[OK]" or "[Annuler]").
template <class Object>
void Session(REFCLSID page, Object* object, const std::vector<std::string>& controls,
             const std::function<QString()>& settings, const std::vector<Step>& steps,
             const Hooks& hooks = {}) {
  ComPtr<IUnknown> unknown;
  object->QueryInterface(IID_IUnknown, unknown.ReleaseAndGetVoidAddressOf());
  IUnknown* objects[] = {unknown.Get()};
  const QString snapshot = SessionName();
  ModalDialogDriver driver([&](QWidget& frame) {
    ExpectSnapshot(frame, snapshot);  // as the frame shows first
    for (size_t i = 0; i < steps.size(); ++i) {
      const Step& s = steps[i];
      SCOPED_TRACE(testing::Message() << "step " << i + 1 << ": " << s.act.toStdString());
      Act(frame, s.act, hooks);
      // What the user did shows at once; what a hook did, once the object's notice comes.
      if (!s.shown.isEmpty()) {
        EXPECT_TRUE(frame.isVisible());
        const auto shown = [&] { return Shown(frame, controls) == s.shown; };
        EXPECT_TRUE(s.act.contains('@') ? WaitUntil(shown) : shown())
            << Shown(frame, controls).toStdString();
      }
      if (frame.isVisible()) {
        EXPECT_EQ(s.dirty, FindButton(frame, "Appliquer")->isEnabled());
      }
      if (!s.settings.isEmpty()) {
        EXPECT_EQ(s.settings.toStdString(), settings().toStdString());
      }
      if (!s.error.isEmpty()) {
        const QLabel* error = frame.findChild<QLabel*>("labError");
        const QString shown = error && error->isVisible() ? error->text() : QString();
        EXPECT_TRUE(shown.contains(QRegularExpression(s.error))) << shown.toStdString();
      }
    }
  });
  EXPECT_EQ(S_OK,
            OleCreatePropertyFrame(nullptr, 0, 0, nullptr, 1, objects, 1, &page, 0, 0, nullptr));
  EXPECT_EQ(1, driver.DialogsDriven());
}

// A stream's format: "44100 Hz x1, 2 B, 88200 B/s" or "MJPG 1280x720 1843200 B 15/s".
QString FormatText(IAMStreamConfig* config) {
  AM_MEDIA_TYPE* mt = nullptr;
  if (config->GetFormat(&mt) != S_OK) return "none";
  const auto* w = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
  const BITMAPINFOHEADER& b = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
  const char* fourcc = reinterpret_cast<const char*>(&mt->subtype.Data1);
  const QString text =
      mt->formattype == FORMAT_WaveFormatEx
          ? QString::asprintf("%u Hz x%u, %u B, %u B/s", unsigned(w->nSamplesPerSec),
                              unsigned(w->nChannels), unsigned(w->nBlockAlign),
                              unsigned(w->nAvgBytesPerSec))
          : QString::asprintf(
                "%.4s %ldx%ld %u B %.0f/s", fourcc, long(b.biWidth), long(b.biHeight),
                unsigned(b.biSizeImage),
                1e7 / reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->AvgTimePerFrame);
  DeleteMediaType(mt);
  return text;
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
  // Unplugs the TV card and waits until `call` (one that changes nothing) fails as a card's
  // driver does once the card is gone.
  void UnplugCard(const std::function<HRESULT()>& call) {
    machine_.Rewrite("video webcam Webcam\n");
    EXPECT_TRUE(WaitUntil([&] { return call() == VFW_E_NO_CAPTURE_HARDWARE; }));
  }

  ScopedMachine machine_{
      "video webcam Webcam\nvideo dv Camescope\nvideo tv Carte\naudio tone Micro\n"};
  std::vector<ComPtr<IBaseFilter>> filters_;
};

// ---- What every page does alike -------------------------------------------------------------

class Nothing : public CUnknown {};

// Each page: created by its class id, its info, an object without its interface refused; the
// AVI Mux page's widget lives from Activate to Deactivate.
TEST_F(Pages, EachIsCreatedRefusesAnObjectWithoutItsInterfaceAndLivesFromActivateToDeactivate) {
  using Answers = std::vector<HRESULT>;  // a braced list calls in order
  auto nothing = MakeComObject<Nothing>();
  QWidget area;
  const HWND window = HwndForWidget(&area);
  ComPtr<IPropertyPage> page;
  for (const CLSID* clsid :
       {&CLSID_StreamFormatPropertyPage, &CLSID_VideoProcAmpPropertyPage,
        &CLSID_CameraControlPropertyPage, &CLSID_CrossbarPropertyPage, &CLSID_TVTunerPropertyPage,
        &CLSID_TVAudioPropertyPage, &CLSID_AviMuxPropertyPage}) {
    ASSERT_EQ(S_OK, CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                     page.ReleaseAndGetVoidAddressOf()));
    PROPPAGEINFO info{};
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    EXPECT_TRUE(info.pszTitle[0] && info.size.cx > 0 && info.size.cy > 0 && !info.pszDocString);
    CoTaskMemFree(info.pszTitle);
    IUnknown* object = nothing.Get();
    EXPECT_EQ((Answers{page->GetPageInfo(nullptr), page->SetObjects(1, &object),
                       page->Activate(window, nullptr, TRUE), page->Apply(), page->IsPageDirty()}),
              (Answers{E_POINTER, E_NOINTERFACE, E_UNEXPECTED, E_UNEXPECTED, S_FALSE}));
  }
  EXPECT_EQ(1u, nothing->RefCountForTesting());

  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest);  // the last page created: the mux's
  IUnknown* object = mux.Get();
  area.show();
  const auto shown = [&] {
    const QWidget* content = area.findChild<QWidget*>("pageContent");
    return content ? content->isVisible() ? "shown" : "hidden" : "none";
  };
  const auto index = [&] { return area.findChild<QCheckBox*>("cbCompatibilityIndex"); };
  EXPECT_EQ((Answers{page->SetObjects(1, &object),
                     page->Activate(reinterpret_cast<HWND>(0x7FFFFFF0), nullptr, TRUE),
                     page->Activate(window, nullptr, TRUE), page->Show(SW_SHOW)}),
            (Answers{S_OK, E_INVALIDARG, S_OK, S_OK}));
  EXPECT_STREQ(shown(), "shown");
  EXPECT_EQ((Answers{page->Activate(window, nullptr, TRUE), page->SetObjects(1, &object),
                     page->Show(SW_HIDE)}),
            (Answers{E_UNEXPECTED, E_UNEXPECTED, S_OK}));
  EXPECT_STREQ(shown(), "hidden");
  EXPECT_EQ(S_OK, page->Show(SW_SHOW));
  ASSERT_TRUE(Click(index()));
  EXPECT_EQ((Answers{page->IsPageDirty(), page->Deactivate()}), (Answers{S_OK, S_OK}));
  EXPECT_STREQ(shown(), "none");
  // The choices went with the controls; activated again, the page shows the object's values.
  EXPECT_EQ((Answers{page->IsPageDirty(), page->Deactivate(), page->Show(SW_SHOW),
                     page->Activate(window, nullptr, TRUE)}),
            (Answers{S_FALSE, E_UNEXPECTED, E_UNEXPECTED, S_OK}));
  EXPECT_TRUE(index()->isChecked());
  page->Deactivate();
  page->SetObjects(0, nullptr);

  // The mux's settings, the page found in the mux's own list; what the user changed applied; a
  // mode the mux cannot do refused (OK stays on the page), the rest set.
  CAUUID pages{};
  ASSERT_EQ(S_OK, QueryAs<ISpecifyPropertyPages>(mux.Get())->GetPages(&pages));
  ASSERT_EQ(1u, pages.cElems);
  const CLSID muxPage = pages.pElems[0];
  CoTaskMemFree(pages.pElems);
  const auto settings = [&] {
    REFERENCE_TIME interleave = 0, preroll = 0;
    InterleavingMode mode = INTERLEAVE_NONE;
    BOOL oldIndex = TRUE;
    LONG master = -1;
    QueryAs<IConfigInterleaving>(mux.Get())->get_Interleaving(&interleave, &preroll);
    QueryAs<IConfigInterleaving>(mux.Get())->get_Mode(&mode);
    QueryAs<IConfigAviMux>(mux.Get())->GetOutputCompatibilityIndex(&oldIndex);
    QueryAs<IConfigAviMux>(mux.Get())->GetMasterStream(&master);
    return QString::asprintf("%lld %lld mode %d index %d master %ld",
                             static_cast<long long>(interleave), static_cast<long long>(preroll),
                             int(mode), int(oldIndex), long(master));
  };
  Session(
      muxPage, mux.Get(),
      {"cboxInterleaveMode", "spinInterleave", "spinPreroll", "cbCompatibilityIndex",
       "cboxMasterStream"},
      settings,
      {{"spinInterleave=500; spinPreroll=250; cbCompatibilityIndex=off; cboxMasterStream=Input 01; "
        "[Appliquer]",
        "", false, "5000000 2500000 mode 1 index 0 master 0"},
       {"cboxInterleaveMode=Complet; spinPreroll=100; [OK]",
        "Aucun|Au fil de la capture|[Complet]|Aucun, avec mémoire tampon; 1..60000=500; "
        "0..60000=100; off; Aucun|[Input 01]",
        true, "", "^Le multiplexeur refuse ce mode d'entrelacement"},
       {"[Annuler]", "", false, "5000000 1000000 mode 1 index 0 master 0"}});  // the rest is set
}

// ---- The stream format page -----------------------------------------------------------------

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
    *size = current.majortype == MEDIATYPE_Audio ? sizeof sound : sizeof caps;
    return S_OK;
  }
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* out) override {
    if (index != 0 || !current.IsValid()) return S_FALSE;
    *type = CreateMediaType(&current);
    std::memcpy(out, &caps, sizeof caps);
    return S_OK;
  }
  union {
    VIDEO_STREAM_CONFIG_CAPS caps{};
    AUDIO_STREAM_CONFIG_CAPS sound;
  };
  CMediaType current;
};

// The webcam's capture pin: its formats narrowed choice by choice from the current one, the
// chosen one applied, refused while the device runs; the camcorder's one DV format; sound; a
// scaling capability offered on its steps, and a pin without any format.
TEST_F(Pages, StreamFormatShowsAppliesAndRefuses) {
  const std::vector<std::string> video = {"cboxSubtype", "cboxSize", "cboxRate"};
  ComPtr<IAMStreamConfig> webcam = StreamConfig(CLSID_VideoInputDeviceCategory, L"Webcam");
  Session(CLSID_StreamFormatPropertyPage, webcam.Get(), video,
          [&] { return FormatText(webcam.Get()); },
          {{"cboxSubtype=MJPG", "YUY2|[MJPG]; [1280 x 720]; [30 images/s]|15 images/s", true},
           {"cboxSubtype=YUY2; cboxSize=640 x 480; cboxRate=30 images/s"},  // what the pin has
           {"cboxSubtype=MJPG; cboxRate=15 images/s; [Appliquer]", "", false,
            "MJPG 1280x720 1843200 B 15/s"},
           // Running, the device refuses a new format: the page says why and keeps it to apply.
           {"@run; cboxSubtype=YUY2; [Appliquer]", "", true, "",
            "^Le périphérique n'a pas accepté ce format.*0x80040224"},
           {"@stop; [OK]", "", false, "YUY2 320x240 153600 B 15/s"}},
          {{"run", [&] { EXPECT_TRUE(SUCCEEDED(filters_[0]->Pause())); }},
           {"stop", [&] { EXPECT_TRUE(SUCCEEDED(filters_[0]->Stop())); }}});
  Session(CLSID_StreamFormatPropertyPage,
          StreamConfig(CLSID_VideoInputDeviceCategory, L"Camescope").Get(), video, {},
          {{"[Annuler]"}});
  ComPtr<IAMStreamConfig> micro = StreamConfig(CLSID_AudioInputDeviceCategory, L"Micro");
  Session(CLSID_StreamFormatPropertyPage, micro.Get(), {}, [&] { return FormatText(micro.Get()); },
          {{"cboxSampleRate=44,1 kHz; cboxChannels=Mono; [OK]", "", false,
            "44100 Hz x1, 2 B, 88200 B/s"}});
  // Sound whose capability ranges over rates (too many steps: the usual ones) and channels.
  auto ranged = MakeComObject<FakeStreamConfig>();
  AM_MEDIA_TYPE* own = nullptr;
  ASSERT_EQ(micro->GetFormat(&own), S_OK);
  ranged->SetFormat(own);
  DeleteMediaType(own);
  ranged->sound = {MEDIATYPE_Audio, 1, 2, 1, 16, 16, 8, 11025, 48000, 1};
  Session(CLSID_StreamFormatPropertyPage, ranged.Get(), {},
          [&] { return FormatText(ranged.Get()); },
          {{"cboxSampleRate=22,05 kHz; cboxChannels=Mono; [OK]", "", false,
            "22050 Hz x1, 2 B, 44100 B/s"}});

  auto scaling = MakeComObject<FakeStreamConfig>();
  scaling->current = MakeTestVideoType(MEDIASUBTYPE_RGB24, 320, 240);
  auto& caps = scaling->caps;
  caps.guid = FORMAT_VideoInfo;
  caps.MinOutputSize = {160, 120};
  caps.MaxOutputSize = caps.InputSize = {640, 480};
  caps.OutputGranularityX = caps.OutputGranularityY = 16;
  caps.MinFrameInterval = caps.MaxFrameInterval = 400000;
  // 176 x 144 and 352 x 288 are not on the 16-pixel steps from 160 x 120.
  Session(CLSID_StreamFormatPropertyPage, scaling.Get(), {"cboxSize"},
          [&] { return FormatText(scaling.Get()).mid(5); },
          {{"cboxSize=640 x 360; [OK]", "", false, "640x360 691200 B 25/s"}});
  auto none = MakeComObject<FakeStreamConfig>();
  Session(CLSID_StreamFormatPropertyPage, none.Get(), video, {},
          {{"?ne propose aucun format", "-; -; -"}, {"[OK]"}});
}

// ---- The picture and camera controls pages ---------------------------------------------------

// No simulated device has camera controls, automatic modes or refuses a value in range.
constexpr long kAuto = 0x1, kManual = 0x2;
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
    ++sets;
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
  // "N sets: value/flags ..." of the properties given.
  QString Settings(std::initializer_list<long> ids) {
    QString text = QString("%1 sets:").arg(sets);
    for (long id : ids)
      text += QString::asprintf(" %ld/%ld", properties[id].value, properties[id].flags);
    return text;
  }
  std::map<long, Property> properties;
  long refused = -1;
  int sets = 0;
};

// A row per property of the device with its range, value and mode; what the user moved applied,
// "Défaut" putting the defaults back; a refused value shown while the others are set; a device
// without any property says so. The controls' names: slider<key>, lab<key>, cbAuto<key>.
template <class Control>
void ControlsSession(REFCLSID page, long manualOne, long autoOne, const QString& manualKey,
                     const QString& autoKey, const QString& missingKey, const QString& manualName) {
  SCOPED_TRACE(manualKey.toStdString());
  auto device = MakeComObject<FakeControls<Control>>();
  // One set by hand, 0..255 by 1, default 128, now 100; one the device sets itself, 0..100 by 5,
  // default 50, now 40 in automatic mode.
  device->properties[manualOne] = {0, 255, 1, 128, kManual, 100, kManual};
  device->properties[autoOne] = {0, 100, 5, 50, kAuto | kManual, 40, kAuto};
  const QString manual = "slider" + manualKey, automatic = "slider" + autoKey + "=",
                autoBox = "cbAuto" + autoKey + "=";
  std::vector<std::string> controls;
  for (const QString& name : {manual, "lab" + manualKey, automatic.chopped(1), autoBox.chopped(1),
                              "slider" + missingKey, "cbAuto" + manualKey})
    controls.push_back(name.toStdString());
  Session(
      page, device.Get(), controls,
      [&] {
        return device->Settings({manualOne, autoOne});
      },
      {{manual + "=255", "0..255/1=255; 255; 0..100/5=40 (grey); on; -; -", true},
       {manual + "=100"},  // dragged back where it was
       // A drag stops on the property's steps.
       {autoBox + "off; " + automatic + "53", "0..255/1=100; 100; 0..100/5=55; off; -; -", true},
       {"[Défaut]", "0..255/1=128; 128; 0..100/5=50; off; -; -", true},
       {"[Appliquer]", "", false, "2 sets: 128/2 50/2"},
       // Refused, the value is shown and kept to apply; the others are set.
       {"@refuse; " + manual + "=200; " + autoBox + "on; [Appliquer]", "", true,
        "4 sets: 128/2 50/1", manualName},
       {"[Annuler]", "", false, "4 sets: 128/2 50/1"}},  // Annuler applies nothing
      {{"refuse", [&] { device->refused = manualOne; }}});
  device->properties.clear();
  Session(page, device.Get(), {manual.toStdString()}, {},
          {{"?Ce périphérique n'a aucun réglage", "-"}, {"[OK]"}});
}

TEST_F(Pages, ProcAmpAndCameraControlsShowApplyAndRefuse) {
  ControlsSession<IAMVideoProcAmp>(CLSID_VideoProcAmpPropertyPage, VideoProcAmp_Brightness,
                                   VideoProcAmp_Contrast, "Brightness", "Contrast", "Hue",
                                   "Luminosité");
  ControlsSession<IAMCameraControl>(CLSID_CameraControlPropertyPage, CameraControl_Focus,
                                    CameraControl_Exposure, "Focus", "Exposure", "Zoom",
                                    "Mise au point");
}

// ---- The TV card's pages: crossbar, tuner, sound -------------------------------------------

// The crossbar: each output with the inputs that can feed it and its route; a choice applied
// with its related sound when the pins are linked, alone when not; a refused route shown, the
// page showing the routes made. The tuner: its settings and reception, followed while the page
// is open; a country, channel and input type applied (the standard and reception shown anew); a
// country refused, the refusal gone once a country is applied. The sound: the broadcast's modes
// and languages offered, the chosen sound and language set together; a refusal shown.
TEST_F(Pages, TVCardPagesShowApplyAndRefuse) {
  ComPtr<IAMCrossbar> crossbar = Device<IAMCrossbar>(AM_KSCATEGORY_CROSSBAR, L"Carte Crossbar");
  const std::vector<std::string> outputs = {"cboxOutput0", "cboxOutput1", "cbLinkRelated"};
  const auto routes = [&] {  // the inputs routed to the two outputs: "0 3"
    long video = -1, sound = -1;
    crossbar->get_IsRoutedTo(0, &video);
    crossbar->get_IsRoutedTo(1, &sound);
    return QString::asprintf("%ld %ld", video, sound);
  };
  Session(CLSID_CrossbarPropertyPage, crossbar.Get(), outputs, routes,
          {{"cboxOutput0=Video SVideo",
            "Video Tuner|Video Composite|[Video SVideo]; Audio Tuner|[Audio Line]; on", true},
           {"[Appliquer]", "", false, "2 4"},
           // Linked, the tuner's sound comes along.
           {"cboxOutput0=Video Tuner",
            "[Video Tuner]|Video Composite|Video SVideo; [Audio Tuner]|Audio Line; on", true},
           {"[OK]", "", false, "0 3"}});
  Session(CLSID_CrossbarPropertyPage, crossbar.Get(), outputs, routes,
          {{"cbLinkRelated=off; cboxOutput0=Video SVideo",
            "Video Tuner|Video Composite|[Video SVideo]; [Audio Tuner]|Audio Line; off", true},
           {"[Appliquer]", "", false, "2 3"},
           {"cboxOutput0=Video Tuner; [OK]", "", false, "0 3"}});

  ComPtr<IAMTVTuner> tuner = Device<IAMTVTuner>(AM_KSCATEGORY_TVTUNER, L"Carte TV Tuner");
  const auto settings = [&] {
    long channel = 0, country = 0, sub = 0;
    TunerInputType type = TunerInputAntenna;
    tuner->get_Channel(&channel, &sub, &sub);
    tuner->get_CountryCode(&country);
    tuner->get_InputType(0, &type);
    return QString::asprintf("%ld %ld %s", channel, country,
                             type == TunerInputCable ? "cable" : "antenna");
  };
  const QString secam =
      "1..69=4; 0..9999=33; Câble|[Antenne]; SECAM L (offerts : NTSC M, PAL B, "
      "PAL D, PAL G, PAL I, SECAM L); ";
  Session(
      CLSID_TVTunerPropertyPage, tuner.Get(),
      {"spinChannel", "spinCountry", "cboxInputType", "labStandard", "labSignal", "labFrequency"},
      settings,
      {// Another client tunes to no station, and back.
       {"@tune3", secam + "Absent; 55,25 MHz"},
       {"@tune4", secam + "Présent; 62,25 MHz"},
       {"spinChannel=21", "", true},
       {"spinCountry=44; cboxInputType=Câble; [Appliquer]",
        "1..69=21; 0..9999=44; [Câble]|Antenne; PAL I (offerts : NTSC M, PAL B, PAL D, PAL G, "
        "PAL I, SECAM L); Présent; 471,25 MHz",
        false, "21 44 cable"},
       {"spinCountry=0; [Appliquer]", "", true, "", "^Le tuner refuse le pays 0"},
       {"spinCountry=33; [Appliquer]", "", false, "21 33 cable", "^$"},
       {"[Annuler]", "", false, "21 33 cable"}},
      {{"tune3", [&] { EXPECT_EQ(S_OK, tuner->put_Channel(3, -1, -1)); }},
       {"tune4", [&] { EXPECT_EQ(S_OK, tuner->put_Channel(4, -1, -1)); }}});

  ComPtr<IAMTVAudio> audio = Device<IAMTVAudio>(AM_KSCATEGORY_TVAUDIO, L"Carte TV Audio");
  const QString monoB = QString::number(AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_LANG_B);
  const auto mode = [&] {
    long mode = 0;
    audio->get_TVAudioMode(&mode);
    return QString::number(mode);
  };
  Session(
      CLSID_TVAudioPropertyPage, audio.Get(), {"cboxSound", "cboxLanguage"}, mode,
      {{"cboxSound=Mono; cboxLanguage=Langue B; [Appliquer]", "", false, monoB},
       // The card unplugged, its sound takes no mode.
       {"@unplug; cboxSound=Stéréo; [Appliquer]", "", true, monoB,
        "^Le tuner refuse ce mode de son"},
       {"[Annuler]"}},
      {{"unplug", [&] { UnplugCard([&] { return audio->put_TVAudioMode(monoB.toLong()); }); }}});

  // The card unplugged, every route is refused: each choice stays, the first refusal is shown.
  Session(CLSID_CrossbarPropertyPage, crossbar.Get(), outputs, routes,
          {{"@unplug; cboxOutput0=Video Composite; [Appliquer]",
            "Video Tuner|[Video Composite]|Video SVideo; Audio Tuner|[Audio Line]; on", true, "0 3",
            "« Video Composite » à « Video Decoder »"},
           {"[Annuler]"}},
          {{"unplug", [&] { UnplugCard([&] { return crossbar->Route(0, 0); }); }}});
}

}  // namespace
}  // namespace vidorra::test
