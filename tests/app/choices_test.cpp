// The choices of source, format and sound made as a user makes them, one after the other on one
// window: what each shows and hides, what it does to the running graph, and what a recording
// made right after it holds.
#include <algorithm>
#include <functional>
#include <vector>

#include "AppTestSupport.h"
#include "modal_dialog_driver.h"

namespace vidorra {
namespace {

const QString kListener = QStringLiteral("Default DirectSound Device");

class ChoicesTest : public test::WindowTest {
 protected:
  // What the window shows of the choices: the standard, the format group's width, the audio
  // group or the DV sound frame, and the listening boxes shown, from the left.
  QString Layout() {
    TCaptureForm& f = *form_;
    QStringList parts;
    if (f.rgStandard->isVisible()) parts << QStringLiteral("standard");
    parts << (f.rgFormat->width() == f.rgStandard->geometry().right() + 1 - f.rgFormat->x()
                  ? QStringLiteral("wide")
                  : QStringLiteral("narrow"));
    if (f.gbAudio->isVisible()) parts << QStringLiteral("audio group");
    if (f.Bevel4->isVisible()) parts << QStringLiteral("sound in DV");
    if (f.cbEnregistrerAudioDV->isVisible()) parts << QStringLiteral("audio DV");
    std::vector<QCheckBox*> boxes;
    for (QCheckBox* box : {f.cbEcouterAudioSource, f.cbEcouterAudioDV}) {
      if (box->isVisible()) boxes.push_back(box);
    }
    std::sort(boxes.begin(), boxes.end(),
              [](QCheckBox* a, QCheckBox* b) { return a->x() < b->x(); });
    for (QCheckBox* box : boxes) parts << box->text();
    return parts.join(QStringLiteral(", "));
  }
};

TEST_F(ChoicesTest, EachChoiceArrangesTheWindowActsOnTheGraphAndShowsInTheRecording) {
  Start("video dv Camescope DV\nvideo webcam Webcam\naudio tone Micro\n");
  TCaptureForm& f = *form_;
  const auto format = [&](int item) { Click(f.rgFormat->Button(item)); };
  const QString kDVLayout = QStringLiteral("wide, sound in DV, Ecouter DV");
  const QString kRecompressedDVLayout =
      QStringLiteral("standard, narrow, audio group, audio DV, Ecouter Audio, Ecouter DV");
  const struct {
    const char* choice;
    std::function<void()> make;
    QString layout;
    const char* streams;
  } kSteps[] = {
      {"the camcorder, at first show", [] {}, kDVLayout, "dvvideo dvsd 720x576 + pcm_s16le"},
      // The sound travels inside the interleaved stream, where ffprobe finds it too.
      {"DV type 1", [&] { format(0); }, kDVLayout, "dvvideo 720x576 + pcm_s16le"},
      {"DV type 2 recompressé", [&] { format(2); }, kRecompressedDVLayout,
       "dvvideo dvsd 720x576 + pcm_s16le"},
      {"NTSC", [&] { Click(f.rgStandard->Button(1)); }, kRecompressedDVLayout,
       "dvvideo dvsd 720x480 + pcm_s16le"},
      {"no DV sound", [&] { Click(f.cbEnregistrerAudioDV); }, kRecompressedDVLayout,
       "dvvideo dvsd 720x480"},
      {"the microphone added", [&] { Click(f.cbEnregistrerAudioSource); }, kRecompressedDVLayout,
       "dvvideo dvsd 720x480 + pcm_s16le"},
      // The microphone stays added: only a camcorder takes it away.
      {"the webcam", [&] { ASSERT_TRUE(test::ChooseItem(f.cboxVideo, QStringLiteral("Webcam"))); },
       QStringLiteral("wide, audio group, Ecouter Audio"), "mjpeg MJPG 1280x720 + pcm_s16le"},
      {"the webcam re-encoded", [&] { format(1); },
       QStringLiteral("standard, narrow, audio group, Ecouter Audio"),
       "dvvideo dvsd 720x480 + pcm_s16le"},
      {"the webcam's own stream without the microphone",
       [&] {
         format(0);
         Click(f.cbEnregistrerAudioSource);
       },
       QStringLiteral("wide, audio group, Ecouter Audio"), "mjpeg MJPG 1280x720"},
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.choice);
    step.make();
    EXPECT_EQ(Layout(), step.layout);
    EXPECT_EQ(f.CaptureState, stPreview);
    EXPECT_TRUE(PictureMoves());
    // The webcam's frames are numbered too, but its 1280x720 JPEG pictures cost the simulated
    // camera more than a sanitizer build keeps up with: its files are read for their streams.
    EXPECT_EQ(test::Streams(Record()), QString::fromLatin1(step.streams));
  }
  {
    // The webcam offers two formats and no DV sound.
    SCOPED_TRACE("a name typed letter by letter binds nothing until it names a device");
    EXPECT_EQ(f.rgFormat->Items().size(), 2);
    EXPECT_FALSE(f.cbEnregistrerAudioDV->isChecked() || f.cbEcouterAudioDV->isChecked());
    EXPECT_EQ(test::FiltersNamed(kListener), 0);
    f.cboxVideo->lineEdit()->clear();
    QTest::keyClicks(f.cboxVideo->lineEdit(), QStringLiteral("Camescope"));
    EXPECT_EQ(f.CaptureState, stPreview) << "a failed binding changes no state";
    QTest::keyClicks(f.cboxVideo->lineEdit(), QStringLiteral(" DV"));
    EXPECT_TRUE(dmCam->IsDVSource);
    EXPECT_EQ(f.rgFormat->ItemIndex(), 1) << "the camcorder's formats come back";
    EXPECT_TRUE(f.cbEcouterAudioDV->isChecked());
    EXPECT_EQ(test::FiltersNamed(kListener), 1);
    EXPECT_TRUE(PictureMoves());
    EXPECT_EQ(f.cboxVideo->count(), 2) << "not added to the list";
  }
  {
    SCOPED_TRACE("the deinterlacer box rebuilds the preview through it and without it");
    ASSERT_TRUE(f.cbDeinterlacer->isVisibleTo(f.TabSheet4)) << "the deinterlacer is installed";
    f.PageControl1->setCurrentWidget(f.TabSheet4);
    for (const int deinterlacers : {1, 0}) {
      Click(f.cbDeinterlacer);
      EXPECT_EQ(dmCam->UseDeinterlacer, deinterlacers == 1);
      EXPECT_EQ(test::FiltersNamed(QStringLiteral("Deinterlacer")), deinterlacers);
      EXPECT_EQ(f.CaptureState, stPreview);
      EXPECT_TRUE(PictureMoves());
    }
  }
  {
    // The graph stops and runs again: the recording goes on in the next file.
    SCOPED_TRACE("listening changed during a recording");
    const QString first = Capture();
    Click(f.cbEcouterAudioDV);
    EXPECT_EQ(f.CaptureState, stRecording);
    const QString second = f.VideoFileName;
    EXPECT_NE(second, first);
    EXPECT_EQ(test::FiltersNamed(kListener), 0);
    ASSERT_TRUE(Written(second));
    Click(f.StopBtn);
    EXPECT_EQ(test::ReadBack(first), QStringLiteral("dvvideo dvsd 720x576 + pcm_s16le"));
    EXPECT_EQ(test::ReadBack(second), QStringLiteral("dvvideo dvsd 720x576 + pcm_s16le"));
  }
  {
    SCOPED_TRACE("the listening boxes add and take away the renderers of the running graph");
    format(2);  // the separate sound is offered with the re-encoded format
    ASSERT_FALSE(f.cbEcouterAudioSource->isEnabled());
    Click(f.cbEnregistrerAudioSource);
    ASSERT_TRUE(f.cbEcouterAudioSource->isEnabled() && f.cboxAudio->isEnabled());
    Click(f.cbEcouterAudioSource);
    EXPECT_TRUE(f.cbMute->isChecked()) << "hearing the audio device mutes the window";
    EXPECT_EQ(test::FiltersNamed(kListener), 1);
    Click(f.cbEcouterAudioDV);
    EXPECT_TRUE(f.cbEcouterAudioDV->isChecked());
    EXPECT_TRUE(f.cbMute->isChecked()) << "the DV sound leaves Mute alone";
    EXPECT_EQ(test::FiltersNamed(kListener), 2);
    EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
    // Taking the audio device away stops hearing it and locks its boxes.
    Click(f.cbEnregistrerAudioSource);
    EXPECT_FALSE(f.cbEcouterAudioSource->isChecked() || f.cbEcouterAudioSource->isEnabled() ||
                 f.cboxAudio->isEnabled() || f.cbMute->isChecked());
    EXPECT_EQ(test::FiltersNamed(kListener), 1);
    Click(f.cbEnregistrerAudioDV);  // a sound not recorded is not heard
    EXPECT_FALSE(f.cbEcouterAudioDV->isChecked() || f.cbEcouterAudioDV->isEnabled());
    EXPECT_EQ(test::FiltersNamed(kListener), 0);
    EXPECT_TRUE(PictureMoves());
  }
}

}  // namespace
}  // namespace vidorra
