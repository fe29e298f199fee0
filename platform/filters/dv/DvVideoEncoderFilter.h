// "DV Video Encoder" (CLSID_DVVideoEnc, category "Video Compressors", moniker name
// "DV Video Encoder"): uncompressed video (YUY2, UYVY, RGB24, RGB32, I420) in, MEDIATYPE_Video
// /dvsd out through libavcodec. IDVEnc chooses PAL (2001, default) or NTSC (2000); DVSD (2007)
// and full resolution (2012) are the only format and resolution. A picture of another size is
// scaled to 720x576 or 720x480; the input's frame times (hence its frame rate) are kept.
//
// Threads: Transform on the upstream streaming thread; IDVEnc under the filter lock, and only
// while the output is unconnected for put.
#pragma once

#include <streams.h>

#include <memory>
#include <vector>

#include "DvFrame.h"
#include "DvVideoCodec.h"

namespace vidorra::filters {

class CDvVideoEncoderFilter : public CTransformFilter, public IDVEnc {
 public:
  CDvVideoEncoderFilter();
  ~CDvVideoEncoderFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

  // IDVEnc
  STDMETHODIMP get_IFormatResolution(int* VideoFormat, int* DVFormat, int* Resolution, BYTE fDVInfo,
                                     DVINFO* sDVInfo) override;
  STDMETHODIMP put_IFormatResolution(int VideoFormat, int DVFormat, int Resolution, BYTE fDVInfo,
                                     DVINFO* sDVInfo) override;

 private:
  dv::DvSystem system_ = dv::DvSystem::k625_50;
  std::unique_ptr<dv::DvVideoEncoder> encoder_;
  dv::Picture picture_;
  std::vector<uint8_t> frame_;
};

}  // namespace vidorra::filters
