// Digitising a DV tape from the page "Cassette", on the `dvfile` camcorder whose tape holds
// three outings, two filmed on different days and one undated: the timecode and date under the
// picture, the tape captured from its start to its end and stopped there, every frame recorded
// once, the files named by date without replacing a file; and the page of a camcorder that does
// not answer the tape's commands.
#include <vidorra_dv.h>

#include "AppTestSupport.h"

namespace vidorra {
namespace {

struct Scene {
  uint32_t frames;
  const char* filmed;  // creation time, as ffmpeg takes it; null: neither date nor timecode
  const char* timecode;
};
// 4, 3 and 5 s of PAL, each outing on another day (the last by a camcorder whose clock was not
// set), its frames numbered on from the last.
constexpr Scene kOutings[] = {
    {100, "2019-06-01T09:00:00Z", "00:00:00:00"},
    {75, "2020-12-24T18:30:00Z", "00:00:04:00"},
    {125, nullptr, nullptr},
};

class TapeCaptureTest : public test::WindowTest {
 protected:
  QTabWidget* Pages() { return form_->PageControl1; }
  bool TapePageShown() { return Pages()->isTabVisible(Pages()->indexOf(form_->TabSheet5)); }
  long TapeMode() {
    long mode = 0;
    return dmCam->TapeTransport && dmCam->TapeTransport->get_Mode(&mode) == S_OK ? mode : -1;
  }
};

// Captured twice: a file per outing named by its date, then one file; each time from the tape's
// start to its end (an end programmed later), the tape then stopped and the window back in
// preview.
TEST_F(TapeCaptureTest,
       TheTapeIsCapturedFromItsStartToItsEndAndThePageOfACamcorderThatDoesNotAnswerFits) {
  // The tape: each outing's numbered frames (picture and sound of the simulated camcorder)
  // given its date and timecode by ffmpeg, as a camcorder writes them, one after the other.
  const QString tape = dir_.path() + QStringLiteral("/Vacances.dv");
  const std::string raw = (dir_.path() + QStringLiteral("/raw.dv")).toStdString();
  const std::string dated = (dir_.path() + QStringLiteral("/dated.dv")).toStdString();
  uint32_t number = 0;
  QFile out(tape);
  EXPECT_TRUE(out.open(QIODevice::WriteOnly));
  for (const Scene& scene : kOutings) {
    const std::vector<uint8_t> frames =
        test::CamcorderFrames(dv::DvSystem::k625_50, number, scene.frames);
    number += scene.frames;
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(frames.data()),
               static_cast<std::streamsize>(frames.size()));
    if (scene.filmed != nullptr) {
      test::RunCommand("ffmpeg -v fatal -f dv -i " + raw + " -c copy -timecode " + scene.timecode +
                       " -metadata creation_time=" + scene.filmed + " -f dv -y " + dated);
    }
    QFile part(QString::fromStdString(scene.filmed ? dated : raw));
    EXPECT_TRUE(part.open(QIODevice::ReadOnly));
    EXPECT_EQ(part.size(), qint64{scene.frames} * dv::kPalFacts.frameBytes) << scene.frames;
    out.write(part.readAll());
  }
  out.close();
  Start("video dvfile " + tape.toUtf8() + "\n");
  ASSERT_TRUE(InState(stPreview));
  ASSERT_TRUE(TapePageShown());
  Pages()->setCurrentWidget(form_->TabSheet5);
  EXPECT_TRUE(form_->CassetteBtn->isEnabled());
  EXPECT_TRUE(form_->labCommandes->text().isEmpty());
  // The camcorder plays: the first outing's timecode and date under its picture.
  const QRegularExpression firstOuting(QStringLiteral("^00:00:0[0-3]:[0-2][0-9]   01/06/2019 09:00:0[0-3]$"));
  EXPECT_TRUE(test::WaitUntil([&] { return firstOuting.match(form_->labTimecode->text()).hasMatch(); }))
      << form_->labTimecode->text().toStdString();

  const QString folder = QFileInfo(form_->VideoFileName).path();
  const struct {
    bool byScene;
    std::vector<std::pair<QString, uint32_t>> files;  // name (empty: a usual one), frames
  } kCaptures[] = {
      {true,
       {{QStringLiteral("Video_2019-06-01_09-00-00.avi"), 100},
        {QStringLiteral("Video_2020-12-24_18-30-00_2.avi"), 75},
        {QString(), 125}}},
      {false, {{QString(), 300}}},
  };
  WriteFile(folder + QStringLiteral("/Video_2020-12-24_18-30-00.avi"), "not to be replaced");
  for (const auto& capture : kCaptures) {
    SCOPED_TRACE(capture.byScene ? "a file per outing, named by date" : "one file");
    const QStringList before = Recordings();
    const QString usual = QFileInfo(form_->VideoFileName).fileName();
    const QRegularExpression usualSeries(
        QStringLiteral("^%1[0-9]+\\.avi$")
            .arg(QRegularExpression::escape(usual.left(usual.lastIndexOf(u'_') + 1))));
    if (form_->cbUnFichierParScene->isChecked() != capture.byScene) Click(form_->cbUnFichierParScene);
    if (form_->cbNommerParDate->isChecked() != capture.byScene) Click(form_->cbNommerParDate);
    Click(form_->CassetteBtn);
    EXPECT_FALSE(form_->CassetteBtn->isEnabled()) << "rewinding";
    ASSERT_TRUE(InState(stRecording));
    // An end put on the recording, 30 min on from the page "Programmer": the tape's end comes
    // first and stops it all the same.
    Pages()->setCurrentWidget(form_->TabSheet2);
    Click(form_->ProgBtn);
    ASSERT_TRUE(InState(stRecordingTimed));
    Pages()->setCurrentWidget(form_->TabSheet5);
    EXPECT_FALSE(form_->LectureBtn->isEnabled() || form_->cbUnFichierParScene->isEnabled());
    EXPECT_TRUE(form_->StopBandeBtn->isEnabled());
    ASSERT_TRUE(test::WaitUntil([&] { return form_->CaptureState == stPreview; }, std::chrono::seconds(40)));
    EXPECT_EQ(TapeMode(), ED_MODE_STOP) << "stopped at its end";

    QStringList made = Recordings();
    for (const QString& old : before) made.removeOne(old);
    ASSERT_EQ(made.size(), static_cast<qsizetype>(capture.files.size())) << made.join(u' ').toStdString();
    uint32_t next = 0;  // the frames numbered on across the files
    for (const auto& [name, frames] : capture.files) {
      const auto found = std::find_if(made.begin(), made.end(), [&](const QString& f) {
        return name.isEmpty() ? usualSeries.match(f).hasMatch() : f == name;
      });
      ASSERT_NE(found, made.end()) << name.toStdString() << " in " << made.join(u' ').toStdString();
      const std::string file = (folder + u'/' + *found).toStdString();
      const std::vector<uint32_t> numbers = test::NumberedFrames(file, 720, 576);
      ASSERT_EQ(numbers.size(), frames) << file;
      EXPECT_EQ(numbers.front(), next) << file;
      next = numbers.back() + 1;
      // Every frame's sound and no more, though frames reach the program late on a busy machine.
      EXPECT_EQ(test::RecordedSoundSamples(file, 2), long{frames} * 1920) << file;
    }
  }
  // From here, at the tape's end: nothing more was filmed, the capture ends at once (its file,
  // as any recording stopped before its first frame, holds none).
  const QString file = form_->VideoFileName;
  Click(form_->IciBtn);
  ASSERT_TRUE(test::WaitUntil([&] { return form_->CaptureState == stPreview; }, std::chrono::seconds(10)));
  EXPECT_EQ(TapeMode(), ED_MODE_STOP);
  EXPECT_EQ(test::ProbedFrames(file.toStdString()), 0);
  // Each button of the transport gives its command, none reported as failed: a rewind to the
  // start (where it stops), play, pause, wind on, stop.
  std::vector<long> modes;
  for (QPushButton* button : {form_->RembobinerBtn, form_->LectureBtn, form_->PauseBtn,
                              form_->AvanceBtn, form_->StopBandeBtn}) {
    Click(button);
    modes.push_back(TapeMode());
    ASSERT_TRUE(test::WaitUntil([&] { return TapeMode() != ED_MODE_REW; }));
  }
  EXPECT_EQ(modes, (std::vector<long>{ED_MODE_REW, ED_MODE_PLAY, ED_MODE_FREEZE, ED_MODE_FF,
                                      ED_MODE_STOP}));
  EXPECT_FALSE(form_->ErreurFrame1->isVisible());

  // A camcorder reached other than by its tape's link (the simulated one) has the page, its
  // frames' (absent) timecode under the picture, and its commands disabled with the reason (in
  // the recording controls' snapshots of the window, tests/snapshots/state-*.txt).
  Start("video dv Caméscope DV\n");
  ASSERT_TRUE(InState(stPreview));
  ASSERT_TRUE(TapePageShown());
  // The fifth tab and the buttons' captions beside their glyphs fit, in the window's fonts (the
  // page's other texts, places and fonts: the state snapshots).
  QTabBar* tabs = Pages()->tabBar();
  EXPECT_LT(tabs->tabRect(Pages()->indexOf(form_->TabSheet5)).right(), Pages()->width());
  for (const QPushButton* button : form_->TabSheet5->findChildren<QPushButton*>()) {
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + icon + 8, button->width())
        << button->objectName().toStdString();
  }
  EXPECT_TRUE(test::WaitUntil([&] {
    return form_->labTimecode->text() == QStringLiteral("--:--:--:--   --/--/---- --:--:--");
  })) << form_->labTimecode->text().toStdString();
}

}  // namespace
}  // namespace vidorra
