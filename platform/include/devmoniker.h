// Device monikers, the resolvers that give them meaning, in-memory property bags and moniker
// enumerators.
//
// A device moniker is a display name such as
//   "@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\DV Video Encoder"
// (class CLSID_CDeviceMoniker). The filter and device registries live above the COM layer,
// so they install resolvers that turn display names into objects and property bags. Binding
// tries the resolvers in the order they were added; a resolver answers MK_E_NOOBJECT for a
// name it does not know, and any other result (success or failure) is final.
//
// With no resolver answering, "@device:sw:{CATEGORY}\{CLSID}" binds by CoCreateInstance of
// that CLSID and its property bag holds only "CLSID" (the braced upper-case text form); any
// other name gives MK_E_NOOBJECT.
#pragma once

#include <comptr.h>
#include <objbase.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using PropertyList = std::vector<std::pair<std::wstring, std::wstring>>;

struct DeviceMonikerResolver {
  virtual ~DeviceMonikerResolver() = default;
  // Creates the object the display name stands for and queries it for riid.
  virtual HRESULT BindToObject(const std::wstring& displayName, REFIID riid, void** ppv) = 0;
  // Fills *out with the properties of the named device or filter ("FriendlyName", "CLSID",
  // ...).
  virtual HRESULT ReadProperties(const std::wstring& displayName, PropertyList* out) = 0;
};

// Resolvers may be added and removed from any thread; they are called without any COM lock
// held, possibly from several threads at once.
void AddDeviceMonikerResolver(std::shared_ptr<DeviceMonikerResolver> resolver);
void RemoveDeviceMonikerResolver(const std::shared_ptr<DeviceMonikerResolver>& resolver);

HRESULT CreateDeviceMoniker(const std::wstring& displayName, IMoniker** out);

// A property bag over string values. Read gives a VT_BSTR (when the caller asks for VT_EMPTY
// or VT_BSTR) or a number parsed from the text (VT_I4, VT_UI4, VT_INT, VT_UINT); a name that
// is not in the bag gives E_INVALIDARG. Names compare case-insensitively. Write stores
// strings and numbers as text in this bag only.
HRESULT CreateMemoryPropertyBag(PropertyList properties, IPropertyBag** out);

// Enumerates the given monikers in order. Next returns S_FALSE when it fetched fewer than
// asked. Clones share the list and start at the clone's position.
HRESULT CreateMonikerEnumerator(std::vector<ComPtr<IMoniker>> monikers, IEnumMoniker** out);
