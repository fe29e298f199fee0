// CUnknown: the counted base of every COM object written on this platform.
#include <comimpl.h>

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown) return GetInterface(static_cast<IUnknown*>(this), ppv);
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingRelease() {
  // acq_rel: the thread that deletes must see every write made before the other Releases.
  const ULONG remaining = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (remaining == 0) delete this;
  return remaining;
}

HRESULT GetInterface(IUnknown* p, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = p;
  if (p) p->AddRef();
  return S_OK;
}

bool IsSameObject(IUnknown* a, IUnknown* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  ComPtr<IUnknown> identityA;
  ComPtr<IUnknown> identityB;
  if (FAILED(a->QueryInterface(IID_IUnknown, identityA.ReleaseAndGetVoidAddressOf()))) return false;
  if (FAILED(b->QueryInterface(IID_IUnknown, identityB.ReleaseAndGetVoidAddressOf()))) return false;
  // The identity references were adopted by the ComPtrs and are released with them.
  return identityA.Get() == identityB.Get();
}
