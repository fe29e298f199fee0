// Sine tones; see Tone.h.
#include "Tone.h"

#include <cmath>
#include <numbers>

namespace vidorra::devices::sim {

void FillTone(int16_t* out, uint64_t first, size_t frames, int channels, int sampleRate,
              int hertz) {
  // The phase is taken modulo one period in whole samples times the frequency, so it stays
  // exact however long the stream runs.
  const uint64_t rate = static_cast<uint64_t>(sampleRate);
  const uint64_t frequency = static_cast<uint64_t>(hertz);
  uint64_t step = (first % rate) * frequency % rate;
  for (size_t i = 0; i < frames; ++i) {
    const double angle = 2.0 * std::numbers::pi * static_cast<double>(step) / sampleRate;
    const auto sample = static_cast<int16_t>(std::lround(kToneAmplitude * std::sin(angle)));
    for (int c = 0; c < channels; ++c) *out++ = sample;
    step = (step + frequency) % rate;
  }
}

}  // namespace vidorra::devices::sim
