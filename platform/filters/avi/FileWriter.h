// "File writer" (CLSID_FileWriter): writes what it receives to a file. On a MEDIATYPE_Stream
// connection a sample with start..stop times lands at that byte range (see
// FileWriterProtocol.h); any other sample, or one without times, is appended. Each sample is
// written as it comes, in one write: the upstream filter gathers (the AVI Mux sends large
// blocks), nothing is held back here.
//
// The input accepts every media type until a file is named; from SetFileName on it takes only
// MEDIATYPE_Stream (QueryAccept S_FALSE, a connection VFW_E_TYPE_NOT_ACCEPTED). The type is
// also checked against the file on the first Pause from Stopped (the subtype and major type
// given with SetFileName, when given: another type fails the Pause with
// VFW_E_TYPE_NOT_ACCEPTED). IFileSinkFilter::SetFileName works while
// stopped, connected or not. The file is created on that Pause, never over an existing file (the
// Pause, hence the graph's Run, fails with HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) and the file is
// left untouched); Stop asks the upstream filter to finish its stream, then closes the file, so
// stop / new name / run records into a new file. While it runs the upstream filter may move the
// recording on to a new file between two samples (IFileWriterStatus::NextFile, on its delivering
// thread); GetCurFile still tells the name given with SetFileName. A byte stream's file that
// received no byte at all by Stop is removed. A write failure fails
// Receive, is sent to the graph as EC_ERRORABORT with its HRESULT, and the file keeps what was
// written before it.
//
// Threads: Receive on the upstream filter's delivering thread (the mux's file queue) under
// writeMutex_; Pause/Stop on the graph's thread under the filter lock; Stop never holds
// writeMutex_ while asking upstream to finish.
#pragma once

#include <PinUnknown.h>
#include <streams.h>

#include <atomic>
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
  STDMETHODIMP NextFile(LPCOLESTR name) override;

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
  HRESULT SwitchFile(const std::string& path);
  void ReportFailure(HRESULT hr);

  CFileWriterInputPin input_;
  std::wstring fileName_;  // under the filter lock
  std::atomic<bool> named_{false};  // a file name was given: only a byte stream is taken
  GUID fileMajorType_ = GUID_NULL;
  GUID fileSubtype_ = GUID_NULL;

  std::mutex writeMutex_;
  avi::PosixFileOutput file_;  // under writeMutex_
  std::string filePath_;       // the open file's path, under writeMutex_
  bool positioned_ = false;    // MEDIATYPE_Stream: sample times are byte positions
  uint64_t appendOffset_ = 0;  // end of the furthest write, for appended samples
  HRESULT failure_ = S_OK;     // first write failure of this run
};

}  // namespace vidorra::filters
