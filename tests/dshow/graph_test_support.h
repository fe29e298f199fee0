// Helpers shared by the graph tests: graph creation, pins and their peers and owners, events.
#pragma once

#include <gtest/gtest.h>
#include <streams.h>

#include <string>
#include <vector>

#include "FilterPins.h"

namespace vidorra::test {

inline ComPtr<IGraphBuilder> NewGraph() {
  ComPtr<IGraphBuilder> graph;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.ReleaseAndGetVoidAddressOf()));
  return graph;
}

// The pin's peer, or null.
inline ComPtr<IPin> Peer(IPin* pin) {
  ComPtr<IPin> peer;
  if (pin) pin->ConnectedTo(peer.GetAddressOf());
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

struct GraphEvent {
  long code;
  LONG_PTR param1;
  LONG_PTR param2;
};

// Waits up to timeoutMs for the next event of the graph.
inline bool NextEvent(IUnknown* graph, GraphEvent* event, long timeoutMs) {
  ComPtr<IMediaEventEx> events = QueryAs<IMediaEventEx>(graph);
  if (events->GetEvent(&event->code, &event->param1, &event->param2, timeoutMs) != S_OK) {
    return false;
  }
  events->FreeEventParams(event->code, event->param1, event->param2);
  return true;
}

}  // namespace vidorra::test
