// "File writer" (CLSID_FileWriter): writes a MEDIATYPE_Stream byte stream to a file, as
// positioned writes (see FileWriterProtocol.h), through a large write buffer.
//
// IFileSinkFilter::SetFileName works while stopped, connected or not. The file is created on
// the first Pause from Stopped, never over an existing file (the Pause, hence the graph's Run,
// fails with HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) and the file is left untouched); Stop asks
// the upstream filter to finish its stream, then closes the file, so stop / new name / run
// records into a new file. A write failure fails Receive, is sent to the graph as
// EC_ERRORABORT with its HRESULT, and the file keeps what was written before it.
//
// Threads: Receive on the upstream streaming thread (or the mux's checkpoint thread) under
// writeMutex_; Pause/Stop on the graph's thread under the filter lock; Stop never holds
// writeMutex_ while asking upstream to finish.
#pragma once

#include <streams.h>

#include <mutex>
#include <string>

#include "FileWriterProtocol.h"
#include "PosixFileOutput.h"

namespace vidorra::filters {

class CFileWriter;

class CFileWriterInputPin : public CBaseInputPin, public IFileWriterStatus {
 public:
  explicit CFileWriterInputPin(CFileWriter* writer);

  DECLARE_PIN_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;

  // IFileWriterStatus
  STDMETHODIMP Sync() override;
  STDMETHODIMP GetWrittenEnd(ULONGLONG* end) override;

 private:
  CFileWriter* const writer_;
};

class CFileWriter : public CBaseFilter, public IFileSinkFilter {
 public:
  CFileWriter();
  ~CFileWriter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // IFileSinkFilter
  STDMETHODIMP SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override;

 private:
  friend class CFileWriterInputPin;
  // Streaming side (writeMutex_ taken inside).
  HRESULT WriteSample(IMediaSample* sample);
  HRESULT SyncFile();
  uint64_t WrittenEnd();
  void ReportFailure(HRESULT hr);

  CFileWriterInputPin input_;
  std::wstring fileName_;  // under the filter lock
  GUID fileSubtype_ = GUID_NULL;

  std::mutex writeMutex_;
  avi::PosixFileOutput file_;  // under writeMutex_
  uint64_t appendOffset_ = 0;  // end of the furthest write, for samples without time
  HRESULT failure_ = S_OK;     // first write failure of this run
};

}  // namespace vidorra::filters
