// "File writer"; see FileWriter.h.
#include "FileWriter.h"

#include <unistd.h>

#include <algorithm>

namespace vidorra::filters {

// ---- Input pin -----------------------------------------------------------------------------

CFileWriterInputPin::CFileWriterInputPin(CFileWriter* writer)
    : CBaseInputPin(writer, L"in"), writer_(writer) {}

HRESULT CFileWriterInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IFileWriterStatus) {
    return GetInterface(static_cast<IFileWriterStatus*>(this), ppv);
  }
  return CBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CFileWriterInputPin::CheckMediaType(const CMediaType* mt) {
  if (!mt) return E_POINTER;
  // Every type until a file is named; then a byte stream (whether it suits the file is
  // decided on Pause).
  return !writer_->named_ || *mt->Type() == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

STDMETHODIMP CFileWriterInputPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  if (!sample) return E_POINTER;
  return writer_->WriteSample(sample);
}

STDMETHODIMP CFileWriterInputPin::EndOfStream() {
  const HRESULT hr = CBaseInputPin::EndOfStream();
  if (FAILED(hr)) return hr;
  writer_->SyncFile();
  // A sink ends the stream like a renderer: EC_COMPLETE while it runs.
  writer_->EndOfStreamReached();
  return S_OK;
}

STDMETHODIMP CFileWriterInputPin::Sync() { return writer_->SyncFile(); }

STDMETHODIMP CFileWriterInputPin::GetWrittenEnd(ULONGLONG* end) {
  if (!end) return E_POINTER;
  *end = writer_->WrittenEnd();
  return S_OK;
}

STDMETHODIMP CFileWriterInputPin::NextFile(LPCOLESTR name) {
  if (!name) return E_POINTER;
  if (!*name) return E_INVALIDARG;
  return writer_->SwitchFile(WideToUtf8(name));
}

// ---- Filter --------------------------------------------------------------------------------

CFileWriter::CFileWriter() : CBaseFilter(L"File writer", CLSID_FileWriter), input_(this) {}

CFileWriter::~CFileWriter() {
  std::lock_guard lock(writeMutex_);
  file_.Close();
}

HRESULT CFileWriter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IFileSinkFilter) return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CFileWriter::GetPin(int n) { return n == 0 ? &input_ : nullptr; }

STDMETHODIMP CFileWriter::Pause() {
  std::lock_guard lock(filterLock_);
  if (IsStopped()) {
    if (fileName_.empty()) return E_FAIL;
    bool positioned = false;
    if (input_.IsConnected()) {
      const CMediaType& type = input_.CurrentMediaType();
      const auto differs = [](const GUID& wanted, const GUID& got) {
        return wanted != GUID_NULL && wanted != got;
      };
      if (differs(fileMajorType_, *type.Type()) || differs(fileSubtype_, *type.Subtype())) {
        return VFW_E_TYPE_NOT_ACCEPTED;
      }
      positioned = *type.Type() == MEDIATYPE_Stream;
    }
    std::lock_guard write(writeMutex_);
    filePath_ = WideToUtf8(fileName_);
    const HRESULT hr = file_.Create(filePath_);
    if (FAILED(hr)) return hr;
    positioned_ = positioned;
    appendOffset_ = 0;
    failure_ = S_OK;
  }
  const HRESULT hr = CBaseFilter::Pause();
  if (FAILED(hr) && IsStopped()) {
    std::lock_guard write(writeMutex_);
    file_.Close();
  }
  return hr;
}

STDMETHODIMP CFileWriter::Stop() {
  std::lock_guard lock(filterLock_);
  if (IsActive() && input_.IsConnected()) {
    // The upstream filter finishes its stream (a mux writes its indexes) while the file is
    // still open, delivering through Receive (on its own thread), and returns once done.
    ComPtr<IFileWriterUpstream> upstream;
    if (SUCCEEDED(input_.GetConnected()->QueryInterface(
            IID_IFileWriterUpstream, reinterpret_cast<void**>(upstream.GetAddressOf())))) {
      upstream->FinishStream();
    }
  }
  const HRESULT hr = CBaseFilter::Stop();
  std::lock_guard write(writeMutex_);
  if (file_.IsOpen()) {
    const HRESULT closed = file_.Close();
    if (FAILED(closed) && SUCCEEDED(failure_)) ReportFailure(closed);
    // A byte stream that never came (its first file was to be named later, and never was):
    // no empty file is left behind.
    if (positioned_ && appendOffset_ == 0) ::unlink(filePath_.c_str());
  }
  return hr;
}

HRESULT CFileWriter::WriteSample(IMediaSample* sample) {
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) return E_POINTER;
  long length = sample->GetActualDataLength();
  if (length < 0) return E_INVALIDARG;
  REFERENCE_TIME start = 0, stop = 0;
  const HRESULT timed = sample->GetTime(&start, &stop);
  std::lock_guard lock(writeMutex_);
  if (!file_.IsOpen()) return VFW_E_WRONG_STATE;
  const bool positioned = positioned_ && SUCCEEDED(timed) && start >= 0;
  // start..stop is the byte range: the sample's bytes past stop are not the file's.
  if (positioned && timed == S_OK && stop >= start) {
    length = static_cast<long>(std::min<REFERENCE_TIME>(length, stop - start));
  }
  const uint64_t offset = positioned ? static_cast<uint64_t>(start) : appendOffset_;
  // After a failure only rewrites of bytes the file already holds go through: the upstream
  // finalises its headers and indexes in place, nothing grows the file any more.
  if (FAILED(failure_) && offset + static_cast<uint64_t>(length) > file_.WrittenEnd()) {
    return failure_;
  }
  const HRESULT hr = file_.WriteAt(offset, data, static_cast<size_t>(length));
  if (FAILED(hr)) {
    ReportFailure(hr);
    return hr;
  }
  appendOffset_ = std::max(appendOffset_, offset + static_cast<uint64_t>(length));
  return S_OK;
}

HRESULT CFileWriter::SyncFile() {
  std::lock_guard lock(writeMutex_);
  if (!file_.IsOpen()) return VFW_E_WRONG_STATE;
  const HRESULT hr = file_.Sync();
  if (FAILED(hr)) ReportFailure(hr);
  return hr;
}

HRESULT CFileWriter::SwitchFile(const std::string& path) {
  std::lock_guard lock(writeMutex_);
  if (FAILED(failure_)) return failure_;
  if (!file_.IsOpen()) return VFW_E_WRONG_STATE;
  // The old file is whole on disk before the new one takes any byte.
  HRESULT hr = file_.Sync();
  const bool untouched = appendOffset_ == 0;
  const HRESULT closed = file_.Close();
  if (SUCCEEDED(hr)) hr = closed;
  if (SUCCEEDED(hr) && untouched) ::unlink(filePath_.c_str());
  if (SUCCEEDED(hr)) hr = file_.Create(path);
  if (FAILED(hr)) {
    ReportFailure(hr);
    return hr;
  }
  filePath_ = path;
  appendOffset_ = 0;
  return S_OK;
}

uint64_t CFileWriter::WrittenEnd() {
  std::lock_guard lock(writeMutex_);
  return file_.WrittenEnd();
}

void CFileWriter::ReportFailure(HRESULT hr) {
  if (FAILED(failure_)) return;
  failure_ = hr;
  NotifyEvent(EC_ERRORABORT, hr, 0);
}

STDMETHODIMP CFileWriter::SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) {
  if (!pszFileName) return E_POINTER;
  std::lock_guard lock(filterLock_);
  if (!IsStopped()) return VFW_E_WRONG_STATE;
  std::wstring name(pszFileName);
  if (name.empty()) return E_INVALIDARG;
  fileName_ = std::move(name);
  named_ = true;
  fileMajorType_ = pmt ? pmt->majortype : GUID_NULL;
  fileSubtype_ = pmt ? pmt->subtype : GUID_NULL;
  return S_OK;
}

STDMETHODIMP CFileWriter::GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) {
  if (!ppszFileName) return E_POINTER;
  std::lock_guard lock(filterLock_);
  *ppszFileName = nullptr;
  if (pmt) {
    *pmt = AM_MEDIA_TYPE{};
    pmt->majortype = fileMajorType_ == GUID_NULL ? MEDIATYPE_Stream : fileMajorType_;
    pmt->subtype = fileSubtype_;
    pmt->formattype = FORMAT_None;
  }
  if (fileName_.empty()) return E_FAIL;
  *ppszFileName = CoTaskMemStrDup(fileName_);
  return *ppszFileName ? S_OK : E_OUTOFMEMORY;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_FileWriter,
    .friendlyName = L"File writer",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_DO_NOT_USE,
    .inputTypes = {{MEDIATYPE_Stream, GUID_NULL}},
    .outputTypes = {},
    .monikerName = {},
    .factory = FilterFactoryFor<CFileWriter>(),
});

}  // namespace
}  // namespace vidorra::filters
