// The system clock: one-shot and periodic advises, cancellation, arguments, its time that never
// goes back.
#include <atomic>
#include <limits>

#include "SystemClock.h"
#include "FilterPins.h"
#include <gtest/gtest.h>

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

// A one-shot advise sets its event once the time is reached (at once for a time passed, never
// when cancelled before); a periodic one releases its semaphore again and again; a clock
// released with an advise pending joins its thread without setting it.
TEST(SystemClock, AdvisesFireAtTheirTimeUnlessCancelled) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 100, nullptr);
  auto clock = NewClock();
  REFERENCE_TIME now = 0, after = 0;
  clock->GetTime(&now);
  DWORD_PTR cookie = 0;
  ASSERT_EQ(S_OK, clock->AdviseTime(now, 20 * kMs, reinterpret_cast<HEVENT>(event), &cookie));
  EXPECT_NE(0u, cookie);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, kDeadlineMs));
  clock->GetTime(&after);
  EXPECT_GE(after, now + 20 * kMs);
  ASSERT_EQ(S_OK, clock->AdviseTime(0, 0, reinterpret_cast<HEVENT>(event), &cookie));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, kDeadlineMs));
  clock->GetTime(&now);
  ASSERT_EQ(S_OK, clock->AdviseTime(now, 30 * kMs, reinterpret_cast<HEVENT>(event), &cookie));
  EXPECT_EQ(S_OK, clock->Unadvise(cookie));
  EXPECT_EQ(S_FALSE, clock->Unadvise(cookie));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 100));
  ASSERT_EQ(S_OK,
            clock->AdvisePeriodic(now, 5 * kMs, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, kDeadlineMs));
  EXPECT_EQ(S_OK, clock->Unadvise(cookie));
  ASSERT_EQ(S_OK, clock->AdviseTime(now, 36'000'000'000, reinterpret_cast<HEVENT>(event), &cookie));
  clock = nullptr;
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
  CloseHandle(event);
  CloseHandle(semaphore);
}

TEST(SystemClock, RefusesBadArguments) {
  auto clock = NewClock();
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
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
  CloseHandle(event);
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, nullptr);
  auto s = reinterpret_cast<HSEMAPHORE>(semaphore);
  DWORD_PTR cookie = 0;
  EXPECT_EQ(E_INVALIDARG, clock->AdvisePeriodic(0, 0, s, &cookie));
  EXPECT_EQ(E_POINTER, clock->AdvisePeriodic(0, kMs, s, nullptr));
  EXPECT_EQ(E_POINTER, clock->GetTime(nullptr));
  CloseHandle(semaphore);
}

// GetTime tells whether the time moved since the previous call: S_FALSE when it did not.
std::atomic<REFERENCE_TIME> fakeTime{100};
REFERENCE_TIME FakeNow() { return fakeTime.load(); }

TEST(SystemClock, GetTimeNeverGoesBackAndAnswersSFalseWhenItHasNotMoved) {
  ComPtr<IReferenceClock> clock = MakeComObject<CSystemClock>(&FakeNow);
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

}  // namespace
}  // namespace vidorra::test
