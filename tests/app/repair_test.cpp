// A recording whose program dies: killed while the window records the camcorder, the next start
// of the program repairs the file it left (every frame on disk read back, numbered one after the
// other), says so in the error panel and forgets the journal; `vidorra --repair` leaves the file
// alone while it is being recorded, then finds it whole, and refuses a file that is not a
// recording.
#include <child_process.h>

#include <QDir>
#include <QFileInfo>
#include <sstream>

#include "AppTestSupport.h"
#include "CommandLine.h"

namespace vidorra {
namespace {

constexpr const char* kCamcorder = "video dv Caméscope DV\n";

// Child: the window on the camcorder records until it is killed; reports the file once it holds
// some frames.
const test::ChildRoutineRegistration kRecordUntilKilled(
    "window-records-until-killed", [](const std::vector<std::string>& args) -> int {
      if (args.size() != 2) return 2;
      test::FakeScreenSaverService::UsePrivateBus();
      const QString home = QString::fromStdString(args[0]);
      setenv("HOME", home.toUtf8().constData(), 1);
      setenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8().constData(), 1);
      unsetenv("XDG_STATE_HOME");
      setenv("VIDORRA_SIMULATION", args[1].c_str(), 1);
      win::SimulatedMachine::ReloadCurrentForTesting();
      TCaptureForm form;
      TdmCam module;
      form.show();
      const QString file = form.VideoFileName;
      QTest::mouseClick(form.CaptureBtn, Qt::LeftButton);
      if (form.CaptureState != stRecording) return 3;
      // Past the first second's description, and a little more that no index holds yet.
      if (!test::WaitUntil([&] { return QFileInfo(file).size() > 5'000'000; })) return 4;
      test::ReportToParent(file.toStdString());
      for (;;) QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    });

class RepairTest : public test::WindowTest {};

TEST_F(RepairTest, ARecordingLeftByAKilledProgramIsRepairedAtTheNextStart) {
  test::ScopedEnv state("XDG_STATE_HOME", std::nullopt);
  Simulate(kCamcorder);
  const QString machine = qEnvironmentVariable("VIDORRA_SIMULATION");
  std::optional<std::string> written;
  {
    test::ChildProcess child("window-records-until-killed",
                             {home_.toStdString(), machine.toStdString()});
    written = child.NextReport();
    // While it records, --repair leaves the file alone.
    std::ostringstream out, err;
    EXPECT_EQ(ApplyCommandLine({"--repair", written.value_or("")}, {}, out, err), 1);
    EXPECT_NE(out.str().find(": being recorded by a running program: left as it is"),
              std::string::npos)
        << out.str();
    child.Kill();
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);
  }
  ASSERT_TRUE(written);
  const QString file = QString::fromStdString(*written);
  const QDir journals(home_ + QStringLiteral("/.local/state/vidorra"));
  ASSERT_EQ(journals.entryList(QDir::Files).size(), 1);

  Start(kCamcorder);
  ASSERT_TRUE(test::WaitUntil([&] { return !ErrorShown().isEmpty(); }));
  const QString said = ErrorShown();
  EXPECT_TRUE(said.contains(
      QStringLiteral("L'enregistrement %1, interrompu, a été réparé : il garde ").arg(file)))
      << said.toStdString();
  EXPECT_TRUE(said.contains(QStringLiteral(" images ("))) << said.toStdString();
  CloseError();
  test::ExpectWholeRecording(file);
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
    std::ostringstream out, err;
    EXPECT_EQ(ApplyCommandLine({"--repair", row.file.toStdString()}, {}, out, err), row.status);
    EXPECT_NE(out.str().find(row.says), std::string::npos) << out.str();
  }
}

}  // namespace
}  // namespace vidorra
