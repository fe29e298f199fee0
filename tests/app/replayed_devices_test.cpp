// Real devices as their owners described them (resources/v4l2-samples), replayed on the
// simulated machine through the V4L2 backend, and the simulated video-port device: each is
// listed under its card type, shows a moving picture, records its own stream and re-encodes it
// to DV, and offers its settings, as a user sees them.

#include "AppTestSupport.h"

namespace vidorra {
namespace {

class ReplayedDevicesTest : public test::WindowTest {
 public:
  // The TV card's settings as a real card's: its inputs in "Video Input" (the tuner routed), its
  // tuner, its standards on the decoder's page (choosing one reaches the device), the picture
  // locked.
  void TvCardSettings() {
    const QString entries = test::Captions(form_->MENU_OPTIONS);
    EXPECT_TRUE(entries.contains(QStringLiteral(",TV Tuner...,")) &&
                entries.endsWith(QStringLiteral(",Video Input,>Video Tuner*,Video Composite")))
        << entries.toStdString();
    OpenDialog(QStringLiteral("Video Capture Filter..."), [](QWidget& frame) {
      auto* tabs = frame.findChild<QTabWidget*>();
      ASSERT_TRUE(tabs && tabs->tabText(1) == QStringLiteral("Décodeur vidéo"));
      tabs->setCurrentIndex(1);
      auto* box = frame.findChild<QComboBox*>(QStringLiteral("cboxStandard"));
      ASSERT_NE(box, nullptr);
      EXPECT_TRUE(test::Items(box).contains(QStringLiteral("SECAM L")))
          << test::Items(box).join(u',').toStdString();
      EXPECT_EQ(box->currentText(), QStringLiteral("NTSC M"));
      const auto* locked = frame.findChild<QLabel*>(QStringLiteral("labLocked"));
      EXPECT_TRUE(locked && locked->text() == QStringLiteral("Oui"));
      EXPECT_TRUE(test::ChooseItem(box, QStringLiteral("PAL B")));
      test::ClickButton(frame, QStringLiteral("OK"));
    });
    long standard = 0;
    ASSERT_EQ(QueryAs<IAMAnalogVideoDecoder>(dmCam->VideoSource)->get_TVFormat(&standard), S_OK);
    EXPECT_EQ(standard, AnalogVideo_PAL_B);
  }

  // The webcam's stream format dialog lists its formats (the H.264 the program cannot show
  // too), and another mode chosen there rebuilds the preview in it.
  void AnotherWebcamMode() {
    OpenDialog(QStringLiteral("Video Capture Pin..."), [](QWidget& frame) {
      auto* subtype = frame.findChild<QComboBox*>(QStringLiteral("cboxSubtype"));
      ASSERT_NE(subtype, nullptr);
      QStringList formats = test::Items(subtype);
      formats.sort();
      EXPECT_EQ(formats, (QStringList{QStringLiteral("H264"), QStringLiteral("MJPG"), QStringLiteral("YUY2")}));
      ASSERT_TRUE(test::ChooseItem(subtype, QStringLiteral("MJPG")));
      ASSERT_TRUE(test::ChooseItem(frame.findChild<QComboBox*>(QStringLiteral("cboxSize")),
                                   QStringLiteral("1280 x 720")));
      test::ClickButton(frame, QStringLiteral("OK"));
    });
    EXPECT_EQ(form_->CaptureState, stPreview);
    EXPECT_TRUE(test::WaitUntil([&] { return test::ShownImage(*form_).size() == QSize(1280, 720); }));
  }
};

TEST_F(ReplayedDevicesTest, EachSampleIsListedPreviewedRecordedInBothFormatsAndSetUp) {
  const QByteArray kV4l2("video v4l2 " VIDORRA_SOURCE_DIR "/resources/v4l2-samples/");
  const struct {
    QByteArray machine;
    const char* card;
    const char* native;  // its own stream as ffprobe reads it: codec, fourcc, size
    int width, height;
    void (ReplayedDevicesTest::*settings)();
  } kSamples[] = {
      {kV4l2 + "uvc-logitech-c920.txt", "HD Pro Webcam C920", "rawvideo YUY2 640x480", 640, 480,
       &ReplayedDevicesTest::AnotherWebcamMode},
      {kV4l2 + "usb-grabber-em28xx-em2860.txt", "EM2860/SAA711X Reference Design",
       "rawvideo YUY2 720x576", 720, 576, nullptr},
      {kV4l2 + "tv-saa7134-gigabyte-gtp8000-as-aopen-va1000.txt", "AOPEN VA1000 POWER",
       "rawvideo YV12 640x480", 640, 480, &ReplayedDevicesTest::TvCardSettings},
      // The video-port device (a capture pin and a video-port pin, no preview pin) records its
      // own stream through the Smart Tee the recording puts on its capture pin.
      {"video videoport Port vidéo", "Port vidéo", "rawvideo YUY2 720x576", 720, 576, nullptr},
  };
  for (const auto& sample : kSamples) {
    SCOPED_TRACE(sample.machine.toStdString());
    Start(sample.machine + "\naudio tone Micro\n");
    EXPECT_EQ(form_->cboxVideo->currentText(), QString::fromUtf8(sample.card));
    ASSERT_TRUE(InState(stPreview));
    EXPECT_TRUE(PictureMoves());
    ASSERT_EQ(form_->rgFormat->ItemIndex(), 0) << "the device's own stream";
    EXPECT_EQ(test::ReadBack(Record(10 * sample.width * sample.height)),
              QString::fromLatin1(sample.native));
    Click(form_->rgFormat->Button(1));
    EXPECT_EQ(test::ReadBack(Record()), QStringLiteral("dvvideo dvsd 720x576"));
    if (sample.settings != nullptr) (this->*sample.settings)();
    EXPECT_TRUE(PictureMoves());
  }
}

}  // namespace
}  // namespace vidorra
