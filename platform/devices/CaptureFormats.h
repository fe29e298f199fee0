// Media types and stream capabilities of capture devices: uncompressed and MJPEG pictures,
// interleaved DV, PCM sound. Shared by every backend, so that a simulated device and a real
// one describe the same format with the same bytes.
#pragma once

#include <amvideo.h>
#include <mmreg.h>
#include <streams.h>

#include <optional>

#include "DeviceBackend.h"

namespace vidorra::devices {

// The picture layouts capture devices deliver here. RGB comes as bottom-up bitmaps, grey as
// 'Y800'; kCompressed is any other coded picture, under its own fourcc (H.264, MPEG ...).
enum class PictureLayout {
  kYuy2, kRgb24, kI420, kMjpg, kUyvy, kNv12, kYvyu, kYv12, kNv21, kGrey, kRgb32, kCompressed
};

struct VideoMode {
  PictureLayout layout = PictureLayout::kYuy2;
  int width = 0;
  int height = 0;
  REFERENCE_TIME frameInterval = 0;  // 100-ns units
  uint32_t fourcc = 0;               // kCompressed: the coding's fourcc
};

// Whether the program's preview chain can show pictures of this layout (every layout but a
// coding no decoder here reads).
bool Showable(PictureLayout layout);

struct SoundMode {
  int sampleRate = 48000;
  int channels = 2;
  int bits = 16;
};

// Bytes of one picture (for MJPEG, the largest frame the device may send).
size_t PictureBytes(const VideoMode& mode);
// Bytes per row of a packed layout (DIB rows padded to 4 bytes), 0 for planar ones.
int PictureStride(PictureLayout layout, int width);

// A capability for a video mode: VIDEOINFOHEADER type and VIDEO_STREAM_CONFIG_CAPS with one
// size and one frame interval. `standards` is the AnalogVideoStandard bits of a TV card.
FormatCapability VideoCapability(const VideoMode& mode, ULONG standards = AnalogVideo_None);
// MEDIATYPE_Interleaved/dvsd with DVINFO, caps at the system's size and rate.
FormatCapability DvCapability(const DVINFO& info, int width, int height,
                              REFERENCE_TIME frameInterval, size_t frameBytes);
// PCM at `mode`, AUDIO_STREAM_CONFIG_CAPS of that one rate, channel count and sample size.
FormatCapability SoundCapability(const SoundMode& mode);

// What a video type describes; nullopt for a type that is not one of the layouts above.
std::optional<VideoMode> VideoModeOf(const AM_MEDIA_TYPE& type);
std::optional<SoundMode> SoundModeOf(const AM_MEDIA_TYPE& type);

// The capability a requested type stands for: same major type and subtype, and the same size,
// rate, channels... as far as the request gives them (a zero frame interval takes the
// capability's). -1 when none.
int FindCapability(const std::vector<FormatCapability>& capabilities, const AM_MEDIA_TYPE& type);

}  // namespace vidorra::devices
