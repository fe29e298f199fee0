// Class identifiers in streams and whole-object stream persistence.
//
// A CLSID is written in the 16-byte stored layout: Data1 as 32-bit little-endian, Data2 and
// Data3 as 16-bit little-endian, then the 8 bytes of Data4. It is assembled byte by byte, never
// copied from memory, so the stored form does not depend on this machine's layout.
#include <comimpl.h>
#include <objbase.h>

#include <array>
#include <cstring>

namespace {

constexpr size_t kStoredGuidBytes = 16;
constexpr size_t kData1Offset = 0;
constexpr size_t kData2Offset = 4;
constexpr size_t kData3Offset = 6;
constexpr size_t kData4Offset = 8;

std::array<BYTE, kStoredGuidBytes> StoredGuid(REFGUID g) {
  std::array<BYTE, kStoredGuidBytes> out{};
  for (size_t i = 0; i < 4; ++i) out[kData1Offset + i] = static_cast<BYTE>(g.Data1 >> (8 * i));
  for (size_t i = 0; i < 2; ++i) out[kData2Offset + i] = static_cast<BYTE>(g.Data2 >> (8 * i));
  for (size_t i = 0; i < 2; ++i) out[kData3Offset + i] = static_cast<BYTE>(g.Data3 >> (8 * i));
  std::memcpy(&out[kData4Offset], g.Data4, sizeof(g.Data4));
  return out;
}

GUID GuidFromStored(const std::array<BYTE, kStoredGuidBytes>& in) {
  GUID g{};
  for (size_t i = 0; i < 4; ++i) g.Data1 |= static_cast<uint32_t>(in[kData1Offset + i]) << (8 * i);
  g.Data2 = static_cast<uint16_t>(in[kData2Offset] | in[kData2Offset + 1] << 8);
  g.Data3 = static_cast<uint16_t>(in[kData3Offset] | in[kData3Offset + 1] << 8);
  std::memcpy(g.Data4, &in[kData4Offset], sizeof(g.Data4));
  return g;
}

}  // namespace

HRESULT WriteClassStm(LPSTREAM pStm, REFCLSID rclsid) {
  if (!pStm) return E_INVALIDARG;
  const auto bytes = StoredGuid(rclsid);
  ULONG written = 0;
  const HRESULT hr = pStm->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (FAILED(hr)) return hr;
  return written == bytes.size() ? S_OK : STG_E_WRITEFAULT;
}

HRESULT ReadClassStm(LPSTREAM pStm, CLSID* pclsid) {
  if (!pStm || !pclsid) return E_INVALIDARG;
  std::array<BYTE, kStoredGuidBytes> bytes{};
  ULONG read = 0;
  const HRESULT hr = pStm->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  if (FAILED(hr)) return hr;
  if (read != bytes.size()) return STG_E_READFAULT;
  *pclsid = GuidFromStored(bytes);
  return S_OK;
}

HRESULT OleSaveToStream(LPPERSISTSTREAM pPStm, LPSTREAM pStm) {
  if (!pPStm || !pStm) return E_INVALIDARG;
  CLSID clsid{};
  HRESULT hr = pPStm->GetClassID(&clsid);
  if (FAILED(hr)) return hr;
  hr = WriteClassStm(pStm, clsid);
  if (FAILED(hr)) return hr;
  return pPStm->Save(pStm, TRUE);
}

HRESULT OleLoadFromStream(LPSTREAM pStm, REFIID iidInterface, LPVOID* ppvObj) {
  if (!ppvObj) return E_POINTER;
  *ppvObj = nullptr;
  if (!pStm) return E_INVALIDARG;
  CLSID clsid{};
  HRESULT hr = ReadClassStm(pStm, &clsid);
  if (FAILED(hr)) return hr;
  ComPtr<IPersistStream> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStream,
                        object.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) return hr;
  hr = object->Load(pStm);
  if (FAILED(hr)) return hr;
  return object->QueryInterface(iidInterface, ppvObj);
}
