// Still images of the camcorder's preview from the page "Images": "Grab" and the intervallometer
// (on the test's own time) write BMP and JPEG files whose pictures carry the frame number.

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QSlider>

#include "AppTestSupport.h"
#include "FolderPicker.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "SpinEdit.h"
#include "WindowTimer.h"

namespace vidorra {
namespace {

constexpr const char* kCamcorder = "video dv Caméscope DV\n";
constexpr int kSeconds = 0;
constexpr int kPalFrames = 1;
constexpr int kMinutes = 2;

class ImagesTest : public test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    Start(kCamcorder);
    ASSERT_EQ(form_->CaptureState, stPreview);
    ASSERT_TRUE(PictureMoves());
    folder_ = QFileInfo(form_->ImageFileName).path();
  }

  QString Path(const char* name) const { return folder_ + QLatin1Char('/') + name; }
  QStringList Images() const {
    return QDir(folder_).entryList({QStringLiteral("Image_*")}, QDir::Files, QDir::Name);
  }
  void Grab() { Click(form_->grabBtn); }
  void Switch() { Click(form_->RxSwitch1); }
  void SetPeriod(int value, int unit) {
    form_->RxSpinEdit7->SetValue(value);
    form_->ComboBox1->setCurrentIndex(unit);
  }

  QString folder_;
};

TEST_F(ImagesTest, GrabWritesBmpAndJpegPicturesOfThePreview) {
  ASSERT_EQ(QFileInfo(form_->ImageFileName).fileName(), QStringLiteral("Image_0000.bmp"));
  Grab();
  const QString bmp = Path("Image_0000.bmp");
  const std::optional<uint32_t> first = test::FrameNumberOf(QImage(bmp));
  ASSERT_TRUE(first.has_value()) << "the camcorder's frame number reads back from the file";
  EXPECT_EQ(test::Streams(bmp), QStringLiteral("bmp 720x576"));
  const QImage thumbnail = form_->Image->pixmap().toImage();
  EXPECT_EQ(thumbnail.size(), QSize(192, 144));
  EXPECT_EQ(test::FrameNumberOf(thumbnail.scaled(720, 576)), first) << "the thumbnail shows it";
  EXPECT_EQ(form_->destlab->text(), Path("Image_0001.bmp"));
  EXPECT_EQ(form_->LabelImage->text(), QStringLiteral("Image_0001.bmp"));

  form_->rgExtension->SetItemIndex(1);
  ASSERT_FALSE(form_->gbQuality->isHidden());
  const struct {
    int quality;
    const char* name;
  } kJpegs[] = {{1, "Image_0001.jpg"}, {50, "Image_0002.jpg"}, {100, "Image_0003.jpg"}};
  qint64 lastSize = 0;
  std::optional<uint32_t> lastFrame = first;
  for (const auto& c : kJpegs) {
    SCOPED_TRACE(c.quality);
    form_->TrackBar1->setValue(c.quality);
    EXPECT_EQ(form_->labQuality->text(), QString::number(c.quality));
    // The grabber, ahead of the window, then holds a later frame than the last file's.
    ASSERT_TRUE(test::WaitUntil([&] {
      const std::optional<uint32_t> shown = test::ShownFrame(*form_);
      return shown && *shown > *lastFrame;
    }));
    Grab();
    const QString jpeg = Path(c.name);
    EXPECT_EQ(test::Streams(jpeg), QStringLiteral("mjpeg 720x576"));
    EXPECT_GT(QFileInfo(jpeg).size(), lastSize) << "a better picture takes more room";
    lastSize = QFileInfo(jpeg).size();
    if (c.quality >= 50) {
      const std::optional<uint32_t> frame = test::FrameNumberOf(QImage(jpeg));
      ASSERT_TRUE(frame.has_value());
      EXPECT_GT(*frame, *lastFrame) << "a later frame of the preview";
      lastFrame = frame;
    }
  }
  EXPECT_EQ(Images().size(), 4);
}

TEST_F(ImagesTest, TheIntervallometerGrabsAtItsPeriodUntilSwitchedOff) {
  form_->Timer1->UseManualTime();
  const struct {
    int value;
    int unit;
    int periodMs;  // 0: nothing runs
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
      Switch();
      const bool runs = on && c.periodMs > 0;
      EXPECT_EQ(form_->RxSwitch1->IsOn(), on);
      EXPECT_EQ(form_->Timer1->Enabled(), runs);
      EXPECT_EQ(form_->LabelIntervallo->isVisible(), runs);
      EXPECT_EQ(form_->RxSpinEdit7->isEnabled(), !runs);
      EXPECT_EQ(form_->ComboBox1->isEnabled(), !runs);
      EXPECT_EQ(!form_->chronoLab->isHidden(), runs && c.periodMs % 1000 == 0);
      if (runs) {
        EXPECT_EQ(form_->LabelIntervallo->text(), QString::fromUtf8(c.caption));
      }
      for (int grab = 0; runs && grab < 2; ++grab) {
        form_->Timer1->Advance(c.periodMs - 1);
        EXPECT_EQ(Images().size(), taken) << "not before the period";
        form_->Timer1->Advance(1);
        ASSERT_EQ(Images().size(), ++taken) << "at the period";
        EXPECT_EQ(Images().last(),
                  QStringLiteral("Image_%1.bmp").arg(taken - 1, 4, 10, QLatin1Char('0')));
      }
    }
    form_->Timer1->Advance(c.periodMs * 3 + 1000);
    EXPECT_EQ(Images().size(), taken) << "nothing once switched off";
  }
}

TEST_F(ImagesTest, TheCountdownShowsTheSecondsLeft) {
  form_->Timer1->UseManualTime();
  SetPeriod(3, kSeconds);
  Switch();
  // What chronoLab shows at the switch and after each second, and the pictures taken by then.
  const struct {
    const char* shown;
    int images;
  } kShown[] = {{"3", 0}, {"2", 0}, {"1", 0}, {"0", 1}, {"2", 1}, {"1", 1}, {"0", 2}};
  for (size_t second = 0; second < std::size(kShown); ++second) {
    SCOPED_TRACE(second);
    if (second > 0) form_->Timer1->Advance(1000);
    EXPECT_EQ(form_->chronoLab->text(), QString::fromLatin1(kShown[second].shown));
    EXPECT_EQ(Images().size(), kShown[second].images);
  }
  Switch();
  Switch();
  EXPECT_EQ(form_->chronoLab->text(), QStringLiteral("3")) << "a new start counts the full period";
  form_->Timer1->Advance(2999);
  EXPECT_EQ(Images().size(), 2);
  form_->Timer1->Advance(1);
  EXPECT_EQ(Images().size(), 3);
}

TEST_F(ImagesTest, TheIntervallometerRunsOnRealTimeAtOnePalFrame) {
  SetPeriod(1, kPalFrames);
  form_->rgExtension->SetItemIndex(1);
  Switch();
  ASSERT_TRUE(test::WaitUntil([&] { return Images().size() >= 3; }));
  Switch();
  const QStringList taken = Images();
  std::optional<uint32_t> previous;
  for (const QString& name : taken) {
    const std::optional<uint32_t> frame =
        test::FrameNumberOf(QImage(folder_ + QLatin1Char('/') + name));
    ASSERT_TRUE(frame.has_value()) << name.toStdString();
    if (previous) {
      EXPECT_GE(*frame, *previous) << name.toStdString();
    }
    previous = frame;
  }
}

TEST_F(ImagesTest, AGrabWithoutAFrameWritesNothingAndSaysSo) {
  form_->Timer1->UseManualTime();
  SetPeriod(1, kSeconds);
  Switch();
  form_->Timer1->Advance(1000);
  ASSERT_EQ(Images().size(), 1);

  // The camcorder unplugged while the intervallometer runs.
  Replug("");
  ASSERT_TRUE(InState(stNoSource));
  EXPECT_FALSE(form_->grabBtn->isEnabled());
  form_->Timer1->Advance(1000);
  EXPECT_EQ(Images().size(), 1) << "nothing written";
  EXPECT_TRUE(form_->Timer1->Enabled()) << "the intervallometer goes on";
  EXPECT_EQ(QFileInfo(form_->ImageFileName).fileName(), QStringLiteral("Image_0001.bmp"));
  PanelSays(QStringLiteral("Aucune image n'a pu être saisie"));

  Replug(kCamcorder);
  ASSERT_TRUE(InState(stPreview));
  ASSERT_TRUE(PictureMoves());
  form_->Timer1->Advance(1000);
  EXPECT_EQ(Images(),
            (QStringList{QStringLiteral("Image_0000.bmp"), QStringLiteral("Image_0001.bmp")}));
  Switch();
}

// A picture whose file cannot be made writes nothing, says so and keeps its name for the next
// grab; a file made since the name was formed is not written over: the next name is taken.
TEST_F(ImagesTest, AFileThatCannotBeWrittenOrIsThereAlreadyIsLeftAlone) {
  form_->ImageDirEdit->SetText(folder_ + QStringLiteral("/absent"));
  const QString name = form_->ImageFileName;
  ASSERT_EQ(QFileInfo(name).fileName(), QStringLiteral("Image_0000.bmp"));
  Grab();
  EXPECT_FALSE(QFileInfo::exists(name));
  EXPECT_EQ(form_->ImageFileName, name) << "the name is not used up";
  PanelSays(QStringLiteral("n'a pas pu être enregistrée"));
  ASSERT_TRUE(QDir().mkpath(QFileInfo(name).path()));
  WriteFile(name, "someone else's");
  Grab();
  QFile kept(name);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), QByteArray("someone else's"));
  EXPECT_TRUE(ErrorShown().isEmpty());
  const QString next = folder_ + QStringLiteral("/absent/Image_0001.bmp");
  EXPECT_TRUE(QImageReader(next).canRead()) << "the picture takes the next name";
  EXPECT_EQ(form_->destlab->text(), folder_ + QStringLiteral("/absent/Image_0002.bmp"));
}

}  // namespace
}  // namespace vidorra
