// CMonikerBase: what the platform's monikers share. It answers IMoniker, IPersistStream and
// IPersist, and gives the answers of a simple (non-composite) moniker to the methods that
// such monikers do not support: E_NOTIMPL for Reduce, ComposeWith, Inverse, CommonPrefixWith,
// RelativePathTo, ParseDisplayName and GetTimeOfLastChange. Derived classes fill in identity,
// persistence and binding.
#pragma once

#include <comimpl.h>
#include <objbase.h>

#include <string>

class CMonikerBase : public CUnknown, public IMoniker {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // The moniker's text, as GetDisplayName gives it.
  virtual std::wstring DisplayName() = 0;

  // IPersistStream: a moniker's state never changes after Load, so it is never dirty.
  STDMETHODIMP IsDirty() override { return S_FALSE; }

  STDMETHODIMP Reduce(IBindCtx* pbc, DWORD dwReduceHowFar, IMoniker** ppmkToLeft,
                      IMoniker** ppmkReduced) override;
  STDMETHODIMP ComposeWith(IMoniker* pmkRight, BOOL fOnlyIfNotGeneric,
                           IMoniker** ppmkComposite) override;
  // A simple moniker has no parts to enumerate: S_OK with no enumerator.
  STDMETHODIMP Enum(BOOL fForward, IEnumMoniker** ppenumMoniker) override;
  STDMETHODIMP GetTimeOfLastChange(IBindCtx* pbc, IMoniker* pmkToLeft,
                                   FILETIME* pFileTime) override;
  STDMETHODIMP Inverse(IMoniker** ppmk) override;
  STDMETHODIMP CommonPrefixWith(IMoniker* pmkOther, IMoniker** ppmkPrefix) override;
  STDMETHODIMP RelativePathTo(IMoniker* pmkOther, IMoniker** ppmkRelPath) override;
  STDMETHODIMP GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft,
                              LPOLESTR* ppszDisplayName) override;
  STDMETHODIMP ParseDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR pszDisplayName,
                                ULONG* pchEaten, IMoniker** ppmkOut) override;
  // None of the platform's monikers is one of the system's own kinds (MKSYS_NONE).
  STDMETHODIMP IsSystemMoniker(DWORD* pdwMksys) override;

 protected:
  // The display name of another moniker of the same class, or false when `other` is of
  // another class.
  static bool DisplayNameIfSameClass(IMoniker* other, REFCLSID clsid, std::wstring* name);
};
