// The analogue front end: for a capture filter whose analogue video input has a medium, the
// builder adds the crossbar, TV tuner and TV audio filters of the same card (found in the
// system device enumerator's categories by their pin mediums) and connects them upstream, so
// that FindInterface finds the crossbar from the capture pin.
#include <FilterRegistry.h>
#include <SystemDeviceEnum.h>

#include "capture_builder_test_filters.h"

namespace vidorra::test::capture_builder {
namespace {

constexpr DWORD kOurCard = 1;
constexpr DWORD kOtherCard = 2;

class CaptureBuilderFrontEnd : public CaptureBuilderGraphTest {
 protected:
  void SetUp() override {
    CaptureBuilderGraphTest::SetUp();
    if (HasFatalFailure()) return;
    vidorra::dshow::EnsureSystemDeviceEnumRegistered();
    // The other card's crossbar comes first in its category: only the mediums tell them apart.
    RegisterCardDevices();
    if (HasFatalFailure()) return;
    card_ = MakeTvCard(CardMediums().crossbarToCapture);
    Add(card_->Base(), L"TV Card");
  }
  // The devices of the machine; the card is fed through CardMediums().
  virtual void RegisterCardDevices() {
    const FrontEndMediums ours = MediumsOfCard(kOurCard);
    Register(AM_KSCATEGORY_CROSSBAR, CLSID_TestCrossbar, L"Other Crossbar",
             MediumsOfCard(kOtherCard), &MakeCrossbar);
    Register(AM_KSCATEGORY_CROSSBAR, CLSID_TestCrossbar, L"Our Crossbar", ours, &MakeCrossbar);
    Register(AM_KSCATEGORY_TVTUNER, CLSID_TestTvTuner, L"Our TV Tuner", ours, &MakeTvTuner);
    Register(AM_KSCATEGORY_TVAUDIO, CLSID_TestTvAudio, L"Our TV Audio", ours, &MakeTvAudio);
  }
  virtual FrontEndMediums CardMediums() { return MediumsOfCard(kOurCard); }
  void TearDown() override {
    for (const CLSID* clsid : {&CLSID_TestCrossbar, &CLSID_TestTvTuner, &CLSID_TestTvAudio}) {
      FilterRegistry::Instance().Unregister(*clsid);
    }
  }

  using Maker = ComPtr<IBaseFilter> (*)(const FrontEndMediums&);
  void Register(REFGUID category, REFCLSID clsid, const wchar_t* name,
                const FrontEndMediums& mediums, Maker make) {
    FilterRecord record;
    record.clsid = clsid;
    record.friendlyName = name;
    record.category = category;
    record.merit = MERIT_DO_NOT_USE;
    record.monikerName = name;
    record.factory = [make, mediums](IBaseFilter** filter) -> HRESULT {
      if (!filter) return E_POINTER;
      *filter = make(mediums).Detach();
      return S_OK;
    };
    FilterRegistry::Instance().Register(std::move(record));
  }

  ComPtr<TableFilter> card_;
};

// The program asks for the interleaved capture pin first and relies on that failing for an
// analogue card.
TEST_F(CaptureBuilderFrontEnd, TheCrossbarOfTheSameCardIsFoundUpstreamOfTheCapturePin) {
  ComPtr<IAMCrossbar> crossbar;
  EXPECT_NE(S_OK,
            builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, card_->Base(),
                                    IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
  EXPECT_FALSE(crossbar);
  ASSERT_EQ(S_OK, builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card_->Base(),
                                          IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
  ComPtr<IBaseFilter> crossbarFilter = crossbar.As<IBaseFilter>();
  ASSERT_TRUE(crossbarFilter);
  EXPECT_EQ(L"Our Crossbar", NameInGraph(crossbarFilter.Get()));
  EXPECT_FALSE(FindByName(L"Other Crossbar"));
  // Crossbar video output -> analogue input (crossbar pins: 3 inputs, then the outputs).
  EXPECT_TRUE(AreConnected(PinAt(crossbarFilter.Get(), 3).Get(), card_->Pin(L"Analog Video In")));

  // Tuner video -> crossbar tuner input; tuner audio -> TV audio -> crossbar audio input.
  ComPtr<IBaseFilter> tuner = FindByName(L"Our TV Tuner");
  ComPtr<IBaseFilter> tvAudio = FindByName(L"Our TV Audio");
  ASSERT_TRUE(tuner);
  ASSERT_TRUE(tvAudio);
  EXPECT_TRUE(AreConnected(PinAt(tuner.Get(), 0).Get(), PinAt(crossbarFilter.Get(), 0).Get()));
  EXPECT_TRUE(AreConnected(PinAt(tuner.Get(), 1).Get(), PinAt(tvAudio.Get(), 0).Get()));
  EXPECT_TRUE(AreConnected(PinAt(tvAudio.Get(), 1).Get(), PinAt(crossbarFilter.Get(), 2).Get()));
  EXPECT_FALSE(PeerOf(PinAt(crossbarFilter.Get(), 1).Get()));  // composite: no medium
  EXPECT_EQ(4, FilterCount());
}

TEST_F(CaptureBuilderFrontEnd, LookingAgainAddsNothingAndFindsTheTunerFurtherUp) {
  ComPtr<IAMCrossbar> crossbar;
  ASSERT_EQ(S_OK, builder_->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, card_->Base(),
                                          IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
  const int count = FilterCount();
  ASSERT_EQ(S_OK, builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card_->Base(),
                                          IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(count, FilterCount());
  // Only one crossbar on this card: nothing answers upstream of it.
  ComPtr<IAMCrossbar> second;
  EXPECT_EQ(E_NOINTERFACE,
            builder_->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, crossbar.As<IBaseFilter>().Get(),
                                    IID_IAMCrossbar, second.ReleaseAndGetVoidAddressOf()));
}

// The program's menus look interfaces up while the preview runs: nothing joins a running graph.
TEST_F(CaptureBuilderFrontEnd, NothingIsAddedWhileTheGraphRuns) {
  ComPtr<IMediaControl> control = graph_.As<IMediaControl>();
  ASSERT_TRUE(control);
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  ComPtr<IAMCrossbar> crossbar;
  EXPECT_EQ(E_NOINTERFACE,
            builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card_->Base(),
                                    IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(1, FilterCount());
  ASSERT_TRUE(SUCCEEDED(control->Stop()));
  EXPECT_EQ(S_OK, builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card_->Base(),
                                          IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
}

TEST_F(CaptureBuilderFrontEnd, ACardWithoutMatchingDevicesIsLeftAlone) {
  ComPtr<TableFilter> lonely = MakeTvCard(MediumsOfCard(7).crossbarToCapture);
  Add(lonely->Base(), L"Lonely Card");
  const int count = FilterCount();
  ComPtr<IAMCrossbar> crossbar;
  EXPECT_EQ(E_NOINTERFACE,
            builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, lonely->Base(),
                                    IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(count, FilterCount());
  EXPECT_FALSE(PeerOf(lonely->Pin(L"Analog Video In")));
}

// Two crossbars in a chain (the tuner feeds the second, whose output feeds the first one's
// tuner input): the program's "Second Crossbar" entry looks upstream of the first.
class CaptureBuilderTwoCrossbars : public CaptureBuilderFrontEnd {
 protected:
  static constexpr DWORD kFirstCard = 3;
  static constexpr DWORD kSecondCard = 4;
  FrontEndMediums CardMediums() override { return MediumsOfCard(kFirstCard); }
  void RegisterCardDevices() override {
    const FrontEndMediums first = MediumsOfCard(kFirstCard);
    FrontEndMediums second = MediumsOfCard(kSecondCard);
    second.crossbarToCapture = first.tunerVideoToCrossbar;
    Register(AM_KSCATEGORY_CROSSBAR, CLSID_TestCrossbar, L"First Crossbar", first, &MakeCrossbar);
    Register(AM_KSCATEGORY_CROSSBAR, CLSID_TestCrossbar, L"Second Crossbar", second, &MakeCrossbar);
    Register(AM_KSCATEGORY_TVTUNER, CLSID_TestTvTuner, L"Chain TV Tuner", second, &MakeTvTuner);
  }
};

TEST_F(CaptureBuilderTwoCrossbars, TheSecondCrossbarIsFoundUpstreamOfTheFirst) {
  ComPtr<IAMCrossbar> first;
  ASSERT_EQ(S_OK, builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card_->Base(),
                                          IID_IAMCrossbar, first.ReleaseAndGetVoidAddressOf()));
  ComPtr<IBaseFilter> firstFilter = first.As<IBaseFilter>();
  ASSERT_TRUE(firstFilter);
  EXPECT_EQ(L"First Crossbar", NameInGraph(firstFilter.Get()));

  ComPtr<IAMCrossbar> second;
  ASSERT_EQ(S_OK, builder_->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, firstFilter.Get(),
                                          IID_IAMCrossbar, second.ReleaseAndGetVoidAddressOf()));
  ComPtr<IBaseFilter> secondFilter = second.As<IBaseFilter>();
  ASSERT_TRUE(secondFilter);
  EXPECT_EQ(L"Second Crossbar", NameInGraph(secondFilter.Get()));
  EXPECT_TRUE(AreConnected(PinAt(secondFilter.Get(), 3).Get(), PinAt(firstFilter.Get(), 0).Get()));
  ComPtr<IBaseFilter> tuner = FindByName(L"Chain TV Tuner");
  ASSERT_TRUE(tuner);
  EXPECT_TRUE(AreConnected(PinAt(tuner.Get(), 0).Get(), PinAt(secondFilter.Get(), 0).Get()));
  EXPECT_EQ(4, FilterCount());
}

}  // namespace
}  // namespace vidorra::test::capture_builder
