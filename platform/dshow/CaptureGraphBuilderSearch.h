// The interface search behind ICaptureGraphBuilder2::FindInterface: asks objects of a graph for
// an interface, depth first along connections. Stateless; runs on the caller's thread with the
// graph stopped or running (it only queries pins and filters).
//
// Along a pin, on one side (outputs: downstream, inputs: upstream): the pin, its peer, the
// peer's filter, then along each of that filter's pins on the same side, in their order.
#pragma once

#include <comptr.h>
#include <dshow.h>

namespace vidorra::dshow::capture_builder {

// Asks the object for riid; S_OK with *ppv set when it answers.
HRESULT AskFor(IUnknown* object, REFIID riid, void** ppv);

// Asks along one pin (see above); E_NOINTERFACE when nothing answers.
HRESULT AskAlong(IPin* pin, PIN_DIRECTION side, REFIID riid, void** ppv);

// Asks along each of the filter's pins on one side, in their order.
HRESULT AskAlongSide(IBaseFilter* filter, PIN_DIRECTION side, REFIID riid, void** ppv);

}  // namespace vidorra::dshow::capture_builder
