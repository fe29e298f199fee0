// The system device enumerator: the category list, software filter monikers, stable order,
// empty and unknown categories, hidden filters.
#include <Deinterlacer.h>
#include <FilterRegistry.h>
#include <ScopedMachine.h>
#include <devmoniker.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

ComPtr<ICreateDevEnum> NewDeviceEnum() {
  ComPtr<ICreateDevEnum> devices;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, devices.ReleaseAndGetVoidAddressOf()));
  return devices;
}

std::wstring ReadBag(IMoniker* moniker, const wchar_t* name) {
  ComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                    bag.ReleaseAndGetVoidAddressOf()))) {
    return L"<no bag>";
  }
  VARIANT value{};
  value.vt = VT_BSTR;
  if (FAILED(bag->Read(name, &value, nullptr))) return L"<none>";
  std::wstring text = value.bstrVal ? value.bstrVal : L"";
  SysFreeString(value.bstrVal);
  return text;
}

std::wstring DisplayNameOf(IMoniker* moniker) {
  LPOLESTR name = nullptr;
  if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &name))) return {};
  std::wstring text = name;
  CoTaskMemFree(name);
  return text;
}

struct Entry {
  std::wstring friendlyName;
  std::wstring clsid;
  std::wstring displayName;
  ComPtr<IMoniker> moniker;
};

// S_OK with the entries, or the enumerator's result with none.
HRESULT Enumerate(REFGUID category, std::vector<Entry>* entries) {
  entries->clear();
  ComPtr<IEnumMoniker> monikers;
  const HRESULT hr = NewDeviceEnum()->CreateClassEnumerator(category, monikers.GetAddressOf(), 0);
  if (hr != S_OK) {
    EXPECT_FALSE(monikers) << "no enumerator unless S_OK";
    return hr;
  }
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    entries->push_back({ReadBag(moniker.Get(), L"FriendlyName"), ReadBag(moniker.Get(), L"CLSID"),
                        DisplayNameOf(moniker.Get()), moniker});
  }
  return hr;
}

std::vector<std::wstring> Names(const std::vector<Entry>& entries) {
  std::vector<std::wstring> names;
  for (const Entry& e : entries) names.push_back(e.friendlyName);
  return names;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

TEST(SysDeviceEnum, ListsTheCategoriesWithTheirNames) {
  std::vector<Entry> categories;
  ASSERT_EQ(S_OK, Enumerate(CLSID_ActiveMovieCategories, &categories));
  const std::vector<std::pair<std::wstring, GUID>> expected = {
      {L"DirectShow Filters", CLSID_LegacyAmFilterCategory},
      {L"Video Compressors", CLSID_VideoCompressorCategory},
      {L"Video Capture Sources", CLSID_VideoInputDeviceCategory},
      {L"Audio Capture Sources", CLSID_AudioInputDeviceCategory},
      {L"Audio Renderers", CLSID_AudioRendererCategory},
      {L"Audio Compressors", CLSID_AudioCompressorCategory},
      {L"WDM Streaming Crossbar Devices", AM_KSCATEGORY_CROSSBAR},
      {L"WDM Streaming TVTuner Devices", AM_KSCATEGORY_TVTUNER},
      {L"WDM Streaming TVAudio Devices", AM_KSCATEGORY_TVAUDIO},
  };
  ASSERT_EQ(categories.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(categories[i].friendlyName, expected[i].first);
    EXPECT_EQ(categories[i].clsid, GuidText(expected[i].second));
  }
}

// A filter's moniker in its category: its display name (stored forms keep it), its CLSID, a
// new filter at each bind, and a moniker made from the display name alone binding the same way.
TEST(SysDeviceEnum, SoftwareFilterMonikersNameBindAndDescribeTheFilter) {
  const struct {
    const GUID& category;
    const wchar_t* name;
    const CLSID& clsid;
    std::wstring displayName;
  } filters[] = {
      {CLSID_LegacyAmFilterCategory, L"Smart Tee", CLSID_SmartTee,
       L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\"
       L"{CC58E280-8AA1-11D1-B3F1-00AA003761C5}"},
      {CLSID_LegacyAmFilterCategory, L"Pinnacle Video Deinterlacer", CLSID_VideoDeinterlacer,
       L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\"
       L"{96A6F294-84B5-4779-AA94-9C9AD33ABEC6}"},
      // A registration with a moniker name of its own: the program's stored forms name it so.
      {CLSID_VideoCompressorCategory, L"DV Video Encoder", CLSID_DVVideoEnc,
       L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder"},
      {CLSID_AudioRendererCategory, L"Default DirectSound Device", CLSID_DSoundRender,
       L"@device:sw:" + GuidText(CLSID_AudioRendererCategory) + L"\\" +
           GuidText(CLSID_DSoundRender)},
  };
  for (const auto& f : filters) {
    SCOPED_TRACE(WideToUtf8(f.name));
    std::vector<Entry> entries;
    ASSERT_EQ(S_OK, Enumerate(f.category, &entries));
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const Entry& e) { return e.friendlyName == f.name; });
    ASSERT_NE(entry, entries.end());
    EXPECT_EQ(entry->displayName, f.displayName);
    EXPECT_EQ(entry->clsid, GuidText(f.clsid));
    ComPtr<IMoniker> stored;
    ASSERT_EQ(S_OK, CreateDeviceMoniker(f.displayName, stored.GetAddressOf()));
    EXPECT_EQ(ReadBag(stored.Get(), L"FriendlyName"), f.name);
    ComPtr<IBaseFilter> first, second;
    ASSERT_EQ(S_OK, entry->moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                 first.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK, stored->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                         second.ReleaseAndGetVoidAddressOf()));
    EXPECT_FALSE(IsSameObject(first.Get(), second.Get())) << "each bind makes a new filter";
    for (IBaseFilter* filter : {first.Get(), second.Get()}) {
      CLSID clsid{};
      filter->GetClassID(&clsid);
      EXPECT_EQ(clsid, f.clsid);
    }
  }
}

TEST(SysDeviceEnum, OrderIsTheRegistrationOrderAndStable) {
  std::vector<Entry> first;
  std::vector<Entry> second;
  ASSERT_EQ(S_OK, Enumerate(CLSID_LegacyAmFilterCategory, &first));
  ASSERT_EQ(S_OK, Enumerate(CLSID_LegacyAmFilterCategory, &second));
  EXPECT_EQ(Names(first), Names(second));
  std::vector<std::wstring> registered;
  for (const FilterRecord& record :
       FilterRegistry::Instance().FiltersInCategory(CLSID_LegacyAmFilterCategory)) {
    registered.push_back(record.friendlyName);
  }
  EXPECT_EQ(Names(first), registered);
}

TEST(SysDeviceEnum, EmptyAndUnknownCategoriesGiveSFalse) {
  std::vector<Entry> entries;
  EXPECT_EQ(S_FALSE, Enumerate(CLSID_AudioCompressorCategory, &entries)) << "nothing registered";
  const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(S_FALSE, Enumerate(unknown, &entries));
  EXPECT_EQ(E_POINTER, NewDeviceEnum()->CreateClassEnumerator(unknown, nullptr, 0));
}

TEST(SysDeviceEnum, HiddenFiltersAreLeftOut) {
  std::vector<Entry> before;
  ASSERT_EQ(S_OK, Enumerate(CLSID_LegacyAmFilterCategory, &before));
  const auto tee = std::find_if(before.begin(), before.end(),
                                [](const Entry& e) { return e.friendlyName == L"Smart Tee"; });
  ASSERT_NE(tee, before.end());
  ComPtr<IMoniker> oldMoniker = tee->moniker;
  {
    ScopedMachine machine(
        "# the start-up report without two filters\n"
        "hide-filter Smart Tee\nhide-filter SampleGrabber\n");
    std::vector<Entry> after;
    ASSERT_EQ(S_OK, Enumerate(CLSID_LegacyAmFilterCategory, &after));
    const auto names = Names(after);
    EXPECT_EQ(std::find(names.begin(), names.end(), L"Smart Tee"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), L"SampleGrabber"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"Null Renderer"), names.end());
    EXPECT_EQ(after.size() + 2, before.size());
    ComPtr<IBaseFilter> filter;
    EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_SmartTee, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IBaseFilter, filter.ReleaseAndGetVoidAddressOf())));
    EXPECT_TRUE(FAILED(oldMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                filter.ReleaseAndGetVoidAddressOf())))
        << "a stored moniker of a hidden filter does not bind";
  }
  std::vector<Entry> restored;
  ASSERT_EQ(S_OK, Enumerate(CLSID_LegacyAmFilterCategory, &restored));
  EXPECT_EQ(Names(restored), Names(before));
}

}  // namespace
}  // namespace vidorra::test
