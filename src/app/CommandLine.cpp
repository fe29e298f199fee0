#include "CommandLine.h"

#include <fcntl.h>
#include <unistd.h>

#include <comimpl.h>
#include <vidorra_repair.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>
#include <system_error>

#include "RecordingJournal.h"

#ifndef VIDORRA_VERSION
#error "VIDORRA_VERSION is set by the build (cmake/VidorraInstall.cmake)"
#endif

namespace vidorra {

namespace {

constexpr std::string_view kProgram = "vidorra";
constexpr const char* kSimulationVariable = "VIDORRA_SIMULATION";
// Base name of the desktop entry and of the metainfo (the compositor matches windows to it).
constexpr const char* kDesktopFileName = "fr.orvale.Vidorra";
constexpr std::string_view kDemoMachine = "../share/vidorra/demo-machine";

constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kShortHelpOption = "-h";
constexpr std::string_view kVersionOption = "--version";
constexpr std::string_view kDemoOption = "--demo";
constexpr std::string_view kSimulationOption = "--simulation";
constexpr std::string_view kRepairOption = "--repair";
constexpr std::string_view kEndOfOptions = "--";

constexpr std::string_view kHelp =
    "Usage: vidorra [OPTION]...\n"
    "Preview and record video from capture devices: DV camcorders, webcams, analogue\n"
    "capture and TV cards, with sound from a separate audio device.\n"
    "\n"
    "      --demo             run on the bundled demo machine (no hardware needed)\n"
    "      --simulation FILE  run on the simulated machine described in FILE\n"
    "                         (the same as VIDORRA_SIMULATION=FILE in the environment)\n"
    "      --repair FILE...   make whole the AVI recordings left unfinished by a crash\n"
    "                         (exit status 0 when every file is whole afterwards)\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "Recordings (AVI) go to the user's video folder and images (BMP or JPEG) to the\n"
    "pictures folder (XDG user directories). Full documentation: man vidorra\n";

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

CommandLine Error(std::string message) {
  CommandLine line;
  line.action = CommandLine::Action::kError;
  line.error = std::move(message);
  return line;
}

// Empty when `file` can be read, else the reason it cannot.
std::string WhyUnreadable(const std::filesystem::path& file) {
  std::error_code ignored;
  if (std::filesystem::is_directory(file, ignored)) return std::strerror(EISDIR);
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return {};
}

// The machine file to name in the environment, or the exit status when there is none.
std::optional<int> ResolveMachine(const CommandLine& line,
                                  const std::filesystem::path& executableDir, std::ostream& err,
                                  std::filesystem::path& machine) {
  machine = line.demo ? DemoMachinePath(executableDir) : std::filesystem::path(line.simulationFile);
  if (const std::string why = WhyUnreadable(machine); !why.empty()) {
    if (line.demo) {
      err << kProgram << ": no demo machine: " << machine.string() << ": " << why << "\n";
    } else {
      err << kProgram << ": cannot read the simulated machine " << Quoted(line.simulationFile)
          << ": " << why << "\n";
    }
    return kStartFailureExitStatus;
  }
  // Absolute, so that the platform finds (and keeps watching) the same file whatever the
  // working folder becomes.
  std::error_code ignored;
  machine = std::filesystem::absolute(machine, ignored).lexically_normal();
  return std::nullopt;
}

// Repairs each file, telling on `out` what it found and did; 0 when all are whole afterwards.
int RepairFiles(const std::vector<std::string>& files, std::ostream& out) {
  int status = EXIT_SUCCESS;
  const QStringList recording = RecordingJournal::BeingRecorded();
  for (const std::string& file : files) {
    const QString absolute = QFileInfo(QString::fromStdString(file)).absoluteFilePath();
    if (recording.contains(absolute)) {
      out << file << ": being recorded by a running program: left as it is\n";
      status = kStartFailureExitStatus;
      continue;
    }
    VIDORRA_AVI_REPAIR result{};
    const HRESULT hr = VidorraRepairAviFile(Utf8ToWide(file).c_str(), &result);
    if (hr != S_OK) status = kStartFailureExitStatus;
    const std::string reason = WideToUtf8(result.reason);
    char length[96];
    std::snprintf(length, sizeof length, "%llu frames, %.2f s",
                  static_cast<unsigned long long>(result.frames), result.seconds);
    out << file << ": ";
    switch (result.outcome) {
      case VIDORRA_AVI_WHOLE:
        out << "whole, left as it is (" << length << ")\n";
        break;
      case VIDORRA_AVI_REPAIRED:
        out << "repaired: " << length << " kept";
        if (result.tornBytes > 0) out << ", " << result.tornBytes << " bytes of a torn end cut off";
        out << "\n";
        break;
      case VIDORRA_AVI_NOT_REPAIRABLE:
        out << "not repaired, left as it is: " << reason << "\n";
        break;
      case VIDORRA_AVI_REPAIR_FAILED:
        out << "repair failed (" << reason << "): run it again once the cause is mended\n";
        break;
    }
  }
  return status;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool help = false;
  bool version = false;
  bool repair = false;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    const bool isOption =
        !optionsEnded && !argument.empty() && argument.front() == '-' && argument != "-";
    if (!isOption && repair) {
      line.repairFiles.emplace_back(argument);
      continue;
    }
    if (!isOption) {
      return Error("unexpected argument " + Quoted(argument) + ": vidorra takes no file names");
    }
    if (argument == kEndOfOptions) {
      optionsEnded = true;
    } else if (argument == kHelpOption || argument == kShortHelpOption) {
      help = true;
    } else if (argument == kVersionOption) {
      version = true;
    } else if (argument == kRepairOption) {
      repair = true;
    } else if (argument == kDemoOption) {
      line.demo = true;
    } else if (argument == kSimulationOption ||
               argument.starts_with(std::string(kSimulationOption) + "=")) {
      if (argument == kSimulationOption) {
        if (i + 1 == arguments.size()) {
          return Error("option " + Quoted(kSimulationOption) + " needs a file name");
        }
        line.simulationFile = arguments[++i];
      } else {
        line.simulationFile = argument.substr(kSimulationOption.size() + 1);
      }
      if (line.simulationFile.empty()) {
        return Error("option " + Quoted(kSimulationOption) + " needs a file name");
      }
    } else {
      return Error("unknown option " + Quoted(argument));
    }
  }
  if (line.demo && !line.simulationFile.empty()) {
    return Error("--demo and --simulation name two machines: give only one");
  }
  if (repair && line.repairFiles.empty()) {
    return Error("option " + Quoted(kRepairOption) + " needs the files to repair");
  }
  if (repair && (line.demo || !line.simulationFile.empty())) {
    return Error("--repair runs no machine: give it only files");
  }
  if (help) {
    line.action = CommandLine::Action::kHelp;
  } else if (version) {
    line.action = CommandLine::Action::kVersion;
  } else if (repair) {
    line.action = CommandLine::Action::kRepair;
  }
  return line;
}

std::filesystem::path DemoMachinePath(const std::filesystem::path& executableDir) {
  return (executableDir / kDemoMachine).lexically_normal();
}

std::optional<int> ApplyCommandLine(const std::vector<std::string>& arguments,
                                    const std::filesystem::path& executableDir, std::ostream& out,
                                    std::ostream& err) {
  const CommandLine line = ParseCommandLine(arguments);
  switch (line.action) {
    case CommandLine::Action::kError:
      err << kProgram << ": " << line.error << "\n"
          << "Try 'vidorra --help' for more information.\n";
      return kUsageExitStatus;
    case CommandLine::Action::kHelp:
      out << kHelp;
      return EXIT_SUCCESS;
    case CommandLine::Action::kVersion:
      out << "Vidorra " << VIDORRA_VERSION << "\n";
      return EXIT_SUCCESS;
    case CommandLine::Action::kRepair:
      return RepairFiles(line.repairFiles, out);
    case CommandLine::Action::kRun:
      break;
  }
  if (!line.demo && line.simulationFile.empty()) return std::nullopt;
  std::filesystem::path machine;
  if (const std::optional<int> status = ResolveMachine(line, executableDir, err, machine)) {
    return status;
  }
  setenv(kSimulationVariable, machine.c_str(), 1);
  return std::nullopt;
}

std::optional<int> HandleCommandLine(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
  return ApplyCommandLine(arguments, error ? std::filesystem::path() : executable.parent_path(),
                          std::cout, std::cerr);
}

}  // namespace vidorra
