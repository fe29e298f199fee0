// The list of device moniker resolvers (see devmoniker.h). Resolvers are kept in the order
// they were added; lookups take a snapshot under the list's mutex and call the resolvers
// after releasing it, so a resolver may add or remove resolvers, or bind other monikers.
#pragma once

#include <devmoniker.h>

#include <memory>
#include <mutex>
#include <vector>

class DeviceMonikerResolverList {
 public:
  static DeviceMonikerResolverList& Instance();

  void Add(std::shared_ptr<DeviceMonikerResolver> resolver);
  void Remove(const std::shared_ptr<DeviceMonikerResolver>& resolver);
  std::vector<std::shared_ptr<DeviceMonikerResolver>> Snapshot();

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<DeviceMonikerResolver>> resolvers_;
};
