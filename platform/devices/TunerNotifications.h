// The IAMTunerNotification callbacks registered with a TV tuner or TV audio filter, told of
// changes (AMTUNER_EVENT_CHANGED) after the change is made.
//
// Threads: any; callbacks are called without the list's lock, on the thread of the change.
#pragma once

#include <comptr.h>
#include <strmif.h>

#include <mutex>
#include <utility>
#include <vector>

namespace vidorra::devices {

class TunerNotifications {
 public:
  // E_POINTER for no callback; the same callback registered again takes the new events.
  HRESULT Register(IAMTunerNotification* callback, long events);
  // E_INVALIDARG when the callback is not registered.
  HRESULT Unregister(IAMTunerNotification* callback);
  void Notify(long event);

 private:
  std::mutex mutex_;
  std::vector<std::pair<ComPtr<IAMTunerNotification>, long>> callbacks_;
};

}  // namespace vidorra::devices
