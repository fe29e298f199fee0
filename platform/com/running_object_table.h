// CRunningObjectTable: the process's table of running objects, each registered under a
// moniker. The table holds a reference to every registered object until it is revoked.
//
// One mutex guards the entries. Monikers and objects are called (IsEqual, Release) only after
// the mutex is released, so they may themselves use the table.
#pragma once

#include <comimpl.h>

#include <mutex>
#include <vector>

class CRunningObjectTable : public CUnknown, public IRunningObjectTable {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // Registering a moniker equal to one already registered succeeds with
  // MK_S_MONIKERALREADYREGISTERED; both entries stay until revoked.
  STDMETHODIMP Register(DWORD grfFlags, IUnknown* punkObject, IMoniker* pmkObjectName,
                        DWORD* pdwRegister) override;
  // E_INVALIDARG for a cookie that is not registered.
  STDMETHODIMP Revoke(DWORD dwRegister) override;
  STDMETHODIMP IsRunning(IMoniker* pmkObjectName) override;
  STDMETHODIMP GetObject(IMoniker* pmkObjectName, IUnknown** ppunkObject) override;
  STDMETHODIMP NoteChangeTime(DWORD dwRegister, FILETIME* pfiletime) override;
  STDMETHODIMP GetTimeOfLastChange(IMoniker* pmkObjectName, FILETIME* pfiletime) override;
  STDMETHODIMP EnumRunning(IEnumMoniker** ppenumMoniker) override;

 private:
  struct Entry {
    DWORD cookie = 0;
    ComPtr<IUnknown> object;
    ComPtr<IMoniker> moniker;
    FILETIME lastChange{};
  };
  // The entry registered under a moniker equal to `moniker`, copied out; false if none.
  bool FindEntry(IMoniker* moniker, Entry* found);
  std::vector<Entry> SnapshotEntries();

  std::mutex mutex_;
  std::vector<Entry> entries_;  // guarded by mutex_, in registration order
  DWORD nextCookie_ = 1;        // guarded by mutex_
};
