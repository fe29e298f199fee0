// DV camcorders on IEEE 1394; see FireWireDv.h.
#include "FireWireDv.h"

#include <comimpl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

#include "CaptureFormats.h"
#include "VideoCaptureFilter.h"
#include "sim/DvCamcorderFrames.h"

namespace vidorra::devices::firewire {

namespace {

// The systems in the order their formats are offered.
constexpr std::array kSystems = {dv::DvSystem::k625_50, dv::DvSystem::k525_60};
constexpr int kReadWaitMs = 200;
// How late a frame can come out of the bus's queues (the reception's, and a few more frames
// the kernel's) before its delay means the stream stood still rather than that the reader
// was busy.
constexpr uint32_t kResyncFrames = static_cast<uint32_t>(kDeviceQueueFrames) + 6;

const bool kRegistered = [] {
  DeviceCatalog::Instance().AddProvider(std::make_shared<FireWireDevices>(MakeLibRaw1394Seam()),
                                        false);
  return true;
}();

std::wstring DisplayNameOf(uint64_t guid) {
  std::array<char, 17> hex{};
  std::snprintf(hex.data(), hex.size(), "%016llx", static_cast<unsigned long long>(guid));
  return kDisplayNamePrefix + Utf8ToWide(hex.data());
}

}  // namespace

FireWireDvCamera::FireWireDvCamera(std::shared_ptr<FireWireSeam> seam, uint64_t guid)
    : seam_(seam), guid_(guid), transport_(std::move(seam), guid) {}

std::vector<dv::DvSystem> FireWireDvCamera::Systems() {
  // The system the camera is known to send first, so that it is the default format.
  std::vector<dv::DvSystem> systems(kSystems.begin(), kSystems.end());
  for (const DvCamera& camera : seam_->Cameras()) {
    if (camera.guid != guid_ || !camera.system) continue;
    std::stable_partition(systems.begin(), systems.end(),
                          [&](dv::DvSystem s) { return s == *camera.system; });
  }
  return systems;
}

std::vector<FormatCapability> FireWireDvCamera::Capabilities() {
  std::vector<FormatCapability> capabilities;
  for (const dv::DvSystem system : Systems()) {
    const std::optional<DVINFO> info = sim::DvCamcorderFrames::Info(system);
    if (!info) continue;
    const dv::SystemFacts& facts = dv::FactsOf(system);
    capabilities.push_back(
        DvCapability(*info, facts.width, facts.height, facts.avgTimePerFrame, facts.frameBytes));
  }
  return capabilities;
}

HRESULT FireWireDvCamera::Available() {
  const std::vector<DvCamera> cameras = seam_->Cameras();
  const bool present = std::any_of(cameras.begin(), cameras.end(),
                                   [&](const DvCamera& camera) { return camera.guid == guid_; });
  return present ? S_OK : VFW_E_NO_CAPTURE_HARDWARE;
}

HRESULT FireWireDvCamera::StartStream(const CMediaType& format) {
  const std::vector<dv::DvSystem> systems = Systems();
  const std::vector<FormatCapability> capabilities = Capabilities();
  const int index = FindCapability(capabilities, format);
  if (index < 0 || index >= static_cast<int>(systems.size())) return VFW_E_INVALIDMEDIATYPE;
  system_ = systems[static_cast<size_t>(index)];
  std::string error;
  reception_ = seam_->Receive(guid_, &error);
  if (!reception_) return VFW_E_NO_CAPTURE_HARDWARE;
  number_ = 0;
  leftOutSeen_ = 0;
  stamps_.emplace(dv::FactsOf(system_).avgTimePerFrame, kResyncFrames);
  busResets_ = 0;
  return S_OK;
}

void FireWireDvCamera::StopStream() { reception_.reset(); }

HRESULT FireWireDvCamera::NextFrame(StreamTiming& timing, FrameInfo* frame) {
  if (!reception_) return E_UNEXPECTED;
  // Nothing is delivered while paused.
  const HRESULT hr = timing.WaitUntil(0);
  if (hr != S_OK) return hr;
  const dv::SystemFacts& facts = dv::FactsOf(system_);
  for (;;) {
    switch (reception_->Next(&frame_, timing.InterruptFd(), kReadWaitMs)) {
      case DvReception::Result::kInterrupted:
        return S_FALSE;
      case DvReception::Result::kGone:
        return VFW_E_NO_CAPTURE_HARDWARE;
      case DvReception::Result::kBusReset:
        ++busResets_;
        continue;
      case DvReception::Result::kTimedOut:
        continue;
      case DvReception::Result::kFrame:
        break;
    }
    if (dv::ReadableFrame(frame_) != system_) {
      ++number_;  // the gap counts it as dropped
      continue;
    }
    // Frames the reception left out take their numbers: the gap counts them as dropped.
    const uint64_t leftOut = reception_->FramesLeftOut();
    number_ += leftOut - leftOutSeen_;
    leftOutSeen_ = leftOut;
    frame->number = number_;
    frame->captureTime = stamps_->Stamp(number_, timing.Now() - facts.avgTimePerFrame);
    frame->duration = facts.avgTimePerFrame;
    frame->mediaStart = static_cast<LONGLONG>(number_);
    frame->mediaStop = frame->mediaStart + 1;
    ++number_;
    return S_OK;
  }
}

HRESULT FireWireDvCamera::ReadFrame(std::span<uint8_t> destination, size_t* length) {
  *length = 0;
  if (destination.empty()) return S_OK;
  if (destination.size() < frame_.size()) return E_OUTOFMEMORY;
  std::copy(frame_.begin(), frame_.end(), destination.begin());
  *length = frame_.size();
  return S_OK;
}

VideoDeviceLayout FireWireDvCamera::Layout() {
  VideoDeviceLayout layout;
  layout.outputs = {{VideoPinRole::kCapture, L"DV A/V Out"}};
  return layout;
}

std::vector<DeviceEntry> FireWireDevices::Devices() {
  std::vector<DeviceEntry> entries;
  std::map<std::wstring, int> seen;
  for (const DvCamera& camera : seam_->Cameras()) {
    std::wstring name = Utf8ToWide(camera.name);
    const int occurrence = ++seen[name];
    if (occurrence > 1) name += L" #" + std::to_wstring(occurrence);
    const std::wstring displayName = DisplayNameOf(camera.guid);
    entries.push_back(
        {CLSID_VideoInputDeviceCategory, displayName, name, CLSID_VidorraVideoCapture,
         [seam = seam_, guid = camera.guid, name, displayName](IBaseFilter** filter) -> HRESULT {
           if (!filter) return E_POINTER;
           ComPtr<CVideoCaptureFilter> made = MakeComObject<CVideoCaptureFilter>(
               name, displayName, std::make_unique<FireWireDvCamera>(seam, guid),
               CLSID_VidorraVideoCapture);
           return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
         }});
  }
  return entries;
}

}  // namespace vidorra::devices::firewire
