// The backend of a simulated sound device (`tone`, `tv-audio`): the 1 kHz tone (500 Hz for a
// TV sound decoder set to language B) at the chosen rate and channel count, in buffers of a
// fiftieth of a second, each captured when its last sample is; the phase runs on across
// buffers. Paced on the stream's clock like the video devices, with a queue of a few buffers.
//
// Threads: see AudioBackend.
#pragma once

#include <functional>
#include <memory>

#include "DeviceBackend.h"
#include "SimulatedCard.h"
#include "SimulatedKinds.h"

namespace vidorra::devices::sim {

class SimulatedAudioDevice : public AudioBackend {
 public:
  // `tvSound`: the device's TV sound decoder state, or null.
  SimulatedAudioDevice(const AudioKind& kind, std::shared_ptr<TvSoundState> tvSound,
                       std::function<bool()> present);

  std::vector<FormatCapability> Capabilities() override;
  HRESULT Available() override;
  HRESULT StartStream(const CMediaType& format) override;
  HRESULT NextFrame(StreamTiming& timing, FrameInfo* frame) override;
  HRESULT ReadFrame(std::span<uint8_t> destination, size_t* length) override;
  void StopStream() override {}
  TvAudioBackend* TvAudio() override { return tvSound_.get(); }

 private:
  REFERENCE_TIME TimeOfSample(uint64_t sample) const;

  const AudioKind& kind_;
  const std::shared_ptr<TvSoundState> tvSound_;
  const std::function<bool()> present_;

  // Streaming thread (set up by StartStream with the stream stopped).
  SoundMode mode_;
  uint64_t samplesPerBuffer_ = 0;
  uint64_t next_ = 0;   // the next buffer to capture
  uint64_t ready_ = 0;  // the buffer NextFrame made ready
};

}  // namespace vidorra::devices::sim
