// Events, semaphores, the waits on them, handles and the thread's last error.
#include <gtest/gtest.h>
#include <objbase.h>
#include <winbase.h>

#include <atomic>
#include <thread>

namespace {

struct HandleCloser {
  void operator()(void* h) const { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

UniqueHandle MakeEvent(bool manualReset, bool initialState) {
  return UniqueHandle(CreateEventW(nullptr, manualReset, initialState, nullptr));
}

DWORD Poll(const UniqueHandle& h) { return WaitForSingleObject(h.get(), 0); }

// An auto-reset event lets one wait through however often it was set; a manual-reset one stays
// signalled until reset; a semaphore counts up to its maximum; a wait that times out took at
// least its time.
TEST(KernelObjects, EventsAndSemaphoresKeepTheirState) {
  UniqueHandle automatic = MakeEvent(false, true);
  EXPECT_EQ(Poll(automatic), WAIT_OBJECT_0);
  EXPECT_EQ(Poll(automatic), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(automatic.get()));
  EXPECT_TRUE(SetEvent(automatic.get()));
  EXPECT_EQ(Poll(automatic), WAIT_OBJECT_0);
  const DWORD start = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(automatic.get(), 30), WAIT_TIMEOUT);
  EXPECT_GE(GetTickCount() - start, 29u);  // tick granularity
  UniqueHandle manual = MakeEvent(true, false);
  EXPECT_EQ(Poll(manual), WAIT_TIMEOUT);
  SetEvent(manual.get());
  EXPECT_EQ(Poll(manual), WAIT_OBJECT_0);
  EXPECT_EQ(Poll(manual), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(manual.get()));
  EXPECT_EQ(Poll(manual), WAIT_TIMEOUT);

  UniqueHandle sem(CreateSemaphoreW(nullptr, 1, 2, nullptr));
  EXPECT_EQ(Poll(sem), WAIT_OBJECT_0);
  EXPECT_EQ(Poll(sem), WAIT_TIMEOUT);
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(sem.get(), 2, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_FALSE(ReleaseSemaphore(sem.get(), 1, &previous));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
  EXPECT_FALSE(ReleaseSemaphore(sem.get(), 0, nullptr));
  EXPECT_EQ(Poll(sem), WAIT_OBJECT_0);
  EXPECT_EQ(Poll(sem), WAIT_OBJECT_0);
  EXPECT_EQ(Poll(sem), WAIT_TIMEOUT);
  EXPECT_EQ(CreateSemaphoreW(nullptr, 3, 2, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateSemaphoreW(nullptr, 0, 0, nullptr), nullptr);
}

// Wait-any gives the lowest signalled index and consumes only that object; wait-all takes
// everything at once or nothing, also when woken from another thread.
TEST(KernelObjects, WaitAnyAndWaitAll) {
  UniqueHandle a = MakeEvent(false, false);
  UniqueHandle b = MakeEvent(true, false);
  UniqueHandle c = MakeEvent(false, false);
  const HANDLE three[] = {a.get(), b.get(), c.get()};
  EXPECT_EQ(WaitForMultipleObjects(3, three, FALSE, 0), WAIT_TIMEOUT);
  SetEvent(c.get());
  SetEvent(b.get());
  EXPECT_EQ(WaitForMultipleObjects(3, three, FALSE, 0), WAIT_OBJECT_0 + 1);
  ResetEvent(b.get());
  EXPECT_EQ(WaitForMultipleObjects(3, three, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, three, FALSE, 0), WAIT_TIMEOUT);

  UniqueHandle sem(CreateSemaphoreW(nullptr, 1, 5, nullptr));
  const HANDLE two[] = {a.get(), sem.get()};
  EXPECT_EQ(WaitForMultipleObjects(2, two, TRUE, 20), WAIT_TIMEOUT);
  EXPECT_EQ(Poll(sem), WAIT_OBJECT_0) << "a failed wait-all took nothing";
  SetEvent(a.get());
  EXPECT_EQ(WaitForMultipleObjects(2, two, TRUE, 0), WAIT_TIMEOUT);
  EXPECT_EQ(Poll(a), WAIT_OBJECT_0);
  SetEvent(a.get());
  ReleaseSemaphore(sem.get(), 1, nullptr);
  EXPECT_EQ(WaitForMultipleObjects(2, two, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(Poll(a), WAIT_TIMEOUT);
  EXPECT_EQ(Poll(sem), WAIT_TIMEOUT);
  // A wait-all wakes when another thread signals the last of its objects.
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread waiter([&] { result = WaitForMultipleObjects(2, two, TRUE, INFINITE); });
  SetEvent(a.get());
  ReleaseSemaphore(sem.get(), 1, nullptr);
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
  EXPECT_EQ(Poll(a), WAIT_TIMEOUT);
}

// Each SetEvent of an auto-reset event, and each release of a semaphore, wakes exactly one
// parked waiter; every release of a semaphore is consumed once by one of several consumers,
// none twice, none lost.
TEST(KernelObjects, NoSignalIsLostOrTakenTwiceUnderConcurrency) {
  UniqueHandle ping = MakeEvent(false, false);
  UniqueHandle pong(CreateSemaphoreW(nullptr, 0, 1, nullptr));
  std::thread echo([&] {
    for (int i = 0; i < 300; ++i) {
      ASSERT_EQ(WaitForSingleObject(ping.get(), 5000), WAIT_OBJECT_0);
      ReleaseSemaphore(pong.get(), 1, nullptr);
    }
  });
  for (int i = 0; i < 300; ++i) {
    SetEvent(ping.get());
    ASSERT_EQ(WaitForSingleObject(pong.get(), 5000), WAIT_OBJECT_0) << "round " << i;
  }
  echo.join();

  constexpr int kReleases = 2000;
  UniqueHandle sem(CreateSemaphoreW(nullptr, 0, kReleases, nullptr));
  UniqueHandle stop = MakeEvent(true, false);
  const HANDLE handles[] = {sem.get(), stop.get()};
  std::atomic<int> consumed{0}, failures{0};
  std::vector<std::thread> consumers;
  for (int c = 0; c < 3; ++c) {
    consumers.emplace_back([&] {
      // The semaphore comes first: it is drained before the stop event is seen.
      for (DWORD r; (r = WaitForMultipleObjects(2, handles, FALSE, 10000)) == WAIT_OBJECT_0;) {
        ++consumed;
      }
    });
  }
  for (int i = 0; i < kReleases; ++i) ASSERT_TRUE(ReleaseSemaphore(sem.get(), 1, nullptr));
  SetEvent(stop.get());
  for (auto& t : consumers) t.join();
  EXPECT_EQ(consumed.load(), kReleases);
  EXPECT_EQ(Poll(sem), WAIT_TIMEOUT);
}

TEST(KernelObjects, HandlesBadClosedAndNamed) {
  UniqueHandle a = MakeEvent(false, true);
  const HANDLE twice[] = {a.get(), a.get()};
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(0, twice, FALSE, 0), WAIT_FAILED);
  int notAHandle = 0;
  EXPECT_EQ(WaitForSingleObject(&notAHandle, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  UniqueHandle sem(CreateSemaphoreW(nullptr, 0, 1, nullptr));
  EXPECT_FALSE(SetEvent(sem.get()));  // not an event
  EXPECT_FALSE(ReleaseSemaphore(a.get(), 1, nullptr));
  SetLastError(1234);
  std::thread other([] {
    EXPECT_EQ(GetLastError(), 0u) << "the last error is per thread";
    SetLastError(5);
  });
  other.join();
  EXPECT_EQ(GetLastError(), 1234u);
  // Closing while another thread waits is safe: the wait times out or finds the handle closed.
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
  EXPECT_TRUE(result == WAIT_TIMEOUT || result == WAIT_FAILED) << result;
  EXPECT_FALSE(CloseHandle(event));
  // Named objects are shared until the last handle closes.
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "vidorra-test-named-event");
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

}  // namespace
