// The program's command line. It is read before the application object exists, so that --help
// and --version work without a display, and so that a simulated machine is named in
// $VIDORRA_SIMULATION before the platform layer first reads that variable. The arguments are
// all the program's own: Qt is given none of them.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vidorra {

// What the arguments ask for.
struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kRepair, kError };
  Action action = Action::kRun;
  bool demo = false;
  std::string simulationFile;  // empty when none is given
  std::string error;           // for kError: what is wrong, one line
  std::vector<std::string> repairFiles;  // for kRepair: the recordings to make whole
};

// Exit status of a wrong command line; 1 is a command line that cannot be carried out.
inline constexpr int kUsageExitStatus = 2;
inline constexpr int kStartFailureExitStatus = 1;

// Reads the arguments that follow the program name. An error anywhere wins over --help and
// --version; --help wins over --version.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Where the demo machine of a program whose executable lies in `executableDir` is:
// ../share/vidorra/demo-machine from there. An installed program finds the installed file; the
// build tree links the same place to the file in the sources.
std::filesystem::path DemoMachinePath(const std::filesystem::path& executableDir);

// Carries out `arguments`: prints the help, the version or the error, repairs the files named
// after --repair (one line per file; the status is 0 when every file is whole afterwards), or
// names the simulated
// machine (the demo machine of `executableDir`, or the file given) in $VIDORRA_SIMULATION.
// Returns the exit status when the program must end now, nothing when it goes on to run.
std::optional<int> ApplyCommandLine(const std::vector<std::string>& arguments,
                                    const std::filesystem::path& executableDir, std::ostream& out,
                                    std::ostream& err);

// ApplyCommandLine for main(): argv after the program name, the running executable's folder,
// standard output and error. Also gives the application the name of its desktop entry.
std::optional<int> HandleCommandLine(int argc, char** argv);

}  // namespace vidorra
