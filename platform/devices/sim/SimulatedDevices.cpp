// The simulated machine's devices; see SimulatedDevices.h.
#include "SimulatedDevices.h"

#include <comimpl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "AudioCaptureFilter.h"
#include "CrossbarFilter.h"
#include "SimulatedAudioDevice.h"
#include "SimulatedVideoDevice.h"
#include "TvAudioFilter.h"
#include "TvTunerFilter.h"
#include "VideoCaptureFilter.h"
#include "firewire/FireWireDv.h"
#include "v4l2/V4l2Devices.h"

namespace vidorra::devices::sim {

namespace {

constexpr std::wstring_view kPrefix = L"@device:sim:";
constexpr uint32_t kWiresPerCard = 0xF;  // the low bits of a medium id number a card's wires

std::wstring RoleName(const std::wstring& role, const std::wstring& rest) {
  return std::wstring(kPrefix) + role + L"\\" + rest;
}

// FNV-1a: the card's wires get ids of their own from its display name.
uint32_t MediumKeyOf(const std::wstring& displayName) {
  uint32_t hash = 2166136261u;
  for (wchar_t c : displayName) {
    hash ^= static_cast<uint32_t>(c);
    hash *= 16777619u;
  }
  return hash & ~kWiresPerCard;
}

constexpr std::string_view kReplayedV4l2Kind = "v4l2";
constexpr std::string_view kDvTapeKind = "dvfile";
constexpr std::string_view kNodePrefix = "replay:";

std::string NodeOf(const std::wstring& displayName) {
  return std::string(kNodePrefix) + WideToUtf8(displayName);
}

// FNV-1a over 64 bits: a camcorder's EUI-64 of its own, from its display name.
uint64_t GuidOf(const std::wstring& displayName) {
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : displayName) {
    hash ^= static_cast<uint64_t>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

const bool kRegistered = [] {
  DeviceCatalog::Instance().AddProvider(std::make_shared<SimulatedDevices>(), true);
  return true;
}();

}  // namespace

std::vector<SimulatedDevices::Line> SimulatedDevices::LinesOf(
    const win::SimulatedMachine& machine) {
  std::vector<Line> lines;
  if (!machine.Active()) return lines;
  std::map<std::wstring, int> seen;
  for (const bool video : {true, false}) {
    for (const win::SimulatedDevice& device :
         video ? machine.VideoDevices() : machine.AudioDevices()) {
      const std::wstring identity = (video ? L"video\\" : L"audio\\") + Utf8ToWide(device.kind) +
                                    L"\\" + Utf8ToWide(device.friendlyName);
      const int occurrence = seen[identity]++;
      const std::wstring displayName =
          std::wstring(kPrefix) + (video ? L"video\\" : L"audio\\") + Utf8ToWide(device.kind) +
          L"\\" + std::to_wstring(occurrence) + L"\\" + Utf8ToWide(device.friendlyName);
      lines.push_back({video, device.kind, device.friendlyName, displayName, device.path});
    }
  }
  return lines;
}

bool SimulatedDevices::Present(const std::wstring& displayName) {
  const auto lines = LinesOf(win::SimulatedMachine::Current());
  return std::any_of(lines.begin(), lines.end(),
                     [&](const Line& line) { return line.displayName == displayName; });
}

std::vector<DeviceEntry> SimulatedDevices::Devices() {
  EnsureWatching();
  std::vector<DeviceEntry> entries;
  for (const Line& line : LinesOf(win::SimulatedMachine::Current())) {
    if (line.video) {
      AddVideoEntries(line, &entries);
    } else {
      AddAudioEntry(line, &entries);
    }
  }
  return entries;
}

void SimulatedDevices::AddVideoEntries(const Line& line, std::vector<DeviceEntry>* entries) {
  if (line.kind == kReplayedV4l2Kind) return AddReplayedV4l2Entries(line, entries);
  if (line.kind == kDvTapeKind) return AddDvTapeEntry(line, entries);
  const VideoKind* kind = FindVideoKind(line.kind);
  if (!kind) return;
  const std::wstring name = Utf8ToWide(line.name);
  const std::wstring displayName = line.displayName;
  const CLSID clsid = kind->vfwDialogs ? CLSID_VfwCapture : CLSID_VidorraVideoCapture;
  if (!kind->opens) {
    entries->push_back(
        {CLSID_VideoInputDeviceCategory, displayName, name, clsid, [](IBaseFilter** filter) {
           if (filter) *filter = nullptr;
           return VFW_E_NO_CAPTURE_HARDWARE;
         }});
    return;
  }
  std::shared_ptr<SimulatedCard> card = CardFor(line, *kind);
  auto present = [displayName] { return Present(displayName); };
  entries->push_back(
      {CLSID_VideoInputDeviceCategory, displayName, name, clsid,
       [card, present, name, displayName, clsid](IBaseFilter** filter) -> HRESULT {
         if (!filter) return E_POINTER;
         ComPtr<CVideoCaptureFilter> made = MakeComObject<CVideoCaptureFilter>(
             name, displayName, std::make_unique<SimulatedVideoDevice>(card, present), clsid);
         return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
       }});
  if (kind->frontEnd == CardFrontEnd::kNone) return;
  const std::wstring rest = displayName.substr(displayName.find(L'\\') + 1);
  const int crossbars = kind->frontEnd == CardFrontEnd::kTwoCrossbars ? 2 : 1;
  for (int i = 0; i < crossbars; ++i) {
    entries->push_back(
        {AM_KSCATEGORY_CROSSBAR, RoleName(i == 0 ? L"crossbar" : L"crossbar2", rest),
         name + (i == 0 ? L" Crossbar" : L" Crossbar 2"), CLSID_VidorraCrossbar,
         [card, i, name, present](IBaseFilter** filter) -> HRESULT {
           if (!filter) return E_POINTER;
           ComPtr<CCrossbarFilter> made = MakeComObject<CCrossbarFilter>(
               name + (i == 0 ? L" Crossbar" : L" Crossbar 2"), card->Crossbar(i, present));
           return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
         }});
  }
  entries->push_back({AM_KSCATEGORY_TVTUNER, RoleName(L"tuner", rest), name + L" TV Tuner",
                      CLSID_VidorraTvTuner, [card, name](IBaseFilter** filter) -> HRESULT {
                        if (!filter) return E_POINTER;
                        ComPtr<CTvTunerFilter> made =
                            MakeComObject<CTvTunerFilter>(name + L" TV Tuner", card->Tuner());
                        return made->QueryInterface(IID_IBaseFilter,
                                                    reinterpret_cast<void**>(filter));
                      }});
  entries->push_back({AM_KSCATEGORY_TVAUDIO, RoleName(L"tvaudio", rest), name + L" TV Audio",
                      CLSID_VidorraTvAudio, [card, name, present](IBaseFilter** filter) -> HRESULT {
                        if (!filter) return E_POINTER;
                        ComPtr<CTvAudioFilter> made = MakeComObject<CTvAudioFilter>(
                            name + L" TV Audio", card->TvAudioPins(), card->TvAudio(present));
                        return made->QueryInterface(IID_IBaseFilter,
                                                    reinterpret_cast<void**>(filter));
                      }});
}

void SimulatedDevices::AddAudioEntry(const Line& line, std::vector<DeviceEntry>* entries) {
  const AudioKind* kind = FindAudioKind(line.kind);
  if (!kind) return;
  const std::wstring name = Utf8ToWide(line.name);
  const std::wstring displayName = line.displayName;
  std::shared_ptr<TvSoundState> tvSound = kind->tvSound ? TvSoundFor(line) : nullptr;
  entries->push_back(
      {CLSID_AudioInputDeviceCategory, displayName, name, CLSID_VidorraAudioCapture,
       [kind, tvSound, name, displayName](IBaseFilter** filter) -> HRESULT {
         if (!filter) return E_POINTER;
         auto present = [displayName] { return Present(displayName); };
         ComPtr<CAudioCaptureFilter> made = MakeComObject<CAudioCaptureFilter>(
             name, displayName, std::make_unique<SimulatedAudioDevice>(*kind, tvSound, present));
         return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
       }});
}

void SimulatedDevices::AddReplayedV4l2Entries(const Line& line, std::vector<DeviceEntry>* entries) {
  const std::string node = PlugReplayed(line);
  if (node.empty()) return;
  std::optional<v4l2::ListedNode> listed = v4l2::ProbeCaptureNode(*kernel_, node);
  if (!listed) return;  // a description of something that captures no video
  listed->displayName = line.displayName;
  auto locate = [displayName = line.displayName, node]() -> std::optional<std::string> {
    if (!Present(displayName)) return std::nullopt;
    return node;
  };
  v4l2::AppendNodeEntries(kernel_, *listed, std::move(locate), entries);
}

void SimulatedDevices::AddDvTapeEntry(const Line& line, std::vector<DeviceEntry>* entries) {
  const std::shared_ptr<replay::DvTape> tape = TapeFor(line);
  if (!tape) return;
  const std::wstring displayName = line.displayName;
  const std::wstring name =
      L"Caméscope DV (" + std::filesystem::path(line.path).filename().wstring() + L")";
  const uint64_t guid = GuidOf(displayName);
  auto seam = std::make_shared<replay::DvTapeSeam>(tape, guid, WideToUtf8(name),
                                                   [displayName] { return Present(displayName); });
  entries->push_back(
      {CLSID_VideoInputDeviceCategory, displayName, name, CLSID_VidorraVideoCapture,
       [seam, guid, name, displayName](IBaseFilter** filter) -> HRESULT {
         if (!filter) return E_POINTER;
         ComPtr<CVideoCaptureFilter> made = MakeComObject<CVideoCaptureFilter>(
             name, displayName, std::make_unique<firewire::FireWireDvCamera>(seam, guid),
             CLSID_VidorraVideoCapture);
         return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
       }});
}

std::string SimulatedDevices::PlugReplayed(const Line& line) {
  const std::string node = NodeOf(line.displayName);
  if (kernel_->Present(node)) return node;
  std::ifstream file(line.path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file) {
    std::cerr << "simulated machine: cannot read " << line.path << "\n";
    return {};
  }
  replay::V4l2Description description = replay::ReadV4l2Description(text.str(), line.path);
  for (const replay::DescriptionProblem& problem : description.problems) {
    std::cerr << line.path << ", line " << problem.line << ": " << problem.text << "\n";
  }
  kernel_->Plug(node, std::move(description));
  return node;
}

std::shared_ptr<replay::DvTape> SimulatedDevices::TapeFor(const Line& line) {
  std::lock_guard lock(mutex_);
  std::shared_ptr<replay::DvTape>& tape = tapes_[line.displayName];
  if (!tape) {
    std::string error;
    tape = replay::DvTape::Open(line.path, &error);
    if (!tape) {
      std::cerr << "simulated machine: " << line.path << ": " << error << "\n";
      tapes_.erase(line.displayName);
      return nullptr;
    }
  }
  return tape;
}

void SimulatedDevices::Unplug(const Line& line) {
  // Unplugged: the device starts afresh when it comes back.
  if (line.kind == kReplayedV4l2Kind) kernel_->Unplug(NodeOf(line.displayName));
  std::lock_guard lock(mutex_);
  cards_.erase(line.displayName);
  tvSounds_.erase(line.displayName);
  tapes_.erase(line.displayName);
}

std::shared_ptr<SimulatedCard> SimulatedDevices::CardFor(const Line& line, const VideoKind& kind) {
  std::lock_guard lock(mutex_);
  std::shared_ptr<SimulatedCard>& card = cards_[line.displayName];
  if (!card) card = std::make_shared<SimulatedCard>(kind, line.name, MediumKeyOf(line.displayName));
  return card;
}

std::shared_ptr<TvSoundState> SimulatedDevices::TvSoundFor(const Line& line) {
  std::lock_guard lock(mutex_);
  std::shared_ptr<TvSoundState>& state = tvSounds_[line.displayName];
  if (!state) state = std::make_shared<TvSoundState>();
  return state;
}

void SimulatedDevices::EnsureWatching() {
  std::call_once(watching_, [this] {
    watch_ = win::SimulatedMachine::Watch(
        [this](const win::SimulatedMachine& before, const win::SimulatedMachine& after) {
          MachineChanged(before, after);
        });
  });
}

void SimulatedDevices::MachineChanged(const win::SimulatedMachine& before,
                                      const win::SimulatedMachine& after) {
  const std::vector<Line> was = LinesOf(before);
  const std::vector<Line> is = LinesOf(after);
  auto listed = [](const std::vector<Line>& lines, const Line& line) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const Line& other) { return other.displayName == line.displayName; });
  };
  for (const Line& line : was) {
    if (listed(is, line)) continue;
    Unplug(line);
    DeviceCatalog::Instance().DeviceRemoved(line.displayName);
  }
  for (const Line& line : is) {
    if (listed(was, line)) continue;
    // Plugged in now: its frame clock starts here.
    if (line.video) {
      if (line.kind == kReplayedV4l2Kind) {
        PlugReplayed(line);
      } else if (line.kind == kDvTapeKind) {
        TapeFor(line);
      } else if (const VideoKind* kind = FindVideoKind(line.kind)) {
        CardFor(line, *kind);
      }
    }
    DeviceCatalog::Instance().DeviceArrived(line.displayName);
  }
}

}  // namespace vidorra::devices::sim
