// Interface search of the capture graph builder (see CaptureGraphBuilderSearch.h).
#include "CaptureGraphBuilderSearch.h"

#include <comimpl.h>

#include "CaptureGraphBuilderPins.h"

namespace vidorra::dshow::capture_builder {

namespace {

// A graph has no loops; a longer path than this is a broken one, not searched further.
constexpr int kMaxDepth = 64;

HRESULT AskAlong(IPin* pin, PIN_DIRECTION side, REFIID riid, void** ppv, int depth);

HRESULT AskAlongSide(IBaseFilter* filter, PIN_DIRECTION side, REFIID riid, void** ppv, int depth) {
  for (const ComPtr<IPin>& pin : PinsOf(filter)) {
    if (DirectionOf(pin.Get()) == side && AskAlong(pin.Get(), side, riid, ppv, depth) == S_OK) {
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

HRESULT AskAlong(IPin* pin, PIN_DIRECTION side, REFIID riid, void** ppv, int depth) {
  if (depth > kMaxDepth) return E_NOINTERFACE;
  if (AskFor(pin, riid, ppv) == S_OK) return S_OK;
  ComPtr<IPin> peer = PeerOf(pin);
  if (!peer) return E_NOINTERFACE;
  if (AskFor(peer.Get(), riid, ppv) == S_OK) return S_OK;
  ComPtr<IBaseFilter> owner = OwnerOf(peer.Get());
  if (!owner) return E_NOINTERFACE;
  if (AskFor(owner.Get(), riid, ppv) == S_OK) return S_OK;
  return AskAlongSide(owner.Get(), side, riid, ppv, depth + 1);
}

}  // namespace

HRESULT AskFor(IUnknown* object, REFIID riid, void** ppv) {
  if (!object) return E_NOINTERFACE;
  void* found = nullptr;
  if (FAILED(object->QueryInterface(riid, &found)) || !found) return E_NOINTERFACE;
  *ppv = found;
  return S_OK;
}

HRESULT AskAlong(IPin* pin, PIN_DIRECTION side, REFIID riid, void** ppv) {
  return AskAlong(pin, side, riid, ppv, 0);
}

HRESULT AskAlongSide(IBaseFilter* filter, PIN_DIRECTION side, REFIID riid, void** ppv) {
  return AskAlongSide(filter, side, riid, ppv, 0);
}

}  // namespace vidorra::dshow::capture_builder
