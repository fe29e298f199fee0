// The interface search behind ICaptureGraphBuilder2::FindInterface: asks objects of a graph,
// nearest first, for an interface. Stateless; runs on the caller's thread with the graph
// stopped or running (it only queries pins and filters).
#pragma once

#include <comptr.h>
#include <dshow.h>

namespace vidorra::dshow::capture_builder {

enum class SearchDirection { kUpstream, kDownstream };

// Asks the object for riid; S_OK with *ppv set when it answers.
HRESULT AskFor(IUnknown* object, REFIID riid, void** ppv);

// Asks the filter, then each of its pins in enumeration order.
HRESULT AskFilterAndPins(IBaseFilter* filter, REFIID riid, void** ppv);

// Asks the filter's pins on one side (input pins for upstream, output pins for downstream).
HRESULT AskPins(IBaseFilter* filter, SearchDirection direction, REFIID riid, void** ppv);

// Walks the connections of `start` in one direction, breadth first, without asking `start`
// itself: each pin on the far side of a connection, then its filter and that filter's pins,
// then on from there. E_NOINTERFACE when nothing answers.
HRESULT SearchFromFilter(IBaseFilter* start, SearchDirection direction, REFIID riid, void** ppv);

// The same walk downstream of one output pin: its peer, the peer's filter, and on.
HRESULT SearchDownstreamOfPin(IPin* output, REFIID riid, void** ppv);

}  // namespace vidorra::dshow::capture_builder
