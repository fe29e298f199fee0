// Events, semaphores and the waits on them.
#include <gtest/gtest.h>
#include <objbase.h>
#include <winbase.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Closes a handle on scope exit.
struct HandleCloser {
  void operator()(void* h) const { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

UniqueHandle MakeEvent(bool manualReset, bool initialState) {
  return UniqueHandle(CreateEventW(nullptr, manualReset, initialState, nullptr));
}

// An auto-reset event lets one wait through, however often it was set; a manual-reset one
// stays signalled until reset; a wait that times out took at least its time.
TEST(KernelEvent, AutoResetReleasesOneWaitManualResetStaysSignalled) {
  UniqueHandle automatic = MakeEvent(false, true);
  ASSERT_TRUE(automatic);
  EXPECT_EQ(WaitForSingleObject(automatic.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic.get(), 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(automatic.get()));
  EXPECT_TRUE(SetEvent(automatic.get()));
  EXPECT_EQ(WaitForSingleObject(automatic.get(), 0), WAIT_OBJECT_0);
  const DWORD start = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(automatic.get(), 30), WAIT_TIMEOUT);
  EXPECT_GE(GetTickCount() - start, 29u);  // tick granularity

  UniqueHandle manual = MakeEvent(true, false);
  EXPECT_EQ(WaitForSingleObject(manual.get(), 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(manual.get()));
  EXPECT_EQ(WaitForSingleObject(manual.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual.get(), 10), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(manual.get()));
  EXPECT_EQ(WaitForSingleObject(manual.get(), 0), WAIT_TIMEOUT);
}

TEST(KernelEvent, PingPongNeverLosesASignal) {
  // Each SetEvent of an auto-reset event is matched by exactly one release once the waiter
  // is parked: the producer waits for the acknowledgement before signalling again.
  constexpr int kRounds = 300;
  UniqueHandle ping = MakeEvent(false, false);
  UniqueHandle pong = MakeEvent(false, false);
  std::thread echo([&] {
    for (int i = 0; i < kRounds; ++i) {
      ASSERT_EQ(WaitForSingleObject(ping.get(), 5000), WAIT_OBJECT_0);
      SetEvent(pong.get());
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    SetEvent(ping.get());
    ASSERT_EQ(WaitForSingleObject(pong.get(), 5000), WAIT_OBJECT_0) << "round " << i;
  }
  echo.join();
}

TEST(KernelSemaphore, CountsAndRefusesToExceedTheMaximum) {
  UniqueHandle sem(CreateSemaphoreW(nullptr, 1, 2, nullptr));
  ASSERT_TRUE(sem);
  EXPECT_EQ(WaitForSingleObject(sem.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(sem.get(), 0), WAIT_TIMEOUT);
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(sem.get(), 2, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_FALSE(ReleaseSemaphore(sem.get(), 1, &previous));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
  EXPECT_FALSE(ReleaseSemaphore(sem.get(), 0, nullptr));
  EXPECT_EQ(WaitForSingleObject(sem.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(sem.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(sem.get(), 0), WAIT_TIMEOUT);

  EXPECT_EQ(CreateSemaphoreW(nullptr, 3, 2, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateSemaphoreW(nullptr, 0, 0, nullptr), nullptr);
}

TEST(KernelSemaphore, ConsumersTakeEveryReleaseExactlyOnce) {
  // Wait-any gives the lowest signalled index, so the consumers drain the semaphore before
  // they see the stop event: every release is consumed once, none twice, none lost.
  constexpr int kReleases = 2000;
  constexpr int kConsumers = 3;
  UniqueHandle sem(CreateSemaphoreW(nullptr, 0, kReleases, nullptr));
  UniqueHandle stop = MakeEvent(true, false);
  const HANDLE handles[] = {sem.get(), stop.get()};
  std::atomic<int> consumed{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> consumers;
  for (int c = 0; c < kConsumers; ++c) {
    consumers.emplace_back([&] {
      for (;;) {
        const DWORD r = WaitForMultipleObjects(2, handles, FALSE, 10000);
        if (r == WAIT_OBJECT_0) {
          ++consumed;
        } else {
          if (r != WAIT_OBJECT_0 + 1) ++failures;
          return;
        }
      }
    });
  }
  for (int i = 0; i < kReleases; ++i) ASSERT_TRUE(ReleaseSemaphore(sem.get(), 1, nullptr));
  SetEvent(stop.get());
  for (auto& t : consumers) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(consumed.load(), kReleases);
  EXPECT_EQ(WaitForSingleObject(sem.get(), 0), WAIT_TIMEOUT);
}

TEST(KernelWaitMultiple, WaitAnyGivesTheLowestSignalledIndex) {
  UniqueHandle a = MakeEvent(false, false);
  UniqueHandle b = MakeEvent(true, false);
  UniqueHandle c = MakeEvent(false, false);
  const HANDLE handles[] = {a.get(), b.get(), c.get()};
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_TIMEOUT);
  SetEvent(c.get());
  SetEvent(b.get());
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
  ResetEvent(b.get());
  // Only the satisfying object is consumed: c is still signalled.
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_TIMEOUT);
}

TEST(KernelWaitMultiple, WaitAllTakesEverythingAtOnceOrNothing) {
  UniqueHandle a = MakeEvent(false, false);
  UniqueHandle sem(CreateSemaphoreW(nullptr, 1, 5, nullptr));
  const HANDLE handles[] = {a.get(), sem.get()};
  EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 20), WAIT_TIMEOUT);
  // A failed wait-all took nothing: neither the semaphore's count nor the event's signal.
  EXPECT_EQ(WaitForSingleObject(sem.get(), 0), WAIT_OBJECT_0);
  SetEvent(a.get());
  EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(a.get(), 0), WAIT_OBJECT_0);
  SetEvent(a.get());
  ReleaseSemaphore(sem.get(), 1, nullptr);
  EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(a.get(), 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(sem.get(), 0), WAIT_TIMEOUT);
}

// A wait on one object, on all of two or on any of two wakes when another thread signals what
// it waits for; the auto-reset events it was woken by are consumed.
TEST(KernelWaitMultiple, WaitsWakeOnSignalsFromAnotherThread) {
  const struct {
    const char* what;
    DWORD count;
    BOOL all;
    std::vector<int> signalled;
    DWORD expected;
  } cases[] = {
      {"one object", 1, FALSE, {0}, WAIT_OBJECT_0},
      {"all of two", 2, TRUE, {0, 1}, WAIT_OBJECT_0},
      {"any of two", 2, FALSE, {1}, WAIT_OBJECT_0 + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UniqueHandle a = MakeEvent(false, false);
    UniqueHandle b = MakeEvent(false, false);
    const HANDLE handles[] = {a.get(), b.get()};
    std::atomic<DWORD> result{WAIT_FAILED};
    std::thread waiter([&] {
      result = c.count == 1 ? WaitForSingleObject(a.get(), INFINITE)
                            : WaitForMultipleObjects(c.count, handles, c.all, INFINITE);
    });
    for (int k : c.signalled) SetEvent(handles[k]);
    waiter.join();
    EXPECT_EQ(result.load(), c.expected);
    for (int k : c.signalled) EXPECT_EQ(WaitForSingleObject(handles[k], 0), WAIT_TIMEOUT);
  }
}

TEST(KernelHandles, BadArgumentsFailWithAReason) {
  UniqueHandle a = MakeEvent(false, true);
  const HANDLE twice[] = {a.get(), a.get()};
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(0, twice, FALSE, 0), WAIT_FAILED);
  int notAHandle = 0;
  EXPECT_EQ(WaitForSingleObject(&notAHandle, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetEvent(&notAHandle));
  EXPECT_FALSE(CloseHandle(&notAHandle));
  UniqueHandle sem(CreateSemaphoreW(nullptr, 0, 1, nullptr));
  EXPECT_FALSE(SetEvent(sem.get()));  // not an event
  EXPECT_FALSE(ReleaseSemaphore(a.get(), 1, nullptr));
}

TEST(KernelHandles, ClosingWhileAnotherThreadWaitsIsSafe) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  UniqueHandle started = MakeEvent(false, false);
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread waiter([&] {
    SetEvent(started.get());
    result = WaitForSingleObject(event, 50);
  });
  ASSERT_EQ(WaitForSingleObject(started.get(), 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(event));
  waiter.join();
  // Either the wait started before the close and timed out, or it found the handle closed.
  EXPECT_TRUE(result == WAIT_TIMEOUT || result == WAIT_FAILED) << result;
  EXPECT_FALSE(CloseHandle(event));
}

TEST(KernelHandles, NamedObjectsAreSharedUntilTheLastHandleCloses) {
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "vidorra-test-named-event");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE second = CreateEventW(nullptr, TRUE, FALSE, L"vidorra-test-named-event");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  SetEvent(second);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(second));
  HANDLE fresh = CreateEventW(nullptr, TRUE, FALSE, L"vidorra-test-named-event");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);
  CloseHandle(fresh);
}

TEST(KernelMisc, LastErrorIsPerThreadAndTicksAreMonotonic) {
  SetLastError(1234);
  std::thread other([] {
    EXPECT_EQ(GetLastError(), 0u);
    SetLastError(5);
  });
  other.join();
  EXPECT_EQ(GetLastError(), 1234u);
  const DWORD before = GetTickCount();
  Sleep(5);
  EXPECT_GE(GetTickCount() - before, 4u);
}

}  // namespace
