#include "DvMediaTypes.h"

#include <dvdmedia.h>

#include <cstring>

namespace vidorra::dv {

namespace {
constexpr uint32_t kAbsentPack = 0xFFFFFFFFu;
constexpr int kStereo = 2;
constexpr int kBytesPerSample = 2;
}  // namespace

CMediaType InterleavedDvType(const DVINFO& info) {
  CMediaType mt(&MEDIATYPE_Interleaved);
  mt.SetSubtype(&MEDIASUBTYPE_dvsd);
  mt.SetFormatType(&FORMAT_DvInfo);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info);
  mt.SetVariableSize();
  return mt;
}

CMediaType DvVideoType(DvSystem system, REFERENCE_TIME avgTimePerFrame) {
  const SystemFacts& facts = FactsOf(system);
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&MEDIASUBTYPE_dvsd);
  mt.SetFormatType(&FORMAT_VideoInfo);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  vih->AvgTimePerFrame = avgTimePerFrame ? avgTimePerFrame : facts.avgTimePerFrame;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = facts.width;
  vih->bmiHeader.biHeight = facts.height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = 24;
  vih->bmiHeader.biCompression = kFourccDvsd;
  vih->bmiHeader.biSizeImage = static_cast<DWORD>(facts.frameBytes);
  mt.SetSampleSize(static_cast<ULONG>(facts.frameBytes));
  return mt;
}

CMediaType PictureType(PictureFormat format, int width, int height,
                       REFERENCE_TIME avgTimePerFrame) {
  CMediaType mt(&MEDIATYPE_Video);
  WORD bits = 16;
  DWORD compression = kFourccYuy2;
  switch (format) {
    case PictureFormat::kYuy2:
      mt.SetSubtype(&MEDIASUBTYPE_YUY2);
      break;
    case PictureFormat::kRgb24:
      mt.SetSubtype(&MEDIASUBTYPE_RGB24);
      bits = 24;
      compression = BI_RGB;
      break;
    case PictureFormat::kRgb32:
      mt.SetSubtype(&MEDIASUBTYPE_RGB32);
      bits = 32;
      compression = BI_RGB;
      break;
    case PictureFormat::kI420:
      mt.SetSubtype(&MEDIASUBTYPE_IYUV);
      bits = 12;
      compression = kFourccIyuv;
      break;
    case PictureFormat::kY41b:
      mt.SetSubtype(&filters::kSubtypeY41b);
      bits = 12;
      compression = kFourccY41b;
      break;
    case PictureFormat::kUyvy:
      mt.SetSubtype(&MEDIASUBTYPE_UYVY);
      compression = kFourccUyvy;
      break;
  }
  mt.SetFormatType(&FORMAT_VideoInfo);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  vih->AvgTimePerFrame = avgTimePerFrame;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = bits;
  vih->bmiHeader.biCompression = compression;
  vih->bmiHeader.biSizeImage = static_cast<DWORD>(PictureBytes(format, width, height));
  mt.SetSampleSize(vih->bmiHeader.biSizeImage);
  return mt;
}

CMediaType PcmType(int sampleRate) {
  CMediaType mt(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_PCM);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  auto* wfx = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
  wfx->wFormatTag = WAVE_FORMAT_PCM;
  wfx->nChannels = kStereo;
  wfx->nSamplesPerSec = static_cast<DWORD>(sampleRate);
  wfx->wBitsPerSample = 8 * kBytesPerSample;
  wfx->nBlockAlign = kStereo * kBytesPerSample;
  wfx->nAvgBytesPerSec = wfx->nSamplesPerSec * wfx->nBlockAlign;
  wfx->cbSize = 0;
  mt.SetSampleSize(wfx->nBlockAlign);
  return mt;
}

std::optional<VideoFormat> VideoFormatOf(const CMediaType& mt) {
  if (*mt.Type() != MEDIATYPE_Video || !mt.Format()) return std::nullopt;
  VideoFormat f;
  if (*mt.FormatType() == FORMAT_VideoInfo && mt.FormatLength() >= sizeof(VIDEOINFOHEADER)) {
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, mt.Format(), sizeof vih);
    f.bitmap = vih.bmiHeader;
    f.avgTimePerFrame = vih.AvgTimePerFrame;
  } else if (*mt.FormatType() == FORMAT_VideoInfo2 &&
             mt.FormatLength() >= sizeof(VIDEOINFOHEADER2)) {
    VIDEOINFOHEADER2 vih;
    std::memcpy(&vih, mt.Format(), sizeof vih);
    f.bitmap = vih.bmiHeader;
    f.avgTimePerFrame = vih.AvgTimePerFrame;
  } else {
    return std::nullopt;
  }
  if (f.bitmap.biWidth <= 0 || f.bitmap.biHeight == 0) return std::nullopt;
  return f;
}

std::optional<PictureFormat> PictureFormatOf(const CMediaType& mt) {
  const auto f = VideoFormatOf(mt);
  if (!f) return std::nullopt;
  const GUID& s = *mt.Subtype();
  if (s == MEDIASUBTYPE_YUY2) return PictureFormat::kYuy2;
  if (s == MEDIASUBTYPE_RGB24 && f->bitmap.biBitCount == 24) return PictureFormat::kRgb24;
  if (s == MEDIASUBTYPE_RGB32 && f->bitmap.biBitCount == 32) return PictureFormat::kRgb32;
  if (s == MEDIASUBTYPE_IYUV || s == MEDIASUBTYPE_I420) return PictureFormat::kI420;
  if (s == filters::kSubtypeY41b) return PictureFormat::kY41b;
  if (f->bitmap.biCompression == kFourccUyvy) return PictureFormat::kUyvy;
  if (f->bitmap.biCompression == kFourccI420) return PictureFormat::kI420;
  return std::nullopt;
}

std::optional<DvSystem> SystemOfType(const CMediaType& mt) {
  if (*mt.Subtype() != MEDIASUBTYPE_dvsd) return std::nullopt;
  if (*mt.Type() == MEDIATYPE_Video) {
    const auto f = VideoFormatOf(mt);
    if (!f) return std::nullopt;
    const LONG height = f->bitmap.biHeight < 0 ? -f->bitmap.biHeight : f->bitmap.biHeight;
    if (height == kPalFacts.height) return DvSystem::k625_50;
    if (height == kNtscFacts.height) return DvSystem::k525_60;
    return std::nullopt;
  }
  if (*mt.Type() == MEDIATYPE_Interleaved) {
    if (*mt.FormatType() == FORMAT_DvInfo && mt.Format() && mt.FormatLength() >= sizeof(DVINFO)) {
      DVINFO info;
      std::memcpy(&info, mt.Format(), sizeof info);
      // The AAUX source pack's PC3 (third payload byte) carries the 50/60 bit.
      if (info.dwDVAAuxSrc != kAbsentPack) {
        return ((info.dwDVAAuxSrc >> 16) & aas::k50FieldsBit) ? DvSystem::k625_50
                                                              : DvSystem::k525_60;
      }
    }
    return DvSystem::k625_50;
  }
  return std::nullopt;
}

std::optional<DvAudioFormat> AudioOfDvInfo(const DVINFO& info) {
  if (info.dwDVAAuxSrc == kAbsentPack) return std::nullopt;
  // Build the pack bytes back and read them as a frame's pack would be read.
  const uint8_t pc2 = static_cast<uint8_t>(info.dwDVAAuxSrc >> 8);
  const uint8_t pc4 = static_cast<uint8_t>(info.dwDVAAuxSrc >> 24);
  if ((pc2 & aas::kAudioModeMask) == aas::kAudioModeNone) return std::nullopt;
  const int smp = (pc4 >> aas::kSmpShift) & aas::kSmpMask;
  const int qu = pc4 & aas::kQuMask;
  if (smp >= static_cast<int>(std::size(kRateFacts))) return std::nullopt;
  DvAudioFormat f;
  f.sampleRate = kRateFacts[smp].sampleRate;
  f.bits = qu == aas::kQu12Nonlinear ? 12 : 16;
  f.pairs = 1;
  if (f.bits == 12 && info.dwDVAAuxSrc1 != kAbsentPack &&
      ((info.dwDVAAuxSrc1 >> 8) & aas::kAudioModeMask) != aas::kAudioModeNone) {
    f.pairs = 2;
  }
  return f;
}

}  // namespace vidorra::dv
