// "MJPEG Decompressor" (CLSID_MjpegDec): MEDIATYPE_Video/MJPG in (one JPEG image per sample,
// as webcams send them), YUY2, RGB32 or RGB24 out at the same size, in that order of
// preference, through libavcodec. Registered with a normal merit so that intelligent connect
// puts it between an MJPG source and a renderer. The picture is decoded and converted
// straight into the output sample. A frame the decoder refuses is dropped and counted, not an
// error for the stream.
//
// Threads: Transform on the upstream streaming thread; the decoder is made in StartStreaming
// (filter stopped) and used there only.
#pragma once

#include <streams.h>

#include <atomic>
#include <memory>

#include "PixelFormatConverter.h"

namespace vidorra::filters {

class CMjpegDecompressor : public CTransformFilter {
 public:
  CMjpegDecompressor();
  ~CMjpegDecompressor() override;

  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

  long BadFrames() const { return badFrames_.load(); }

 private:
  struct Decoder;
  std::unique_ptr<Decoder> decoder_;
  FrameLayout output_;
  std::atomic<long> badFrames_{0};
};

}  // namespace vidorra::filters
