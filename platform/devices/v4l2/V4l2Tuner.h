// The tuner of a V4L2 TV card (TunerBackend) and the channel tables behind it.
//
// Channels are numbered as in the country's broadcast plan (or the US cable plan for cable in
// NTSC countries): NTSC-M (country codes 1, 2, 52 and the other Americas), PAL-B/G western
// Europe with bands I, III and UHF, PAL-I (UK and Ireland: UHF only), SECAM-L (France: the
// L band I/III channels and UHF), NTSC-M-J (Japan, 81: its own VHF channels 1-12 and UHF 13-62,
// cable C13-C63). Setting the country sets the card's TV standard
// (VIDIOC_S_STD) and tunes the current channel again; setting a channel tunes its picture
// carrier (VIDIOC_S_FREQUENCY, in the tuner's 62.5 kHz or 62.5 Hz units). The channels offered
// are those of the plan whose carrier lies in the tuner's frequency range (VIDIOC_G_TUNER);
// one outside it is refused. The signal is the
// tuner's (VIDIOC_G_TUNER); the standards the card takes are its tuner input's.
//
// Threads: any; a mutex guards the tuner's state.
#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include <linux/videodev2.h>

#include "DeviceBackend.h"
#include "V4l2Calls.h"

namespace vidorra::devices::v4l2 {

// The channel plan of a country: picture carrier of a channel in Hz (nullopt for a channel the
// plan lacks), channel range, TV standard (AnalogVideoStandard) and sound carrier offset.
std::optional<long> PictureCarrier(long country, bool cable, long channel);
void ChannelRangeOf(long country, bool cable, long* minimum, long* maximum);
long CountryStandard(long country);
long SoundOffset(long standard);

// V4L2 standards as AnalogVideoStandard bits and back (one standard), and the first of a set of
// bits in the order of this layer's table (NTSC M first).
long ToAnalogVideo(v4l2_std_id ids);
v4l2_std_id ToV4l2(long analogVideo);
long FirstStandard(long analogVideo);

// The wires of a card, by number (1: crossbar to capture, 2: tuner picture, 3: tuner sound to
// the TV sound decoder, 4: TV sound decoder to crossbar).
KSPIN_MEDIUM CardWire(const std::wstring& deviceDisplayName, uint32_t wire);
inline constexpr uint32_t kTunerPictureWire = 2;
inline constexpr uint32_t kTunerSoundWire = 3;
inline constexpr uint32_t kTvSoundWire = 4;

class V4l2Tuner : public TunerBackend {
 public:
  // Opens `devnode` for its tuner `tunerIndex` (the tuner input's `tuner`).
  static HRESULT Open(std::shared_ptr<V4l2Calls> calls, const std::string& devnode,
                      uint32_t tunerIndex, uint64_t inputStandards,
                      const std::wstring& deviceDisplayName, std::unique_ptr<V4l2Tuner>* tuner);
  ~V4l2Tuner() override;

  std::vector<AnalogPinDesc> Pins() override;
  void ChannelRange(long* minimum, long* maximum) override;
  TunerState State() override;
  HRESULT SetChannel(long channel) override;
  HRESULT SetCountry(long countryCode) override;
  HRESULT SetInputType(TunerInputType type) override;
  void SetTuningSpace(long space) override;
  long AvailableStandards() override;
  long Standard() override;
  long Signal(long channel) override;
  long VideoFrequency() override;
  long AudioFrequency() override;

 private:
  V4l2Tuner(std::shared_ptr<V4l2Calls> calls, int fd, uint32_t tunerIndex, uint64_t standards,
            std::wstring displayName);
  HRESULT Tune(long channel, long country, bool cable);
  // Whether the tuner reaches a carrier (its VIDIOC_G_TUNER range).
  bool InRange(long carrierHz) const;

  const std::shared_ptr<V4l2Calls> calls_;
  const int fd_;
  const uint32_t index_;
  const uint64_t standards_;  // V4L2_STD_* bits
  const std::wstring displayName_;
  bool lowUnits_ = false;     // frequencies in 62.5 Hz units rather than 62.5 kHz
  std::optional<std::pair<double, double>> rangeHz_;  // what it tunes, when it says

  std::mutex mutex_;
  TunerState state_;
};

// The TV sound decoder of the tuner (TvAudioBackend): the modes the tuner can decode
// (capability), those the broadcast carries (rxsubchans) and the chosen one (audmode, set
// with VIDIOC_S_TUNER). Mono, stereo, language A and language B.
class V4l2TvAudio : public TvAudioBackend {
 public:
  static HRESULT Open(std::shared_ptr<V4l2Calls> calls, const std::string& devnode,
                      uint32_t tunerIndex, std::unique_ptr<V4l2TvAudio>* audio);
  ~V4l2TvAudio() override;
  // The filter's pins: from the tuner's sound wire to the crossbar's.
  static std::vector<AnalogPinDesc> Pins(const std::wstring& deviceDisplayName);

  long SupportedModes() override;
  long AvailableModes() override;
  long Mode() override;
  HRESULT SetMode(long mode) override;

 private:
  V4l2TvAudio(std::shared_ptr<V4l2Calls> calls, int fd, uint32_t tunerIndex);
  bool Query(v4l2_tuner* tuner);

  const std::shared_ptr<V4l2Calls> calls_;
  const int fd_;
  const uint32_t index_;
};

}  // namespace vidorra::devices::v4l2
