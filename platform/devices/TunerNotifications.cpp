// TunerNotifications; see TunerNotifications.h.
#include "TunerNotifications.h"

#include <algorithm>

namespace vidorra::devices {

HRESULT TunerNotifications::Register(IAMTunerNotification* callback, long events) {
  if (!callback) return E_POINTER;
  std::lock_guard lock(mutex_);
  for (auto& [registered, mask] : callbacks_) {
    if (registered.Get() == callback) {
      mask = events;
      return S_OK;
    }
  }
  callbacks_.emplace_back(callback, events);
  return S_OK;
}

HRESULT TunerNotifications::Unregister(IAMTunerNotification* callback) {
  std::lock_guard lock(mutex_);
  const auto before = callbacks_.size();
  std::erase_if(callbacks_, [&](const auto& item) { return item.first.Get() == callback; });
  return callbacks_.size() < before ? S_OK : E_INVALIDARG;
}

void TunerNotifications::Notify(long event) {
  std::vector<ComPtr<IAMTunerNotification>> told;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [callback, mask] : callbacks_) {
      if (mask & event) told.push_back(callback);
    }
  }
  for (const auto& callback : told) callback->OnEvent(event);
}

}  // namespace vidorra::devices
