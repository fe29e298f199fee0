// The stream format page against a fake pin's IAMStreamConfig: the choices its capabilities
// give, the current format, the media type Apply asks for, a refused format; and the page in a
// property frame driven as a user would.
#include <amvideo.h>
#include <gtest/gtest.h>
#include <mmreg.h>
#include <olectl.h>
#include <streams.h>
#include <vfwmsgs.h>
#include <vidorra_pages.h>

#include <QComboBox>
#include <cstring>
#include <vector>

#include "TestFilterTypes.h"
#include "modal_dialog_driver.h"
#include "page_test_support.h"

namespace vidorra::test {
namespace {

constexpr REFERENCE_TIME k30Fps = 333333;
constexpr REFERENCE_TIME k15Fps = 666667;

CMediaType VideoType(const GUID& subtype, LONG width, LONG height, WORD bits,
                     REFERENCE_TIME interval, DWORD compression) {
  CMediaType type = MakeTestVideoType(subtype, width, height);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.Format());
  info->AvgTimePerFrame = interval;
  info->bmiHeader.biBitCount = bits;
  info->bmiHeader.biCompression = compression;
  info->bmiHeader.biSizeImage = static_cast<DWORD>(width * std::abs(height) * bits / 8);
  type.SetSampleSize(info->bmiHeader.biSizeImage);
  return type;
}
CMediaType Yuy2(LONG width, LONG height, REFERENCE_TIME interval = k30Fps) {
  return VideoType(MEDIASUBTYPE_YUY2, width, height, 16, interval, MEDIASUBTYPE_YUY2.Data1);
}
CMediaType Mjpg(LONG width, LONG height, REFERENCE_TIME interval = k30Fps) {
  return VideoType(MEDIASUBTYPE_MJPG, width, height, 24, interval, MEDIASUBTYPE_MJPG.Data1);
}
CMediaType Pcm(DWORD rate, WORD bits, WORD channels) {
  CMediaType type(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_PCM);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  WAVEFORMATEX format{WAVE_FORMAT_PCM, channels, rate, 0, 0, bits, 0};
  format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  type.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof(format));
  type.SetSampleSize(format.nBlockAlign);
  return type;
}

VIDEO_STREAM_CONFIG_CAPS VideoCaps(SIZE min, SIZE max, REFERENCE_TIME fastest,
                                   REFERENCE_TIME slowest, int granularity = 0) {
  VIDEO_STREAM_CONFIG_CAPS caps{};
  caps.guid = FORMAT_VideoInfo;
  caps.InputSize = max;
  caps.MinOutputSize = min;
  caps.MaxOutputSize = max;
  caps.OutputGranularityX = caps.OutputGranularityY = granularity;
  caps.MinFrameInterval = fastest;
  caps.MaxFrameInterval = slowest;
  return caps;
}
VIDEO_STREAM_CONFIG_CAPS FixedCaps(const CMediaType& type, REFERENCE_TIME slowest = 0) {
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.Format());
  const SIZE size{info->bmiHeader.biWidth, std::abs(info->bmiHeader.biHeight)};
  return VideoCaps(size, size, info->AvgTimePerFrame, slowest ? slowest : info->AvgTimePerFrame);
}

const VIDEOINFOHEADER& InfoOf(const AM_MEDIA_TYPE& type) {
  return *reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}
WAVEFORMATEX WaveOf(const AM_MEDIA_TYPE& type) {
  WAVEFORMATEX format;
  std::memcpy(&format, type.pbFormat, sizeof(format));
  return format;
}

// A pin's stream configuration: its capabilities, its format, and the formats asked of it.
class FakeStreamConfig : public CUnknown, public IAMStreamConfig {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMStreamConfig) {
      return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  template <class Caps>
  void Offer(const CMediaType& type, const Caps& caps) {
    offered.push_back({type, std::vector<BYTE>(reinterpret_cast<const BYTE*>(&caps),
                                               reinterpret_cast<const BYTE*>(&caps + 1))});
    capsSize = sizeof(Caps);
  }
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override {
    asked.emplace_back(*type);
    if (FAILED(refuse)) return refuse;
    current = *type;
    return S_OK;
  }
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override {
    if (!current.IsValid()) return VFW_E_NOT_CONNECTED;
    *type = CreateMediaType(&current);
    return S_OK;
  }
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override {
    *count = static_cast<int>(offered.size());
    *size = capsSize;
    return S_OK;
  }
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override {
    if (index < 0 || static_cast<size_t>(index) >= offered.size()) return S_FALSE;
    *type = CreateMediaType(&offered[index].type);
    std::memcpy(caps, offered[index].caps.data(), offered[index].caps.size());
    return S_OK;
  }

  struct Offered {
    CMediaType type;
    std::vector<BYTE> caps;
  };
  std::vector<Offered> offered;
  int capsSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  CMediaType current;
  HRESULT refuse = S_OK;
  std::vector<CMediaType> asked;
};

// A webcam: YUY2 at two sizes at 30 fps, MJPG 1280 x 720 from 30 down to 15 fps.
ComPtr<FakeStreamConfig> Webcam() {
  auto config = MakeComObject<FakeStreamConfig>();
  for (const CMediaType& type : {Yuy2(640, 480), Yuy2(320, 240)}) {
    config->Offer(type, FixedCaps(type));
  }
  const CMediaType mjpg = Mjpg(1280, 720);
  config->Offer(mjpg, FixedCaps(mjpg, k15Fps));
  config->current = Yuy2(320, 240);
  return config;
}

TEST(StreamFormatPage, OpensOnTheCurrentFormatAndNarrowsEachChoiceByTheOnesAbove) {
  auto config = Webcam();
  PageHost page(CLSID_StreamFormatPropertyPage, config.Get());
  ASSERT_EQ(S_OK, page.connected);
  ASSERT_EQ(S_OK, page.Activate());
  auto* subtype = page.Find<QComboBox>("cboxSubtype");
  auto* size = page.Find<QComboBox>("cboxSize");
  auto* rate = page.Find<QComboBox>("cboxRate");
  ASSERT_TRUE(subtype && size && rate);
  EXPECT_EQ(QStringList({"YUY2", "MJPG"}), Items(subtype));
  EXPECT_EQ(QStringList({"320 x 240", "640 x 480"}), Items(size));
  EXPECT_EQ("320 x 240", size->currentText());
  EXPECT_EQ(QStringList({"30 images/s"}), Items(rate));
  EXPECT_FALSE(page.Dirty());

  ASSERT_TRUE(ChooseItem(subtype, "MJPG"));
  EXPECT_EQ(QStringList({"1280 x 720"}), Items(size));
  EXPECT_EQ(QStringList({"30 images/s", "29,97 images/s", "25 images/s", "24 images/s",
                         "20 images/s", "15 images/s"}),
            Items(rate));
  EXPECT_EQ("30 images/s", rate->currentText());
  EXPECT_TRUE(page.Dirty());
  EXPECT_EQ(static_cast<DWORD>(PROPPAGESTATUS_DIRTY), page.Site().lastStatus);

  // Back to what the pin has: nothing left to apply.
  ASSERT_TRUE(ChooseItem(subtype, "YUY2"));
  EXPECT_EQ("320 x 240", size->currentText());
  EXPECT_FALSE(page.Dirty());
  EXPECT_TRUE(config->asked.empty());
}

TEST(StreamFormatPage, ApplyAsksThePinForTheChosenFormat) {
  struct Case {
    const char* subtype;
    const char* size;
    const char* rate;
    GUID expectedSubtype;
    LONG width, height;
    REFERENCE_TIME interval;
    DWORD imageSize;
  };
  const Case cases[] = {
      {"MJPG", "1280 x 720", "15 images/s", MEDIASUBTYPE_MJPG, 1280, 720, k15Fps, 1280 * 720 * 3},
      {"YUY2", "640 x 480", "30 images/s", MEDIASUBTYPE_YUY2, 640, 480, k30Fps, 640 * 480 * 2},
  };
  for (const Case& c : cases) {
    auto config = Webcam();
    PageHost page(CLSID_StreamFormatPropertyPage, config.Get());
    ASSERT_EQ(S_OK, page.Activate());
    ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxSubtype"), c.subtype));
    ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxSize"), c.size));
    ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxRate"), c.rate));
    EXPECT_EQ(S_OK, page.Apply()) << c.subtype;
    ASSERT_EQ(1u, config->asked.size()) << c.subtype;
    const CMediaType& asked = config->asked.front();
    EXPECT_EQ(c.expectedSubtype, asked.subtype);
    EXPECT_EQ(c.width, InfoOf(asked).bmiHeader.biWidth);
    EXPECT_EQ(c.height, InfoOf(asked).bmiHeader.biHeight);
    EXPECT_EQ(c.interval, InfoOf(asked).AvgTimePerFrame);
    EXPECT_EQ(c.imageSize, InfoOf(asked).bmiHeader.biSizeImage);
    EXPECT_EQ(c.imageSize, asked.lSampleSize);
    EXPECT_FALSE(page.Dirty());
    EXPECT_EQ(static_cast<DWORD>(PROPPAGESTATUS_CLEAN), page.Site().lastStatus);
  }
}

TEST(StreamFormatPage, AScalingCapabilityOffersTheUsualSizesOnItsStepsAndSizesTheFrame) {
  auto config = MakeComObject<FakeStreamConfig>();
  const CMediaType rgb = VideoType(MEDIASUBTYPE_RGB24, 320, 240, 24, k30Fps, BI_RGB);
  config->Offer(rgb, VideoCaps({160, 120}, {640, 480}, k30Fps, k30Fps, 16));
  config->current = rgb;
  PageHost page(CLSID_StreamFormatPropertyPage, config.Get());
  ASSERT_EQ(S_OK, page.Activate());
  EXPECT_EQ("RGB 24", page.Find<QComboBox>("cboxSubtype")->currentText());
  // 176 x 144 and 352 x 288 are not on the 16-pixel steps from 160 x 120.
  EXPECT_EQ(QStringList({"160 x 120", "320 x 240", "640 x 360", "640 x 480"}),
            Items(page.Find<QComboBox>("cboxSize")));
  ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxSize"), "640 x 360"));
  ASSERT_EQ(S_OK, page.Apply());
  const BITMAPINFOHEADER& header = InfoOf(config->asked.at(0)).bmiHeader;
  EXPECT_EQ(640, header.biWidth);
  EXPECT_EQ(360, header.biHeight);
  EXPECT_EQ(640u * 3 * 360, header.biSizeImage);
}

TEST(StreamFormatPage, ARefusedFormatShowsWhyAndStaysToApply) {
  auto config = Webcam();
  config->refuse = VFW_E_NOT_STOPPED;
  PageHost page(CLSID_StreamFormatPropertyPage, config.Get());
  ASSERT_EQ(S_OK, page.Activate());
  EXPECT_TRUE(page.Error().isEmpty());
  ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxSize"), "640 x 480"));
  EXPECT_EQ(VFW_E_NOT_STOPPED, page.Apply());
  EXPECT_TRUE(
      page.Error().startsWith(QString::fromUtf16(u"Le périphérique n'a pas accepté ce format")))
      << page.Error().toStdString();
  EXPECT_TRUE(page.Error().contains("not stopped")) << page.Error().toStdString();
  EXPECT_TRUE(page.Error().contains("0x80040224")) << page.Error().toStdString();
  EXPECT_TRUE(page.Dirty());
  // Accepted the second time: the error goes.
  config->refuse = S_OK;
  EXPECT_EQ(S_OK, page.Apply());
  EXPECT_TRUE(page.Error().isEmpty());
}

TEST(StreamFormatPage, AudioOffersRatesBitsAndChannelsAndAsksForTheChosenSamples) {
  auto config = MakeComObject<FakeStreamConfig>();
  const AUDIO_STREAM_CONFIG_CAPS caps{MEDIATYPE_Audio, 1, 2, 1, 16, 16, 0, 44100, 48000, 3900};
  config->Offer(Pcm(48000, 16, 2), caps);
  config->current = Pcm(48000, 16, 2);
  PageHost page(CLSID_StreamFormatPropertyPage, config.Get());
  PROPPAGEINFO info{};
  ASSERT_EQ(S_OK, page->GetPageInfo(&info));
  EXPECT_EQ(std::wstring(L"Format audio"), info.pszTitle);
  CoTaskMemFree(info.pszTitle);
  ASSERT_EQ(S_OK, page.Activate());
  auto* rate = page.Find<QComboBox>("cboxSampleRate");
  auto* channels = page.Find<QComboBox>("cboxChannels");
  EXPECT_EQ(QStringList({"44,1 kHz", "48 kHz"}), Items(rate));
  EXPECT_EQ("48 kHz", rate->currentText());
  EXPECT_EQ(QStringList({"16 bits"}), Items(page.Find<QComboBox>("cboxBits")));
  EXPECT_EQ(QStringList({"Mono", QString::fromUtf16(u"Stéréo")}), Items(channels));
  EXPECT_EQ(QString::fromUtf16(u"Stéréo"), channels->currentText());
  ASSERT_TRUE(ChooseItem(rate, "44,1 kHz"));
  ASSERT_TRUE(ChooseItem(channels, "Mono"));
  ASSERT_EQ(S_OK, page.Apply());
  const WAVEFORMATEX asked = WaveOf(config->asked.at(0));
  EXPECT_EQ(44100u, asked.nSamplesPerSec);
  EXPECT_EQ(1, asked.nChannels);
  EXPECT_EQ(16, asked.wBitsPerSample);
  EXPECT_EQ(2, asked.nBlockAlign);
  EXPECT_EQ(88200u, asked.nAvgBytesPerSec);
}

TEST(StreamFormatPage, ADvPinShowsItsOneFormatAndAPinWithoutFormatsSaysSo) {
  auto dv = MakeComObject<FakeStreamConfig>();
  CMediaType dvsd(&MEDIATYPE_Interleaved);
  dvsd.SetSubtype(&MEDIASUBTYPE_dvsd);
  dvsd.SetFormatType(&FORMAT_DvInfo);
  dvsd.AllocFormatBuffer(32);
  dv->Offer(dvsd, VideoCaps({720, 576}, {720, 576}, 400000, 400000));
  dv->current = dvsd;
  PageHost dvPage(CLSID_StreamFormatPropertyPage, dv.Get());
  ASSERT_EQ(S_OK, dvPage.Activate());
  EXPECT_EQ("dvsd", dvPage.Find<QComboBox>("cboxSubtype")->currentText());
  EXPECT_EQ("720 x 576", dvPage.Find<QComboBox>("cboxSize")->currentText());
  EXPECT_EQ("25 images/s", dvPage.Find<QComboBox>("cboxRate")->currentText());

  auto none = MakeComObject<FakeStreamConfig>();
  PageHost nonePage(CLSID_StreamFormatPropertyPage, none.Get());
  ASSERT_EQ(S_OK, nonePage.Activate());
  EXPECT_EQ(nullptr, nonePage.Find<QComboBox>("cboxSubtype"));
  EXPECT_TRUE(ShowsText(nonePage.Area(), QString::fromUtf16(u"ne propose aucun format")));
  EXPECT_EQ(S_OK, nonePage.Apply());
  EXPECT_TRUE(none->asked.empty());
}

TEST(StreamFormatPage, InAPropertyFrameOkSetsTheFormatTheUserChose) {
  auto config = Webcam();
  QWidget owner;
  owner.show();
  IUnknown* object = UnknownOf(config.Get()).Get();
  const CLSID page = CLSID_StreamFormatPropertyPage;
  ModalDialogDriver driver([](QWidget& frame) {
    ASSERT_TRUE(ChooseItem(frame.findChild<QComboBox*>("cboxSize"), "640 x 480"));
    ClickButton(frame, "OK");
  });
  EXPECT_EQ(S_OK, OleCreatePropertyFrame(HwndForWidget(&owner), 30, 30, nullptr, 1, &object, 1,
                                         &page, 0, 0, nullptr));
  EXPECT_EQ(1, driver.DialogsDriven());
  ASSERT_EQ(1u, config->asked.size());
  EXPECT_EQ(640, InfoOf(config->asked[0]).bmiHeader.biWidth);
}

}  // namespace
}  // namespace vidorra::test
