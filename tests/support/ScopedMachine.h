// Points the platform at a simulated machine described by `text` for one scope, and back at
// whatever it used before; the file, in a folder of its own, goes with the scope.
#pragma once

#include <SimulatedMachine.h>
#include <scoped_env.h>
#include <temp_dir.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace vidorra::test {

class ScopedMachine {
 public:
  explicit ScopedMachine(const std::string& text) {
    std::ofstream(path_) << text;
    env_.Set("VIDORRA_SIMULATION", path_);
    win::SimulatedMachine::ReloadCurrentForTesting();
  }
  ~ScopedMachine() {
    env_.Restore();
    win::SimulatedMachine::ReloadCurrentForTesting();
  }
  ScopedMachine(const ScopedMachine&) = delete;
  ScopedMachine& operator=(const ScopedMachine&) = delete;
  const std::string& Path() const { return path_; }

  // Replaces the file's text as an editor does (a new file renamed over the old one): the
  // machine's watcher plugs and unplugs what changed.
  void Rewrite(const std::string& text) {
    std::ofstream(folder_.File("machine.next")) << text;
    std::filesystem::rename(folder_.File("machine.next"), path_);
  }

 private:
  TempDir folder_;
  const std::string path_ = folder_.File("machine.txt");
  ScopedEnv env_;
};

}  // namespace vidorra::test
