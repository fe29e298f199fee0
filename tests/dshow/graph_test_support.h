// Helpers shared by the graph tests: graph creation, pin lookup, event draining.
#pragma once

#include <gtest/gtest.h>
#include <streams.h>

#include <vector>

#include "FilterPins.h"

namespace vidorra::test {

inline ComPtr<IGraphBuilder> NewGraph() {
  ComPtr<IGraphBuilder> graph;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.ReleaseAndGetVoidAddressOf()));
  return graph;
}

inline ComPtr<IPin> Peer(IPin* pin) {
  ComPtr<IPin> peer;
  pin->ConnectedTo(peer.GetAddressOf());
  return peer;
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
