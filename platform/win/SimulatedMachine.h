// The simulated machine: capture devices, hidden system filters and registry values described
// by a text file, so tests and demos run without capture hardware. Only the platform reads it.
//
// The file is named by $VIDORRA_SIMULATION; without it the machine is inactive (only real
// devices exist). One directive a line; a line whose first non-blank character is '#' is a
// comment. A '#' further on belongs to the directive, so names such as "Camera #2" work.
//
//   video KIND FRIENDLY NAME...   a video capture device, listed in file order. KIND is one of
//                                 dv dv-ntsc webcam capture tv tv2 vfw videoport nopins broken
//   video v4l2 PATH               a V4L2 device replayed from what v4l2-ctl printed for it
//   video dvfile PATH             a DV camcorder whose tape is the raw DV file PATH
//                                 (PATH: the rest of the line, relative to the machine file's
//                                 folder when not absolute; a file that cannot be read is
//                                 reported as a malformed line)
//   audio KIND FRIENDLY NAME...   an audio capture device; KIND is tone or tv-audio
//   hide-filter FRIENDLY NAME...  leave this system filter unregistered
//   registry KEY|VALUE|DATA       set (add or override) the string value VALUE of KEY to DATA;
//                                 DATA may be empty ("KEY|VALUE|" gives an empty string)
//   registry KEY|VALUE            (no "|DATA" part) remove the value VALUE of KEY
//   registry KEY                  (no '|' at all) remove the key KEY with all its values
//   real-devices                  list the real devices too, after the simulated ones
//
// KEY is HKCU\... or HKLM\... (HKEY_CURRENT_USER\..., HKEY_LOCAL_MACHINE\... too); registry
// edits apply in file order on top of the platform's own values. Names are matched without
// regard to case, as the registry does. An empty VALUE names the key's default value.
//
// A malformed line is reported on the error stream with its line number and ignored.
//
// Hot-plug: from the first Watch on, the file is watched for the rest of the run (on a thread
// of its own). When it is written, replaced or removed, it is read again and becomes the
// current machine, and each watcher is told with the machines before and after the change, on
// the watching thread. A device line removed is a device unplugged, a line added one plugged in.
//
// Threads: Current() may be called from any thread. A machine never changes once made: a
// change of file makes a new one, and the replaced machines stay alive for the process, so a
// reference from Current() stays valid (a file changes a handful of times in a run).
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace vidorra::win {

struct SimulatedDevice {
  std::string kind;
  std::string friendlyName;  // for the kinds that replay a file: the path as the line gives it
  int line = 0;              // line of the file that describes it (1-based)
  std::string path;          // the kinds that replay a file: the file, resolved
};

// One `registry` directive. Key is normalised: "HKCU" or "HKLM", then the subkey path with
// single backslashes, no leading or trailing one (e.g. "HKCU\Software\Microsoft").
struct RegistryEdit {
  enum class Kind { kSetValue, kRemoveValue, kRemoveKey };
  Kind kind = Kind::kSetValue;
  std::string key;
  std::string value;
  std::string data;
  int line = 0;
};

class SimulatedMachine;

// Told of a change of machine: the machine before and the one now current. Called on the
// watching thread (or the thread of ReloadCurrentForTesting), one change at a time.
using MachineListener =
    std::function<void(const SimulatedMachine& before, const SimulatedMachine& after)>;

// A listener's subscription; destroying it unsubscribes, waiting for a call in progress (so
// it must not be destroyed from inside the listener).
class MachineWatch {
 public:
  virtual ~MachineWatch() = default;
};

class SimulatedMachine {
 public:
  // The machine named by $VIDORRA_SIMULATION, read at first use; inactive when unset. A file
  // that cannot be read is reported on stderr and gives an active machine with no directives.
  static const SimulatedMachine& Current();
  // Re-reads $VIDORRA_SIMULATION and the file it names, tells the watchers, and watches the
  // file it names now.
  static void ReloadCurrentForTesting();
  // Starts telling `listener` of every change of the current machine, and watches the file.
  static std::unique_ptr<MachineWatch> Watch(MachineListener listener);
  // Reads the directives of `text`; malformed lines are reported on `errors` and skipped.
  // Relative paths of replayed devices are taken from `folder` (the machine file's).
  static SimulatedMachine Parse(const std::string& text, std::ostream& errors,
                                const std::string& folder = {});

  SimulatedMachine() = default;

  // True when a simulated machine is in force (the variable is set, or the machine was parsed).
  bool Active() const { return active_; }
  const std::vector<SimulatedDevice>& VideoDevices() const { return videoDevices_; }
  const std::vector<SimulatedDevice>& AudioDevices() const { return audioDevices_; }
  bool IsFilterHidden(const std::string& friendlyNameUtf8) const;
  const std::vector<std::string>& HiddenFilters() const { return hiddenFilters_; }
  bool ListsRealDevices() const { return listsRealDevices_; }
  const std::vector<RegistryEdit>& RegistryEdits() const { return registryEdits_; }

  // Normalises a registry key text as RegistryEdit::key holds it; false when its root is not
  // HKCU or HKLM. Shared with the registry so both sides agree on key names.
  static bool NormaliseRegistryKey(const std::string& text, std::string& normalised);

 private:
  void ParseLine(const std::string& line, int lineNumber, std::ostream& errors,
                 const std::string& folder);
  void ParseDevice(const std::string& rest, bool video, int lineNumber, std::ostream& errors,
                   const std::string& folder);
  void ParseRegistry(const std::string& rest, int lineNumber, std::ostream& errors);

  bool active_ = false;
  std::vector<SimulatedDevice> videoDevices_;
  std::vector<SimulatedDevice> audioDevices_;
  std::vector<std::string> hiddenFilters_;
  std::vector<RegistryEdit> registryEdits_;
  bool listsRealDevices_ = false;
};

}  // namespace vidorra::win
