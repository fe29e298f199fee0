// The window's source lists and source choice, and the first show that runs them with the
// helper filter checks, the DirectX version, the preview, the error panel and the first page.
#include <uuids.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>
#include <optional>
#include <string>

#include "../components/FakeDevices.h"
#include "RadioGroup.h"
#include "UrlLabel.h"
#include "WindowTestSupport.h"

namespace vidorra {
namespace {

// Counts every change signal of a source box while it lives: filling it must fire none of them.
struct BoxSignals {
  explicit BoxSignals(QComboBox* box) {
    QObject::connect(box, &QComboBox::currentIndexChanged, &alive, [this] { ++count; });
    QObject::connect(box, &QComboBox::currentTextChanged, &alive, [this] { ++count; });
    QObject::connect(box, &QComboBox::editTextChanged, &alive, [this] { ++count; });
    QObject::connect(box, &QComboBox::textActivated, &alive, [this] { ++count; });
  }
  QObject alive;
  int count = 0;
};

// A machine without capture devices, unless a test says otherwise.
class SourcesTest : public test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Make("");
  }
  // The first show, made on another page than the first.
  void Show(const QByteArray& machine) {
    Make(machine);
    form_->PageControl1->setCurrentIndex(2);
    form_->show();
  }
};

// No device, or a list whose second device's class identifier cannot be read (the whole list
// fails, none of it shows): the box shows its placeholder, and filling fires none of its signals.
TEST_F(SourcesTest, WithoutAReadableDeviceTheBoxesShowTheirPlaceholders) {
  const struct {
    const GUID* category;
    bool (TCaptureForm::*fill)();
    QComboBox* box;
    const bool& has;
    const char* placeholder;
  } kLists[] = {
      {&CLSID_VideoInputDeviceCategory, &TCaptureForm::FillVideoSourceList, form_->cboxVideo,
       dmCam->HasVideoSources, "Aucune source vidéo"},
      {&CLSID_AudioInputDeviceCategory, &TCaptureForm::FillAudioSourceList, form_->cboxAudio,
       dmCam->HasAudioSources, "Pas de source Audio"},
  };
  for (const auto& list : kLists) {
    for (const bool readable : {true, false}) {
      SCOPED_TRACE(std::string(list.placeholder) + (readable ? ", no device" : ", unreadable"));
      std::optional<components_test::FakeDevices> devices;
      if (!readable) {
        devices.emplace(
            *list.category,
            components_test::FakeDeviceList{
                {L"@device:test:good", {{L"FriendlyName", L"Good"}}},
                {L"@device:test:bad", {{L"FriendlyName", L"Bad"}, {L"CLSID", L"not a guid"}}}});
      }
      dmCam->HasVideoSources = dmCam->HasAudioSources = true;
      BoxSignals changes(list.box);
      EXPECT_EQ(std::invoke(list.fill, *form_), readable);
      EXPECT_EQ(list.box->count(), 0);
      EXPECT_EQ(list.box->currentIndex(), -1);
      EXPECT_EQ(list.box->currentText(), QString::fromUtf8(list.placeholder));
      EXPECT_FALSE(list.has);
      EXPECT_EQ(changes.count, 0) << "filling is not the user choosing";
    }
  }
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

  // The formats of a source that is not DV: SelectingNoDeviceOffersTheNonDVFormats.
  form_->cboxVideo->setCurrentIndex(1);
  EXPECT_TRUE(form_->SelectVideoSource());
  EXPECT_FALSE(dmCam->IsDVSource);

  form_->cboxAudio->setCurrentIndex(1);
  EXPECT_TRUE(form_->SelectAudioSource());
  EXPECT_EQ(dmCam->AudioSource->FilterGraph(), dmCam->fg);
}

TEST_F(SourcesTest, ACamcorderIsPreviewedAtOnceWithTheDeinterlacerOffered) {
  Show("video dv Caméscope DV\naudio tone Micro\n");
  EXPECT_EQ(form_->PageControl1->currentWidget(), form_->TabSheet1);
  EXPECT_TRUE(form_->cbDeinterlacer->isVisibleTo(form_->TabSheet4));
  EXPECT_TRUE(dmCam->DeinterlacerInstalled);
  EXPECT_FALSE(dmCam->UseDeinterlacer) << "the box is unchecked";
  EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
  EXPECT_TRUE(PictureMoves()) << "the picture moves in the video window";
  EXPECT_EQ(ErrorShown(), QString()) << "nothing is missing";
}

TEST_F(SourcesTest, WithoutAPictureTheBoxesSaySoAndNothingIsReported) {
  for (const char* machine : {"", "video nopins Sans sortie\n"}) {
    SCOPED_TRACE(machine);
    Show(machine);
    EXPECT_EQ(form_->cboxVideo->currentText(), QStringLiteral("Connexion impossible"));
    EXPECT_EQ(form_->cboxAudio->currentText(), QStringLiteral("Pas de source Audio"));
    EXPECT_EQ(dmCam->HasVideoSources, *machine != '\0');
    EXPECT_FALSE(dmCam->HasAudioSources);
    EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
    EXPECT_FALSE(form_->StartPreview());
    EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
    EXPECT_EQ(ErrorShown(), QString());
    EXPECT_EQ(form_->PageControl1->currentWidget(), form_->TabSheet1);
  }
}

TEST_F(SourcesTest, MissingFiltersAndAnOldVersionAreReportedInOrder) {
  Show(
      "video dv Caméscope DV\n"
      "hide-filter Pinnacle Video Deinterlacer\nhide-filter DV Splitter\n"
      "hide-filter Smart Tee\n"
      "registry HKLM\\Software\\Microsoft\\DirectX|Version|4.08.01.0810\n");
  EXPECT_FALSE(form_->cbDeinterlacer->isVisibleTo(form_->TabSheet4));
  EXPECT_FALSE(dmCam->DeinterlacerInstalled);
  EXPECT_EQ(form_->ErreurFrame1->UrlLabel2->MailBody(),
            QString::fromUtf8("Le Filtre Smart Tee n'est pas installé.\r\n"
                              "Le filtre DV Splitter n'est pas installé.\r\n"
                              "Vous devriez mettre à jour votre version de DirectX.\r\n"
                              "\r\nVous avez directX version 8.1 "));
  EXPECT_TRUE(
      ErrorShown().contains(QString::fromUtf8("Le filtre DV Splitter n'est pas installé.")));
}

}  // namespace
}  // namespace vidorra
