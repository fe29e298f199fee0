// "DV Video Decoder" (CLSID_DVVideoCodec): MEDIATYPE_Video/dvsd in, uncompressed pictures out,
// full size, through libavcodec. The output offers first the codec's own planar format (I420 on
// 625/50, Y41B on 525/60), decoded straight into the output sample, then RGB32, RGB24 and YUY2,
// each converted in one step from the decoded planes (and on 525/60 I420 last), so that
// intelligent connect takes the cheapest path: a receiver that takes the planar format gets it
// without any conversion. A frame with damaged blocks is decoded (the codec conceals them); a
// frame the decoder refuses is dropped and counted, not an error for the stream.
//
// IIPDVDec sets the picture's size: DVRESOLUTION_FULL (the default), _HALF, _QUARTER or _DC
// (720x576, 360x288, 180x144, 88x72 on 625/50; 720x480, 360x240, 180x120, 88x60 on 525/60),
// decoded at that size by the codec's reduced decoding, not scaled from a whole picture. The
// offered types follow. A change while the output is connected reconnects it at the new size,
// in the format in use, when the receiver accepts that (VFW_E_TYPE_NOT_ACCEPTED, and nothing
// changed, otherwise); a change is refused with VFW_E_NOT_STOPPED unless the filter is stopped.
// Below full size it keeps a copy of the last frame (a coded frame, a quarter of a picture's
// bytes), which IDvFullFrame decodes whole on demand, for still images of a reduced preview.
//
// Threads: Transform on the upstream streaming thread (the decoder is used there only);
// IIPDVDec on any thread, the resolution under the filter lock.
#pragma once

#include <streams.h>
#include <vidorra_dv.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "DvVideoCodec.h"

namespace vidorra::filters {

class CDvVideoDecoderFilter : public CTransformFilter, public IIPDVDec, public IDvFullFrame {
 public:
  CDvVideoDecoderFilter();
  ~CDvVideoDecoderFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

  // IIPDVDec
  STDMETHODIMP get_IPDisplay(int* displayPix) override;
  STDMETHODIMP put_IPDisplay(int displayPix) override;
  // IDvFullFrame
  STDMETHODIMP GetFullFrame(BOOL deinterlaced, BYTE* buffer, LONG* size, LONG* width,
                            LONG* height) override;

  long BadFrames() const { return badFrames_.load(); }
  // Frames copied before decoding and pictures converted after it, since the last start.
  long Copies() const { return copies_.load(); }
  long Conversions() const { return conversions_.load(); }

 private:
  // The picture's size for the input's system at the resolution set.
  std::optional<dv::PictureSize> OutputSize(const CMediaType& input);

  int resolution_ = DVRESOLUTION_FULL;
  std::unique_ptr<dv::DvVideoDecoder> decoder_;
  bool keepFrames_ = false;  // decoding below full size: the last frame is kept
  std::mutex lastFrameLock_;
  std::vector<uint8_t> lastFrame_;
  // The whole-size decoder of IDvFullFrame, kept from one still image to the next.
  std::mutex wholeLock_;
  std::unique_ptr<dv::DvVideoDecoder> whole_;
  dv::PictureFormat outputFormat_ = dv::PictureFormat::kI420;
  long pictureBytes_ = 0;
  std::atomic<long> badFrames_{0};
  std::atomic<long> copies_{0};
  std::atomic<long> conversions_{0};
};

}  // namespace vidorra::filters
