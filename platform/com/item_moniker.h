// CItemMoniker (CLSID_ItemMoniker): a delimiter and an item name, such as "!FilterGraph ...".
// Its display name is the delimiter followed by the item. Two item monikers are equal when
// their display names match ignoring ASCII case. Bound alone (no container on its left), it
// finds the object registered under it in the running object table.
//
// Stored state: the delimiter, then the item, each as persisted text (persisted_text.h).
// Delimiter and item are set at creation or by Load and guarded by a mutex.
#pragma once

#include <mutex>
#include <string>

#include "moniker_base.h"

class CItemMoniker : public CMonikerBase {
 public:
  CItemMoniker() = default;
  CItemMoniker(std::wstring delimiter, std::wstring item);

  std::wstring DisplayName() override;

  // IPersist / IPersistStream
  STDMETHODIMP GetClassID(CLSID* pClassID) override;
  STDMETHODIMP Load(IStream* pStm) override;
  STDMETHODIMP Save(IStream* pStm, BOOL fClearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pcbSize) override;

  // IMoniker
  STDMETHODIMP BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult,
                            void** ppvResult) override;
  // Items have no storage of their own: E_NOTIMPL.
  STDMETHODIMP BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid,
                             void** ppvObj) override;
  STDMETHODIMP IsEqual(IMoniker* pmkOtherMoniker) override;
  STDMETHODIMP Hash(DWORD* pdwHash) override;
  STDMETHODIMP IsRunning(IBindCtx* pbc, IMoniker* pmkToLeft, IMoniker* pmkNewlyRunning) override;

 private:
  std::mutex mutex_;
  std::wstring delimiter_;  // guarded by mutex_
  std::wstring item_;       // guarded by mutex_
};
