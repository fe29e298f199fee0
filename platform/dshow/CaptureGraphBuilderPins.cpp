// Pin and filter queries of the capture graph builder (see CaptureGraphBuilderPins.h).
#include "CaptureGraphBuilderPins.h"

#include <comimpl.h>

#include <algorithm>
#include <iterator>
#include <memory>

namespace vidorra::dshow::capture_builder {

namespace {

// Frees an AM_MEDIA_TYPE that an enumerator allocated, whatever path leaves the scope.
struct MediaTypeDeleter {
  void operator()(AM_MEDIA_TYPE* type) const { DeleteMediaType(type); }
};

// A connection media type filled in place: its format block is freed on scope exit.
class ConnectionType {
 public:
  ConnectionType() = default;
  ConnectionType(const ConnectionType&) = delete;
  ConnectionType& operator=(const ConnectionType&) = delete;
  ~ConnectionType() { FreeMediaType(type_); }
  AM_MEDIA_TYPE* Get() { return &type_; }

 private:
  AM_MEDIA_TYPE type_{};
};

std::optional<GUID> ConnectionMajorType(IPin* pin) {
  ConnectionType type;
  if (pin->ConnectionMediaType(type.Get()) != S_OK) return std::nullopt;
  return type.Get()->majortype;
}

// Calls visit on each media type the pin offers until it returns true.
template <class Visit>
bool AnyOfferedType(IPin* pin, Visit visit) {
  ComPtr<IEnumMediaTypes> types;
  if (FAILED(pin->EnumMediaTypes(types.GetAddressOf())) || !types) return false;
  for (;;) {
    AM_MEDIA_TYPE* raw = nullptr;
    ULONG fetched = 0;
    if (types->Next(1, &raw, &fetched) != S_OK || fetched != 1 || !raw) return false;
    std::unique_ptr<AM_MEDIA_TYPE, MediaTypeDeleter> type(raw);
    if (visit(*type)) return true;
  }
}

template <class Property>
bool ReadPinProperty(IPin* pin, DWORD propertyId, Property* out) {
  ComPtr<IKsPropertySet> properties = QueryAs<IKsPropertySet>(pin);
  if (!properties) return false;
  DWORD returned = 0;
  const HRESULT hr =
      properties->Get(AMPROPSETID_Pin, propertyId, nullptr, 0, out, sizeof(Property), &returned);
  return hr == S_OK && returned >= sizeof(Property);
}

}  // namespace

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> pinEnum;
  if (!filter || FAILED(filter->EnumPins(pinEnum.GetAddressOf())) || !pinEnum) return pins;
  for (;;) {
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    if (pinEnum->Next(1, pin.GetAddressOf(), &fetched) != S_OK || fetched != 1 || !pin) break;
    pins.push_back(std::move(pin));
  }
  return pins;
}

std::optional<PIN_DIRECTION> DirectionOf(IPin* pin) {
  PIN_DIRECTION direction = PINDIR_INPUT;
  if (!pin || FAILED(pin->QueryDirection(&direction))) return std::nullopt;
  return direction;
}

namespace {

// The categories of the Smart Tee's outputs, in their order.
constexpr const GUID* kSmartTeeOutputCategories[] = {&PIN_CATEGORY_CAPTURE, &PIN_CATEGORY_PREVIEW};
// The last documented pin category: PIN_CATEGORY_VIDEOPORT_VBI.
constexpr unsigned long kLastPinCategoryData1 = 0xFB6C428C;

std::optional<GUID> SmartTeeOutputCategory(IPin* pin) {
  ComPtr<IBaseFilter> tee = OwnerOf(pin);
  if (!tee || !IsSmartTee(tee.Get())) return std::nullopt;
  size_t index = 0;
  for (const ComPtr<IPin>& other : PinsOf(tee.Get())) {
    if (DirectionOf(other.Get()) != PINDIR_OUTPUT) continue;
    if (IsSameObject(other.Get(), pin)) {
      if (index >= std::size(kSmartTeeOutputCategories)) return std::nullopt;
      return *kSmartTeeOutputCategories[index];
    }
    ++index;
  }
  return std::nullopt;
}

}  // namespace

std::optional<GUID> CategoryOf(IPin* pin) {
  GUID category = GUID_NULL;
  if (!pin) return std::nullopt;
  if (ReadPinProperty(pin, AMPROPERTY_PIN_CATEGORY, &category)) return category;
  return SmartTeeOutputCategory(pin);
}

bool IsPinCategory(REFGUID category) {
  const GUID& first = PIN_CATEGORY_CAPTURE;
  return category.Data1 >= first.Data1 && category.Data1 <= kLastPinCategoryData1 &&
         category.Data2 == first.Data2 && category.Data3 == first.Data3 &&
         std::equal(std::begin(category.Data4), std::end(category.Data4), std::begin(first.Data4));
}

std::optional<KSPIN_MEDIUM> MediumOf(IPin* pin) {
  KSPIN_MEDIUM medium{};
  if (!pin || !ReadPinProperty(pin, AMPROPERTY_PIN_MEDIUM, &medium)) return std::nullopt;
  if (medium.Set == GUID_NULL || medium.Set == KSMEDIUMSETID_Standard) return std::nullopt;
  return medium;
}

bool SameMedium(const KSPIN_MEDIUM& a, const KSPIN_MEDIUM& b) {
  // Flags describe the pin's side of the connection, not the connection itself.
  return a.Set == b.Set && a.Id == b.Id;
}

bool OffersMajorType(IPin* pin, REFGUID majorType) {
  if (!pin) return false;
  if (ConnectionMajorType(pin) == majorType) return true;
  return AnyOfferedType(pin,
                        [&](const AM_MEDIA_TYPE& type) { return type.majortype == majorType; });
}

bool EnumeratesMajorType(IPin* pin, REFGUID majorType) {
  return pin && AnyOfferedType(pin, [&](const AM_MEDIA_TYPE& type) {
           return type.majortype == majorType;
         });
}

std::optional<GUID> MajorTypeOf(IPin* pin) {
  if (!pin) return std::nullopt;
  if (std::optional<GUID> connected = ConnectionMajorType(pin)) return connected;
  std::optional<GUID> first;
  AnyOfferedType(pin, [&](const AM_MEDIA_TYPE& type) {
    first = type.majortype;
    return true;
  });
  return first;
}

ComPtr<IPin> PeerOf(IPin* pin) {
  ComPtr<IPin> peer;
  if (!pin || pin->ConnectedTo(peer.GetAddressOf()) != S_OK) return nullptr;
  return peer;
}

bool IsConnected(IPin* pin) { return PeerOf(pin) != nullptr; }

ComPtr<IBaseFilter> OwnerOf(IPin* pin) {
  PIN_INFO info{};
  if (!pin || FAILED(pin->QueryPinInfo(&info))) return nullptr;
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);  // QueryPinInfo handed out a reference
  return owner;
}

ComPtr<IFilterGraph> GraphOf(IBaseFilter* filter) {
  FILTER_INFO info{};
  if (!filter || FAILED(filter->QueryFilterInfo(&info))) return nullptr;
  ComPtr<IFilterGraph> graph;
  graph.Attach(info.pGraph);  // QueryFilterInfo handed out a reference
  return graph;
}

std::optional<CLSID> ClassOf(IBaseFilter* filter) {
  CLSID clsid = GUID_NULL;
  if (!filter || FAILED(filter->GetClassID(&clsid))) return std::nullopt;
  return clsid;
}

bool IsSmartTee(IBaseFilter* filter) { return ClassOf(filter) == CLSID_SmartTee; }

ComPtr<IPin> AsPin(IUnknown* source) { return QueryAs<IPin>(source); }

}  // namespace vidorra::dshow::capture_builder
