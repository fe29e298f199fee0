// File names of recordings and images: formats, the refresh handlers, the "/" separator, no
// existing file replaced (nor one written meanwhile), image numbers past 9999.
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "AppTestSupport.h"
#include "FolderPicker.h"
#include "RadioGroup.h"

namespace vidorra {
namespace {

class NamesTest : public test::FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    videos_ = dir_.path() + QStringLiteral("/Vidéos");
    images_ = dir_.path() + QStringLiteral("/Images/");
    QDir().mkpath(videos_);
    QDir().mkpath(images_);
    form_->StartupTime = QDateTime(QDate(2026, 12, 5), QTime(13, 10, 12));
    form_->VideoDirEdit->SetText(videos_);
    form_->ImageDirEdit->SetText(images_);
    form_->VideoCounter = 0;
    form_->ImageCounter = 0;
  }
  QString videos_;
  QString images_;
};

TEST_F(NamesTest, VideoNamesWithTheStartupStampAndConsecutiveNumbers) {
  EXPECT_EQ(form_->BuildVideoFileName(), videos_ + QStringLiteral("/Video_051226_131012_0.avi"));
  EXPECT_EQ(form_->BuildVideoFileName(), videos_ + QStringLiteral("/Video_051226_131012_1.avi"));
  EXPECT_EQ(form_->VideoCounter, 2);
  EXPECT_EQ(form_->LabelVideo->text(), QStringLiteral("Video_051226_131012_1.avi"));
  form_->VideoFileName = videos_ + QStringLiteral("/Video_051226_131012_1.avi");
  form_->VideoDate->click();
  EXPECT_EQ(form_->VideoFileName, videos_ + QStringLiteral("/Video_1.avi"))
      << "the date box re-forms the shown name with its number";
  form_->VideoDate->click();
  EXPECT_EQ(form_->VideoFileName, videos_ + QStringLiteral("/Video_051226_131012_1.avi"));
  EXPECT_EQ(form_->VideoCounter, 2);
}

TEST_F(NamesTest, FolderAndRootJoinWithOneSlash) {
  form_->VideoDate->setChecked(false);
  const struct {
    QString folder;
    const char* root;
    QString name;
  } kCases[] = {
      {videos_ + QStringLiteral("/"), "Video", videos_ + QStringLiteral("/Video_0.avi")},
      {QString(), "Video", QStringLiteral("/Video_0.avi")},  // no folder: at the root
      {videos_, "", videos_ + QStringLiteral("/_0.avi")},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name.toStdString());
    form_->VideoDirEdit->SetText(c.folder);
    form_->VideoRacineEdit->setText(QString::fromLatin1(c.root));
    form_->VideoCounter = 0;
    EXPECT_EQ(form_->BuildVideoFileName(), c.name);
    EXPECT_EQ(form_->LabelVideo->text(), QFileInfo(c.name).fileName());
  }
  EXPECT_EQ(form_->BuildImageFileName(), images_ + QStringLiteral("Image_0000.bmp"));
}

TEST_F(NamesTest, RootAndFolderChangesKeepTheNumber) {
  form_->VideoDate->setChecked(false);
  form_->VideoCounter = 4;
  form_->VideoFileName = form_->BuildVideoFileName();
  form_->VideoRacineEdit->setText(QStringLiteral("Mariage"));
  emit form_->VideoRacineEdit->editingFinished();
  EXPECT_EQ(form_->VideoFileName, videos_ + QStringLiteral("/Mariage_4.avi"));
  const QString other = dir_.path() + QStringLiteral("/ailleurs");
  form_->VideoDirEdit->SetFolderDialog([&](QWidget*, const QString&) { return other; });
  ASSERT_TRUE(form_->VideoDirEdit->Browse());
  EXPECT_EQ(form_->VideoFileName, other + QStringLiteral("/Mariage_4.avi"));
  EXPECT_EQ(form_->VideoCounter, 5);

  form_->ImageFileName = form_->BuildImageFileName();
  form_->ImageRacineEdit->setText(QStringLiteral("Photo"));
  emit form_->ImageRacineEdit->editingFinished();
  EXPECT_EQ(form_->ImageFileName, images_ + QStringLiteral("Photo_0000.bmp"));
  form_->ImageDate->setChecked(true);
  EXPECT_EQ(form_->ImageFileName, images_ + QStringLiteral("Photo_051226_131012_0000.bmp"));
  EXPECT_EQ(form_->ImageCounter, 1);
}

TEST_F(NamesTest, JpegShowsTheQualityGroupAndChangesOnlyTheExtension) {
  form_->ImageCounter = 3;
  form_->ImageFileName = form_->BuildImageFileName();
  EXPECT_EQ(form_->ImageFileName, images_ + QStringLiteral("Image_0003.bmp"));
  EXPECT_FALSE(form_->gbQuality->isVisibleTo(form_.get()));
  form_->rgExtension->SetItemIndex(1);
  EXPECT_EQ(form_->ImageFileName, images_ + QStringLiteral("Image_0003.jpg"));
  EXPECT_TRUE(form_->gbQuality->isVisibleTo(form_->gbQuality->parentWidget()));
  EXPECT_FALSE(form_->gbQuality->isHidden());
  EXPECT_EQ(form_->LabelImage->text(), QStringLiteral("Image_0003.jpg"));
  EXPECT_EQ(form_->destlab->text(), form_->ImageFileName);
  form_->rgExtension->SetItemIndex(0);
  EXPECT_TRUE(form_->gbQuality->isHidden());
  EXPECT_EQ(form_->ImageFileName, images_ + QStringLiteral("Image_0003.bmp"));
  EXPECT_EQ(form_->ImageCounter, 4);
}

TEST_F(NamesTest, AnExistingFileIsSkippedAndItsNumberUsedUp) {
  form_->VideoDate->setChecked(false);
  form_->VideoCounter = 0;
  WriteFile(videos_ + QStringLiteral("/Video_0.avi"), "earlier recording");
  WriteFile(videos_ + QStringLiteral("/Video_1.avi"), "earlier recording");
  EXPECT_EQ(form_->BuildVideoFileName(), videos_ + QStringLiteral("/Video_2.avi"));
  EXPECT_EQ(form_->VideoCounter, 3);
  WriteFile(images_ + QStringLiteral("Image_0000.bmp"));
  EXPECT_EQ(form_->BuildImageFileName(), images_ + QStringLiteral("Image_0001.bmp"));
  EXPECT_EQ(form_->ImageCounter, 2);
  // Image numbers have at least four digits.
  form_->ImageCounter = 9999;
  EXPECT_EQ(form_->BuildImageFileName(), images_ + QStringLiteral("Image_9999.bmp"));
  EXPECT_EQ(form_->BuildImageFileName(), images_ + QStringLiteral("Image_10000.bmp"));
  // A refresh does not give the name of a file written meanwhile.
  form_->VideoFileName = form_->BuildVideoFileName();
  WriteFile(form_->VideoFileName, "the recording into the shown name");
  form_->VideoRacineEditExit();
  EXPECT_EQ(form_->VideoFileName, videos_ + QStringLiteral("/Video_4.avi"));
}

}  // namespace
}  // namespace vidorra
