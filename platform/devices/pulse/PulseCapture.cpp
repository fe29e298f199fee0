// Sound capture from the sound server; see PulseCapture.h.
#include "PulseCapture.h"

#include <comimpl.h>

#include <algorithm>
#include <array>
#include <map>

#include "AudioCaptureFilter.h"
#include "CaptureFormats.h"

namespace vidorra::devices::pulse {

namespace {

constexpr std::array kSampleRates = {48000, 44100, 32000};
constexpr std::array kChannelCounts = {2, 1};
constexpr int kBitsPerSample = 16;
constexpr uint64_t kBuffersPerSecond = 25;  // 40 ms
constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
constexpr int kReadWaitMs = 200;
constexpr int kSilenceBeforeLostMs = 5000;
constexpr int kMaxReadsToCatchUp = 100;

const bool kRegistered = [] {
  DeviceCatalog::Instance().AddProvider(std::make_shared<PulseDevices>(MakeLibPulseSeam()), false);
  return true;
}();

}  // namespace

PulseCaptureDevice::PulseCaptureDevice(std::shared_ptr<PulseSeam> seam, std::string source)
    : seam_(std::move(seam)), source_(std::move(source)) {}

std::vector<FormatCapability> PulseCaptureDevice::Capabilities() {
  std::vector<FormatCapability> capabilities;
  for (const int rate : kSampleRates) {
    for (const int channels : kChannelCounts) {
      capabilities.push_back(SoundCapability({rate, channels, kBitsPerSample}));
    }
  }
  return capabilities;
}

HRESULT PulseCaptureDevice::Available() {
  const auto sources = seam_->Sources();
  if (!sources) return VFW_E_NO_CAPTURE_HARDWARE;
  const bool listed = std::any_of(sources->begin(), sources->end(),
                                  [&](const PulseSource& s) { return s.name == source_; });
  return listed ? S_OK : VFW_E_NO_CAPTURE_HARDWARE;
}

HRESULT PulseCaptureDevice::StartStream(const CMediaType& format) {
  const std::optional<SoundMode> mode = SoundModeOf(format);
  if (!mode || mode->bits != kBitsPerSample ||
      std::find(kSampleRates.begin(), kSampleRates.end(), mode->sampleRate) == kSampleRates.end() ||
      std::find(kChannelCounts.begin(), kChannelCounts.end(), mode->channels) ==
          kChannelCounts.end()) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  sampleRate_ = mode->sampleRate;
  frameBytes_ = static_cast<size_t>(mode->channels) * sizeof(int16_t);
  samplesPerBuffer_ = static_cast<uint64_t>(sampleRate_) / kBuffersPerSecond;
  const RecordFormat record{sampleRate_, mode->channels, samplesPerBuffer_ * frameBytes_};
  std::string error;
  recording_ = seam_->Record(source_, record, &error);
  if (!recording_) return VFW_E_NO_CAPTURE_HARDWARE;
  pending_.clear();
  started_ = false;
  overruns_ = recording_->Overruns();
  number_ = 0;
  position_ = 0;
  origin_.reset();
  return S_OK;
}

void PulseCaptureDevice::StopStream() { recording_.reset(); }

REFERENCE_TIME PulseCaptureDevice::TimeOf(uint64_t samples) const {
  return static_cast<REFERENCE_TIME>(samples * kUnitsPerSecond /
                                     static_cast<uint64_t>(sampleRate_));
}

HRESULT PulseCaptureDevice::NextFrame(StreamTiming& timing, FrameInfo* frame) {
  if (!recording_) return E_UNEXPECTED;
  // Nothing is delivered while paused.
  HRESULT hr = timing.WaitUntil(0);
  if (hr != S_OK) return hr;
  if (!started_) {
    // What the server kept while the graph was paused is older than the run.
    for (;;) {
      const auto result = recording_->Read(&pending_, timing.InterruptFd(), 0);
      if (result == PulseRecording::Result::kInterrupted) return S_FALSE;
      if (result == PulseRecording::Result::kGone) return VFW_E_NO_CAPTURE_HARDWARE;
      if (result == PulseRecording::Result::kTimedOut) break;
    }
    pending_.clear();
    overruns_ = recording_->Overruns();
    started_ = true;
  }
  const size_t bufferBytes = samplesPerBuffer_ * frameBytes_;
  int waitedMs = 0;
  while (pending_.size() < bufferBytes) {
    const auto result = recording_->Read(&pending_, timing.InterruptFd(), kReadWaitMs);
    if (result == PulseRecording::Result::kInterrupted) return S_FALSE;
    if (result == PulseRecording::Result::kGone) return VFW_E_NO_CAPTURE_HARDWARE;
    if (result == PulseRecording::Result::kTimedOut) {
      waitedMs += kReadWaitMs;
      if (waitedMs >= kSilenceBeforeLostMs) return VFW_E_NO_CAPTURE_HARDWARE;
    } else {
      waitedMs = 0;
    }
  }
  const uint64_t overruns = recording_->Overruns();
  if (overruns != overruns_) {
    // Sound was lost: a buffer counts as dropped and the times start again from the clock.
    overruns_ = overruns;
    ++number_;
    origin_.reset();
  }
  if (!origin_) {
    // Everything the server has sent is taken in first: the newest sound received is the
    // sound captured just now.
    for (int i = 0; i < kMaxReadsToCatchUp; ++i) {
      if (recording_->Read(&pending_, timing.InterruptFd(), 0) != PulseRecording::Result::kData) {
        break;
      }
    }
    const uint64_t pendingSamples = pending_.size() / frameBytes_;
    origin_ = timing.Now() - TimeOf(position_ + pendingSamples);
  }
  frame->number = number_;
  frame->captureTime = *origin_ + TimeOf(position_);
  frame->duration = TimeOf(position_ + samplesPerBuffer_) - TimeOf(position_);
  frame->mediaStart = static_cast<LONGLONG>(position_);
  frame->mediaStop = static_cast<LONGLONG>(position_ + samplesPerBuffer_);
  return S_OK;
}

HRESULT PulseCaptureDevice::ReadFrame(std::span<uint8_t> destination, size_t* length) {
  *length = 0;
  const size_t bytes = samplesPerBuffer_ * frameBytes_;
  if (pending_.size() < bytes) return E_UNEXPECTED;
  HRESULT hr = S_OK;
  if (!destination.empty()) {
    if (destination.size() < bytes) {
      hr = E_OUTOFMEMORY;
    } else {
      std::copy_n(pending_.begin(), bytes, destination.begin());
      *length = bytes;
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(bytes));
  position_ += samplesPerBuffer_;
  ++number_;
  return hr;
}

PulseDevices::~PulseDevices() {
  std::lock_guard lock(watchMutex_);
  watcher_.Stop();
}

std::vector<PulseSource> PulseDevices::Inputs() {
  std::lock_guard lock(listMutex_);
  std::vector<PulseSource> inputs;
  if (auto sources = seam_->Sources()) {
    for (PulseSource& source : *sources) {
      if (!source.monitor && !source.name.empty()) inputs.push_back(std::move(source));
    }
  }
  std::set<std::string> now;
  for (const PulseSource& source : inputs) now.insert(source.name);
  if (known_) {
    DeviceCatalog& catalog = DeviceCatalog::Instance();
    for (const std::string& name : *known_) {
      if (!now.contains(name)) catalog.DeviceRemoved(kDisplayNamePrefix + Utf8ToWide(name));
    }
    for (const std::string& name : now) {
      if (!known_->contains(name)) catalog.DeviceArrived(kDisplayNamePrefix + Utf8ToWide(name));
    }
  }
  known_ = std::move(now);
  return inputs;
}

void PulseDevices::EnsureWatching() {
  std::lock_guard lock(watchMutex_);
  if (watcher_.Running() && !watchEnding_) return;
  // Subscribed before the listing that follows, so that no change falls between the two.
  std::shared_ptr<PulseSourceWatch> watch = seam_->WatchSources();
  if (!watch) return;
  watchEnding_ = false;
  watcher_.Start([this, watch](int stopFd) {
    for (;;) {
      const PulseSourceWatch::Result result = watch->Wait(stopFd);
      if (result == PulseSourceWatch::Result::kInterrupted) return;
      if (result == PulseSourceWatch::Result::kGone) watchEnding_ = true;
      Inputs();
      if (result == PulseSourceWatch::Result::kGone) return;
    }
  });
}

std::vector<DeviceEntry> PulseDevices::Devices() {
  EnsureWatching();
  std::vector<DeviceEntry> entries;
  std::map<std::wstring, int> seen;
  for (const PulseSource& source : Inputs()) {
    std::wstring name = Utf8ToWide(source.description.empty() ? source.name : source.description);
    const int occurrence = ++seen[name];
    if (occurrence > 1) name += L" #" + std::to_wstring(occurrence);
    const std::wstring displayName = kDisplayNamePrefix + Utf8ToWide(source.name);
    entries.push_back(
        {CLSID_AudioInputDeviceCategory, displayName, name, CLSID_VidorraAudioCapture,
         [seam = seam_, sourceName = source.name, name,
          displayName](IBaseFilter** filter) -> HRESULT {
           if (!filter) return E_POINTER;
           ComPtr<CAudioCaptureFilter> made = MakeComObject<CAudioCaptureFilter>(
               name, displayName, std::make_unique<PulseCaptureDevice>(seam, sourceName));
           return made->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
         }});
  }
  return entries;
}

}  // namespace vidorra::devices::pulse
