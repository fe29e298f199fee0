// Creating filters, finding their pins by index, waiting for a graph's events and running a
// graph to its end, for tests and benchmarks that build graphs by hand.
#pragma once

#include <streams.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vidorra::test {

// A registered filter by class, or null when it cannot be created.
inline ComPtr<IBaseFilter> CreateFilter(REFCLSID clsid) {
  ComPtr<IBaseFilter> filter;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                   filter.ReleaseAndGetVoidAddressOf());
  return filter;
}

// The filter's pin at `index` in its enumeration order, or null when there is none.
inline ComPtr<IPin> PinAt(IBaseFilter* filter, int index) {
  ComPtr<IEnumPins> pins;
  if (filter == nullptr || FAILED(filter->EnumPins(pins.GetAddressOf())) || !pins) return nullptr;
  if (index > 0 && pins->Skip(static_cast<ULONG>(index)) != S_OK) return nullptr;
  ComPtr<IPin> pin;
  if (pins->Next(1, pin.GetAddressOf(), nullptr) != S_OK) return nullptr;
  return pin;
}

// The names of the graph's filters, in its enumeration order.
inline std::vector<std::wstring> FilterNames(IFilterGraph* graph) {
  std::vector<std::wstring> names;
  ComPtr<IEnumFilters> filters;
  graph->EnumFilters(filters.GetAddressOf());
  ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    FILTER_INFO info{};
    filter->QueryFilterInfo(&info);
    if (info.pGraph) info.pGraph->Release();
    names.emplace_back(info.achName);
  }
  return names;
}

// Waits up to timeoutMs for the graph's event `code`, passing over the others; its first
// parameter, or nullopt when it does not come in time.
inline std::optional<LONG_PTR> WaitForGraphEvent(IUnknown* graph, long code,
                                                 long timeoutMs = 20'000) {
  ComPtr<IMediaEventEx> events = QueryAs<IMediaEventEx>(graph);
  if (!events) return std::nullopt;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    long got = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (events->GetEvent(&got, &p1, &p2, static_cast<long>(left.count())) != S_OK) {
      return std::nullopt;
    }
    events->FreeEventParams(got, p1, p2);
    if (got == code) return p1;
  }
}

// Runs the graph until it reports EC_COMPLETE (true) or fails, aborts or times out (false),
// and stops it.
inline bool RunToCompletion(IGraphBuilder* graph, long timeoutMs) {
  ComPtr<IMediaControl> control = QueryAs<IMediaControl>(graph);
  ComPtr<IMediaEventEx> events = QueryAs<IMediaEventEx>(graph);
  // S_FALSE: the graph runs once its filters have cued.
  if (!control || !events || FAILED(control->Run())) return false;
  long code = 0;
  const bool done = events->WaitForCompletion(timeoutMs, &code) == S_OK;
  // A stop that fails (a file the writer could not finish) fails the run too.
  const HRESULT stopped = control->Stop();
  return done && code == EC_COMPLETE && SUCCEEDED(stopped);
}

}  // namespace vidorra::test
