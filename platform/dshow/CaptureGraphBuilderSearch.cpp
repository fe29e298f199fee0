// Interface search of the capture graph builder (see CaptureGraphBuilderSearch.h).
#include "CaptureGraphBuilderSearch.h"

#include <comimpl.h>

#include <deque>
#include <set>

#include "CaptureGraphBuilderPins.h"

namespace vidorra::dshow::capture_builder {

namespace {

// Identity of a COM object: its IUnknown pointer.
IUnknown* IdentityOf(IUnknown* object) {
  ComPtr<IUnknown> identity = QueryAs<IUnknown>(object);
  return identity.Get();  // the object stays alive through the caller's reference
}

// Breadth-first walk over filters. A graph has no cycles, but a filter reached by two paths
// is asked once.
class GraphWalk {
 public:
  GraphWalk(SearchDirection direction, REFIID riid, void** ppv)
      : direction_(direction), riid_(riid), ppv_(ppv) {}

  void MarkVisited(IBaseFilter* filter) { visited_.insert(IdentityOf(filter)); }
  void Enqueue(IBaseFilter* filter) { queue_.emplace_back(filter); }

  // Asks the pin across `pin`'s connection, then its filter (once) with that filter's pins,
  // and queues that filter.
  bool VisitAcross(IPin* pin) {
    ComPtr<IPin> peer = PeerOf(pin);
    if (!peer) return false;
    if (AskFor(peer.Get(), riid_, ppv_) == S_OK) return true;
    ComPtr<IBaseFilter> owner = OwnerOf(peer.Get());
    if (!owner || !visited_.insert(IdentityOf(owner.Get())).second) return false;
    if (AskFilterAndPins(owner.Get(), riid_, ppv_) == S_OK) return true;
    queue_.push_back(owner);
    return false;
  }

  HRESULT Run() {
    const PIN_DIRECTION side =
        direction_ == SearchDirection::kUpstream ? PINDIR_INPUT : PINDIR_OUTPUT;
    while (!queue_.empty()) {
      ComPtr<IBaseFilter> filter = std::move(queue_.front());
      queue_.pop_front();
      for (const ComPtr<IPin>& pin : PinsOf(filter.Get())) {
        if (DirectionOf(pin.Get()) != side) continue;
        if (VisitAcross(pin.Get())) return S_OK;
      }
    }
    return E_NOINTERFACE;
  }

 private:
  SearchDirection direction_;
  const IID& riid_;
  void** ppv_;
  std::set<IUnknown*> visited_;
  std::deque<ComPtr<IBaseFilter>> queue_;
};

}  // namespace

HRESULT AskFor(IUnknown* object, REFIID riid, void** ppv) {
  if (!object) return E_NOINTERFACE;
  void* found = nullptr;
  if (FAILED(object->QueryInterface(riid, &found)) || !found) return E_NOINTERFACE;
  *ppv = found;
  return S_OK;
}

HRESULT AskFilterAndPins(IBaseFilter* filter, REFIID riid, void** ppv) {
  if (AskFor(filter, riid, ppv) == S_OK) return S_OK;
  for (const ComPtr<IPin>& pin : PinsOf(filter)) {
    if (AskFor(pin.Get(), riid, ppv) == S_OK) return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT AskPins(IBaseFilter* filter, SearchDirection direction, REFIID riid, void** ppv) {
  const PIN_DIRECTION side = direction == SearchDirection::kUpstream ? PINDIR_INPUT : PINDIR_OUTPUT;
  for (const ComPtr<IPin>& pin : PinsOf(filter)) {
    if (DirectionOf(pin.Get()) == side && AskFor(pin.Get(), riid, ppv) == S_OK) return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT SearchFromFilter(IBaseFilter* start, SearchDirection direction, REFIID riid, void** ppv) {
  GraphWalk walk(direction, riid, ppv);
  walk.MarkVisited(start);
  walk.Enqueue(start);
  return walk.Run();
}

HRESULT SearchDownstreamOfPin(IPin* output, REFIID riid, void** ppv) {
  GraphWalk walk(SearchDirection::kDownstream, riid, ppv);
  if (ComPtr<IBaseFilter> owner = OwnerOf(output)) walk.MarkVisited(owner.Get());
  if (walk.VisitAcross(output)) return S_OK;
  return walk.Run();
}

}  // namespace vidorra::dshow::capture_builder
