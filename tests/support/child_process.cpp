#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

namespace vidorra::test {

namespace {

constexpr char kChildFlag[] = "--vidorra-child=";
constexpr char kReportFdVariable[] = "VIDORRA_TEST_REPORT_FD";

std::map<std::string, ChildRoutine>& Routines() {
  static std::map<std::string, ChildRoutine> routines;
  return routines;
}

}  // namespace

ChildRoutineRegistration::ChildRoutineRegistration(const std::string& name, ChildRoutine routine) {
  Routines()[name] = std::move(routine);
}

ChildProcess::ChildProcess(const std::string& routine, const std::vector<std::string>& args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  // Everything the child needs is prepared before fork: after it, only exec.
  std::vector<std::string> words = {"/proc/self/exe", kChildFlag + routine};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string fdText = std::to_string(fds[1]);
  char exe[4096];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return;
  exe[n] = '\0';
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::fcntl(fds[1], F_SETFD, 0);  // the write end survives exec
    ::setenv(kReportFdVariable, fdText.c_str(), 1);
    ::execv(exe, argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    return;
  }
  pid_ = pid;
  reports_ = fds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !status_) {
    Kill();
    Wait();
  }
  if (reports_ >= 0) ::close(reports_);
}

std::optional<std::string> ChildProcess::NextReport(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      std::string line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return line;
    }
    if (reports_ < 0) return std::nullopt;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{reports_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    char buffer[256];
    const ssize_t got = ::read(reports_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ::close(reports_);
      reports_ = -1;
      continue;
    }
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

void ChildProcess::Kill() {
  if (pid_ > 0 && !status_) ::kill(pid_, SIGKILL);
}

int ChildProcess::Wait() {
  if (pid_ <= 0) return -1;
  if (!status_) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return *status_;
}

void ReportToParent(const std::string& line) {
  const char* fdText = std::getenv(kReportFdVariable);
  if (!fdText) return;
  const int fd = std::atoi(fdText);
  const std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::optional<int> RunChildRoutineIfAsked(int argc, char** argv) {
  if (argc < 2 || std::strncmp(argv[1], kChildFlag, std::strlen(kChildFlag)) != 0) {
    return std::nullopt;
  }
  const std::string name = argv[1] + std::strlen(kChildFlag);
  const auto routine = Routines().find(name);
  if (routine == Routines().end()) return 126;
  return routine->second(std::vector<std::string>(argv + 2, argv + argc));
}

}  // namespace vidorra::test
