// The simulated machine file: directives, comments, malformed lines reported with their
// number, and watching the file.
#include <ScopedMachine.h>
#include <gtest/gtest.h>
#include <wait_until.h>

#include <mutex>
#include <sstream>
#include <tuple>

#include "SimulatedMachine.h"

namespace vidorra::win {
namespace {

// Every directive in file order, blanks and comments skipped; a malformed line is reported
// with its number and skipped, and binary garbage makes no crash (what the hidden filters and
// the real devices do: the engine's and the V4L2 tests).
TEST(SimulatedMachine, ReadsEveryDirectiveAndReportsMalformedLinesWithTheirNumber) {
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
      "registry HKLM\\ Software \\  \\Y|Gone\n"
      "registry hklm\\Software\\Z\n"
      "video toaster Bad kind\n"
      "video dv\n"
      "frobnicate\n"
      "registry HKCR\\Nope|a|b\n"
      "registry\n"
      "hide-filter\n"
      "real-devices please\n"
      "\n"
      "   \t\n"
      "audio tv-audio Son TV\n",
      errors);
  std::vector<std::tuple<std::string, std::string, int>> video;
  for (const auto& d : machine.VideoDevices()) video.emplace_back(d.kind, d.friendlyName, d.line);
  EXPECT_EQ(video,
            (std::vector<std::tuple<std::string, std::string, int>>{
                {"dv", "Caméscope DV", 2}, {"webcam", "USB Camera #2", 3}, {"tv", "Carte TV", 9}}));
  ASSERT_EQ(machine.AudioDevices().size(), 2u);
  EXPECT_EQ(machine.AudioDevices()[1].line, 22);
  // Keys in their short form, the removal forms.
  using Kind = RegistryEdit::Kind;
  std::vector<std::tuple<Kind, std::string, std::string, std::string>> edits;
  for (const auto& e : machine.RegistryEdits()) edits.emplace_back(e.kind, e.key, e.value, e.data);
  EXPECT_EQ(edits,
            (decltype(edits){{Kind::kSetValue, "HKCU\\Software\\Test", "Name", "Some | data"},
                             {Kind::kSetValue, "HKCU\\Software\\X", "Empty", ""},
                             {Kind::kRemoveValue, "HKLM\\Software\\Y", "Gone", ""},
                             {Kind::kRemoveKey, "HKLM\\Software\\Z", "", ""}}));
  const std::string text = errors.str();
  for (int line = 1; line <= 22; ++line) {
    const bool bad = line >= 13 && line <= 19;
    EXPECT_EQ(text.find("line " + std::to_string(line) + ":") != std::string::npos, bad) << line;
  }
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 37) % 256);
  EXPECT_TRUE(SimulatedMachine::Parse(garbage, errors).Active()) << "binary garbage: no crash";
}

// Once watched, a change of the file written in place makes a new current machine and is told
// with the machines before and after (a new file renamed over it: the hot-plug tests), as is
// pointing the watch at another file; a listener gone hears nothing more.
TEST(SimulatedMachine, WatchersHearEveryChangeOfTheFile) {
  std::mutex mutex;
  std::vector<std::pair<size_t, size_t>> changes;  // video devices before and after
  auto watch =
      SimulatedMachine::Watch([&](const SimulatedMachine& before, const SimulatedMachine& after) {
        std::lock_guard lock(mutex);
        changes.emplace_back(before.VideoDevices().size(), after.VideoDevices().size());
      });
  test::ScopedMachine machine("video dv Camescope\n");  // watched from now on in its stead
  std::ofstream(machine.Path(), std::ios::trunc) << "video dv Camescope\nvideo webcam Webcam\n";
  ASSERT_TRUE(test::WaitUntil([&] {
    std::lock_guard lock(mutex);
    return changes.size() == 2;
  }));
  EXPECT_EQ(SimulatedMachine::Current().VideoDevices().size(), 2u);
  watch.reset();
  std::ofstream(machine.Path(), std::ios::trunc) << "video tv Carte\n";
  ASSERT_TRUE(
      test::WaitUntil([] { return SimulatedMachine::Current().VideoDevices().size() == 1; }));
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(changes, (std::vector<std::pair<size_t, size_t>>{{0, 1}, {1, 2}}));  // none since
  }
}

}  // namespace
}  // namespace vidorra::win
