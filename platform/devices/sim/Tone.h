// Sine tones of the simulated sound: 16-bit PCM at -12 dBFS whose phase runs on across
// buffers (sample n of a stream is the same whichever buffer it falls in).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vidorra::devices::sim {

inline constexpr int kToneHz = 1000;
// -12 dBFS of a 16-bit full scale.
inline constexpr double kToneAmplitude = 32767.0 * 0.251188643150958;

// Writes `frames` interleaved frames of `channels` channels starting at sample position
// `first` of a stream at `sampleRate`; every channel carries the tone of `hertz`.
void FillTone(int16_t* out, uint64_t first, size_t frames, int channels, int sampleRate, int hertz);

}  // namespace vidorra::devices::sim
