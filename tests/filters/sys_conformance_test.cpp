// The checklist every system filter passes: its class and registration, pins that lead back to
// it and answer as unconnected, state changes while unconnected, no reference left behind. Each
// one connected as it is used, run and taken out again: the tests of its graphs. The system
// device enumerator over the filters' registrations: the registration order, empty and unknown
// categories. Software filter monikers as the program stores them, and hidden filters: the
// program's tests (the engine's module); the devices it lists: the device tests.
#include <Deinterlacer.h>
#include <DeviceList.h>
#include <FilterRegistry.h>

#include "avi_test_support.h"
#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

// What a filter needs before its states are gone through unconnected.
using Prepare = std::function<void(IBaseFilter* filter, const TempDir& dir)>;

struct SystemFilter {
  const CLSID* clsid;
  const char* name;  // registered under
  size_t pins;       // when unconnected
  const CLSID* category = &CLSID_LegacyAmFilterCategory;
  PIN_DIRECTION firstPin = PINDIR_INPUT;
  Prepare prepare = {};
};

void LoadDv(IBaseFilter* source, const TempDir& dir) {
  const std::wstring path = Utf8ToWide(SmallDvFile(dir, 3));
  ASSERT_EQ(QueryAs<IFileSourceFilter>(source)->Load(path.c_str(), nullptr), S_OK);
}
void NameFile(IBaseFilter* writer, const TempDir& dir) {
  const std::wstring path = Utf8ToWide(dir.File("unconnected.bin"));
  ASSERT_EQ(QueryAs<IFileSinkFilter>(writer)->SetFileName(path.c_str(), nullptr), S_OK);
}

const CLSID* const kLegacy = &CLSID_LegacyAmFilterCategory;
const SystemFilter kSystemFilters[] = {
    {&CLSID_SmartTee, "Smart Tee", 3},
    {&CLSID_InfTee, "Infinite Pin Tee Filter", 2},
    {&CLSID_NullRenderer, "Null Renderer", 1},
    {&CLSID_SampleGrabber, "SampleGrabber", 2},
    {&CLSID_Colour, "Color Space Converter", 2},
    {&CLSID_VideoDeinterlacer, "Pinnacle Video Deinterlacer", 2},
    {&CLSID_VideoRenderer, "Video Renderer", 1},
    {&CLSID_DSoundRender, "Default DirectSound Device", 1, &CLSID_AudioRendererCategory},
    {&CLSID_DvFileSource, "DV File Source", 1, kLegacy, PINDIR_OUTPUT, LoadDv},
    {&CLSID_AviDest, "AVI Mux", 2, kLegacy, PINDIR_OUTPUT},
    {&CLSID_FileWriter, "File writer", 1, kLegacy, PINDIR_INPUT, NameFile},
    {&CLSID_DVSplitter, "DV Splitter", 2},
    {&CLSID_DVVideoCodec, "DV Video Decoder", 2},
    {&CLSID_DVVideoEnc, "DV Video Encoder", 2, &CLSID_VideoCompressorCategory},
};

TEST(SysConformance, EverySystemFilterPassesTheChecklist) {
  for (const SystemFilter& entry : kSystemFilters) {
    SCOPED_TRACE(entry.name);
    TempDir dir;
    ComPtr<IBaseFilter> filter = CreateFilter(*entry.clsid);
    ASSERT_TRUE(filter);
    CLSID clsid{};
    ASSERT_EQ(S_OK, filter->GetClassID(&clsid));
    const auto record = FilterRegistry::Instance().Find(*entry.clsid);
    ASSERT_TRUE(record);
    EXPECT_EQ(std::tuple(clsid, WideToUtf8(record->friendlyName), record->category),
              std::tuple(*entry.clsid, std::string(entry.name), *entry.category));

    ASSERT_EQ(PinsOf(filter.Get()).size(), entry.pins);
    EXPECT_EQ(PinsOf(filter.Get())[0], FreePin(filter.Get(), entry.firstPin)) << "the first pin";
    // Each pin names the filter, is found by its id, and answers as unconnected.
    for (auto& pin : PinsOf(filter.Get())) {
      PIN_INFO info{};
      ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
      EXPECT_TRUE(IsSameObject(info.pFilter, filter.Get()));
      info.pFilter->Release();
      LPWSTR id = nullptr;
      ASSERT_EQ(S_OK, pin->QueryId(&id));
      ComPtr<IPin> found;
      EXPECT_EQ(S_OK, filter->FindPin(id, found.GetAddressOf())) << "found by its id";
      CoTaskMemFree(id);
      EXPECT_TRUE(IsSameObject(found.Get(), pin.Get()));
      ComPtr<IPin> peer;
      AM_MEDIA_TYPE mine{};
      EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(peer.GetAddressOf()));
      EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectionMediaType(&mine));
    }

    // Unconnected, it still goes through its states.
    if (entry.prepare) entry.prepare(filter.Get(), dir);
    EXPECT_TRUE(SUCCEEDED(filter->Pause()));
    EXPECT_TRUE(SUCCEEDED(filter->Run(0)));
    EXPECT_TRUE(SUCCEEDED(filter->Stop()));
    FILTER_STATE state = State_Running;
    EXPECT_TRUE(filter->GetState(0, &state) == S_OK && state == State_Stopped);

    // Only our reference is left.
    auto* object = dynamic_cast<CUnknown*>(filter.Get());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->RefCountForTesting(), 1u);
  }
}

// ---- The system device enumerator over the filters' registrations ---------------------------

// The registration order, the same at each enumeration, each filter with its CLSID; S_FALSE for
// an empty category (an unknown one is listed by the same comparisons of categories).
TEST(SysDeviceEnum, RegistrationOrderAndEmptyCategories) {
  std::vector<std::wstring> registered, clsids, listed;
  for (const FilterRecord& record :
       FilterRegistry::Instance().FiltersInCategory(CLSID_LegacyAmFilterCategory)) {
    registered.push_back(record.friendlyName);
    wchar_t clsid[40] = {};
    StringFromGUID2(record.clsid, clsid, 40);
    clsids.push_back(clsid);
  }
  for (const ListedDevice& entry : ListDevices(CLSID_LegacyAmFilterCategory))
    listed.push_back(entry.clsid);
  EXPECT_EQ(listed, clsids);
  EXPECT_EQ(FriendlyNames(CLSID_LegacyAmFilterCategory), registered);
  HRESULT hr = S_OK;
  EXPECT_TRUE(ListDevices(CLSID_AudioCompressorCategory, &hr).empty());
  EXPECT_EQ(S_FALSE, hr) << "nothing registered";
  ComPtr<ICreateDevEnum> enumerator;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, enumerator.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(E_POINTER,
            enumerator->CreateClassEnumerator(CLSID_AudioCompressorCategory, nullptr, 0));
}

}  // namespace
}  // namespace vidorra::test
