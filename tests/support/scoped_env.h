// Environment variables changed for one scope (a test, a fixture) and put back as they were,
// also when the test fails half-way.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vidorra::test {

class ScopedEnv {
 public:
  ScopedEnv() = default;
  // Sets (or, with nullopt, removes) one variable.
  ScopedEnv(const char* name, std::optional<std::string> value) { Set(name, std::move(value)); }
  ~ScopedEnv() { Restore(); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  // Sets (or removes) a variable; the value it had before the first Set comes back on Restore.
  void Set(const std::string& name, std::optional<std::string> value) {
    bool known = false;
    for (const auto& entry : saved_) known = known || entry.first == name;
    if (!known) {
      const char* old = ::getenv(name.c_str());
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  // Puts every variable back (latest first); nothing is left to restore afterwards.
  void Restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
    saved_.clear();
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace vidorra::test
