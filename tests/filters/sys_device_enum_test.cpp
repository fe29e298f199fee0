// The system device enumerator over the filters' registrations: the registration order, empty
// and unknown categories. Software filter monikers as the program stores them, and hidden
// filters: the program's tests (the engine's module); the devices it lists: the device tests.
#include <DeviceList.h>
#include <FilterRegistry.h>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// The registration order, the same at each enumeration, each filter with its CLSID; S_FALSE and
// no enumerator for an empty or unknown category.
TEST(SysDeviceEnum, RegistrationOrderAndEmptyCategories) {
  std::vector<std::wstring> registered, clsids, listed;
  for (const FilterRecord& record :
       FilterRegistry::Instance().FiltersInCategory(CLSID_LegacyAmFilterCategory)) {
    registered.push_back(record.friendlyName);
    clsids.push_back(GuidText(record.clsid));
  }
  for (const ListedDevice& entry : ListDevices(CLSID_LegacyAmFilterCategory))
    listed.push_back(entry.clsid);
  EXPECT_EQ(listed, clsids);
  EXPECT_EQ(FriendlyNames(CLSID_LegacyAmFilterCategory), registered);
  EXPECT_EQ(FriendlyNames(CLSID_LegacyAmFilterCategory), registered);
  HRESULT hr = S_OK;
  EXPECT_TRUE(ListDevices(CLSID_AudioCompressorCategory, &hr).empty());
  EXPECT_EQ(S_FALSE, hr) << "nothing registered";
  const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  ListDevices(unknown, &hr);
  EXPECT_EQ(S_FALSE, hr);
  ComPtr<ICreateDevEnum> enumerator;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, enumerator.ReleaseAndGetVoidAddressOf()));
  ComPtr<IEnumMoniker> none;
  EXPECT_EQ(S_FALSE, enumerator->CreateClassEnumerator(unknown, none.GetAddressOf(), 0));
  EXPECT_FALSE(none) << "no enumerator unless S_OK";
  EXPECT_EQ(E_POINTER, enumerator->CreateClassEnumerator(unknown, nullptr, 0));
}

}  // namespace
}  // namespace vidorra::test
