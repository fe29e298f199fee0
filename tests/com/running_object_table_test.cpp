// Item monikers and the running object table.
#include <comimpl.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <thread>
#include <vector>

#include "com_test_support.h"

namespace {

using namespace vidorra::test;

using CRunning = CPersistObject;

ComPtr<IMoniker> Item(const wchar_t* delimiter, const wchar_t* item) {
  ComPtr<IMoniker> moniker;
  EXPECT_EQ(CreateItemMoniker(delimiter, item, moniker.ReleaseAndGetAddressOf()), S_OK);
  return moniker;
}

ComPtr<IRunningObjectTable> Table() {
  ComPtr<IRunningObjectTable> table;
  EXPECT_EQ(GetRunningObjectTable(0, table.ReleaseAndGetAddressOf()), S_OK);
  return table;
}

TEST(ItemMonikerTest, DisplayNameEqualityAndPersistence) {
  ComPtr<IMoniker> m = Item(L"!", L"FilterGraph 0x1234 pid 0x42");
  EXPECT_EQ(DisplayNameOf(m.Get()), L"!FilterGraph 0x1234 pid 0x42");
  EXPECT_EQ(m->IsEqual(Item(L"!", L"FILTERGRAPH 0x1234 PID 0x42").Get()), S_OK);
  EXPECT_EQ(m->IsEqual(Item(L"!", L"FilterGraph 0x1235 pid 0x42").Get()), S_FALSE);
  DWORD h1 = 0;
  DWORD h2 = 0;
  m->Hash(&h1);
  Item(L"!", L"filtergraph 0x1234 pid 0x42")->Hash(&h2);
  EXPECT_EQ(h1, h2);

  HRESULT hr = E_FAIL;
  ComPtr<IMoniker> loaded = LoadMoniker(SavedBytes(m.Get()), &hr);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(loaded->IsEqual(m.Get()), S_OK);
  EXPECT_EQ(m->BindToStorage(nullptr, nullptr, IID_IStream, nullptr), E_NOTIMPL);

  IMoniker* none = nullptr;
  EXPECT_EQ(CreateItemMoniker(L"!", nullptr, &none), E_INVALIDARG);
  EXPECT_EQ(CreateItemMoniker(L"!", L"x", nullptr), E_INVALIDARG);
}

TEST(RunningObjectTableTest, RegisterHoldsAReferenceUntilRevoke) {
  ComPtr<IRunningObjectTable> table = Table();
  EXPECT_EQ(Table().Get(), table.Get());  // one table per process
  ComPtr<CRunning> object = MakeComObject<CRunning>();
  ComPtr<IMoniker> name = Item(L"!", L"RegisterHoldsAReference");
  EXPECT_EQ(table->IsRunning(name.Get()), S_FALSE);
  DWORD cookie = 0;
  ASSERT_EQ(table->Register(0, static_cast<IPersist*>(object.Get()), name.Get(), &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(object->RefCountForTesting(), 2u);

  // Found by any equal moniker, not only the registered one.
  ComPtr<IMoniker> sameName = Item(L"!", L"registerholdsareference");
  EXPECT_EQ(table->IsRunning(sameName.Get()), S_OK);
  EXPECT_EQ(sameName->IsRunning(nullptr, nullptr, nullptr), S_OK);
  ComPtr<IUnknown> found;
  ASSERT_EQ(table->GetObject(sameName.Get(), found.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_TRUE(IsSameObject(found.Get(), static_cast<IPersist*>(object.Get())));
  found = nullptr;
  ComPtr<IPersist> bound;
  ASSERT_EQ(
      sameName->BindToObject(nullptr, nullptr, IID_IPersist, bound.ReleaseAndGetVoidAddressOf()),
      S_OK);
  EXPECT_TRUE(IsSameObject(bound.Get(), static_cast<IPersist*>(object.Get())));
  bound = nullptr;

  FILETIME when{};
  EXPECT_EQ(table->GetTimeOfLastChange(name.Get(), &when), S_OK);
  EXPECT_NE(when.dwHighDateTime, 0u);
  FILETIME later{1, 2};
  EXPECT_EQ(table->NoteChangeTime(cookie, &later), S_OK);
  EXPECT_EQ(table->GetTimeOfLastChange(name.Get(), &when), S_OK);
  EXPECT_EQ(when.dwLowDateTime, 1u);
  EXPECT_EQ(when.dwHighDateTime, 2u);

  ASSERT_EQ(table->Revoke(cookie), S_OK);
  EXPECT_EQ(object->RefCountForTesting(), 1u);
  EXPECT_EQ(table->Revoke(cookie), E_INVALIDARG);
  EXPECT_EQ(table->IsRunning(name.Get()), S_FALSE);
  IUnknown* gone = nullptr;
  EXPECT_EQ(table->GetObject(name.Get(), &gone), MK_E_UNAVAILABLE);
  EXPECT_EQ(gone, nullptr);
  void* out = &out;
  EXPECT_EQ(name->BindToObject(nullptr, nullptr, IID_IUnknown, &out), MK_E_NOOBJECT);
  EXPECT_EQ(out, nullptr);
}

TEST(RunningObjectTableTest, EnumeratesTheRegisteredMonikers) {
  ComPtr<IRunningObjectTable> table = Table();
  ComPtr<CRunning> object = MakeComObject<CRunning>();
  IUnknown* unknown = static_cast<IPersist*>(object.Get());
  DWORD first = 0;
  DWORD second = 0;
  DWORD again = 0;
  ASSERT_EQ(table->Register(0, unknown, Item(L"!", L"EnumFirst").Get(), &first), S_OK);
  ASSERT_EQ(table->Register(0, unknown, Item(L"!", L"EnumSecond").Get(), &second), S_OK);
  EXPECT_EQ(table->Register(0, unknown, Item(L"!", L"EnumFirst").Get(), &again),
            MK_S_MONIKERALREADYREGISTERED);
  EXPECT_NE(first, second);
  EXPECT_NE(again, first);
  ComPtr<IEnumMoniker> e;
  ASSERT_EQ(table->EnumRunning(e.ReleaseAndGetAddressOf()), S_OK);
  int seenFirst = 0;
  int seenSecond = 0;
  IMoniker* m = nullptr;
  while (e->Next(1, &m, nullptr) == S_OK) {
    seenFirst += m->IsEqual(Item(L"!", L"EnumFirst").Get()) == S_OK;
    seenSecond += m->IsEqual(Item(L"!", L"EnumSecond").Get()) == S_OK;
    m->Release();
  }
  EXPECT_EQ(seenFirst, 2);
  EXPECT_EQ(seenSecond, 1);
  EXPECT_EQ(table->Revoke(first), S_OK);
  EXPECT_EQ(table->Revoke(second), S_OK);
  EXPECT_EQ(table->Revoke(again), S_OK);
  EXPECT_EQ(object->RefCountForTesting(), 1u);
}

TEST(RunningObjectTableTest, RejectsMissingArguments) {
  ComPtr<IRunningObjectTable> table = Table();
  ComPtr<CRunning> object = MakeComObject<CRunning>();
  DWORD cookie = 1;
  EXPECT_EQ(table->Register(0, nullptr, Item(L"!", L"x").Get(), &cookie), E_INVALIDARG);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(table->Register(0, static_cast<IPersist*>(object.Get()), nullptr, &cookie),
            E_INVALIDARG);
  EXPECT_EQ(
      table->Register(0, static_cast<IPersist*>(object.Get()), Item(L"!", L"x").Get(), nullptr),
      E_INVALIDARG);
  EXPECT_EQ(table->Revoke(0), E_INVALIDARG);
  EXPECT_EQ(GetRunningObjectTable(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(object->RefCountForTesting(), 1u);
}

TEST(RunningObjectTableTest, ConcurrentRegisterLookupAndRevoke) {
  ComPtr<IRunningObjectTable> table = Table();
  ComPtr<CRunning> object = MakeComObject<CRunning>();
  constexpr int kThreads = 3;
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::wstring item = L"Concurrent" + std::to_wstring(t);
      ComPtr<IMoniker> name = Item(L"!", item.c_str());
      for (int i = 0; i < kRounds; ++i) {
        DWORD cookie = 0;
        ASSERT_EQ(table->Register(0, static_cast<IPersist*>(object.Get()), name.Get(), &cookie),
                  S_OK);
        ComPtr<IUnknown> found;
        ASSERT_EQ(table->GetObject(name.Get(), found.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_EQ(table->Revoke(cookie), S_OK);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(object->RefCountForTesting(), 1u);
}

}  // namespace
