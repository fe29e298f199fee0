// CUnknown, QueryInterface rules, the interface table and ComPtr.
#include <comimpl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

DEFINE_GUID(IID_ITestAlpha, 0x1A2B3C4D, 0x0001, 0x0001, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(IID_ITestBeta, 0x1A2B3C4D, 0x0002, 0x0001, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(IID_ITestBetaPlus, 0x1A2B3C4D, 0x0003, 0x0001, 1, 2, 3, 4, 5, 6, 7, 8);
DEFINE_GUID(IID_ITestUnused, 0x1A2B3C4D, 0x0004, 0x0001, 1, 2, 3, 4, 5, 6, 7, 8);

struct ITestAlpha : IUnknown {
  VIDORRA_INTERFACE(IID_ITestAlpha, IUnknown)
  STDMETHOD_(int, Alpha)() PURE;
};
struct ITestBeta : IUnknown {
  VIDORRA_INTERFACE(IID_ITestBeta, IUnknown)
  STDMETHOD_(int, Beta)() PURE;
};
struct ITestBetaPlus : ITestBeta {
  VIDORRA_INTERFACE(IID_ITestBetaPlus, ITestBeta)
  STDMETHOD_(int, BetaPlus)() PURE;
};

// Counts live instances so tests can see deletion at the last Release.
std::atomic<int> gLiveObjects{0};

// Answers by hand-written NonDelegatingQueryInterface.
class CHandWritten : public CUnknown, public ITestAlpha, public ITestBeta {
 public:
  CHandWritten() { ++gLiveObjects; }
  ~CHandWritten() override { --gLiveObjects; }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_ITestAlpha) return GetInterface(static_cast<ITestAlpha*>(this), ppv);
    if (riid == IID_ITestBeta) return GetInterface(static_cast<ITestBeta*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(int) Alpha() override { return 1; }
  STDMETHODIMP_(int) Beta() override { return 2; }
};

// Answers through the interface table, including the base of a derived interface.
class CTabled : public CUnknown, public ITestAlpha, public ITestBetaPlus {
 public:
  CTabled() { ++gLiveObjects; }
  ~CTabled() override { --gLiveObjects; }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    const HRESULT hr = QueryInterfaceTable<ITestAlpha, ITestBetaPlus>(this, riid, ppv);
    if (hr != E_NOINTERFACE) return hr;
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(int) Alpha() override { return 10; }
  STDMETHODIMP_(int) Beta() override { return 20; }
  STDMETHODIMP_(int) BetaPlus() override { return 30; }
};

template <class T>
void CheckQueryInterfaceRules(const std::vector<IID>& answered) {
  ComPtr<T> object = MakeComObject<T>();
  std::vector<IID> all = answered;
  all.push_back(IID_IUnknown);
  ComPtr<IUnknown> identity;
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, identity.ReleaseAndGetVoidAddressOf()), S_OK);
  for (const IID& from : all) {
    ComPtr<IUnknown> a;
    ASSERT_EQ(identity->QueryInterface(from, a.ReleaseAndGetVoidAddressOf()), S_OK);
    // Reflexive: asking an interface for itself succeeds.
    ComPtr<IUnknown> self;
    EXPECT_EQ(a->QueryInterface(from, self.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(self.Get(), a.Get());
    // Identity: every interface leads back to the same IUnknown.
    ComPtr<IUnknown> back;
    ASSERT_EQ(a->QueryInterface(IID_IUnknown, back.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(back.Get(), identity.Get());
    for (const IID& to : all) {
      // Symmetric and transitive: every answered interface reaches every other one.
      ComPtr<IUnknown> b;
      EXPECT_EQ(a->QueryInterface(to, b.ReleaseAndGetVoidAddressOf()), S_OK);
      EXPECT_TRUE(IsSameObject(a.Get(), b.Get()));
    }
    void* none = &none;
    EXPECT_EQ(a->QueryInterface(IID_ITestUnused, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(a->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  }
}

TEST(QueryInterface, HandWrittenObjectFollowsTheRules) {
  CheckQueryInterfaceRules<CHandWritten>({IID_ITestAlpha, IID_ITestBeta});
  EXPECT_EQ(gLiveObjects.load(), 0);
}

TEST(QueryInterface, TableAnswersInterfacesAndTheirBases) {
  CheckQueryInterfaceRules<CTabled>({IID_ITestAlpha, IID_ITestBeta, IID_ITestBetaPlus});
  ComPtr<CTabled> object = MakeComObject<CTabled>();
  ComPtr<ITestBeta> beta;
  ASSERT_EQ(object->QueryInterface(IID_ITestBeta, beta.ReleaseAndGetVoidAddressOf()), S_OK);
  EXPECT_EQ(beta->Beta(), 20);
  EXPECT_EQ(QueryAs<ITestBetaPlus>(beta.Get())->BetaPlus(), 30);
  EXPECT_EQ(QueryInterfaceTable<ITestAlpha>(object.Get(), IID_ITestAlpha, nullptr), E_POINTER);
  object = nullptr;
  beta = nullptr;
  EXPECT_EQ(gLiveObjects.load(), 0);
}

TEST(ReferenceCount, CountsEveryReferenceAndDeletesAtZero) {
  CHandWritten* raw = nullptr;
  {
    ComPtr<CHandWritten> object = MakeComObject<CHandWritten>();
    raw = object.Get();
    EXPECT_EQ(raw->RefCountForTesting(), 1u);
    ComPtr<ITestAlpha> alpha;
    ASSERT_EQ(object->QueryInterface(IID_ITestAlpha, alpha.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(raw->RefCountForTesting(), 2u);
    EXPECT_EQ(alpha->AddRef(), 3u);
    EXPECT_EQ(alpha->Release(), 2u);
    EXPECT_EQ(gLiveObjects.load(), 1);
  }
  EXPECT_EQ(gLiveObjects.load(), 0);
}

TEST(ReferenceCount, ConcurrentAddRefReleaseKeepsTheObjectAlive) {
  ComPtr<CHandWritten> object = MakeComObject<CHandWritten>();
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        ComPtr<ITestBeta> beta = QueryAs<ITestBeta>(object.Get());
        ASSERT_TRUE(beta);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(object->RefCountForTesting(), 1u);
  object = nullptr;
  EXPECT_EQ(gLiveObjects.load(), 0);
}

TEST(ComPtrTest, CopyMoveAssignAndDetach) {
  ComPtr<CHandWritten> a = MakeComObject<CHandWritten>();
  CHandWritten* raw = a.Get();
  ComPtr<CHandWritten> b = a;
  EXPECT_EQ(raw->RefCountForTesting(), 2u);
  ComPtr<CHandWritten> c = std::move(b);
  EXPECT_FALSE(b);
  EXPECT_EQ(raw->RefCountForTesting(), 2u);
  c = c;  // self-assignment keeps the reference
  EXPECT_EQ(raw->RefCountForTesting(), 2u);
  c = nullptr;
  EXPECT_EQ(raw->RefCountForTesting(), 1u);
  ComPtr<IUnknown> base = ComPtr<IUnknown>(static_cast<ITestAlpha*>(raw));
  EXPECT_EQ(raw->RefCountForTesting(), 2u);

  CHandWritten* detached = a.Detach();
  EXPECT_FALSE(a);
  EXPECT_EQ(raw->RefCountForTesting(), 2u);
  ComPtr<CHandWritten> adopted;
  adopted.Attach(detached);
  EXPECT_EQ(raw->RefCountForTesting(), 2u);

  ITestAlpha* out = nullptr;
  ComPtr<ITestAlpha> alpha = adopted.As<ITestAlpha>();
  ASSERT_TRUE(alpha);
  EXPECT_EQ(alpha.CopyTo(&out), S_OK);
  EXPECT_EQ(raw->RefCountForTesting(), 4u);
  out->Release();
  EXPECT_EQ(alpha.CopyTo(nullptr), E_POINTER);

  ComPtr<ITestBeta> beta;
  ASSERT_EQ(adopted->QueryInterface(IID_PPV_ARGS(beta.ReleaseAndGetAddressOf())), S_OK);
  EXPECT_EQ(beta->Beta(), 2);
  ComPtr<ITestAlpha> none;
  EXPECT_EQ(none.As(&beta), E_POINTER);
  EXPECT_EQ(QueryAs<ITestBeta>(static_cast<ITestAlpha*>(nullptr)), nullptr);
  EXPECT_TRUE(IsSameObject(nullptr, nullptr));
  EXPECT_FALSE(IsSameObject(alpha.Get(), nullptr));
}

}  // namespace
