// The system clock: monotonic time, one-shot and periodic advises, cancellation.
#include <atomic>
#include <limits>

#include "SystemClock.h"
#include "graph_test_support.h"

namespace vidorra::test {
namespace {

constexpr DWORD kDeadlineMs = 5000;
constexpr REFERENCE_TIME kMs = 10'000;

ComPtr<IReferenceClock> NewClock() {
  ComPtr<IReferenceClock> clock;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IReferenceClock, clock.ReleaseAndGetVoidAddressOf()));
  return clock;
}

TEST(SystemClock, AdviseTimeSetsTheEventOnceTheTimeIsReachedUnlessUnadvised) {
  auto clock = NewClock();
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  REFERENCE_TIME now = 0;
  clock->GetTime(&now);
  DWORD_PTR cookie = 0;
  ASSERT_EQ(S_OK, clock->AdviseTime(now, 20 * kMs, reinterpret_cast<HEVENT>(event), &cookie));
  EXPECT_NE(0u, cookie);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, kDeadlineMs));
  REFERENCE_TIME after = 0;
  clock->GetTime(&after);
  EXPECT_GE(after, now + 20 * kMs);
  // A time already passed fires at once.
  ASSERT_EQ(S_OK, clock->AdviseTime(0, 0, reinterpret_cast<HEVENT>(event), &cookie));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, kDeadlineMs));
  // An advise cancelled before its time never fires.
  clock->GetTime(&now);
  ASSERT_EQ(S_OK, clock->AdviseTime(now, 30 * kMs, reinterpret_cast<HEVENT>(event), &cookie));
  EXPECT_EQ(S_OK, clock->Unadvise(cookie));
  EXPECT_EQ(S_FALSE, clock->Unadvise(cookie));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 100));
  CloseHandle(event);
}

TEST(SystemClock, AdvisePeriodicReleasesTheSemaphoreRepeatedly) {
  auto clock = NewClock();
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 100, nullptr);
  REFERENCE_TIME now = 0;
  clock->GetTime(&now);
  DWORD_PTR cookie = 0;
  ASSERT_EQ(S_OK,
            clock->AdvisePeriodic(now, 5 * kMs, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, kDeadlineMs));
  EXPECT_EQ(S_OK, clock->Unadvise(cookie));
  CloseHandle(semaphore);
}

TEST(SystemClock, RefusesBadArguments) {
  auto clock = NewClock();
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HEVENT h = reinterpret_cast<HEVENT>(event);
  constexpr REFERENCE_TIME kMax = std::numeric_limits<REFERENCE_TIME>::max();
  struct Case {
    REFERENCE_TIME base;
    REFERENCE_TIME stream;
    HEVENT event;
    HRESULT expected;
  };
  const Case cases[] = {
      {0, 0, 0, E_INVALIDARG},                                 // no event
      {-10, 5, h, E_INVALIDARG},                               // a time before the clock's start
      {10, -20, h, E_INVALIDARG}, {kMax, 1, h, E_INVALIDARG},  // past the end of time
      {-10, 10, h, S_OK},                                      // exactly the start
      {5 * kMs, -kMs, h, S_OK},
  };
  for (const Case& c : cases) {
    DWORD_PTR cookie = 0;
    EXPECT_EQ(c.expected, clock->AdviseTime(c.base, c.stream, c.event, &cookie))
        << c.base << " + " << c.stream;
    if (c.expected == S_OK) {
      EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, kDeadlineMs));
    }
  }
  CloseHandle(event);
  DWORD_PTR cookie = 0;
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, nullptr);
  EXPECT_EQ(E_INVALIDARG,
            clock->AdvisePeriodic(0, 0, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
  EXPECT_EQ(E_POINTER,
            clock->AdvisePeriodic(0, kMs, reinterpret_cast<HSEMAPHORE>(semaphore), nullptr));
  CloseHandle(semaphore);
  EXPECT_EQ(E_POINTER, clock->GetTime(nullptr));
}

// GetTime tells whether the time moved since the previous call: S_FALSE when it did not.
std::atomic<REFERENCE_TIME> fakeTime{100};
REFERENCE_TIME FakeNow() { return fakeTime.load(); }

TEST(SystemClock, GetTimeAnswersSFalseWhenTheTimeHasNotMoved) {
  ComPtr<IReferenceClock> clock = MakeComObject<CSystemClock>(&FakeNow);
  struct Step {
    REFERENCE_TIME source;
    HRESULT expected;
    REFERENCE_TIME given;
  };
  const Step steps[] = {
      {100, S_OK, 100},    {100, S_FALSE, 100}, {250, S_OK, 250},
      {250, S_FALSE, 250}, {200, S_FALSE, 250},  // never back
      {251, S_OK, 251},
  };
  for (const Step& step : steps) {
    fakeTime = step.source;
    REFERENCE_TIME now = 0;
    EXPECT_EQ(step.expected, clock->GetTime(&now)) << "source at " << step.source;
    EXPECT_EQ(step.given, now);
  }
}

TEST(SystemClock, ReleasedWithPendingAdvisesJoinsItsThread) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  {
    auto clock = NewClock();
    DWORD_PTR cookie = 0;
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    ASSERT_EQ(S_OK,
              clock->AdviseTime(now, 36'000'000'000, reinterpret_cast<HEVENT>(event), &cookie));
  }
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
  CloseHandle(event);
}

}  // namespace
}  // namespace vidorra::test
