// CRunningObjectTable and GetRunningObjectTable.
#include "running_object_table.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "devmoniker.h"

namespace {

// FILETIME counts 100-nanosecond ticks since 1601-01-01; the system clock counts from 1970.
constexpr ULONGLONG kTicksPerSecond = 10'000'000;
constexpr ULONGLONG kSecondsFrom1601To1970 = 11'644'473'600;

FILETIME Now() {
  const auto sinceUnixEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks = static_cast<ULONGLONG>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceUnixEpoch).count() / 100);
  const ULONGLONG value = ticks + kSecondsFrom1601To1970 * kTicksPerSecond;
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

}  // namespace

HRESULT CRunningObjectTable::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  const HRESULT hr = QueryInterfaceTable<IRunningObjectTable>(this, riid, ppv);
  if (hr != E_NOINTERFACE) return hr;
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

std::vector<CRunningObjectTable::Entry> CRunningObjectTable::SnapshotEntries() {
  std::lock_guard lock(mutex_);
  return entries_;
}

bool CRunningObjectTable::FindEntry(IMoniker* moniker, Entry* found) {
  for (Entry& entry : SnapshotEntries()) {
    if (moniker->IsEqual(entry.moniker.Get()) == S_OK) {
      *found = std::move(entry);
      return true;
    }
  }
  return false;
}

STDMETHODIMP CRunningObjectTable::Register(DWORD /*grfFlags*/, IUnknown* punkObject,
                                           IMoniker* pmkObjectName, DWORD* pdwRegister) {
  if (!pdwRegister) return E_INVALIDARG;
  *pdwRegister = 0;
  if (!punkObject || !pmkObjectName) return E_INVALIDARG;
  Entry existing;
  const bool duplicate = FindEntry(pmkObjectName, &existing);
  Entry entry;
  entry.object = punkObject;
  entry.moniker = pmkObjectName;
  entry.lastChange = Now();
  {
    std::lock_guard lock(mutex_);
    // Cookies are never 0 and never reused while their entry is still registered.
    auto taken = [this](DWORD cookie) {
      return std::any_of(entries_.begin(), entries_.end(),
                         [cookie](const Entry& e) { return e.cookie == cookie; });
    };
    while (nextCookie_ == 0 || taken(nextCookie_)) ++nextCookie_;
    entry.cookie = nextCookie_++;
    *pdwRegister = entry.cookie;
    entries_.push_back(std::move(entry));
  }
  return duplicate ? MK_S_MONIKERALREADYREGISTERED : S_OK;
}

STDMETHODIMP CRunningObjectTable::Revoke(DWORD dwRegister) {
  Entry removed;  // released after the lock, since the object's Release may use the table
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [dwRegister](const Entry& e) { return e.cookie == dwRegister; });
    if (it == entries_.end()) return E_INVALIDARG;
    removed = std::move(*it);
    entries_.erase(it);
  }
  return S_OK;
}

STDMETHODIMP CRunningObjectTable::IsRunning(IMoniker* pmkObjectName) {
  if (!pmkObjectName) return E_INVALIDARG;
  Entry found;
  return FindEntry(pmkObjectName, &found) ? S_OK : S_FALSE;
}

STDMETHODIMP CRunningObjectTable::GetObject(IMoniker* pmkObjectName, IUnknown** ppunkObject) {
  if (!ppunkObject) return E_POINTER;
  *ppunkObject = nullptr;
  if (!pmkObjectName) return E_INVALIDARG;
  Entry found;
  if (!FindEntry(pmkObjectName, &found)) return MK_E_UNAVAILABLE;
  *ppunkObject = found.object.Detach();
  return S_OK;
}

STDMETHODIMP CRunningObjectTable::NoteChangeTime(DWORD dwRegister, FILETIME* pfiletime) {
  if (!pfiletime) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [dwRegister](const Entry& e) { return e.cookie == dwRegister; });
  if (it == entries_.end()) return E_INVALIDARG;
  it->lastChange = *pfiletime;
  return S_OK;
}

STDMETHODIMP CRunningObjectTable::GetTimeOfLastChange(IMoniker* pmkObjectName,
                                                      FILETIME* pfiletime) {
  if (!pmkObjectName || !pfiletime) return E_INVALIDARG;
  Entry found;
  if (!FindEntry(pmkObjectName, &found)) return MK_E_UNAVAILABLE;
  *pfiletime = found.lastChange;
  return S_OK;
}

STDMETHODIMP CRunningObjectTable::EnumRunning(IEnumMoniker** ppenumMoniker) {
  if (!ppenumMoniker) return E_POINTER;
  std::vector<ComPtr<IMoniker>> monikers;
  for (const Entry& entry : SnapshotEntries()) monikers.push_back(entry.moniker);
  return CreateMonikerEnumerator(std::move(monikers), ppenumMoniker);
}

HRESULT GetRunningObjectTable(DWORD /*reserved*/, LPRUNNINGOBJECTTABLE* pprot) {
  if (!pprot) return E_INVALIDARG;
  // One table per process, created on first use. Objects still registered at exit are
  // released when the table goes away with the other statics.
  static ComPtr<CRunningObjectTable> table = MakeComObject<CRunningObjectTable>();
  ComPtr<IRunningObjectTable> reference = table;
  *pprot = reference.Detach();
  return S_OK;
}
