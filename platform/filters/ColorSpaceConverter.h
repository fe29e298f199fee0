// "Color Space Converter" (CLSID_Colour): converts between the uncompressed video layouts of
// PixelFormatConverter (RGB24, RGB32, RGB565, RGB555, YUY2, UYVY, I420/IYUV, YV12, NV12, Y41B)
// at the same picture size, in one step from the input sample into the output sample (planar
// 4:2:0 straight into a bottom-up bitmap). Pins "XForm In", "XForm Out", in that order.
//
// The output offers, once the input is connected, RGB32, RGB24, RGB565, RGB555 (bottom-up, as
// bitmaps are laid out), then the YUV layouts; it accepts any valid layout of the input's size
// that a receiver proposes, top-down RGB included.
//
// Threads: Transform runs on the upstream streaming thread under the receive lock; the
// converter is configured in StartStreaming (filter stopped, no Receive running).
#pragma once

#include <streams.h>

#include "PixelFormatConverter.h"

namespace vidorra::filters {

class CColorSpaceConverter : public CTransformFilter {
 public:
  CColorSpaceConverter();

  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT StartStreaming() override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

 private:
  PixelFormatConverter converter_;
};

// A VIDEOINFOHEADER media type for a layout, copying the frame rate and rectangles of
// `like` when it has a video format block.
CMediaType MakeVideoMediaType(const FrameLayout& layout, const AM_MEDIA_TYPE* like = nullptr);

}  // namespace vidorra::filters
