// Creating filters and finding their pins by index, for tests and benchmarks that build
// graphs by hand.
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

}  // namespace vidorra::test
