// Creating filters, finding their pins by index and running a graph to its end, for tests and
// benchmarks that build graphs by hand.
#pragma once

#include <streams.h>

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

// Runs the graph until it reports EC_COMPLETE (true) or fails, aborts or times out (false),
// and stops it.
inline bool RunToCompletion(IGraphBuilder* graph, long timeoutMs) {
  ComPtr<IMediaControl> control = QueryAs<IMediaControl>(graph);
  ComPtr<IMediaEventEx> events = QueryAs<IMediaEventEx>(graph);
  // S_FALSE: the graph runs once its filters have cued.
  if (!control || !events || FAILED(control->Run())) return false;
  long code = 0;
  const bool done = events->WaitForCompletion(timeoutMs, &code) == S_OK;
  control->Stop();
  return done && code == EC_COMPLETE;
}

}  // namespace vidorra::test
