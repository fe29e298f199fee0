// CDeviceMoniker (CLSID_CDeviceMoniker): names a device or filter by its display name and
// binds it through the installed resolvers (devmoniker.h). Two device monikers are equal when
// their display names match ignoring ASCII case (GUIDs may be written in either case).
//
// Stored state: the display name as persisted text (persisted_text.h). The name is set at
// creation or by Load and guarded by a mutex, since a moniker may be shared between threads.
#pragma once

#include <devmoniker.h>

#include <mutex>
#include <string>

#include "moniker_base.h"

class CDeviceMoniker : public CMonikerBase {
 public:
  CDeviceMoniker() = default;
  explicit CDeviceMoniker(std::wstring displayName);

  std::wstring DisplayName() override;

  // IPersist / IPersistStream
  STDMETHODIMP GetClassID(CLSID* pClassID) override;
  STDMETHODIMP Load(IStream* pStm) override;
  STDMETHODIMP Save(IStream* pStm, BOOL fClearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pcbSize) override;

  // IMoniker. The bind context and the left moniker are not used: device monikers stand
  // alone.
  STDMETHODIMP BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult,
                            void** ppvResult) override;
  STDMETHODIMP BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid,
                             void** ppvObj) override;
  STDMETHODIMP IsEqual(IMoniker* pmkOtherMoniker) override;
  STDMETHODIMP Hash(DWORD* pdwHash) override;
  // Device monikers have no running state of their own: S_FALSE.
  STDMETHODIMP IsRunning(IBindCtx* pbc, IMoniker* pmkToLeft, IMoniker* pmkNewlyRunning) override;

 private:
  std::mutex mutex_;
  std::wstring displayName_;  // guarded by mutex_
};
