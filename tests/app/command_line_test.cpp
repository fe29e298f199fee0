// The command line: what each argument list asks for, what is printed with which exit status,
// and the simulated machine that reaches the platform through the environment.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "AppTestSupport.h"
#include "CommandLine.h"
#include "SimulatedMachine.h"

namespace vidorra {
namespace {

using Action = CommandLine::Action;

std::string Joined(const std::vector<std::string>& arguments) {
  std::string joined;
  for (const std::string& argument : arguments) joined += "[" + argument + "]";
  return joined;
}

TEST(CommandLineParse, EachArgumentListGivesItsActionOrItsError) {
  const struct {
    std::vector<std::string> arguments;
    Action action;
    bool demo;
    std::string simulationFile;
  } kAccepted[] = {
      {{}, Action::kRun, false, ""},
      {{"--"}, Action::kRun, false, ""},
      {{"--demo"}, Action::kRun, true, ""},
      {{"--simulation", "machine"}, Action::kRun, false, "machine"},
      {{"--simulation=my machine"}, Action::kRun, false, "my machine"},
      {{"--simulation", "--demo"}, Action::kRun, false, "--demo"},  // a file named so
      {{"--help"}, Action::kHelp, false, ""},
      {{"-h", "--demo"}, Action::kHelp, true, ""},
      {{"--version"}, Action::kVersion, false, ""},
      {{"--version", "--help"}, Action::kHelp, false, ""},
  };
  for (const auto& row : kAccepted) {
    SCOPED_TRACE(Joined(row.arguments));
    const CommandLine line = ParseCommandLine(row.arguments);
    EXPECT_EQ(line.action, row.action);
    EXPECT_EQ(line.error, "");
    EXPECT_EQ(line.demo, row.demo);
    EXPECT_EQ(line.simulationFile, row.simulationFile);
  }
  const std::string kNoFiles = "': vidorra takes no file names";
  const std::string kNoName = "option '--simulation' needs a file name";
  const struct {
    std::vector<std::string> arguments;
    std::string error;
  } kRefused[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--help", "--bogus"}, "unknown option '--bogus'"},
      {{"--demo=yes"}, "unknown option '--demo=yes'"},
      {{"--Demo"}, "unknown option '--Demo'"},
      {{"-platform", "offscreen"}, "unknown option '-platform'"},
      {{"capture.avi"}, "unexpected argument 'capture.avi" + kNoFiles},
      {{"-"}, "unexpected argument '-" + kNoFiles},
      {{"--", "--demo"}, "unexpected argument '--demo" + kNoFiles},
      {{"--simulation"}, kNoName},
      {{"--simulation="}, kNoName},
      {{"--simulation", ""}, kNoName},
      {{"--demo", "--simulation", "m"}, "--demo and --simulation name two machines: give only one"},
  };
  for (const auto& row : kRefused) {
    SCOPED_TRACE(Joined(row.arguments));
    const CommandLine line = ParseCommandLine(row.arguments);
    EXPECT_EQ(line.action, Action::kError);
    EXPECT_EQ(line.error, row.error);
  }
}

// ApplyCommandLine writes $VIDORRA_SIMULATION: AppTest puts it back after each test.
class CommandLineTest : public test::AppTest {
 protected:
  std::optional<int> Apply(const std::vector<std::string>& arguments) {
    out_.str({});
    err_.str({});
    return ApplyCommandLine(arguments, executableDir_, out_, err_);
  }
  static std::string Simulation() {
    const char* value = std::getenv("VIDORRA_SIMULATION");
    return value ? value : "<unset>";
  }
  std::filesystem::path Root() const { return dir_.path().toStdString(); }

  std::filesystem::path executableDir_ = Root() / "prefix" / "bin";
  std::ostringstream out_;
  std::ostringstream err_;
};

// Help and version are printed and end the run, a wrong command line is explained on standard
// error with status 2: none of them names a machine; no arguments run on the environment.
TEST_F(CommandLineTest, WhatIsPrintedAndTheExitStatus) {
  EXPECT_EQ(Apply({"--help"}), 0);
  EXPECT_NE(out_.str().find("Usage: vidorra [OPTION]..."), std::string::npos) << out_.str();
  for (const char* option : {"--demo", "--simulation FILE", "VIDORRA_SIMULATION", "--version"}) {
    EXPECT_NE(out_.str().find(option), std::string::npos) << option;
  }
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(Apply({"--version"}), 0);
  EXPECT_TRUE(out_.str().starts_with("Vidorra 2.")) << out_.str();
  EXPECT_EQ(out_.str().back(), '\n');
  EXPECT_EQ(Apply({"--bogus"}), 2);
  EXPECT_EQ(err_.str(),
            "vidorra: unknown option '--bogus'\n"
            "Try 'vidorra --help' for more information.\n");
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(Apply({"--demo", "--simulation", "m"}), 2);
  EXPECT_EQ(Simulation(), "<unset>");
  setenv("VIDORRA_SIMULATION", "/somewhere/machine", 1);
  EXPECT_EQ(Apply({}), std::nullopt);
  EXPECT_EQ(Simulation(), "/somewhere/machine");
  EXPECT_EQ(out_.str() + err_.str(), "");
}

TEST_F(CommandLineTest, SimulationNamesTheFileByItsAbsolutePathBeforeThePlatformReadsIt) {
  WriteFile(dir_.path() + QStringLiteral("/machines/tapes"),
            "registry HKCU\\Software\\Vidorra|Test|from the command line\n");
  setenv("VIDORRA_SIMULATION", "/elsewhere", 1);  // the option wins over the variable
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(Root());
  const std::optional<int> status = Apply({"--simulation", "machines/../machines/tapes"});
  std::filesystem::current_path(previous);
  EXPECT_EQ(status, std::nullopt) << err_.str();
  EXPECT_EQ(Simulation(), (Root() / "machines" / "tapes").string());

  win::SimulatedMachine::ReloadCurrentForTesting();
  const win::SimulatedMachine& machine = win::SimulatedMachine::Current();
  EXPECT_TRUE(machine.Active());
  ASSERT_EQ(machine.RegistryEdits().size(), 1u);
  EXPECT_EQ(machine.RegistryEdits()[0].data, "from the command line");
}

TEST_F(CommandLineTest, AMachineThatCannotBeReadStopsTheStartWithStatusOneAndTheDemoOne) {
  const std::string missing = (Root() / "none").string();
  EXPECT_EQ(Apply({"--simulation=" + missing}), 1);
  EXPECT_EQ(err_.str(), "vidorra: cannot read the simulated machine '" + missing +
                            "': No such file or directory\n");
  EXPECT_EQ(Apply({"--simulation", Root().string()}), 1);
  EXPECT_NE(err_.str().find(": Is a directory"), std::string::npos) << err_.str();
  EXPECT_EQ(Apply({"--demo"}), 1);
  EXPECT_EQ(err_.str(),
            "vidorra: no demo machine: " + (Root() / "prefix/share/vidorra/demo-machine").string() +
                ": No such file or directory\n");
  EXPECT_EQ(Simulation(), "<unset>");
  // The demo machine installed beside the program.
  WriteFile(dir_.path() + QStringLiteral("/prefix/share/vidorra/demo-machine"), "video dv Cam\n");
  EXPECT_EQ(DemoMachinePath(executableDir_), Root() / "prefix/share/vidorra/demo-machine");
  EXPECT_EQ(Apply({"--demo"}), std::nullopt) << err_.str();
  EXPECT_EQ(Simulation(), (Root() / "prefix/share/vidorra/demo-machine").string());
}

}  // namespace
}  // namespace vidorra
