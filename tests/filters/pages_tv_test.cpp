// The TV tuner and TV sound pages against fake tuners: the settings and reception shown, the
// order Apply sets them in, refused values, the reception followed while the page is open.
#include <gtest/gtest.h>
#include <strmif.h>
#include <vidorra_pages.h>

#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <set>
#include <string>
#include <vector>

#include "modal_dialog_driver.h"
#include "page_test_support.h"
#include "wait_until.h"

namespace vidorra::test {
namespace {

// A tuner with two input connections (cable, aerial) and a station on channels 21 and 24.
class FakeTVTuner : public CUnknown, public IAMTVTuner {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    return InterfaceChainHas<IAMTVTuner>(riid) ? GetInterface(static_cast<IAMTVTuner*>(this), ppv)
                                               : CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP put_Channel(long value, long video, long audio) override {
    calls.push_back("channel " + std::to_string(value) + " " + std::to_string(video) + " " +
                    std::to_string(audio));
    if (value == refusedChannel || value < 1 || value > 69) return E_INVALIDARG;
    channel = value;
    return S_OK;
  }
  STDMETHODIMP get_Channel(long* value, long* video, long* audio) override {
    *value = channel;
    *video = *audio = -1;
    return S_OK;
  }
  STDMETHODIMP ChannelMinMax(long* min, long* max) override {
    *min = 1;
    *max = 69;
    return S_OK;
  }
  STDMETHODIMP put_CountryCode(long code) override {
    calls.push_back("country " + std::to_string(code));
    country = code;
    return S_OK;
  }
  STDMETHODIMP get_CountryCode(long* code) override {
    *code = country;
    return S_OK;
  }
  STDMETHODIMP put_TuningSpace(long) override { return E_NOTIMPL; }
  STDMETHODIMP get_TuningSpace(long*) override { return E_NOTIMPL; }
  STDMETHODIMP Logon(HANDLE) override { return E_NOTIMPL; }
  STDMETHODIMP Logout() override { return E_NOTIMPL; }
  STDMETHODIMP SignalPresent(long* strength) override {
    *strength = stations.count(channel) ? 1 : 0;
    return S_OK;
  }
  STDMETHODIMP put_Mode(AMTunerModeType) override { return E_NOTIMPL; }
  STDMETHODIMP get_Mode(AMTunerModeType* mode) override {
    *mode = AMTUNER_MODE_TV;
    return S_OK;
  }
  STDMETHODIMP GetAvailableModes(long* modes) override {
    *modes = AMTUNER_MODE_TV;
    return S_OK;
  }
  STDMETHODIMP RegisterNotificationCallBack(IAMTunerNotification*, long) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP UnRegisterNotificationCallBack(IAMTunerNotification*) override { return E_NOTIMPL; }
  STDMETHODIMP get_AvailableTVFormats(long* standards) override {
    *standards = AnalogVideo_PAL_B | AnalogVideo_PAL_G | AnalogVideo_SECAM_L;
    return S_OK;
  }
  STDMETHODIMP get_TVFormat(long* standard) override {
    *standard = AnalogVideo_SECAM_L;
    return S_OK;
  }
  STDMETHODIMP AutoTune(long, long*) override { return E_NOTIMPL; }
  STDMETHODIMP StoreAutoTune() override { return E_NOTIMPL; }
  STDMETHODIMP get_NumInputConnections(long* count) override {
    *count = static_cast<long>(types.size());
    return S_OK;
  }
  STDMETHODIMP put_InputType(long index, TunerInputType type) override {
    calls.push_back("type " + std::to_string(index) + " " + std::to_string(type));
    types.at(index) = type;
    return S_OK;
  }
  STDMETHODIMP get_InputType(long index, TunerInputType* type) override {
    *type = types.at(index);
    return S_OK;
  }
  STDMETHODIMP put_ConnectInput(long index) override {
    calls.push_back("input " + std::to_string(index));
    input = index;
    return S_OK;
  }
  STDMETHODIMP get_ConnectInput(long* index) override {
    *index = input;
    return S_OK;
  }
  STDMETHODIMP get_VideoFrequency(long* hertz) override {
    *hertz = 303250000 + channel * 8000000;  // channel 21: 471.25 MHz
    return S_OK;
  }
  STDMETHODIMP get_AudioFrequency(long* hertz) override {
    *hertz = 0;
    return E_NOTIMPL;
  }

  long channel = 21;
  long country = 33;
  long input = 0;
  std::vector<TunerInputType> types{TunerInputCable, TunerInputAntenna};
  std::set<long> stations{21, 24};
  long refusedChannel = -1;
  std::vector<std::string> calls;
};

class FakeTVAudio : public CUnknown, public IAMTVAudio {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMTVAudio) return GetInterface(static_cast<IAMTVAudio*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP GetHardwareSupportedTVAudioModes(long* modes) override {
    *modes = AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO | AMTVAUDIO_MODE_LANG_A |
             AMTVAUDIO_MODE_LANG_B | AMTVAUDIO_MODE_LANG_C;
    return S_OK;
  }
  STDMETHODIMP GetAvailableTVAudioModes(long* modes) override {
    *modes = available;
    return S_OK;
  }
  STDMETHODIMP get_TVAudioMode(long* value) override {
    *value = mode;
    return S_OK;
  }
  STDMETHODIMP put_TVAudioMode(long value) override {
    asked.push_back(value);
    if (FAILED(refuse)) return refuse;
    mode = value;
    return S_OK;
  }
  STDMETHODIMP RegisterNotificationCallBack(IAMTunerNotification*, long) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP UnRegisterNotificationCallBack(IAMTunerNotification*) override { return E_NOTIMPL; }

  long available =
      AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO | AMTVAUDIO_MODE_LANG_A | AMTVAUDIO_MODE_LANG_B;
  long mode = AMTVAUDIO_MODE_STEREO | AMTVAUDIO_MODE_LANG_A;
  HRESULT refuse = S_OK;
  std::vector<long> asked;
};

TEST(TVTunerPage, ShowsTheTunerSettingsAndFollowsWhatItReceives) {
  auto tuner = MakeComObject<FakeTVTuner>();
  PageHost page(CLSID_TVTunerPropertyPage, tuner.Get());
  ASSERT_EQ(S_OK, page.Activate());
  auto* channel = page.Find<QSpinBox>("spinChannel");
  ASSERT_NE(nullptr, channel);
  EXPECT_EQ(21, channel->value());
  EXPECT_EQ(1, channel->minimum());
  EXPECT_EQ(69, channel->maximum());
  EXPECT_EQ(33, page.Find<QSpinBox>("spinCountry")->value());
  EXPECT_EQ(QStringList({QString::fromUtf16(u"Entrée 1"), QString::fromUtf16(u"Entrée 2")}),
            Items(page.Find<QComboBox>("cboxInput")));
  EXPECT_EQ(QString::fromUtf16(u"Câble"), page.Find<QComboBox>("cboxInputType")->currentText());
  EXPECT_EQ("SECAM L (offerts : PAL B, PAL G, SECAM L)", page.Find<QLabel>("labStandard")->text());
  EXPECT_EQ(QString::fromUtf16(u"Présent"), page.Find<QLabel>("labSignal")->text());
  EXPECT_EQ("471,25 MHz", page.Find<QLabel>("labFrequency")->text());
  EXPECT_FALSE(page.Dirty());
  tuner->stations.clear();  // the aerial came off
  EXPECT_TRUE(WaitUntil([&] { return page.Find<QLabel>("labSignal")->text() == "Absent"; }));
}

TEST(TVTunerPage, ApplySetsCountryInputAndTypeBeforeTheChannelAndShowsTheNewReception) {
  auto tuner = MakeComObject<FakeTVTuner>();
  PageHost page(CLSID_TVTunerPropertyPage, tuner.Get());
  ASSERT_EQ(S_OK, page.Activate());
  ASSERT_TRUE(TypeInto(page.Find<QSpinBox>("spinChannel"), "22"));
  ASSERT_TRUE(TypeInto(page.Find<QSpinBox>("spinCountry"), "41"));
  auto* type = page.Find<QComboBox>("cboxInputType");
  ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxInput"), QString::fromUtf16(u"Entrée 2")));
  EXPECT_EQ("Antenne", type->currentText());  // the second input's own type
  ASSERT_TRUE(ChooseItem(type, QString::fromUtf16(u"Câble")));
  EXPECT_TRUE(page.Dirty());
  EXPECT_EQ(S_OK, page.Apply());
  EXPECT_EQ((std::vector<std::string>{"country 41", "input 1", "type 1 0", "channel 22 -1 -1"}),
            tuner->calls);
  EXPECT_EQ("Absent", page.Find<QLabel>("labSignal")->text());
  EXPECT_EQ("479,25 MHz", page.Find<QLabel>("labFrequency")->text());
  EXPECT_FALSE(page.Dirty());
}

TEST(TVTunerPage, ARefusedChannelShowsItsErrorAndStaysToApply) {
  auto tuner = MakeComObject<FakeTVTuner>();
  tuner->refusedChannel = 50;
  PageHost page(CLSID_TVTunerPropertyPage, tuner.Get());
  ASSERT_EQ(S_OK, page.Activate());
  ASSERT_TRUE(TypeInto(page.Find<QSpinBox>("spinChannel"), "50"));
  EXPECT_EQ(E_INVALIDARG, page.Apply());
  EXPECT_TRUE(page.Error().startsWith("Le tuner refuse le canal 50")) << page.Error().toStdString();
  EXPECT_TRUE(page.Dirty());
  EXPECT_EQ(21, tuner->channel);
}

TEST(TVAudioPage, OffersTheBroadcastModesAndSetsTheChosenSoundAndLanguage) {
  auto audio = MakeComObject<FakeTVAudio>();
  PageHost page(CLSID_TVAudioPropertyPage, audio.Get());
  ASSERT_EQ(S_OK, page.Activate());
  auto* sound = page.Find<QComboBox>("cboxSound");
  auto* language = page.Find<QComboBox>("cboxLanguage");
  ASSERT_TRUE(sound && language);
  EXPECT_EQ(QStringList({"Mono", QString::fromUtf16(u"Stéréo")}), Items(sound));
  EXPECT_EQ(QString::fromUtf16(u"Stéréo"), sound->currentText());
  EXPECT_EQ(QStringList({"Langue A", "Langue B"}), Items(language));
  EXPECT_EQ("Langue A", language->currentText());
  ASSERT_TRUE(ChooseItem(sound, "Mono"));
  ASSERT_TRUE(ChooseItem(language, "Langue B"));
  EXPECT_TRUE(page.Dirty());
  EXPECT_EQ(S_OK, page.Apply());
  EXPECT_EQ((std::vector<long>{AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_LANG_B}), audio->asked);
  EXPECT_FALSE(page.Dirty());
}

TEST(TVAudioPage, WithoutLanguagesOnlyTheSoundIsOfferedAndARefusalIsShown) {
  auto audio = MakeComObject<FakeTVAudio>();
  audio->available = AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO;
  audio->mode = AMTVAUDIO_MODE_STEREO;
  audio->refuse = E_FAIL;
  PageHost page(CLSID_TVAudioPropertyPage, audio.Get());
  ASSERT_EQ(S_OK, page.Activate());
  EXPECT_EQ(nullptr, page.Find<QComboBox>("cboxLanguage"));
  ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxSound"), "Mono"));
  EXPECT_EQ(E_FAIL, page.Apply());
  EXPECT_EQ((std::vector<long>{AMTVAUDIO_MODE_MONO}), audio->asked);
  EXPECT_TRUE(page.Error().startsWith("Le tuner refuse ce mode de son"));
  EXPECT_TRUE(page.Dirty());
}

}  // namespace
}  // namespace vidorra::test
