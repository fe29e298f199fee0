#include "SimulatedMachine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string_view>

namespace vidorra::win {

namespace {

constexpr const char* kEnvironmentVariable = "VIDORRA_SIMULATION";

constexpr std::array<std::string_view, 10> kVideoKinds = {
    "dv", "dv-ntsc", "webcam", "capture", "tv", "tv2", "vfw", "videoport", "nopins", "broken"};
constexpr std::array<std::string_view, 2> kAudioKinds = {"tone", "tv-audio"};

constexpr std::string_view kVideoDirective = "video";
constexpr std::string_view kAudioDirective = "audio";
constexpr std::string_view kHideFilterDirective = "hide-filter";
constexpr std::string_view kRegistryDirective = "registry";
constexpr std::string_view kRealDevicesDirective = "real-devices";

struct RootAlias {
  std::string_view name;
  std::string_view root;
};
constexpr std::array<RootAlias, 4> kRegistryRoots = {{
    {"HKCU", "HKCU"},
    {"HKEY_CURRENT_USER", "HKCU"},
    {"HKLM", "HKLM"},
    {"HKEY_LOCAL_MACHINE", "HKLM"},
}};

constexpr char kRegistrySeparator = '|';
constexpr char kCommentMark = '#';

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// A comment line is one whose first non-blank character is '#'.
bool IsComment(const std::string& trimmedLine) {
  return !trimmedLine.empty() && trimmedLine.front() == kCommentMark;
}

// Splits "WORD rest" at the first blank; rest is trimmed.
void SplitWord(const std::string& text, std::string& word, std::string& rest) {
  size_t i = 0;
  while (i < text.size() && !IsBlank(text[i])) ++i;
  word = text.substr(0, i);
  rest = Trim(std::string_view(text).substr(i));
}

template <size_t N>
bool Contains(const std::array<std::string_view, N>& table, const std::string& word) {
  return std::find(table.begin(), table.end(), word) != table.end();
}

std::ostream& ErrorAt(std::ostream& errors, int lineNumber) {
  return errors << "simulated machine, line " << lineNumber << ": ";
}

std::mutex& CurrentMutex() {
  static std::mutex mutex;
  return mutex;
}

SimulatedMachine LoadFromEnvironment() {
  const char* path = std::getenv(kEnvironmentVariable);
  if (path == nullptr || *path == '\0') return SimulatedMachine();
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::cerr << "simulated machine: cannot read " << path << " (" << kEnvironmentVariable
              << "); no simulated device\n";
    return SimulatedMachine::Parse(std::string(), std::cerr);
  }
  std::ostringstream text;
  text << file.rdbuf();
  return SimulatedMachine::Parse(text.str(), std::cerr);
}

SimulatedMachine& CurrentStorage() {
  static SimulatedMachine machine = LoadFromEnvironment();
  return machine;
}

}  // namespace

const SimulatedMachine& SimulatedMachine::Current() {
  std::lock_guard lock(CurrentMutex());
  return CurrentStorage();
}

void SimulatedMachine::ReloadCurrentForTesting() {
  std::lock_guard lock(CurrentMutex());
  CurrentStorage() = LoadFromEnvironment();
}

SimulatedMachine SimulatedMachine::Parse(const std::string& text, std::ostream& errors) {
  SimulatedMachine machine;
  machine.active_ = true;
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    const std::string directive = Trim(line);
    if (directive.empty() || IsComment(directive)) continue;
    machine.ParseLine(directive, lineNumber, errors);
  }
  return machine;
}

bool SimulatedMachine::IsFilterHidden(const std::string& friendlyNameUtf8) const {
  return std::find(hiddenFilters_.begin(), hiddenFilters_.end(), friendlyNameUtf8) !=
         hiddenFilters_.end();
}

bool SimulatedMachine::ParseLine(const std::string& line, int lineNumber, std::ostream& errors) {
  std::string word;
  std::string rest;
  SplitWord(line, word, rest);
  if (word == kVideoDirective) return ParseDevice(rest, true, lineNumber, errors);
  if (word == kAudioDirective) return ParseDevice(rest, false, lineNumber, errors);
  if (word == kRegistryDirective) return ParseRegistry(rest, lineNumber, errors);
  if (word == kHideFilterDirective) {
    if (rest.empty()) {
      ErrorAt(errors, lineNumber) << "hide-filter needs a filter name\n";
      return false;
    }
    hiddenFilters_.push_back(rest);
    return true;
  }
  if (word == kRealDevicesDirective) {
    if (!rest.empty()) {
      ErrorAt(errors, lineNumber) << "real-devices takes nothing after it\n";
      return false;
    }
    listsRealDevices_ = true;
    return true;
  }
  ErrorAt(errors, lineNumber) << "unknown directive \"" << word << "\"\n";
  return false;
}

bool SimulatedMachine::ParseDevice(const std::string& rest, bool video, int lineNumber,
                                   std::ostream& errors) {
  std::string kind;
  std::string name;
  SplitWord(rest, kind, name);
  const bool known = video ? Contains(kVideoKinds, kind) : Contains(kAudioKinds, kind);
  if (!known) {
    ErrorAt(errors, lineNumber) << "unknown " << (video ? "video" : "audio") << " kind \"" << kind
                                << "\"\n";
    return false;
  }
  if (name.empty()) {
    ErrorAt(errors, lineNumber) << "device without a friendly name\n";
    return false;
  }
  (video ? videoDevices_ : audioDevices_).push_back(SimulatedDevice{kind, name, lineNumber});
  return true;
}

bool SimulatedMachine::ParseRegistry(const std::string& rest, int lineNumber,
                                     std::ostream& errors) {
  RegistryEdit edit;
  edit.line = lineNumber;
  const size_t first = rest.find(kRegistrySeparator);
  const std::string keyText = first == std::string::npos ? rest : rest.substr(0, first);
  if (!NormaliseRegistryKey(keyText, edit.key)) {
    ErrorAt(errors, lineNumber) << "registry key \"" << keyText
                                << "\" must begin with HKCU\\ or HKLM\\\n";
    return false;
  }
  if (first == std::string::npos) {
    edit.kind = RegistryEdit::Kind::kRemoveKey;
  } else {
    const size_t second = rest.find(kRegistrySeparator, first + 1);
    if (second == std::string::npos) {
      edit.kind = RegistryEdit::Kind::kRemoveValue;
      edit.value = rest.substr(first + 1);
    } else {
      edit.kind = RegistryEdit::Kind::kSetValue;
      edit.value = rest.substr(first + 1, second - first - 1);
      edit.data = rest.substr(second + 1);
    }
  }
  registryEdits_.push_back(std::move(edit));
  return true;
}

bool SimulatedMachine::NormaliseRegistryKey(const std::string& text, std::string& normalised) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(Trim(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!Trim(part).empty()) parts.push_back(Trim(part));
  parts.erase(std::remove(parts.begin(), parts.end(), std::string()), parts.end());
  if (parts.empty()) return false;
  const auto root =
      std::find_if(kRegistryRoots.begin(), kRegistryRoots.end(),
                   [&](const RootAlias& alias) { return EqualsNoCase(alias.name, parts[0]); });
  if (root == kRegistryRoots.end()) return false;
  normalised = std::string(root->root);
  for (size_t i = 1; i < parts.size(); ++i) normalised += "\\" + parts[i];
  return true;
}

}  // namespace vidorra::win
