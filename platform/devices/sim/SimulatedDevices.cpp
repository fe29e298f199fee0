// The simulated machine's devices; see SimulatedDevices.h.
#include "SimulatedDevices.h"

#include <comimpl.h>

#include <algorithm>
#include <set>

#include "AudioCaptureFilter.h"
#include "CrossbarFilter.h"
#include "SimulatedAudioDevice.h"
#include "SimulatedVideoDevice.h"
#include "TvAudioFilter.h"
#include "TvTunerFilter.h"
#include "VideoCaptureFilter.h"

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
      lines.push_back({video, device.kind, device.friendlyName, displayName});
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
    entries->push_back({AM_KSCATEGORY_CROSSBAR, RoleName(i == 0 ? L"crossbar" : L"crossbar2", rest),
                        name + (i == 0 ? L" Crossbar" : L" Crossbar 2"), CLSID_VidorraCrossbar,
                        [card, i, name](IBaseFilter** filter) -> HRESULT {
                          if (!filter) return E_POINTER;
                          ComPtr<CCrossbarFilter> made = MakeComObject<CCrossbarFilter>(
                              name + (i == 0 ? L" Crossbar" : L" Crossbar 2"), card->Crossbar(i));
                          return made->QueryInterface(IID_IBaseFilter,
                                                      reinterpret_cast<void**>(filter));
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
                      CLSID_VidorraTvAudio, [card, name](IBaseFilter** filter) -> HRESULT {
                        if (!filter) return E_POINTER;
                        ComPtr<CTvAudioFilter> made = MakeComObject<CTvAudioFilter>(
                            name + L" TV Audio", card->TvAudioPins(), card->TvAudio());
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
  std::set<std::wstring> was;
  std::set<std::wstring> is;
  for (const Line& line : LinesOf(before)) was.insert(line.displayName);
  for (const Line& line : LinesOf(after)) is.insert(line.displayName);
  for (const std::wstring& name : was) {
    if (is.contains(name)) continue;
    {
      // Unplugged: the device starts afresh when it comes back.
      std::lock_guard lock(mutex_);
      cards_.erase(name);
      tvSounds_.erase(name);
    }
    DeviceCatalog::Instance().DeviceRemoved(name);
  }
  for (const std::wstring& name : is) {
    if (!was.contains(name)) DeviceCatalog::Instance().DeviceArrived(name);
  }
}

}  // namespace vidorra::devices::sim
