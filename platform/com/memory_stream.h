// CMemoryStream: the IStream over growable memory that CreateStreamOnHGlobal hands out.
//
// Clones share the bytes and keep their own seek position. The bytes and every position are
// guarded by one mutex per storage, so a stream and its clones may be used from any threads;
// no call into another object happens while that mutex is held.
#pragma once

#include <comimpl.h>
#include <objbase.h>

#include <memory>
#include <mutex>
#include <vector>

class CMemoryStream : public CUnknown, public IStream {
 public:
  CMemoryStream();

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ISequentialStream
  STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override;
  STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
  // IStream
  STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                    ULARGE_INTEGER* plibNewPosition) override;
  STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) override;
  STDMETHODIMP CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                      ULARGE_INTEGER* pcbWritten) override;
  STDMETHODIMP Commit(DWORD grfCommitFlags) override;
  STDMETHODIMP Revert() override;
  STDMETHODIMP LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
  STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
  STDMETHODIMP Clone(IStream** ppstm) override;

 private:
  struct Storage {
    std::mutex mutex;
    std::vector<BYTE> bytes;
  };
  CMemoryStream(std::shared_ptr<Storage> storage, ULONGLONG position);

  std::shared_ptr<Storage> storage_;
  ULONGLONG position_ = 0;  // guarded by storage_->mutex
};
