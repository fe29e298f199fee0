#include "TestFilterTypes.h"

#include <cstring>

namespace vidorra::test {

namespace {
constexpr WORD kBitsPerPixel = 16;
constexpr REFERENCE_TIME kFrameTime = 400'000;  // 25 frames per second
}  // namespace

CMediaType MakeTestVideoType(const GUID& subtype, long width, long height) {
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&subtype);
  mt.SetFormatType(&FORMAT_VideoInfo);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  vih->AvgTimePerFrame = kFrameTime;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = kBitsPerPixel;
  vih->bmiHeader.biSizeImage = static_cast<DWORD>(width * height * kBitsPerPixel / 8);
  mt.SetSampleSize(vih->bmiHeader.biSizeImage);
  return mt;
}

void WriteFrameNumber(IMediaSample* sample, uint32_t frame) {
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  if (data && sample->GetSize() >= 4) std::memcpy(data, &frame, sizeof(frame));
}

uint32_t ReadFrameNumber(IMediaSample* sample) {
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  uint32_t frame = 0;
  if (data && sample->GetActualDataLength() >= 4) std::memcpy(&frame, data, sizeof(frame));
  return frame;
}

}  // namespace vidorra::test
