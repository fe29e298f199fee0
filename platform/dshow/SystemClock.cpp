// CSystemClock: monotonic reference clock with an advise thread.
#include "SystemClock.h"

#include <winbase.h>

#include <chrono>
#include <limits>

#include "StreamingThreadRole.h"

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
using Units = std::chrono::duration<REFERENCE_TIME, std::ratio<1, kUnitsPerSecond>>;

}  // namespace

CSystemClock::CSystemClock() : CSystemClock(&CSystemClock::Now) {}

CSystemClock::CSystemClock(TimeSource now) : now_(now) {}

CSystemClock::~CSystemClock() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

HRESULT CSystemClock::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IReferenceClock) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

REFERENCE_TIME CSystemClock::Now() {
  return std::chrono::duration_cast<Units>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

STDMETHODIMP CSystemClock::GetTime(REFERENCE_TIME* pTime) {
  if (!pTime) return E_POINTER;
  const REFERENCE_TIME now = now_();
  std::lock_guard lock(mutex_);
  if (now <= lastTime_) {
    *pTime = lastTime_;
    return S_FALSE;
  }
  lastTime_ = now;
  *pTime = now;
  return S_OK;
}

STDMETHODIMP CSystemClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                      HEVENT hEvent, DWORD_PTR* pdwAdviseCookie) {
  if (!pdwAdviseCookie) return E_POINTER;
  *pdwAdviseCookie = 0;
  REFERENCE_TIME due = 0;
  if (!hEvent || __builtin_add_overflow(baseTime, streamTime, &due) || due < 0) {
    return E_INVALIDARG;
  }
  return AddAdvise({due, 0, reinterpret_cast<HANDLE>(hEvent)}, pdwAdviseCookie);
}

STDMETHODIMP CSystemClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                          HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) {
  if (!pdwAdviseCookie) return E_POINTER;
  *pdwAdviseCookie = 0;
  if (!hSemaphore || startTime < 0 || periodTime <= 0) return E_INVALIDARG;
  return AddAdvise({startTime, periodTime, reinterpret_cast<HANDLE>(hSemaphore)}, pdwAdviseCookie);
}

HRESULT CSystemClock::AddAdvise(Advise advise, DWORD_PTR* cookie) {
  {
    std::lock_guard lock(mutex_);
    *cookie = nextCookie_++;
    advises_.emplace(*cookie, advise);
    if (!thread_.joinable()) thread_ = std::thread([this] { ThreadProc(); });
  }
  changed_.notify_all();
  return S_OK;
}

STDMETHODIMP CSystemClock::Unadvise(DWORD_PTR dwAdviseCookie) {
  std::lock_guard lock(mutex_);
  return advises_.erase(dwAdviseCookie) ? S_OK : S_FALSE;
}

void CSystemClock::ThreadProc() {
  // Live sources wait on its advises.
  const CStreamingThreadRole role("clock", CStreamingThreadRole::Path::kCapture);
  std::unique_lock lock(mutex_);
  while (!quit_) {
    const REFERENCE_TIME now = now_();
    REFERENCE_TIME earliest = std::numeric_limits<REFERENCE_TIME>::max();
    for (auto it = advises_.begin(); it != advises_.end();) {
      Advise& advise = it->second;
      if (advise.due <= now) {
        if (advise.period == 0) {
          SetEvent(advise.handle);
          it = advises_.erase(it);
          continue;
        }
        ReleaseSemaphore(advise.handle, 1, nullptr);
        // A late thread releases once and moves on, rather than bursting for missed periods.
        const REFERENCE_TIME missed = (now - advise.due) / advise.period + 1;
        advise.due += missed * advise.period;
      }
      earliest = std::min(earliest, advise.due);
      ++it;
    }
    if (earliest == std::numeric_limits<REFERENCE_TIME>::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_for(lock, Units(earliest - now));
    }
  }
}
