// CMemoryStream and CreateStreamOnHGlobal.
#include "memory_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {
// Bytes moved per step of CopyTo, so a large copy never needs a second full-size buffer.
constexpr ULONGLONG kCopyChunkBytes = 64 * 1024;
// A memory stream never grows past this; larger requests report a full medium instead of
// trying to allocate absurd amounts.
constexpr ULONGLONG kMaxStreamBytes = ULONGLONG{1} << 40;
}  // namespace

CMemoryStream::CMemoryStream() : storage_(std::make_shared<Storage>()) {}

CMemoryStream::CMemoryStream(std::shared_ptr<Storage> storage, ULONGLONG position)
    : storage_(std::move(storage)), position_(position) {}

HRESULT CMemoryStream::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  const HRESULT hr = QueryInterfaceTable<IStream>(this, riid, ppv);
  if (hr != E_NOINTERFACE) return hr;
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CMemoryStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
  if (pcbRead) *pcbRead = 0;
  if (!pv && cb > 0) return STG_E_INVALIDPOINTER;
  std::lock_guard lock(storage_->mutex);
  const ULONGLONG size = storage_->bytes.size();
  const ULONGLONG available = position_ < size ? size - position_ : 0;
  const auto count = static_cast<ULONG>(std::min<ULONGLONG>(cb, available));
  if (count > 0) std::memcpy(pv, storage_->bytes.data() + position_, count);
  position_ += count;
  if (pcbRead) *pcbRead = count;
  return S_OK;
}

STDMETHODIMP CMemoryStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  if (!pv && cb > 0) return STG_E_INVALIDPOINTER;
  if (cb == 0) return S_OK;
  std::lock_guard lock(storage_->mutex);
  const ULONGLONG end = position_ + cb;
  if (end > kMaxStreamBytes) return STG_E_MEDIUMFULL;
  try {
    // A write past the end fills the gap with zeros.
    if (end > storage_->bytes.size()) storage_->bytes.resize(end);
  } catch (const std::bad_alloc&) {
    return STG_E_MEDIUMFULL;
  }
  std::memcpy(storage_->bytes.data() + position_, pv, cb);
  position_ = end;
  if (pcbWritten) *pcbWritten = cb;
  return S_OK;
}

STDMETHODIMP CMemoryStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                 ULARGE_INTEGER* plibNewPosition) {
  std::lock_guard lock(storage_->mutex);
  LONGLONG base = 0;
  switch (dwOrigin) {
    case STREAM_SEEK_SET:
      break;
    case STREAM_SEEK_CUR:
      base = static_cast<LONGLONG>(position_);
      break;
    case STREAM_SEEK_END:
      base = static_cast<LONGLONG>(storage_->bytes.size());
      break;
    default:
      return STG_E_INVALIDFUNCTION;
  }
  LONGLONG target = 0;
  if (__builtin_add_overflow(base, dlibMove.QuadPart, &target) || target < 0) {
    return STG_E_INVALIDFUNCTION;
  }
  position_ = static_cast<ULONGLONG>(target);
  if (plibNewPosition) plibNewPosition->QuadPart = position_;
  return S_OK;
}

STDMETHODIMP CMemoryStream::SetSize(ULARGE_INTEGER libNewSize) {
  if (libNewSize.QuadPart > kMaxStreamBytes) return STG_E_MEDIUMFULL;
  std::lock_guard lock(storage_->mutex);
  try {
    storage_->bytes.resize(libNewSize.QuadPart);
  } catch (const std::bad_alloc&) {
    return STG_E_MEDIUMFULL;
  }
  return S_OK;
}

STDMETHODIMP CMemoryStream::CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                   ULARGE_INTEGER* pcbWritten) {
  if (pcbRead) pcbRead->QuadPart = 0;
  if (pcbWritten) pcbWritten->QuadPart = 0;
  if (!pstm) return STG_E_INVALIDPOINTER;
  ULONGLONG remaining = cb.QuadPart;
  ULONGLONG totalRead = 0;
  ULONGLONG totalWritten = 0;
  std::vector<BYTE> chunk;
  HRESULT hr = S_OK;
  while (remaining > 0) {
    // Read under our lock, write without it: the destination may be a clone of this stream.
    ULONG got = 0;
    chunk.resize(static_cast<size_t>(std::min(remaining, kCopyChunkBytes)));
    hr = Read(chunk.data(), static_cast<ULONG>(chunk.size()), &got);
    if (FAILED(hr) || got == 0) break;
    totalRead += got;
    remaining -= got;
    ULONG put = 0;
    hr = pstm->Write(chunk.data(), got, &put);
    totalWritten += put;
    if (FAILED(hr)) break;
    if (put < got) {
      hr = STG_E_MEDIUMFULL;
      break;
    }
  }
  if (pcbRead) pcbRead->QuadPart = totalRead;
  if (pcbWritten) pcbWritten->QuadPart = totalWritten;
  return FAILED(hr) ? hr : S_OK;
}

// The stream works in direct mode: every write is already in place, so there is nothing to
// commit or to revert.
STDMETHODIMP CMemoryStream::Commit(DWORD /*grfCommitFlags*/) { return S_OK; }
STDMETHODIMP CMemoryStream::Revert() { return S_OK; }

// Region locking is not supported by memory streams (Stat reports no lock types).
STDMETHODIMP CMemoryStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}
STDMETHODIMP CMemoryStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
  return STG_E_INVALIDFUNCTION;
}

STDMETHODIMP CMemoryStream::Stat(STATSTG* pstatstg, DWORD /*grfStatFlag*/) {
  if (!pstatstg) return STG_E_INVALIDPOINTER;
  std::memset(pstatstg, 0, sizeof(*pstatstg));
  // A memory stream has no name, whatever the flag asks.
  pstatstg->pwcsName = nullptr;
  pstatstg->type = STGTY_STREAM;
  std::lock_guard lock(storage_->mutex);
  pstatstg->cbSize.QuadPart = storage_->bytes.size();
  return S_OK;
}

STDMETHODIMP CMemoryStream::Clone(IStream** ppstm) {
  if (!ppstm) return STG_E_INVALIDPOINTER;
  ULONGLONG position = 0;
  {
    std::lock_guard lock(storage_->mutex);
    position = position_;
  }
  // The private constructor is out of MakeComObject's reach.
  ComPtr<CMemoryStream> clone(new CMemoryStream(storage_, position));
  *ppstm = clone.Detach();
  return S_OK;
}

// Only streams over their own memory exist here: there is no global-memory allocator whose
// blocks a caller could pass in, so a non-null hGlobal is refused with E_INVALIDARG. The
// stream's memory is freed with its last reference whatever fDeleteOnRelease says, since no
// caller can take the memory over.
HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL /*fDeleteOnRelease*/, LPSTREAM* ppstm) {
  if (!ppstm) return E_INVALIDARG;
  *ppstm = nullptr;
  if (hGlobal) return E_INVALIDARG;
  ComPtr<CMemoryStream> stream = MakeComObject<CMemoryStream>();
  *ppstm = stream.Detach();
  return S_OK;
}
