// Media types the DV filters offer and take: interleaved DV with its DVINFO, DV video
// (VIDEOINFOHEADER with biCompression 'dvsd'), uncompressed pictures, PCM from DV sound.
#pragma once

#include <PixelFormatConverter.h>
#include <amvideo.h>
#include <mmreg.h>
#include <streams.h>

#include <optional>

#include "DvAudio.h"
#include "DvFrame.h"
#include "DvVideoCodec.h"

namespace vidorra::dv {

inline constexpr DWORD kFourccDvsd = MAKEFOURCC('d', 'v', 's', 'd');
inline constexpr DWORD kFourccYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
inline constexpr DWORD kFourccUyvy = MAKEFOURCC('U', 'Y', 'V', 'Y');
inline constexpr DWORD kFourccI420 = MAKEFOURCC('I', '4', '2', '0');
inline constexpr DWORD kFourccIyuv = MAKEFOURCC('I', 'Y', 'U', 'V');
inline constexpr DWORD kFourccY41b = MAKEFOURCC('Y', '4', '1', 'B');

// MEDIATYPE_Interleaved / dvsd with FORMAT_DvInfo.
CMediaType InterleavedDvType(const DVINFO& info);
// MEDIATYPE_Video / dvsd with a VIDEOINFOHEADER of the system's size.
CMediaType DvVideoType(DvSystem system, REFERENCE_TIME avgTimePerFrame);
// MEDIATYPE_Video with an uncompressed VIDEOINFOHEADER (YUY2, RGB24, RGB32, planar I420 as
// IYUV, planar 4:1:1 as Y41B).
CMediaType PictureType(PictureFormat format, int width, int height, REFERENCE_TIME avgTimePerFrame);
// MEDIATYPE_Audio PCM, 16-bit stereo.
CMediaType PcmType(int sampleRate);

// The VIDEOINFOHEADER (or the VIDEOINFOHEADER2 fields we use) of a video type.
struct VideoFormat {
  BITMAPINFOHEADER bitmap{};
  REFERENCE_TIME avgTimePerFrame = 0;
};
std::optional<VideoFormat> VideoFormatOf(const CMediaType& mt);
// The picture format of an uncompressed video type, if the DV coder handles it.
std::optional<PictureFormat> PictureFormatOf(const CMediaType& mt);
// The system a DV video or interleaved type announces (by its frame height or DVINFO).
std::optional<DvSystem> SystemOfType(const CMediaType& mt);
// The sound a DVINFO announces: format of the first pair and the number of pairs.
std::optional<DvAudioFormat> AudioOfDvInfo(const DVINFO& info);

}  // namespace vidorra::dv
