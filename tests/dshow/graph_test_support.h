// Helpers shared by the graph tests beyond the test support's (FilterPins.h: graph creation,
// pins and their peers, events): pins' owners, pins by name, filters' classes, connections.
#pragma once

#include <gtest/gtest.h>
#include <streams.h>

#include <string>
#include <vector>

#include "FilterPins.h"

namespace vidorra::test {

// The filter a pin belongs to, or null.
inline ComPtr<IBaseFilter> OwnerOf(IPin* pin) {
  PIN_INFO info{};
  if (!pin || FAILED(pin->QueryPinInfo(&info))) return nullptr;
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);
  return owner;
}

inline CLSID ClassOf(IBaseFilter* filter) {
  CLSID clsid = GUID_NULL;
  if (filter) filter->GetClassID(&clsid);
  return clsid;
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

}  // namespace vidorra::test
