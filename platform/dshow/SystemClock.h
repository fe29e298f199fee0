// CSystemClock (CLSID_SystemClock): the reference clock on the monotonic system clock, in
// 100-ns units.
//
// GetTime answers S_FALSE when the time has not moved since the previous call (it never goes
// back). AdviseTime sets an event HANDLE once a time is reached (E_INVALIDARG for a time
// before 0); AdvisePeriodic releases a semaphore HANDLE at a start time and every period after
// it; Unadvise cancels either. One advise thread, owned by the clock, started with the first
// advise and joined on destruction, waits for the earliest due advise.
//
// Threads: every method may be called from any thread; one mutex guards the advise list and
// the last time given.
#pragma once

#include <comimpl.h>
#include <strmif.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

class CSystemClock : public CUnknown, public IReferenceClock {
 public:
  using TimeSource = REFERENCE_TIME (*)();
  CSystemClock();
  // A clock on another time source (tests).
  explicit CSystemClock(TimeSource now);
  ~CSystemClock() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override;
  STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                          DWORD_PTR* pdwAdviseCookie) override;
  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                              HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) override;
  STDMETHODIMP Unadvise(DWORD_PTR dwAdviseCookie) override;

  // The monotonic time in 100-ns units.
  static REFERENCE_TIME Now();

 private:
  struct Advise {
    REFERENCE_TIME due = 0;
    REFERENCE_TIME period = 0;  // 0: one shot (event), else periodic (semaphore)
    HANDLE handle = nullptr;
  };

  HRESULT AddAdvise(Advise advise, DWORD_PTR* cookie);
  void ThreadProc();

  const TimeSource now_;
  std::mutex mutex_;
  std::condition_variable changed_;
  REFERENCE_TIME lastTime_ = 0;  // the time GetTime gave last
  std::map<DWORD_PTR, Advise> advises_;
  DWORD_PTR nextCookie_ = 1;
  bool quit_ = false;
  std::thread thread_;
};
