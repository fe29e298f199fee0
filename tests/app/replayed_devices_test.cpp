// Real devices as their owners described them (resources/v4l2-samples), replayed on the
// simulated machine through the V4L2 backend: each is listed under its card type, shows a
// moving picture, records its own stream and re-encodes it to DV, as a user does it.
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QMenu>
#include <QTabWidget>
#include <QRadioButton>

#include "RadioGroup.h"
#include "AppTestSupport.h"
#include "modal_dialog_driver.h"
#include "temp_dir.h"

namespace vidorra {
namespace {

struct Sample {
  const char* file;
  const char* card;
  const char* nativeStream;  // codec, fourcc and size as ffprobe reads them
  int width;
  int height;
};

class ReplayedDevicesTest : public test::WindowTest {
 protected:
  static QByteArray Machine(const char* file) {
    return QByteArray("video v4l2 ") + VIDORRA_SOURCE_DIR "/resources/v4l2-samples/" + file +
           "\naudio tone Micro\n";
  }

  // Records until the file holds a few frames of `frameBytes`; its name, or "" when the
  // recording did not start or wrote nothing.
  QString Record(qint64 frameBytes) {
    const QString file = form_->VideoFileName;
    Click(form_->CaptureBtn);
    if (form_->CaptureState != stRecording) return {};
    const bool written = test::WaitUntil([&] { return QFileInfo(file).size() > 5 * frameBytes; });
    Click(form_->StopBtn);
    return written ? file : QString();
  }

  // The picture's codec, fourcc and size, as ffprobe reads them.
  static QString Stream(const QString& file) {
    return QString::fromStdString(test::RunCommand(
                                      "ffprobe -v error -select_streams v:0 -show_entries "
                                      "stream=codec_name,codec_tag_string,width,height -of csv=p=0 " +
                                      test::Quote(file.toStdString())))
        .trimmed();
  }

  // Every frame ffmpeg decodes carries the number after the one before.
  static void ExpectConsecutiveFrames(const QString& file, int width, int height) {
    const auto numbers = test::RecordedFrameNumbers(file.toStdString(), width, height);
    EXPECT_GE(numbers.size(), 3u);
    EXPECT_EQ(static_cast<long>(numbers.size()), test::ProbedFrames(file.toStdString()));
    for (size_t i = 0; i < numbers.size(); ++i) {
      ASSERT_TRUE(numbers[i]) << "frame " << i;
      if (i > 0) {
        EXPECT_EQ(*numbers[i], *numbers[i - 1] + 1) << "frame " << i;
      }
    }
  }
};

class ReplayedSampleTest : public ReplayedDevicesTest, public testing::WithParamInterface<Sample> {};

TEST_P(ReplayedSampleTest, ListedUnderItsCardItPreviewsRecordsItsStreamAndReencodesToDv) {
  const Sample& sample = GetParam();
  Start(Machine(sample.file));
  TCaptureForm& f = *form_;
  EXPECT_EQ(f.cboxVideo->currentText(), QString::fromUtf8(sample.card));
  ASSERT_EQ(f.CaptureState, stPreview);
  EXPECT_TRUE(PictureMoves());

  ASSERT_EQ(f.rgFormat->ItemIndex(), 0) << "the device's own stream";
  const QString native = Record(qint64{sample.width} * sample.height);
  ASSERT_FALSE(native.isEmpty());
  EXPECT_EQ(Stream(native), QString::fromLatin1(sample.nativeStream));
  ExpectConsecutiveFrames(native, sample.width, sample.height);

  Click(f.rgFormat->Button(1));
  ASSERT_EQ(f.CaptureState, stPreview);
  const QString dv = Record(144000);
  ASSERT_FALSE(dv.isEmpty());
  EXPECT_EQ(Stream(dv), QStringLiteral("dvvideo,dvsd,720,576"));
  ExpectConsecutiveFrames(dv, 720, 576);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, ReplayedSampleTest,
    testing::Values(
        Sample{"uvc-logitech-c920.txt", "HD Pro Webcam C920", "rawvideo,YUY2,640,480", 640, 480},
        Sample{"usb-grabber-em28xx-em2860.txt", "EM2860/SAA711X Reference Design",
               "rawvideo,YUY2,720,576", 720, 576},
        Sample{"tv-saa7134-gigabyte-gtp8000-as-aopen-va1000.txt", "AOPEN VA1000 POWER",
               "rawvideo,YV12,640,480", 640, 480}),
    [](const testing::TestParamInfo<Sample>& info) {
      return std::string(info.param.file).substr(0, std::string(info.param.file).find('-'));
    });

QAction* Entry(const QMenu* menu, const QString& caption) {
  for (QAction* action : menu->actions()) {
    if (action->text() == caption) return action;
  }
  return nullptr;
}

// The TV card's settings as a real card's: its inputs in "Video Input" (the tuner routed), its
// standards on the decoder's page (choosing one reaches the device), its tuner's channels.
TEST_F(ReplayedDevicesTest, TheTvCardsInputsStandardsAndTunerAreInItsSettings) {
  Start(Machine("tv-saa7134-gigabyte-gtp8000-as-aopen-va1000.txt"));
  TCaptureForm& f = *form_;
  ASSERT_EQ(f.CaptureState, stPreview);
  QAction* inputs = Entry(f.MENU_OPTIONS, QStringLiteral("Video Input"));
  ASSERT_NE(inputs, nullptr);
  QStringList names;
  for (const QAction* input : inputs->menu()->actions()) {
    names << input->text() + (input->isChecked() ? QStringLiteral(" *") : QString());
  }
  EXPECT_EQ(names, (QStringList{QStringLiteral("Video Tuner *"), QStringLiteral("Video Composite")}));
  ASSERT_NE(Entry(f.MENU_OPTIONS, QStringLiteral("TV Tuner...")), nullptr);

  QStringList standards;
  test::ModalDialogDriver driver([&](QWidget& frame) {
    auto* tabs = frame.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    for (int i = 0; i < tabs->count(); ++i) {
      if (tabs->tabText(i) == QStringLiteral("Décodeur vidéo")) tabs->setCurrentIndex(i);
    }
    auto* box = frame.findChild<QComboBox*>(QStringLiteral("cboxStandard"));
    ASSERT_NE(box, nullptr);
    for (int i = 0; i < box->count(); ++i) standards << box->itemText(i);
    EXPECT_EQ(box->currentText(), QStringLiteral("NTSC M"));
    EXPECT_TRUE(test::ChooseItem(box, QStringLiteral("PAL B")));
    test::ClickButton(frame, QStringLiteral("OK"));
  });
  Entry(f.MENU_OPTIONS, QStringLiteral("Video Capture Filter..."))->trigger();
  EXPECT_EQ(driver.DialogsDriven(), 1);
  EXPECT_TRUE(standards.contains(QStringLiteral("SECAM L"))) << standards.join(", ").toStdString();
  long standard = 0;
  ASSERT_EQ(QueryAs<IAMAnalogVideoDecoder>(dmCam->VideoSource)->get_TVFormat(&standard), S_OK);
  EXPECT_EQ(standard, AnalogVideo_PAL_B);
  EXPECT_TRUE(PictureMoves());
}

// The webcam's stream format dialog lists its formats (the H.264 the program cannot show too),
// and another mode chosen there rebuilds the preview in it.
TEST_F(ReplayedDevicesTest, AnotherModeOfTheWebcamRebuildsThePreviewInIt) {
  Start(Machine("uvc-logitech-c920.txt"));
  TCaptureForm& f = *form_;
  ASSERT_EQ(f.CaptureState, stPreview);
  QStringList formats;
  test::ModalDialogDriver driver([&](QWidget& frame) {
    auto* subtype = frame.findChild<QComboBox*>(QStringLiteral("cboxSubtype"));
    ASSERT_NE(subtype, nullptr);
    for (int i = 0; i < subtype->count(); ++i) formats << subtype->itemText(i);
    ASSERT_TRUE(test::ChooseItem(subtype, QStringLiteral("MJPG")));
    ASSERT_TRUE(test::ChooseItem(frame.findChild<QComboBox*>(QStringLiteral("cboxSize")),
                                 QStringLiteral("1280 x 720")));
    test::ClickButton(frame, QStringLiteral("OK"));
  });
  QAction* pin = Entry(f.MENU_OPTIONS, QStringLiteral("Video Capture Pin..."));
  ASSERT_NE(pin, nullptr);
  pin->trigger();
  EXPECT_EQ(driver.DialogsDriven(), 1);
  formats.sort();
  EXPECT_EQ(formats, (QStringList{QStringLiteral("H264"), QStringLiteral("MJPG"), QStringLiteral("YUY2")}));
  EXPECT_EQ(f.CaptureState, stPreview);
  EXPECT_TRUE(test::WaitUntil([&] { return test::ShownImage(f).size() == QSize(1280, 720); }));
  EXPECT_TRUE(PictureMoves());
}

// A node that offers only codings the program has no decoder for is listed, and choosing it
// says why there is no picture.
TEST_F(ReplayedDevicesTest, ADeviceWithNothingToShowSaysWhatItOffers) {
  WriteFile(dir_.path() + QStringLiteral("/encoder.txt"),
            "Driver Info:\n\tCard type        : H264 Encoder\n"
            "ioctl: VIDIOC_ENUM_FMT\n\tType: Video Capture\n\n"
            "\t[0]: 'H264' (H.264, compressed)\n"
            "\t\tSize: Discrete 1920x1080\n\t\t\tInterval: Discrete 0.033s (30.000 fps)\n"
            "\t\tSize: Discrete 1280x720\n\t\t\tInterval: Discrete 0.033s (30.000 fps)\n"
            "\t[1]: 'MPEG' (MPEG-1/2/4, compressed)\n"
            "\t\tSize: Discrete 720x576\n\t\t\tInterval: Discrete 0.040s (25.000 fps)\n");
  Start("video v4l2 " + (dir_.path() + QStringLiteral("/encoder.txt")).toUtf8() +
        "\nvideo webcam Webcam\n");
  TCaptureForm& f = *form_;
  EXPECT_EQ(f.cboxVideo->currentText(), QStringLiteral("Connexion impossible"));
  EXPECT_EQ(f.CaptureState, stNoSource);
  EXPECT_TRUE(ErrorShown().contains(QStringLiteral(
      "La source vidéo « H264 Encoder » propose : H264 (1920x1080, 1280x720), MPEG (720x576). "
      "Aucun de ces formats ne peut être affiché.")))
      << ErrorShown().toStdString();
  CloseError();
  // The other device still works.
  ASSERT_TRUE(test::ChooseItem(f.cboxVideo, QStringLiteral("Webcam")));
  EXPECT_EQ(f.CaptureState, stPreview);
  EXPECT_TRUE(PictureMoves());
}

}  // namespace
}  // namespace vidorra
