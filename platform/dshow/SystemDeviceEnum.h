// The system device enumerator (CLSID_SystemDeviceEnum, ICreateDevEnum): lists the filters
// and devices of a category as device monikers, in the filter registry's order.
//
// Category CLSID_ActiveMovieCategories lists the categories themselves: one moniker per known
// category whose property bag holds "FriendlyName" and "CLSID" (the category's GUID).
// Any other category lists the registry's visible records of that category, each as
// "@device:sw:{CATEGORY}\{CLSID}" (or "\NAME" for a record with a moniker name), with
// "FriendlyName" and "CLSID" in its bag; binding it creates the filter. That meaning is given
// to the display names by a device moniker resolver (SystemDeviceEnumResolver) that the
// enumerator installs once, at its registration.
//
// After the registry's records come the devices of the category (capture devices, and the
// crossbars, TV tuners and TV audio filters of capture cards), asked of the device listers in
// the order they were added. The device layer adds its lister and a device moniker resolver
// (devmoniker.h) that binds the names it lists; this layer knows nothing of devices.
//
// Threads: any; each enumeration is a snapshot of the registry and devices taken when it is
// created.
#pragma once

#include <comimpl.h>
#include <devmoniker.h>
#include <strmif.h>

#include <memory>
#include <string>
#include <vector>

namespace vidorra::dshow {

struct CategoryName {
  const GUID* category;
  const wchar_t* friendlyName;
};

// The categories CLSID_ActiveMovieCategories lists, in that order.
const std::vector<CategoryName>& KnownCategories();

class CSystemDeviceEnum : public CUnknown, public ICreateDevEnum {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // S_OK with an enumerator of at least one moniker; S_FALSE with *ppEnumMoniker null for an
  // empty or unknown category. dwFlags is accepted and ignored (there are no class managers
  // to bypass).
  STDMETHODIMP CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                     DWORD dwFlags) override;
};

// Lists the display names of the devices present in a category, in a stable order. Called
// on any thread, possibly several at once, with no lock of the enumerator held.
struct DeviceLister {
  virtual ~DeviceLister() = default;
  virtual std::vector<std::wstring> DisplayNames(REFGUID category) = 0;
};
void AddDeviceLister(std::shared_ptr<DeviceLister> lister);
void RemoveDeviceLister(const std::shared_ptr<DeviceLister>& lister);

// Display names of the enumerator's monikers compare without regard to case.
bool SameDisplayName(const std::wstring& a, const std::wstring& b);
// The property bag of a listed filter or device: "FriendlyName" and "CLSID" (braced text).
PropertyList ListedProperties(const std::wstring& friendlyName, REFCLSID clsid);

// The display name of a category's own moniker in CLSID_ActiveMovieCategories.
std::wstring CategoryDisplayName(REFGUID category);

// Links the enumerator (and its class registration) into a program that names no other symbol
// of it; idempotent.
void EnsureSystemDeviceEnumRegistered();

}  // namespace vidorra::dshow
