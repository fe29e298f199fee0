// What the COM tests share: memory streams, monikers saved and loaded, a moniker's display
// name and a plain object that answers IPersist with its class.
#pragma once

#include <comimpl.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace vidorra::test {

inline ComPtr<IStream> NewStream() {
  ComPtr<IStream> stream;
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.ReleaseAndGetAddressOf()), S_OK);
  return stream;
}

// A stream holding the bytes, read from the start.
inline ComPtr<IStream> StreamWith(const std::vector<BYTE>& bytes) {
  ComPtr<IStream> stream = NewStream();
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return stream;
}

inline std::vector<BYTE> BytesOf(IStream* stream) {
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::vector<BYTE> bytes(stat.cbSize.QuadPart);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  return bytes;
}

// What OleSaveToStream writes of the moniker, and the moniker OleLoadFromStream makes of
// bytes (*hr: its result).
inline std::vector<BYTE> SavedBytes(IMoniker* moniker) {
  ComPtr<IStream> stream = NewStream();
  EXPECT_EQ(OleSaveToStream(moniker, stream.Get()), S_OK);
  return BytesOf(stream.Get());
}
inline ComPtr<IMoniker> LoadMoniker(const std::vector<BYTE>& bytes, HRESULT* hr) {
  ComPtr<IMoniker> moniker;
  *hr = OleLoadFromStream(StreamWith(bytes).Get(), IID_IMoniker,
                          moniker.ReleaseAndGetVoidAddressOf());
  return moniker;
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
