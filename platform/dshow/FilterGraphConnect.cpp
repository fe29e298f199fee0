// CFilterGraph: direct and intelligent connection, rendering, reconnection.
#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <set>

#include "CaptureGraphBuilderPins.h"
#include "FilterGraph.h"
#include "FilterRegistry.h"
#include "MediaType.h"

using vidorra::dshow::capture_builder::OwnerOf;

namespace {

// Intelligent connect puts at most this many filters between two pins.
constexpr int kMaxIntermediateFilters = 2;
// Render goes at most this many filters deep through the filters already in the graph.
constexpr int kMaxRenderDepth = 4;

struct TypePair {
  GUID major;
  GUID sub;
};

std::vector<TypePair> TypesOf(IPin* pin) {
  std::vector<TypePair> result;
  ComPtr<IEnumMediaTypes> types;
  if (FAILED(pin->EnumMediaTypes(types.GetAddressOf())) || !types) return result;
  AM_MEDIA_TYPE* mt = nullptr;
  ULONG fetched = 0;
  while (types->Next(1, &mt, &fetched) == S_OK && fetched == 1) {
    result.push_back({mt->majortype, mt->subtype});
    DeleteMediaType(mt);
  }
  return result;
}

// True when one registered pair matches one of the pin's types; a pin that names no type
// (a renderer's input often does not) matches everything.
bool AnyTypeMatches(const std::vector<RegPinType>& registered, const std::vector<TypePair>& pin) {
  if (pin.empty()) return true;
  for (const RegPinType& r : registered) {
    for (const TypePair& p : pin) {
      if (RegPinTypeMatches(r, p.major, p.sub)) return true;
    }
  }
  return false;
}

bool IsDirection(IPin* pin, PIN_DIRECTION wanted) {
  PIN_DIRECTION direction;
  return SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted;
}

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter, PIN_DIRECTION direction) {
  std::vector<ComPtr<IPin>> result;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.GetAddressOf()))) return result;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (IsDirection(pin.Get(), direction)) result.push_back(pin);
  }
  return result;
}

bool IsConnected(IPin* pin) {
  ComPtr<IPin> peer;
  return SUCCEEDED(pin->ConnectedTo(peer.GetAddressOf())) && peer;
}

std::vector<ComPtr<IPin>> FreePinsOf(IBaseFilter* filter, PIN_DIRECTION direction) {
  std::vector<ComPtr<IPin>> pins = PinsOf(filter, direction);
  std::erase_if(pins, [](const ComPtr<IPin>& pin) { return IsConnected(pin.Get()); });
  return pins;
}

// Faults of the call itself, which no filter in between mends.
bool IsCallFault(HRESULT hr) {
  return hr == E_POINTER || hr == VFW_E_NOT_STOPPED || hr == VFW_E_NOT_IN_GRAPH ||
         hr == VFW_E_INVALID_DIRECTION || hr == VFW_E_ALREADY_CONNECTED ||
         hr == VFW_E_CIRCULAR_GRAPH;
}

// Records sorted by merit, highest first, keeping registration order among equals; records
// at or below MERIT_DO_NOT_USE are never chosen automatically.
std::vector<FilterRecord> ByMerit(std::vector<FilterRecord> records) {
  std::erase_if(records, [](const FilterRecord& r) { return r.merit <= MERIT_DO_NOT_USE; });
  std::stable_sort(records.begin(), records.end(),
                   [](const FilterRecord& a, const FilterRecord& b) { return a.merit > b.merit; });
  return records;
}

}  // namespace

// The data from `in` would come back to `out`: `out`'s filter is `in`'s or lies downstream of
// it (a filter is taken to pass what comes in on any input to all its outputs).
bool CFilterGraph::WouldCloseALoop(IPin* out, IPin* in) {
  ComPtr<IBaseFilter> target = OwnerOf(out);
  ComPtr<IBaseFilter> start = OwnerOf(in);
  if (!target || !start) return false;
  std::vector<ComPtr<IBaseFilter>> pending{start};
  std::set<IBaseFilter*> seen{start.Get()};
  while (!pending.empty()) {
    ComPtr<IBaseFilter> filter = std::move(pending.back());
    pending.pop_back();
    if (IsSameObject(filter.Get(), target.Get())) return true;
    for (ComPtr<IPin>& output : PinsOf(filter.Get(), PINDIR_OUTPUT)) {
      ComPtr<IPin> peer;
      if (FAILED(output->ConnectedTo(peer.GetAddressOf())) || !peer) continue;
      ComPtr<IBaseFilter> next = OwnerOf(peer.Get());
      if (next && seen.insert(next.Get()).second) pending.push_back(std::move(next));
    }
  }
  return false;
}

// The graph's state is not checked: a filter that can connect while active may, the others
// refuse with VFW_E_NOT_STOPPED.
HRESULT CFilterGraph::ConnectDirectLocked(IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt) {
  if (!out || !in) return E_POINTER;
  if (!ContainsPinOf(out) || !ContainsPinOf(in)) return VFW_E_NOT_IN_GRAPH;
  if (!IsDirection(out, PINDIR_OUTPUT) || !IsDirection(in, PINDIR_INPUT)) {
    return VFW_E_INVALID_DIRECTION;
  }
  if (WouldCloseALoop(out, in)) return VFW_E_CIRCULAR_GRAPH;
  return out->Connect(in, pmt);
}

STDMETHODIMP CFilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
  std::lock_guard lock(graphLock_);
  const HRESULT hr = ConnectDirectLocked(ppinOut, ppinIn, pmt);
  log_.Write("ConnectDirect " + PinText(ppinOut) + " " + PinText(ppinIn), hr);
  return hr;
}

STDMETHODIMP CFilterGraph::Connect(IPin* ppinOut, IPin* ppinIn) {
  std::lock_guard lock(graphLock_);
  // The pins are asked first, whatever the graph's state (a pin that cannot connect while
  // active refuses); intelligent connect, which may add filters, only in a stopped graph.
  const HRESULT hr = state_ != State_Stopped ? ConnectDirectLocked(ppinOut, ppinIn, nullptr)
                                             : ConnectLocked(ppinOut, ppinIn, 0);
  log_.Write("Connect " + PinText(ppinOut) + " " + PinText(ppinIn), hr);
  return hr;
}

HRESULT CFilterGraph::ConnectLocked(IPin* out, IPin* in, int depth) {
  HRESULT hr = ConnectDirectLocked(out, in, nullptr);
  if (SUCCEEDED(hr) || IsCallFault(hr)) return hr;
  if (depth >= kMaxIntermediateFilters) return VFW_E_CANNOT_CONNECT;
  // Filters already in the graph with a free pin on each side come first, the most recently
  // added first: a chain the application prepared is used rather than bypassed.
  ComPtr<IBaseFilter> outOwner = OwnerOf(out);
  ComPtr<IBaseFilter> inOwner = OwnerOf(in);
  for (ComPtr<IBaseFilter>& filter : FiltersNewestFirst(nullptr)) {
    if (IsSameObject(filter.Get(), outOwner.Get()) || IsSameObject(filter.Get(), inOwner.Get())) {
      continue;
    }
    if (FreePinsOf(filter.Get(), PINDIR_INPUT).empty() ||
        FreePinsOf(filter.Get(), PINDIR_OUTPUT).empty()) {
      continue;
    }
    if (SUCCEEDED(ConnectThroughFilter(out, in, filter.Get(), depth))) return S_OK;
  }
  const std::vector<TypePair> outTypes = TypesOf(out);
  const std::vector<TypePair> inTypes = TypesOf(in);
  for (const FilterRecord& record :
       ByMerit(FilterRegistry::Instance().FiltersInCategory(CLSID_LegacyAmFilterCategory))) {
    if (record.inputTypes.empty() || record.outputTypes.empty()) continue;
    if (!AnyTypeMatches(record.inputTypes, outTypes)) continue;
    if (depth + 1 == kMaxIntermediateFilters && !AnyTypeMatches(record.outputTypes, inTypes)) {
      continue;
    }
    ComPtr<IBaseFilter> middle;
    if (FAILED(FilterRegistry::Create(record, middle.GetAddressOf())) || !middle) continue;
    if (FAILED(AddFilter(middle.Get(), record.friendlyName.c_str()))) continue;
    if (SUCCEEDED(ConnectThroughFilter(out, in, middle.Get(), depth))) return S_OK;
    RemoveFilter(middle.Get());
  }
  return VFW_E_CANNOT_CONNECT;
}

HRESULT CFilterGraph::ConnectThroughFilter(IPin* out, IPin* in, IBaseFilter* middle, int depth) {
  for (ComPtr<IPin>& middleIn : FreePinsOf(middle, PINDIR_INPUT)) {
    if (FAILED(ConnectDirectLocked(out, middleIn.Get(), nullptr))) continue;
    for (ComPtr<IPin>& middleOut : FreePinsOf(middle, PINDIR_OUTPUT)) {
      if (SUCCEEDED(ConnectLocked(middleOut.Get(), in, depth + 1))) return S_OK;
    }
    out->Disconnect();
    middleIn->Disconnect();
  }
  return VFW_E_CANNOT_CONNECT;
}

STDMETHODIMP CFilterGraph::Render(IPin* ppinOut) {
  std::lock_guard lock(graphLock_);
  const HRESULT hr = RenderLocked(ppinOut, 0);
  log_.Write("Render " + PinText(ppinOut), hr);
  return hr;
}

HRESULT CFilterGraph::RenderLocked(IPin* out, int depth) {
  if (!out) return E_POINTER;
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!ContainsPinOf(out)) return VFW_E_NOT_IN_GRAPH;
  if (!IsDirection(out, PINDIR_OUTPUT)) return VFW_E_INVALID_DIRECTION;
  if (IsConnected(out)) return VFW_E_ALREADY_CONNECTED;
  if (depth > kMaxRenderDepth) return VFW_E_CANNOT_RENDER;
  // Filters already in the graph with a free input first, the most recently added first.
  ComPtr<IBaseFilter> owner = OwnerOf(out);
  for (ComPtr<IBaseFilter>& filter : FiltersNewestFirst(nullptr)) {
    if (IsSameObject(filter.Get(), owner.Get())) continue;
    const HRESULT hr = RenderThroughFilter(out, filter.Get(), depth);
    if (SUCCEEDED(hr)) return hr;
  }
  return RenderToRegisteredRenderer(out);
}

// Connects `out` to a free input of `filter` and renders the filter's free outputs on; the
// stream is rendered when the filter ends it (no free output) or one of its outputs renders
// (VFW_S_PARTIAL_RENDER when others do not).
HRESULT CFilterGraph::RenderThroughFilter(IPin* out, IBaseFilter* filter, int depth) {
  for (ComPtr<IPin>& in : FreePinsOf(filter, PINDIR_INPUT)) {
    if (FAILED(ConnectDirectLocked(out, in.Get(), nullptr))) continue;
    const std::vector<ComPtr<IPin>> outputs = FreePinsOf(filter, PINDIR_OUTPUT);
    if (outputs.empty()) return S_OK;
    int rendered = 0;
    for (const ComPtr<IPin>& next : outputs) {
      if (SUCCEEDED(RenderLocked(next.Get(), depth + 1))) ++rendered;
    }
    if (rendered == static_cast<int>(outputs.size())) return S_OK;
    if (rendered > 0) return VFW_S_PARTIAL_RENDER;
    out->Disconnect();
    in->Disconnect();
  }
  return VFW_E_CANNOT_RENDER;
}

HRESULT CFilterGraph::RenderToRegisteredRenderer(IPin* out) {
  const std::vector<TypePair> outTypes = TypesOf(out);
  std::vector<FilterRecord> renderers;
  for (FilterRecord& record : FilterRegistry::Instance().AllFilters()) {
    // A renderer takes a stream and gives none; one record per class is enough.
    if (record.inputTypes.empty() || !record.outputTypes.empty()) continue;
    const bool seen = std::any_of(renderers.begin(), renderers.end(),
                                  [&](const FilterRecord& r) { return r.clsid == record.clsid; });
    if (!seen) renderers.push_back(std::move(record));
  }
  // First renderers that take the stream as it is, then through converters.
  for (const bool direct : {true, false}) {
    for (const FilterRecord& record : ByMerit(renderers)) {
      if (direct && !AnyTypeMatches(record.inputTypes, outTypes)) continue;
      ComPtr<IBaseFilter> renderer;
      if (FAILED(FilterRegistry::Create(record, renderer.GetAddressOf())) || !renderer) continue;
      if (FAILED(AddFilter(renderer.Get(), record.friendlyName.c_str()))) continue;
      for (ComPtr<IPin>& in : PinsOf(renderer.Get(), PINDIR_INPUT)) {
        const HRESULT hr =
            direct ? ConnectDirectLocked(out, in.Get(), nullptr) : ConnectLocked(out, in.Get(), 0);
        if (SUCCEEDED(hr)) return S_OK;
      }
      RemoveFilter(renderer.Get());
    }
  }
  return VFW_E_CANNOT_RENDER;
}

STDMETHODIMP CFilterGraph::RenderEx(IPin* pPinOut, DWORD dwFlags, DWORD* /*pvContext*/) {
  if (dwFlags == 0) return Render(pPinOut);
  if (dwFlags != AM_RENDEREX_RENDERTOEXISTINGRENDERERS) return E_INVALIDARG;
  if (!pPinOut) return E_POINTER;
  std::lock_guard lock(graphLock_);
  HRESULT hr = VFW_E_CANNOT_RENDER;
  for (ComPtr<IBaseFilter>& filter : Snapshot()) {
    if (!PinsOf(filter.Get(), PINDIR_OUTPUT).empty()) continue;
    for (ComPtr<IPin>& in : PinsOf(filter.Get(), PINDIR_INPUT)) {
      if (IsConnected(in.Get())) continue;
      if (SUCCEEDED(ConnectLocked(pPinOut, in.Get(), 0))) {
        hr = S_OK;
        break;
      }
    }
    if (hr == S_OK) break;
  }
  log_.Write("RenderEx " + PinText(pPinOut), hr);
  return hr;
}

STDMETHODIMP CFilterGraph::Disconnect(IPin* ppin) {
  if (!ppin) return E_POINTER;
  std::lock_guard lock(graphLock_);
  const std::string text = PinText(ppin);
  const HRESULT hr = ppin->Disconnect();
  log_.Write("Disconnect " + text, hr);
  return hr;
}

STDMETHODIMP CFilterGraph::Reconnect(IPin* ppin) { return ReconnectEx(ppin, nullptr); }

STDMETHODIMP CFilterGraph::ReconnectEx(IPin* ppin, const AM_MEDIA_TYPE* pmt) {
  std::lock_guard lock(graphLock_);
  const HRESULT hr = ReconnectLocked(ppin, pmt);
  log_.Write("Reconnect " + PinText(ppin), hr);
  return hr;
}

HRESULT CFilterGraph::ReconnectLocked(IPin* pin, const AM_MEDIA_TYPE* pmt) {
  if (!pin) return E_POINTER;
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  ComPtr<IPin> peer;
  HRESULT hr = pin->ConnectedTo(peer.GetAddressOf());
  if (FAILED(hr) || !peer) return VFW_E_NOT_CONNECTED;
  ComPtr<IPin> out(pin);
  ComPtr<IPin> in = peer;
  if (!IsDirection(pin, PINDIR_OUTPUT)) std::swap(out, in);
  CMediaType previous;
  out->ConnectionMediaType(&previous);
  out->Disconnect();
  in->Disconnect();
  hr = ConnectDirectLocked(out.Get(), in.Get(), pmt);
  // A refused new type leaves the old connection in place rather than none.
  if (FAILED(hr)) ConnectDirectLocked(out.Get(), in.Get(), &previous);
  return hr;
}
