// A recording whose program dies: killed while the window records the camcorder, the next start
// of the program repairs the file it left (every frame on disk read back, numbered one after the
// other), says so in the error panel and forgets the journal; `vidorra --repair` leaves the file
// alone while it is being recorded, then finds it whole, and refuses a file that is not a
// recording.
#include <child_process.h>

#include <sstream>

#include "AppTestSupport.h"
#include "CommandLine.h"

namespace vidorra {
namespace {

constexpr const char* kCamcorder = "video dv Caméscope DV\n";

class RepairTest : public test::WindowTest {};

TEST_F(RepairTest, ARecordingLeftByAKilledProgramIsRepairedAtTheNextStart) {
  Simulate(kCamcorder);
  const QString machine = qEnvironmentVariable("VIDORRA_SIMULATION");
  std::optional<std::string> written;
  {
    // The child routine is recording_controls_test.cpp's.
    test::ChildProcess child("window-records", {home_.toStdString(), machine.toStdString(), "killed"});
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
  EXPECT_EQ(test::ReadBack(file), QStringLiteral("dvvideo dvsd 720x576 + pcm_s16le"));
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
