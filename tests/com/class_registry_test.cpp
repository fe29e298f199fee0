// The class registry, CoCreateInstance and the per-thread initialisation count.
#include <comimpl.h>
#include <gtest/gtest.h>

#include <thread>

#include "com_test_support.h"

namespace {

DEFINE_GUID(CLSID_TestWidget, 0x5E5E0001, 0x1111, 0x2222, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(CLSID_TestNeverRegistered, 0x5E5E0002, 0x1111, 0x2222, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(CLSID_TestStatic, 0x5E5E0003, 0x1111, 0x2222, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(CLSID_TestNested, 0x5E5E0004, 0x1111, 0x2222, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(CLSID_TestLiar, 0x5E5E0005, 0x1111, 0x2222, 1, 2, 3, 4, 5, 6, 7, 8);

struct CWidget : vidorra::test::CPersistObject {
  CWidget() : CPersistObject(CLSID_TestWidget) {}
};

// Registered by a static initialiser, as the filter and device libraries do.
ComClassRegistration gStaticRegistration(CLSID_TestStatic, "Static widget",
                                         ComClassFactoryFor<CWidget>());

// Unregisters on scope exit so a failing test does not leak registrations into others.
struct ScopedClass {
  ScopedClass(REFCLSID clsid, ClassFactoryFunction factory) : clsid_(clsid) {
    RegisterComClass(clsid, "test class", std::move(factory));
  }
  ~ScopedClass() { UnregisterComClass(clsid_); }
  CLSID clsid_;
};

TEST(CoCreateInstanceTest, CreatesRegisteredClassesAndQueriesTheAskedInterface) {
  ScopedClass widget(CLSID_TestWidget, ComClassFactoryFor<CWidget>());
  ComPtr<IPersist> persist;
  ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist,
                             persist.ReleaseAndGetVoidAddressOf()),
            S_OK);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestWidget);
  // Each call makes a new object.
  ComPtr<IPersist> second;
  ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IPersist,
                             second.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_FALSE(IsSameObject(persist.Get(), second.Get()));
  ComPtr<IUnknown> viaHandler;
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                       IID_IUnknown, viaHandler.ReleaseAndGetVoidAddressOf()),
      S_OK);
}

TEST(CoCreateInstanceTest, ReportsTheCallersMistakes) {
  ScopedClass widget(CLSID_TestWidget, ComClassFactoryFor<CWidget>());
  void* out = &out;
  EXPECT_EQ(CoCreateInstance(CLSID_TestNeverRegistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             &out),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
      E_POINTER);
  ComPtr<CWidget> outer = MakeComObject<CWidget>();
  out = &out;
  EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, static_cast<IPersist*>(outer.Get()),
                             CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  out = &out;
  EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IStream, &out),
            E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

TEST(CoCreateInstanceTest, FailingFactoryNeverHandsOutAnObject) {
  ScopedClass liar(CLSID_TestLiar, [](REFIID, void** ppv) -> HRESULT {
    ComPtr<CWidget> w = MakeComObject<CWidget>();
    w->QueryInterface(IID_IUnknown, ppv);
    return E_FAIL;
  });
  void* out = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TestLiar, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            E_FAIL);
  EXPECT_EQ(out, nullptr);  // and ASan sees no leak
}

TEST(ClassRegistryTest, RegisterReplaceAndUnregister) {
  EXPECT_TRUE(IsComClassRegistered(CLSID_TestStatic));
  EXPECT_FALSE(IsComClassRegistered(CLSID_TestWidget));
  int calls = 0;
  RegisterComClass(CLSID_TestWidget, "first", [&](REFIID, void**) -> HRESULT {
    ++calls;
    return E_OUTOFMEMORY;
  });
  EXPECT_TRUE(IsComClassRegistered(CLSID_TestWidget));
  RegisterComClass(CLSID_TestWidget, "second", ComClassFactoryFor<CWidget>());
  ComPtr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             object.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_EQ(calls, 0);
  UnregisterComClass(CLSID_TestWidget);
  EXPECT_FALSE(IsComClassRegistered(CLSID_TestWidget));
  UnregisterComClass(CLSID_TestWidget);  // unknown class: nothing happens
}

TEST(ClassRegistryTest, FactoriesRunOutsideTheRegistryLock) {
  // A factory that creates another object and registers a class would deadlock if it ran
  // under the registry's lock.
  ScopedClass nested(CLSID_TestNested, [](REFIID riid, void** ppv) -> HRESULT {
    RegisterComClass(CLSID_TestWidget, "registered from a factory", ComClassFactoryFor<CWidget>());
    return CoCreateInstance(CLSID_TestStatic, nullptr, CLSCTX_INPROC_SERVER, riid, ppv);
  });
  ComPtr<IPersist> persist;
  ASSERT_EQ(CoCreateInstance(CLSID_TestNested, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist,
                             persist.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_TRUE(IsComClassRegistered(CLSID_TestWidget));
  UnregisterComClass(CLSID_TestWidget);
}

TEST(ClassRegistryTest, ConcurrentCreationAndRegistration) {
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

TEST(CoInitializeTest, CountsPerThread) {
  std::thread worker([] {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();
    // Balanced: the next call initialises afresh, with any model.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
    CoUninitialize();  // one too many is harmless
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE), S_OK);
    CoUninitialize();
  });
  worker.join();
  std::thread other([] {
    // Another thread's count is its own.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
  });
  other.join();
}

}  // namespace
