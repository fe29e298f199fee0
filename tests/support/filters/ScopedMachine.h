// Points the platform at a simulated machine described by `text` for one scope, and back at
// whatever it used before (the file goes with the scope).
#pragma once

#include <SimulatedMachine.h>
#include <scoped_env.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vidorra::test {

class ScopedMachine {
 public:
  explicit ScopedMachine(const std::string& text)
      : path_(std::filesystem::temp_directory_path() /
              ("vidorra-machine-" + std::to_string(::getpid()) + "-" +
               std::to_string(reinterpret_cast<uintptr_t>(this)) + ".txt")) {
    std::ofstream(path_) << text;
    env_.Set("VIDORRA_SIMULATION", path_.string());
    win::SimulatedMachine::ReloadCurrentForTesting();
  }
  ~ScopedMachine() {
    env_.Restore();
    win::SimulatedMachine::ReloadCurrentForTesting();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  ScopedMachine(const ScopedMachine&) = delete;
  ScopedMachine& operator=(const ScopedMachine&) = delete;

 private:
  std::filesystem::path path_;
  ScopedEnv env_;
};

}  // namespace vidorra::test
