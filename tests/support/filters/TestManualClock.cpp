#include "TestManualClock.h"

#include <windows.h>

namespace vidorra::test {

HRESULT TestManualClock::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IReferenceClock) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP TestManualClock::GetTime(REFERENCE_TIME* pTime) {
  if (!pTime) return E_POINTER;
  std::lock_guard lock(mutex_);
  *pTime = now_;
  return S_OK;
}

STDMETHODIMP TestManualClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                         HEVENT hEvent, DWORD_PTR* pdwAdviseCookie) {
  if (!pdwAdviseCookie) return E_POINTER;
  if (!hEvent || baseTime + streamTime < 0) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  *pdwAdviseCookie = nextCookie_++;
  advises_[*pdwAdviseCookie] = {baseTime + streamTime, reinterpret_cast<HANDLE>(hEvent)};
  FireDueLocked();
  return S_OK;
}

STDMETHODIMP TestManualClock::Unadvise(DWORD_PTR dwAdviseCookie) {
  std::lock_guard lock(mutex_);
  return advises_.erase(dwAdviseCookie) ? S_OK : S_FALSE;
}

void TestManualClock::AdvanceTo(REFERENCE_TIME time) {
  std::lock_guard lock(mutex_);
  if (time > now_) now_ = time;
  FireDueLocked();
}

REFERENCE_TIME TestManualClock::Now() {
  std::lock_guard lock(mutex_);
  return now_;
}

size_t TestManualClock::PendingAdvises() {
  std::lock_guard lock(mutex_);
  return advises_.size();
}

void TestManualClock::FireDueLocked() {
  for (auto it = advises_.begin(); it != advises_.end();) {
    if (it->second.due > now_) {
      ++it;
    } else {
      SetEvent(it->second.handle);
      it = advises_.erase(it);
    }
  }
}

}  // namespace vidorra::test
