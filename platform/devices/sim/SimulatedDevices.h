// The devices of the simulated machine, as the device catalog lists them: each `video` and
// `audio` line of the machine file in file order, and for a TV card its crossbars, TV tuner
// and TV audio filters. Display names are made from the line's kind, name and how many lines
// of that kind and name come before it, so they stay the same across runs and two lines with
// one name list twice:
//
//   @device:sim:video\KIND\N\NAME       (audio\..., crossbar\..., crossbar2\..., tuner\...,
//                                         tvaudio\... for the filters of a card)
//
// The two kinds that replay a file go through the real backends at their seams: a `v4l2`
// line is a device of the replayed V4L2 kernel (listed under its card type, with the V4L2
// backend's crossbar, tuner and TV sound filters as a real card has them), a `dvfile` line a
// FireWire DV camcorder "Caméscope DV (FILE)" whose tape is the file. What a description file
// holds that cannot be read is reported on stderr with its line number when the device is
// plugged in.
//
// A device's state (picture controls, routes, channel, sound mode) lives while its line does.
// When the machine file changes, removed lines are devices unplugged and added lines devices
// plugged in: the catalog tells the filters in graphs.
//
// Threads: any; one mutex guards the device states.
#pragma once

#include <SimulatedMachine.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DeviceCatalog.h"
#include "SimulatedCard.h"
#include "replay/DvTape.h"
#include "replay/ReplayedV4l2.h"

namespace vidorra::devices::sim {

class SimulatedDevices : public DeviceProvider {
 public:
  std::vector<DeviceEntry> Devices() override;

  // True while the machine has a device line listed under this display name.
  static bool Present(const std::wstring& displayName);

 private:
  struct Line {
    bool video = true;
    std::string kind;
    std::string name;
    std::wstring displayName;
    std::string path;  // the replayed file of a v4l2 or dvfile line
  };
  static std::vector<Line> LinesOf(const win::SimulatedMachine& machine);

  void EnsureWatching();
  void MachineChanged(const win::SimulatedMachine& before, const win::SimulatedMachine& after);
  void AddVideoEntries(const Line& line, std::vector<DeviceEntry>* entries);
  void AddAudioEntry(const Line& line, std::vector<DeviceEntry>* entries);
  void AddReplayedV4l2Entries(const Line& line, std::vector<DeviceEntry>* entries);
  void AddDvTapeEntry(const Line& line, std::vector<DeviceEntry>* entries);
  std::shared_ptr<SimulatedCard> CardFor(const Line& line, const VideoKind& kind);
  std::shared_ptr<TvSoundState> TvSoundFor(const Line& line);
  // Plugs in what a line replays (once while it stays); the kernel node of a v4l2 line.
  std::string PlugReplayed(const Line& line);
  std::shared_ptr<replay::DvTape> TapeFor(const Line& line);
  void Unplug(const Line& line);

  std::mutex mutex_;
  std::map<std::wstring, std::shared_ptr<SimulatedCard>> cards_;
  std::map<std::wstring, std::shared_ptr<TvSoundState>> tvSounds_;
  const std::shared_ptr<replay::ReplayedV4l2> kernel_ = std::make_shared<replay::ReplayedV4l2>();
  std::map<std::wstring, std::shared_ptr<replay::DvTape>> tapes_;
  std::once_flag watching_;
  std::unique_ptr<win::MachineWatch> watch_;
};

}  // namespace vidorra::devices::sim
