// The window's first show: the helper filter checks, the DirectX version, the source lists, the
// preview, the report in the error panel and the first page.
#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>

#include "UrlLabel.h"
#include "WindowTestSupport.h"

namespace vidorra {
namespace {

class FirstShowTest : public test::WindowTest {
 protected:
  void Show(const QByteArray& machine) {
    Make(machine);
    form_->PageControl1->setCurrentIndex(2);
    form_->show();
  }
};

TEST_F(FirstShowTest, ACamcorderIsPreviewedAtOnceWithTheDeinterlacerOffered) {
  Show("video dv Caméscope DV\naudio tone Micro\n");
  EXPECT_EQ(form_->PageControl1->currentWidget(), form_->TabSheet1);
  EXPECT_TRUE(form_->cbDeinterlacer->isVisibleTo(form_->TabSheet4));
  EXPECT_TRUE(dmCam->DeinterlacerInstalled);
  EXPECT_FALSE(dmCam->UseDeinterlacer) << "the box is unchecked";
  EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
  EXPECT_TRUE(PictureMoves()) << "the picture moves in the video window";
  EXPECT_EQ(ErrorShown(), QString()) << "nothing is missing";
}

TEST_F(FirstShowTest, WithoutAPictureTheBoxesSaySoAndNothingIsReported) {
  for (const char* machine : {"", "video nopins Sans sortie\n"}) {
    SCOPED_TRACE(machine);
    Show(machine);
    EXPECT_EQ(form_->cboxVideo->currentText(), QStringLiteral("Connexion impossible"));
    EXPECT_EQ(form_->cboxAudio->currentText(), QStringLiteral("Pas de source Audio"));
    EXPECT_EQ(dmCam->HasVideoSources, *machine != '\0');
    EXPECT_FALSE(dmCam->HasAudioSources);
    EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
    EXPECT_FALSE(form_->StartPreview());
    EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
    EXPECT_EQ(ErrorShown(), QString());
    EXPECT_EQ(form_->PageControl1->currentWidget(), form_->TabSheet1);
  }
}

TEST_F(FirstShowTest, MissingFiltersAndAnOldVersionAreReportedInOrder) {
  Show(
      "video dv Caméscope DV\n"
      "hide-filter Pinnacle Video Deinterlacer\nhide-filter DV Splitter\n"
      "hide-filter Smart Tee\n"
      "registry HKLM\\Software\\Microsoft\\DirectX|Version|4.08.01.0810\n");
  EXPECT_FALSE(form_->cbDeinterlacer->isVisibleTo(form_->TabSheet4));
  EXPECT_FALSE(dmCam->DeinterlacerInstalled);
  EXPECT_EQ(form_->ErreurFrame1->UrlLabel2->MailBody(),
            QString::fromUtf8("Le Filtre Smart Tee n'est pas installé.\r\n"
                              "Le filtre DV Splitter n'est pas installé.\r\n"
                              "Vous devriez mettre à jour votre version de DirectX.\r\n"
                              "\r\nVous avez directX version 8.1 "));
  EXPECT_TRUE(
      ErrorShown().contains(QString::fromUtf8("Le filtre DV Splitter n'est pas installé.")));
}

}  // namespace
}  // namespace vidorra
