// DeviceMonikerResolverList and the public functions over it.
#include "device_moniker_resolvers.h"

#include <algorithm>

DeviceMonikerResolverList& DeviceMonikerResolverList::Instance() {
  // Function-local: resolvers may be added from other libraries' static initialisers.
  static DeviceMonikerResolverList list;
  return list;
}

void DeviceMonikerResolverList::Add(std::shared_ptr<DeviceMonikerResolver> resolver) {
  if (!resolver) return;
  std::lock_guard lock(mutex_);
  if (std::find(resolvers_.begin(), resolvers_.end(), resolver) != resolvers_.end()) return;
  resolvers_.push_back(std::move(resolver));
}

void DeviceMonikerResolverList::Remove(const std::shared_ptr<DeviceMonikerResolver>& resolver) {
  std::lock_guard lock(mutex_);
  resolvers_.erase(std::remove(resolvers_.begin(), resolvers_.end(), resolver), resolvers_.end());
}

std::vector<std::shared_ptr<DeviceMonikerResolver>> DeviceMonikerResolverList::Snapshot() {
  std::lock_guard lock(mutex_);
  return resolvers_;
}

void AddDeviceMonikerResolver(std::shared_ptr<DeviceMonikerResolver> resolver) {
  DeviceMonikerResolverList::Instance().Add(std::move(resolver));
}

void RemoveDeviceMonikerResolver(const std::shared_ptr<DeviceMonikerResolver>& resolver) {
  DeviceMonikerResolverList::Instance().Remove(resolver);
}
