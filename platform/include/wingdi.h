// Device-independent bitmaps.
#pragma once

#include <wtypes.h>

#define BI_RGB 0L
#define BI_BITFIELDS 3L
#define OBJ_BITMAP 7
#define DIB_RGB_COLORS 0

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
} BITMAPFILEHEADER;
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER is 14 bytes");

// A bitmap as GetObjectA describes it.
typedef struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

// A device-independent bitmap section as GetObjectA describes it.
typedef struct tagDIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
} DIBSECTION, *PDIBSECTION, *LPDIBSECTION;

// Creates a DIB with the header (and, up to 8 bits per pixel, the colour table) of pbmi, its
// pixels zero-filled, rows padded to 4 bytes; *ppvBits receives the pixels. hdc may be null;
// file-mapping sections are not supported (hSection must be null). Returns null (and sets no
// pixels) for an unusable header: width or height 0 or negative width, a bit count other than
// 1, 4, 8, 16, 24 or 32, a compression other than BI_RGB or BI_BITFIELDS (16 and 32 bits), or
// an image over 1 GiB.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                         HANDLE hSection, DWORD offset);
// Frees a bitmap made by CreateDIBSection; FALSE for an unknown handle.
BOOL DeleteObject(HGDIOBJ ho);
// With a DIB handle: fills a BITMAP (c = sizeof(BITMAP)) or a DIBSECTION (c >= sizeof
// (DIBSECTION)) and returns the bytes written; 0 for an unknown handle or a short buffer.
int GetObjectA(HGDIOBJ h, int c, LPVOID pv);
// The colour table of a DIB (up to 8 bits per pixel): copies up to cEntries entries from
// iStart and returns the number copied. (The SDK takes a memory device context with the
// bitmap selected; this platform has no device contexts and takes the bitmap itself.)
UINT GetDIBColorTable(HBITMAP hbm, UINT iStart, UINT cEntries, RGBQUAD* prgbq);

// Bytes per row of a DIB: rows are padded to a multiple of 4 bytes.
#define WIDTHBYTES(bits) ((DWORD)(((bits) + 31) & (~31)) / 8)
#define DIBWIDTHBYTES(bi) (DWORD) WIDTHBYTES((DWORD)(bi).biWidth * (DWORD)(bi).biBitCount)
#define _DIBSIZE(bi) (DIBWIDTHBYTES(bi) * (DWORD)(bi).biHeight)
#define DIBSIZE(bi) ((bi).biHeight < 0 ? (-1) * (_DIBSIZE(bi)) : _DIBSIZE(bi))

#define MAKEFOURCC(ch0, ch1, ch2, ch3)                                              \
  ((DWORD)(BYTE)(ch0) | ((DWORD)(BYTE)(ch1) << 8) | ((DWORD)(BYTE)(ch2) << 16) | \
   ((DWORD)(BYTE)(ch3) << 24))
#define mmioFOURCC(ch0, ch1, ch2, ch3) MAKEFOURCC(ch0, ch1, ch2, ch3)
