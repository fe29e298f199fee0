// The sound levels a filter measures on the 16-bit PCM it passes, for a level meter: a few
// numbers kept on the streaming thread as the samples go by (no copy of the sound, no lock),
// read and cleared by whoever shows them.
//
// Offered by the audio capture filters (the sound they deliver) and by the DV Splitter (the
// first stereo pair of the frames' sound).
#pragma once

#include <objbase.h>

#define SOUND_LEVELS_MAX_CHANNELS 8

struct SOUND_LEVELS {
  LONG channels;    // channels measured (at most SOUND_LEVELS_MAX_CHANNELS)
  LONG sampleRate;  // of the sound measured
  // Per channel, since the previous GetLevels: the largest magnitude (0..32768; 32768 or 32767
  // is full scale) and the sum of the squares of the samples, over `samples` samples.
  ULONG peak[SOUND_LEVELS_MAX_CHANNELS];
  ULONGLONG sumOfSquares[SOUND_LEVELS_MAX_CHANNELS];
  ULONGLONG samples;
  // Samples (per channel) of digital silence, every channel 0, that ended the sound passed so
  // far: 0 when the last sample was not silent. Not cleared by GetLevels.
  ULONGLONG silentSamples;
  // Samples at full scale (either end) since the previous GetLevels, any channel.
  ULONG clipped;
};

// {5D2B8E61-3F0A-4C77-8B14-E6A90C3D27F5}
DEFINE_GUID(IID_IAudioLevels, 0x5D2B8E61, 0x3F0A, 0x4C77, 0x8B, 0x14, 0xE6, 0xA9, 0x0C, 0x3D, 0x27,
            0xF5);

struct IAudioLevels : IUnknown {
  VIDORRA_INTERFACE(IID_IAudioLevels, IUnknown)
  // The levels since the previous call, then cleared: S_OK; S_FALSE when no sample was measured
  // since (levels then says so: samples 0, channels and silentSamples as before).
  STDMETHOD(GetLevels)(SOUND_LEVELS* levels) PURE;
  // Whether the filter measures the sound also when none of its sound is otherwise needed: the
  // DV Splitter then reads the frames' sound without a sound output connected (at once), an
  // audio capture filter runs its device with the graph without a receiver (from the next
  // run). S_OK.
  STDMETHOD(SetMetering)(BOOL on) PURE;
};
