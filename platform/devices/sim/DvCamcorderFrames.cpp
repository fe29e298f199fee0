// DvCamcorderFrames; see DvCamcorderFrames.h.
#include "DvCamcorderFrames.h"

#include <cstring>
#include <mutex>

#include "Tone.h"
#include "dv/DvAudio.h"

namespace vidorra::devices::sim {

namespace {

constexpr int kSoundRate = 48000;
constexpr int kStereo = 2;

// The sample position where frame `number` starts: locked 48 kHz sound has a whole number of
// samples in each frame, repeating over a cycle of frames (one frame on 625 lines, five on 525).
uint64_t FirstSampleOf(dv::DvSystem system, uint64_t number) {
  const uint64_t cycle = system == dv::DvSystem::k625_50 ? 1 : 5;
  uint64_t cycleSamples = 0;
  for (uint64_t i = 0; i < cycle; ++i) {
    cycleSamples += static_cast<uint64_t>(dv::LockedSamplesForFrame(system, kSoundRate, i));
  }
  uint64_t first = number / cycle * cycleSamples;
  for (uint64_t i = 0; i < number % cycle; ++i) {
    first += static_cast<uint64_t>(dv::LockedSamplesForFrame(system, kSoundRate, i));
  }
  return first;
}

}  // namespace

DvCamcorderFrames::DvCamcorderFrames(dv::DvSystem system,
                                     std::unique_ptr<dv::DvVideoEncoder> encoder)
    : system_(system), encoder_(std::move(encoder)) {
  const dv::SystemFacts& facts = dv::FactsOf(system);
  picture_.resize(dv::PictureBytes(dv::PictureFormat::kI420, facts.width, facts.height));
}

std::unique_ptr<DvCamcorderFrames> DvCamcorderFrames::Create(dv::DvSystem system) {
  auto encoder = dv::DvVideoEncoder::Create(system);
  if (!encoder) return nullptr;
  return std::unique_ptr<DvCamcorderFrames>(new DvCamcorderFrames(system, std::move(encoder)));
}

std::optional<DVINFO> DvCamcorderFrames::Info(dv::DvSystem system) {
  // One frame is made once per system: its packs describe every frame of the stream.
  static std::mutex mutex;
  static std::optional<DVINFO> infos[2];
  const size_t slot = system == dv::DvSystem::k625_50 ? 1 : 0;
  std::lock_guard lock(mutex);
  if (!infos[slot]) {
    auto maker = Create(system);
    if (!maker) return std::nullopt;
    std::vector<uint8_t> frame(dv::FactsOf(system).frameBytes);
    if (FAILED(maker->Make(PatternScene{}, frame))) return std::nullopt;
    infos[slot] = dv::DvInfoFromFrame(frame, system);
  }
  return infos[slot];
}

HRESULT DvCamcorderFrames::Make(const PatternScene& scene, std::span<uint8_t> out) {
  const dv::SystemFacts& facts = dv::FactsOf(system_);
  if (out.size() < facts.frameBytes) return E_OUTOFMEMORY;
  DrawPattern(scene, {PatternLayout::kI420, facts.width, facts.height, picture_.data(), false});
  const dv::Picture picture{
      dv::PictureFormat::kI420, facts.width, facts.height, false, picture_, facts.width};
  HRESULT hr = encoder_->Encode(picture, frame_);
  if (FAILED(hr)) return hr;
  if (frame_.size() != facts.frameBytes) return E_FAIL;
  std::memcpy(out.data(), frame_.data(), facts.frameBytes);

  const int samples = dv::LockedSamplesForFrame(system_, kSoundRate, scene.frameNumber);
  sound_.resize(static_cast<size_t>(samples) * kStereo);
  FillTone(sound_.data(), FirstSampleOf(system_, scene.frameNumber), static_cast<size_t>(samples),
           kStereo, kSoundRate, kToneHz);
  dv::DvAudioFormat format;
  format.sampleRate = kSoundRate;
  format.bits = 16;
  format.pairs = 1;
  format.locked = true;
  format.samplesPerFrame = samples;
  if (!dv::InsertAudio(out.first(facts.frameBytes), system_, format, sound_)) return E_FAIL;
  return S_OK;
}

}  // namespace vidorra::devices::sim
