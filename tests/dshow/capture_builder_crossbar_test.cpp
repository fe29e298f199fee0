// The analogue front end: for a capture filter whose analogue video input has a medium, the
// builder adds the crossbar, TV tuner and TV audio filters of the same card (found in the
// system device enumerator's categories by their pin mediums) and connects them upstream, so
// that FindInterface finds the crossbar from the capture pin. (A chain of two crossbars: the
// TV card tests of the devices, on the simulated cards.)
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
    const FrontEndMediums ours = MediumsOfCard(kOurCard);
    Register(AM_KSCATEGORY_CROSSBAR, CLSID_TestCrossbar, L"Other Crossbar",
             MediumsOfCard(kOtherCard), &MakeCrossbar);
    Register(AM_KSCATEGORY_CROSSBAR, CLSID_TestCrossbar, L"Our Crossbar", ours, &MakeCrossbar);
    Register(AM_KSCATEGORY_TVTUNER, CLSID_TestTvTuner, L"Our TV Tuner", ours, &MakeTvTuner);
    Register(AM_KSCATEGORY_TVAUDIO, CLSID_TestTvAudio, L"Our TV Audio", ours, &MakeTvAudio);
    card_ = MakeTvCard(ours.crossbarToCapture);
    Add(card_->Base(), L"TV Card");
  }
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

}  // namespace
}  // namespace vidorra::test::capture_builder
