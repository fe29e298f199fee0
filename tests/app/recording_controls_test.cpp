// The recording controls clicked as a user would: the states, Capture / Couper / Stop giving
// whole files, volume and listening, full screen, unplugging, the disk filling up, and a
// recording left by a killed program repaired at the next start.
#include <child_process.h>
#include <sys/resource.h>

#include "AppTestSupport.h"
#include "CommandLine.h"
#include "DiskSpaceWatch.h"
#include "RecordingJournal.h"
#include "SoundMeter.h"
#include "avi/AviReader.h"

namespace vidorra {
namespace {

constexpr const char* kCamcorder = "video dv Caméscope DV\n";
constexpr const char* kMicro = "audio tone Micro\n";
const QString kDVWithSound = QStringLiteral("dvvideo dvsd 720x576 + pcm_s16le");
class RecordingControlsTest : public test::WindowTest {};

// A session on a camcorder, from its plug-in to its unplugging, each step on what the one
// before left: every recording file is whole, whatever ended it. Then each state's border and
// controls.
TEST_F(RecordingControlsTest, ACamcorderFromPlugInToUnplugging) {
  Start(kMicro);
  TCaptureForm& f = *form_;
  // The keyboard comes to the first page at once: Enter and Esc act on its buttons.
  ASSERT_TRUE(test::WaitUntil([&] { return QApplication::focusWidget() != nullptr; }));
  EXPECT_TRUE(f.TabSheet1->isAncestorOf(QApplication::focusWidget()) ||
              QApplication::focusWidget() == f.TabSheet1)
      << QApplication::focusWidget()->objectName().toStdString();
  {
    SCOPED_TRACE("plugged in while there is no source: found by the refresh button");
    ASSERT_EQ(f.CaptureState, stNoSource);
    Replug(QByteArray(kCamcorder) + kMicro);
    ASSERT_TRUE(test::WaitUntil([&] {
      Click(f.ActualiserVideoBtn);
      return f.CaptureState == stPreview;
    }));
    EXPECT_TRUE(f.cbEnregistrerAudioDV->isChecked() && f.cbEcouterAudioDV->isChecked());
    EXPECT_TRUE(PictureMoves());
  }
  {
    // The DV sound is listened to: a sound server that starts late (the test run's has a null
    // sink) must cost sound at most, never frames of the recordings below.
    SCOPED_TRACE("the slider and Mute set the listening volume, -10000 silence to 0 full");
    EXPECT_EQ(test::GraphVolume(), 0) << "the track bar's full volume";
    EXPECT_EQ(test::FiltersNamed(QStringLiteral("Default DirectSound Device")), 1);
    Click(f.cbMute);
    f.tb->setValue(8000);
    EXPECT_EQ(test::GraphVolume(), -10000) << "muted whatever the slider says";
    ASSERT_TRUE(f.StartPreview()) << "a running preview is stopped and built again";
    EXPECT_EQ(test::GraphVolume(), -10000) << "kept by the rebuilt preview";
    Click(f.cbMute);
    EXPECT_EQ(test::GraphVolume(), -2000);
  }
  {
    SCOPED_TRACE("Plein Ecran only switches full screen on, the pop-up's item both ways");
    for (const bool on : {true, true}) {
      Click(f.PleinEcranBtn);
      EXPECT_EQ(f.vwEcran->FullScreen(), on);
    }
    for (const bool on : {false, true, false}) {
      f.PLeinEcran1->trigger();
      EXPECT_EQ(f.vwEcran->FullScreen(), on);
    }
  }
  {
    SCOPED_TRACE(
        "Capture, two cuts and Stop, the pop-up menu's or the buttons': three whole files in "
        "sequence");
    const auto labelShows = [&](const QString& file) {
      return f.LabelVideo->text() == QFileInfo(file).fileName();
    };
    QStringList files{f.VideoFileName};
    EXPECT_TRUE(labelShows(files[0])) << "the next file";
    f.Capture1->trigger();
    ASSERT_EQ(f.CaptureState, stRecording);
    ASSERT_TRUE(Written(files[0]));
    EXPECT_TRUE(labelShows(files[0])) << "the file being written";
    // The status line over the picture (shown while recording: the state snapshots), on black
    // as the picture, as a screen reader reads it.
    EXPECT_EQ(f.labStatistiques->grab().toImage().pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(f.labStatistiques->accessibleName(), QStringLiteral("Statistiques d'enregistrement"));
    const QRegularExpression status(QStringLiteral(
        "^0:00:0[0-9] · ([0-9]+) images · 0 perdue · son/image ([-+][0-9]+) ms · [0-9]+ Mo · "
        "[0-9]+,[0-9] Mo/s · reste ([0-9]+ h )?[0-9]+ min$"));
    EXPECT_TRUE(test::WaitUntil([&] {
      const QRegularExpressionMatch line = status.match(f.labStatistiques->accessibleDescription());
      return line.hasMatch() && line.captured(1).toInt() >= 25 &&
             std::abs(line.captured(2).toInt()) <= 80;
    })) << f.labStatistiques->accessibleDescription().toStdString();
    for (int cut = 1; cut <= 2; ++cut) {
      if (cut == 1) {
        Click(f.CouperBtn);
      } else {
        f.Couper1->trigger();
      }
      files << f.VideoFileName;
      EXPECT_TRUE(labelShows(files[cut]));
      EXPECT_EQ(f.CaptureState, stRecording);
      ASSERT_TRUE(Written(files[cut]));
    }
    f.Stop1->trigger();
    EXPECT_EQ(f.CaptureState, stPreview);
    EXPECT_TRUE(f.VideoFileName.endsWith(QStringLiteral("_3.avi")) && labelShows(f.VideoFileName));
    EXPECT_FALSE(QFileInfo::exists(f.VideoFileName));
    EXPECT_TRUE(PictureMoves());
    for (const QString& file : files) {
      EXPECT_EQ(test::ReadBack(file), kDVWithSound);
      EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral(".txt"))) << "no report unless asked";
    }
  }
  {
    SCOPED_TRACE("the room left on the disk, checked at the start and watched while recording");
    qint64 freeBytes = 150 * DiskSpaceWatch::kMiB;
    f.DiskSpace->SetProbe([&](const QString&) { return std::optional<qint64>(freeBytes); });
    const QString file = f.VideoFileName;
    Click(f.CaptureBtn);
    EXPECT_EQ(f.CaptureState, stPreview);
    PanelSays(QStringLiteral("il ne reste que 150 Mo libres"));
    f.SetProgrammedState();
    f.lancerEnregistrement();
    EXPECT_EQ(f.CaptureState, stProgrammed) << "the programme waits for its end";
    PanelSays(QStringLiteral("150 Mo"));
    EXPECT_FALSE(QFileInfo::exists(file));
    f.SetPreviewState();
    freeBytes = 300 * DiskSpaceWatch::kMiB;
    Capture();
    freeBytes = 40 * DiskSpaceWatch::kMiB;
    ASSERT_TRUE(InState(stPreview));
    PanelSays(QStringLiteral("il ne reste que 40 Mo libres"));
    EXPECT_NE(f.VideoFileName, file) << "stopped as Stop does: the next name is formed";
    EXPECT_TRUE(PictureMoves());
    EXPECT_EQ(test::ReadBack(file), kDVWithSound);
    bool stoppedWhenTold = false;  // the watch tells once: it stops first
    f.DiskSpace->Watch([&] { return file; },
                       [&](qint64) { stoppedWhenTold = !f.DiskSpace->Watching(); });
    EXPECT_TRUE(test::WaitUntil([&] { return stoppedWhenTold; }));
    f.DiskSpace->SetProbe(nullptr);
  }
  {
    // The camcorder's stream is cut between two frames by the multiplexer, which finds out a
    // frame later.
    SCOPED_TRACE("a cut whose next file cannot be opened ends the recording, its file whole");
    const QString first = Capture();
    const QString folder = f.VideoDirEdit->Text();
    WriteFile(dir_.path() + QStringLiteral("/plain"));
    f.VideoDirEdit->SetText(dir_.path() + QStringLiteral("/plain"));
    Click(f.CouperBtn);
    ASSERT_TRUE(InState(stPreview));
    PanelSays(QFileInfo(first).fileName());
    EXPECT_TRUE(PictureMoves());
    EXPECT_EQ(test::ReadBack(first), kDVWithSound);
    f.VideoDirEdit->SetText(folder);
  }
  for (const bool recording : {false, true}) {
    SCOPED_TRACE(recording ? "unplugged during a recording, plugged back"
                           : "unplugged during the preview, plugged back");
    ASSERT_EQ(f.CaptureState, stPreview);
    const QString file = recording ? Capture() : f.VideoFileName;
    Replug(kMicro);
    ASSERT_TRUE(InState(stNoSource));
    EXPECT_NE(dmCam->fg->GraphState(), grsPlaying);
    EXPECT_EQ(f.VideoFileName != file, recording) << "the next recording gets a new name";
    EXPECT_EQ(recording ? test::ReadBack(file) : kDVWithSound, kDVWithSound);
    Replug(QByteArray(kCamcorder) + kMicro);
    ASSERT_TRUE(InState(stPreview));
    EXPECT_TRUE(PictureMoves());
  }
  {
    // Each state's border and which controls it enables, with the window's texts but for
    // their figures and the error report's mail: tests/snapshots/state-*.txt.
    SCOPED_TRACE("each state has its border and its controls");
    void (TCaptureForm::*kStates[])() = {
        &TCaptureForm::SetNoSourceState, &TCaptureForm::SetPreviewState,
        &TCaptureForm::SetProgrammedState, &TCaptureForm::SetRecordingState,
        &TCaptureForm::SetRecordingTimedState};
    for (int column = 0; column < 5; ++column) {
      // From the opposite state, so that every control must change to pass (a programme left
      // for no source is dropped, and said).
      std::invoke(kStates[column < 3 ? 3 : 0], f);
      if (column == 3) PanelSays(QStringLiteral("La programmation a été annulée"));
      f.RxClock2->SetAlarmAction([] {});  // as the programmed recording gives it
      std::invoke(kStates[column], f);
      test::ExpectSnapshot(f, QStringLiteral("state-%1").arg(column + 1),
                           QRegularExpression("\\d+|Body=.*"));
      const QPoint edge(0, f.Panel1->height() - 1);  // the border, below the statistics
      EXPECT_EQ(f.Panel1->grab().toImage().pixelColor(edge), f.Panel1->palette().button().color());
      EXPECT_EQ(f.RxClock2->AlarmEnabled(), column == 2 || column == 4) << "the clock's alarm";
      EXPECT_EQ(f.RxClock2->HasAlarmAction(), f.RxClock2->AlarmEnabled()) << "off: no action";
    }
    // The preview of a source that is not DV takes the DV sound away.
    dmCam->IsDVSource = false;
    f.SetPreviewState();
    EXPECT_FALSE(f.cbEnregistrerAudioDV->isEnabled() || f.cbEnregistrerAudioDV->isChecked() ||
                 f.cbEcouterAudioDV->isEnabled());
  }
}

// The meter beside the picture (its place: the state snapshots), read as a screen reader reads
// it: the camcorder's sound and the microphone's tone (-12 dBFS: peak -12 dB, RMS -15 dB), and a
// muted input that says "pas de son", in the meter and in orange in the status line, once a
// recording has heard 3 s of it. Then a report that would replace a file.
TEST_F(RecordingControlsTest, TheSoundMeterAndTheReportOfARecording) {
  Start(QByteArray(kCamcorder) + kMicro + "audio silence Muet\n");
  TCaptureForm& f = *form_;
  ASSERT_EQ(f.CaptureState, stPreview);
  const auto meter = [&] { return f.SoundMeter1->accessibleDescription(); };
  const QLocale french(QLocale::French, QLocale::France);
  const auto hearsTheTone = [&](const QString& name) {
    const QRegularExpression levels(
        QRegularExpression::escape(name) +
        QStringLiteral(" : (-[0-9]+,[0-9]) dB, efficace (-[0-9]+,[0-9]) dB"));
    return test::WaitUntil([&] {
      const QRegularExpressionMatch match = levels.match(meter());
      return match.hasMatch() && std::abs(french.toDouble(match.captured(1)) + 12) <= 0.5 &&
             std::abs(french.toDouble(match.captured(2)) + 15) <= 0.5;
    });
  };
  Click(f.cbEcouterAudioDV);
  ASSERT_FALSE(f.cbEcouterAudioDV->isChecked());
  EXPECT_TRUE(hearsTheTone(QStringLiteral("Son DV")))
      << "not listened to: " << meter().toStdString();
  Click(f.cbEnregistrerAudioSource);
  ASSERT_EQ(f.cboxAudio->currentText(), QStringLiteral("Micro"));
  ASSERT_TRUE(f.StartPreview()) << "the added sound joins the next graph";
  EXPECT_TRUE(hearsTheTone(QStringLiteral("Micro")))
      << "neither recorded nor listened to: " << meter().toStdString();
  Capture();
  EXPECT_TRUE(hearsTheTone(QStringLiteral("Son DV")) && hearsTheTone(QStringLiteral("Micro")))
      << meter().toStdString();
  Click(f.StopBtn);
  ASSERT_TRUE(test::ChooseItem(f.cboxAudio, QStringLiteral("Muet")));
  Capture();
  EXPECT_TRUE(test::WaitUntil([&] { return meter().contains(QStringLiteral("Muet : silence")); }))
      << "not before 3 s: " << meter().toStdString();
  EXPECT_TRUE(test::WaitUntil([&] {
    return meter().contains(QStringLiteral("Muet : pas de son")) &&
           f.labStatistiques->text().contains(QStringLiteral("#ff8c00\">Muet : pas de son"));
  })) << meter().toStdString()
      << " / " << f.labStatistiques->text().toStdString();
  EXPECT_TRUE(hearsTheTone(QStringLiteral("Son DV")));
  // The longer line still fits its strip, the time left on the disk included.
  QTextDocument shown;
  shown.setHtml(f.labStatistiques->text());
  EXPECT_LE(QFontMetrics(f.labStatistiques->font()).horizontalAdvance(shown.toPlainText()),
            f.labStatistiques->width())
      << shown.toPlainText().toStdString();
  EXPECT_TRUE(shown.toPlainText().contains(QStringLiteral(" · reste ")))
      << shown.toPlainText().toStdString();
  Click(f.StopBtn);
  EXPECT_FALSE(meter().contains(QStringLiteral("pas de son"))) << "told only while recording";
  f.cboxAudio->lineEdit()->selectAll();
  QTest::keyClicks(f.cboxAudio->lineEdit(), QStringLiteral("Micro"));  // typed: chosen as named
  EXPECT_TRUE(hearsTheTone(QStringLiteral("Micro"))) << meter().toStdString();
  {
    SCOPED_TRACE(
        "with \"Rapport d'enregistrement\", a file already there under the report's name "
        "is left as it was, and said so; the next one's says nothing was lost");
    Click(f.cbEnregistrerAudioSource);  // the camcorder alone
    f.PageControl1->setCurrentWidget(f.TabSheet4);
    Click(f.cbRapport);
    f.PageControl1->setCurrentWidget(f.TabSheet1);
    const QString mine = f.VideoFileName + QStringLiteral(".txt");
    WriteFile(mine, "mine");
    Capture();
    Click(f.StopBtn);
    PanelSays(QFileInfo(mine).fileName());
    QFile kept(mine);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("mine"));
    // The next recording's report, nothing lost.
    QFile report(Capture() + QStringLiteral(".txt"));
    Click(f.StopBtn);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly)) << report.fileName().toStdString();
    const QString text = QString::fromUtf8(report.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Images perdues : 0\nPertes : aucune\n")))
        << text.toStdString();
  }
}

// Child: the window on the camcorder (args: the parent test's home, its machine file, how the
// recording goes) records as the parent asked:
// - "full": under a file-size limit (a full disk) until the graph gives up; reports the file,
//   then the state and the panel's text, then the error reports;
// - "stall": with "Rapport d'enregistrement" ticked, it stops the whole process (SIGSTOP) once
//   the file has begun, as a machine too busy to read the device would, for the parent to let it
//   go on; reports its pid, then, once the status line counted the loss, a second later, and
//   the recording was stopped, the file, the status line and the error reports;
// - "killed": until it is killed; reports the file once it holds some frames.
const test::ChildRoutineRegistration kWindowRecords(
    "window-records", [](const std::vector<std::string>& args) -> int {
      if (args.size() != 3) return 2;
      test::FakeScreenSaverService::UsePrivateBus();  // before the limit: the bus daemon forks
      const QString home = QString::fromStdString(args[0]);
      setenv("HOME", home.toUtf8().constData(), 1);
      setenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8().constData(), 1);
      unsetenv("XDG_STATE_HOME");
      setenv("VIDORRA_SIMULATION", args[1].c_str(), 1);
      win::SimulatedMachine::ReloadCurrentForTesting();
      const std::string& mode = args[2];
      QStringList reports;
      SetErrorReporter([&](const QString& m) { reports << m; });
      int status = 0;
      {
        TCaptureForm form;
        TdmCam module;
        form.show();
        if (form.CaptureState != stPreview) return 3;
        const QString file = form.VideoFileName;
        const auto report = [](const QString& line) { test::ReportToParent(line.toStdString()); };
        if (mode == "full") {
          ::signal(SIGXFSZ, SIG_IGN);
          constexpr rlim_t kLimit = rlim_t{3} << 20;
          const rlimit limited{kLimit, kLimit};
          if (::setrlimit(RLIMIT_FSIZE, &limited) != 0) return 4;
          report(file);
        }
        form.cbRapport->setChecked(mode == "stall");
        QTest::mouseClick(form.CaptureBtn, Qt::LeftButton);
        if (form.CaptureState != stRecording) return 5;
        if (mode == "full") {
          if (!test::WaitUntil([&] { return form.CaptureState != stRecording; })) status = 6;
          report(QString::number(form.CaptureState) + u' ' +
                 (form.ErreurFrame1->isVisible()
                      ? form.ErreurFrame1->Memo1->toPlainText().simplified()
                      : QStringLiteral("(no panel)")));
        } else {
          // Past the first second's description, and a little more that no index holds yet.
          const qint64 bytes = mode == "killed" ? 5'000'000 : 1'000'000;
          if (!test::WaitUntil([&] { return QFileInfo(file).size() > bytes; })) return 4;
          if (mode == "killed") {
            report(file);
            for (;;) QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
          }
          report(QString::number(::getpid()));
          ::raise(SIGSTOP);
          // Once the loss is counted, a second more, for the frames after it to reach the file.
          const auto shown = [&] { return form.labStatistiques->accessibleDescription(); };
          const auto second = [&] {
            return QTime::fromString(shown().section(u' ', 0, 0), "h:mm:ss").msecsSinceStartOfDay();
          };
          if (!test::WaitUntil([&] { return !shown().contains(" · 0 perdue · "); })) status = 7;
          const int counted = second();
          if (!test::WaitUntil([&] { return second() >= counted + 2000; })) status = 8;
          QTest::mouseClick(form.StopBtn, Qt::LeftButton);
          report(file);
          report(form.labStatistiques->accessibleDescription());
        }
        dmCam->fg->StopGraph();
      }
      test::ReportToParent(reports.join(QStringLiteral(" | ")).toStdString());
      return status;
    });

// A write error (the disk full) ends the recording with every frame written. A recording whose
// program is killed: the next start of the program repairs the file it left (every frame on
// disk read back, numbered one after the other), says so in the error panel and forgets the
// journal; `vidorra --repair` leaves the file alone while it is being recorded (not once its
// program is dead), then finds it whole, and refuses a file that is not a recording. Frames
// lost while recording (the program stopped for a second): the status line counts exactly the
// frames the camcorder dropped, the report says as much and when (its other figures those of
// the file read back), and the file lacks exactly those frames.
TEST_F(RecordingControlsTest, AFullDiskAKilledProgramAndFramesLostInAChildWindow) {
  Simulate(kCamcorder);
  const auto child = [&](const char* mode) {
    return std::make_unique<test::ChildProcess>(
        "window-records",
        std::vector<std::string>{home_.toStdString(), qgetenv("VIDORRA_SIMULATION").toStdString(),
                                 mode});
  };
  {
    SCOPED_TRACE("a full disk");
    const auto full = child("full");
    const std::optional<std::string> file = full->NextReport();
    const std::optional<std::string> statePanel = full->NextReport();
    const std::optional<std::string> reports = full->NextReport();
    EXPECT_EQ(full->Wait(), 0);
    ASSERT_TRUE(file && statePanel && reports);
    EXPECT_TRUE(statePanel->starts_with(std::to_string(stPreview) + " ")) << *statePanel;
    EXPECT_NE(statePanel->find("est arrêté sur une erreur : The file size exceeds the limit"),
              std::string::npos)
        << *statePanel;
    EXPECT_EQ(*reports, "");
    const QString path = QString::fromStdString(*file);
    EXPECT_LE(QFileInfo(path).size(), qint64{3} << 20);
    EXPECT_EQ(test::ReadBack(path), kDVWithSound);
  }
  {
    SCOPED_TRACE("killed while recording, then started again");
    const QString machine = qEnvironmentVariable("VIDORRA_SIMULATION");
    const auto killed = child("killed");
    const std::optional<std::string> written = killed->NextReport();
    // While it records, --repair leaves the file alone.
    std::ostringstream out, err;
    EXPECT_EQ(ApplyCommandLine({"--repair", written.value_or("")}, {}, out, err), 1);
    EXPECT_NE(out.str().find(": being recorded by a running program: left as it is"),
              std::string::npos)
        << out.str();
    killed->Kill();
    EXPECT_EQ(killed->Wait(), 128 + SIGKILL);
    ASSERT_TRUE(written);
    const QString file = QString::fromStdString(*written);
    EXPECT_FALSE(RecordingJournal::BeingRecorded().contains(file)) << "its program is dead";
    const QDir journals(home_ + QStringLiteral("/.local/state/vidorra"));
    ASSERT_EQ(journals.entryList(QDir::Files).size(), 1);

    Start(kCamcorder);
    ASSERT_TRUE(test::WaitUntil([&] { return !ErrorShown().isEmpty(); }));
    const QString said = ErrorShown();
    EXPECT_TRUE(said.contains(
        QStringLiteral("L'enregistrement %1, interrompu, a été réparé : il garde ").arg(file)))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral(" images ("))) << said.toStdString();
    Click(form_->ErreurFrame1->FermerErreurBtn);
    EXPECT_EQ(test::ReadBack(file), kDVWithSound);
    // Seeking goes through the rebuilt index: one second in is the 26th frame.
    const auto first = test::RecordedFrameNumbers(file.toStdString(), 720, 576);
    const auto second = test::RecordedFrameNumbers(file.toStdString(), 720, 576, 1.0);
    ASSERT_TRUE(!first.empty() && first[0] && second.size() == 1 && second[0]);
    EXPECT_EQ(*second[0], *first[0] + 25);
    EXPECT_TRUE(journals.entryList(QDir::Files).isEmpty());
    Close();

    struct Row {
      QString file;
      int status;
      const char* says;
    };
    for (const Row& row : {Row{file, 0, ": whole, left as it is ("},
                           Row{machine, 1, ": not repaired, left as it is: "}}) {
      out.str({});
      EXPECT_EQ(ApplyCommandLine({"--repair", row.file.toStdString()}, {}, out, err), row.status);
      EXPECT_NE(out.str().find(row.says), std::string::npos) << out.str();
    }
  }
  SCOPED_TRACE("a second stood still");
  const auto stalled = child("stall");
  const std::optional<std::string> pid = stalled->NextReport();
  ASSERT_TRUE(pid);
  // The stall provoked: the child stands still for this long, its camcorder running on.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ::kill(std::stoi(*pid), SIGCONT);
  const std::optional<std::string> file = stalled->NextReport();
  const std::optional<std::string> line = stalled->NextReport();
  EXPECT_EQ(stalled->NextReport(), "") << "no error reported";
  EXPECT_EQ(stalled->Wait(), 0);
  ASSERT_TRUE(file && line);
  const QRegularExpressionMatch shown =
      QRegularExpression(QStringLiteral(" · ([0-9]+) perdues? · "))
          .match(QString::fromStdString(*line));
  ASSERT_TRUE(shown.hasMatch()) << *line;
  const int drops = shown.captured(1).toInt();
  EXPECT_GT(drops, 4) << "a second stood still";
  QFile report(QString::fromStdString(*file) + QStringLiteral(".txt"));
  ASSERT_TRUE(report.open(QIODevice::ReadOnly));
  QString text = QString::fromUtf8(report.readAll());
  // ffprobe gives no duration to PCM in AVI: the streams' lengths as our reader finds them.
  const std::optional<avi::AviFileInfo> read = avi::AviReader::Read(*file);
  ASSERT_TRUE(read && read->streams.size() == 2);
  const auto seconds = [](const avi::AviStreamInfo& s) {
    return static_cast<double>(s.length) * s.scale / s.rate;
  };
  const QRegularExpression lead(QStringLiteral("Décalage son : ([-+][0-9]+) ms"));
  EXPECT_NEAR(lead.match(text).captured(1).toDouble(),
              (seconds(read->streams[1]) - seconds(read->streams[0])) * 1000, 1.0);
  // "Pertes : 0:00:02 : 21 ; ...": when they were counted, adding up to them all.
  int listed = 0;
  auto losses = QRegularExpression(QStringLiteral("(?:: |; )0:00:[0-9]{2} : ([0-9]+)"))
                    .globalMatch(text.section(u'\n', 5, 5));
  while (losses.hasNext()) listed += losses.next().captured(1).toInt();
  EXPECT_EQ(listed, drops) << text.toStdString();
  // The whole report, its times, its losses and its lead left out (checked above).
  text.replace(lead, QStringLiteral("Décalage son : L"))
      .replace(QRegularExpression(QStringLiteral("Pertes : [^\n]*")), QStringLiteral("Pertes : P"))
      .replace(QRegularExpression(
                   QStringLiteral("[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}")),
               QStringLiteral("T"));
  EXPECT_EQ(text, QStringLiteral(
                      "Enregistrement : %1\nDébut : T\nFin : T\nImages : %2\nImages perdues : %3\n"
                      "Pertes : P\nDécalage son : L\nTaille : %4 octets\n")
                      .arg(QFileInfo(QString::fromStdString(*file)).fileName())
                      .arg(test::Probe(*file).at(0).frames + drops)  // the lost ones' places
                      .arg(drops)
                      .arg(QFileInfo(QString::fromStdString(*file)).size()));
  std::set<uint32_t> numbers;
  for (const std::optional<uint32_t>& number : test::RecordedFrameNumbers(*file, 720, 576)) {
    if (number) numbers.insert(*number);
  }
  ASSERT_FALSE(numbers.empty());
  EXPECT_EQ(static_cast<long>(*numbers.rbegin() - *numbers.begin() + 1 - numbers.size()), drops)
      << "the frames missing from the file";
}

}  // namespace
}  // namespace vidorra
