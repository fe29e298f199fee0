// TestManualClock: a reference clock that only moves when the test moves it, so that what a
// filter does "before its time" can be checked without racing a real clock. Advises fire when
// AdvanceTo reaches them; periodic ones are not offered (no filter under test asks for them).
#pragma once

#include <comimpl.h>
#include <strmif.h>

#include <map>
#include <mutex>

namespace vidorra::test {

class TestManualClock : public CUnknown, public IReferenceClock {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override;
  STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                          DWORD_PTR* pdwAdviseCookie) override;
  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Unadvise(DWORD_PTR dwAdviseCookie) override;

  // Moves the time forward (never back) and fires what has become due.
  void AdvanceTo(REFERENCE_TIME time);
  REFERENCE_TIME Now();
  // Advises waiting, for a test that wants to know a filter is blocked on the clock.
  size_t PendingAdvises();

 private:
  struct Advise {
    REFERENCE_TIME due;
    HANDLE handle;
  };
  void FireDueLocked();

  std::mutex mutex_;
  REFERENCE_TIME now_ = 0;
  DWORD_PTR nextCookie_ = 1;
  std::map<DWORD_PTR, Advise> advises_;
};

}  // namespace vidorra::test
