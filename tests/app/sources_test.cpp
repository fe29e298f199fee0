// The window's source lists and source choice (FillVideoSourceList, FillAudioSourceList,
// SelectVideoSource, SelectAudioSource) and the first show that runs them.
#include <uuids.h>

#include <QCheckBox>
#include <QComboBox>

#include "../components/FakeDevices.h"
#include "RadioGroup.h"
#include "WindowTestSupport.h"

namespace vidorra {
namespace {

// Counts every change signal of a source box: filling it must fire none of them.
struct BoxSignals {
  explicit BoxSignals(QComboBox* box) {
    QObject::connect(box, &QComboBox::currentIndexChanged, [this] { ++count; });
    QObject::connect(box, &QComboBox::currentTextChanged, [this] { ++count; });
    QObject::connect(box, &QComboBox::editTextChanged, [this] { ++count; });
    QObject::connect(box, &QComboBox::textActivated, [this] { ++count; });
  }
  int count = 0;
};

// A machine without capture devices, unless a test says otherwise.
class SourcesTest : public test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Make("");
  }
};

TEST_F(SourcesTest, WithoutDevicesTheBoxesShowTheirPlaceholders) {
  BoxSignals video(form_->cboxVideo);
  BoxSignals audio(form_->cboxAudio);
  dmCam->HasVideoSources = dmCam->HasAudioSources = true;
  EXPECT_TRUE(form_->FillVideoSourceList());
  EXPECT_TRUE(form_->FillAudioSourceList());
  EXPECT_EQ(form_->cboxVideo->count(), 0);
  EXPECT_EQ(form_->cboxVideo->currentIndex(), -1);
  EXPECT_EQ(form_->cboxVideo->currentText(), QStringLiteral("Aucune source vidéo"));
  EXPECT_FALSE(dmCam->HasVideoSources);
  EXPECT_EQ(form_->cboxAudio->count(), 0);
  EXPECT_EQ(form_->cboxAudio->currentText(), QStringLiteral("Pas de source Audio"));
  EXPECT_FALSE(dmCam->HasAudioSources);
  EXPECT_EQ(video.count + audio.count, 0) << "filling is not the user choosing";
}

TEST_F(SourcesTest, AListThatCannotBeReadFailsAndShowsThePlaceholder) {
  components_test::FakeDevices devices(
      CLSID_VideoInputDeviceCategory,
      {{L"@device:test:good", {{L"FriendlyName", L"Good"}}},
       {L"@device:test:bad", {{L"FriendlyName", L"Bad"}, {L"CLSID", L"not a guid"}}}});
  EXPECT_FALSE(form_->FillVideoSourceList());
  EXPECT_EQ(form_->cboxVideo->count(), 0);
  EXPECT_EQ(form_->cboxVideo->currentText(), QStringLiteral("Aucune source vidéo"));
  EXPECT_FALSE(dmCam->HasVideoSources);
}

TEST_F(SourcesTest, SelectingNoDeviceOffersTheNonDVFormats) {
  int formatClicks = 0;
  QObject::connect(form_->rgFormat, &RadioGroup::Click, [&] { ++formatClicks; });
  form_->cbEnregistrerAudioSource->setChecked(true);
  dmCam->PreviewReady = true;
  ASSERT_TRUE(form_->FillVideoSourceList());

  EXPECT_FALSE(form_->SelectVideoSource());
  EXPECT_FALSE(dmCam->PreviewReady);
  EXPECT_FALSE(dmCam->IsDVSource);
  EXPECT_EQ(dmCam->VideoSource->FilterGraph(), nullptr);
  EXPECT_TRUE(form_->rgStandard->isHidden());
  EXPECT_EQ(form_->rgFormat->Items(),
            (QStringList{QStringLiteral("Video native"), QStringLiteral("DV type 2 recompressé")}));
  EXPECT_EQ(form_->rgFormat->ItemIndex(), 0);
  EXPECT_EQ(formatClicks, 1) << "selecting the item fires the group's handler";
  EXPECT_FALSE(form_->cbEnregistrerAudioDV->isChecked());
  EXPECT_TRUE(form_->cbEnregistrerAudioSource->isChecked()) << "unchanged for a non-DV source";

  ASSERT_TRUE(form_->FillAudioSourceList());
  EXPECT_FALSE(form_->SelectAudioSource());
  EXPECT_EQ(dmCam->AudioSource->FilterGraph(), nullptr);
}

TEST_F(SourcesTest, TheFirstShowSelectsTheFirstDevicesAndTheFormatsFollowTheSource) {
  Make(
      "video dv Caméscope DV\nvideo capture Carte d'acquisition\n"
      "audio tone Micro\naudio tv-audio Son TV\n");
  form_->cbEnregistrerAudioSource->setChecked(true);
  form_->cbEnregistrerAudioDV->setChecked(false);
  form_->show();
  const auto items = [](QComboBox* box) {
    QStringList names;
    for (int i = 0; i < box->count(); ++i) names << box->itemText(i);
    return names;
  };
  EXPECT_EQ(items(form_->cboxVideo),
            (QStringList{QStringLiteral("Caméscope DV"), QStringLiteral("Carte d'acquisition")}));
  EXPECT_EQ(form_->cboxVideo->currentIndex(), 0);
  EXPECT_EQ(items(form_->cboxAudio),
            (QStringList{QStringLiteral("Micro"), QStringLiteral("Son TV")}));
  EXPECT_EQ(form_->cboxAudio->currentIndex(), 0);
  EXPECT_TRUE(dmCam->HasVideoSources);
  EXPECT_TRUE(dmCam->HasAudioSources);
  EXPECT_EQ(dmCam->VideoSource->FilterGraph(), dmCam->fg);
  EXPECT_EQ(dmCam->AudioSource->FilterGraph(), dmCam->fg);
  EXPECT_TRUE(dmCam->IsDVSource);
  EXPECT_EQ(form_->rgFormat->Items(),
            (QStringList{QStringLiteral("DV type 1"), QStringLiteral("DV type 2 normal"),
                         QStringLiteral("DV type 2 recompressé")}));
  EXPECT_EQ(form_->rgFormat->ItemIndex(), 1);
  EXPECT_TRUE(form_->cbEnregistrerAudioDV->isChecked());
  EXPECT_FALSE(form_->cbEnregistrerAudioSource->isChecked());

  form_->cboxVideo->setCurrentIndex(1);
  EXPECT_TRUE(form_->SelectVideoSource());
  EXPECT_EQ(dmCam->VideoSourceKind, vskCapture);
  EXPECT_FALSE(dmCam->IsDVSource);
  EXPECT_EQ(form_->rgFormat->Items(),
            (QStringList{QStringLiteral("Video native"), QStringLiteral("DV type 2 recompressé")}));
  EXPECT_EQ(form_->rgFormat->ItemIndex(), 0);
  EXPECT_FALSE(form_->cbEnregistrerAudioDV->isChecked());

  form_->cboxAudio->setCurrentIndex(1);
  EXPECT_TRUE(form_->SelectAudioSource());
  EXPECT_EQ(dmCam->AudioSource->FilterGraph(), dmCam->fg);
}

}  // namespace
}  // namespace vidorra
