// Kernel objects: events and semaphores, the waits on them, handles and the thread's last
// error.
//
// Every kernel object lives in one table guarded by one mutex (kernelMutex). A waiting thread
// owns a condition variable and enlists it with each object it waits on; signalling an object
// wakes each enlisted waiter, which re-checks the state under the same mutex. Because state
// changes and checks happen under that one mutex, a wait on several objects cannot miss a
// signal, and a wait-all takes all of its objects in one step.
//
// A HANDLE is the address of its object. The object counts the handles opened on it (a named
// object opened twice has two) and the waits in progress; it is destroyed when both fall to
// zero, so closing a handle while another thread waits on it is safe.
#include <comimpl.h>
#include <objbase.h>
#include <unistd.h>
#include <winbase.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Waiter {
  std::condition_variable wake;
};

enum class KernelObjectKind { kEvent, kSemaphore };

struct KernelObject {
  KernelObjectKind kind = KernelObjectKind::kEvent;
  std::wstring name;  // empty for unnamed objects
  bool manualReset = false;
  bool signaled = false;  // events
  LONG count = 0;         // semaphores
  LONG maximumCount = 0;  // semaphores
  int openHandles = 0;
  int activeWaits = 0;
  std::vector<Waiter*> waiters;

  bool IsSignaled() const { return kind == KernelObjectKind::kEvent ? signaled : count > 0; }
  // What a satisfied wait does to the object.
  void Acquire() {
    if (kind == KernelObjectKind::kSemaphore) {
      --count;
    } else if (!manualReset) {
      signaled = false;
    }
  }
  void WakeWaiters() {
    for (Waiter* w : waiters) w->wake.notify_one();
  }
};

class KernelObjectTable {
 public:
  std::mutex mutex;

  // All members below: call with mutex held.
  KernelObject* Find(HANDLE h) {
    auto it = objects_.find(h);
    if (it == objects_.end() || it->second->openHandles == 0) return nullptr;
    return it->second.get();
  }
  KernelObject* FindNamed(const std::wstring& name) {
    auto it = named_.find(name);
    return it == named_.end() ? nullptr : it->second;
  }
  KernelObject* Add(std::unique_ptr<KernelObject> object) {
    KernelObject* raw = object.get();
    raw->openHandles = 1;
    if (!raw->name.empty()) named_[raw->name] = raw;
    objects_[raw] = std::move(object);
    return raw;
  }
  // Destroys the object once no handle and no wait refer to it.
  void DestroyIfUnused(KernelObject* object) {
    if (object->openHandles > 0 || object->activeWaits > 0) return;
    if (!object->name.empty()) named_.erase(object->name);
    objects_.erase(object);
  }

 private:
  std::unordered_map<HANDLE, std::unique_ptr<KernelObject>> objects_;
  std::map<std::wstring, KernelObject*> named_;
};

KernelObjectTable& Table() {
  static KernelObjectTable table;
  return table;
}

thread_local DWORD tLastError = ERROR_SUCCESS;

// Opens a handle on the named object of that kind, or creates it with `make`.
template <class Make>
HANDLE CreateOrOpen(LPCWSTR name, KernelObjectKind kind, Make make) {
  KernelObjectTable& table = Table();
  std::lock_guard lock(table.mutex);
  if (name && *name) {
    if (KernelObject* existing = table.FindNamed(name)) {
      if (existing->kind != kind) {
        tLastError = ERROR_INVALID_HANDLE;
        return nullptr;
      }
      ++existing->openHandles;
      tLastError = ERROR_ALREADY_EXISTS;
      return existing;
    }
  }
  auto object = std::make_unique<KernelObject>();
  object->kind = kind;
  if (name) object->name = name;
  make(*object);
  tLastError = ERROR_SUCCESS;
  return table.Add(std::move(object));
}

// The index of the object that satisfies the wait, or -1; for a wait-all, 0 when all are
// signalled. Call with the table mutex held.
int SatisfiedIndex(const std::vector<KernelObject*>& objects, bool waitAll) {
  if (waitAll) {
    const bool all = std::all_of(objects.begin(), objects.end(),
                                 [](const KernelObject* o) { return o->IsSignaled(); });
    return all ? 0 : -1;
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    if (objects[i]->IsSignaled()) return static_cast<int>(i);
  }
  return -1;
}

DWORD WaitOnObjects(DWORD nCount, const HANDLE* handles, bool waitAll, DWORD timeoutMs) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !handles) {
    tLastError = ERROR_INVALID_PARAMETER;
    return WAIT_FAILED;
  }
  KernelObjectTable& table = Table();
  std::unique_lock lock(table.mutex);
  std::vector<KernelObject*> objects;
  objects.reserve(nCount);
  for (DWORD i = 0; i < nCount; ++i) {
    KernelObject* object = table.Find(handles[i]);
    if (!object) {
      tLastError = ERROR_INVALID_HANDLE;
      return WAIT_FAILED;
    }
    // A wait-all on the same object twice could never be satisfied in one step.
    if (waitAll && std::find(objects.begin(), objects.end(), object) != objects.end()) {
      tLastError = ERROR_INVALID_PARAMETER;
      return WAIT_FAILED;
    }
    objects.push_back(object);
  }

  Waiter waiter;
  for (KernelObject* o : objects) {
    ++o->activeWaits;
    o->waiters.push_back(&waiter);
  }
  const bool infinite = timeoutMs == INFINITE;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    const int index = SatisfiedIndex(objects, waitAll);
    if (index >= 0) {
      if (waitAll) {
        for (KernelObject* o : objects) o->Acquire();
      } else {
        objects[index]->Acquire();
      }
      result = WAIT_OBJECT_0 + static_cast<DWORD>(index);
      break;
    }
    if (infinite) {
      waiter.wake.wait(lock);
    } else if (waiter.wake.wait_until(lock, deadline) == std::cv_status::timeout &&
               SatisfiedIndex(objects, waitAll) < 0) {
      break;
    }
  }
  for (KernelObject* o : objects) {
    auto& list = o->waiters;
    list.erase(std::remove(list.begin(), list.end(), &waiter), list.end());
    --o->activeWaits;
  }
  for (KernelObject* o : objects) table.DestroyIfUnused(o);
  return result;
}

}  // namespace

HANDLE CreateEventW(void* /*lpEventAttributes*/, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName) {
  return CreateOrOpen(lpName, KernelObjectKind::kEvent, [&](KernelObject& o) {
    o.manualReset = bManualReset != FALSE;
    o.signaled = bInitialState != FALSE;
  });
}

HANDLE CreateEventA(void* lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
  if (!lpName) return CreateEventW(lpEventAttributes, bManualReset, bInitialState, nullptr);
  const std::wstring name = Utf8ToWide(lpName);
  return CreateEventW(lpEventAttributes, bManualReset, bInitialState, name.c_str());
}

namespace {
template <class Change>
BOOL ChangeObject(HANDLE h, KernelObjectKind kind, Change change) {
  KernelObjectTable& table = Table();
  std::lock_guard lock(table.mutex);
  KernelObject* object = table.Find(h);
  if (!object || object->kind != kind) {
    tLastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  return change(*object);
}
}  // namespace

BOOL SetEvent(HANDLE hEvent) {
  return ChangeObject(hEvent, KernelObjectKind::kEvent, [](KernelObject& o) {
    o.signaled = true;
    o.WakeWaiters();
    return TRUE;
  });
}

BOOL ResetEvent(HANDLE hEvent) {
  return ChangeObject(hEvent, KernelObjectKind::kEvent, [](KernelObject& o) {
    o.signaled = false;
    return TRUE;
  });
}

HANDLE CreateSemaphoreW(void* /*lpSemaphoreAttributes*/, LONG lInitialCount, LONG lMaximumCount,
                        LPCWSTR lpName) {
  if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
    tLastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  return CreateOrOpen(lpName, KernelObjectKind::kSemaphore, [&](KernelObject& o) {
    o.count = lInitialCount;
    o.maximumCount = lMaximumCount;
  });
}

BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LONG* lpPreviousCount) {
  if (lReleaseCount <= 0) {
    tLastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  return ChangeObject(hSemaphore, KernelObjectKind::kSemaphore, [&](KernelObject& o) {
    if (lReleaseCount > o.maximumCount - o.count) {
      tLastError = ERROR_TOO_MANY_POSTS;
      return FALSE;
    }
    if (lpPreviousCount) *lpPreviousCount = o.count;
    o.count += lReleaseCount;
    o.WakeWaiters();
    return TRUE;
  });
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitOnObjects(1, &hHandle, false, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
  return WaitOnObjects(nCount, lpHandles, bWaitAll != FALSE, dwMilliseconds);
}

BOOL CloseHandle(HANDLE hObject) {
  KernelObjectTable& table = Table();
  std::lock_guard lock(table.mutex);
  KernelObject* object = table.Find(hObject);
  if (!object) {
    tLastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  --object->openHandles;
  table.DestroyIfUnused(object);
  return TRUE;
}

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD dwErrCode) { tLastError = dwErrCode; }

DWORD GetTickCount() {
  // Milliseconds of the monotonic clock; wraps after 49.7 days as the 32-bit count does.
  const auto sinceEpoch = Clock::now().time_since_epoch();
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count());
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
