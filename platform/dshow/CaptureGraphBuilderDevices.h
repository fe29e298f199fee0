// Device categories as the capture graph builder reads them: the entries of a system device
// enumerator category (friendly name and moniker) and binding an entry to its filter.
// Stateless; called on the thread that builds the graph.
#pragma once

#include <comptr.h>
#include <dshow.h>

#include <string>
#include <vector>

namespace vidorra::dshow::capture_builder {

struct DeviceEntry {
  std::wstring friendlyName;
  ComPtr<IMoniker> moniker;
};

// The entries of the category in the enumerator's order; empty when the category is empty or
// the system device enumerator is not available.
std::vector<DeviceEntry> DevicesOf(REFCLSID category);

// Creates the entry's filter (null when binding fails).
ComPtr<IBaseFilter> BindFilter(IMoniker* moniker);

}  // namespace vidorra::dshow::capture_builder
