// "DV File Source"; see DvFileSource.h.
#include "DvFileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vidorra_filters.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "DvMediaTypes.h"

namespace vidorra::filters {

namespace {
constexpr long kBuffers = 4;
}

CDvFileStream::CDvFileStream(CDvFileSource* source)
    : CSourceStream(source, L"Output"), source_(source) {}

HRESULT CDvFileStream::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  if (!source_->fd_) return VFW_E_NOT_CONNECTED;
  *mt = dv::InterleavedDvType(source_->dvInfo_);
  return S_OK;
}

HRESULT CDvFileStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  // Room after the frame lets the decoder read it where it lies.
  const auto bytes = static_cast<long>(dv::FactsOf(source_->system_).frameBytes + dv::kPadding);
  return DecideBuffers(allocator, *request, {.buffers = kBuffers, .bytes = bytes});
}

HRESULT CDvFileStream::OnThreadCreate() {
  frame_ = 0;
  return S_OK;
}

HRESULT CDvFileStream::FillBuffer(IMediaSample* sample) {
  const dv::SystemFacts& facts = dv::FactsOf(source_->system_);
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  if (sample->GetSize() < static_cast<long>(facts.frameBytes)) return E_UNEXPECTED;
  // S_FALSE at the real end of the file; a failed read is an error, not an end.
  const HRESULT read = source_->ReadFrame(frame_, buffer);
  if (read != S_OK) return read;
  // Frame times from the frame rate, exact over long files (no accumulated rounding).
  REFERENCE_TIME start =
      static_cast<REFERENCE_TIME>(frame_ * facts.rateScale * 10'000'000 / facts.rate);
  REFERENCE_TIME stop =
      static_cast<REFERENCE_TIME>((frame_ + 1) * facts.rateScale * 10'000'000 / facts.rate);
  // S_FALSE: the stream is being stopped; an error of the clock fails the stream.
  const HRESULT waited = WaitForStreamTime(start);
  if (waited != S_OK) return waited;
  sample->SetActualDataLength(static_cast<long>(facts.frameBytes));
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  sample->SetDiscontinuity(frame_ == 0);
  ++frame_;
  return S_OK;
}

CDvFileSource::CDvFileSource() : CSource(L"DV File Source", CLSID_DvFileSource) {
  AddPin(std::make_unique<CDvFileStream>(this));
}

CDvFileSource::~CDvFileSource() = default;

HRESULT CDvFileSource::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IFileSourceFilter) {
    return GetInterface(static_cast<IFileSourceFilter*>(this), ppv);
  }
  return CSource::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CDvFileSource::ReadFrame(uint64_t n, uint8_t* buffer) {
  if (n >= frameCount_) return S_FALSE;
  const size_t bytes = dv::FactsOf(system_).frameBytes;
  size_t done = 0;
  while (done < bytes) {
    const ssize_t r =
        ::pread(fd_, buffer + done, bytes - done, static_cast<off_t>(n * bytes + done));
    if (r < 0 && errno == EINTR) continue;
    // The file held this frame when it was loaded: it was cut short since.
    if (r == 0) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    if (r < 0) {
      return errno == EACCES || errno == EPERM ? E_ACCESSDENIED
                                               : HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
    done += static_cast<size_t>(r);
  }
  return S_OK;
}

STDMETHODIMP CDvFileSource::Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE*) {
  if (!pszFileName) return E_POINTER;
  std::lock_guard lock(filterLock_);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  if (Stream(0)->IsConnected()) return VFW_E_ALREADY_CONNECTED;
  UniqueFd fd(::open(WideToUtf8(pszFileName).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    return errno == ENOENT ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : E_ACCESSDENIED;
  }
  struct stat st {};
  std::vector<uint8_t> first(dv::kDifBlockBytes);
  std::optional<dv::DvSystem> system;
  if (::fstat(fd, &st) == 0 &&
      ::pread(fd, first.data(), first.size(), 0) == static_cast<ssize_t>(first.size())) {
    system = dv::SystemFromHeader(first);
  }
  if (system) {
    first.resize(dv::FactsOf(*system).frameBytes);
    if (::pread(fd, first.data(), first.size(), 0) != static_cast<ssize_t>(first.size()) ||
        dv::CheckFrame(first) != system) {
      system.reset();
    }
  }
  if (!system) return VFW_E_INVALID_FILE_FORMAT;
  fd_ = std::move(fd);
  system_ = *system;
  dvInfo_ = dv::DvInfoFromFrame(first, system_);
  frameCount_ = static_cast<uint64_t>(st.st_size) / dv::FactsOf(system_).frameBytes;
  fileName_ = pszFileName;
  return S_OK;
}

STDMETHODIMP CDvFileSource::GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) {
  if (!ppszFileName) return E_POINTER;
  std::lock_guard lock(filterLock_);
  *ppszFileName = nullptr;
  if (fileName_.empty()) return E_FAIL;
  if (pmt) {
    CMediaType type = dv::InterleavedDvType(dvInfo_);
    *pmt = AM_MEDIA_TYPE{};
    AM_MEDIA_TYPE* copy = CreateMediaType(&type);
    if (copy) {
      *pmt = *copy;
      CoTaskMemFree(copy);
    }
  }
  *ppszFileName = CoTaskMemStrDup(fileName_);
  return *ppszFileName ? S_OK : E_OUTOFMEMORY;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_DvFileSource,
    .friendlyName = L"DV File Source",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_UNLIKELY,
    .inputTypes = {},
    .outputTypes = {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}},
    .monikerName = {},
    .factory = FilterFactoryFor<CDvFileSource>(),
});

}  // namespace
}  // namespace vidorra::filters
