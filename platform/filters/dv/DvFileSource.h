// "DV File Source" (CLSID_DvFileSource, vidorra_filters.h): reads a raw DV file given by
// IFileSourceFilter::Load and delivers its DIF frames as MEDIATYPE_Interleaved/dvsd (DVINFO
// from the first frame) on pin "Output", frame n stamped n * frame duration. Paced by the
// graph clock; as fast as the graph takes them when the graph has no clock. The file's
// system (PAL/NTSC) comes from its first frame; a trailing partial frame is not delivered.
//
// Errors: only the real end of the file (the last whole frame it held when loaded) ends the
// stream with end of stream, hence EC_COMPLETE. A failed read (the file cut short since, a read
// error of the device) or a failed wait on the clock ends it with EC_ERRORABORT and the HRESULT.
//
// Threads: the pin's streaming thread reads the file (fd owned by the filter, opened on Load,
// which is refused while the filter runs).
#pragma once

#include <streams.h>
#include <unique_handle.h>

#include <string>

#include "DvFrame.h"

namespace vidorra::filters {

class CDvFileSource;

class CDvFileStream : public CSourceStream {
 public:
  explicit CDvFileStream(CDvFileSource* source);
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadCreate() override;

 private:
  CDvFileSource* const source_;
  uint64_t frame_ = 0;
};

class CDvFileSource : public CSource, public IFileSourceFilter {
 public:
  CDvFileSource();
  ~CDvFileSource() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IFileSourceFilter
  STDMETHODIMP Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override;

 private:
  friend class CDvFileStream;
  // Reads frame n into buffer (frame size bytes): S_OK, S_FALSE past the last frame, or the
  // read's failure.
  HRESULT ReadFrame(uint64_t n, uint8_t* buffer);

  std::wstring fileName_;
  UniqueFd fd_;
  dv::DvSystem system_ = dv::DvSystem::k625_50;
  DVINFO dvInfo_{};
  uint64_t frameCount_ = 0;
};

}  // namespace vidorra::filters
