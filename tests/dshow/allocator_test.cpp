// CMemAllocator: a fixed pool; GetBuffer blocks until a buffer comes back or decommit.
#include <atomic>
#include <thread>

#include "FilterPins.h"
#include <gtest/gtest.h>

namespace vidorra::test {
namespace {

ComPtr<IMemAllocator> NewAllocator(long count, long size, long align = 1) {
  auto allocator = MakeComObject<CMemAllocator>();
  ALLOCATOR_PROPERTIES wanted{count, size, align, 0};
  ALLOCATOR_PROPERTIES actual{};
  EXPECT_EQ(S_OK, allocator->SetProperties(&wanted, &actual));
  EXPECT_EQ(count, actual.cBuffers);
  return ComPtr<IMemAllocator>(allocator.Get());
}

TEST(MemAllocator, SamplesComeBackToThePoolOnRelease) {
  auto allocator = NewAllocator(2, 100, 16);
  EXPECT_EQ(E_POINTER, allocator->GetBuffer(nullptr, nullptr, nullptr, 0));
  IMediaSample* none = nullptr;
  EXPECT_EQ(VFW_E_NOT_COMMITTED, allocator->GetBuffer(&none, nullptr, nullptr, 0));
  ASSERT_EQ(S_OK, allocator->Commit());
  ComPtr<IMediaSample> a;
  ComPtr<IMediaSample> b;
  ASSERT_EQ(S_OK, allocator->GetBuffer(a.GetAddressOf(), nullptr, nullptr, 0));
  ASSERT_EQ(S_OK, allocator->GetBuffer(b.GetAddressOf(), nullptr, nullptr, 0));
  BYTE* pa = nullptr;
  a->GetPointer(&pa);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(pa) % 16);
  EXPECT_EQ(100, a->GetSize());
  ComPtr<IMediaSample> c;
  EXPECT_EQ(VFW_E_TIMEOUT, allocator->GetBuffer(c.GetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT));
  // Properties of a sample do not survive its return.
  REFERENCE_TIME start = 5;
  REFERENCE_TIME end = 6;
  a->SetTime(&start, &end);
  a->SetSyncPoint(TRUE);
  a = nullptr;
  ASSERT_EQ(S_OK, allocator->GetBuffer(c.GetAddressOf(), nullptr, nullptr, 0));
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, c->GetTime(&start, &end));
  EXPECT_EQ(S_FALSE, c->IsSyncPoint());
  EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, c->SetActualDataLength(101));
  // Changing properties is refused while committed or while samples are out.
  ALLOCATOR_PROPERTIES wanted{4, 10, 1, 0};
  ALLOCATOR_PROPERTIES actual{};
  EXPECT_EQ(VFW_E_ALREADY_COMMITTED, allocator->SetProperties(&wanted, &actual));
  allocator->Decommit();
  EXPECT_EQ(VFW_E_BUFFERS_OUTSTANDING, allocator->SetProperties(&wanted, &actual));
}

// A GetBuffer waiting on an empty pool is released by a sample coming back, or by decommit.
TEST(MemAllocator, AWaitingGetBufferEndsOnAReturnedSampleOrOnDecommit) {
  for (bool decommit : {false, true}) {
    SCOPED_TRACE(decommit ? "decommit" : "returned sample");
    auto allocator = NewAllocator(1, 10);
    ASSERT_EQ(S_OK, allocator->Commit());
    ComPtr<IMediaSample> held;
    ASSERT_EQ(S_OK, allocator->GetBuffer(held.GetAddressOf(), nullptr, nullptr, 0));
    std::atomic<HRESULT> result{E_PENDING};
    std::thread waiter([&] {
      ComPtr<IMediaSample> next;
      result = allocator->GetBuffer(next.GetAddressOf(), nullptr, nullptr, 0);
    });
    EXPECT_EQ(E_PENDING, result.load());
    if (decommit) {
      allocator->Decommit();
    } else {
      held = nullptr;
    }
    waiter.join();
    EXPECT_EQ(decommit ? VFW_E_NOT_COMMITTED : S_OK, result.load());
    if (!decommit) continue;
    // A sample still out keeps its allocator alive after the last other reference goes.
    allocator = nullptr;
    BYTE* data = nullptr;
    EXPECT_EQ(S_OK, held->GetPointer(&data));
  }
}

}  // namespace
}  // namespace vidorra::test
