// Gives meaning to the display names the system device enumerator hands out: a registry
// record's "@device:sw:{CATEGORY}\{CLSID}" (or "\NAME") binds to a new instance of the filter
// and reads as "FriendlyName" and "CLSID"; a category's own moniker from
// CLSID_ActiveMovieCategories reads as the category's name and GUID and binds to nothing.
// Names compare without regard to case. A hidden or unknown name is not answered
// (MK_E_NOOBJECT), so the platform's default handling applies to it.
//
// Threads: any, several at once; it keeps no state of its own.
#pragma once

#include <devmoniker.h>

namespace vidorra::dshow {

class SystemDeviceEnumResolver : public DeviceMonikerResolver {
 public:
  HRESULT BindToObject(const std::wstring& displayName, REFIID riid, void** ppv) override;
  HRESULT ReadProperties(const std::wstring& displayName, PropertyList* out) override;
};

}  // namespace vidorra::dshow
