// The window's first show: the deinterlacer and helper filter checks, the DirectX version, the
// source lists, the preview, the report in the error panel and the first page.
#include <VideoRenderer.h>
#include <wait_until.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <memory>

#include "AppTestEnvironment.h"
#include "MediaGraph.h"
#include "UrlLabel.h"
#include "WindowTestSupport.h"
#include "graph.h"
#include "mainFlux.h"
#include "sim/TestPattern.h"

namespace vidorra {
namespace {

class FirstShowTest : public test::AppTest {
 protected:
  void Show(const QByteArray& machine) {
    Simulate(machine);
    form_ = std::make_unique<TCaptureForm>();
    module_ = std::make_unique<TdmCam>();
    form_->PageControl1->setCurrentIndex(2);
    form_->show();
  }
  void TearDown() override {
    module_.reset();
    form_.reset();
    AppTest::TearDown();
  }

  bool ReportShown() const { return form_->ErreurFrame1->isVisible(); }
  QString Report() const { return form_->ErreurFrame1->UrlLabel2->MailBody(); }

  std::unique_ptr<TCaptureForm> form_;
  std::unique_ptr<TdmCam> module_;
};

TEST_F(FirstShowTest, ACamcorderIsPreviewedAtOnceWithTheDeinterlacerOffered) {
  Show("video dv Caméscope DV\naudio tone Micro\n");
  EXPECT_EQ(form_->PageControl1->currentWidget(), form_->TabSheet1);
  EXPECT_TRUE(form_->cbDeinterlacer->isVisibleTo(form_->TabSheet4));
  EXPECT_TRUE(dmCam->DeinterlacerInstalled);
  EXPECT_FALSE(dmCam->UseDeinterlacer) << "the box is unchecked";
  EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
  EXPECT_TRUE(test::PictureMoves(*form_)) << "the picture moves in the video window";
  EXPECT_FALSE(ReportShown()) << "nothing is missing";
}

TEST_F(FirstShowTest, WithoutDevicesTheBoxesSaySoAndNothingIsReported) {
  Show("");
  EXPECT_EQ(form_->cboxVideo->currentText(), QStringLiteral("Connexion impossible"));
  EXPECT_EQ(form_->cboxAudio->currentText(), QStringLiteral("Pas de source Audio"));
  EXPECT_FALSE(dmCam->HasVideoSources);
  EXPECT_FALSE(dmCam->HasAudioSources);
  EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
  EXPECT_FALSE(ReportShown());
  EXPECT_EQ(form_->PageControl1->currentWidget(), form_->TabSheet1);
}

TEST_F(FirstShowTest, MissingFiltersAndAnOldVersionAreReportedInOrder) {
  Show(
      "video dv Caméscope DV\n"
      "hide-filter Pinnacle Video Deinterlacer\nhide-filter DV Splitter\n"
      "hide-filter Smart Tee\n"
      "registry HKLM\\Software\\Microsoft\\DirectX|Version|4.08.01.0810\n");
  EXPECT_FALSE(form_->cbDeinterlacer->isVisibleTo(form_->TabSheet4));
  EXPECT_FALSE(dmCam->DeinterlacerInstalled);
  ASSERT_TRUE(ReportShown());
  EXPECT_EQ(Report(), QString::fromUtf8("Le Filtre Smart Tee n'est pas installé.\r\n"
                                        "Le filtre DV Splitter n'est pas installé.\r\n"
                                        "Vous devriez mettre à jour votre version de DirectX.\r\n"
                                        "\r\nVous avez directX version 8.1 "));
  EXPECT_TRUE(form_->ErreurFrame1->Memo1->toPlainText().contains(
      QString::fromUtf8("Le filtre DV Splitter n'est pas installé.")));
}

}  // namespace
}  // namespace vidorra
