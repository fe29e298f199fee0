// The window's source lists and source choice, and the first show that runs them with the
// helper filter checks, the DirectX version, the preview, the error panel and the first page;
// devices that give no picture.

#include "AppTestSupport.h"

namespace vidorra {
namespace {

class SourcesTest : public test::WindowTest {
 protected:
  // The first show, made on another page than the first.
  void Show(const QByteArray& machine) {
    Make(machine);
    form_->PageControl1->setCurrentIndex(2);
    form_->show();
  }
};

// Without a device the boxes show their placeholders, and filling them fires none of their
// signals (it is not the user choosing); selecting no video source offers the formats of a
// source that is not DV (the group's handler fires), selecting no sound binds none.
TEST_F(SourcesTest, TheBoxesWithoutADeviceOrAPictureTheHelperFiltersAndTheFirstShow) {
  Make("");
  int changes = 0, formatClicks = 0;
  QObject alive;  // the connections go before the counters
  for (QComboBox* box : {form_->cboxVideo, form_->cboxAudio}) {
    QObject::connect(box, &QComboBox::currentIndexChanged, &alive, [&] { ++changes; });
    QObject::connect(box, &QComboBox::editTextChanged, &alive, [&] { ++changes; });
  }
  QObject::connect(form_->rgFormat, &RadioGroup::Click, &alive, [&] { ++formatClicks; });
  form_->cbEnregistrerAudioSource->setChecked(true);
  dmCam->HasVideoSources = dmCam->HasAudioSources = dmCam->PreviewReady = true;
  ASSERT_TRUE(form_->FillVideoSourceList() && form_->FillAudioSourceList());
  EXPECT_TRUE(test::Items(form_->cboxVideo).isEmpty() && test::Items(form_->cboxAudio).isEmpty());
  EXPECT_EQ(form_->cboxVideo->currentText(), QStringLiteral("Aucune source vidéo"));
  EXPECT_EQ(form_->cboxAudio->currentText(), QStringLiteral("Pas de source Audio"));
  EXPECT_FALSE(dmCam->HasVideoSources || dmCam->HasAudioSources);
  EXPECT_EQ(changes, 0) << "filling is not the user choosing";

  EXPECT_FALSE(form_->SelectVideoSource());
  EXPECT_FALSE(dmCam->PreviewReady || dmCam->IsDVSource);
  EXPECT_EQ(dmCam->VideoSource->FilterGraph(), nullptr);
  EXPECT_TRUE(form_->rgStandard->isHidden());
  EXPECT_EQ(form_->rgFormat->Items(),
            (QStringList{QStringLiteral("Video native"), QStringLiteral("DV type 2 recompressé")}));
  EXPECT_EQ(form_->rgFormat->ItemIndex(), 0);
  EXPECT_EQ(formatClicks, 1);
  EXPECT_FALSE(form_->cbEnregistrerAudioDV->isChecked());
  EXPECT_TRUE(form_->cbEnregistrerAudioSource->isChecked()) << "unchanged for a non-DV source";
  EXPECT_FALSE(form_->SelectAudioSource());
  EXPECT_EQ(dmCam->AudioSource->FilterGraph(), nullptr);

  // Without a picture (no device, one without an output, a node that offers only codings the
  // program has no decoder for) the box says so; only the last is reported, with what it offers,
  // and another device chosen then shows its picture. Missing filters and an old version are
  // reported in order.
  WriteFile(dir_.path() + QStringLiteral("/encoder.txt"),
            "Driver Info:\n\tCard type        : H264 Encoder\n"
            "ioctl: VIDIOC_ENUM_FMT\n\tType: Video Capture\n\n"
            "\t[0]: 'H264' (H.264, compressed)\n"
            "\t\tSize: Discrete 1920x1080\n\t\t\tInterval: Discrete 0.033s (30.000 fps)\n"
            "\t\tSize: Discrete 1280x720\n\t\t\tInterval: Discrete 0.033s (30.000 fps)\n"
            "\t[1]: 'MPEG' (MPEG-1/2/4, compressed)\n"
            "\t\tSize: Discrete 720x576\n\t\t\tInterval: Discrete 0.040s (25.000 fps)\n");
  const struct {
    QByteArray machine;
    const char* says;
  } kNoPicture[] = {
      {"", nullptr},
      {"video nopins Sans sortie\n", nullptr},
      {"video v4l2 " + (dir_.path() + QStringLiteral("/encoder.txt")).toUtf8() +
           "\nvideo webcam Webcam\n",
       "La source vidéo « H264 Encoder » propose : H264 (1920x1080, 1280x720), MPEG (720x576). "
       "Aucun de ces formats ne peut être affiché."},
  };
  for (const auto& row : kNoPicture) {
    SCOPED_TRACE(row.machine.toStdString());
    Show(row.machine);
    EXPECT_EQ(form_->cboxVideo->currentText(), QStringLiteral("Connexion impossible"));
    EXPECT_EQ(form_->cboxAudio->currentText(), QStringLiteral("Pas de source Audio"));
    EXPECT_EQ(dmCam->HasVideoSources, !row.machine.isEmpty());
    EXPECT_EQ(form_->CaptureState, stNoSource);
    // Tried again (as after a format dialog), the source is still named as it was chosen.
    EXPECT_FALSE(form_->StartPreview());
    if (row.says != nullptr) PanelSays(QString::fromUtf8(row.says));
    EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
    EXPECT_EQ(ErrorShown(), QString());
    EXPECT_EQ(form_->PageControl1->currentWidget(), form_->TabSheet1);
  }
  ASSERT_TRUE(test::ChooseItem(form_->cboxVideo, QStringLiteral("Webcam")));
  EXPECT_EQ(form_->CaptureState, stPreview);
  EXPECT_TRUE(PictureMoves());
  Show(
      "video dv Caméscope DV\n"
      "hide-filter Pinnacle Video Deinterlacer\nhide-filter DV Splitter\n"
      "hide-filter Smart Tee\n"
      "registry HKLM\\Software\\Microsoft\\DirectX|Version|4.08.01.0810\n");
  EXPECT_FALSE(form_->cbDeinterlacer->isVisibleTo(form_->TabSheet4) || dmCam->DeinterlacerInstalled);
  EXPECT_EQ(form_->ErreurFrame1->UrlLabel2->MailBody(),
            QString::fromUtf8("Le Filtre Smart Tee n'est pas installé.\r\n"
                              "Le filtre DV Splitter n'est pas installé.\r\n"
                              "Vous devriez mettre à jour votre version de DirectX.\r\n"
                              "\r\nVous avez directX version 8.1 "));
  PanelSays(QString::fromUtf8("Le filtre DV Splitter n'est pas installé."));
  // Without the splitter the camcorder's picture cannot be built, so there is nothing to record
  // in any format: no file is begun.
  EXPECT_EQ(form_->CaptureState, stNoSource);
  EXPECT_FALSE(form_->CaptureBtn->isEnabled());
}

}  // namespace
}  // namespace vidorra
