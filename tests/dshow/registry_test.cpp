// The filter registry: order, creation through CoCreateInstance, removal, pin types. Display
// names and filters the simulated machine hides are seen through the system device enumerator
// (tests/filters/sys_device_enum.cpp).
#include "TestPassThrough.h"
#include "graph_test_support.h"

namespace vidorra::test {
namespace {

// {5D6E0A03-...}: classes registered by this test only.
DEFINE_GUID(CLSID_RegistryFirst, 0x5D6E0A03, 0x7C1B, 0x4E8A, 0x9F, 0x00, 0, 0, 0, 0, 0, 1);
DEFINE_GUID(CLSID_RegistrySecond, 0x5D6E0A03, 0x7C1B, 0x4E8A, 0x9F, 0x00, 0, 0, 0, 0, 0, 2);
DEFINE_GUID(CATEGORY_RegistryTest, 0x5D6E0A03, 0x7C1B, 0x4E8A, 0x9F, 0x00, 0, 0, 0, 0, 0, 9);

FilterRecord RecordFor(REFCLSID clsid, const wchar_t* name) {
  FilterRecord record;
  record.clsid = clsid;
  record.friendlyName = name;
  record.category = CATEGORY_RegistryTest;
  record.merit = MERIT_NORMAL;
  record.factory = FilterFactoryFor<TestPassThrough>();
  return record;
}

TEST(FilterRegistry, LookupsKeepRegistrationOrderAndCreateThroughCom) {
  auto& registry = FilterRegistry::Instance();
  registry.Register(RecordFor(CLSID_RegistrySecond, L"Second"));
  registry.Register(RecordFor(CLSID_RegistryFirst, L"First"));
  const auto records = registry.FiltersInCategory(CATEGORY_RegistryTest);
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(L"Second", records[0].friendlyName);
  EXPECT_EQ(L"First", records[1].friendlyName);
  ASSERT_TRUE(registry.Find(CLSID_RegistryFirst));

  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_RegistryFirst, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, filter.ReleaseAndGetVoidAddressOf()));
  CLSID clsid = GUID_NULL;
  filter->GetClassID(&clsid);
  EXPECT_EQ(CLSID_TestPassThrough, clsid);

  registry.Unregister(CLSID_RegistryFirst);
  registry.Unregister(CLSID_RegistrySecond);
  EXPECT_TRUE(registry.FiltersInCategory(CATEGORY_RegistryTest).empty());
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(CLSID_RegistryFirst, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             filter.ReleaseAndGetVoidAddressOf()));
}

TEST(FilterRegistry, PinTypesMatchWithWildcards) {
  EXPECT_TRUE(RegPinTypeMatches({MEDIATYPE_Video, GUID_NULL}, MEDIATYPE_Video, MEDIASUBTYPE_YUY2));
  EXPECT_TRUE(RegPinTypeMatches({MEDIATYPE_Video, MEDIASUBTYPE_YUY2}, MEDIATYPE_Video, GUID_NULL));
  EXPECT_FALSE(RegPinTypeMatches({MEDIATYPE_Audio, GUID_NULL}, MEDIATYPE_Video, MEDIASUBTYPE_YUY2));
  EXPECT_FALSE(
      RegPinTypeMatches({MEDIATYPE_Video, MEDIASUBTYPE_RGB24}, MEDIATYPE_Video, MEDIASUBTYPE_YUY2));
}

}  // namespace
}  // namespace vidorra::test
