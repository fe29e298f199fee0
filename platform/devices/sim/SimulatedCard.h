// The state of one simulated video device, kept like a device's registers: its picture
// controls and, for a TV card, the routes of its crossbars, its tuner and its TV sound mode.
// Every filter of the device (capture filter, crossbars, tuner, TV audio) works on the same
// state, so a route or a channel set on one shows in the pictures of the other. The state
// lasts while the device is plugged in; unplugging it resets it.
//
// Also the backends of the card's front-end filters over that state, and the scene the
// capture filter draws from it.
//
// Threads: any; one mutex guards the state.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DeviceBackend.h"
#include "SimulatedKinds.h"
#include "TestPattern.h"

namespace vidorra::devices::sim {

// The sound modes of a simulated TV sound decoder and what they mean for the sound: language
// B is a 500 Hz tone, everything else the 1 kHz one.
inline constexpr long kTvSoundModes =
    AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO | AMTVAUDIO_MODE_LANG_A | AMTVAUDIO_MODE_LANG_B;
inline constexpr int kLanguageBHz = 500;
int TvSoundHz(long mode);

// The TV sound mode of a device, shared by its filters.
class TvSoundState : public TvAudioBackend {
 public:
  long SupportedModes() override { return kTvSoundModes; }
  long AvailableModes() override { return kTvSoundModes; }
  long Mode() override;
  HRESULT SetMode(long mode) override;

 private:
  std::mutex mutex_;
  long mode_ = AMTVAUDIO_MODE_STEREO;
};

class SimulatedCard : public std::enable_shared_from_this<SimulatedCard> {
 public:
  // `mediumKey` makes the card's wires its own (from its display name).
  SimulatedCard(const VideoKind& kind, std::string friendlyName, uint32_t mediumKey);

  const VideoKind& Kind() const { return kind_; }

  // ---- Picture controls ----
  static std::vector<ControlRange> ControlRanges();
  HRESULT GetControl(long property, long* value, long* flags);
  HRESULT SetControl(long property, long value, long flags);

  // What the capture filter shows now (the frame number left to the caller).
  PatternScene Scene();

  // ---- The frame clock ----
  // The device numbers its frames by a clock that runs from its plug-in (the card's making):
  // frame k is the k-th frame period since then. The number of the first frame of a stream
  // that starts at `start` with frames of `interval` (100-ns units), never one already shown.
  uint64_t FirstFrameNumber(std::chrono::steady_clock::time_point start, REFERENCE_TIME interval);
  // A frame was shown under `number`.
  void FrameShown(uint64_t number);

  // ---- Wires ----
  // The medium of the capture filter's analogue input (none without a crossbar).
  std::optional<KSPIN_MEDIUM> AnalogVideoIn() const;

  // ---- Front-end backends (each keeps the card alive) ----
  // The crossbar next to the capture filter is 0, the one feeding it 1. `present` says whether
  // the card is still plugged in: an unplugged card's crossbar routes nothing and its TV sound
  // takes no mode.
  std::unique_ptr<CrossbarBackend> Crossbar(int index, std::function<bool()> present);
  std::unique_ptr<TunerBackend> Tuner();
  std::unique_ptr<TvAudioBackend> TvAudio(std::function<bool()> present);
  std::vector<AnalogPinDesc> TvAudioPins() const;

 private:
  class CrossbarView;
  class TunerView;
  class TvAudioView;

  struct CrossbarState {
    std::vector<CrossbarPinDesc> pins;
    std::vector<long> routes;  // per output: the routed input, -1 for none
  };

  KSPIN_MEDIUM Wire(uint32_t wire) const;
  void BuildFrontEnd();
  // The routed input and its picture, under the mutex.
  PatternSource RoutedSource(bool* signal) const;

  const VideoKind& kind_;
  const std::string friendlyName_;
  const uint32_t mediumKey_;
  const std::chrono::steady_clock::time_point pluggedIn_ = std::chrono::steady_clock::now();
  std::atomic<uint64_t> nextNumber_{0};  // above every number shown

  mutable std::mutex mutex_;
  PictureControls controls_;
  std::vector<CrossbarState> crossbars_;
  TunerState tuner_;
  TvSoundState tvSound_;
};

}  // namespace vidorra::devices::sim
