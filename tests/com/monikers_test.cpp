// Memory streams, device and item monikers (stored bytes, damaged streams, binding through
// resolvers and the software-filter fallback), property bags, moniker enumerators and the
// running object table.
#include <comimpl.h>
#include <devmoniker.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>

#include <ctime>
#include <thread>

namespace {

using Bytes = std::vector<BYTE>;

ComPtr<IStream> NewStream(const std::string& bytes = {}) {
  ComPtr<IStream> stream;
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.ReleaseAndGetAddressOf()), S_OK);
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return QueryAs<IStream>(stream.Get());  // the stream it answers for itself
}

ULONGLONG SeekTo(IStream* s, LONGLONG offset, DWORD origin = STREAM_SEEK_SET) {
  LARGE_INTEGER move{};
  move.QuadPart = offset;
  ULARGE_INTEGER position{};
  EXPECT_EQ(s->Seek(move, origin, &position), S_OK);
  return position.QuadPart;
}

std::string ReadAll(IStream* s) {
  STATSTG stat{};
  EXPECT_EQ(s->Stat(&stat, STATFLAG_DEFAULT), S_OK);
  std::string out(stat.cbSize.QuadPart, '\0');
  SeekTo(s, 0);
  ULONG read = 0;
  EXPECT_EQ(s->Read(out.data(), static_cast<ULONG>(out.size()), &read), S_OK);
  EXPECT_EQ(read, out.size());
  return out;
}

// What OleSaveToStream writes of the moniker, and the moniker OleLoadFromStream makes of
// bytes (*hr: its result).
Bytes SavedBytes(IMoniker* moniker) {
  ComPtr<IStream> stream = NewStream();
  EXPECT_EQ(OleSaveToStream(moniker, stream.Get()), S_OK);
  const std::string all = ReadAll(stream.Get());
  return Bytes(all.begin(), all.end());
}
ComPtr<IMoniker> LoadMoniker(const Bytes& bytes, HRESULT* hr) {
  ComPtr<IMoniker> moniker;
  *hr = OleLoadFromStream(NewStream(std::string(bytes.begin(), bytes.end())).Get(), IID_IMoniker,
                          moniker.ReleaseAndGetVoidAddressOf());
  return moniker;
}

std::wstring DisplayNameOf(IMoniker* moniker) {
  LPOLESTR text = nullptr;
  EXPECT_EQ(moniker->GetDisplayName(nullptr, nullptr, &text), S_OK);
  std::wstring name = text ? text : L"";
  CoTaskMemFree(text);
  return name;
}

ComPtr<IMoniker> DeviceMoniker(const std::wstring& name) {
  ComPtr<IMoniker> moniker;
  EXPECT_EQ(CreateDeviceMoniker(name, moniker.ReleaseAndGetAddressOf()), S_OK);
  return moniker;
}

ComPtr<IMoniker> Item(const std::wstring& item) {
  ComPtr<IMoniker> moniker;
  EXPECT_EQ(CreateItemMoniker(L"!", item.c_str(), moniker.ReleaseAndGetAddressOf()), S_OK);
  return moniker;
}

// A write past the end fills the gap with zeros; reads may be short; a seek before the start
// or from an unknown origin is refused; clones share the bytes, not the position; a copy takes
// as many bytes as asked from the source's position to the target's, up to the end its size set
// leaves; a write past 1 TiB finds the medium full, and a class written there reports just that.
TEST(MemoryStream, ReadWriteSeekAndClone) {
  ComPtr<IStream> s = NewStream();
  SeekTo(s.Get(), 4);
  ASSERT_EQ(s->Write("hello world", 11, nullptr), S_OK);
  EXPECT_EQ(ReadAll(s.Get()), std::string("\0\0\0\0hello world", 15));
  EXPECT_EQ(SeekTo(s.Get(), -1, STREAM_SEEK_END), 14u);
  ComPtr<IStream> clone;
  ASSERT_EQ(s->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
  char buffer[16] = {};
  ULONG read = 0;
  EXPECT_EQ(s->Read(buffer, sizeof(buffer), &read), S_OK);
  EXPECT_EQ(std::string(buffer, read), "d");
  EXPECT_EQ(s->Read(nullptr, 4, &read), STG_E_INVALIDPOINTER);
  EXPECT_EQ(s->Write(nullptr, 1, &read), STG_E_INVALIDPOINTER);
  LARGE_INTEGER move{};
  move.QuadPart = -16;
  EXPECT_EQ(s->Seek(move, STREAM_SEEK_END, nullptr), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(s->Seek(move, 7, nullptr), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(SeekTo(s.Get(), 0, STREAM_SEEK_CUR), 15u);
  EXPECT_EQ(SeekTo(clone.Get(), 0, STREAM_SEEK_CUR), 14u);
  clone->Write("W", 1, nullptr);
  s = nullptr;  // the clone keeps the bytes alive
  EXPECT_EQ(ReadAll(clone.Get()), std::string("\0\0\0\0hello worlW", 15));
  ULARGE_INTEGER size{.QuadPart = 6}, copied{}, written{};
  ASSERT_EQ(clone->SetSize(size), S_OK);
  ComPtr<IStream> copy = NewStream("xyz");
  SeekTo(clone.Get(), 3);
  size.QuadPart = 4;
  EXPECT_EQ(clone->CopyTo(copy.Get(), size, &copied, &written), S_OK);
  EXPECT_EQ(copied.QuadPart + written.QuadPart, 6u);
  EXPECT_EQ(ReadAll(copy.Get()), std::string("\0he", 3));
  SeekTo(copy.Get(), (LONGLONG{1} << 40) - 8);
  EXPECT_EQ(WriteClassStm(copy.Get(), GUID_NULL), STG_E_MEDIUMFULL);
  int memory = 0;
  EXPECT_EQ(CreateStreamOnHGlobal(&memory, FALSE, s.ReleaseAndGetAddressOf()), E_INVALIDARG);
}

constexpr wchar_t kDvEncoderName[] =
    L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder";

// The class, the byte count of the UTF-16 text with its zero (little-endian), the text.
// Characters beyond ASCII and beyond the basic plane (a surrogate pair, its low half the first of
// its range) survive the round trip, as does an item moniker; each tells the size it saves.
TEST(MonikerPersistence, SavedBytesHaveTheStoredLayoutAndLoadBack) {
  const std::wstring name = kDvEncoderName;
  Bytes expected = {0x37, 0xD4, 0x15, 0x43, 0x8C, 0x5B, 0xD0, 0x11, 0xBD, 0x3B,
                    0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86, 134,  0,    0,    0};
  for (wchar_t c : name + L'\0') expected.insert(expected.end(), {static_cast<BYTE>(c), 0});
  EXPECT_EQ(SavedBytes(DeviceMoniker(name).Get()), expected);
  const std::wstring wide = L"@device:pnp:Caméra \u4e2d \U0001F400";
  EXPECT_EQ(SavedBytes(DeviceMoniker(wide).Get()).size(), 16u + 4u + 2u * (wide.size() + 1 + 1));
  for (ComPtr<IMoniker> moniker : {DeviceMoniker(name), DeviceMoniker(wide), Item(L"Graph")}) {
    HRESULT hr = E_FAIL;
    ComPtr<IMoniker> loaded = LoadMoniker(SavedBytes(moniker.Get()), &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(DisplayNameOf(loaded.Get()), DisplayNameOf(moniker.Get()));
    EXPECT_EQ(loaded->IsEqual(moniker.Get()), S_OK);
    ULARGE_INTEGER size{};  // exactly what Save writes after the class
    EXPECT_EQ(moniker->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart + 16, SavedBytes(moniker.Get()).size());
  }
}

TEST(MonikerPersistence, DamagedStreamsFailCleanly) {
  const Bytes good = SavedBytes(DeviceMoniker(kDvEncoderName).Get());
  std::vector<Bytes> damaged;
  for (size_t length = 0; length < good.size(); ++length) {
    damaged.emplace_back(good.begin(), good.begin() + length);  // every truncation
  }
  for (uint32_t count : {0u, 1u, 133u, 135u, 136u, 0x7FFFFFFEu, 0xFFFFFFFFu}) {
    damaged.push_back(good);
    for (int i = 0; i < 4; ++i) damaged.back()[16 + i] = static_cast<BYTE>(count >> (8 * i));
  }
  damaged.push_back(good);
  damaged.back()[152] = 'x';  // no terminating zero
  for (int i = 1; i <= 64; ++i) damaged.emplace_back(i, static_cast<BYTE>(i * 37 + 11));
  for (const Bytes& bytes : damaged) {
    HRESULT hr = S_OK;
    EXPECT_FALSE(LoadMoniker(bytes, &hr)) << &bytes - damaged.data();
    EXPECT_TRUE(FAILED(hr)) << &bytes - damaged.data();
  }
  Bytes unknownClass = good;
  unknownClass[0] ^= 0xFF;
  HRESULT hr = S_OK;
  EXPECT_FALSE(LoadMoniker(unknownClass, &hr));
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
  // A moniker that fails to load keeps its name.
  ComPtr<IMoniker> kept = DeviceMoniker(L"@device:sw:kept");
  ComPtr<IStream> shortStream = NewStream(std::string("\x08\0\0\0a\0", 6));
  EXPECT_EQ(kept->Load(shortStream.Get()), STG_E_READFAULT);
  EXPECT_EQ(DisplayNameOf(kept.Get()), L"@device:sw:kept");
  CLSID clsid{};
  EXPECT_EQ(ReadClassStm(shortStream.Get(), &clsid), STG_E_READFAULT);
  EXPECT_EQ(ReadClassStm(nullptr, &clsid), E_INVALIDARG);
  EXPECT_EQ(OleSaveToStream(nullptr, shortStream.Get()), E_INVALIDARG);
  EXPECT_EQ(OleLoadFromStream(shortStream.Get(), IID_IMoniker, nullptr), E_POINTER);
}

DEFINE_GUID(CLSID_TestSoftwareFilter, 0x7E570001, 0xAAAA, 0xBBBB, 0xCC, 0xDD, 1, 2, 3, 4, 5, 6);

class CTestObject : public CUnknown, public IPersist {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    const HRESULT hr = QueryInterfaceTable<IPersist>(this, riid, ppv);
    return hr != E_NOINTERFACE ? hr : CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    *clsid = CLSID_TestSoftwareFilter;
    return S_OK;
  }
};

// Knows one display name (without properties); counts the bindings asked of it.
class TestResolver : public DeviceMonikerResolver {
 public:
  explicit TestResolver(std::wstring name) : name_(std::move(name)) {}
  HRESULT BindToObject(const std::wstring& displayName, REFIID riid, void** ppv) override {
    ++bindCalls;
    if (displayName != name_) return MK_E_NOOBJECT;
    if (failBinding) {  // and, carelessly, an object with the failure
      MakeComObject<CTestObject>()->QueryInterface(riid, ppv);
      return E_OUTOFMEMORY;
    }
    return MakeComObject<CTestObject>()->QueryInterface(riid, ppv);
  }
  HRESULT ReadProperties(const std::wstring& displayName, PropertyList*) override {
    return displayName != name_ ? MK_E_NOOBJECT : S_OK;
  }
  int bindCalls = 0;
  bool failBinding = false;

 private:
  std::wstring name_;
};

std::wstring ReadString(IUnknown* storage, const wchar_t* name, HRESULT* hr) {
  VARIANT v{};
  *hr = QueryAs<IPropertyBag>(storage)->Read(name, &v, nullptr);
  std::wstring text;
  if (SUCCEEDED(*hr) && v.vt == VT_BSTR) text.assign(v.bstrVal, SysStringLen(v.bstrVal));
  VariantClear(&v);
  return text;
}

// The property bag a moniker's BindToStorage gives, or its failure.
HRESULT Storage(IMoniker* moniker, ComPtr<IUnknown>* bag) {
  return moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                bag->ReleaseAndGetVoidAddressOf());
}

// Resolvers are asked in order for the object (for the properties: the device lists of the
// components' tests); a resolver's failure is final, and an object it hands out with it is
// released. Without one, a software filter's name binds its class; other names bind nothing.
// Names ignore case (and so do their hashes); an item moniker of the same text differs.
TEST(DeviceMonikerBinding, ResolversFirstThenTheSoftwareFilterClass) {
  auto first = std::make_shared<TestResolver>(L"@device:pnp:camera");
  auto second = std::make_shared<TestResolver>(kDvEncoderName);
  AddDeviceMonikerResolver(first);
  AddDeviceMonikerResolver(second);
  ComPtr<IMoniker> same = DeviceMoniker(kDvEncoderName);
  ComPtr<IMoniker> lower =
      DeviceMoniker(L"@device:sw:{33d9a760-90c8-11d0-bd43-00a0c911ce86}\\dv video encoder");
  EXPECT_EQ(same->IsEqual(lower.Get()), S_OK);
  EXPECT_EQ(same->IsEqual(Item(kDvEncoderName).Get()), S_FALSE);
  DWORD hashes[3] = {};
  ComPtr<IMoniker> item = Item(kDvEncoderName);
  for (int i = 0; IMoniker * m : {same.Get(), lower.Get(), item.Get()})
    EXPECT_EQ(m->Hash(&hashes[i++]), S_OK);
  EXPECT_TRUE(hashes[0] == hashes[1] && hashes[0] != hashes[2]);
  DWORD system = 1;
  EXPECT_TRUE(same->IsSystemMoniker(&system) == S_FALSE && system == 0) << "not a system kind";
  ComPtr<IPersist> object;
  ASSERT_EQ(same->BindToObject(nullptr, nullptr, IID_IPersist, object.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_EQ(first->bindCalls + second->bindCalls, 2);
  second->failBinding = true;
  void* out = &out;
  EXPECT_EQ(same->BindToObject(nullptr, nullptr, IID_IPersist, &out), E_OUTOFMEMORY);
  EXPECT_EQ(out, nullptr);
  RemoveDeviceMonikerResolver(first);
  RemoveDeviceMonikerResolver(second);

  RegisterComClass(CLSID_TestSoftwareFilter, "test filter", ComClassFactoryFor<CTestObject>());
  ComPtr<IMoniker> software = DeviceMoniker(
      L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{7e570001-AAAA-BBBB-CCDD-010203040506}");
  ASSERT_EQ(
      software->BindToObject(nullptr, nullptr, IID_IPersist, object.ReleaseAndGetVoidAddressOf()),
      S_OK);
  ComPtr<IUnknown> bag;
  ASSERT_EQ(Storage(software.Get(), &bag), S_OK);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(ReadString(bag.Get(), L"CLSID", &hr), L"{7E570001-AAAA-BBBB-CCDD-010203040506}");
  ReadString(bag.Get(), L"FriendlyName", &hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  EXPECT_EQ(software->BindToObject(nullptr, nullptr, IID_IBaseFilter, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  UnregisterComClass(CLSID_TestSoftwareFilter);
  EXPECT_EQ(software->BindToObject(nullptr, nullptr, IID_IPersist, &out), REGDB_E_CLASSNOTREG);
  for (const size_t at : {9, 47, 49, 86}) {  // the prefix, the category, the separator, the class
    std::wstring name = DisplayNameOf(software.Get());
    name[at] = L'X';
    const HRESULT hr = DeviceMoniker(name)->BindToObject(nullptr, nullptr, IID_IUnknown, &out);
    EXPECT_EQ(hr, MK_E_NOOBJECT) << at;
  }
  // A friendly name, not a class, with no resolver installed.
  out = &out;
  EXPECT_EQ(same->BindToObject(nullptr, nullptr, IID_IUnknown, &out), MK_E_NOOBJECT);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Storage(same.Get(), &bag), MK_E_NOOBJECT);
}

TEST(MemoryPropertyBag, ReadsStringsAndNumbersAndWritesBack) {
  ComPtr<IPropertyBag> bag;
  ASSERT_EQ(CreateMemoryPropertyBag({{L"FriendlyName", L"Webcam"}, {L"Index", L"42"}},
                                    bag.ReleaseAndGetAddressOf()),
            S_OK);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(ReadString(bag.Get(), L"friendlyname", &hr), L"Webcam");  // names ignore case
  VARIANT v{};
  v.vt = VT_I4;
  EXPECT_EQ(bag->Read(L"Index", nullptr, nullptr), E_POINTER);
  ASSERT_EQ(bag->Read(L"Index", &v, nullptr), S_OK);
  EXPECT_EQ(v.lVal, 42);
  EXPECT_EQ(bag->Read(L"FriendlyName", &v, nullptr), DISP_E_TYPEMISMATCH);
  VariantInit(&v);
  EXPECT_EQ(bag->Read(L"Missing", &v, nullptr), E_INVALIDARG);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(L"");
  ASSERT_EQ(bag->Write(L"FRIENDLYNAME", &v), S_OK);
  VariantClear(&v);
  EXPECT_EQ(ReadString(bag.Get(), L"FriendlyName", &hr), L"");
  v.vt = VT_UI4;
  v.ulVal = 0;  // the lowest unsigned value
  ASSERT_EQ(bag->Write(L"New", &v), S_OK);
  EXPECT_EQ(ReadString(bag.Get(), L"New", &hr), L"0");
  ASSERT_EQ(bag->Read(L"New", &v, nullptr), S_OK);
  EXPECT_EQ(std::pair(v.vt, v.ulVal), (std::pair<VARTYPE, ULONG>(VT_UI4, 0)));
  v.vt = VT_UNKNOWN;
  v.punkVal = nullptr;
  EXPECT_EQ(bag->Write(L"Object", &v), DISP_E_TYPEMISMATCH);
}

TEST(MonikerEnumerator, NextSkipResetAndClone) {
  ComPtr<IEnumMoniker> e;
  ASSERT_EQ(CreateMonikerEnumerator({DeviceMoniker(L"a"), DeviceMoniker(L"b"), DeviceMoniker(L"c")},
                                    e.ReleaseAndGetAddressOf()),
            S_OK);
  IMoniker* got[3] = {};
  ULONG fetched = 0;
  ASSERT_EQ(e->Next(1, got, nullptr), S_OK);  // one at a time needs no count
  ASSERT_EQ(e->Next(3, got + 1, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(DisplayNameOf(got[0]) + DisplayNameOf(got[1]) + DisplayNameOf(got[2]), L"abc");
  for (IMoniker* m : got) m->Release();
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(2), S_OK);
  ComPtr<IEnumMoniker> clone;  // goes on from where the original stands, on its own
  ASSERT_EQ(e->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
  for (IEnumMoniker* each : {e.Get(), QueryAs<IEnumMoniker>(clone.Get()).Get()}) {
    ASSERT_EQ(each->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(DisplayNameOf(got[0]), L"c");
    got[0]->Release();
  }
  EXPECT_EQ(std::pair(e->Skip(1), e->Next(2, got, nullptr)), std::pair(S_FALSE, E_INVALIDARG));
}

// One table per process; it holds a reference until Revoke; any equal moniker finds the
// object, through the table and through the item moniker's binding, and its time of last
// change; threads may use it at once.
TEST(RunningObjectTableTest, RegisterFindAndRevokeFromSeveralThreads) {
  ComPtr<IRunningObjectTable> table, again;
  ASSERT_EQ(GetRunningObjectTable(0, table.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(GetRunningObjectTable(0, again.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(again.Get(), table.Get());
  ComPtr<CTestObject> object = MakeComObject<CTestObject>();
  IUnknown* unknown = static_cast<IPersist*>(object.Get());
  ComPtr<IMoniker> name = Item(L"FilterGraph 0x1234 pid 0x42");
  EXPECT_EQ(DisplayNameOf(name.Get()), L"!FilterGraph 0x1234 pid 0x42");
  DWORD cookies[3] = {};
  ASSERT_EQ(table->Register(0, unknown, name.Get(), &cookies[0]), S_OK);
  ASSERT_EQ(table->Register(0, unknown, Item(L"Other").Get(), &cookies[1]), S_OK);
  EXPECT_EQ(table->Register(0, unknown, Item(L"filtergraph 0x1234 PID 0x42").Get(), &cookies[2]),
            MK_S_MONIKERALREADYREGISTERED);
  EXPECT_NE(cookies[0], 0u);
  EXPECT_NE(cookies[2], cookies[0]);
  EXPECT_EQ(object->RefCountForTesting(), 4u);
  ComPtr<IMoniker> sameName = Item(L"FILTERGRAPH 0x1234 pid 0x42");
  EXPECT_EQ(sameName->IsRunning(nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Item(L"FilterGraph 0x1235 pid 0x42")->IsRunning(nullptr, nullptr, nullptr), S_FALSE);
  ComPtr<IUnknown> found;
  ASSERT_EQ(table->GetObject(sameName.Get(), found.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_TRUE(IsSameObject(found.Get(), unknown));
  ComPtr<IPersist> bound;
  ASSERT_EQ(
      sameName->BindToObject(nullptr, nullptr, IID_IPersist, bound.ReleaseAndGetVoidAddressOf()),
      S_OK);
  EXPECT_TRUE(IsSameObject(bound.Get(), unknown));
  // A registration is dated now (in 100 ns since 1601), a change noted by its cookie is read back
  // by name; the table lists each registration.
  FILETIME changed{7, 8}, read{};
  ASSERT_EQ(table->GetTimeOfLastChange(name.Get(), &read), S_OK);
  EXPECT_NEAR((ULONGLONG{read.dwHighDateTime} << 32 | read.dwLowDateTime) / 1e7 - 11'644'473'600,
              std::time(nullptr), 60);
  EXPECT_EQ(table->NoteChangeTime(cookies[1], &changed), S_OK);
  EXPECT_EQ(table->GetTimeOfLastChange(Item(L"other").Get(), &read), S_OK);
  EXPECT_TRUE(read.dwLowDateTime == 7 && read.dwHighDateTime == 8);
  ComPtr<IEnumMoniker> running;
  ASSERT_EQ(table->EnumRunning(running.GetAddressOf()), S_OK);
  EXPECT_TRUE(running->Skip(3) == S_OK && running->Skip(1) == S_FALSE);
  found = nullptr;
  bound = nullptr;
  for (DWORD cookie : cookies) ASSERT_EQ(table->Revoke(cookie), S_OK);
  EXPECT_EQ(object->RefCountForTesting(), 1u);
  EXPECT_EQ(table->Revoke(cookies[0]), E_INVALIDARG);
  IUnknown* gone = unknown;
  EXPECT_EQ(table->GetObject(name.Get(), &gone), MK_E_UNAVAILABLE);
  EXPECT_EQ(gone, nullptr);
  void* out = &out;
  EXPECT_EQ(name->BindToObject(nullptr, nullptr, IID_IUnknown, &out), MK_E_NOOBJECT);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(table->Register(0, nullptr, name.Get(), &cookies[0]), E_INVALIDARG);
  EXPECT_EQ(cookies[0], 0u);
  EXPECT_EQ(table->Register(0, unknown, nullptr, &cookies[0]), E_INVALIDARG);
  // Registrations, look-ups and revocations from several threads at once.
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      ComPtr<IMoniker> own = Item(L"Concurrent" + std::to_wstring(t));
      for (int i = 0; i < 200; ++i) {
        DWORD cookie = 0;
        ASSERT_EQ(table->Register(0, unknown, own.Get(), &cookie), S_OK);
        ComPtr<IUnknown> any;
        ASSERT_EQ(table->GetObject(own.Get(), any.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_EQ(table->Revoke(cookie), S_OK);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(object->RefCountForTesting(), 1u);
}

}  // namespace
