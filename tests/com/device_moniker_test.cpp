// Device monikers: persisted bytes, loading damaged streams, binding through resolvers and
// the software-filter fallback, property bags and moniker enumerators.
#include <comimpl.h>
#include <devmoniker.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>

#include <string>
#include <vector>

#include "com_test_support.h"

namespace {

using namespace vidorra::test;

constexpr wchar_t kDvEncoderName[] =
    L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder";
constexpr BYTE kDeviceMonikerClassBytes[16] = {0x37, 0xD4, 0x15, 0x43, 0x8C, 0x5B, 0xD0, 0x11,
                                               0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86};

DEFINE_GUID(CLSID_TestSoftwareFilter, 0x7E570001, 0xAAAA, 0xBBBB, 0xCC, 0xDD, 1, 2, 3, 4, 5, 6);

ComPtr<IMoniker> DeviceMoniker(const std::wstring& name) {
  ComPtr<IMoniker> moniker;
  EXPECT_EQ(CreateDeviceMoniker(name, moniker.ReleaseAndGetAddressOf()), S_OK);
  return moniker;
}

std::vector<BYTE> SavedImage(const std::wstring& name) {
  return SavedBytes(DeviceMoniker(name).Get());
}

TEST(DeviceMonikerPersistence, SavedImageHasTheStoredLayoutAndLoadsBack) {
  const std::vector<BYTE> bytes = SavedImage(kDvEncoderName);
  ASSERT_EQ(bytes.size(), 154u);
  EXPECT_TRUE(std::equal(std::begin(kDeviceMonikerClassBytes), std::end(kDeviceMonikerClassBytes),
                         bytes.begin()));
  EXPECT_EQ(std::vector<BYTE>(bytes.begin() + 16, bytes.begin() + 20),
            (std::vector<BYTE>{134, 0, 0, 0}));  // characters with the zero, little-endian
  const std::wstring name = kDvEncoderName;
  ASSERT_EQ(name.size(), 66u);
  for (size_t i = 0; i < name.size(); ++i) {
    EXPECT_EQ(bytes[20 + 2 * i], static_cast<BYTE>(name[i])) << i;
    EXPECT_EQ(bytes[21 + 2 * i], 0) << i;
  }
  EXPECT_EQ(bytes[152], 0);
  EXPECT_EQ(bytes[153], 0);

  ComPtr<IMoniker> moniker = DeviceMoniker(kDvEncoderName);
  ULARGE_INTEGER size{};
  ASSERT_EQ(moniker->GetSizeMax(&size), S_OK);
  EXPECT_EQ(size.QuadPart, 138u);
  CLSID clsid{};
  ASSERT_EQ(moniker->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_CDeviceMoniker);

  HRESULT hr = E_FAIL;
  ComPtr<IMoniker> loaded = LoadMoniker(bytes, &hr);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(DisplayNameOf(loaded.Get()), kDvEncoderName);
  EXPECT_EQ(loaded->IsEqual(moniker.Get()), S_OK);
  // Characters beyond ASCII and beyond the basic plane survive the UTF-16 form.
  const std::wstring wide = L"@device:pnp:Caméra \u4e2d \U0001F3A5";
  const std::vector<BYTE> wideBytes = SavedImage(wide);
  EXPECT_EQ(wideBytes.size(), 16u + 4u + 2u * (wide.size() + 1 + 1));  // one surrogate pair
  loaded = LoadMoniker(wideBytes, &hr);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(DisplayNameOf(loaded.Get()), wide);
}

TEST(DeviceMonikerPersistence, DamagedStreamsFailCleanly) {
  const std::vector<BYTE> good = SavedImage(kDvEncoderName);
  // Every truncation fails, without a crash and without handing out an object.
  for (size_t length = 0; length < good.size(); ++length) {
    HRESULT hr = S_OK;
    ComPtr<IMoniker> moniker =
        LoadMoniker(std::vector<BYTE>(good.begin(), good.begin() + length), &hr);
    EXPECT_TRUE(FAILED(hr)) << "length " << length;
    EXPECT_FALSE(moniker);
  }
  auto withCount = [&](uint32_t count) {
    std::vector<BYTE> bytes = good;
    for (int i = 0; i < 4; ++i) bytes[16 + i] = static_cast<BYTE>(count >> (8 * i));
    return bytes;
  };
  const uint32_t badCounts[] = {0, 1, 133, 135, 0xFFFFFFFFu, 0x7FFFFFFEu, 136};
  for (uint32_t count : badCounts) {
    HRESULT hr = S_OK;
    EXPECT_FALSE(LoadMoniker(withCount(count), &hr)) << count;
    EXPECT_TRUE(FAILED(hr)) << count;
  }
  // No terminating zero.
  std::vector<BYTE> unterminated = good;
  unterminated[152] = 'x';
  HRESULT hr = S_OK;
  EXPECT_FALSE(LoadMoniker(unterminated, &hr));
  EXPECT_TRUE(FAILED(hr));
  // An unknown class is not created.
  std::vector<BYTE> unknownClass = good;
  unknownClass[0] ^= 0xFF;
  EXPECT_FALSE(LoadMoniker(unknownClass, &hr));
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
  // Garbage of every small size.
  std::vector<BYTE> garbage;
  for (int i = 0; i < 64; ++i) {
    garbage.push_back(static_cast<BYTE>(i * 37 + 11));
    EXPECT_FALSE(LoadMoniker(garbage, &hr));
  }
  // A moniker that fails to load keeps its name.
  ComPtr<IMoniker> kept = DeviceMoniker(L"@device:sw:kept");
  EXPECT_EQ(kept->Load(StreamWith({8, 0, 0, 0, 'a', 0}).Get()), STG_E_READFAULT);
  EXPECT_EQ(DisplayNameOf(kept.Get()), L"@device:sw:kept");
}

TEST(ClassStream, WriteAndReadUseTheLittleEndianLayout) {
  ComPtr<IStream> stream = NewStream();
  ASSERT_EQ(WriteClassStm(stream.Get(), CLSID_CDeviceMoniker), S_OK);
  const std::vector<BYTE> bytes = BytesOf(stream.Get());
  ASSERT_EQ(bytes.size(), 16u);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), std::begin(kDeviceMonikerClassBytes)));
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  CLSID clsid{};
  ASSERT_EQ(ReadClassStm(stream.Get(), &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_CDeviceMoniker);
  EXPECT_EQ(ReadClassStm(stream.Get(), &clsid), STG_E_READFAULT);
  EXPECT_EQ(ReadClassStm(nullptr, &clsid), E_INVALIDARG);
  EXPECT_EQ(WriteClassStm(nullptr, clsid), E_INVALIDARG);
  EXPECT_EQ(OleSaveToStream(nullptr, stream.Get()), E_INVALIDARG);
  EXPECT_EQ(OleLoadFromStream(stream.Get(), IID_IMoniker, nullptr), E_POINTER);
}

// A filter-like object for the binding tests.
struct CTestObject : CPersistObject {
  CTestObject() : CPersistObject(CLSID_TestSoftwareFilter) {}
};

// Knows one display name; records what it was asked.
class TestResolver : public DeviceMonikerResolver {
 public:
  TestResolver(std::wstring name, PropertyList properties)
      : name_(std::move(name)), properties_(std::move(properties)) {}
  HRESULT BindToObject(const std::wstring& displayName, REFIID riid, void** ppv) override {
    ++bindCalls;
    if (displayName != name_) return MK_E_NOOBJECT;
    if (failBinding) return E_OUTOFMEMORY;
    return MakeComObject<CTestObject>()->QueryInterface(riid, ppv);
  }
  HRESULT ReadProperties(const std::wstring& displayName, PropertyList* out) override {
    if (displayName != name_) return MK_E_NOOBJECT;
    *out = properties_;
    return S_OK;
  }
  int bindCalls = 0;
  bool failBinding = false;

 private:
  std::wstring name_;
  PropertyList properties_;
};

// Installs a resolver for the length of a test.
struct ScopedResolver {
  explicit ScopedResolver(std::shared_ptr<DeviceMonikerResolver> r) : resolver(std::move(r)) {
    AddDeviceMonikerResolver(resolver);
  }
  ~ScopedResolver() { RemoveDeviceMonikerResolver(resolver); }
  std::shared_ptr<DeviceMonikerResolver> resolver;
};

std::wstring ReadString(IPropertyBag* bag, const wchar_t* name, HRESULT* hr) {
  VARIANT v;
  VariantInit(&v);
  *hr = bag->Read(name, &v, nullptr);
  std::wstring text;
  if (SUCCEEDED(*hr) && v.vt == VT_BSTR) text.assign(v.bstrVal, SysStringLen(v.bstrVal));
  VariantClear(&v);
  return text;
}

TEST(DeviceMonikerBinding, ResolversAreTriedInOrderAndAnswerBothBindings) {
  auto first = std::make_shared<TestResolver>(L"@device:pnp:camera",
                                              PropertyList{{L"FriendlyName", L"Test Camera"}});
  auto second = std::make_shared<TestResolver>(
      kDvEncoderName, PropertyList{{L"FriendlyName", L"DV Video Encoder"},
                                   {L"CLSID", L"{B1B77C00-C3E4-11CF-AF79-00AA00B67A42}"}});
  ScopedResolver a(first);
  ScopedResolver b(second);
  ComPtr<IMoniker> moniker = DeviceMoniker(kDvEncoderName);
  ComPtr<IPersist> object;
  ASSERT_EQ(
      moniker->BindToObject(nullptr, nullptr, IID_IPersist, object.ReleaseAndGetVoidAddressOf()),
      S_OK);
  EXPECT_EQ(first->bindCalls, 1);
  EXPECT_EQ(second->bindCalls, 1);
  ComPtr<IPropertyBag> bag;
  ASSERT_EQ(
      moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReleaseAndGetVoidAddressOf()),
      S_OK);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(ReadString(bag.Get(), L"FriendlyName", &hr), L"DV Video Encoder");
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(ReadString(bag.Get(), L"CLSID", &hr), L"{B1B77C00-C3E4-11CF-AF79-00AA00B67A42}");

  // A resolver's failure is final: later resolvers and the fallback are not asked.
  second->failBinding = true;
  void* out = &out;
  EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IPersist, &out), E_OUTOFMEMORY);
  EXPECT_EQ(out, nullptr);
}

TEST(DeviceMonikerBinding, SoftwareFilterNamesFallBackToTheirClass) {
  RegisterComClass(CLSID_TestSoftwareFilter, "test software filter",
                   ComClassFactoryFor<CTestObject>());
  const std::wstring name =
      L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{7e570001-AAAA-BBBB-CCDD-010203040506}";
  ComPtr<IMoniker> moniker = DeviceMoniker(name);
  ComPtr<IPersist> object;
  ASSERT_EQ(
      moniker->BindToObject(nullptr, nullptr, IID_IPersist, object.ReleaseAndGetVoidAddressOf()),
      S_OK);
  CLSID clsid{};
  object->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_TestSoftwareFilter);
  ComPtr<IPropertyBag> bag;
  ASSERT_EQ(
      moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReleaseAndGetVoidAddressOf()),
      S_OK);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(ReadString(bag.Get(), L"CLSID", &hr), L"{7E570001-AAAA-BBBB-CCDD-010203040506}");
  ReadString(bag.Get(), L"FriendlyName", &hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  // Bound as any interface the class answers; others are refused.
  void* out = &out;
  EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  UnregisterComClass(CLSID_TestSoftwareFilter);
  EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IPersist, &out), REGDB_E_CLASSNOTREG);
}

TEST(DeviceMonikerBinding, UnknownNamesGiveNoObject) {
  const std::wstring names[] = {
      kDvEncoderName,  // a friendly name, not a class, with no resolver installed
      L"",
      L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{not-a-guid}",
      L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}{7E570001-AAAA-BBBB-CCDD-010203040506}",
      L"@device:pnp:\\\\?\\usb#vid_0000",
  };
  for (const std::wstring& name : names) {
    ComPtr<IMoniker> moniker = DeviceMoniker(name);
    void* out = &out;
    EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IUnknown, &out), MK_E_NOOBJECT);
    EXPECT_EQ(out, nullptr);
    out = &out;
    EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, &out), MK_E_NOOBJECT);
    EXPECT_EQ(out, nullptr);
  }
}

TEST(DeviceMonikerIdentity, EqualityHashAndUnsupportedMethods) {
  ComPtr<IMoniker> a = DeviceMoniker(kDvEncoderName);
  ComPtr<IMoniker> b = DeviceMoniker(kDvEncoderName);
  ComPtr<IMoniker> c = DeviceMoniker(L"@device:sw:other");
  EXPECT_EQ(a->IsEqual(b.Get()), S_OK);
  EXPECT_EQ(a->IsEqual(c.Get()), S_FALSE);
  ComPtr<IMoniker> lower =
      DeviceMoniker(L"@device:sw:{33d9a760-90c8-11d0-bd43-00a0c911ce86}\\dv video encoder");
  EXPECT_EQ(a->IsEqual(lower.Get()), S_OK);
  DWORD hl = 0;
  lower->Hash(&hl);
  EXPECT_EQ(a->IsEqual(nullptr), S_FALSE);
  ComPtr<IMoniker> item;
  ASSERT_EQ(CreateItemMoniker(L"", kDvEncoderName, item.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(a->IsEqual(item.Get()), S_FALSE);  // same text, other class
  DWORD ha = 0;
  DWORD hb = 0;
  DWORD hc = 0;
  a->Hash(&ha);
  b->Hash(&hb);
  c->Hash(&hc);
  EXPECT_EQ(ha, hb);
  EXPECT_EQ(ha, hl);
  EXPECT_NE(ha, hc);
  IMoniker* out = nullptr;
  EXPECT_EQ(a->Inverse(&out), E_NOTIMPL);
  EXPECT_EQ(a->ComposeWith(c.Get(), FALSE, &out), E_NOTIMPL);
  EXPECT_EQ(a->Reduce(nullptr, 0, nullptr, &out), E_NOTIMPL);
  IEnumMoniker* parts = reinterpret_cast<IEnumMoniker*>(&out);
  EXPECT_EQ(a->Enum(TRUE, &parts), S_OK);
  EXPECT_EQ(parts, nullptr);
  DWORD system = 99;
  EXPECT_EQ(a->IsSystemMoniker(&system), S_FALSE);
  EXPECT_EQ(system, 0u);
  EXPECT_EQ(a->IsDirty(), S_FALSE);
  EXPECT_EQ(a->GetDisplayName(nullptr, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(CreateDeviceMoniker(L"x", nullptr), E_POINTER);
}

TEST(MemoryPropertyBag, ReadsStringsAndNumbersAndWritesBack) {
  ComPtr<IPropertyBag> bag;
  ASSERT_EQ(CreateMemoryPropertyBag({{L"FriendlyName", L"Webcam"}, {L"Index", L"42"}},
                                    bag.ReleaseAndGetAddressOf()),
            S_OK);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(ReadString(bag.Get(), L"friendlyname", &hr), L"Webcam");  // names ignore case
  EXPECT_EQ(hr, S_OK);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = nullptr;
  ASSERT_EQ(bag->Read(L"FriendlyName", &v, nullptr), S_OK);
  EXPECT_STREQ(v.bstrVal, L"Webcam");
  VariantClear(&v);
  v.vt = VT_I4;
  ASSERT_EQ(bag->Read(L"Index", &v, nullptr), S_OK);
  EXPECT_EQ(v.lVal, 42);
  v.vt = VT_I4;
  EXPECT_EQ(bag->Read(L"FriendlyName", &v, nullptr), DISP_E_TYPEMISMATCH);
  v.vt = VT_BOOL;
  EXPECT_EQ(bag->Read(L"Index", &v, nullptr), DISP_E_TYPEMISMATCH);
  VariantInit(&v);
  EXPECT_EQ(bag->Read(L"Missing", &v, nullptr), E_INVALIDARG);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(bag->Read(nullptr, &v, nullptr), E_POINTER);
  EXPECT_EQ(bag->Read(L"Index", nullptr, nullptr), E_POINTER);

  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(L"Renamed");
  ASSERT_EQ(bag->Write(L"FRIENDLYNAME", &v), S_OK);
  VariantClear(&v);
  EXPECT_EQ(ReadString(bag.Get(), L"FriendlyName", &hr), L"Renamed");
  v.vt = VT_UI4;
  v.ulVal = 7;
  ASSERT_EQ(bag->Write(L"New", &v), S_OK);
  EXPECT_EQ(ReadString(bag.Get(), L"New", &hr), L"7");
  v.vt = VT_UNKNOWN;
  v.punkVal = nullptr;
  EXPECT_EQ(bag->Write(L"Object", &v), DISP_E_TYPEMISMATCH);
}

TEST(MonikerEnumerator, NextSkipResetAndClone) {
  std::vector<ComPtr<IMoniker>> list = {DeviceMoniker(L"a"), DeviceMoniker(L"b"),
                                        DeviceMoniker(L"c")};
  ComPtr<IEnumMoniker> e;
  ASSERT_EQ(CreateMonikerEnumerator(list, e.ReleaseAndGetAddressOf()), S_OK);
  IMoniker* got[4] = {};
  ULONG fetched = 0;
  ASSERT_EQ(e->Next(1, got, nullptr), S_OK);  // one at a time needs no count
  EXPECT_EQ(DisplayNameOf(got[0]), L"a");
  got[0]->Release();
  ComPtr<IEnumMoniker> clone;
  ASSERT_EQ(e->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(e->Next(4, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(DisplayNameOf(got[0]), L"b");
  EXPECT_EQ(DisplayNameOf(got[1]), L"c");
  got[0]->Release();
  got[1]->Release();
  EXPECT_EQ(e->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  // The clone started where the original was.
  ASSERT_EQ(clone->Next(1, got, &fetched), S_OK);
  EXPECT_EQ(DisplayNameOf(got[0]), L"b");
  got[0]->Release();
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(2), S_OK);
  ASSERT_EQ(e->Next(1, got, &fetched), S_OK);
  EXPECT_EQ(DisplayNameOf(got[0]), L"c");
  got[0]->Release();
  EXPECT_EQ(e->Skip(1), S_FALSE);
  EXPECT_EQ(e->Next(2, got, nullptr), E_INVALIDARG);
  EXPECT_EQ(e->Next(1, nullptr, &fetched), E_POINTER);

  ComPtr<IEnumMoniker> empty;
  ASSERT_EQ(CreateMonikerEnumerator({}, empty.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(empty->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(empty->Skip(0), S_OK);
}

}  // namespace
