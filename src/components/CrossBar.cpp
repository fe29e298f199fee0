// TCrossbar: the route search over chained crossbars and the switching of a route.
#include "CrossBar.h"

namespace {

// Connector types from this value up are sound connectors; only video inputs start routes.
constexpr int32_t kFirstAudioConnector = PhysConn_Audio_Tuner;

struct ConnectorNameEntry {
  int32_t type;
  const char* name;
};

constexpr ConnectorNameEntry kConnectorNames[] = {
    {PhysConn_Video_Tuner, "Video Tuner"},
    {PhysConn_Video_Composite, "Video Composite"},
    {PhysConn_Video_SVideo, "Video SVideo"},
    {PhysConn_Video_RGB, "Video RGB"},
    {PhysConn_Video_YRYBY, "Video YRYBY"},
    {PhysConn_Video_SerialDigital, "Video SerialDigital"},
    {PhysConn_Video_ParallelDigital, "Video ParallelDigital"},
    {PhysConn_Video_SCSI, "Video SCSI"},
    {PhysConn_Video_AUX, "Video AUX"},
    {PhysConn_Video_1394, "Video 1394"},
    {PhysConn_Video_USB, "Video USB"},
    {PhysConn_Video_VideoDecoder, "Video Decoder"},
    {PhysConn_Video_VideoEncoder, "Video Encoder"},
    {PhysConn_Video_SCART, "Video Scart"},
    {PhysConn_Audio_Tuner, "Audio Tuner"},
    {PhysConn_Audio_Line, "Audio Line"},
    {PhysConn_Audio_Mic, "Audio Mic"},
    {PhysConn_Audio_AESDigital, "Audio AESDigital"},
    {PhysConn_Audio_SPDIFDigital, "Audio SPDIFDigital"},
    {PhysConn_Audio_SCSI, "Audio SCSI"},
    {PhysConn_Audio_AUX, "Audio AUX"},
    {PhysConn_Audio_1394, "Audio 1394"},
    {PhysConn_Audio_USB, "Audio USB"},
    {PhysConn_Audio_AudioDecoder, "Audio Decoder"},
};
constexpr const char* kUnknownConnector = "Unknown";

// A crossbar's pins in its enumeration order: all inputs, then all outputs.
class CrossbarPins {
 public:
  explicit CrossbarPins(IAMCrossbar* xbar) {
    long outputs = 0;
    long inputs = 0;
    if (xbar == nullptr || FAILED(xbar->get_PinCounts(&outputs, &inputs))) return;
    ComPtr<IBaseFilter> filter = QueryAs<IBaseFilter>(xbar);
    if (!filter || FAILED(filter->EnumPins(pins_.GetAddressOf())) || !pins_) return;
    inputCount_ = static_cast<int32_t>(inputs);
    valid_ = true;
  }
  bool Valid() const { return valid_; }
  int32_t InputCount() const { return inputCount_; }
  // The next pin, or null at the end.
  ComPtr<IPin> Next() {
    ComPtr<IPin> pin;
    if (pins_->Next(1, pin.GetAddressOf(), nullptr) != S_OK) pin.Reset();
    return pin;
  }

 private:
  ComPtr<IEnumPins> pins_;
  int32_t inputCount_ = 0;
  bool valid_ = false;
};

}  // namespace

TCrossbar::TCrossbar(IPin* startPin) {
  if (startPin == nullptr) return;
  FRootStep = std::make_unique<TCrRouting>();
  (void)SearchRoutes(startPin, FRootStep.get(), 0);
}

TCrossbar::~TCrossbar() {
  (void)FreeRoutes();
  FRootStep.reset();
}

HRESULT TCrossbar::InputCount(int32_t& count) const {
  count = static_cast<int32_t>(FRoutes.size());
  return S_OK;
}

const TRouteArray* TCrossbar::RouteAt(int32_t index) const {
  if (index < 0 || index >= static_cast<int32_t>(FRoutes.size())) return nullptr;
  const TRouteArray& route = FRoutes[static_cast<size_t>(index)];
  return route.empty() ? nullptr : &route;
}

HRESULT TCrossbar::InputConnectorType(int32_t index, int32_t& type) const {
  const TRouteArray* route = RouteAt(index);
  if (route == nullptr) return E_FAIL;
  type = route->front().VideoInType;
  return S_OK;
}

HRESULT TCrossbar::InputConnectorName(int32_t index, QString& name) const {
  int32_t type = 0;
  if (InputConnectorType(index, type) != S_OK) return E_FAIL;
  return ConnectorName(type, name);
}

HRESULT TCrossbar::ConnectorName(int32_t type, QString& name) {
  name = QString::fromLatin1(kUnknownConnector);
  for (const ConnectorNameEntry& entry : kConnectorNames) {
    if (entry.type == type) name = QString::fromLatin1(entry.name);
  }
  return S_OK;
}

HRESULT TCrossbar::SelectInput(int32_t index) {
  const TRouteArray* route = RouteAt(index);
  if (route == nullptr) return E_FAIL;
  HRESULT hr = E_FAIL;
  for (const TCrRouting& step : *route) {
    hr = step.XBar->Route(step.VideoOutIndex, step.VideoInIndex);
    if (hr == S_OK && step.AudioOutIndex != -1 && step.AudioInIndex != -1) {
      hr = step.XBar->Route(step.AudioOutIndex, step.AudioInIndex);
    }
  }
  return hr;
}

// Depth-first search from `inPin` upstream. S_OK: routes through this input were stored
// further up (or nothing can be stored through it); S_FALSE (deeper than 0 only): the route
// ends at the input the caller asked about; E_FAIL: nothing is stored through it.
HRESULT TCrossbar::SearchRoutes(IPin* inPin, TCrRouting* step, int32_t depth) {
  if (inPin == nullptr || step == nullptr) return E_FAIL;
  const HRESULT endsHere = depth == 0 ? E_FAIL : S_FALSE;

  ComPtr<IPin> peer;
  if (inPin->ConnectedTo(peer.GetAddressOf()) != S_OK || !peer) return endsHere;
  PIN_INFO info{};
  if (FAILED(peer->QueryPinInfo(&info))) return S_OK;
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);
  if (info.dir != PINDIR_OUTPUT) return S_OK;
  ComPtr<IAMCrossbar> xbar = QueryAs<IAMCrossbar>(owner.Get());
  if (!xbar) return endsHere;
  // A crossbar already on this route (a wiring loop) would make the search endless.
  for (const TCrRouting* down = step->DownstreamLink; down != nullptr;
       down = down->DownstreamLink) {
    if (IsSameObject(down->XBar.Get(), xbar.Get())) return E_FAIL;
  }

  long outputCount = 0;
  long inputCount = 0;
  int32_t outIndex = 0;
  long outRelated = -1;
  long outType = 0;
  if (FAILED(xbar->get_PinCounts(&outputCount, &inputCount)) ||
      CrossbarPinIndex(xbar.Get(), peer.Get(), false, outIndex) != S_OK ||
      FAILED(xbar->get_CrossbarPinInfo(FALSE, outIndex, &outRelated, &outType))) {
    return E_FAIL;
  }

  for (int32_t i = 0; i < static_cast<int32_t>(inputCount); ++i) {
    long inRelated = -1;
    long inType = 0;
    if (FAILED(xbar->get_CrossbarPinInfo(TRUE, i, &inRelated, &inType))) continue;
    if (inType >= kFirstAudioConnector || xbar->CanRoute(outIndex, i) != S_OK) continue;
    ComPtr<IPin> inputPin;
    (void)CrossbarPinAt(xbar.Get(), i, true, inputPin);

    TCrRouting upstream;
    upstream.DownstreamLink = step;
    step->UpstreamLink = &upstream;
    step->XBar = xbar;
    step->VideoInIndex = i;
    step->VideoOutIndex = outIndex;
    step->AudioInIndex = static_cast<int32_t>(inRelated);
    step->AudioOutIndex = static_cast<int32_t>(outRelated);
    step->VideoInType = static_cast<int32_t>(inType);
    step->VideoOutType = static_cast<int32_t>(outType);
    step->Depth = depth;

    const HRESULT result = SearchRoutes(inputPin.Get(), &upstream, depth + 1);
    step->UpstreamLink = nullptr;
    if (result == S_FALSE) (void)StoreRoute(step);
  }
  return S_OK;
}

HRESULT TCrossbar::StoreRoute(const TCrRouting* step) {
  if (step == nullptr || step->Depth < 0) return E_FAIL;
  TRouteArray route(static_cast<size_t>(step->Depth) + 1);
  const TCrRouting* current = step;
  for (TCrRouting& element : route) {
    if (current == nullptr) return E_FAIL;
    element = *current;
    element.UpstreamLink = nullptr;
    element.DownstreamLink = nullptr;
    current = current->DownstreamLink;
  }
  FRoutes.push_back(std::move(route));
  return S_OK;
}

HRESULT TCrossbar::FreeRoutes() {
  for (auto route = FRoutes.rbegin(); route != FRoutes.rend(); ++route) route->clear();
  FRoutes.clear();
  return S_OK;
}

HRESULT TCrossbar::CrossbarPinIndex(IAMCrossbar* xbar, IPin* pin, bool isInput, int32_t& index) {
  CrossbarPins pins(xbar);
  if (!pins.Valid() || pin == nullptr) return E_FAIL;
  for (int32_t position = 0;; ++position) {
    ComPtr<IPin> candidate = pins.Next();
    if (!candidate) return E_FAIL;
    if (!IsSameObject(candidate.Get(), pin)) continue;
    // The pin must be on the side asked for, or its index would name another pin.
    if (isInput != (position < pins.InputCount())) return E_FAIL;
    index = isInput ? position : position - pins.InputCount();
    return S_OK;
  }
}

HRESULT TCrossbar::CrossbarPinAt(IAMCrossbar* xbar, int32_t index, bool isInput,
                                 ComPtr<IPin>& pin) {
  pin.Reset();
  CrossbarPins pins(xbar);
  if (!pins.Valid() || index < 0) return E_FAIL;
  const int32_t position = isInput ? index : index + pins.InputCount();
  for (int32_t i = 0; i <= position; ++i) {
    ComPtr<IPin> candidate = pins.Next();
    if (!candidate) return E_FAIL;
    if (i == position) pin = std::move(candidate);
  }
  return S_OK;
}
