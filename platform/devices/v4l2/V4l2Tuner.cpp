// The tuner of a V4L2 TV card and the channel tables; see V4l2Tuner.h.
#include "V4l2Tuner.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <span>

#include "V4l2Crossbar.h"

namespace vidorra::devices::v4l2 {

namespace {

constexpr long kMHz = 1'000'000;
constexpr long kDefaultCountry = 33;  // France
constexpr long kDefaultChannel = 21;

// One band of a plan: channels first..last, picture carrier of `first` and the step, in Hz.
struct Band {
  long first;
  long last;
  long carrier;
  long step;
};

constexpr Band kNtscAir[] = {{2, 4, 55'250'000, 6 * kMHz},
                             {5, 6, 77'250'000, 6 * kMHz},
                             {7, 13, 175'250'000, 6 * kMHz},
                             {14, 69, 471'250'000, 6 * kMHz}};
constexpr Band kNtscCable[] = {{2, 4, 55'250'000, 6 * kMHz},   {5, 6, 77'250'000, 6 * kMHz},
                               {7, 13, 175'250'000, 6 * kMHz}, {14, 22, 121'250'000, 6 * kMHz},
                               {23, 94, 217'250'000, 6 * kMHz}, {95, 99, 91'250'000, 6 * kMHz},
                               {100, 125, 649'250'000, 6 * kMHz}};
constexpr Band kEurope[] = {{2, 4, 48'250'000, 7 * kMHz},
                            {5, 12, 175'250'000, 7 * kMHz},
                            {21, 69, 471'250'000, 8 * kMHz}};
constexpr Band kUkIreland[] = {{21, 69, 471'250'000, 8 * kMHz}};
// France: the L channels of bands I and III have carriers of their own.
constexpr Band kFrance[] = {{2, 2, 55'750'000, 0},         {3, 3, 60'500'000, 0},
                            {4, 4, 63'750'000, 0},         {5, 10, 176'000'000, 8 * kMHz},
                            {21, 69, 471'250'000, 8 * kMHz}};

// Japan: NTSC with channels of its own, 6 MHz apart; cable adds C13 to C63 to channels 1-12.
constexpr Band kJapanAir[] = {{1, 3, 91'250'000, 6 * kMHz},
                              {4, 7, 171'250'000, 6 * kMHz},
                              {8, 12, 193'250'000, 6 * kMHz},
                              {13, 62, 471'250'000, 6 * kMHz}};
constexpr Band kJapanCable[] = {{1, 3, 91'250'000, 6 * kMHz},    {4, 7, 171'250'000, 6 * kMHz},
                                {8, 12, 193'250'000, 6 * kMHz},  {13, 22, 109'250'000, 6 * kMHz},
                                {23, 27, 223'250'000, 6 * kMHz}, {28, 63, 253'250'000, 6 * kMHz}};
constexpr long kJapan = 81;

struct Plan {
  std::span<const Band> air;
  std::span<const Band> cable;
  long standard;
};

bool NtscCountry(long country) {
  // North, Central and South American codes using NTSC-M.
  return country == 1 || country == 52 || country == 55 || (country >= 500 && country <= 599);
}

Plan PlanOf(long country) {
  if (NtscCountry(country)) return {kNtscAir, kNtscCable, AnalogVideo_NTSC_M};
  if (country == kJapan) return {kJapanAir, kJapanCable, AnalogVideo_NTSC_M_J};
  if (country == 33) return {kFrance, kFrance, AnalogVideo_SECAM_L};
  if (country == 44 || country == 353) return {kUkIreland, kUkIreland, AnalogVideo_PAL_I};
  return {kEurope, kEurope, AnalogVideo_PAL_B};
}

struct StandardPair {
  long analogVideo;
  v4l2_std_id v4l2;
};
constexpr StandardPair kStandards[] = {
    {AnalogVideo_NTSC_M, V4L2_STD_NTSC_M},     {AnalogVideo_NTSC_M_J, V4L2_STD_NTSC_M_JP},
    {AnalogVideo_PAL_B, V4L2_STD_PAL_B},       {AnalogVideo_PAL_D, V4L2_STD_PAL_D},
    {AnalogVideo_PAL_G, V4L2_STD_PAL_G},       {AnalogVideo_PAL_H, V4L2_STD_PAL_H},
    {AnalogVideo_PAL_I, V4L2_STD_PAL_I},       {AnalogVideo_PAL_M, V4L2_STD_PAL_M},
    {AnalogVideo_PAL_N, V4L2_STD_PAL_N},       {AnalogVideo_SECAM_B, V4L2_STD_SECAM_B},
    {AnalogVideo_SECAM_D, V4L2_STD_SECAM_D},   {AnalogVideo_SECAM_G, V4L2_STD_SECAM_G},
    {AnalogVideo_SECAM_K, V4L2_STD_SECAM_K},   {AnalogVideo_SECAM_L, V4L2_STD_SECAM_L},
    {AnalogVideo_NTSC_433, V4L2_STD_NTSC_443}, {AnalogVideo_PAL_60, V4L2_STD_PAL_60},
    {AnalogVideo_SECAM_H, V4L2_STD_SECAM_H},   {AnalogVideo_SECAM_K1, V4L2_STD_SECAM_K1},
    {AnalogVideo_SECAM_L1, V4L2_STD_SECAM_LC}, {AnalogVideo_PAL_N_COMBO, V4L2_STD_PAL_Nc},
};

}  // namespace

long ToAnalogVideo(v4l2_std_id ids) {
  long bits = 0;
  for (const StandardPair& pair : kStandards) {
    if (ids & pair.v4l2) bits |= pair.analogVideo;
  }
  return bits;
}

v4l2_std_id ToV4l2(long analogVideo) {
  for (const StandardPair& pair : kStandards) {
    if (pair.analogVideo == analogVideo) return pair.v4l2;
  }
  return 0;
}

long FirstStandard(long analogVideo) {
  for (const StandardPair& pair : kStandards) {
    if (analogVideo & pair.analogVideo) return pair.analogVideo;
  }
  return AnalogVideo_None;
}

std::optional<long> PictureCarrier(long country, bool cable, long channel) {
  const Plan plan = PlanOf(country);
  for (const Band& band : cable ? plan.cable : plan.air) {
    if (channel >= band.first && channel <= band.last) {
      return band.carrier + (channel - band.first) * band.step;
    }
  }
  return std::nullopt;
}

void ChannelRangeOf(long country, bool cable, long* minimum, long* maximum) {
  const Plan plan = PlanOf(country);
  const std::span<const Band> bands = cable ? plan.cable : plan.air;
  *minimum = bands.front().first;
  *maximum = bands.back().last;
  for (const Band& band : bands) *maximum = std::max(*maximum, band.last);
}

long CountryStandard(long country) { return PlanOf(country).standard; }

long SoundOffset(long standard) {
  switch (standard) {
    case AnalogVideo_NTSC_M:
    case AnalogVideo_NTSC_M_J:
    case AnalogVideo_PAL_M:
    case AnalogVideo_PAL_N:
      return 4'500'000;
    case AnalogVideo_PAL_I:
      return 6'000'000;
    case AnalogVideo_SECAM_L:
    case AnalogVideo_PAL_D:
    case AnalogVideo_SECAM_D:
    case AnalogVideo_SECAM_K:
      return 6'500'000;
    default:
      return 5'500'000;
  }
}

KSPIN_MEDIUM CardWire(const std::wstring& deviceDisplayName, uint32_t wire) {
  KSPIN_MEDIUM medium = CaptureWire(deviceDisplayName);
  medium.Id = (medium.Id & ~0xFu) | wire;
  return medium;
}

HRESULT V4l2Tuner::Open(std::shared_ptr<V4l2Calls> calls, const std::string& devnode,
                        uint32_t tunerIndex, uint64_t inputStandards,
                        const std::wstring& deviceDisplayName, std::unique_ptr<V4l2Tuner>* tuner) {
  if (!tuner) return E_POINTER;
  const int fd = calls->Open(devnode, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return HResultFromErrno(errno);
  tuner->reset(new V4l2Tuner(std::move(calls), fd, tunerIndex, inputStandards, deviceDisplayName));
  return S_OK;
}

V4l2Tuner::V4l2Tuner(std::shared_ptr<V4l2Calls> calls, int fd, uint32_t tunerIndex,
                     uint64_t standards, std::wstring displayName)
    : calls_(std::move(calls)),
      fd_(fd),
      index_(tunerIndex),
      standards_(standards),
      displayName_(std::move(displayName)) {
  v4l2_tuner tuner{};
  tuner.index = index_;
  if (RetryIoctl(*calls_, fd_, VIDIOC_G_TUNER, &tuner) == 0) {
    lowUnits_ = (tuner.capability & V4L2_TUNER_CAP_LOW) != 0;
    const double unit = lowUnits_ ? 62.5 : 62'500.0;
    if (tuner.rangehigh > tuner.rangelow) {
      rangeHz_ = {static_cast<double>(tuner.rangelow) * unit,
                  static_cast<double>(tuner.rangehigh) * unit};
    }
  }
  state_.countryCode = kDefaultCountry;
  state_.channel = kDefaultChannel;
  state_.inputType = TunerInputAntenna;
}

V4l2Tuner::~V4l2Tuner() { calls_->Close(fd_); }

std::vector<AnalogPinDesc> V4l2Tuner::Pins() {
  return {{L"Analog Video", PINDIR_OUTPUT, MEDIATYPE_AnalogVideo,
           CardWire(displayName_, kTunerPictureWire)},
          {L"Analog Audio", PINDIR_OUTPUT, MEDIATYPE_AnalogAudio,
           CardWire(displayName_, kTunerSoundWire)}};
}

bool V4l2Tuner::InRange(long carrierHz) const {
  return !rangeHz_ ||
         (carrierHz >= rangeHz_->first && carrierHz <= rangeHz_->second);
}

void V4l2Tuner::ChannelRange(long* minimum, long* maximum) {
  const TunerState state = State();
  const bool cable = state.inputType == TunerInputCable;
  ChannelRangeOf(state.countryCode, cable, minimum, maximum);
  // The channels whose carrier the tuner reaches.
  long first = *maximum + 1;
  long last = *minimum - 1;
  for (long channel = *minimum; channel <= *maximum; ++channel) {
    const auto carrier = PictureCarrier(state.countryCode, cable, channel);
    if (!carrier || !InRange(*carrier)) continue;
    first = std::min(first, channel);
    last = std::max(last, channel);
  }
  if (first <= last) {
    *minimum = first;
    *maximum = last;
  }
}

TunerState V4l2Tuner::State() {
  std::lock_guard lock(mutex_);
  return state_;
}

HRESULT V4l2Tuner::Tune(long channel, long country, bool cable) {
  const auto carrier = PictureCarrier(country, cable, channel);
  if (!carrier || !InRange(*carrier)) return E_INVALIDARG;
  v4l2_frequency frequency{};
  frequency.tuner = index_;
  frequency.type = V4L2_TUNER_ANALOG_TV;
  const double unit = lowUnits_ ? 62.5 : 62'500.0;
  frequency.frequency = static_cast<__u32>(static_cast<double>(*carrier) / unit + 0.5);
  if (RetryIoctl(*calls_, fd_, VIDIOC_S_FREQUENCY, &frequency) != 0) return HResultFromErrno(errno);
  return S_OK;
}

HRESULT V4l2Tuner::SetChannel(long channel) {
  std::lock_guard lock(mutex_);
  const HRESULT hr = Tune(channel, state_.countryCode, state_.inputType == TunerInputCable);
  if (SUCCEEDED(hr)) state_.channel = channel;
  return hr;
}

HRESULT V4l2Tuner::SetCountry(long countryCode) {
  if (countryCode <= 0) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  v4l2_std_id standard = ToV4l2(CountryStandard(countryCode)) & (standards_ ? standards_ : ~0ull);
  if (standard && RetryIoctl(*calls_, fd_, VIDIOC_S_STD, &standard) != 0) {
    return HResultFromErrno(errno);
  }
  state_.countryCode = countryCode;
  // The channel number means another frequency now: tune it again when the plan has it.
  Tune(state_.channel, countryCode, state_.inputType == TunerInputCable);
  return S_OK;
}

HRESULT V4l2Tuner::SetInputType(TunerInputType type) {
  if (type != TunerInputCable && type != TunerInputAntenna) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  state_.inputType = type;
  Tune(state_.channel, state_.countryCode, type == TunerInputCable);
  return S_OK;
}

void V4l2Tuner::SetTuningSpace(long space) {
  std::lock_guard lock(mutex_);
  state_.tuningSpace = space;
}

long V4l2Tuner::AvailableStandards() { return ToAnalogVideo(standards_); }

long V4l2Tuner::Standard() {
  v4l2_std_id standard = 0;
  if (RetryIoctl(*calls_, fd_, VIDIOC_G_STD, &standard) == 0) {
    // The first of the standards the card says it is set to.
    if (const long first = FirstStandard(ToAnalogVideo(standard))) return first;
  }
  return CountryStandard(State().countryCode);
}

long V4l2Tuner::Signal(long) {
  v4l2_tuner tuner{};
  tuner.index = index_;
  if (RetryIoctl(*calls_, fd_, VIDIOC_G_TUNER, &tuner) != 0) return AMTUNER_HASNOSIGNALSTRENGTH;
  return tuner.signal > 0 ? AMTUNER_SIGNALPRESENT : AMTUNER_NOSIGNAL;
}

long V4l2Tuner::VideoFrequency() {
  const TunerState state = State();
  return PictureCarrier(state.countryCode, state.inputType == TunerInputCable, state.channel)
      .value_or(0);
}

long V4l2Tuner::AudioFrequency() {
  const long picture = VideoFrequency();
  return picture ? picture + SoundOffset(Standard()) : 0;
}

// ---- TV sound ----

namespace {

struct SoundMode {
  long mode;      // AMTVAUDIO_MODE_*
  uint32_t v4l2;  // V4L2_TUNER_MODE_*
  uint32_t capability;
  uint32_t received;  // V4L2_TUNER_SUB_*
};
constexpr SoundMode kSoundModes[] = {
    {AMTVAUDIO_MODE_MONO, V4L2_TUNER_MODE_MONO, 0, V4L2_TUNER_SUB_MONO},
    {AMTVAUDIO_MODE_STEREO, V4L2_TUNER_MODE_STEREO, V4L2_TUNER_CAP_STEREO,
     V4L2_TUNER_SUB_STEREO},
    {AMTVAUDIO_MODE_LANG_A, V4L2_TUNER_MODE_LANG1, V4L2_TUNER_CAP_LANG1, V4L2_TUNER_SUB_LANG1},
    {AMTVAUDIO_MODE_LANG_B, V4L2_TUNER_MODE_LANG2, V4L2_TUNER_CAP_LANG2, V4L2_TUNER_SUB_LANG2},
};

}  // namespace

HRESULT V4l2TvAudio::Open(std::shared_ptr<V4l2Calls> calls, const std::string& devnode,
                          uint32_t tunerIndex, std::unique_ptr<V4l2TvAudio>* audio) {
  if (!audio) return E_POINTER;
  const int fd = calls->Open(devnode, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return HResultFromErrno(errno);
  audio->reset(new V4l2TvAudio(std::move(calls), fd, tunerIndex));
  return S_OK;
}

V4l2TvAudio::V4l2TvAudio(std::shared_ptr<V4l2Calls> calls, int fd, uint32_t tunerIndex)
    : calls_(std::move(calls)), fd_(fd), index_(tunerIndex) {}

V4l2TvAudio::~V4l2TvAudio() { calls_->Close(fd_); }

std::vector<AnalogPinDesc> V4l2TvAudio::Pins(const std::wstring& deviceDisplayName) {
  return {{L"TVAudio In", PINDIR_INPUT, MEDIATYPE_AnalogAudio,
           CardWire(deviceDisplayName, kTunerSoundWire)},
          {L"TVAudio Out", PINDIR_OUTPUT, MEDIATYPE_AnalogAudio,
           CardWire(deviceDisplayName, kTvSoundWire)}};
}

bool V4l2TvAudio::Query(v4l2_tuner* tuner) {
  *tuner = {};
  tuner->index = index_;
  return RetryIoctl(*calls_, fd_, VIDIOC_G_TUNER, tuner) == 0;
}

long V4l2TvAudio::SupportedModes() {
  v4l2_tuner tuner;
  if (!Query(&tuner)) return 0;
  long modes = 0;
  for (const SoundMode& mode : kSoundModes) {
    if (!mode.capability || (tuner.capability & mode.capability)) modes |= mode.mode;
  }
  return modes;
}

long V4l2TvAudio::AvailableModes() {
  v4l2_tuner tuner;
  if (!Query(&tuner)) return 0;
  long modes = 0;
  for (const SoundMode& mode : kSoundModes) {
    if (tuner.rxsubchans & mode.received) modes |= mode.mode;
  }
  return modes & SupportedModes();
}

long V4l2TvAudio::Mode() {
  v4l2_tuner tuner;
  if (!Query(&tuner)) return 0;
  for (const SoundMode& mode : kSoundModes) {
    if (tuner.audmode == mode.v4l2) return mode.mode;
  }
  return AMTVAUDIO_MODE_MONO;
}

HRESULT V4l2TvAudio::SetMode(long mode) {
  if (!(SupportedModes() & mode)) return E_INVALIDARG;
  for (const SoundMode& known : kSoundModes) {
    if (known.mode != mode) continue;
    v4l2_tuner tuner;
    if (!Query(&tuner)) return HResultFromErrno(errno);
    tuner.audmode = known.v4l2;
    if (RetryIoctl(*calls_, fd_, VIDIOC_S_TUNER, &tuner) != 0) return HResultFromErrno(errno);
    return S_OK;
  }
  return E_INVALIDARG;
}

}  // namespace vidorra::devices::v4l2
