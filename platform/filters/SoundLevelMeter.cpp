// SoundLevelMeter; see SoundLevelMeter.h.
#include "SoundLevelMeter.h"

#include <algorithm>
#include <cstdlib>

namespace vidorra::filters {

namespace {

constexpr int kFullScale = 32767;

// Raises `target` to `value` unless a reader cleared it meanwhile to something smaller still
// (then the larger of the two stays).
void RaiseTo(std::atomic<uint32_t>& target, uint32_t value) {
  uint32_t current = target.load(std::memory_order_relaxed);
  while (current < value &&
         !target.compare_exchange_weak(current, value, std::memory_order_relaxed)) {
  }
}

}  // namespace

void SoundLevelMeter::Measure(std::span<const int16_t> samples, int channels, int sampleRate) {
  if (channels <= 0) return;
  const size_t frames = samples.size() / static_cast<size_t>(channels);
  const int measured = std::min(channels, SOUND_LEVELS_MAX_CHANNELS);
  std::array<uint32_t, SOUND_LEVELS_MAX_CHANNELS> peak{};
  std::array<uint64_t, SOUND_LEVELS_MAX_CHANNELS> squares{};
  uint32_t clipped = 0;
  // Frames of silence at the end of the buffer: the count restarts at each non-silent frame.
  uint64_t silentTail = 0;
  for (size_t frame = 0; frame < frames; ++frame) {
    const int16_t* sample = samples.data() + frame * static_cast<size_t>(channels);
    bool silent = true;
    for (int c = 0; c < channels; ++c) silent = silent && sample[c] == 0;
    silentTail = silent ? silentTail + 1 : 0;
    for (int c = 0; c < measured; ++c) {
      const auto magnitude = static_cast<uint32_t>(std::abs(static_cast<int>(sample[c])));
      peak[c] = std::max(peak[c], magnitude);
      squares[c] += static_cast<uint64_t>(magnitude) * magnitude;
      clipped += magnitude >= kFullScale ? 1U : 0U;
    }
  }
  for (int c = 0; c < measured; ++c) {
    RaiseTo(peak_[c], peak[c]);
    squares_[c].fetch_add(squares[c], std::memory_order_relaxed);
  }
  clipped_.fetch_add(clipped, std::memory_order_relaxed);
  channels_.store(measured, std::memory_order_relaxed);
  sampleRate_.store(sampleRate, std::memory_order_relaxed);
  // Only this thread writes the silence: a load and a store are enough.
  const uint64_t silent =
      silentTail == frames ? silent_.load(std::memory_order_relaxed) + frames : silentTail;
  silent_.store(silent, std::memory_order_relaxed);
  samples_.fetch_add(frames, std::memory_order_release);
}

HRESULT SoundLevelMeter::Take(SOUND_LEVELS* levels) {
  if (levels == nullptr) return E_POINTER;
  *levels = {};
  levels->samples = samples_.exchange(0, std::memory_order_acquire);
  levels->channels = channels_.load(std::memory_order_relaxed);
  levels->sampleRate = sampleRate_.load(std::memory_order_relaxed);
  for (int c = 0; c < SOUND_LEVELS_MAX_CHANNELS; ++c) {
    levels->peak[c] = peak_[c].exchange(0, std::memory_order_relaxed);
    levels->sumOfSquares[c] = squares_[c].exchange(0, std::memory_order_relaxed);
  }
  levels->clipped = clipped_.exchange(0, std::memory_order_relaxed);
  levels->silentSamples = silent_.load(std::memory_order_relaxed);
  return levels->samples > 0 ? S_OK : S_FALSE;
}

void SoundLevelMeter::Reset() {
  SOUND_LEVELS cleared{};
  Take(&cleared);
  silent_.store(0, std::memory_order_relaxed);
}

}  // namespace vidorra::filters
