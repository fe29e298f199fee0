// COM objects: the interface table and reference counts, the class registry behind
// CoCreateInstance, GUID text and UTF-8 text.
#include <comimpl.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <uuids.h>

#include <atomic>
#include <thread>

namespace {

DEFINE_GUID(IID_ITestBeta, 0x1A2B3C4D, 0x0002, 0x0001, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(IID_ITestBetaPlus, 0x1A2B3C4D, 0x0003, 0x0001, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(CLSID_TestWidget, 0x5E5E0001, 0x1111, 0x2222, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(CLSID_TestStatic, 0x5E5E0003, 0x1111, 0x2222, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(CLSID_TestOther, 0x5E5E0004, 0x1111, 0x2222, 1, 2, 3, 4, 5, 6, 7, 8);

struct ITestBeta : IUnknown {
  VIDORRA_INTERFACE(IID_ITestBeta, IUnknown)
  STDMETHOD_(int, Beta)() PURE;
};
struct ITestBetaPlus : ITestBeta {
  VIDORRA_INTERFACE(IID_ITestBetaPlus, ITestBeta)
};

std::atomic<int> gLiveWidgets{0};

// Answers through the interface table, the base of a derived interface included.
class CWidget : public CUnknown, public ITestBetaPlus, public IPersist {
 public:
  CWidget() { ++gLiveWidgets; }
  ~CWidget() override { --gLiveWidgets; }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    const HRESULT hr = QueryInterfaceTable<ITestBetaPlus, IPersist>(this, riid, ppv);
    return hr != E_NOINTERFACE ? hr : CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(int) Beta() override { return 2; }
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    *clsid = CLSID_TestWidget;
    return S_OK;
  }
};

// Every answered interface reaches every other and leads back to one identity; a refusal
// leaves no pointer behind. The count is atomic and the object goes at the last Release; a
// variant holding it releases it when cleared.
TEST(ComObject, InterfaceTableAndReferenceCount) {
  ComPtr<CWidget> object = MakeComObject<CWidget>();
  const IID answered[] = {IID_IUnknown, IID_ITestBeta, IID_ITestBetaPlus, IID_IPersist};
  ComPtr<IUnknown> identity = QueryAs<IUnknown>(static_cast<IPersist*>(object.Get()));
  for (const IID& from : answered) {
    ComPtr<IUnknown> a;
    ASSERT_EQ(identity->QueryInterface(from, a.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(QueryAs<IUnknown>(a.Get()).Get(), identity.Get());
    for (const IID& to : answered) {
      ComPtr<IUnknown> b;
      EXPECT_EQ(a->QueryInterface(to, b.ReleaseAndGetVoidAddressOf()), S_OK);
    }
    void* none = &none;
    EXPECT_EQ(a->QueryInterface(IID_IStream, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(a->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  }
  EXPECT_EQ(QueryAs<ITestBeta>(identity.Get())->Beta(), 2);
  identity = nullptr;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) ASSERT_TRUE(QueryAs<ITestBeta>(object.Get()));
    });
  }
  for (auto& thread : threads) thread.join();
  VARIANT held{};  // a reference that a variant holds goes when it is cleared
  held.vt = VT_UNKNOWN;
  (held.punkVal = static_cast<IPersist*>(object.Get()))->AddRef();
  EXPECT_EQ(VariantClear(&held), S_OK);
  held.vt = 0xFFF;
  EXPECT_EQ(VariantClear(&held), DISP_E_BADVARTYPE) << "a type it does not know";
  EXPECT_EQ(object->RefCountForTesting(), 1u);
  object = nullptr;
  EXPECT_EQ(gLiveWidgets.load(), 0);
}

// Registered by a static initialiser, as the filter and device libraries do.
ComClassRegistration gStaticRegistration(CLSID_TestStatic, "Static widget",
                                         ComClassFactoryFor<CWidget>());

struct ScopedClass {
  ScopedClass(REFCLSID clsid, ClassFactoryFunction factory) : clsid_(clsid) {
    RegisterComClass(clsid, "test class", std::move(factory));
  }
  ~ScopedClass() { UnregisterComClass(clsid_); }
  CLSID clsid_;
};

TEST(CoCreateInstanceTest, CreatesRegisteredClassesAndRefusesTheCallersMistakes) {
  EXPECT_TRUE(IsComClassRegistered(CLSID_TestStatic));
  ScopedClass widget(CLSID_TestWidget, [](REFIID, void**) { return E_OUTOFMEMORY; });
  RegisterComClass(CLSID_TestWidget, "replaces the first", ComClassFactoryFor<CWidget>());
  ComPtr<IPersist> first, second;
  ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist,
                             first.ReleaseAndGetVoidAddressOf()),
            S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IPersist,
                             second.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_FALSE(IsSameObject(first.Get(), second.Get())) << "a new object each call";
  // A factory that fails while handing out an object: nothing reaches the caller (nor leaks).
  ScopedClass liar(CLSID_TestOther, [](REFIID riid, void** ppv) {
    MakeComObject<CWidget>()->QueryInterface(riid, ppv);
    return E_FAIL;
  });
  const struct {
    const CLSID& clsid;
    IUnknown* outer;
    const IID& iid;
    HRESULT expected;
  } refusals[] = {
      {GUID_NULL, nullptr, IID_IUnknown, REGDB_E_CLASSNOTREG},
      {CLSID_TestWidget, first.Get(), IID_IUnknown, CLASS_E_NOAGGREGATION},
      {CLSID_TestWidget, nullptr, IID_IStream, E_NOINTERFACE},
      {CLSID_TestOther, nullptr, IID_IUnknown, E_FAIL},
  };
  for (const auto& r : refusals) {
    void* out = &out;
    EXPECT_EQ(CoCreateInstance(r.clsid, r.outer, CLSCTX_INPROC_SERVER, r.iid, &out), r.expected);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr),
            E_POINTER);
  UnregisterComClass(CLSID_TestOther);
  EXPECT_FALSE(IsComClassRegistered(CLSID_TestOther));
}

// A factory may create objects and register classes itself (it runs outside the registry's
// lock), and registration races creation safely.
TEST(CoCreateInstanceTest, FactoriesRunOutsideTheLockAndRegistrationRacesCreation) {
  ScopedClass nested(CLSID_TestOther, [](REFIID riid, void** ppv) {
    RegisterComClass(CLSID_TestWidget, "from a factory", ComClassFactoryFor<CWidget>());
    return CoCreateInstance(CLSID_TestStatic, nullptr, CLSCTX_INPROC_SERVER, riid, ppv);
  });
  ComPtr<IPersist> persist;
  ASSERT_EQ(CoCreateInstance(CLSID_TestOther, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist,
                             persist.ReleaseAndGetVoidAddressOf()),
            S_OK);
  std::thread registrar([] {
    for (int i = 0; i < 200; ++i) {
      RegisterComClass(CLSID_TestWidget, "racing", ComClassFactoryFor<CWidget>());
      UnregisterComClass(CLSID_TestWidget);
    }
  });
  for (int i = 0; i < 200; ++i) {
    ComPtr<IUnknown> object;
    const HRESULT hr = CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IUnknown, object.ReleaseAndGetVoidAddressOf());
    EXPECT_TRUE(hr == S_OK || hr == REGDB_E_CLASSNOTREG) << std::hex << hr;
    EXPECT_EQ(hr == S_OK, object != nullptr);
  }
  registrar.join();
}

TEST(GuidText, WritesUpperCaseWithBracesAndParsesEitherCase) {
  wchar_t text[39];
  EXPECT_EQ(StringFromGUID2(CLSID_CDeviceMoniker, text, 39), 39);
  EXPECT_STREQ(text, L"{4315D437-5B8C-11D0-BD3B-00A0C911CE86}");
  wchar_t tooShort[38] = L"unchanged";
  EXPECT_EQ(StringFromGUID2(CLSID_CDeviceMoniker, tooShort, 38), 0);
  EXPECT_STREQ(tooShort, L"unchanged");
  LPOLESTR allocated = nullptr;
  ASSERT_EQ(StringFromIID(IID_IUnknown, &allocated), S_OK);
  EXPECT_STREQ(allocated, L"{00000000-0000-0000-C000-000000000046}");
  CoTaskMemFree(allocated);
  IID lower{};
  ASSERT_EQ(IIDFromString(L"{4315d437-5b8c-11d0-bd3b-00a0c911ce86}", &lower), S_OK);
  EXPECT_EQ(lower, CLSID_CDeviceMoniker);
  const GUID ones = {0xFFFFFFFF, 0xFFFF, 0xFFFF, {255, 255, 255, 255, 255, 255, 255, 255}};
  for (const GUID& g : {GUID_NULL, CLSID_SystemDeviceEnum, ones}) {
    ASSERT_EQ(StringFromGUID2(g, text, 39), 39);
    GUID back{};
    ASSERT_EQ(CLSIDFromString(text, &back), S_OK) << text;
    EXPECT_EQ(back, g);
  }
  // A text of another length meets the brace where the closing one should be.
  const wchar_t* bad[] = {
      nullptr,
      L"{4315D437-5B8C-11D0-BD3B-00A0C911CE8G}",  // not hex
      L"{4315D437x5B8C-11D0-BD3B-00A0C911CE86}",  // dash misplaced
  };
  for (const wchar_t* malformed : bad) {
    CLSID clsid = CLSID_CDeviceMoniker;
    EXPECT_EQ(CLSIDFromString(malformed, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
    EXPECT_EQ(IIDFromString(malformed, &clsid), CO_E_CLASSSTRING);
  }
}

TEST(TextConversion, Utf8RoundTripsAndMalformedInputIsReplaced) {
  const std::wstring wide = L"Caméra \u4e2d\U0001F3A5";
  EXPECT_EQ(WideToUtf8(wide), "Cam\xc3\xa9ra \xe4\xb8\xad\xf0\x9f\x8e\xa5");
  EXPECT_EQ(Utf8ToWide(WideToUtf8(wide)), wide);
  EXPECT_EQ(Utf8ToWide(std::string("a\xff\x80") + "b"), L"a\uFFFD\uFFFDb");
  EXPECT_EQ(Utf8ToWide("\xe4\xb8"), L"\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(Utf8ToWide("\xc0\xaf"), L"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
}

}  // namespace
