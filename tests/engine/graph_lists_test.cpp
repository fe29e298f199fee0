// Device lists and source selection: names that match nothing, namesakes, a device that cannot
// be bound, the audio devices (each kind's classification is checked with its preview; empty
// and unreadable lists with the window's source boxes).
#include <uuids.h>

#include "../components/FakeDevices.h"
#include "EngineTestSupport.h"

using namespace engine_test;

TEST_F(EngineTest, ANameThatMatchesNoDeviceLeavesTheSourceOutOfAnEmptyGraph) {
  TdmCam& dm = Module();
  dm.Smarttee->SetFilterGraph(dm.fg);
  AddStranger();

  EXPECT_FALSE(dm.SelectVideoDevice(QStringLiteral("Aucune source vidéo")));
  EXPECT_EQ(dm.VideoSource->FilterGraph(), nullptr);
  EXPECT_FALSE(dm.SourcePin);
  EXPECT_EQ(dm.VideoSourceKind, vskNone);
  EXPECT_FALSE(dm.IsDVSource);
  EXPECT_EQ(dm.fg->GraphState(), grsStopped);
  QStringList left = FiltersInGraph();
  left.sort();
  EXPECT_EQ(left, (QStringList{QStringLiteral("Smarttee"), QStringLiteral("sg")}))
      << "EmptyGraph keeps the members' filters only";

  EXPECT_FALSE(dm.SelectAudioDevice(QStringLiteral("Pas de source Audio")));
  EXPECT_EQ(dm.AudioSource->FilterGraph(), nullptr);
}

TEST_F(EngineTest, ADeviceThatCannotBeBoundIsNotSelected) {
  Simulate(kEveryKindMachine);
  TdmCam& dm = Module();
  ASSERT_TRUE(dm.SelectVideoDevice(QStringLiteral("Webcam")));
  EXPECT_FALSE(dm.SelectVideoDevice(QStringLiteral("En panne")));
  EXPECT_EQ(dm.VideoSource->FilterGraph(), nullptr);
  EXPECT_FALSE(dm.SourcePin) << "the webcam's pin went with the webcam";
  EXPECT_EQ(dm.VideoSourceKind, vskNone);
  EXPECT_EQ(FiltersInGraph(), QStringList{QStringLiteral("sg")});
}

TEST_F(EngineTest, NamesakesAreListedAndTheFirstIsBound) {
  Simulate("video webcam Caméra\nvideo dv Caméra\n");
  TdmCam& dm = Module();
  QStringList names;
  ASSERT_TRUE(dm.ListVideoDevices(names));
  EXPECT_EQ(names, (QStringList{QStringLiteral("Caméra"), QStringLiteral("Caméra")}));
  ASSERT_TRUE(dm.SelectVideoDevice(QStringLiteral("Caméra")));
  EXPECT_EQ(dm.VideoSourceKind, vskPreview) << "the webcam, first in the list";
}

TEST_F(EngineTest, AudioDevicesAreListedInOrderAndBound) {
  Simulate(kEveryKindMachine);
  TdmCam& dm = Module();
  QStringList names;
  ASSERT_TRUE(dm.ListAudioDevices(names));
  EXPECT_EQ(names, (QStringList{QStringLiteral("Micro"), QStringLiteral("Son TV")}));
  ASSERT_TRUE(dm.ListVideoDevices(names));
  EXPECT_EQ(names.size(), 8);
  EXPECT_EQ(names.front(), QStringLiteral("Caméscope DV"));

  ASSERT_TRUE(dm.SelectAudioDevice(QStringLiteral("Son TV")));
  EXPECT_EQ(dm.AudioSource->FilterGraph(), dm.fg);
  EXPECT_NE(dm.AudioSource->MemberFilter(), nullptr);
  EXPECT_TRUE(FiltersInGraph().contains(QStringLiteral("AudioSource")));
  EXPECT_FALSE(dm.SelectAudioDevice(QStringLiteral("son tv"))) << "the whole name, in its case";
  EXPECT_EQ(dm.AudioSource->FilterGraph(), nullptr);
}

namespace {

DEFINE_GUID(CLSID_MixedSource, 0x5E1D0C11, 0x7A2B, 0x4C3D, 0x9E, 0x4F, 0x10, 0x21, 0x32, 0x43, 0x54,
            0x01);

// A source offering a free preview pin before an interleaved capture pin.
class MixedSource : public CBaseFilter {
 public:
  MixedSource()
      : CBaseFilter(L"Mixed source", CLSID_MixedSource),
        preview_(this, L"Preview", MEDIATYPE_Video, &PIN_CATEGORY_PREVIEW),
        interleaved_(this, L"DV", MEDIATYPE_Interleaved, &PIN_CATEGORY_CAPTURE) {}
  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int n) override {
    if (n == 0) return &preview_;
    return n == 1 ? &interleaved_ : nullptr;
  }
  IPin* Interleaved() { return &interleaved_; }

 private:
  components_test::TypedOutputPin preview_;
  components_test::TypedOutputPin interleaved_;
};

}  // namespace

TEST_F(EngineTest, AnInterleavedPinDecidesBeforeAPreviewPin) {
  TdmCam& dm = Module();
  ComPtr<MixedSource> made;
  components_test::FakeDevices devices(CLSID_VideoInputDeviceCategory,
                                       {{L"@device:test:mixed", {{L"FriendlyName", L"Mixte"}}}},
                                       [&made] {
                                         made = MakeComObject<MixedSource>();
                                         return ComPtr<IBaseFilter>(made.Get());
                                       });
  ASSERT_TRUE(dm.SelectVideoDevice(QStringLiteral("Mixte")));
  EXPECT_EQ(dm.VideoSourceKind, vskInterleaved);
  EXPECT_TRUE(dm.IsDVSource);
  ASSERT_TRUE(made);
  EXPECT_EQ(dm.SourcePin.Get(), made->Interleaved());
  EXPECT_EQ(dm.VideoSource->MemberFilter(), static_cast<IBaseFilter*>(made.Get()));
}
