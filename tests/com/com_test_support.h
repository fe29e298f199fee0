// What the COM tests share: a memory stream, a moniker's display name and a plain object
// that answers IPersist with its class.
#pragma once

#include <comimpl.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

namespace vidorra::test {

inline ComPtr<IStream> NewStream() {
  ComPtr<IStream> stream;
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.ReleaseAndGetAddressOf()), S_OK);
  return stream;
}

inline std::wstring DisplayNameOf(IMoniker* moniker) {
  LPOLESTR text = nullptr;
  EXPECT_EQ(moniker->GetDisplayName(nullptr, nullptr, &text), S_OK);
  std::wstring name = text ? text : L"";
  CoTaskMemFree(text);
  return name;
}

class CPersistObject : public CUnknown, public IPersist {
 public:
  explicit CPersistObject(CLSID clsid = GUID_NULL) : clsid_(clsid) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    *clsid = clsid_;
    return S_OK;
  }

 private:
  CLSID clsid_;
};

}  // namespace vidorra::test
