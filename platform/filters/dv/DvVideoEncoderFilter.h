// "DV Video Encoder" (CLSID_DVVideoEnc, category "Video Compressors", moniker name
// "DV Video Encoder"): uncompressed video (YUY2, UYVY, RGB24, RGB32, I420, Y41B) in,
// MEDIATYPE_Video/dvsd out through libavcodec. IDVEnc chooses PAL (2001, default) or NTSC
// (2000); DVSD (2007) and full resolution (2012) are the only format and resolution. A picture
// in the codec's own format (I420 for PAL, Y41B for NTSC) at the system's size is coded where it
// lies, without conversion; any other is converted (and scaled to 720x576 or 720x480) once. The
// frame is written straight into the output sample. The input's frame times (hence its frame
// rate) are kept.
//
// Threads: Transform on the upstream streaming thread; IDVEnc under the filter lock, and only
// while the output is unconnected for put.
#pragma once

#include <streams.h>

#include <atomic>
#include <memory>

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

  // Pictures converted before coding and frames copied after it, since the last start.
  long Conversions() const { return conversions_.load(); }
  long Copies() const { return copies_.load(); }

 private:
  dv::DvSystem system_ = dv::DvSystem::k625_50;
  std::unique_ptr<dv::DvVideoEncoder> encoder_;
  dv::Picture picture_;
  std::atomic<long> conversions_{0};
  std::atomic<long> copies_{0};
};

}  // namespace vidorra::filters
