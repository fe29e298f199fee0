// "DV Video Decoder" (CLSID_DVVideoCodec): MEDIATYPE_Video/dvsd in, uncompressed pictures out,
// full size, through libavcodec. The output offers first the codec's own planar format (I420 on
// 625/50, Y41B on 525/60), decoded straight into the output sample, then RGB32, RGB24 and YUY2,
// each converted in one step from the decoded planes (and on 525/60 I420 last), so that
// intelligent connect takes the cheapest path: a receiver that takes the planar format gets it
// without any conversion. A frame with damaged blocks is decoded (the codec conceals them); a
// frame the decoder refuses is dropped and counted, not an error for the stream.
//
// Threads: Transform on the upstream streaming thread (the decoder is used there only).
#pragma once

#include <streams.h>

#include <atomic>
#include <memory>

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
  // Frames copied before decoding and pictures converted after it, since the last start.
  long Copies() const { return copies_.load(); }
  long Conversions() const { return conversions_.load(); }

 private:
  std::unique_ptr<dv::DvVideoDecoder> decoder_;
  dv::PictureFormat outputFormat_ = dv::PictureFormat::kI420;
  long pictureBytes_ = 0;
  std::atomic<long> badFrames_{0};
  std::atomic<long> copies_{0};
  std::atomic<long> conversions_{0};
};

}  // namespace vidorra::filters
