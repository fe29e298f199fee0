// The tests' and benchmarks' one set of graph helpers: creating filters and graphs, finding and
// linking pins and their owners, running a graph, and waiting for its events.
#pragma once

#include <streams.h>

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vidorra::test {

// A registered filter by class, or null when it cannot be created.
inline ComPtr<IBaseFilter> CreateFilter(REFCLSID clsid) {
  ComPtr<IBaseFilter> filter;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                   filter.ReleaseAndGetVoidAddressOf());
  return filter;
}

// A filter graph; without clock its sources run as fast as the graph takes their samples.
inline ComPtr<IGraphBuilder> NewGraph(bool clocked = true) {
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  if (graph && !clocked) QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
  return graph;
}

// The filter's pins in its enumeration order.
inline std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> e;
  if (filter == nullptr || FAILED(filter->EnumPins(e.GetAddressOf())) || !e) return pins;
  ComPtr<IPin> pin;
  while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) pins.push_back(pin);
  return pins;
}

// The filter's pin at `index` in its enumeration order, or null when there is none.
inline ComPtr<IPin> PinAt(IBaseFilter* filter, int index) {
  const auto pins = PinsOf(filter);
  return index >= 0 && static_cast<size_t>(index) < pins.size() ? pins[index] : nullptr;
}

inline std::wstring PinName(IPin* pin) {
  PIN_INFO info{};
  pin->QueryPinInfo(&info);
  if (info.pFilter) info.pFilter->Release();
  return info.achName;
}

// The pin connected to `pin` (null when none).
inline ComPtr<IPin> Peer(IPin* pin) {
  ComPtr<IPin> peer;
  pin->ConnectedTo(peer.GetAddressOf());
  return peer;
}

// The filter a pin belongs to, or null.
inline ComPtr<IBaseFilter> OwnerOf(IPin* pin) {
  PIN_INFO info{};
  if (!pin || FAILED(pin->QueryPinInfo(&info))) return nullptr;
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);
  return owner;
}

// The filter's pin of that name, or null.
inline ComPtr<IPin> PinNamed(IBaseFilter* filter, const wchar_t* name) {
  ComPtr<IPin> pin;
  if (filter) filter->FindPin(name, pin.GetAddressOf());
  return pin;
}

inline bool Connected(IPin* output, IPin* input) {
  ComPtr<IPin> peer = Peer(output);
  return peer && IsSameObject(peer.Get(), input);
}

// Adds the filters under the given names; the first failure.
inline HRESULT AddFilters(IGraphBuilder* graph,
                          std::initializer_list<std::pair<IBaseFilter*, const wchar_t*>> filters) {
  for (const auto& [filter, name] : filters) {
    const HRESULT hr = graph->AddFilter(filter, name);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// Connects pin `out` of `from` straight to pin `in` of `to` (pins by enumeration index).
inline HRESULT Link(IGraphBuilder* graph, IBaseFilter* from, int out, IBaseFilter* to, int in) {
  return graph->ConnectDirect(PinAt(from, out).Get(), PinAt(to, in).Get(), nullptr);
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

inline HRESULT RunGraph(IUnknown* graph) { return QueryAs<IMediaControl>(graph)->Run(); }
inline HRESULT StopGraph(IUnknown* graph) { return QueryAs<IMediaControl>(graph)->Stop(); }

struct GraphEvent {
  long code = 0;
  LONG_PTR param1 = 0, param2 = 0;
};

// The graph's next event whose code is among `codes` (any code when none is given), passing
// over the others; nullopt when none comes within timeoutMs.
inline std::optional<GraphEvent> NextGraphEvent(IUnknown* graph, std::initializer_list<long> codes,
                                                long timeoutMs = 20'000) {
  ComPtr<IMediaEventEx> events = QueryAs<IMediaEventEx>(graph);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    GraphEvent e;
    if (!events || events->GetEvent(&e.code, &e.param1, &e.param2,
                                    std::max<long>(static_cast<long>(left.count()), 0)) != S_OK) {
      return std::nullopt;
    }
    events->FreeEventParams(e.code, e.param1, e.param2);
    if (codes.size() == 0 || std::find(codes.begin(), codes.end(), e.code) != codes.end()) return e;
  }
}

// The first parameter of the graph's next event `code`; nullopt when it does not come in time.
inline std::optional<LONG_PTR> WaitForGraphEvent(IUnknown* graph, long code,
                                                 long timeoutMs = 20'000) {
  const auto e = NextGraphEvent(graph, {code}, timeoutMs);
  return e ? std::optional<LONG_PTR>(e->param1) : std::nullopt;
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
