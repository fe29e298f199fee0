// Device lists and source selection on the simulated machine: every kind of video source
// classified by its pins, namesakes, a device that cannot be bound, the audio devices.
#include "EngineTestSupport.h"

using namespace engine_test;

namespace {

constexpr const char* kMachine = kEveryKindMachine;

}  // namespace

TEST_F(EngineTest, EachKindOfVideoSourceIsClassifiedByItsPins) {
  Simulate(kMachine);
  TdmCam& dm = Module();
  const struct {
    const char* name;
    std::uint8_t kind;
    bool dv;
  } kCases[] = {
      {"Caméscope DV", vskInterleaved, true}, {"Caméscope NTSC", vskInterleaved, true},
      {"Webcam", vskPreview, false},          {"Carte d'acquisition", vskCapture, false},
      {"Carte TV", vskCapture, false},        {"Port vidéo", vskVideoPort, false},
      {"Sans sortie", vskNone, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    dm.IsDVSource = false;  // as the window clears it before every selection
    ASSERT_TRUE(dm.SelectVideoDevice(QString::fromUtf8(c.name)));
    EXPECT_EQ(dm.VideoSourceKind, c.kind);
    EXPECT_EQ(dm.IsDVSource, c.dv);
    EXPECT_EQ(static_cast<bool>(dm.SourcePin), c.kind != vskNone);
    EXPECT_EQ(dm.VideoSource->FilterGraph(), dm.fg);
    EXPECT_NE(dm.VideoSource->MemberFilter(), nullptr);
    EXPECT_TRUE(FiltersInGraph().contains(QStringLiteral("VideoSource")));
  }
}

TEST_F(EngineTest, ADeviceThatCannotBeBoundIsNotSelected) {
  Simulate(kMachine);
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
  Simulate(kMachine);
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
