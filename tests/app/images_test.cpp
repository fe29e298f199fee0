// Still images of the camcorder's preview from the page "Images": "Grab" and the intervallometer
// (on the test's own time) write BMP and JPEG files whose pictures carry the frame number.

#include "AppTestSupport.h"

namespace vidorra {
namespace {

constexpr const char* kCamcorder = "video dv Caméscope DV\n";
constexpr int kSeconds = 0, kPalFrames = 1, kMinutes = 2;

class ImagesTest : public test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Start(kCamcorder);
    ASSERT_EQ(form_->CaptureState, stPreview);
    ASSERT_TRUE(PictureMoves());
    folder_ = QFileInfo(form_->ImageFileName).path();
  }

  QString Path(const QString& name) const { return folder_ + u'/' + name; }
  static QString Name(int number) {
    return QStringLiteral("Image_%1.bmp").arg(number, 4, 10, QLatin1Char('0'));
  }
  QStringList Images() const {
    return QDir(folder_).entryList({QStringLiteral("Image_*")}, QDir::Files, QDir::Name);
  }
  void SetPeriod(int value, int unit) {
    form_->RxSpinEdit7->SetValue(value);
    form_->ComboBox1->setCurrentIndex(unit);
  }

  QString folder_;
};

// BMP, then JPEG at three qualities; a picture whose file cannot be made writes nothing, says so
// and keeps its name for the next grab; a file made since the name was formed is not written
// over: the next name is taken. Then the intervallometer on real time.
TEST_F(ImagesTest, GrabWritesPicturesOfThePreviewAndNeverOverAnotherFile) {
  ASSERT_EQ(form_->ImageFileName, Path(Name(0)));
  // The picture is whole while the preview shows it at half size.
  ASSERT_EQ(test::DecoderResolution(), DVRESOLUTION_HALF);
  Click(form_->grabBtn);
  const std::optional<uint32_t> first = test::FrameNumberOf(QImage(Path(Name(0))));
  ASSERT_TRUE(first.has_value()) << "the camcorder's frame number reads back from the file";
  EXPECT_EQ(test::Streams(Path(Name(0))), QStringLiteral("bmp 720x576"));
  const QImage thumbnail = form_->Image->pixmap().toImage();
  EXPECT_EQ(thumbnail.size(), QSize(192, 144));
  EXPECT_EQ(test::FrameNumberOf(thumbnail.scaled(720, 576)), first) << "the thumbnail shows it";
  EXPECT_EQ(form_->LabelImage->text(), Name(1));

  form_->rgExtension->SetItemIndex(1);
  ASSERT_FALSE(form_->gbQuality->isHidden());
  qint64 lastSize = 0;
  std::optional<uint32_t> lastFrame = first;
  for (const int quality : {1, 50, 100}) {
    SCOPED_TRACE(quality);
    form_->TrackBar1->setValue(quality);
    EXPECT_EQ(form_->labQuality->text(), QString::number(quality));
    // The grabber, ahead of the window, then holds a later frame than the last file's.
    ASSERT_TRUE(
        test::WaitUntil([&] { return test::FrameNumberOf(test::ShownImage(*form_)) > lastFrame; }));
    const QString jpeg = form_->ImageFileName;
    Click(form_->grabBtn);
    EXPECT_EQ(test::Streams(jpeg), QStringLiteral("mjpeg 720x576"));
    EXPECT_GT(QFileInfo(jpeg).size(), lastSize) << "a better picture takes more room";
    lastSize = QFileInfo(jpeg).size();
    if (quality >= 50) {
      const std::optional<uint32_t> frame = test::FrameNumberOf(QImage(jpeg));
      EXPECT_GT(frame, lastFrame) << "a later frame of the preview";
      lastFrame = frame;
    }
  }

  form_->rgExtension->SetItemIndex(0);
  form_->ImageDirEdit->SetText(folder_ + QStringLiteral("/absent"));
  const QString name = form_->ImageFileName;
  ASSERT_EQ(name, folder_ + QStringLiteral("/absent/") + Name(4));
  Click(form_->grabBtn);
  EXPECT_FALSE(QFileInfo::exists(name));
  EXPECT_EQ(form_->ImageFileName, name) << "the name is not used up";
  PanelSays(QStringLiteral("n'a pas pu être enregistrée"));
  WriteFile(name, "someone else's");
  Click(form_->grabBtn);
  QFile kept(name);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), QByteArray("someone else's"));
  EXPECT_TRUE(ErrorShown().isEmpty());
  EXPECT_TRUE(QImageReader(folder_ + QStringLiteral("/absent/") + Name(5)).canRead())
      << "the picture takes the next name";
  EXPECT_EQ(form_->destlab->text(), folder_ + QStringLiteral("/absent/") + Name(6));

  // The intervallometer on real time at one PAL frame: the preview's frames, in order.
  form_->ImageDirEdit->SetText(folder_);
  SetPeriod(1, kPalFrames);
  form_->rgExtension->SetItemIndex(1);
  Click(form_->RxSwitch1);
  ASSERT_TRUE(test::WaitUntil([&] { return Images().size() >= 7; }));
  Click(form_->RxSwitch1);
  std::optional<uint32_t> previous;
  for (const QString& name : Images().mid(4)) {
    const std::optional<uint32_t> frame = test::FrameNumberOf(QImage(Path(name)));
    ASSERT_TRUE(frame.has_value()) << name.toStdString();
    EXPECT_GE(frame, previous) << name.toStdString();
    previous = frame;
  }
}

// The intervallometer on the test's own time: each period, its caption and countdown; nothing
// once switched off; the countdown's seconds; a grab that finds no frame (the camcorder
// unplugged) writes nothing, says so, and the intervallometer goes on.
TEST_F(ImagesTest, TheIntervallometerGrabsAtItsPeriodUntilSwitchedOff) {
  form_->Timer1->UseManualTime();
  const struct {
    int value, unit, periodMs;  // periodMs 0: nothing runs
    const char* caption;
  } kPeriods[] = {
      {3, kSeconds, 3000, "Image toutes les 3 secondes"},
      {37, kPalFrames, 1480, "Image toutes les 37 frames Pal (25/s)"},
      {1, kPalFrames, 40, "Image toutes les 1 frames Pal (25/s)"},
      {2, kMinutes, 120000, "Image toutes les 2 minutes"},
      {0, kSeconds, 0, nullptr},
  };
  int taken = 0;
  for (const auto& c : kPeriods) {
    SCOPED_TRACE(c.periodMs);
    SetPeriod(c.value, c.unit);
    for (const bool on : {true, false}) {
      Click(form_->RxSwitch1);
      const bool runs = on && c.periodMs > 0;
      EXPECT_EQ(form_->RxSwitch1->IsOn(), on);
      EXPECT_EQ(form_->Timer1->Enabled(), runs);
      EXPECT_EQ(form_->LabelIntervallo->isVisible(), runs);
      EXPECT_EQ(form_->RxSpinEdit7->isEnabled() || form_->ComboBox1->isEnabled(), !runs);
      EXPECT_EQ(!form_->chronoLab->isHidden(), runs && c.periodMs % 1000 == 0);
      EXPECT_TRUE(!runs || form_->LabelIntervallo->text() == QString::fromUtf8(c.caption))
          << form_->LabelIntervallo->text().toStdString();
      for (int grab = 0; runs && grab < 2; ++grab) {
        form_->Timer1->Advance(c.periodMs - 1);
        EXPECT_EQ(Images().size(), taken) << "not before the period";
        form_->Timer1->Advance(1);
        ASSERT_EQ(Images().size(), ++taken) << "at the period";
        EXPECT_EQ(Images().last(), Name(taken - 1));
      }
    }
    form_->Timer1->Advance(c.periodMs * 3 + 1000);
    EXPECT_EQ(Images().size(), taken) << "nothing once switched off";
  }

  SetPeriod(3, kSeconds);
  Click(form_->RxSwitch1);
  // What chronoLab shows at the switch and after each second, and the pictures taken by then.
  const struct {
    const char* shown;
    int images;
  } kShown[] = {{"3", 0}, {"2", 0}, {"1", 0}, {"0", 1}, {"2", 1}, {"1", 1}, {"0", 2}};
  for (size_t second = 0; second < std::size(kShown); ++second) {
    SCOPED_TRACE(second);
    if (second > 0) form_->Timer1->Advance(1000);
    EXPECT_EQ(form_->chronoLab->text(), QString::fromLatin1(kShown[second].shown));
    EXPECT_EQ(Images().size(), taken + kShown[second].images);
  }
  Click(form_->RxSwitch1);
  Click(form_->RxSwitch1);
  EXPECT_EQ(form_->chronoLab->text(), QStringLiteral("3")) << "a new start counts the full period";
  form_->Timer1->Advance(2999);
  EXPECT_EQ(Images().size(), taken + 2);
  form_->Timer1->Advance(1);
  taken += 3;
  EXPECT_EQ(Images().size(), taken);
  Click(form_->RxSwitch1);

  SetPeriod(1, kSeconds);
  Click(form_->RxSwitch1);
  Replug("");
  ASSERT_TRUE(InState(stNoSource));
  EXPECT_FALSE(form_->grabBtn->isEnabled());
  form_->Timer1->Advance(1000);
  EXPECT_EQ(Images().size(), taken) << "nothing written";
  EXPECT_TRUE(form_->Timer1->Enabled()) << "the intervallometer goes on";
  EXPECT_EQ(form_->ImageFileName, Path(Name(taken)));
  PanelSays(QStringLiteral("Aucune image n'a pu être saisie"));
  Replug(kCamcorder);
  ASSERT_TRUE(InState(stPreview));
  ASSERT_TRUE(PictureMoves());
  form_->Timer1->Advance(1000);
  EXPECT_EQ(Images().mid(taken), QStringList{Name(taken)});
  Click(form_->RxSwitch1);
}

}  // namespace
}  // namespace vidorra
