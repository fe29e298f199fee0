// Media types and stream capabilities of capture devices; see CaptureFormats.h.
#include "CaptureFormats.h"

#include <cstdlib>
#include <cstring>

namespace vidorra::devices {

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
constexpr int kDibRowAlign = 4;

struct LayoutFacts {
  PictureLayout layout;
  const GUID* subtype;
  WORD bitCount;
  DWORD compression;
};

constexpr LayoutFacts kLayouts[] = {
    {PictureLayout::kYuy2, &MEDIASUBTYPE_YUY2, 16, MAKEFOURCC('Y', 'U', 'Y', '2')},
    {PictureLayout::kRgb24, &MEDIASUBTYPE_RGB24, 24, BI_RGB},
    {PictureLayout::kI420, &MEDIASUBTYPE_I420, 12, MAKEFOURCC('I', '4', '2', '0')},
    {PictureLayout::kMjpg, &MEDIASUBTYPE_MJPG, 24, MAKEFOURCC('M', 'J', 'P', 'G')},
    {PictureLayout::kUyvy, &MEDIASUBTYPE_UYVY, 16, MAKEFOURCC('U', 'Y', 'V', 'Y')},
    {PictureLayout::kNv12, &MEDIASUBTYPE_NV12, 12, MAKEFOURCC('N', 'V', '1', '2')},
    {PictureLayout::kYvyu, &MEDIASUBTYPE_YVYU, 16, MAKEFOURCC('Y', 'V', 'Y', 'U')},
    {PictureLayout::kYv12, &MEDIASUBTYPE_YV12, 12, MAKEFOURCC('Y', 'V', '1', '2')},
    {PictureLayout::kNv21, &MEDIASUBTYPE_NV21, 12, MAKEFOURCC('N', 'V', '2', '1')},
    {PictureLayout::kGrey, &MEDIASUBTYPE_Y800, 8, MAKEFOURCC('Y', '8', '0', '0')},
    {PictureLayout::kRgb32, &MEDIASUBTYPE_RGB32, 32, BI_RGB},
};
// Compressed pictures of other codings: a FOURCC subtype, 24 bits as cameras give them.
constexpr WORD kCompressedBitCount = 24;

GUID FourccSubtype(uint32_t fourcc) {
  GUID subtype = MEDIASUBTYPE_YUY2;  // any FOURCC subtype: the same but for its first field
  subtype.Data1 = fourcc;
  return subtype;
}

const LayoutFacts* FactsOf(PictureLayout layout) {
  for (const LayoutFacts& facts : kLayouts) {
    if (facts.layout == layout) return &facts;
  }
  return nullptr;
}

const LayoutFacts* FactsOf(const GUID& subtype) {
  for (const LayoutFacts& facts : kLayouts) {
    if (*facts.subtype == subtype) return &facts;
  }
  return nullptr;
}

bool IsFourccSubtype(const GUID& subtype) {
  const GUID base = FourccSubtype(subtype.Data1);
  return base == subtype;
}

template <class Caps>
std::vector<BYTE> CapsBytes(const Caps& caps) {
  std::vector<BYTE> bytes(sizeof caps);
  std::memcpy(bytes.data(), &caps, sizeof caps);
  return bytes;
}

LONG BitsPerSecond(size_t frameBytes, REFERENCE_TIME frameInterval) {
  const double bits =
      8.0 * static_cast<double>(frameBytes) * kUnitsPerSecond / static_cast<double>(frameInterval);
  return static_cast<LONG>(bits);
}

VIDEO_STREAM_CONFIG_CAPS OneSizeCaps(const GUID& formatType, int width, int height,
                                     REFERENCE_TIME frameInterval, size_t frameBytes) {
  VIDEO_STREAM_CONFIG_CAPS caps{};
  caps.guid = formatType;
  caps.InputSize = {width, height};
  caps.MinCroppingSize = caps.MaxCroppingSize = caps.InputSize;
  caps.CropGranularityX = caps.CropGranularityY = 1;
  caps.CropAlignX = caps.CropAlignY = 1;
  caps.MinOutputSize = caps.MaxOutputSize = caps.InputSize;
  caps.OutputGranularityX = caps.OutputGranularityY = 1;
  caps.MinFrameInterval = caps.MaxFrameInterval = frameInterval;
  caps.MinBitsPerSecond = caps.MaxBitsPerSecond = BitsPerSecond(frameBytes, frameInterval);
  return caps;
}

}  // namespace

bool Showable(PictureLayout layout) { return layout != PictureLayout::kCompressed; }

int PictureStride(PictureLayout layout, int width) {
  switch (layout) {
    case PictureLayout::kYuy2:
    case PictureLayout::kUyvy:
    case PictureLayout::kYvyu:
      return (width * 2 + kDibRowAlign - 1) / kDibRowAlign * kDibRowAlign;
    case PictureLayout::kRgb24:
      return (width * 3 + kDibRowAlign - 1) / kDibRowAlign * kDibRowAlign;
    case PictureLayout::kRgb32:
      return width * 4;
    case PictureLayout::kI420:
    case PictureLayout::kYv12:
    case PictureLayout::kNv12:
    case PictureLayout::kNv21:
    case PictureLayout::kGrey:
    case PictureLayout::kMjpg:
    case PictureLayout::kCompressed:
      return 0;
  }
  return 0;
}

size_t PictureBytes(const VideoMode& mode) {
  const size_t w = static_cast<size_t>(mode.width);
  const size_t h = static_cast<size_t>(mode.height);
  switch (mode.layout) {
    case PictureLayout::kYuy2:
    case PictureLayout::kUyvy:
    case PictureLayout::kYvyu:
    case PictureLayout::kRgb24:
    case PictureLayout::kRgb32:
      return static_cast<size_t>(PictureStride(mode.layout, mode.width)) * h;
    case PictureLayout::kI420:
    case PictureLayout::kYv12:
    case PictureLayout::kNv12:
    case PictureLayout::kNv21:
      return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    case PictureLayout::kGrey:
      return w * h;
    case PictureLayout::kMjpg:
    case PictureLayout::kCompressed:
      // A camera's coded picture stays well under two bytes a pixel.
      return w * h * 2;
  }
  return 0;
}

FormatCapability VideoCapability(const VideoMode& mode, ULONG standards) {
  const bool compressed = mode.layout == PictureLayout::kCompressed;
  const LayoutFacts* facts = FactsOf(mode.layout);
  const GUID subtype = compressed ? FourccSubtype(mode.fourcc) : *facts->subtype;
  const size_t bytes = PictureBytes(mode);
  FormatCapability capability;
  CMediaType& mt = capability.type;
  mt.SetType(&MEDIATYPE_Video);
  mt.SetSubtype(&subtype);
  mt.SetFormatType(&FORMAT_VideoInfo);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  vih->AvgTimePerFrame = mode.frameInterval;
  vih->dwBitRate = static_cast<DWORD>(BitsPerSecond(bytes, mode.frameInterval));
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = mode.width;
  vih->bmiHeader.biHeight = mode.height;  // bottom-up RGB, top-down YUV as the fourcc says
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = compressed ? kCompressedBitCount : facts->bitCount;
  vih->bmiHeader.biCompression = compressed ? mode.fourcc : facts->compression;
  vih->bmiHeader.biSizeImage = static_cast<DWORD>(bytes);
  if (mode.layout == PictureLayout::kMjpg || compressed) {
    mt.SetVariableSize();
    mt.SetTemporalCompression(FALSE);
  } else {
    mt.SetSampleSize(static_cast<ULONG>(bytes));
  }
  VIDEO_STREAM_CONFIG_CAPS caps =
      OneSizeCaps(FORMAT_VideoInfo, mode.width, mode.height, mode.frameInterval, bytes);
  caps.VideoStandard = standards;
  capability.caps = CapsBytes(caps);
  return capability;
}

FormatCapability DvCapability(const DVINFO& info, int width, int height,
                              REFERENCE_TIME frameInterval, size_t frameBytes) {
  FormatCapability capability;
  CMediaType& mt = capability.type;
  mt.SetType(&MEDIATYPE_Interleaved);
  mt.SetSubtype(&MEDIASUBTYPE_dvsd);
  mt.SetFormatType(&FORMAT_DvInfo);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
  mt.SetSampleSize(static_cast<ULONG>(frameBytes));
  capability.caps = CapsBytes(OneSizeCaps(FORMAT_DvInfo, width, height, frameInterval, frameBytes));
  return capability;
}

FormatCapability SoundCapability(const SoundMode& mode) {
  FormatCapability capability;
  CMediaType& mt = capability.type;
  mt.SetType(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_PCM);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  auto* wfx = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
  wfx->wFormatTag = WAVE_FORMAT_PCM;
  wfx->nChannels = static_cast<WORD>(mode.channels);
  wfx->nSamplesPerSec = static_cast<DWORD>(mode.sampleRate);
  wfx->wBitsPerSample = static_cast<WORD>(mode.bits);
  wfx->nBlockAlign = static_cast<WORD>(mode.channels * mode.bits / 8);
  wfx->nAvgBytesPerSec = wfx->nSamplesPerSec * wfx->nBlockAlign;
  mt.SetSampleSize(wfx->nBlockAlign);
  AUDIO_STREAM_CONFIG_CAPS caps{};
  caps.guid = MEDIATYPE_Audio;
  caps.MinimumChannels = caps.MaximumChannels = static_cast<ULONG>(mode.channels);
  caps.ChannelsGranularity = 1;
  caps.MinimumBitsPerSample = caps.MaximumBitsPerSample = static_cast<ULONG>(mode.bits);
  caps.BitsPerSampleGranularity = 8;
  caps.MinimumSampleFrequency = caps.MaximumSampleFrequency = static_cast<ULONG>(mode.sampleRate);
  caps.SampleFrequencyGranularity = 1;
  capability.caps = CapsBytes(caps);
  return capability;
}

std::optional<VideoMode> VideoModeOf(const AM_MEDIA_TYPE& type) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo || !type.pbFormat ||
      type.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return std::nullopt;
  }
  const LayoutFacts* facts = FactsOf(type.subtype);
  if (!facts && !IsFourccSubtype(type.subtype)) return std::nullopt;
  VIDEOINFOHEADER vih;
  std::memcpy(&vih, type.pbFormat, sizeof vih);
  if (vih.bmiHeader.biWidth <= 0 || vih.bmiHeader.biHeight == 0) return std::nullopt;
  return VideoMode{facts ? facts->layout : PictureLayout::kCompressed,
                   static_cast<int>(vih.bmiHeader.biWidth),
                   std::abs(static_cast<int>(vih.bmiHeader.biHeight)), vih.AvgTimePerFrame,
                   facts ? 0 : type.subtype.Data1};
}

std::optional<SoundMode> SoundModeOf(const AM_MEDIA_TYPE& type) {
  if (type.majortype != MEDIATYPE_Audio || type.subtype != MEDIASUBTYPE_PCM ||
      type.formattype != FORMAT_WaveFormatEx || !type.pbFormat ||
      type.cbFormat < sizeof(WAVEFORMATEX)) {
    return std::nullopt;
  }
  WAVEFORMATEX wfx;
  std::memcpy(&wfx, type.pbFormat, sizeof wfx);
  if (wfx.wFormatTag != WAVE_FORMAT_PCM) return std::nullopt;
  return SoundMode{static_cast<int>(wfx.nSamplesPerSec), wfx.nChannels, wfx.wBitsPerSample};
}

int FindCapability(const std::vector<FormatCapability>& capabilities, const AM_MEDIA_TYPE& type) {
  for (size_t i = 0; i < capabilities.size(); ++i) {
    const CMediaType& offered = capabilities[i].type;
    if (offered.majortype != type.majortype || offered.subtype != type.subtype) continue;
    if (type.majortype == MEDIATYPE_Video) {
      const auto want = VideoModeOf(type);
      const auto have = VideoModeOf(offered);
      if (!want || !have || want->width != have->width || want->height != have->height) continue;
      if (want->frameInterval != 0 && want->frameInterval != have->frameInterval) continue;
      return static_cast<int>(i);
    }
    if (type.majortype == MEDIATYPE_Audio) {
      const auto want = SoundModeOf(type);
      const auto have = SoundModeOf(offered);
      if (!want || !have || want->sampleRate != have->sampleRate ||
          want->channels != have->channels || want->bits != have->bits) {
        continue;
      }
      return static_cast<int>(i);
    }
    // Interleaved DV and any other type: the same format block.
    if (CMediaType(type) == offered) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace vidorra::devices
