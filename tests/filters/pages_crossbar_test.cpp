// The crossbar page against a TV card's crossbar: outputs with the inputs that can feed them,
// the routes, related pins following when linked, a refused route.
#include <gtest/gtest.h>
#include <strmif.h>
#include <vidorra_pages.h>

#include <QCheckBox>
#include <QComboBox>
#include <utility>
#include <vector>

#include "modal_dialog_driver.h"
#include "page_test_support.h"

namespace vidorra::test {
namespace {

struct FakePin {
  long type;
  long related;
};

// Video inputs route to output 0 ("Video Decoder"), sound inputs to output 1.
class FakeCrossbar : public CUnknown, public IAMCrossbar {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMCrossbar) return GetInterface(static_cast<IAMCrossbar*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP get_PinCounts(long* outputs, long* inputs) override {
    *outputs = static_cast<long>(outputPins.size());
    *inputs = static_cast<long>(inputPins.size());
    return S_OK;
  }
  STDMETHODIMP CanRoute(long output, long input) override {
    if (output < 0 || output >= 2 || input < 0 || input >= static_cast<long>(inputPins.size())) {
      return E_INVALIDARG;
    }
    const bool sound = inputPins[input].type >= PhysConn_Audio_Tuner;
    return sound == (output == 1) ? S_OK : S_FALSE;
  }
  STDMETHODIMP Route(long output, long input) override {
    routesAsked.emplace_back(output, input);
    if (input == refusedInput || CanRoute(output, input) != S_OK) return E_FAIL;
    routed[output] = input;
    return S_OK;
  }
  STDMETHODIMP get_IsRoutedTo(long output, long* input) override {
    *input = routed.at(output);
    return S_OK;
  }
  STDMETHODIMP get_CrossbarPinInfo(BOOL isInput, long index, long* related, long* type) override {
    const std::vector<FakePin>& pins = isInput ? inputPins : outputPins;
    if (index < 0 || index >= static_cast<long>(pins.size())) return E_INVALIDARG;
    *related = pins[index].related;
    *type = pins[index].type;
    return S_OK;
  }

  std::vector<FakePin> inputPins{{PhysConn_Video_Tuner, 4},  {PhysConn_Video_Composite, 5},
                                 {PhysConn_Video_SVideo, 5}, {PhysConn_Video_Composite, -1},
                                 {PhysConn_Audio_Tuner, 0},  {PhysConn_Audio_Line, 1}};
  std::vector<FakePin> outputPins{{PhysConn_Video_VideoDecoder, 1},
                                  {PhysConn_Audio_AudioDecoder, 0}};
  std::vector<long> routed{0, 4};
  long refusedInput = -1;
  std::vector<std::pair<long, long>> routesAsked;
};

TEST(CrossbarPage, ShowsEachOutputWithTheInputsThatCanFeedItAndItsRoute) {
  auto crossbar = MakeComObject<FakeCrossbar>();
  PageHost page(CLSID_CrossbarPropertyPage, crossbar.Get());
  ASSERT_EQ(S_OK, page.Activate());
  auto* video = page.Find<QComboBox>("cboxOutput0");
  auto* sound = page.Find<QComboBox>("cboxOutput1");
  ASSERT_TRUE(video && sound);
  EXPECT_TRUE(ShowsText(page.Area(), "Video Decoder"));
  EXPECT_TRUE(ShowsText(page.Area(), "Audio Decoder"));
  EXPECT_EQ(QStringList({"Video Tuner", "Video Composite 1", "Video SVideo", "Video Composite 2"}),
            Items(video));
  EXPECT_EQ("Video Tuner", video->currentText());
  EXPECT_EQ(QStringList({"Audio Tuner", "Audio Line"}), Items(sound));
  EXPECT_EQ("Audio Tuner", sound->currentText());
  EXPECT_TRUE(page.Find<QCheckBox>("cbLinkRelated")->isChecked());
  EXPECT_FALSE(page.Dirty());
}

TEST(CrossbarPage, ApplyRoutesTheChosenInputAndItsSoundWhenTheRelatedPinsAreLinked) {
  struct Case {
    bool linked;
    std::vector<std::pair<long, long>> routes;
    const char* sound;
  };
  const Case cases[] = {{true, {{0, 2}, {1, 5}}, "Audio Line"}, {false, {{0, 2}}, "Audio Tuner"}};
  for (const Case& c : cases) {
    auto crossbar = MakeComObject<FakeCrossbar>();
    PageHost page(CLSID_CrossbarPropertyPage, crossbar.Get());
    ASSERT_EQ(S_OK, page.Activate());
    if (!c.linked) {
      ASSERT_TRUE(Click(page.Find<QCheckBox>("cbLinkRelated")));
    }
    ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxOutput0"), "Video SVideo"));
    EXPECT_EQ(c.sound, page.Find<QComboBox>("cboxOutput1")->currentText()) << c.linked;
    EXPECT_TRUE(page.Dirty());
    EXPECT_EQ(S_OK, page.Apply());
    EXPECT_EQ(c.routes, crossbar->routesAsked) << c.linked;
    EXPECT_FALSE(page.Dirty());
  }
}

TEST(CrossbarPage, ARefusedRouteShowsItsErrorAndThePageShowsTheRoutesMade) {
  auto crossbar = MakeComObject<FakeCrossbar>();
  crossbar->refusedInput = 2;
  PageHost page(CLSID_CrossbarPropertyPage, crossbar.Get());
  ASSERT_EQ(S_OK, page.Activate());
  ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxOutput0"), "Video SVideo"));
  EXPECT_EQ(E_FAIL, page.Apply());
  EXPECT_TRUE(page.Error().contains(QString::fromUtf16(u"« Video SVideo » à « Video Decoder »")))
      << page.Error().toStdString();
  EXPECT_EQ("Video SVideo", page.Find<QComboBox>("cboxOutput0")->currentText());
  EXPECT_EQ((std::vector<long>{0, 5}), crossbar->routed);
  EXPECT_TRUE(page.Dirty());
  // Back to the tuner, whose sound comes along though the line is routed now; unlinked, the
  // sound alone goes back to the line: nothing is left to route.
  ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxOutput0"), "Video Tuner"));
  EXPECT_EQ("Audio Tuner", page.Find<QComboBox>("cboxOutput1")->currentText());
  EXPECT_TRUE(page.Dirty());
  ASSERT_TRUE(Click(page.Find<QCheckBox>("cbLinkRelated")));
  ASSERT_TRUE(ChooseItem(page.Find<QComboBox>("cboxOutput1"), "Audio Line"));
  EXPECT_EQ("Video Tuner", page.Find<QComboBox>("cboxOutput0")->currentText());
  EXPECT_FALSE(page.Dirty());
}

}  // namespace
}  // namespace vidorra::test
