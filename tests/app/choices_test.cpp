// The choices of source, format and sound made as a user makes them: what each shows and hides,
// what it does to the running graph, and what a recording made right after it holds.
#include <wait_until.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>

#include "RadioGroup.h"
#include "WindowTestSupport.h"
#include "modal_dialog_driver.h"

namespace vidorra {
namespace {

// A few PAL DV frames.
constexpr qint64 kSomeBytes = 500000;
const QString kListener = QStringLiteral("Default DirectSound Device");

class ChoicesTest : public test::WindowTest {
 protected:
  // Records a little with "Capture" and "Stop", the preview going on meanwhile; the streams of
  // the file as ffprobe reads them ("codec width x height" for a picture, the codec for a
  // sound), or why there are none.
  QString Record() {
    const QString file = form_->VideoFileName;
    Click(form_->CaptureBtn);
    if (form_->CaptureState != stRecording) return QStringLiteral("not recording");
    if (!PictureMoves()) return QStringLiteral("no preview while recording");
    if (!test::WaitUntil([&] { return QFileInfo(file).size() > kSomeBytes; })) {
      return QStringLiteral("nothing written");
    }
    Click(form_->StopBtn);
    return Streams(file);
  }

  // The file's streams, "codec widthxheight" for a picture and the codec for a sound.
  static QString Streams(const QString& file) {
    QStringList streams;
    for (const QString& line :
         test::Ffprobe(file, {"-show_entries", "stream=codec_type,codec_name,width,height"})
             .split('\n', Qt::SkipEmptyParts)) {
      const QStringList f = line.split(',');  // codec_name, codec_type[, width, height]
      streams << (f.value(1) == QStringLiteral("video")
                      ? QStringLiteral("%1 %2x%3").arg(f.value(0), f.value(2), f.value(3))
                      : f.value(0));
    }
    return streams.join(QStringLiteral(" + "));
  }

  // What the window shows of the choices: the standard, the format group's width, the audio
  // group or the DV sound frame, and the sound boxes with their places.
  QString Layout() {
    TCaptureForm& f = *form_;
    const auto shown = [](const QWidget* w, const char* name) {
      return w->isVisible() ? QString::fromLatin1(name) : QString();
    };
    QStringList parts = {
        shown(f.rgStandard, "standard"),
        f.rgFormat->width() == f.rgStandard->geometry().right() + 1 - f.rgFormat->x()
            ? QStringLiteral("wide")
            : QStringLiteral("narrow"),
        shown(f.gbAudio, "audio group"),
        shown(f.Bevel4, "sound in DV"),
        shown(f.cbEnregistrerAudioDV, "audio DV"),
    };
    // The listening boxes shown, from the left.
    std::vector<QCheckBox*> boxes;
    for (QCheckBox* box : {f.cbEcouterAudioSource, f.cbEcouterAudioDV}) {
      if (box->isVisible()) boxes.push_back(box);
    }
    std::sort(boxes.begin(), boxes.end(),
              [](QCheckBox* a, QCheckBox* b) { return a->x() < b->x(); });
    for (QCheckBox* box : boxes) parts << box->text();
    parts.removeAll(QString());
    return parts.join(QStringLiteral(", "));
  }
};

TEST_F(ChoicesTest, EachChoiceArrangesTheWindowAndTheRecordingHoldsWhatItPromises) {
  Start("video dv Caméscope DV\nvideo webcam Webcam\naudio tone Micro\n");
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
      {"the camcorder, at first show", [] {}, kDVLayout, "dvvideo 720x576 + pcm_s16le"},
      // The sound travels inside the interleaved stream, where ffprobe finds it too.
      {"DV type 1", [&] { format(0); }, kDVLayout, "dvvideo 720x576 + pcm_s16le"},
      {"DV type 2 recompressé", [&] { format(2); }, kRecompressedDVLayout,
       "dvvideo 720x576 + pcm_s16le"},
      {"NTSC", [&] { Click(f.rgStandard->Button(1)); }, kRecompressedDVLayout,
       "dvvideo 720x480 + pcm_s16le"},
      {"no DV sound", [&] { Click(f.cbEnregistrerAudioDV); }, kRecompressedDVLayout,
       "dvvideo 720x480"},
      {"the microphone added", [&] { Click(f.cbEnregistrerAudioSource); }, kRecompressedDVLayout,
       "dvvideo 720x480 + pcm_s16le"},
      // The microphone stays added: only a camcorder takes it away.
      {"the webcam", [&] { ASSERT_TRUE(test::ChooseItem(f.cboxVideo, QStringLiteral("Webcam"))); },
       QStringLiteral("wide, audio group, Ecouter Audio"), "mjpeg 1280x720 + pcm_s16le"},
      {"the webcam re-encoded", [&] { format(1); },
       QStringLiteral("standard, narrow, audio group, Ecouter Audio"),
       "dvvideo 720x480 + pcm_s16le"},
      {"the webcam's own stream without the microphone",
       [&] {
         format(0);
         Click(f.cbEnregistrerAudioSource);
       },
       QStringLiteral("wide, audio group, Ecouter Audio"), "mjpeg 1280x720"},
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.choice);

    step.make();
    EXPECT_EQ(Layout(), step.layout);
    EXPECT_EQ(f.CaptureState, stPreview);
    EXPECT_TRUE(PictureMoves());
    EXPECT_EQ(Record(), QString::fromLatin1(step.streams));
  }
}

TEST_F(ChoicesTest, TheSourceSetsTheFormatsAndTheSoundBoxes) {
  Start("video dv Camescope DV\nvideo webcam Webcam\naudio tone Micro\n");
  TCaptureForm& f = *form_;
  // The camcorder's formats and sound boxes at the first show: SourcesTest and
  // RecordingControlsTest.
  ASSERT_TRUE(test::ChooseItem(f.cboxVideo, QStringLiteral("Webcam")));
  EXPECT_EQ(f.rgFormat->Items().size(), 2);
  EXPECT_FALSE(f.cbEnregistrerAudioDV->isChecked());
  EXPECT_FALSE(f.cbEcouterAudioDV->isChecked());
  EXPECT_EQ(test::FiltersNamed(kListener), 0);

  // A name typed letter by letter binds nothing until it names a device.
  f.cboxVideo->lineEdit()->clear();
  QTest::keyClicks(f.cboxVideo->lineEdit(), QStringLiteral("Camescope"));
  EXPECT_EQ(f.CaptureState, stPreview) << "a failed binding changes no state";
  QTest::keyClicks(f.cboxVideo->lineEdit(), QStringLiteral(" DV"));
  EXPECT_TRUE(dmCam->IsDVSource);
  EXPECT_EQ(f.rgFormat->ItemIndex(), 1);
  EXPECT_TRUE(f.cbEcouterAudioDV->isChecked());
  EXPECT_EQ(test::FiltersNamed(kListener), 1);
  EXPECT_TRUE(PictureMoves());
  EXPECT_EQ(f.cboxVideo->count(), 2) << "a typed name is not added to the devices";
}

TEST_F(ChoicesTest, TheListeningBoxesActOnTheRunningGraph) {
  Start("video dv Caméscope DV\naudio tone Micro\n");
  TCaptureForm& f = *form_;
  Click(f.rgFormat->Button(2));  // the separate sound is offered with the re-encoded format
  ASSERT_FALSE(f.cbEcouterAudioSource->isEnabled());
  Click(f.cbEnregistrerAudioSource);
  ASSERT_TRUE(f.cbEcouterAudioSource->isEnabled());
  EXPECT_TRUE(f.cboxAudio->isEnabled());

  Click(f.cbEcouterAudioSource);
  EXPECT_TRUE(f.cbMute->isChecked()) << "hearing the audio device mutes the window";
  EXPECT_EQ(test::FiltersNamed(kListener), 2);
  EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
  Click(f.cbEcouterAudioDV);
  EXPECT_FALSE(f.cbEcouterAudioDV->isChecked());
  EXPECT_TRUE(f.cbMute->isChecked()) << "the DV sound leaves Mute alone";
  EXPECT_EQ(test::FiltersNamed(kListener), 1);
  EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);

  // Taking the audio device away stops hearing it and locks its boxes.
  Click(f.cbEnregistrerAudioSource);
  EXPECT_FALSE(f.cbEcouterAudioSource->isChecked());
  EXPECT_FALSE(f.cbEcouterAudioSource->isEnabled());
  EXPECT_FALSE(f.cboxAudio->isEnabled());
  EXPECT_FALSE(f.cbMute->isChecked());
  EXPECT_EQ(test::FiltersNamed(kListener), 0);

  // No DV sound recorded, none heard.
  Click(f.cbEcouterAudioDV);
  EXPECT_EQ(test::FiltersNamed(kListener), 1);
  Click(f.cbEnregistrerAudioDV);
  EXPECT_FALSE(f.cbEcouterAudioDV->isChecked());
  EXPECT_FALSE(f.cbEcouterAudioDV->isEnabled());
  EXPECT_EQ(test::FiltersNamed(kListener), 0);
  EXPECT_TRUE(PictureMoves());
}

// Listening changed during a recording: the graph stops and runs again, so the recording goes
// on in the next file and the one it finished stays whole.
TEST_F(ChoicesTest, ListeningChangedWhileRecordingGoesOnInTheNextFile) {
  Start("video dv Caméscope DV\n");
  TCaptureForm& f = *form_;
  const QString first = f.VideoFileName;
  Click(f.CaptureBtn);
  ASSERT_EQ(f.CaptureState, stRecording);
  ASSERT_TRUE(test::WaitUntil([&] { return QFileInfo(first).size() > kSomeBytes; }));
  Click(f.cbEcouterAudioDV);
  EXPECT_EQ(f.CaptureState, stRecording);
  const QString second = f.VideoFileName;
  EXPECT_NE(second, first);
  EXPECT_EQ(test::FiltersNamed(kListener), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return QFileInfo(second).size() > kSomeBytes; }));
  Click(f.StopBtn);
  EXPECT_EQ(Streams(first), QStringLiteral("dvvideo 720x576 + pcm_s16le"));
  EXPECT_EQ(Streams(second), QStringLiteral("dvvideo 720x576 + pcm_s16le"));
  test::ExpectWholeRecording(first);
}

TEST_F(ChoicesTest, TheDeinterlacerBoxRebuildsThePreview) {
  Start("video dv Caméscope DV\n");
  TCaptureForm& f = *form_;
  ASSERT_TRUE(f.cbDeinterlacer->isVisibleTo(f.TabSheet4)) << "the deinterlacer is installed";
  f.PageControl1->setCurrentWidget(f.TabSheet4);
  Click(f.cbDeinterlacer);
  EXPECT_TRUE(dmCam->UseDeinterlacer);
  EXPECT_EQ(test::FiltersNamed(QStringLiteral("Deinterlacer")), 1);
  EXPECT_TRUE(PictureMoves());
  Click(f.cbDeinterlacer);
  EXPECT_EQ(test::FiltersNamed(QStringLiteral("Deinterlacer")), 0);
  EXPECT_EQ(f.CaptureState, stPreview);
  EXPECT_TRUE(PictureMoves());
}

}  // namespace
}  // namespace vidorra
