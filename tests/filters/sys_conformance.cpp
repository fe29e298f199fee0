// The checklist every system filter passes: its class, pins that lead back to it and answer
// as unconnected, state changes while unconnected, and no reference left behind.
#include <qedit.h>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

struct SystemFilter {
  const CLSID* clsid;
  const char* name;
  size_t pins;  // when unconnected
};

constexpr SystemFilter kSystemFilters[] = {
    {&CLSID_SmartTee, "Smart Tee", 3},
    {&CLSID_InfTee, "Infinite Pin Tee Filter", 2},
    {&CLSID_NullRenderer, "Null Renderer", 1},
    {&CLSID_SampleGrabber, "SampleGrabber", 2},
    {&CLSID_Colour, "Color Space Converter", 2},
    {&CLSID_VideoRenderer, "Video Renderer", 1},
    {&CLSID_DSoundRender, "Default DirectSound Device", 1},
};

TEST(SysConformance, EverySystemFilterPassesTheChecklist) {
  for (const SystemFilter& entry : kSystemFilters) {
    SCOPED_TRACE(entry.name);
    ComPtr<IBaseFilter> filter = NewSystemFilter(*entry.clsid);
    ASSERT_TRUE(filter);
    CLSID clsid{};
    ASSERT_EQ(S_OK, filter->GetClassID(&clsid));
    EXPECT_EQ(clsid, *entry.clsid);

    {
      auto pins = PinsOf(filter.Get());
      ASSERT_EQ(pins.size(), entry.pins);
      EXPECT_EQ(PinDirection(pins[0].Get()), PINDIR_INPUT) << "the input comes first";
      for (auto& pin : pins) {
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
        EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(peer.GetAddressOf()));
        EXPECT_FALSE(peer);
        AM_MEDIA_TYPE mt{};
        EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectionMediaType(&mt));
      }
    }

    // Unconnected, it still goes through its states.
    EXPECT_TRUE(SUCCEEDED(filter->Pause()));
    EXPECT_TRUE(SUCCEEDED(filter->Run(0)));
    EXPECT_TRUE(SUCCEEDED(filter->Stop()));
    FILTER_STATE state = State_Running;
    EXPECT_EQ(S_OK, filter->GetState(0, &state));
    EXPECT_EQ(state, State_Stopped);

    // Only our reference is left.
    auto* object = dynamic_cast<CUnknown*>(filter.Get());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->RefCountForTesting(), 1u);
  }
}

}  // namespace
}  // namespace vidorra::test
