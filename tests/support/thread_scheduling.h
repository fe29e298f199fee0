// How the process's threads are scheduled and what CPU they used, as /proc shows them (by the
// names the platform gives its threads), and whether this process may raise a thread of its own at all.
#pragma once

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vidorra::test {

struct ThreadScheduling {
  std::string name;
  int nice = 0, policy = SCHED_OTHER;
  double cpuSeconds = 0;  // user and system time so far
  bool main = false;      // the process's first thread
  bool Raised() const { return policy != SCHED_OTHER || nice < 0; }
};

inline std::vector<ThreadScheduling> ProcessThreads() {
  std::vector<ThreadScheduling> threads;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(task.path() / "stat");
    std::string line;
    std::getline(in, line);
    const size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    ThreadScheduling thread{line.substr(open + 1, close - open - 1)};
    thread.main = task.path().filename() == std::to_string(::getpid());
    // After the name: field 3 (state) onwards; user and system time are fields 14 and 15 (in
    // clock ticks), nice is field 19, the policy field 41.
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    for (int i = 3; i <= 41 && fields >> field; ++i) {
      if (i == 14 || i == 15) thread.cpuSeconds += std::stod(field) / tick;
      if (i == 19) thread.nice = std::stoi(field);
      if (i == 41) thread.policy = std::stoi(field);
    }
    threads.push_back(thread);
  }
  return threads;
}

// Whether a thread of this process may lower its own nice level (the capture path's way when no
// service makes it real-time).
inline bool MayRaiseThreads() {
  bool may = false;
  std::thread([&] { may = ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -1) == 0; })
      .join();
  return may;
}

}  // namespace vidorra::test
