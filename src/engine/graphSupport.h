// Small helpers shared by the graph unit's files (not part of its interface).
#pragma once

#include <comptr.h>

#include <QString>

#include "Component.h"
#include "MediaGraph.h"
#include "MediaUtil.h"

namespace graph_support {

// The component's interface, or EMediaGraphException (a filter component without a live
// filter has none).
template <class I>
ComPtr<I> Require(TComponent* component) {
  ComPtr<I> result;
  CheckGraphResult(component->QueryInterface(I::kIid, result.ReleaseAndGetVoidAddressOf()));
  if (!result) CheckGraphResult(E_NOINTERFACE);
  return result;
}

// The pin of `filter` at `index` in the filter's order; EListError when it has no such pin.
inline ComPtr<IPin> PinOf(IBaseFilter* filter, int index) {
  return TPinList::CreateFromFilter(filter).PinAt(index);
}

// The first filter of the graph named exactly `name`; null when there is none.
inline ComPtr<IBaseFilter> FindFilterNamed(IFilterGraph* graph, const QString& name) {
  const TFilterList filters = TFilterList::CreateFromGraph(graph);
  for (int i = 0; i < filters.Count(); ++i) {
    if (filters.FilterNameAt(i) == name) return filters.FilterAt(i);
  }
  return {};
}

// The filter that owns `pin`.
inline ComPtr<IBaseFilter> FilterOfPin(IPin* pin) {
  PIN_INFO info{};
  CheckGraphResult(pin->QueryPinInfo(&info));
  ComPtr<IBaseFilter> filter;
  filter.Attach(info.pFilter);
  return filter;
}

// Takes a filter component out of its graph on a failure path, where nothing more may be
// raised.
inline void LeaveGraph(TFilter* filter) noexcept {
  try {
    filter->SetFilterGraph(nullptr);
  } catch (...) {  // NOLINT(bugprone-empty-catch): already on the failure path
  }
}

}  // namespace graph_support
