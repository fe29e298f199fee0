// The state of a simulated video device; see SimulatedCard.h.
#include "SimulatedCard.h"

#include <algorithm>
#include <array>

#include "Tone.h"

namespace vidorra::devices::sim {

namespace {

// The medium set of the simulated cards' wires.
// {8E3A5F20-1D4C-4B7A-9E61-5C2D7A0B3180}
DEFINE_GUID(KSMEDIUMSETID_SimulatedCard, 0x8E3A5F20, 0x1D4C, 0x4B7A, 0x9E, 0x61, 0x5C, 0x2D, 0x7A,
            0x0B, 0x31, 0x80);

// The wires of a card, numbered within its medium key.
enum Wire : uint32_t {
  kCrossbarToCapture = 1,
  kTunerVideo = 2,
  kTunerSound = 3,
  kTvAudioToCrossbar = 4,
  kSecondCrossbarVideo = 5,
  kSecondCrossbarSound = 6,
};

const std::array<ControlRange, 4> kControls = {{
    {VideoProcAmp_Brightness, 0, 255, 1, 128, VideoProcAmp_Flags_Manual},
    {VideoProcAmp_Contrast, 0, 200, 1, 100, VideoProcAmp_Flags_Manual},
    {VideoProcAmp_Hue, -180, 180, 1, 0, VideoProcAmp_Flags_Manual},
    {VideoProcAmp_Saturation, 0, 200, 1, 100, VideoProcAmp_Flags_Manual},
}};

// ---- Tuner facts ----
constexpr long kFirstChannel = 1;
constexpr long kLastChannel = 69;
constexpr long kDefaultChannel = 4;
constexpr long kDefaultCountry = 33;  // France
// Channels that carry a station on the simulated air.
constexpr std::array<long, 8> kStations = {2, 4, 6, 10, 21, 24, 27, 30};

struct CountryStandard {
  long country;
  long standard;
};
constexpr std::array<CountryStandard, 8> kCountryStandards = {{{1, AnalogVideo_NTSC_M},
                                                               {32, AnalogVideo_PAL_B},
                                                               {33, AnalogVideo_SECAM_L},
                                                               {34, AnalogVideo_PAL_B},
                                                               {39, AnalogVideo_PAL_B},
                                                               {41, AnalogVideo_PAL_B},
                                                               {44, AnalogVideo_PAL_I},
                                                               {49, AnalogVideo_PAL_B}}};
constexpr long kOtherCountriesStandard = AnalogVideo_PAL_B;

struct StandardName {
  long standard;
  const char* name;
};
constexpr std::array<StandardName, 6> kStandardNames = {{{AnalogVideo_NTSC_M, "NTSC-M"},
                                                         {AnalogVideo_PAL_B, "PAL-B"},
                                                         {AnalogVideo_PAL_D, "PAL-D"},
                                                         {AnalogVideo_PAL_G, "PAL-G"},
                                                         {AnalogVideo_PAL_I, "PAL-I"},
                                                         {AnalogVideo_SECAM_L, "SECAM-L"}}};

// Picture carriers of the European bands, in Hz: band I from channel 2, band III from 5,
// bands IV and V from 21; the sound carrier 5.5 MHz above.
constexpr long kBand1Start = 48'250'000, kBand1Step = 7'000'000;
constexpr long kBand3Channel = 5, kBand3Start = 175'250'000, kBand3Step = 7'000'000;
constexpr long kUhfChannel = 21, kUhfStart = 471'250'000, kUhfStep = 8'000'000;
constexpr long kSoundOffset = 5'500'000;

long VideoCarrier(long channel) {
  if (channel >= kUhfChannel) return kUhfStart + (channel - kUhfChannel) * kUhfStep;
  if (channel >= kBand3Channel) return kBand3Start + (channel - kBand3Channel) * kBand3Step;
  return kBand1Start + (channel - 2) * kBand1Step;
}

long StandardOf(long country) {
  for (const CountryStandard& entry : kCountryStandards) {
    if (entry.country == country) return entry.standard;
  }
  return kOtherCountriesStandard;
}

const char* StandardText(long standard) {
  for (const StandardName& entry : kStandardNames) {
    if (entry.standard == standard) return entry.name;
  }
  return "";
}

bool HasStation(long channel) {
  return std::find(kStations.begin(), kStations.end(), channel) != kStations.end();
}

const char* SoundText(long mode) {
  if (mode & AMTVAUDIO_MODE_LANG_B) return "LANG B";
  if (mode & AMTVAUDIO_MODE_MONO) return "MONO";
  return "STEREO";
}

CrossbarPinDesc Pin(const wchar_t* name, PIN_DIRECTION direction, long type, long related,
                    std::optional<KSPIN_MEDIUM> medium = std::nullopt) {
  const GUID& major = type < PhysConn_Audio_Tuner ? MEDIATYPE_AnalogVideo : MEDIATYPE_AnalogAudio;
  return {{name, direction, major, medium}, type, related};
}

}  // namespace

int TvSoundHz(long mode) { return (mode & AMTVAUDIO_MODE_LANG_B) ? kLanguageBHz : kToneHz; }

// ---- TV sound ----

long TvSoundState::Mode() {
  std::lock_guard lock(mutex_);
  return mode_;
}

HRESULT TvSoundState::SetMode(long mode) {
  // One of mono and stereo, one language, or both together.
  const long channels = mode & (AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO);
  const long language = mode & (AMTVAUDIO_MODE_LANG_A | AMTVAUDIO_MODE_LANG_B);
  const bool oneEach = channels != (AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO) &&
                       language != (AMTVAUDIO_MODE_LANG_A | AMTVAUDIO_MODE_LANG_B);
  if ((mode & ~kTvSoundModes) != 0 || mode == 0 || !oneEach) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  mode_ = mode;
  return S_OK;
}

// ---- Front-end views ----

class SimulatedCard::CrossbarView : public CrossbarBackend {
 public:
  CrossbarView(std::shared_ptr<SimulatedCard> card, size_t index, std::function<bool()> present)
      : card_(std::move(card)), index_(index), present_(std::move(present)) {}
  std::vector<CrossbarPinDesc> Pins() override {
    std::lock_guard lock(card_->mutex_);
    return State().pins;
  }
  // The simulated crossbars join any input to any output of the same kind.
  bool CanRoute(long, long) override { return true; }
  HRESULT Route(long output, long input) override {
    if (!present_()) return VFW_E_NO_CAPTURE_HARDWARE;
    std::lock_guard lock(card_->mutex_);
    State().routes.at(static_cast<size_t>(output)) = input;
    return S_OK;
  }
  long RoutedTo(long output) override {
    std::lock_guard lock(card_->mutex_);
    return State().routes.at(static_cast<size_t>(output));
  }

 private:
  CrossbarState& State() { return card_->crossbars_[index_]; }
  const std::shared_ptr<SimulatedCard> card_;
  const size_t index_;
  const std::function<bool()> present_;
};

class SimulatedCard::TunerView : public TunerBackend {
 public:
  explicit TunerView(std::shared_ptr<SimulatedCard> card) : card_(std::move(card)) {}
  std::vector<AnalogPinDesc> Pins() override {
    return {{L"Analog Video", PINDIR_OUTPUT, MEDIATYPE_AnalogVideo, card_->Wire(kTunerVideo)},
            {L"Analog Audio", PINDIR_OUTPUT, MEDIATYPE_AnalogAudio, card_->Wire(kTunerSound)}};
  }
  void ChannelRange(long* minimum, long* maximum) override {
    *minimum = kFirstChannel;
    *maximum = kLastChannel;
  }
  TunerState State() override {
    std::lock_guard lock(card_->mutex_);
    return card_->tuner_;
  }
  HRESULT SetChannel(long channel) override {
    if (channel < kFirstChannel || channel > kLastChannel) return E_INVALIDARG;
    std::lock_guard lock(card_->mutex_);
    card_->tuner_.channel = channel;
    return S_OK;
  }
  HRESULT SetCountry(long countryCode) override {
    if (countryCode <= 0) return E_INVALIDARG;
    std::lock_guard lock(card_->mutex_);
    card_->tuner_.countryCode = countryCode;
    return S_OK;
  }
  HRESULT SetInputType(TunerInputType type) override {
    if (type != TunerInputCable && type != TunerInputAntenna) return E_INVALIDARG;
    std::lock_guard lock(card_->mutex_);
    card_->tuner_.inputType = type;
    return S_OK;
  }
  void SetTuningSpace(long space) override {
    std::lock_guard lock(card_->mutex_);
    card_->tuner_.tuningSpace = space;
  }
  long AvailableStandards() override { return static_cast<long>(CardStandards()); }
  long Standard() override { return StandardOf(State().countryCode); }
  long Signal(long channel) override {
    return HasStation(channel) ? AMTUNER_SIGNALPRESENT : AMTUNER_NOSIGNAL;
  }
  long VideoFrequency() override { return VideoCarrier(State().channel); }
  long AudioFrequency() override { return VideoCarrier(State().channel) + kSoundOffset; }

 private:
  const std::shared_ptr<SimulatedCard> card_;
};

class SimulatedCard::TvAudioView : public TvAudioBackend {
 public:
  TvAudioView(std::shared_ptr<SimulatedCard> card, std::function<bool()> present)
      : card_(std::move(card)), present_(std::move(present)) {}
  long SupportedModes() override { return card_->tvSound_.SupportedModes(); }
  long AvailableModes() override { return card_->tvSound_.AvailableModes(); }
  long Mode() override { return card_->tvSound_.Mode(); }
  HRESULT SetMode(long mode) override {
    // A card's driver fails once the card is gone.
    if (!present_()) return VFW_E_NO_CAPTURE_HARDWARE;
    return card_->tvSound_.SetMode(mode);
  }

 private:
  const std::shared_ptr<SimulatedCard> card_;
  const std::function<bool()> present_;
};

// ---- The card ----

SimulatedCard::SimulatedCard(const VideoKind& kind, std::string friendlyName, uint32_t mediumKey)
    : kind_(kind), friendlyName_(std::move(friendlyName)), mediumKey_(mediumKey) {
  tuner_.channel = kDefaultChannel;
  tuner_.countryCode = kDefaultCountry;
  BuildFrontEnd();
}

uint64_t SimulatedCard::FirstFrameNumber(std::chrono::steady_clock::time_point start,
                                         REFERENCE_TIME interval) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(start - pluggedIn_);
  const int64_t periods = interval > 0 ? (elapsed.count() / 100 + interval / 2) / interval : 0;
  return std::max<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(periods, 0)),
                            nextNumber_.load());
}

void SimulatedCard::FrameShown(uint64_t number) {
  uint64_t next = nextNumber_.load();
  while (number + 1 > next && !nextNumber_.compare_exchange_weak(next, number + 1)) {
  }
}

KSPIN_MEDIUM SimulatedCard::Wire(uint32_t wire) const {
  return {KSMEDIUMSETID_SimulatedCard, mediumKey_ | wire, 0};
}

std::optional<KSPIN_MEDIUM> SimulatedCard::AnalogVideoIn() const {
  if (kind_.frontEnd == CardFrontEnd::kNone) return std::nullopt;
  return Wire(kCrossbarToCapture);
}

std::vector<AnalogPinDesc> SimulatedCard::TvAudioPins() const {
  return {{L"TVAudio In", PINDIR_INPUT, MEDIATYPE_AnalogAudio, Wire(kTunerSound)},
          {L"TVAudio Out", PINDIR_OUTPUT, MEDIATYPE_AnalogAudio, Wire(kTvAudioToCrossbar)}};
}

// Crossbars enumerate their inputs first, then their outputs; each video pin is related to
// the sound pin that goes with it and back.
void SimulatedCard::BuildFrontEnd() {
  if (kind_.frontEnd == CardFrontEnd::kOneCrossbar) {
    crossbars_.push_back(
        {{Pin(L"Video Tuner In", PINDIR_INPUT, PhysConn_Video_Tuner, 3, Wire(kTunerVideo)),
          Pin(L"Video Composite In", PINDIR_INPUT, PhysConn_Video_Composite, 4),
          Pin(L"Video SVideo In", PINDIR_INPUT, PhysConn_Video_SVideo, 4),
          Pin(L"Audio Tuner In", PINDIR_INPUT, PhysConn_Audio_Tuner, 0, Wire(kTvAudioToCrossbar)),
          Pin(L"Audio Line In", PINDIR_INPUT, PhysConn_Audio_Line, 1),
          Pin(L"Video Decoder Out", PINDIR_OUTPUT, PhysConn_Video_VideoDecoder, 1,
              Wire(kCrossbarToCapture)),
          Pin(L"Audio Decoder Out", PINDIR_OUTPUT, PhysConn_Audio_AudioDecoder, 0)},
         {0, 3}});
  }
  if (kind_.frontEnd == CardFrontEnd::kTwoCrossbars) {
    // The crossbar next to the capture filter: S-Video and line sound of its own, and what
    // the second crossbar routes.
    crossbars_.push_back(
        {{Pin(L"Video SVideo In", PINDIR_INPUT, PhysConn_Video_SVideo, 2),
          Pin(L"Video Decoder In", PINDIR_INPUT, PhysConn_Video_VideoDecoder, 3,
              Wire(kSecondCrossbarVideo)),
          Pin(L"Audio Line In", PINDIR_INPUT, PhysConn_Audio_Line, 0),
          Pin(L"Audio Decoder In", PINDIR_INPUT, PhysConn_Audio_AudioDecoder, 1,
              Wire(kSecondCrossbarSound)),
          Pin(L"Video Decoder Out", PINDIR_OUTPUT, PhysConn_Video_VideoDecoder, 1,
              Wire(kCrossbarToCapture)),
          Pin(L"Audio Decoder Out", PINDIR_OUTPUT, PhysConn_Audio_AudioDecoder, 0)},
         {1, 3}});
    crossbars_.push_back(
        {{Pin(L"Video Tuner In", PINDIR_INPUT, PhysConn_Video_Tuner, 2, Wire(kTunerVideo)),
          Pin(L"Video Composite In", PINDIR_INPUT, PhysConn_Video_Composite, 3),
          Pin(L"Audio Tuner In", PINDIR_INPUT, PhysConn_Audio_Tuner, 0, Wire(kTvAudioToCrossbar)),
          Pin(L"Audio Line In", PINDIR_INPUT, PhysConn_Audio_Line, 1),
          Pin(L"Video Decoder Out", PINDIR_OUTPUT, PhysConn_Video_VideoDecoder, 1,
              Wire(kSecondCrossbarVideo)),
          Pin(L"Audio Decoder Out", PINDIR_OUTPUT, PhysConn_Audio_AudioDecoder, 0,
              Wire(kSecondCrossbarSound))},
         {0, 2}});
  }
}

std::unique_ptr<CrossbarBackend> SimulatedCard::Crossbar(int index, std::function<bool()> present) {
  if (index < 0 || static_cast<size_t>(index) >= crossbars_.size()) return nullptr;
  return std::make_unique<CrossbarView>(shared_from_this(), static_cast<size_t>(index),
                                        std::move(present));
}

std::unique_ptr<TunerBackend> SimulatedCard::Tuner() {
  return std::make_unique<TunerView>(shared_from_this());
}

std::unique_ptr<TvAudioBackend> SimulatedCard::TvAudio(std::function<bool()> present) {
  return std::make_unique<TvAudioView>(shared_from_this(), std::move(present));
}

std::vector<ControlRange> SimulatedCard::ControlRanges() {
  return {kControls.begin(), kControls.end()};
}

HRESULT SimulatedCard::GetControl(long property, long* value, long* flags) {
  std::lock_guard lock(mutex_);
  switch (property) {
    case VideoProcAmp_Brightness:
      *value = controls_.brightness;
      break;
    case VideoProcAmp_Contrast:
      *value = controls_.contrast;
      break;
    case VideoProcAmp_Hue:
      *value = controls_.hue;
      break;
    case VideoProcAmp_Saturation:
      *value = controls_.saturation;
      break;
    default:
      return E_PROP_ID_UNSUPPORTED;
  }
  *flags = VideoProcAmp_Flags_Manual;
  return S_OK;
}

HRESULT SimulatedCard::SetControl(long property, long value, long flags) {
  const auto range = std::find_if(kControls.begin(), kControls.end(),
                                  [&](const ControlRange& r) { return r.property == property; });
  if (range == kControls.end()) return E_PROP_ID_UNSUPPORTED;
  // These controls have no automatic setting.
  if (flags & VideoProcAmp_Flags_Auto) return E_INVALIDARG;
  if (value < range->minimum || value > range->maximum) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  switch (property) {
    case VideoProcAmp_Brightness:
      controls_.brightness = value;
      break;
    case VideoProcAmp_Contrast:
      controls_.contrast = value;
      break;
    case VideoProcAmp_Hue:
      controls_.hue = value;
      break;
    default:
      controls_.saturation = value;
      break;
  }
  return S_OK;
}

PatternSource SimulatedCard::RoutedSource(bool* signal) const {
  *signal = true;
  if (crossbars_.empty()) return PatternSource::kCamera;
  // Follows the picture from the capture filter's input up the crossbars to its connector.
  const CrossbarState* crossbar = &crossbars_[0];
  for (size_t depth = 0;; ++depth) {
    const long input = crossbar->routes[0];
    if (input < 0) {
      *signal = false;
      return PatternSource::kCamera;
    }
    const long type = crossbar->pins[static_cast<size_t>(input)].physicalType;
    if (type == PhysConn_Video_Tuner) {
      *signal = HasStation(tuner_.channel);
      return PatternSource::kTuner;
    }
    if (type == PhysConn_Video_Composite) return PatternSource::kComposite;
    if (type == PhysConn_Video_SVideo) return PatternSource::kSVideo;
    if (depth + 1 >= crossbars_.size()) return PatternSource::kCamera;
    crossbar = &crossbars_[depth + 1];
  }
}

PatternScene SimulatedCard::Scene() {
  PatternScene scene;
  scene.title = friendlyName_;
  std::lock_guard lock(mutex_);
  scene.controls = controls_;
  scene.source = RoutedSource(&scene.signal);
  scene.channel = tuner_.channel;
  switch (scene.source) {
    case PatternSource::kCamera:
      scene.caption = crossbars_.empty() ? "CAMERA" : "";
      break;
    case PatternSource::kTuner:
      scene.caption = "TUNER CH " + std::to_string(tuner_.channel) + " " +
                      StandardText(StandardOf(tuner_.countryCode)) + " " +
                      SoundText(tvSound_.Mode());
      break;
    case PatternSource::kComposite:
      scene.caption = "COMPOSITE";
      break;
    case PatternSource::kSVideo:
      scene.caption = "S-VIDEO";
      break;
  }
  return scene;
}

}  // namespace vidorra::devices::sim
