// The system clock: monotonic time, one-shot and periodic advises, cancellation.
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

TEST(SystemClock, TimeNeverGoesBack) {
  auto clock = NewClock();
  REFERENCE_TIME previous = 0;
  ASSERT_EQ(S_OK, clock->GetTime(&previous));
  for (int i = 0; i < 1000; ++i) {
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    ASSERT_GE(now, previous);
    previous = now;
  }
  EXPECT_EQ(E_POINTER, clock->GetTime(nullptr));
}

TEST(SystemClock, AdviseTimeSetsTheEventOnceTheTimeIsReached) {
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
  CloseHandle(event);
}

TEST(SystemClock, UnadviseCancels) {
  auto clock = NewClock();
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  REFERENCE_TIME now = 0;
  clock->GetTime(&now);
  DWORD_PTR cookie = 0;
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
  DWORD_PTR cookie = 0;
  EXPECT_EQ(E_INVALIDARG, clock->AdviseTime(0, 0, 0, &cookie));
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, nullptr);
  EXPECT_EQ(E_INVALIDARG,
            clock->AdvisePeriodic(0, 0, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
  EXPECT_EQ(E_POINTER,
            clock->AdvisePeriodic(0, kMs, reinterpret_cast<HSEMAPHORE>(semaphore), nullptr));
  CloseHandle(semaphore);
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
