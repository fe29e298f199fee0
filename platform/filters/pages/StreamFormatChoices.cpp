// The stream format page's choices, from a capture pin's capabilities.
#include "StreamFormatChoices.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <mmreg.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <span>

#include "PixelFormatConverter.h"

namespace vidorra::filters {

namespace {

using Wanted = std::array<std::optional<int64_t>, StreamFormatChoices::kLevels>;

// Frame sizes offered between the bounds of a capability that scales.
constexpr SIZE kUsualSizes[] = {{160, 120},  {176, 144},  {320, 240},  {352, 288}, {640, 360},
                                {640, 480},  {720, 480},  {720, 576},  {800, 600}, {1024, 768},
                                {1280, 720}, {1280, 960}, {1920, 1080}};
// Frame intervals (100 ns) of the usual rates: 60, 50, 30, 29.97, 25, 24, 20, 15, 10, 5, 1.
constexpr int64_t kUsualIntervals[] = {166667, 200000, 333333,  333667,  400000,  416667,
                                       500000, 666667, 1000000, 2000000, 10000000};
constexpr int64_t kUsualSampleRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000};
constexpr int64_t kUsualBits[] = {8, 16, 24, 32};
constexpr int64_t kUsualChannels[] = {1, 2};
// A range with more steps than this offers its usual values instead of every step.
constexpr int64_t kMaxSteps = 16;

constexpr GUID kFourccBase = {
    0x00000000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

struct NamedSubtype {
  const GUID* subtype;
  const char* name;
};
constexpr NamedSubtype kRgbNames[] = {{&MEDIASUBTYPE_RGB8, "RGB 8"},
                                      {&MEDIASUBTYPE_RGB555, "RGB 555"},
                                      {&MEDIASUBTYPE_RGB565, "RGB 565"},
                                      {&MEDIASUBTYPE_RGB24, "RGB 24"},
                                      {&MEDIASUBTYPE_RGB32, "RGB 32"}};

int64_t SizeKey(LONG width, LONG height) {
  return (static_cast<int64_t>(width) << 32) | static_cast<uint32_t>(height);
}
LONG WidthOf(int64_t key) { return static_cast<LONG>(key >> 32); }
LONG HeightOf(int64_t key) { return static_cast<LONG>(key & 0xFFFFFFFF); }

// The fields of a video format block that a format choice changes.
struct VideoFields {
  RECT* source = nullptr;
  RECT* target = nullptr;
  DWORD* bitRate = nullptr;
  REFERENCE_TIME* interval = nullptr;
  BITMAPINFOHEADER* header = nullptr;
};

template <class Header>
VideoFields FieldsIn(BYTE* block) {
  auto* info = reinterpret_cast<Header*>(block);
  return {&info->rcSource, &info->rcTarget, &info->dwBitRate, &info->AvgTimePerFrame,
          &info->bmiHeader};
}

VideoFields FieldsOf(const AM_MEDIA_TYPE& type) {
  if (!type.pbFormat) return {};
  if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    return FieldsIn<VIDEOINFOHEADER>(type.pbFormat);
  }
  if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    return FieldsIn<VIDEOINFOHEADER2>(type.pbFormat);
  }
  return {};
}

std::optional<WAVEFORMATEX> WaveFormatOf(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_WaveFormatEx || !type.pbFormat ||
      type.cbFormat < sizeof(WAVEFORMATEX)) {
    return std::nullopt;
  }
  WAVEFORMATEX format;
  std::memcpy(&format, type.pbFormat, sizeof(format));
  return format;
}

// The bounds of a range, every step between them when there are few, else the usual values
// between them that fall on a step.
std::vector<int64_t> RangeValues(int64_t min, int64_t max, int64_t granularity,
                                 std::span<const int64_t> usual) {
  if (max <= min) return {min};
  std::vector<int64_t> values{min, max};
  if (granularity > 0 && (max - min) / granularity <= kMaxSteps) {
    for (int64_t v = min + granularity; v < max; v += granularity) values.push_back(v);
    return values;
  }
  for (int64_t v : usual) {
    if (v > min && v < max && (granularity <= 0 || (v - min) % granularity == 0)) {
      values.push_back(v);
    }
  }
  return values;
}

bool FitsStep(LONG value, LONG min, int granularity) {
  return granularity <= 0 || (value - min) % granularity == 0;
}

// "29,97" for 29.97: at most `decimals` decimals, no trailing zeros, a decimal comma.
QString DecimalText(double value, int decimals) {
  QString text = QString::number(value, 'f', decimals);
  if (text.contains(QLatin1Char('.'))) {
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
  }
  return text.replace(QLatin1Char('.'), QLatin1Char(','));
}

QString SubtypeName(const GUID& subtype) {
  for (const NamedSubtype& named : kRgbNames) {
    if (*named.subtype == subtype) return QString::fromLatin1(named.name);
  }
  GUID base = subtype;
  base.Data1 = 0;
  if (base == kFourccBase) {
    QString fourcc;
    for (int shift = 0; shift < 32; shift += 8) {
      const char c = static_cast<char>((subtype.Data1 >> shift) & 0xFF);
      if (c < 0x20 || c > 0x7E) {
        fourcc.clear();
        break;
      }
      fourcc += QLatin1Char(c);
    }
    if (!fourcc.isEmpty()) return fourcc;
  }
  OLECHAR text[40] = {};
  StringFromGUID2(subtype, text, 40);
  return QString::fromWCharArray(text);
}

}  // namespace

HRESULT StreamFormatChoices::Load(IAMStreamConfig* config) {
  kind_ = Kind::kVideo;
  types_.clear();
  subtypes_.clear();
  choices_.clear();
  if (!config) return E_POINTER;
  int count = 0;
  int size = 0;
  const HRESULT hr = config->GetNumberOfCapabilities(&count, &size);
  if (FAILED(hr)) return hr;
  // Room for either structure, whatever size the pin reports.
  std::vector<BYTE> caps(
      std::max({static_cast<size_t>(std::max(size, 0)), sizeof(VIDEO_STREAM_CONFIG_CAPS),
                sizeof(AUDIO_STREAM_CONFIG_CAPS)}));
  std::optional<GUID> major;
  for (int i = 0; i < count; ++i) {
    std::fill(caps.begin(), caps.end(), BYTE{0});
    AM_MEDIA_TYPE* given = nullptr;
    if (FAILED(config->GetStreamCaps(i, &given, caps.data())) || !given) continue;
    CMediaType type;
    type.Adopt(*given);
    CoTaskMemFree(given);
    if (!major) {
      major = type.majortype;
      kind_ = *major == MEDIATYPE_Audio ? Kind::kAudio : Kind::kVideo;
    } else if (type.majortype != *major) {
      continue;
    }
    types_.push_back(std::move(type));
    const size_t needed =
        kind_ == Kind::kAudio ? sizeof(AUDIO_STREAM_CONFIG_CAPS) : sizeof(VIDEO_STREAM_CONFIG_CAPS);
    const bool hasCaps = size >= 0 && static_cast<size_t>(size) >= needed;
    if (kind_ == Kind::kAudio) {
      AddAudio(types_.size() - 1, caps.data(), hasCaps);
    } else {
      AddVideo(types_.size() - 1, caps.data(), hasCaps);
    }
  }
  return S_OK;
}

void StreamFormatChoices::AddVideo(size_t capability, const BYTE* raw, bool hasCaps) {
  const CMediaType& type = types_[capability];
  VIDEO_STREAM_CONFIG_CAPS caps{};
  if (hasCaps) std::memcpy(&caps, raw, sizeof(caps));
  auto known = std::find(subtypes_.begin(), subtypes_.end(), type.subtype);
  const int64_t subtype = known - subtypes_.begin();
  if (known == subtypes_.end()) subtypes_.push_back(type.subtype);

  const VideoFields fields = FieldsOf(type);
  std::vector<int64_t> sizes;
  if (fields.header) {
    sizes.push_back(SizeKey(fields.header->biWidth, std::abs(fields.header->biHeight)));
    const SIZE& min = caps.MinOutputSize;
    const SIZE& max = caps.MaxOutputSize;
    if (hasCaps && (min.cx < max.cx || min.cy < max.cy)) {
      sizes.push_back(SizeKey(min.cx, min.cy));
      sizes.push_back(SizeKey(max.cx, max.cy));
      for (const SIZE& usual : kUsualSizes) {
        if (usual.cx >= min.cx && usual.cx <= max.cx && usual.cy >= min.cy && usual.cy <= max.cy &&
            FitsStep(usual.cx, min.cx, caps.OutputGranularityX) &&
            FitsStep(usual.cy, min.cy, caps.OutputGranularityY)) {
          sizes.push_back(SizeKey(usual.cx, usual.cy));
        }
      }
    }
  } else if (hasCaps) {
    // A format block without a picture header (DV): the picture is the device's own.
    const SIZE& own = caps.MaxOutputSize.cx > 0 ? caps.MaxOutputSize : caps.InputSize;
    sizes.push_back(SizeKey(own.cx, own.cy));
  } else {
    sizes.push_back(0);
  }
  std::erase_if(sizes,
                [](int64_t key) { return key != 0 && (WidthOf(key) <= 0 || HeightOf(key) <= 0); });

  const REFERENCE_TIME own = fields.interval ? *fields.interval : 0;
  std::vector<int64_t> intervals;
  if (fields.interval && hasCaps && caps.MinFrameInterval > 0 &&
      caps.MaxFrameInterval > caps.MinFrameInterval) {
    intervals = RangeValues(caps.MinFrameInterval, caps.MaxFrameInterval, 0, kUsualIntervals);
    if (own > caps.MinFrameInterval && own < caps.MaxFrameInterval) intervals.push_back(own);
  } else if (own > 0) {
    intervals.push_back(own);
  } else {
    intervals.push_back(hasCaps && caps.MinFrameInterval > 0 ? caps.MinFrameInterval : 0);
  }

  for (int64_t size : sizes) {
    for (int64_t interval : intervals) Add({subtype, size, interval}, capability);
  }
}

void StreamFormatChoices::AddAudio(size_t capability, const BYTE* raw, bool hasCaps) {
  const std::optional<WAVEFORMATEX> own = WaveFormatOf(types_[capability]);
  if (!own && !hasCaps) return;
  std::vector<int64_t> rates, bits, channels;
  if (hasCaps) {
    AUDIO_STREAM_CONFIG_CAPS caps;
    std::memcpy(&caps, raw, sizeof(caps));
    rates = RangeValues(caps.MinimumSampleFrequency, caps.MaximumSampleFrequency,
                        caps.SampleFrequencyGranularity, kUsualSampleRates);
    bits = RangeValues(caps.MinimumBitsPerSample, caps.MaximumBitsPerSample,
                       caps.BitsPerSampleGranularity, kUsualBits);
    channels = RangeValues(caps.MinimumChannels, caps.MaximumChannels, caps.ChannelsGranularity,
                           kUsualChannels);
  } else {
    rates = {own->nSamplesPerSec};
    bits = {own->wBitsPerSample};
    channels = {own->nChannels};
  }
  for (int64_t rate : rates) {
    for (int64_t bit : bits) {
      for (int64_t channel : channels) {
        if (rate > 0 && bit > 0 && bit % 8 == 0 && channel > 0) {
          Add({rate, bit, channel}, capability);
        }
      }
    }
  }
}

void StreamFormatChoices::Add(const Keys& keys, size_t capability) {
  for (const Choice& choice : choices_) {
    if (choice.keys == keys) return;
  }
  choices_.push_back({keys, capability});
}

std::vector<int64_t> StreamFormatChoices::Values(int level, const Keys& keys) const {
  std::vector<int64_t> values;
  for (const Choice& choice : choices_) {
    if (!std::equal(keys.begin(), keys.begin() + level, choice.keys.begin())) continue;
    values.push_back(choice.keys[level]);
  }
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  return values;
}

QString StreamFormatChoices::LevelTitle(int level) const {
  static const char16_t* const kVideo[] = {u"Format", u"Taille de l'image", u"Images par seconde"};
  static const char16_t* const kAudio[] = {u"Fréquence", u"Résolution", u"Canaux"};
  return QString::fromUtf16((kind_ == Kind::kAudio ? kAudio : kVideo)[level]);
}

QString StreamFormatChoices::ValueText(int level, int64_t value) const {
  if (kind_ == Kind::kAudio) {
    switch (level) {
      case 0:
        return DecimalText(static_cast<double>(value) / 1000.0, 3) + QStringLiteral(" kHz");
      case 1:
        return QStringLiteral("%1 bits").arg(value);
      default:
        if (value == 1) return QStringLiteral("Mono");
        if (value == 2) return QString::fromUtf16(u"Stéréo");
        return QStringLiteral("%1 canaux").arg(value);
    }
  }
  switch (level) {
    case 0:
      return value >= 0 && static_cast<size_t>(value) < subtypes_.size()
                 ? SubtypeName(subtypes_[value])
                 : QString();
    case 1:
      if (value == 0) return QString::fromUtf16(u"Celle du périphérique");
      return QStringLiteral("%1 x %2").arg(WidthOf(value)).arg(HeightOf(value));
    default:
      if (value <= 0) return QString::fromUtf16(u"Celle du périphérique");
      return DecimalText(1e7 / static_cast<double>(value), 2) + QStringLiteral(" images/s");
  }
}

StreamFormatChoices::Keys StreamFormatChoices::Nearest(const AM_MEDIA_TYPE& type) const {
  Wanted wanted;
  if (kind_ == Kind::kAudio) {
    if (const auto format = WaveFormatOf(type)) {
      wanted = {format->nSamplesPerSec, format->wBitsPerSample, format->nChannels};
    }
  } else {
    auto known = std::find(subtypes_.begin(), subtypes_.end(), type.subtype);
    if (known != subtypes_.end()) wanted[0] = known - subtypes_.begin();
    const VideoFields fields = FieldsOf(type);
    if (fields.header) {
      wanted[1] = SizeKey(fields.header->biWidth, std::abs(fields.header->biHeight));
    }
    if (fields.interval && *fields.interval > 0) wanted[2] = *fields.interval;
  }
  Keys keys{};
  for (int level = 0; level < kLevels; ++level) {
    const std::vector<int64_t> values = Values(level, keys);
    const bool offered =
        wanted[level] && std::find(values.begin(), values.end(), *wanted[level]) != values.end();
    keys[level] = offered ? *wanted[level] : values.front();
  }
  return keys;
}

StreamFormatChoices::Keys StreamFormatChoices::First() const {
  Keys keys{};
  for (int level = 0; level < kLevels; ++level) keys[level] = Values(level, keys).front();
  return keys;
}

HRESULT StreamFormatChoices::MakeType(const Keys& keys, CMediaType* type) const {
  if (!type) return E_POINTER;
  auto chosen = std::find_if(choices_.begin(), choices_.end(),
                             [&](const Choice& choice) { return choice.keys == keys; });
  if (chosen == choices_.end()) return E_INVALIDARG;
  CMediaType made = types_[chosen->capability];
  if (kind_ == Kind::kAudio) {
    if (auto format = WaveFormatOf(made)) {
      format->nSamplesPerSec = static_cast<DWORD>(keys[0]);
      format->wBitsPerSample = static_cast<WORD>(keys[1]);
      format->nChannels = static_cast<WORD>(keys[2]);
      format->nBlockAlign = static_cast<WORD>(format->nChannels * format->wBitsPerSample / 8);
      format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
      std::memcpy(made.pbFormat, &*format, sizeof(*format));
      if (made.bFixedSizeSamples) made.lSampleSize = format->nBlockAlign;
    }
  } else {
    const VideoFields fields = FieldsOf(made);
    if (BITMAPINFOHEADER* header = fields.header; header && keys[1] != 0) {
      const LONG width = WidthOf(keys[1]);
      const LONG height = HeightOf(keys[1]);
      const LONG oldWidth = header->biWidth;
      const LONG oldHeight = std::abs(header->biHeight);
      if (width != oldWidth || height != oldHeight) {
        header->biWidth = width;
        header->biHeight = header->biHeight < 0 ? -height : height;
        // An uncompressed picture has its exact size; a compressed one scales with the area.
        if (const auto layout = FrameLayout::FromMediaType(made)) {
          header->biSizeImage = static_cast<DWORD>(layout->ImageSize());
        } else if (oldWidth > 0 && oldHeight > 0) {
          const uint64_t area = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
          const uint64_t oldArea =
              static_cast<uint64_t>(oldWidth) * static_cast<uint64_t>(oldHeight);
          header->biSizeImage = static_cast<DWORD>(std::min<uint64_t>(
              header->biSizeImage * area / oldArea, std::numeric_limits<DWORD>::max()));
        }
        // Empty rectangles: the whole picture.
        *fields.source = RECT{};
        *fields.target = RECT{};
      }
      if (made.bFixedSizeSamples && header->biSizeImage > 0) made.lSampleSize = header->biSizeImage;
    }
    if (fields.interval && keys[2] > 0) {
      *fields.interval = keys[2];
      if (fields.header && fields.header->biSizeImage > 0) {
        const uint64_t bitsPerSecond =
            static_cast<uint64_t>(fields.header->biSizeImage) * 8 * 10000000 / keys[2];
        *fields.bitRate = static_cast<DWORD>(
            std::min<uint64_t>(bitsPerSecond, std::numeric_limits<DWORD>::max()));
      }
    }
  }
  *type = std::move(made);
  return S_OK;
}

}  // namespace vidorra::filters
