#include "SimulatedMachine.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string_view>
#include <thread>

namespace vidorra::win {

namespace {

constexpr const char* kEnvironmentVariable = "VIDORRA_SIMULATION";

constexpr std::array<std::string_view, 12> kVideoKinds = {
    "dv",  "dv-ntsc",   "webcam", "capture", "tv",   "tv2",
    "vfw", "videoport", "nopins", "broken",  "v4l2", "dvfile"};
// The kinds whose rest of the line is a file they replay.
constexpr std::array<std::string_view, 2> kReplayKinds = {"v4l2", "dvfile"};
constexpr std::array<std::string_view, 3> kAudioKinds = {"tone", "tv-audio", "silence"};

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

// The file a machine was read from, and its text (a change of file is a change of text).
struct MachineSource {
  std::string path;
  std::string text;
  bool readable = false;
};

std::string PathFromEnvironment() {
  const char* path = std::getenv(kEnvironmentVariable);
  return path == nullptr ? std::string() : std::string(path);
}

MachineSource ReadSource(const std::string& path) {
  MachineSource source;
  source.path = path;
  if (path.empty()) return source;
  std::ifstream file(path, std::ios::binary);
  if (!file) return source;
  std::ostringstream text;
  text << file.rdbuf();
  source.text = text.str();
  source.readable = true;
  return source;
}

SimulatedMachine MachineOf(const MachineSource& source) {
  if (source.path.empty()) return SimulatedMachine();
  if (!source.readable) {
    std::cerr << "simulated machine: cannot read " << source.path << " (" << kEnvironmentVariable
              << "); no simulated device\n";
  }
  // Paths in the file are relative to where it really is (the build tree links the demo
  // machine from the sources).
  std::error_code error;
  const std::filesystem::path real = std::filesystem::weakly_canonical(source.path, error);
  return SimulatedMachine::Parse(source.text, std::cerr,
                                 (error ? std::filesystem::path(source.path) : real).parent_path().string());
}

// The current machine and the ones it replaced (kept so that references stay valid). Never
// destroyed: the watching thread may still read it while the program exits.
class MachineStore {
 public:
  static MachineStore& Instance() {
    static MachineStore* const store = new MachineStore();
    return *store;
  }

  const SimulatedMachine& Current() {
    std::lock_guard lock(mutex_);
    return *history_.back();
  }

  // Makes `source` current when its path or text differs from the current one's (or always,
  // when asked); returns the machines before and after, or nulls when nothing changed.
  std::pair<const SimulatedMachine*, const SimulatedMachine*> Replace(const MachineSource& source,
                                                                      bool always) {
    std::lock_guard lock(mutex_);
    if (!always && source.path == source_.path && source.text == source_.text &&
        source.readable == source_.readable) {
      return {nullptr, nullptr};
    }
    const SimulatedMachine* before = history_.back().get();
    history_.push_back(std::make_unique<SimulatedMachine>(MachineOf(source)));
    source_ = source;
    return {before, history_.back().get()};
  }

  std::string Path() {
    std::lock_guard lock(mutex_);
    return source_.path;
  }

 private:
  MachineStore() : source_(ReadSource(PathFromEnvironment())) {
    history_.push_back(std::make_unique<SimulatedMachine>(MachineOf(source_)));
  }

  std::mutex mutex_;
  MachineSource source_;
  std::vector<std::unique_ptr<SimulatedMachine>> history_;
};

// Watches the machine file with inotify on its folder (editors replace files by renaming) and
// tells the listeners. Every subscription holds it, so it outlives the last subscriber even at
// exit; its thread is joined when it goes.
//
// Locks: changeMutex_ is held while the machine changes and the listeners are told, and while
// (un)subscribing, so listeners hear changes one at a time and in order. threadMutex_ guards
// starting and stopping the thread; it is never taken with changeMutex_ held, and the thread
// takes only changeMutex_, so a join cannot wait on a thread that waits on the joiner.
class MachineWatcher {
 public:
  static std::shared_ptr<MachineWatcher> Instance() {
    static const std::shared_ptr<MachineWatcher> watcher(new MachineWatcher());
    return watcher;
  }

  ~MachineWatcher() {
    std::lock_guard lock(threadMutex_);
    StopThread();
  }

  int Subscribe(MachineListener listener) {
    int id = 0;
    {
      std::lock_guard lock(changeMutex_);
      id = nextId_++;
      listeners_.emplace(id, std::move(listener));
    }
    std::lock_guard lock(threadMutex_);
    if (!watching_) {
      watching_ = true;
      StartThread(MachineStore::Instance().Path());
    }
    return id;
  }

  void Unsubscribe(int id) {
    std::lock_guard lock(changeMutex_);
    listeners_.erase(id);
  }

  // Reads the file that $VIDORRA_SIMULATION names now, watches it, and tells the listeners.
  void ReloadFromEnvironment() {
    const std::string path = PathFromEnvironment();
    {
      std::lock_guard lock(threadMutex_);
      if (watching_ && path != watchedPath_) {
        StopThread();
        StartThread(path);
      }
    }
    Reload(ReadSource(path), true);
  }

 private:
  MachineWatcher() = default;

  void Reload(const MachineSource& source, bool always) {
    std::lock_guard lock(changeMutex_);
    const auto [before, after] = MachineStore::Instance().Replace(source, always);
    if (!before) return;
    for (const auto& [id, listener] : listeners_) listener(*before, *after);
  }

  // Called with threadMutex_ held. The watch is in place when this returns, so a change made
  // afterwards is never missed; the thread also reads the file once at its start, for a change
  // made since the machine was read.
  void StartThread(const std::string& path) {
    watchedPath_ = path;
    if (path.empty()) return;
    const std::filesystem::path file(path);
    const std::string folder = file.has_parent_path() ? file.parent_path().string() : ".";
    constexpr uint32_t kMask =
        IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;
    eventsFd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (eventsFd_ < 0 || wakeFd_ < 0 || ::inotify_add_watch(eventsFd_, folder.c_str(), kMask) < 0) {
      std::cerr << "simulated machine: cannot watch " << path << "\n";
      CloseDescriptors();
      return;
    }
    thread_ = std::thread([this, path, name = file.filename().string(), events = eventsFd_,
                           wake = wakeFd_] { Watch(path, name, events, wake); });
  }

  // Called with threadMutex_ held.
  void StopThread() {
    if (wakeFd_ >= 0) {
      const uint64_t one = 1;
      [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    CloseDescriptors();
  }

  void CloseDescriptors() {
    for (int* fd : {&eventsFd_, &wakeFd_}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }

  // The watching thread: waits for events on the file's name in its folder, lets a burst of
  // writes settle, then reads the file again.
  void Watch(const std::string& path, const std::string& name, int events, int wake) {
    bool pending = true;  // the first read catches up with a change made before the watch
    for (;;) {
      pollfd fds[2] = {{wake, POLLIN, 0}, {events, POLLIN, 0}};
      const int ready = ::poll(fds, 2, pending ? kSettleMs : -1);
      if (ready < 0 && errno != EINTR) break;
      if (fds[0].revents & POLLIN) break;
      if (ready == 0 && pending) {
        pending = false;
        Reload(ReadSource(path), false);
        continue;
      }
      if (fds[1].revents & POLLIN) pending = ConcernsFile(events, name) || pending;
    }
  }

  // Drains the inotify queue; true when an event names the file.
  static bool ConcernsFile(int events, const std::string& name) {
    bool concerns = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t length = ::read(events, buffer, sizeof buffer);
      if (length <= 0) return concerns;
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && name == event->name) concerns = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

  // A write is often several system calls: the file is read once they have settled.
  static constexpr int kSettleMs = 30;

  std::mutex changeMutex_;
  std::map<int, MachineListener> listeners_;
  int nextId_ = 1;

  std::mutex threadMutex_;
  bool watching_ = false;
  std::string watchedPath_;
  std::thread thread_;
  int eventsFd_ = -1;
  int wakeFd_ = -1;
};

class Subscription : public MachineWatch {
 public:
  Subscription(std::shared_ptr<MachineWatcher> watcher, int id)
      : watcher_(std::move(watcher)), id_(id) {}
  ~Subscription() override { watcher_->Unsubscribe(id_); }

 private:
  std::shared_ptr<MachineWatcher> watcher_;
  int id_;
};

}  // namespace

const SimulatedMachine& SimulatedMachine::Current() { return MachineStore::Instance().Current(); }

void SimulatedMachine::ReloadCurrentForTesting() {
  MachineWatcher::Instance()->ReloadFromEnvironment();
}

std::unique_ptr<MachineWatch> SimulatedMachine::Watch(MachineListener listener) {
  std::shared_ptr<MachineWatcher> watcher = MachineWatcher::Instance();
  const int id = watcher->Subscribe(std::move(listener));
  return std::make_unique<Subscription>(std::move(watcher), id);
}

SimulatedMachine SimulatedMachine::Parse(const std::string& text, std::ostream& errors,
                                         const std::string& folder) {
  SimulatedMachine machine;
  machine.active_ = true;
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    const std::string directive = Trim(line);
    if (directive.empty() || IsComment(directive)) continue;
    machine.ParseLine(directive, lineNumber, errors, folder);
  }
  return machine;
}

bool SimulatedMachine::IsFilterHidden(const std::string& friendlyNameUtf8) const {
  return std::find(hiddenFilters_.begin(), hiddenFilters_.end(), friendlyNameUtf8) !=
         hiddenFilters_.end();
}

void SimulatedMachine::ParseLine(const std::string& line, int lineNumber, std::ostream& errors,
                                 const std::string& folder) {
  std::string word;
  std::string rest;
  SplitWord(line, word, rest);
  if (word == kVideoDirective) return ParseDevice(rest, true, lineNumber, errors, folder);
  if (word == kAudioDirective) return ParseDevice(rest, false, lineNumber, errors, folder);
  if (word == kRegistryDirective) return ParseRegistry(rest, lineNumber, errors);
  if (word == kHideFilterDirective) {
    if (rest.empty()) {
      ErrorAt(errors, lineNumber) << "hide-filter needs a filter name\n";
      return;
    }
    hiddenFilters_.push_back(rest);
    return;
  }
  if (word == kRealDevicesDirective) {
    if (!rest.empty()) {
      ErrorAt(errors, lineNumber) << "real-devices takes nothing after it\n";
      return;
    }
    listsRealDevices_ = true;
    return;
  }
  ErrorAt(errors, lineNumber) << "unknown directive \"" << word << "\"\n";
}

void SimulatedMachine::ParseDevice(const std::string& rest, bool video, int lineNumber,
                                   std::ostream& errors, const std::string& folder) {
  std::string kind;
  std::string name;
  SplitWord(rest, kind, name);
  const bool known = video ? Contains(kVideoKinds, kind) : Contains(kAudioKinds, kind);
  if (!known) {
    ErrorAt(errors, lineNumber) << "unknown " << (video ? "video" : "audio") << " kind \"" << kind
                                << "\"\n";
    return;
  }
  if (video && Contains(kReplayKinds, kind)) {
    if (name.empty()) {
      ErrorAt(errors, lineNumber) << kind << " needs the path of the file it replays\n";
      return;
    }
    std::filesystem::path path(name);
    if (path.is_relative() && !folder.empty()) path = std::filesystem::path(folder) / path;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      ErrorAt(errors, lineNumber) << "cannot read " << path.string() << "\n";
      return;
    }
    videoDevices_.push_back(SimulatedDevice{kind, name, lineNumber, path.string()});
    return;
  }
  if (name.empty()) {
    ErrorAt(errors, lineNumber) << "device without a friendly name\n";
    return;
  }
  (video ? videoDevices_ : audioDevices_).push_back(SimulatedDevice{kind, name, lineNumber, {}});
}

void SimulatedMachine::ParseRegistry(const std::string& rest, int lineNumber,
                                     std::ostream& errors) {
  RegistryEdit edit;
  edit.line = lineNumber;
  const size_t first = rest.find(kRegistrySeparator);
  const std::string keyText = first == std::string::npos ? rest : rest.substr(0, first);
  if (!NormaliseRegistryKey(keyText, edit.key)) {
    ErrorAt(errors, lineNumber) << "registry key \"" << keyText
                                << "\" must begin with HKCU\\ or HKLM\\\n";
    return;
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
