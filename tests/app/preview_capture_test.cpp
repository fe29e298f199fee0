// The window's graph operations on the simulated machine, driven through its controls:
// StartPreview shows the moving picture in vwEcran with the chosen volume and listening, or
// says "Connexion impossible"; the video window makes a new renderer whenever its mode is
// written. (What StartCapture records for each format is checked through the format choice, in
// choices_test.)
#include <VideoRenderer.h>
#include <wait_until.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include "AppTestEnvironment.h"
#include "MediaGraph.h"
#include "WindowTestSupport.h"
#include "graph.h"
#include "mainFlux.h"
#include "sim/TestPattern.h"

namespace vidorra {
namespace {

class PreviewCaptureTest : public test::WindowTest {
 protected:
  bool PictureMoves() { return test::PictureMoves(*form_); }
  long Volume() { return test::GraphVolume(); }
};

TEST_F(PreviewCaptureTest, ThePreviewShowsTheCamcorderWithTheChosenSound) {
  Start("video dv Caméscope DV\naudio tone Micro\n");
  // The listening box is set as its source handlers leave it for a camcorder.
  form_->cbEcouterAudioDV->setChecked(true);
  QTest::mouseClick(form_->cbMute, Qt::LeftButton);
  ASSERT_TRUE(form_->cbMute->isChecked());
  ASSERT_TRUE(form_->StartPreview());
  EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
  EXPECT_TRUE(dmCam->ListenDVAudio);
  EXPECT_EQ(test::FiltersNamed(QStringLiteral("Default DirectSound Device")), 1);
  EXPECT_EQ(Volume(), -10000) << "muted";
  EXPECT_TRUE(PictureMoves());

  QTest::mouseClick(form_->cbMute, Qt::LeftButton);
  ASSERT_TRUE(form_->StartPreview()) << "a running preview is stopped and built again";
  EXPECT_EQ(Volume(), 0) << "the track bar's full volume";
  EXPECT_TRUE(PictureMoves());

  form_->cbEcouterAudioDV->setChecked(false);
  ASSERT_TRUE(form_->StartPreview());
  EXPECT_EQ(test::FiltersNamed(QStringLiteral("Default DirectSound Device")), 0);
  EXPECT_TRUE(PictureMoves());
}

TEST_F(PreviewCaptureTest, ASourceThatCannotBeShownSaysSo) {
  Start("video nopins Sans sortie\n");
  EXPECT_FALSE(form_->StartPreview());
  EXPECT_EQ(form_->cboxVideo->currentText(), QStringLiteral("Connexion impossible"));
  EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
}

TEST_F(PreviewCaptureTest, WritingTheVideoModeMakesANewRenderer) {
  Start("video webcam Webcam\n");
  ASSERT_TRUE(form_->StartPreview());
  // Held, so that the new renderer cannot take the old one's place in memory.
  const ComPtr<IBaseFilter> before = form_->vwEcran->MemberFilter();
  ASSERT_NE(before, nullptr);
  ASSERT_TRUE(dmCam->fg->StopGraph());
  form_->vwEcran->SetMode(form_->vwEcran->Mode());
  EXPECT_NE(form_->vwEcran->MemberFilter(), nullptr);
  EXPECT_NE(form_->vwEcran->MemberFilter(), before.Get());
  ASSERT_TRUE(form_->StartPreview());
  EXPECT_TRUE(PictureMoves());
}

}  // namespace
}  // namespace vidorra
