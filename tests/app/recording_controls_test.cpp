// The recording controls clicked as a user would: the states, Capture / Couper / Stop giving
// whole files, volume and listening, full screen, unplugging, and the disk filling up.
#include <child_process.h>
#include <sys/resource.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <csignal>
#include <vector>

#include "AlarmClock.h"
#include "AppTestSupport.h"
#include "DiskSpaceWatch.h"
#include "FolderPicker.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"

namespace vidorra {
namespace {

constexpr const char* kCamcorder = "video dv Caméscope DV\n";
constexpr const char* kMicro = "audio tone Micro\n";
class RecordingControlsTest : public test::WindowTest {};

TEST_F(RecordingControlsTest, EachStateHasItsBorderAndItsControls) {
  Start(QByteArray(kCamcorder) + kMicro);
  TCaptureForm& f = *form_;
  // Columns: no source, preview, programmed, recording, recording with a programmed end.
  // '1' enabled, '0' disabled, '-' left as it was; the controls and pop-up items by name.
  const struct {
    const char* expected;
    std::vector<const char*> names;
  } kRows[] = {
      {"01111", {"RxSwitch1", "grabBtn", "PleinEcranBtn"}},
      {"11100",
       {"cbDeinterlacer", "cboxVideo", "cboxAudio", "ActualiserVideoBtn",
        "cbEnregistrerAudioSource", "gbAudio", "rgFormat", "rgStandard"}},
      {"01100", {"CaptureBtn", "Capture1"}},
      {"00011", {"CouperBtn", "StopBtn", "Couper1", "Stop1"}},
      {"01010", {"ProgBtn"}},
      {"00101", {"ProgStopBtn"}},
      {"-1-00", {"cbEnregistrerAudioDV"}},
  };
  const auto enabled = [&](const char* name) {
    QObject* control = f.findChild<QObject*>(QString::fromLatin1(name));
    if (auto* action = qobject_cast<QAction*>(control)) return action->isEnabled();
    auto* widget = qobject_cast<QWidget*>(control);
    EXPECT_NE(widget, nullptr) << name;
    return widget != nullptr && widget->isEnabled();
  };
  const struct {
    void (TCaptureForm::*enter)();
    std::uint8_t state;
    QColor border;
  } kStates[] = {
      {&TCaptureForm::SetNoSourceState, stNoSource, QColor(128, 128, 128)},
      {&TCaptureForm::SetPreviewState, stPreview, f.palette().color(QPalette::Button)},
      {&TCaptureForm::SetProgrammedState, stProgrammed, QColor(255, 255, 0)},
      {&TCaptureForm::SetRecordingState, stRecording, QColor(255, 0, 0)},
      {&TCaptureForm::SetRecordingTimedState, stRecordingTimed, QColor(255, 0, 255)},
  };
  for (int column = 0; column < 5; ++column) {
    // From the opposite state, so that every control must change to pass.
    const auto enter = [&](int state) { std::invoke(kStates[state].enter, f); };
    enter(column < 3 ? 3 : 0);
    f.RxClock2->SetAlarmAction([] {});  // as the programmed recording gives it
    enter(column);
    SCOPED_TRACE(column);
    EXPECT_EQ(f.CaptureState, kStates[column].state);
    EXPECT_EQ(f.Panel1->palette().color(f.Panel1->backgroundRole()), kStates[column].border);
    for (const auto& row : kRows) {
      for (const char* name : row.names) {
        if (row.expected[column] != '-') {
          EXPECT_EQ(enabled(name), row.expected[column] == '1') << name;
        }
      }
    }
    EXPECT_EQ(f.RxClock2->AlarmEnabled(), column == 2 || column == 4) << "the clock's alarm";
    EXPECT_EQ(f.RxClock2->HasAlarmAction(), f.RxClock2->AlarmEnabled()) << "off: no action";
  }
  // The preview of a source that is not DV takes the DV sound away.
  dmCam->IsDVSource = false;
  f.SetPreviewState();
  EXPECT_FALSE(f.cbEnregistrerAudioDV->isEnabled());
  EXPECT_FALSE(f.cbEnregistrerAudioDV->isChecked());
  EXPECT_FALSE(f.cbEcouterAudioDV->isEnabled());
}

TEST_F(RecordingControlsTest, CaptureTwoCutsAndStopGiveThreeWholeFilesInSequence) {
  Start(QByteArray(kCamcorder) + kMicro);
  ASSERT_EQ(form_->CaptureState, stPreview);
  EXPECT_TRUE(PictureMoves());
  // The DV sound is listened to while recording: a sound server that starts late (the test
  // run's has a null sink) must cost sound at most, never frames of the recording.
  EXPECT_TRUE(form_->cbEcouterAudioDV->isChecked());

  // LabelVideo names the next file, then the one being written.
  const auto labelShows = [&](const QString& file) {
    return form_->LabelVideo->text() == QFileInfo(file).fileName();
  };
  const QString first = form_->VideoFileName;
  EXPECT_TRUE(labelShows(first));
  ASSERT_EQ(Capture(), first);
  EXPECT_TRUE(labelShows(first));

  // Two cuts in a row: two new files with consecutive numbers.
  QStringList files{first};
  for (int cut = 1; cut <= 2; ++cut) {
    Click(form_->CouperBtn);
    files << form_->VideoFileName;
    EXPECT_TRUE(files[cut].endsWith(QStringLiteral("_%1.avi").arg(cut)))
        << files[cut].toStdString();
    EXPECT_TRUE(labelShows(files[cut]));
    EXPECT_EQ(form_->CaptureState, stRecording);
    ASSERT_TRUE(Written(files[cut]));
  }

  Click(form_->StopBtn);
  EXPECT_EQ(form_->CaptureState, stPreview);
  EXPECT_TRUE(form_->VideoFileName.endsWith(QStringLiteral("_3.avi")));
  EXPECT_TRUE(labelShows(form_->VideoFileName));
  EXPECT_FALSE(QFileInfo::exists(form_->VideoFileName));
  EXPECT_TRUE(PictureMoves());
  for (const QString& file : files) test::ExpectWholeRecording(file);
}

// A recording that cannot start (its folder cannot be made) leaves the preview and says so; a
// cut whose next file cannot be opened ends the recording, its file whole.
TEST_F(RecordingControlsTest, AFailedStartOrCutLeavesThePreviewAndSaysSo) {
  Start(QByteArray(kCamcorder));
  WriteFile(dir_.path() + QStringLiteral("/plain"));
  const QString first = form_->VideoFileName;
  form_->VideoFileName = dir_.path() + QStringLiteral("/plain/x.avi");
  Click(form_->CaptureBtn);
  EXPECT_EQ(form_->CaptureState, stPreview);
  PanelSays(QStringLiteral("x.avi"));
  EXPECT_TRUE(PictureMoves());
  form_->VideoFileName = first;
  Capture();
  form_->VideoDirEdit->SetText(dir_.path() + QStringLiteral("/plain"));
  Click(form_->CouperBtn);
  EXPECT_EQ(form_->CaptureState, stPreview);
  PanelSays(QFileInfo(first).fileName());
  EXPECT_TRUE(PictureMoves());
  test::ExpectWholeRecording(first);
}

// The slider and "Mute" set the listening volume (-10000 silence to 0 full) of the running
// graph, and a rebuilt preview keeps it; "Plein Ecran" only switches full screen on, the
// pop-up's item switches it both ways.
TEST_F(RecordingControlsTest, VolumeMuteAndFullScreen) {
  Start(QByteArray(kCamcorder) + kMicro);
  ASSERT_EQ(form_->CaptureState, stPreview);
  EXPECT_EQ(test::GraphVolume(), 0) << "the track bar's full volume";
  EXPECT_EQ(test::FiltersNamed(QStringLiteral("Default DirectSound Device")), 1);
  form_->tb->setValue(5000);
  EXPECT_EQ(test::GraphVolume(), -5000);
  Click(form_->cbMute);
  form_->tb->setValue(8000);
  EXPECT_EQ(test::GraphVolume(), -10000) << "muted whatever the slider says";
  ASSERT_TRUE(form_->StartPreview()) << "a running preview is stopped and built again";
  EXPECT_EQ(test::GraphVolume(), -10000);
  EXPECT_TRUE(PictureMoves());
  Click(form_->cbMute);
  EXPECT_EQ(test::GraphVolume(), -2000);

  Click(form_->PleinEcranBtn);
  Click(form_->PleinEcranBtn);
  EXPECT_TRUE(form_->vwEcran->FullScreen());
  form_->PLeinEcran1->trigger();
  EXPECT_FALSE(form_->vwEcran->FullScreen());
  form_->PLeinEcran1->trigger();
  EXPECT_TRUE(form_->vwEcran->FullScreen());
  form_->PLeinEcran1->trigger();
}

// A camcorder plugged in while there is no source is found by the refresh button; unplugged
// (during the preview, then a recording whose file stays whole), it leaves the window without a
// source, and plugged back it brings the preview again.
TEST_F(RecordingControlsTest, UnpluggingAndPluggingTheCamcorder) {
  Start(kMicro);
  ASSERT_EQ(form_->CaptureState, stNoSource);
  Replug(QByteArray(kCamcorder) + kMicro);
  ASSERT_TRUE(test::WaitUntil([&] {
    Click(form_->ActualiserVideoBtn);
    return form_->CaptureState == stPreview;
  }));
  EXPECT_TRUE(form_->cbEnregistrerAudioDV->isChecked());
  EXPECT_TRUE(form_->cbEcouterAudioDV->isChecked());
  for (const bool recording : {false, true}) {
    SCOPED_TRACE(recording ? "recording" : "preview");
    ASSERT_EQ(form_->CaptureState, stPreview);
    EXPECT_TRUE(PictureMoves());
    const QString file = form_->VideoFileName;
    if (recording) Capture();
    Replug(kMicro);
    ASSERT_TRUE(InState(stNoSource));
    EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
    EXPECT_EQ(form_->VideoFileName != file, recording) << "the next recording gets a new name";
    if (recording) test::ExpectWholeRecording(file);
    Replug(QByteArray(kCamcorder) + kMicro);
    ASSERT_TRUE(InState(stPreview));
  }
  EXPECT_TRUE(PictureMoves());
}

TEST_F(RecordingControlsTest, TheRoomLeftOnTheDiskIsCheckedAtTheStartAndWatchedWhileRecording) {
  Start(QByteArray(kCamcorder));
  ASSERT_EQ(form_->CaptureState, stPreview);
  qint64 freeBytes = 150 * DiskSpaceWatch::kMiB;
  form_->DiskSpace->SetProbe([&](const QString&) { return std::optional<qint64>(freeBytes); });
  const QString file = form_->VideoFileName;

  Click(form_->CaptureBtn);
  EXPECT_EQ(form_->CaptureState, stPreview);
  PanelSays(QStringLiteral("il ne reste que 150 Mo libres"));
  form_->SetProgrammedState();
  form_->lancerEnregistrement();
  EXPECT_EQ(form_->CaptureState, stProgrammed) << "the programme waits for its end";
  PanelSays(QStringLiteral("150 Mo"));
  EXPECT_FALSE(QFileInfo::exists(file));
  form_->SetPreviewState();

  freeBytes = 300 * DiskSpaceWatch::kMiB;
  Capture();
  freeBytes = 40 * DiskSpaceWatch::kMiB;
  ASSERT_TRUE(InState(stPreview));
  PanelSays(QStringLiteral("il ne reste que 40 Mo libres"));
  EXPECT_NE(form_->VideoFileName, file) << "stopped as Stop does: the next name is formed";
  EXPECT_TRUE(PictureMoves());
  test::ExpectWholeRecording(file);
}

// Child: the window on the camcorder records under a file-size limit (a full disk) until the
// graph gives up; reports the file, then the state, the panel's text and the reports.
const test::ChildRoutineRegistration kRecordUntilFull(
    "window-records-until-full", [](const std::vector<std::string>& args) -> int {
      if (args.size() != 2) return 2;
      test::FakeScreenSaverService::UsePrivateBus();  // before the limit: the bus daemon is forked
      const QString home = QString::fromStdString(args[0]);
      setenv("HOME", home.toUtf8().constData(), 1);
      setenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8().constData(), 1);
      setenv("VIDORRA_SIMULATION", args[1].c_str(), 1);
      win::SimulatedMachine::ReloadCurrentForTesting();
      QStringList reports;
      SetErrorReporter([&](const QString& m) { reports << m; });
      int status = 0;
      {
        TCaptureForm form;
        TdmCam module;
        form.show();
        if (form.CaptureState != stPreview) return 3;
        ::signal(SIGXFSZ, SIG_IGN);
        constexpr rlim_t kLimit = rlim_t{3} << 20;
        const rlimit limited{kLimit, kLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limited) != 0) return 4;
        test::ReportToParent(form.VideoFileName.toStdString());
        QTest::mouseClick(form.CaptureBtn, Qt::LeftButton);
        if (form.CaptureState != stRecording) return 5;
        if (!test::WaitUntil([&] { return form.CaptureState != stRecording; })) status = 6;
        test::ReportToParent(std::to_string(form.CaptureState));
        const QString text = form.ErreurFrame1->isVisible()
                                 ? form.ErreurFrame1->Memo1->toPlainText()
                                 : QStringLiteral("(no panel)");
        test::ReportToParent(text.simplified().toStdString());
        dmCam->fg->StopGraph();
      }
      test::ReportToParent(reports.join(QStringLiteral(" | ")).toStdString());
      return status;
    });

TEST_F(RecordingControlsTest, AWriteErrorEndsTheRecordingWithEveryFrameWritten) {
  Simulate(kCamcorder);
  test::ChildProcess child("window-records-until-full",
                           {home_.toStdString(), qgetenv("VIDORRA_SIMULATION").toStdString()});
  const std::optional<std::string> file = child.NextReport();
  const std::optional<std::string> state = child.NextReport();
  const std::optional<std::string> panel = child.NextReport();
  const std::optional<std::string> reports = child.NextReport();
  EXPECT_EQ(child.Wait(), 0);
  ASSERT_TRUE(file && state && panel && reports);
  EXPECT_EQ(*state, std::to_string(stPreview));
  EXPECT_NE(panel->find("est arrêté sur une erreur : The file size exceeds the limit"),
            std::string::npos)
      << *panel;
  EXPECT_EQ(*reports, "");
  const QString path = QString::fromStdString(*file);
  EXPECT_LE(QFileInfo(path).size(), qint64{3} << 20);
  test::ExpectWholeRecording(path);
}

}  // namespace
}  // namespace vidorra
