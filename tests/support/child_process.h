// Parts of a test that must run in a process of their own: a process-wide setting (a file-size
// limit) that a failing assertion must not leave behind, or a recorder killed at a chosen moment.
// The test binary is started again (exec), with the name of a routine registered in it, so the
// child starts clean: no threads or locks of earlier tests, as a plain fork would copy them. The
// child reports to the parent in lines through a pipe.
//
//   const ChildRoutineRegistration kRecord("record", [](const std::vector<std::string>& args) {
//     ... ReportToParent("running"); ... return 0;
//   });
//   ChildProcess child("record", {path});
//   ASSERT_EQ(child.NextReport(), "running");
//   child.Kill();
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vidorra::test {

using ChildRoutine = std::function<int(const std::vector<std::string>& args)>;

// Registers a routine by name (at static initialisation).
struct ChildRoutineRegistration {
  ChildRoutineRegistration(const std::string& name, ChildRoutine routine);
};

class ChildProcess {
 public:
  ChildProcess(const std::string& routine, const std::vector<std::string>& args);
  // Kills and reaps a child still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line the child reported, waiting up to timeout; nullopt when it ended or when
  // nothing came in time.
  std::optional<std::string> NextReport(
      std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // SIGKILL.
  void Kill();
  // Waits for the child's end and returns its exit code, or 128 + the signal that ended it.
  int Wait();

 private:
  pid_t pid_ = -1;
  int reports_ = -1;
  std::string pending_;
  std::optional<int> status_;
};

// In the child: reports one line to the parent.
void ReportToParent(const std::string& line);

// Called by the test main before the tests: in a child, runs the routine named on the command
// line and returns its exit code; nullopt in the test process itself.
std::optional<int> RunChildRoutineIfAsked(int argc, char** argv);

}  // namespace vidorra::test
