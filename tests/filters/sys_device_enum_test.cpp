// The system device enumerator over the filters' registrations: software filter monikers (the
// stored forms' names), the registration order, empty and unknown categories, hidden filters.
// The devices it lists: the device tests.
#include <Deinterlacer.h>
#include <DeviceList.h>
#include <FilterRegistry.h>
#include <ScopedMachine.h>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// A filter's moniker in its category: its display name (stored forms keep it), its CLSID, a
// new filter at each bind, and a moniker made from the display name alone binding the same way.
TEST(SysDeviceEnum, SoftwareFilterMonikersNameBindAndDescribeTheFilter) {
  const std::wstring legacy = L"@device:sw:" + GuidText(CLSID_LegacyAmFilterCategory) + L"\\";
  const struct {
    const GUID& category;
    const wchar_t* name;
    const CLSID& clsid;
    std::wstring displayName;
  } filters[] = {
      {CLSID_LegacyAmFilterCategory, L"Smart Tee", CLSID_SmartTee,
       legacy + L"{CC58E280-8AA1-11D1-B3F1-00AA003761C5}"},
      {CLSID_LegacyAmFilterCategory, L"Pinnacle Video Deinterlacer", CLSID_VideoDeinterlacer,
       legacy + L"{96A6F294-84B5-4779-AA94-9C9AD33ABEC6}"},
      // A registration with a moniker name of its own: the program's stored forms name it so.
      {CLSID_VideoCompressorCategory, L"DV Video Encoder", CLSID_DVVideoEnc,
       L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder"},
      {CLSID_AudioRendererCategory, L"Default DirectSound Device", CLSID_DSoundRender,
       L"@device:sw:" + GuidText(CLSID_AudioRendererCategory) + L"\\" +
           GuidText(CLSID_DSoundRender)},
  };
  for (const auto& f : filters) {
    SCOPED_TRACE(WideToUtf8(f.name));
    const auto entries = ListDevices(f.category);
    const auto entry = std::find_if(entries.begin(), entries.end(), [&](const ListedDevice& e) {
      return e.friendlyName == f.name;
    });
    ASSERT_NE(entry, entries.end());
    EXPECT_EQ(entry->displayName, f.displayName);
    EXPECT_EQ(entry->clsid, GuidText(f.clsid));
    ComPtr<IMoniker> stored;
    ASSERT_EQ(S_OK, CreateDeviceMoniker(f.displayName, stored.GetAddressOf()));
    EXPECT_EQ(BagText(stored.Get(), L"FriendlyName"), f.name);
    ComPtr<IBaseFilter> first, second;
    ASSERT_EQ(S_OK, entry->moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                 first.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK, stored->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                         second.ReleaseAndGetVoidAddressOf()));
    EXPECT_FALSE(IsSameObject(first.Get(), second.Get())) << "each bind makes a new filter";
    EXPECT_EQ(std::pair(ClassOf(first.Get()), ClassOf(second.Get())), std::pair(f.clsid, f.clsid));
  }
}

// The registration order, the same at each enumeration; S_FALSE and no enumerator for an empty
// or unknown category. Hidden filters are left out, and a stored moniker of one does not bind.
TEST(SysDeviceEnum, RegistrationOrderEmptyCategoriesAndHiddenFilters) {
  std::vector<std::wstring> registered;
  for (const FilterRecord& record :
       FilterRegistry::Instance().FiltersInCategory(CLSID_LegacyAmFilterCategory)) {
    registered.push_back(record.friendlyName);
  }
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

  const ComPtr<IMoniker> tee =
      ListDevices(CLSID_LegacyAmFilterCategory)[std::find(registered.begin(), registered.end(),
                                                          L"Smart Tee") -
                                                registered.begin()]
          .moniker;
  {
    ScopedMachine machine(
        "# the start-up report without two filters\nhide-filter Smart Tee\nhide-filter "
        "SampleGrabber\n");
    auto expected = registered;
    std::erase(expected, L"Smart Tee");
    std::erase(expected, L"SampleGrabber");
    EXPECT_EQ(FriendlyNames(CLSID_LegacyAmFilterCategory), expected);
    EXPECT_EQ(expected.size() + 2, registered.size());
    EXPECT_FALSE(CreateFilter(CLSID_SmartTee));
    ComPtr<IBaseFilter> filter;
    EXPECT_TRUE(FAILED(
        tee->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReleaseAndGetVoidAddressOf())))
        << "a stored moniker of a hidden filter does not bind";
  }
  EXPECT_EQ(FriendlyNames(CLSID_LegacyAmFilterCategory), registered);
}

}  // namespace
}  // namespace vidorra::test
