// Sound capture from the sound server: its sources that are inputs (not monitors of a sink)
// listed in "Audio Capture Sources", each an audio capture filter over PulseCaptureDevice.
//
// Listing: friendly name from the source's description (made unique with " #2", " #3"...),
// display name "@device:pulse:" + the source's name, which the server keeps across runs. No
// server: no entry.
//
// Hot-plug: from the first listing on, a thread waits on the server's source events and lists
// again on each. Every listing (that thread's or a caller's) tells the catalog which sources
// went (EC_DEVICE_LOST, removed, to the graphs holding them) and which came (arrived) since the
// listing before; a server gone lists nothing, so its sources went. The thread ends with the
// server, and the next listing subscribes again.
//
// Streaming: 16-bit PCM at 48000, 44100 or 32000 Hz, stereo or mono (48 kHz stereo first); the
// server sends 40 ms fragments and the filter gets 40 ms buffers. Sound already buffered when
// the graph starts running is left out. Times run from the first buffer by sample count on the
// graph's clock; sound the server lost (an overrun, a hole) counts as a dropped buffer, marks a
// discontinuity and the times start again from the clock. The source or server going away, or
// five seconds without sound, is the device lost (EC_DEVICE_LOST); a stop is answered at once.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DeviceBackend.h"
#include "DeviceCatalog.h"
#include "PulseSeam.h"
#include "WatchThread.h"

namespace vidorra::devices::pulse {

inline constexpr const wchar_t* kDisplayNamePrefix = L"@device:pulse:";

class PulseCaptureDevice : public AudioBackend {
 public:
  PulseCaptureDevice(std::shared_ptr<PulseSeam> seam, std::string source);

  std::vector<FormatCapability> Capabilities() override;
  HRESULT Available() override;
  HRESULT StartStream(const CMediaType& format) override;
  HRESULT NextFrame(StreamTiming& timing, FrameInfo* frame) override;
  HRESULT ReadFrame(std::span<uint8_t> destination, size_t* length) override;
  void StopStream() override;
  TvAudioBackend* TvAudio() override { return nullptr; }

 private:
  REFERENCE_TIME TimeOf(uint64_t samples) const;

  const std::shared_ptr<PulseSeam> seam_;
  const std::string source_;

  // Streaming thread (set up by StartStream with the stream stopped).
  std::unique_ptr<PulseRecording> recording_;
  int sampleRate_ = 0;
  size_t frameBytes_ = 0;  // one sample of every channel
  uint64_t samplesPerBuffer_ = 0;
  std::vector<uint8_t> pending_;          // received, not yet handed out
  bool started_ = false;                  // the sound buffered before running was dropped
  uint64_t overruns_ = 0;                 // the recording's count last seen
  uint64_t number_ = 0;                   // the next buffer's number
  uint64_t position_ = 0;                 // the next buffer's first sample
  std::optional<REFERENCE_TIME> origin_;  // stream time of sample 0
};

// The provider of the server's input sources. Threads: any.
class PulseDevices : public DeviceProvider {
 public:
  explicit PulseDevices(std::shared_ptr<PulseSeam> seam) : seam_(std::move(seam)) {}
  ~PulseDevices() override;
  std::vector<DeviceEntry> Devices() override;

 private:
  // The input sources now, after telling the catalog what changed.
  std::vector<PulseSource> Inputs();
  void EnsureWatching();

  const std::shared_ptr<PulseSeam> seam_;
  std::mutex listMutex_;                        // one listing and its reports at a time
  std::optional<std::set<std::string>> known_;  // the last listing's sources (listMutex_)
  std::mutex watchMutex_;
  WatchThread watcher_;  // under watchMutex_
  // Set by the watcher once its server is gone, before it reports the loss: a listing made
  // while the report runs subscribes again instead of counting on a watcher about to end.
  std::atomic<bool> watchEnding_{false};
};

}  // namespace vidorra::devices::pulse
