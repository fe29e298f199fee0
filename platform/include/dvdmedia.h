// VIDEOINFOHEADER2: video format with interlace flags and picture aspect ratio.
#pragma once

#include <wingdi.h>

#define AMINTERLACE_IsInterlaced 0x00000001
#define AMINTERLACE_1FieldPerSample 0x00000002
#define AMINTERLACE_Field1First 0x00000004

typedef struct tagVIDEOINFOHEADER2 {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  DWORD dwInterlaceFlags;
  DWORD dwCopyProtectFlags;
  DWORD dwPictAspectRatioX;
  DWORD dwPictAspectRatioY;
  DWORD dwControlFlags;
  DWORD dwReserved2;
  BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER2;
static_assert(sizeof(VIDEOINFOHEADER2) == 112, "VIDEOINFOHEADER2 is 112 bytes");
static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) == 72, "bmiHeader at offset 72");
