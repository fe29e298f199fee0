// SimulatedAudioDevice; see SimulatedAudioDevice.h.
#include "SimulatedAudioDevice.h"

#include <algorithm>

#include "CaptureFormats.h"
#include "Tone.h"

namespace vidorra::devices::sim {

namespace {

constexpr uint64_t kBuffersPerSecond = 50;
constexpr uint64_t kDriverQueue = 10;  // a fifth of a second
constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;

}  // namespace

SimulatedAudioDevice::SimulatedAudioDevice(const AudioKind& kind,
                                           std::shared_ptr<TvSoundState> tvSound,
                                           std::function<bool()> present)
    : kind_(kind), tvSound_(std::move(tvSound)), present_(std::move(present)) {}

std::vector<FormatCapability> SimulatedAudioDevice::Capabilities() {
  std::vector<FormatCapability> capabilities;
  for (const SoundMode& mode : kind_.modes) capabilities.push_back(SoundCapability(mode));
  return capabilities;
}

HRESULT SimulatedAudioDevice::Available() { return present_() ? S_OK : VFW_E_NO_CAPTURE_HARDWARE; }

HRESULT SimulatedAudioDevice::StartStream(const CMediaType& format) {
  const std::optional<SoundMode> mode = SoundModeOf(format);
  if (!mode || mode->bits != 16 || mode->sampleRate <= 0 || mode->channels <= 0) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  mode_ = *mode;
  samplesPerBuffer_ = static_cast<uint64_t>(mode_.sampleRate) / kBuffersPerSecond;
  next_ = 0;
  return S_OK;
}

REFERENCE_TIME SimulatedAudioDevice::TimeOfSample(uint64_t sample) const {
  return static_cast<REFERENCE_TIME>(sample * kUnitsPerSecond /
                                     static_cast<uint64_t>(mode_.sampleRate));
}

HRESULT SimulatedAudioDevice::NextFrame(StreamTiming& timing, FrameInfo* frame) {
  // A buffer is captured once its last sample is.
  const HRESULT hr = timing.WaitUntil(TimeOfSample((next_ + 1) * samplesPerBuffer_));
  if (hr != S_OK) return hr;
  if (!present_()) return VFW_E_NO_CAPTURE_HARDWARE;
  const REFERENCE_TIME now = timing.Now();
  const uint64_t captured = now > 0 ? static_cast<uint64_t>(now) *
                                          static_cast<uint64_t>(mode_.sampleRate) /
                                          static_cast<uint64_t>(kUnitsPerSecond) / samplesPerBuffer_
                                    : 0;
  if (captured >= next_ + kDriverQueue + 1) next_ = captured - kDriverQueue;
  ready_ = next_++;
  const uint64_t first = ready_ * samplesPerBuffer_;
  frame->number = ready_;
  frame->captureTime = TimeOfSample(first);
  frame->duration = TimeOfSample(first + samplesPerBuffer_) - frame->captureTime;
  frame->mediaStart = static_cast<LONGLONG>(first);
  frame->mediaStop = static_cast<LONGLONG>(first + samplesPerBuffer_);
  return S_OK;
}

HRESULT SimulatedAudioDevice::ReadFrame(std::span<uint8_t> destination, size_t* length) {
  *length = 0;
  if (destination.empty()) return S_OK;
  const size_t bytes = samplesPerBuffer_ * static_cast<size_t>(mode_.channels) * sizeof(int16_t);
  if (destination.size() < bytes) return E_OUTOFMEMORY;
  *length = bytes;
  if (kind_.silent) {
    std::fill_n(destination.begin(), bytes, uint8_t{0});
    return S_OK;
  }
  const int hertz = tvSound_ ? TvSoundHz(tvSound_->Mode()) : kToneHz;
  FillTone(reinterpret_cast<int16_t*>(destination.data()), ready_ * samplesPerBuffer_,
           samplesPerBuffer_, mode_.channels, mode_.sampleRate, hertz);
  return S_OK;
}

}  // namespace vidorra::devices::sim
