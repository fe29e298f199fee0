// The primitives under every graph: CMemAllocator (a fixed pool; GetBuffer blocks until a buffer
// comes back or decommit), the system clock (one-shot and periodic advises, cancellation,
// arguments, its time that never goes back), and the media type helpers beyond the copies every
// connection makes (partial types as wildcards, the reference a type's pUnk holds, the copies a
// type enumerator hands out).
#include <gtest/gtest.h>

#include <limits>

#include "SystemClock.h"
#include "TestPassThrough.h"
#include "TestPushSource.h"

namespace vidorra::test {
namespace {

ComPtr<IMemAllocator> NewAllocator(long count, long size, long align = 1) {
  auto allocator = MakeComObject<CMemAllocator>();
  ALLOCATOR_PROPERTIES wanted{count, size, align, 0}, actual{};
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
  ComPtr<IMediaSample> a, b;
  ASSERT_EQ(S_OK, allocator->GetBuffer(a.GetAddressOf(), nullptr, nullptr, 0));
  ASSERT_EQ(S_OK, allocator->GetBuffer(b.GetAddressOf(), nullptr, nullptr, 0));
  BYTE* pa = nullptr;
  a->GetPointer(&pa);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(pa) % 16);
  EXPECT_EQ(100, a->GetSize());
  ComPtr<IMediaSample> c;
  EXPECT_EQ(VFW_E_TIMEOUT, allocator->GetBuffer(c.GetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT));
  // Properties of a sample do not survive its return.
  REFERENCE_TIME start = 5, end = 6;
  a->SetTime(&start, &end);
  a->SetSyncPoint(TRUE);
  a = nullptr;
  ASSERT_EQ(S_OK, allocator->GetBuffer(c.GetAddressOf(), nullptr, nullptr, 0));
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, c->GetTime(&start, &end));
  EXPECT_EQ(S_FALSE, c->IsSyncPoint());
  EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, c->SetActualDataLength(101));
  // Changing properties is refused while committed or while samples are out.
  ALLOCATOR_PROPERTIES wanted{4, 10, 1, 0}, actual{};
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

constexpr DWORD kDeadlineMs = 5000;
constexpr REFERENCE_TIME kMs = 10'000;

// A one-shot advise sets its event once the time is reached (at once for a time passed, never
// when cancelled before); a periodic one releases its semaphore again and again; a clock
// released with an advise pending joins its thread without setting it. Bad arguments are
// refused.
TEST(SystemClock, AdvisesFireAtTheirTimeUnlessCancelledAndBadArgumentsAreRefused) {
  ComPtr<IReferenceClock> clock;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IReferenceClock, clock.ReleaseAndGetVoidAddressOf()));
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 100, nullptr);
  HEVENT h = reinterpret_cast<HEVENT>(event);
  constexpr REFERENCE_TIME kMax = std::numeric_limits<REFERENCE_TIME>::max();
  const struct {
    REFERENCE_TIME base, stream;
    HEVENT event;
    HRESULT expected;
  } cases[] = {
      {0, 0, 0, E_INVALIDARG},                                 // no event
      {-10, 5, h, E_INVALIDARG},                               // a time before the clock's start
      {10, -20, h, E_INVALIDARG}, {kMax, 1, h, E_INVALIDARG},  // past the end of time
      {-10, 10, h, S_OK},                                      // exactly the start
      {5 * kMs, -kMs, h, S_OK},
  };
  for (const auto& c : cases) {
    DWORD_PTR cookie = 0;
    EXPECT_EQ(c.expected, clock->AdviseTime(c.base, c.stream, c.event, &cookie))
        << c.base << " + " << c.stream;
    EXPECT_TRUE(FAILED(c.expected) || WaitForSingleObject(event, kDeadlineMs) == WAIT_OBJECT_0);
  }
  auto s = reinterpret_cast<HSEMAPHORE>(semaphore);
  DWORD_PTR cookie = 0;
  EXPECT_EQ(E_INVALIDARG, clock->AdvisePeriodic(0, 0, s, &cookie));
  EXPECT_EQ(E_POINTER, clock->AdvisePeriodic(0, kMs, s, nullptr));
  EXPECT_EQ(E_POINTER, clock->GetTime(nullptr));

  REFERENCE_TIME now = 0, after = 0;
  clock->GetTime(&now);
  ASSERT_EQ(S_OK, clock->AdviseTime(now, 20 * kMs, h, &cookie));
  EXPECT_NE(0u, cookie);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, kDeadlineMs));
  clock->GetTime(&after);
  EXPECT_GE(after, now + 20 * kMs);
  ASSERT_EQ(S_OK, clock->AdviseTime(0, 0, h, &cookie));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, kDeadlineMs));
  clock->GetTime(&now);
  ASSERT_EQ(S_OK, clock->AdviseTime(now, 30 * kMs, h, &cookie));
  EXPECT_EQ(S_OK, clock->Unadvise(cookie));
  EXPECT_EQ(S_FALSE, clock->Unadvise(cookie));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 100));
  ASSERT_EQ(S_OK, clock->AdvisePeriodic(now, 5 * kMs, s, &cookie));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, kDeadlineMs));
  EXPECT_EQ(S_OK, clock->Unadvise(cookie));
  ASSERT_EQ(S_OK, clock->AdviseTime(now, 36'000'000'000, h, &cookie));
  clock = nullptr;
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
  CloseHandle(event);
  CloseHandle(semaphore);
}

// GetTime tells whether the time moved since the previous call: S_FALSE when it did not.
std::atomic<REFERENCE_TIME> fakeTime{100};

TEST(SystemClock, GetTimeNeverGoesBackAndAnswersSFalseWhenItHasNotMoved) {
  ComPtr<IReferenceClock> clock = MakeComObject<CSystemClock>([] { return fakeTime.load(); });
  const struct {
    REFERENCE_TIME source;
    HRESULT expected;
    REFERENCE_TIME given;
  } steps[] = {
      {100, S_OK, 100},    {100, S_FALSE, 100}, {250, S_OK, 250},
      {250, S_FALSE, 250}, {200, S_FALSE, 250}, {251, S_OK, 251},
  };
  for (const auto& step : steps) {
    fakeTime = step.source;
    REFERENCE_TIME now = 0;
    EXPECT_EQ(step.expected, clock->GetTime(&now)) << "source at " << step.source;
    EXPECT_EQ(step.given, now);
  }
}

TEST(MediaType, PartialTypesMatchAsWildcards) {
  const CMediaType full = MakeTestVideoType(MEDIASUBTYPE_TestA);
  CMediaType partial(&MEDIATYPE_Video);
  EXPECT_TRUE(partial.IsPartiallySpecified());
  EXPECT_FALSE(full.IsPartiallySpecified());
  EXPECT_TRUE(full.MatchesPartial(&partial));
  partial.SetSubtype(&MEDIASUBTYPE_TestB);
  EXPECT_FALSE(full.MatchesPartial(&partial));
  CMediaType audio(&MEDIATYPE_Audio);
  EXPECT_FALSE(full.MatchesPartial(&audio));
}

TEST(MediaType, CopiesHoldTheirOwnReferenceAndFormat) {
  auto holder = MakeComObject<TestPassThrough>();
  const ULONG before = holder->RefCountForTesting();
  CMediaType source = MakeTestVideoType(MEDIASUBTYPE_TestA);
  source.pUnk = static_cast<IBaseFilter*>(holder.Get());
  source.pUnk->AddRef();
  AM_MEDIA_TYPE* copy = CreateMediaType(&source);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy->pbFormat, source.pbFormat);
  AM_MEDIA_TYPE second{};
  ASSERT_EQ(S_OK, CopyMediaType(&second, copy));
  EXPECT_EQ(before + 3, holder->RefCountForTesting());
  FreeMediaType(second);
  EXPECT_EQ(nullptr, second.pbFormat);
  DeleteMediaType(copy);
  FreeMediaType(source);
  EXPECT_EQ(before, holder->RefCountForTesting());
  auto filter = MakeComObject<TestPushSource>();
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, filter->OutputPin()->EnumMediaTypes(types.GetAddressOf()));
  AM_MEDIA_TYPE* mt[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, types->Next(2, mt, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_TRUE(CMediaType(*mt[0]) == filter->Config().mediaType);
  DeleteMediaType(mt[0]);
}

}  // namespace
}  // namespace vidorra::test
