// The simulated machine file: directives, comments, malformed lines reported with their number.
#include <gtest/gtest.h>
#include <scoped_env.h>
#include <stdlib.h>
#include <temp_dir.h>
#include <wait_until.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <tuple>

#include "SimulatedMachine.h"

namespace vidorra::win {
namespace {

TEST(SimulatedMachine, ReadsEveryDirectiveInFileOrder) {
  std::ostringstream errors;
  const SimulatedMachine machine = SimulatedMachine::Parse(
      "# a test machine\n"
      "video dv  Caméscope DV  \n"
      "video webcam USB Camera #2\n"
      "audio tone Carte son\n"
      "hide-filter Smart Tee\n"
      "registry HKCU\\Software\\Test|Name|Some | data\n"
      "real-devices\n"
      "   # an indented comment\n"
      "video tv Carte TV  \r\n"
      "registry \\HKEY_CURRENT_USER\\\\Software\\X\\|Empty|\n"
      "registry HKLM\\Software\\Y|Gone\n"
      "registry hklm\\Software\\Z\n",
      errors);
  EXPECT_EQ(errors.str(), "");
  EXPECT_TRUE(machine.Active());
  ASSERT_EQ(machine.VideoDevices().size(), 3u);
  EXPECT_EQ(machine.VideoDevices()[0].kind, "dv");
  EXPECT_EQ(machine.VideoDevices()[0].friendlyName, "Caméscope DV");
  EXPECT_EQ(machine.VideoDevices()[0].line, 2);
  EXPECT_EQ(machine.VideoDevices()[1].friendlyName, "USB Camera #2") << "'#' inside a name";
  EXPECT_EQ(machine.VideoDevices()[2].friendlyName, "Carte TV");
  EXPECT_EQ(machine.VideoDevices()[2].line, 9);
  ASSERT_EQ(machine.AudioDevices().size(), 1u);
  EXPECT_EQ(machine.AudioDevices()[0].kind, "tone");
  EXPECT_TRUE(machine.IsFilterHidden("Smart Tee"));
  EXPECT_FALSE(machine.IsFilterHidden("Infinite Pin Tee"));
  EXPECT_TRUE(machine.ListsRealDevices());
  // Keys in their short form, the removal forms.
  const auto& edits = machine.RegistryEdits();
  ASSERT_EQ(edits.size(), 4u);
  using Kind = RegistryEdit::Kind;
  const std::tuple<Kind, std::string, std::string, std::string> expected[] = {
      {Kind::kSetValue, "HKCU\\Software\\Test", "Name", "Some | data"},
      {Kind::kSetValue, "HKCU\\Software\\X", "Empty", ""},
      {Kind::kRemoveValue, "HKLM\\Software\\Y", "Gone", ""},
      {Kind::kRemoveKey, "HKLM\\Software\\Z", "", ""}};
  for (size_t i = 0; i < edits.size(); ++i) {
    EXPECT_EQ(std::tie(edits[i].kind, edits[i].key, edits[i].value, edits[i].data), expected[i])
        << i;
  }
}

TEST(SimulatedMachine, MalformedLinesAreReportedWithTheirNumberAndSkipped) {
  std::ostringstream errors;
  const SimulatedMachine machine = SimulatedMachine::Parse(
      "video dv Good one\n"
      "video toaster Bad kind\n"
      "video dv\n"
      "audio webcam Wrong family\n"
      "frobnicate\n"
      "registry HKCR\\Nope|a|b\n"
      "registry\n"
      "hide-filter\n"
      "real-devices please\n"
      "\n"
      "   \t\n"
      "audio tv-audio Son TV\n",
      errors);
  ASSERT_EQ(machine.VideoDevices().size(), 1u);
  ASSERT_EQ(machine.AudioDevices().size(), 1u);
  EXPECT_EQ(machine.AudioDevices()[0].line, 12);
  EXPECT_TRUE(machine.RegistryEdits().empty());
  EXPECT_FALSE(machine.ListsRealDevices());
  const std::string text = errors.str();
  for (int line : {2, 3, 4, 5, 6, 7, 8, 9}) {
    EXPECT_NE(text.find("line " + std::to_string(line) + ":"), std::string::npos) << line;
  }
  EXPECT_EQ(text.find("line 1:"), std::string::npos);
  EXPECT_EQ(text.find("line 12:"), std::string::npos);
}

TEST(SimulatedMachine, BinaryGarbageIsNoCrash) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 37) % 256);
  std::ostringstream errors;
  const SimulatedMachine machine = SimulatedMachine::Parse(garbage, errors);
  EXPECT_TRUE(machine.Active());
}

// Once watched, a change of the file written in place or by renaming a new file over it makes
// a new current machine and is told with the machines before and after; a listener gone hears
// nothing more.
TEST(SimulatedMachine, WatchersHearEveryChangeOfTheFile) {
  test::TempDir folder;
  const std::filesystem::path file = folder.File("machine.txt");
  std::ofstream(file) << "video dv Camescope\n";
  test::ScopedEnv env("VIDORRA_SIMULATION", file.string());
  SimulatedMachine::ReloadCurrentForTesting();

  std::mutex mutex;
  std::vector<std::pair<size_t, size_t>> changes;  // video devices before and after
  auto watch =
      SimulatedMachine::Watch([&](const SimulatedMachine& before, const SimulatedMachine& after) {
        std::lock_guard lock(mutex);
        changes.emplace_back(before.VideoDevices().size(), after.VideoDevices().size());
      });
  auto heard = [&](size_t count) {
    return test::WaitUntil([&] {
      std::lock_guard lock(mutex);
      return changes.size() == count;
    });
  };
  std::ofstream(file, std::ios::trunc) << "video dv Camescope\nvideo webcam Webcam\n";
  ASSERT_TRUE(heard(1));
  EXPECT_EQ(SimulatedMachine::Current().VideoDevices().size(), 2u);
  const std::filesystem::path next = folder.File("machine.new");
  std::ofstream(next) << "audio tone Son\n";
  std::filesystem::rename(next, file);
  ASSERT_TRUE(heard(2));
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(changes, (std::vector<std::pair<size_t, size_t>>{{1, 2}, {2, 0}}));
  }
  EXPECT_EQ(SimulatedMachine::Current().AudioDevices().size(), 1u);

  watch.reset();
  std::ofstream(file, std::ios::trunc) << "video tv Carte\n";
  ASSERT_TRUE(
      test::WaitUntil([] { return SimulatedMachine::Current().VideoDevices().size() == 1; }));
  EXPECT_EQ(changes.size(), 2u) << "no listener any more";
  env.Restore();
  SimulatedMachine::ReloadCurrentForTesting();
}

}  // namespace
}  // namespace vidorra::win
