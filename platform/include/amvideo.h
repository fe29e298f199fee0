// Video format blocks.
#pragma once

#include <wingdi.h>

typedef struct tagVIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;
static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER is 88 bytes");
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48, "bmiHeader at offset 48");

#define HEADER(pVideoInfo) (&(((VIDEOINFOHEADER*)(pVideoInfo))->bmiHeader))
