// "DV Video Decoder" (CLSID_DVVideoCodec): MEDIATYPE_Video/dvsd in, YUY2, RGB24 or RGB32 out
// (in that order of preference), full size, through libavcodec. A frame the decoder refuses is
// dropped and counted, not an error for the stream.
//
// Threads: Transform on the upstream streaming thread (the decoder is used there only).
#pragma once

#include <streams.h>

#include <atomic>
#include <memory>
#include <vector>

#include "DvVideoCodec.h"

namespace vidorra::filters {

class CDvVideoDecoderFilter : public CTransformFilter {
 public:
  CDvVideoDecoderFilter();
  ~CDvVideoDecoderFilter() override;

  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

  long BadFrames() const { return badFrames_.load(); }

 private:
  std::unique_ptr<dv::DvVideoDecoder> decoder_;
  dv::PictureFormat outputFormat_ = dv::PictureFormat::kYuy2;
  std::vector<uint8_t> picture_;
  std::atomic<long> badFrames_{0};
};

}  // namespace vidorra::filters
