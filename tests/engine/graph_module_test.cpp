// The data module: its component set read from the form data, the stored monikers and media
// type, joining the graph under the component names, and its destruction.
#include <uuids.h>

#include "EngineTestSupport.h"

using namespace engine_test;

namespace {

constexpr const wchar_t* kDirectShowFilters =
    L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\";

// The helper filters: their stored moniker and the filter it binds to.
struct StoredFilter {
  const char* component;
  std::wstring displayName;
  CLSID clsid;
};

const StoredFilter kStoredFilters[] = {
    {"Deinterlacer", std::wstring(kDirectShowFilters) + L"{96A6F294-84B5-4779-AA94-9C9AD33ABEC6}",
     GUID_NULL},  // installed on few machines
    {"DVencoder", L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder",
     CLSID_DVVideoEnc},
    {"color", std::wstring(kDirectShowFilters) + L"{1643E180-90F5-11CE-97D5-00AA0055595A}",
     CLSID_Colour},
    {"color2", std::wstring(kDirectShowFilters) + L"{1643E180-90F5-11CE-97D5-00AA0055595A}",
     CLSID_Colour},
    {"Smarttee", std::wstring(kDirectShowFilters) + L"{CC58E280-8AA1-11D1-B3F1-00AA003761C5}",
     CLSID_SmartTee},
    {"Infinite", std::wstring(kDirectShowFilters) + L"{F8388A40-D5BB-11D0-BE5A-0080C706568E}",
     CLSID_InfTee},
    {"Infinite2", std::wstring(kDirectShowFilters) + L"{F8388A40-D5BB-11D0-BE5A-0080C706568E}",
     CLSID_InfTee},
    {"Null", std::wstring(kDirectShowFilters) + L"{C1F400A4-3F08-11D3-9F0B-006008039E37}",
     CLSID_NullRenderer},
};

}  // namespace

TEST_F(EngineTest, TheComponentSetIsReadFromTheFormData) {
  TdmCam& dm = Module();
  EXPECT_EQ(dmCam, &dm);
  QStringList components;
  for (int i = 0; i < dm.ComponentCount(); ++i) {
    components << dm.Components(i)->Name() + QLatin1Char(':') + dm.Components(i)->ClassName();
  }
  EXPECT_EQ(components.join(QLatin1Char(' ')),
            QStringLiteral("fg:TFilterGraph VideoSource:TFilter AudioSource:TFilter "
                           "sg:TSampleGrabber Deinterlacer:TFilter DVencoder:TFilter "
                           "color:TFilter color2:TFilter Smarttee:TFilter Infinite:TFilter "
                           "Infinite2:TFilter Null:TFilter"));

  EXPECT_TRUE(dm.fg->Active()) << "AutoCreate";
  EXPECT_EQ(dm.fg->Mode(), gmCapture);
  EXPECT_FALSE(dm.fg->GraphEdit());
  ComPtr<ICaptureGraphBuilder2> builder;
  EXPECT_EQ(dm.fg->QueryInterface(IID_ICaptureGraphBuilder2, builder.ReleaseAndGetVoidAddressOf()),
            S_OK);

  EXPECT_EQ(dm.sg->FilterGraph(), dm.fg);
  EXPECT_EQ(dm.sg->MediaType().MajorType(), MEDIATYPE_Video);
  EXPECT_EQ(dm.sg->MediaType().SubType(), MEDIASUBTYPE_RGB24);
  EXPECT_EQ(dm.sg->MediaType().FormatType(), FORMAT_VideoInfo);
  EXPECT_EQ(dm.sg->MediaType().FormatLength(), 0u);
  EXPECT_EQ(dm.sg->MediaType().AmMediaType()->lSampleSize, 1u);
  EXPECT_TRUE(dm.sg->MediaType().AmMediaType()->bFixedSizeSamples);
  EXPECT_FALSE(dm.sg->MediaType().AmMediaType()->bTemporalCompression);
  EXPECT_EQ(FiltersInGraph(), QStringList{QStringLiteral("sg")}) << "only sg is always there";

  EXPECT_EQ(dm.VideoSource->BaseFilter().Size(), 0u);
  EXPECT_EQ(dm.AudioSource->BaseFilter().Size(), 0u);
  EXPECT_EQ(dm.VideoSource->FilterGraph(), nullptr);
  EXPECT_EQ(dm.VideoSourceKind, vskInterleaved);
  EXPECT_FALSE(dm.IsDVSource);
  EXPECT_FALSE(dm.SourcePin);
}

TEST_F(EngineTest, EachStoredMonikerBindsTheTabledFilterUnderItsComponentName) {
  TdmCam& dm = Module();
  for (const StoredFilter& stored : kStoredFilters) {
    SCOPED_TRACE(stored.component);
    auto* filter = dynamic_cast<TFilter*>(dm.FindComponent(QString::fromLatin1(stored.component)));
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(DisplayName(filter->BaseFilter().Moniker().Get()), stored.displayName);
    if (stored.clsid == GUID_NULL) continue;
    filter->SetFilterGraph(dm.fg);
    EXPECT_EQ(ClassOf(filter->MemberFilter()), stored.clsid);
    EXPECT_TRUE(FiltersInGraph().contains(QString::fromLatin1(stored.component)));
    filter->SetFilterGraph(nullptr);
  }
  EXPECT_EQ(FiltersInGraph(), QStringList{QStringLiteral("sg")});
}

TEST_F(EngineTest, DestroyStopsEmptiesAndDeactivatesTheGraph) {
  TdmCam& dm = Module();
  dm.Infinite->SetFilterGraph(dm.fg);
  AddStranger();
  ComPtr<IFilterGraph> graph;
  ASSERT_EQ(dm.fg->QueryInterface(IID_IFilterGraph, graph.ReleaseAndGetVoidAddressOf()), S_OK);

  dm.DataModuleDestroy();
  EXPECT_FALSE(dm.fg->Active());
  ComPtr<IEnumFilters> left;
  ASSERT_EQ(graph->EnumFilters(left.GetAddressOf()), S_OK);
  ComPtr<IBaseFilter> any;
  EXPECT_NE(left->Next(1, any.GetAddressOf(), nullptr), S_OK)
      << "the members left with the deactivation, the stranger with EmptyGraph";

  module_.reset();
  EXPECT_EQ(dmCam, nullptr);
}
