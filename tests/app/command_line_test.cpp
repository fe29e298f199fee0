// The command line: what each argument list asks for, what is printed with which exit status,
// and the simulated machine that reaches the platform through the environment.
#include "AppTestSupport.h"
#include "CommandLine.h"

namespace vidorra {
namespace {

using enum CommandLine::Action;

// What each argument list asks for, or its error. Help and version are printed and end the run,
// a wrong command line is explained on standard
// error with status 2, a machine that cannot be read stops the start with status 1: none of
// them names a machine. No arguments run on the environment; --simulation names its file by its
// absolute path (over the variable) before the platform reads it; --demo the one installed
// beside the program. ApplyCommandLine writes $VIDORRA_SIMULATION: AppTest puts it back.
class CommandLineTest : public test::AppTest {};

TEST_F(CommandLineTest, EachArgumentListGivesItsActionOrItsErrorAndIsCarriedOutWithItsExitStatus) {
  const std::string kNoFiles = "': vidorra takes no file names";
  const std::string kNoName = "option '--simulation' needs a file name";
  const struct {
    std::vector<std::string> arguments;
    CommandLine::Action action;
    bool demo;
    std::string simulationFileOrError;
  } kRows[] = {
      {{}, kRun, false, ""},
      {{"--"}, kRun, false, ""},
      {{"--demo"}, kRun, true, ""},
      {{"--simulation", "machine"}, kRun, false, "machine"},
      {{"--simulation=my machine"}, kRun, false, "my machine"},
      {{"--simulation", "--demo"}, kRun, false, "--demo"},  // a file named so
      {{"--help"}, kHelp, false, ""},
      {{"-h", "--demo"}, kHelp, true, ""},
      {{"--version"}, kVersion, false, ""},
      {{"--version", "--help"}, kHelp, false, ""},
      {{"--bogus"}, kError, false, "unknown option '--bogus'"},
      {{"--help", "--bogus"}, kError, false, "unknown option '--bogus'"},
      {{"--demo=yes"}, kError, false, "unknown option '--demo=yes'"},
      {{"--Demo"}, kError, false, "unknown option '--Demo'"},
      {{"-platform", "offscreen"}, kError, false, "unknown option '-platform'"},
      {{"capture.avi"}, kError, false, "unexpected argument 'capture.avi" + kNoFiles},
      {{"-"}, kError, false, "unexpected argument '-" + kNoFiles},
      {{"--", "--demo"}, kError, false, "unexpected argument '--demo" + kNoFiles},
      {{"--simulation"}, kError, false, kNoName},
      {{"--simulation="}, kError, false, kNoName},
      {{"--simulation", ""}, kError, false, kNoName},
      {{"--demo", "--simulation", "m"}, kError, true,
       "--demo and --simulation name two machines: give only one"},
      {{"--repair", "a.avi", "-", "--", "-b.avi"}, kRepair, false, ""},
      {{"--repair"}, kError, false, "option '--repair' needs the files to repair"},
      {{"--demo", "--repair", "a.avi"}, kError, true, "--repair runs no machine: give it only files"},
  };
  for (const auto& row : kRows) {
    std::string joined;
    for (const std::string& argument : row.arguments) joined += "[" + argument + "]";
    SCOPED_TRACE(joined);
    const CommandLine line = ParseCommandLine(row.arguments);
    EXPECT_EQ(line.action, row.action);
    if (row.action == kRepair) {
      EXPECT_EQ(line.repairFiles, (std::vector<std::string>{"a.avi", "-", "-b.avi"}));
    } else if (row.action != kError) {
      EXPECT_EQ(line.demo, row.demo);
      EXPECT_EQ(line.simulationFile + line.error, row.simulationFileOrError);
    } else {
      EXPECT_EQ(line.error, row.simulationFileOrError);
    }
  }

  const std::filesystem::path root = dir_.path().toStdString();
  std::ostringstream out, err;
  const auto apply = [&](const std::vector<std::string>& arguments) {
    out.str({});
    err.str({});
    return ApplyCommandLine(arguments, root / "prefix" / "bin", out, err);
  };
  const auto simulation = [] {
    const char* value = std::getenv("VIDORRA_SIMULATION");
    return std::string(value ? value : "<unset>");
  };
  EXPECT_EQ(apply({"--help"}), 0);
  EXPECT_TRUE(out.str().starts_with("Usage: vidorra [OPTION]...\n")) << out.str();
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(apply({"--version"}), 0);
  EXPECT_TRUE(out.str().starts_with("Vidorra 2.") && out.str().ends_with('\n')) << out.str();
  EXPECT_EQ(apply({"--bogus"}), 2);
  EXPECT_EQ(out.str() + "|" + err.str(),
            "|vidorra: unknown option '--bogus'\nTry 'vidorra --help' for more information.\n");
  EXPECT_EQ(apply({"--demo", "--simulation", "m"}), 2);
  const std::string missing = (root / "none").string();
  EXPECT_EQ(apply({"--simulation=" + missing}), 1);
  EXPECT_EQ(err.str(), "vidorra: cannot read the simulated machine '" + missing +
                           "': No such file or directory\n");
  EXPECT_EQ(apply({"--simulation", root.string()}), 1);
  EXPECT_NE(err.str().find(": Is a directory"), std::string::npos) << err.str();
  const std::filesystem::path demo = root / "prefix/share/vidorra/demo-machine";
  EXPECT_EQ(apply({"--demo"}), 1);
  EXPECT_EQ(err.str(), "vidorra: no demo machine: " + demo.string() + ": No such file or directory\n");
  EXPECT_EQ(simulation(), "<unset>");

  setenv("VIDORRA_SIMULATION", "/somewhere/machine", 1);
  EXPECT_EQ(apply({}), std::nullopt);
  EXPECT_EQ(simulation(), "/somewhere/machine");
  EXPECT_EQ(out.str() + err.str(), "");
  WriteFile(dir_.path() + QStringLiteral("/machines/tapes"),
            "registry HKCU\\Software\\Vidorra|Test|from the command line\n");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(root);
  const std::optional<int> status = apply({"--simulation", "machines/../machines/tapes"});
  std::filesystem::current_path(previous);
  EXPECT_EQ(status, std::nullopt) << err.str();
  EXPECT_EQ(simulation(), (root / "machines" / "tapes").string());
  win::SimulatedMachine::ReloadCurrentForTesting();
  const win::SimulatedMachine& machine = win::SimulatedMachine::Current();
  EXPECT_TRUE(machine.Active());
  ASSERT_EQ(machine.RegistryEdits().size(), 1u);
  EXPECT_EQ(machine.RegistryEdits()[0].data, "from the command line");

  WriteFile(dir_.path() + QStringLiteral("/prefix/share/vidorra/demo-machine"), "video dv Cam\n");
  EXPECT_EQ(DemoMachinePath(root / "prefix" / "bin"), demo);
  EXPECT_EQ(apply({"--demo"}), std::nullopt) << err.str();
  EXPECT_EQ(simulation(), demo.string());
}

}  // namespace
}  // namespace vidorra
