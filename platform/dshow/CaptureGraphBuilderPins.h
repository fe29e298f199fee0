// Pin and filter queries shared by the capture graph builder: a filter's pins in enumeration
// order, a pin's category and medium (read through its IKsPropertySet), the media types it
// offers, its peer and owner. Stateless helpers, callable on any thread; they take no lock of
// their own and rely on the pins' and filters' own locking.
#pragma once

#include <comptr.h>
#include <dshow.h>

#include <optional>
#include <vector>

namespace vidorra::dshow::capture_builder {

// The filter's pins in its enumeration order (empty when the filter has none or cannot
// enumerate them).
std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter);

std::optional<PIN_DIRECTION> DirectionOf(IPin* pin);

// The pin category (AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY); nothing when the pin has no
// IKsPropertySet or does not answer the property. The Smart Tee's outputs report none: they
// are known by the tee and their order (capture, then preview).
std::optional<GUID> CategoryOf(IPin* pin);

// True for the documented pin categories (PIN_CATEGORY_CAPTURE ... PIN_CATEGORY_VIDEOPORT_VBI,
// one family of GUIDs).
bool IsPinCategory(REFGUID category);

// The pin medium (AMPROPSETID_Pin / AMPROPERTY_PIN_MEDIUM); nothing when the pin does not
// answer, or answers a medium that names no particular connection (GUID_NULL or the standard
// set), which must never be matched with another pin.
std::optional<KSPIN_MEDIUM> MediumOf(IPin* pin);
bool SameMedium(const KSPIN_MEDIUM& a, const KSPIN_MEDIUM& b);

// True when the pin is connected with a media type of that major type, or offers one.
bool OffersMajorType(IPin* pin, REFGUID majorType);
// True when the pin's own EnumMediaTypes lists a type of that major type.
bool EnumeratesMajorType(IPin* pin, REFGUID majorType);
// The major type of the pin's connection, else of the first type it offers.
std::optional<GUID> MajorTypeOf(IPin* pin);

ComPtr<IPin> PeerOf(IPin* pin);
bool IsConnected(IPin* pin);
ComPtr<IBaseFilter> OwnerOf(IPin* pin);
// The graph the filter has joined, or null.
ComPtr<IFilterGraph> GraphOf(IBaseFilter* filter);
std::optional<CLSID> ClassOf(IBaseFilter* filter);
bool IsSmartTee(IBaseFilter* filter);

// The pin that pSource denotes when it is a pin, else null.
ComPtr<IPin> AsPin(IUnknown* source);

}  // namespace vidorra::dshow::capture_builder
