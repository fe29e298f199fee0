// The recording controls clicked as a user would: the states, Capture / Couper / Stop giving
// whole files, volume and listening, full screen, unplugging, and the disk filling up.
#include <child_process.h>
#include <sys/resource.h>
#include <wait_until.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <csignal>
#include <optional>
#include <vector>

#include "AlarmClock.h"
#include "DiskSpaceWatch.h"
#include "FolderPicker.h"
#include "OnOffSwitch.h"
#include "RadioGroup.h"
#include "WindowTestSupport.h"

namespace vidorra {
namespace {

constexpr const char* kCamcorder = "video dv Caméscope DV\n";
constexpr const char* kMicro = "audio tone Micro\n";
// About ten PAL DV frames.
constexpr qint64 kSomeFrames = 1500000;

class RecordingControlsTest : public test::WindowTest {
 protected:
  // The error panel is shown and its text holds `part`; the panel is closed again.
  bool PanelSays(const QString& part) {
    const bool says = ErrorShown().contains(part);
    CloseError();
    return says;
  }
  bool Written(const QString& path) {
    return test::WaitUntil([&] { return QFileInfo(path).size() > kSomeFrames; });
  }
  long Volume() { return test::GraphVolume(); }
};

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
    EXPECT_EQ(Border(), kStates[column].border);
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
  form_->tb->setValue(5000);
  // The DV sound is listened to while recording: a sound server that starts late (the test
  // run's has a null sink) must cost sound at most, never frames of the recording.
  EXPECT_TRUE(form_->cbEcouterAudioDV->isChecked());

  // LabelVideo names the next file, then the one being written.
  const auto labelShows = [&](const QString& file) {
    return form_->LabelVideo->text() == QFileInfo(file).fileName();
  };
  const QString first = form_->VideoFileName;
  EXPECT_TRUE(labelShows(first));
  Click(form_->CaptureBtn);
  ASSERT_EQ(form_->CaptureState, stRecording);
  EXPECT_TRUE(labelShows(first));
  ASSERT_TRUE(Written(first));

  // Two cuts in a row: two new files with consecutive numbers.
  QStringList files{first};
  for (int cut = 1; cut <= 2; ++cut) {
    Click(form_->CouperBtn);
    files << form_->VideoFileName;
    EXPECT_TRUE(files[cut].endsWith(QStringLiteral("_%1.avi").arg(cut)))
        << files[cut].toStdString();
    EXPECT_TRUE(labelShows(files[cut]));
    EXPECT_EQ(form_->CaptureState, stRecording);
    EXPECT_EQ(Volume(), -5000) << "the volume applied again after the cut";
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

TEST_F(RecordingControlsTest, AFailedStartLeavesThePreviewAndSaysSo) {
  Start(QByteArray(kCamcorder));
  // A file in a folder that cannot be made: the recording cannot start.
  WriteFile(dir_.path() + QStringLiteral("/plain"));
  form_->VideoFileName = dir_.path() + QStringLiteral("/plain/x.avi");
  Click(form_->CaptureBtn);
  EXPECT_EQ(form_->CaptureState, stPreview);
  EXPECT_FALSE(ErrorShown().isEmpty());
  EXPECT_TRUE(PictureMoves());
}

TEST_F(RecordingControlsTest, AFailedCutEndsTheRecordingWithItsFileWhole) {
  Start(QByteArray(kCamcorder));
  const QString first = form_->VideoFileName;
  Click(form_->CaptureBtn);
  ASSERT_EQ(form_->CaptureState, stRecording);
  ASSERT_TRUE(Written(first));
  // The next file's folder cannot be made: the writer cannot open it after the cut.
  WriteFile(dir_.path() + QStringLiteral("/plain"));
  form_->VideoDirEdit->SetText(dir_.path() + QStringLiteral("/plain"));
  Click(form_->CouperBtn);
  EXPECT_EQ(form_->CaptureState, stPreview);
  EXPECT_FALSE(ErrorShown().isEmpty());
  EXPECT_TRUE(PictureMoves());
  test::ExpectWholeRecording(first);
}

TEST_F(RecordingControlsTest, VolumeMuteAndListeningReachTheGraphAndOutliveARebuild) {
  const QString kListener = QStringLiteral("Default DirectSound Device");
  Start(QByteArray(kCamcorder) + kMicro);
  ASSERT_EQ(form_->CaptureState, stPreview);
  EXPECT_EQ(Volume(), 0) << "the track bar's full volume";
  EXPECT_EQ(test::FiltersNamed(kListener), 1);
  form_->tb->setValue(5000);
  EXPECT_EQ(Volume(), -5000);
  Click(form_->cbMute);
  EXPECT_EQ(Volume(), -10000);
  form_->tb->setValue(8000);
  EXPECT_EQ(Volume(), -10000) << "muted whatever the slider says";
  ASSERT_TRUE(form_->StartPreview()) << "a running preview is stopped and built again";
  EXPECT_EQ(dmCam->fg->GraphState(), grsPlaying);
  EXPECT_EQ(Volume(), -10000);
  EXPECT_EQ(test::FiltersNamed(kListener), 1);
  EXPECT_TRUE(PictureMoves());
  Click(form_->cbMute);
  EXPECT_EQ(Volume(), -2000);

  form_->cbEcouterAudioDV->setChecked(false);
  ASSERT_TRUE(form_->StartPreview());
  EXPECT_EQ(test::FiltersNamed(kListener), 0);
  EXPECT_TRUE(PictureMoves());
}

TEST_F(RecordingControlsTest, WritingTheVideoModeMakesANewRenderer) {
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

TEST_F(RecordingControlsTest, FullScreenFromTheButtonAndBackFromThePopUp) {
  Start(QByteArray(kCamcorder));
  Click(form_->PleinEcranBtn);
  EXPECT_TRUE(form_->vwEcran->FullScreen());
  Click(form_->PleinEcranBtn);
  EXPECT_TRUE(form_->vwEcran->FullScreen()) << "the button only switches it on";
  form_->PLeinEcran1->trigger();
  EXPECT_FALSE(form_->vwEcran->FullScreen());
  form_->PLeinEcran1->trigger();
  EXPECT_TRUE(form_->vwEcran->FullScreen());
  form_->PLeinEcran1->trigger();
}

TEST_F(RecordingControlsTest, UnpluggingTheCamcorderLeavesNoSourceAndPluggingBackPreviews) {
  Start(QByteArray(kCamcorder) + kMicro);
  for (const bool recording : {false, true}) {
    SCOPED_TRACE(recording ? "recording" : "preview");
    ASSERT_EQ(form_->CaptureState, stPreview);
    const QString file = form_->VideoFileName;
    if (recording) {
      Click(form_->CaptureBtn);
      ASSERT_EQ(form_->CaptureState, stRecording);
      ASSERT_TRUE(Written(file));
    }
    Replug(kMicro);
    ASSERT_TRUE(InState(stNoSource));
    EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
    if (recording) {
      EXPECT_NE(form_->VideoFileName, file) << "the next recording gets a new name";
      test::ExpectWholeRecording(file);
    } else {
      EXPECT_EQ(form_->VideoFileName, file);
    }
    Replug(QByteArray(kCamcorder) + kMicro);
    ASSERT_TRUE(InState(stPreview));
    EXPECT_TRUE(PictureMoves());
  }
}

TEST_F(RecordingControlsTest, TheRefreshButtonFindsTheCamcorder) {
  Start(kMicro);
  ASSERT_EQ(form_->CaptureState, stNoSource);
  Replug(QByteArray(kCamcorder) + kMicro);
  ASSERT_TRUE(test::WaitUntil([&] {
    Click(form_->ActualiserVideoBtn);
    return form_->CaptureState == stPreview;
  }));
  EXPECT_TRUE(form_->cbEnregistrerAudioDV->isChecked());
  EXPECT_TRUE(form_->cbEcouterAudioDV->isChecked());
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
  EXPECT_TRUE(PanelSays(QStringLiteral("il ne reste que 150 Mo libres")));
  form_->SetProgrammedState();
  form_->lancerEnregistrement();
  EXPECT_EQ(form_->CaptureState, stProgrammed) << "the programme waits for its end";
  EXPECT_TRUE(PanelSays(QStringLiteral("150 Mo")));
  EXPECT_FALSE(QFileInfo::exists(file));
  form_->SetPreviewState();

  freeBytes = 300 * DiskSpaceWatch::kMiB;
  Click(form_->CaptureBtn);
  ASSERT_EQ(form_->CaptureState, stRecording);
  ASSERT_TRUE(Written(file));
  freeBytes = 40 * DiskSpaceWatch::kMiB;
  ASSERT_TRUE(InState(stPreview));
  EXPECT_TRUE(PanelSays(QStringLiteral("il ne reste que 40 Mo libres")));
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
