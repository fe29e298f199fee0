// The levels behind IAudioLevels: one streaming thread measures the 16-bit PCM it passes,
// any other thread reads and clears them. Lock-free: the streaming thread never waits for a
// reader. Measuring a buffer is one pass over its samples (a compare and a multiply-add each).
#pragma once

#include <vidorra_levels.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vidorra::filters {

class SoundLevelMeter {
 public:
  // Streaming thread: interleaved samples of `channels` channels at `sampleRate` (channels
  // beyond SOUND_LEVELS_MAX_CHANNELS are left out).
  void Measure(std::span<const int16_t> samples, int channels, int sampleRate);
  // Any thread: IAudioLevels::GetLevels.
  HRESULT Take(SOUND_LEVELS* levels);
  // Any thread, while no sound passes (a run begins): nothing measured, no silence counted.
  void Reset();

 private:
  std::array<std::atomic<uint32_t>, SOUND_LEVELS_MAX_CHANNELS> peak_{};
  std::array<std::atomic<uint64_t>, SOUND_LEVELS_MAX_CHANNELS> squares_{};
  std::atomic<uint64_t> samples_{0};
  std::atomic<uint64_t> silent_{0};
  std::atomic<uint32_t> clipped_{0};
  std::atomic<int> channels_{0};
  std::atomic<int> sampleRate_{0};
};

}  // namespace vidorra::filters
