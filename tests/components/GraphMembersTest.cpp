// TFilter, TSampleGrabber and TVideoWindow as members of a TFilterGraph.
#include <amvideo.h>
#include <devmoniker.h>
#include <dvdmedia.h>
#include <evcode.h>
#include <oleauto.h>
#include <winuser.h>

#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <optional>
#include <utility>

#include "Bitmap.h"
#include "ComponentsTestSupport.h"
#include "FilterRegistry.h"
#include "HwndQt.h"
#include "TestPushSource.h"
#include "wait_until.h"

using namespace components_test;
using vidorra::test::TestPushSource;
using vidorra::test::TestPushSourceConfig;
using vidorra::test::WaitUntil;

namespace {

constexpr long kPalWidth = 720;
constexpr long kPalHeight = 576;
constexpr uint32_t kPalRowBytes = 2160;

const std::wstring kColourName =
    L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{1643E180-90F5-11CE-97D5-00AA0055595A}";

// An RGB24 video type whose BITMAPINFOHEADER sits in a VIDEOINFOHEADER or VIDEOINFOHEADER2.
CMediaType Rgb24Type(bool videoInfo2, ULONG sampleSize = kPalRowBytes * kPalHeight) {
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&MEDIASUBTYPE_RGB24);
  BITMAPINFOHEADER* header = nullptr;
  if (videoInfo2) {
    mt.SetFormatType(&FORMAT_VideoInfo2);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER2*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
    header = &vih->bmiHeader;
  } else {
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    header = &vih->bmiHeader;
  }
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = kPalWidth;
  header->biHeight = kPalHeight;
  header->biPlanes = 1;
  header->biBitCount = 24;
  header->biSizeImage = kPalRowBytes * kPalHeight;
  mt.SetSampleSize(sampleSize);
  return mt;
}

// Registers the class again with the factory of its registry record, after a test replaced it.
void RegisterAgain(REFCLSID clsid, const char* name, const FilterRecord& record) {
  RegisterComClass(clsid, name, [factory = record.factory](REFIID riid, void** ppv) {
    ComPtr<IBaseFilter> filter;
    const HRESULT hr = factory(filter.GetAddressOf());
    return FAILED(hr) ? hr : filter->QueryInterface(riid, ppv);
  });
}

class GraphMembersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    graph = owner.Adopt(std::make_unique<TFilterGraph>());
    graph->SetName(QStringLiteral("fg"));
  }
  TComponent owner;
  TFilterGraph* graph = nullptr;
};

}  // namespace

// ---- TFilter -----------------------------------------------------------------------------------

TEST_F(GraphMembersTest, FilterJoinsOnceAndGetsAFreshInstanceAtEveryJoining) {
  auto* filter = owner.Adopt(std::make_unique<TFilter>());
  filter->SetName(QStringLiteral("Colour"));
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(CreateDeviceMoniker(kColourName, moniker.GetAddressOf()), S_OK);
  filter->BaseFilter().SetMoniker(moniker.Get());
  EXPECT_FALSE(QueryAs<IBaseFilter>(filter)) << "no live filter outside a graph";

  graph->SetActive(true);
  filter->SetFilterGraph(graph);
  filter->SetFilterGraph(graph);  // the same graph: no second registration
  ComPtr<IBaseFilter> first;
  ASSERT_TRUE(InGraph(*graph, L"Colour", first.GetAddressOf()));
  EXPECT_EQ(TFilterList::CreateFromGraph(QueryAs<IFilterGraph>(graph).Get()).Count(), 1);
  EXPECT_TRUE(IsSameObject(first.Get(), QueryAs<IBaseFilter>(filter).Get()));

  filter->SetFilterGraph(nullptr);
  EXPECT_FALSE(InGraph(*graph, L"Colour"));
  EXPECT_FALSE(filter->MemberFilter());
  filter->SetFilterGraph(graph);
  ComPtr<IBaseFilter> second;
  ASSERT_TRUE(InGraph(*graph, L"Colour", second.GetAddressOf()));
  EXPECT_FALSE(IsSameObject(first.Get(), second.Get())) << "a new instance";
}

TEST_F(GraphMembersTest, FilterWithoutMonikerJoinsWithoutAFilter) {
  TFilter filter;
  filter.SetName(QStringLiteral("Empty"));
  graph->SetActive(true);
  filter.SetFilterGraph(graph);
  EXPECT_EQ(filter.FilterGraph(), graph);
  EXPECT_FALSE(filter.MemberFilter());
  EXPECT_FALSE(InGraph(*graph, L"Empty"));
  filter.SetFilterGraph(nullptr);
}

TEST_F(GraphMembersTest, DestroyedGraphIsForgottenByItsMembers) {
  TComponent form;
  auto* fg = form.Adopt(std::make_unique<TFilterGraph>());
  auto* member = form.Adopt(std::make_unique<TFilter>());
  TFilter outsider;
  member->SetFilterGraph(fg);
  outsider.SetFilterGraph(fg);
  fg->SetActive(true);
  std::unique_ptr<TComponent>(fg).reset();  // destroyed directly, as the owner would
  EXPECT_EQ(member->FilterGraph(), nullptr);
  EXPECT_EQ(outsider.FilterGraph(), nullptr);
}

// ---- TSampleGrabber ---------------------------------------------------------------------------

class SampleGrabberTest : public GraphMembersTest {
 protected:
  void SetUp() override {
    GraphMembersTest::SetUp();
    grabber = owner.Adopt(std::make_unique<TSampleGrabber>());
    grabber->SetName(QStringLiteral("sg"));
    grabber->SetFilterGraph(graph);
    graph->SetActive(true);
  }
  // Adds a push source of `type` and connects it to the grabber's input.
  void ConnectSource(const CMediaType& type, int frames) {
    TestPushSourceConfig config;
    config.mediaType = type;
    config.frameCount = frames;
    config.bufferCount = 1;
    source = MakeComObject<TestPushSource>(config);
    ComPtr<IGraphBuilder> manager = QueryAs<IGraphBuilder>(graph);
    ASSERT_TRUE(SUCCEEDED(manager->AddFilter(source.Get(), L"Source")));
    const TPinList pins = TPinList::CreateFromFilter(grabber->MemberFilter());
    ASSERT_EQ(pins.Count(), 2);
    ASSERT_EQ(manager->ConnectDirect(source->OutputPin(), pins.PinAt(0).Get(), nullptr), S_OK);
  }
  void TearDown() override {
    if (graph != nullptr && graph->Active()) graph->StopGraph();
  }
  TSampleGrabber* grabber = nullptr;
  ComPtr<TestPushSource> source;
};

TEST(SampleGrabberCreation, FailsWithItsMessageWhenTheFilterIsMissing) {
  const std::optional<FilterRecord> record = FilterRegistry::Instance().Find(CLSID_SampleGrabber);
  ASSERT_TRUE(record.has_value());
  UnregisterComClass(CLSID_SampleGrabber);
  try {
    TSampleGrabber grabber;
    ADD_FAILURE() << "created without a Sample Grabber";
  } catch (const vidorra::EAssertionFailed& e) {
    EXPECT_TRUE(e.Message().startsWith(
        QStringLiteral("The SampleGrabber Filter is not available on this system.")))
        << e.what();
  }
  RegisterAgain(CLSID_SampleGrabber, "SampleGrabber", *record);
  EXPECT_TRUE(TSampleGrabber::SampleGrabberAvailable());
}

// Unconnected, the bitmap is left alone; connected but before any sample, it takes the
// connection's size and the copy still fails.
TEST_F(SampleGrabberTest, CopyFailsUntilASampleCame) {
  TBitmap bitmap(16, 16);
  HBITMAP before = bitmap.Handle();
  EXPECT_FALSE(grabber->CopyFrameToBitmap(&bitmap));
  EXPECT_EQ(bitmap.Handle(), before);
  EXPECT_EQ(bitmap.Width(), 16);
  EXPECT_FALSE(grabber->CopyFrameToBitmap(nullptr));
  ConnectSource(Rgb24Type(false), 1);
  EXPECT_FALSE(grabber->CopyFrameToBitmap(&bitmap));
  EXPECT_EQ(bitmap.Width(), kPalWidth);
  EXPECT_EQ(bitmap.Height(), kPalHeight);
}

// The grabber told to accept the second video format (moRefresh applies the type) reads the
// bitmap header at offset 72.
TEST_F(SampleGrabberTest, VideoInfo2HeaderIsTakenFromOffset72) {
  grabber->MediaType().SetFormatType(FORMAT_VideoInfo2);
  grabber->MemberNotify(moRefresh, 0);
  ConnectSource(Rgb24Type(true), 1);
  ASSERT_TRUE(graph->RunGraph());
  TBitmap bitmap;
  ASSERT_TRUE(WaitUntil([&] { return grabber->CopyFrameToBitmap(&bitmap); }));
  EXPECT_EQ(bitmap.Width(), kPalWidth);
  EXPECT_EQ(bitmap.Height(), kPalHeight);
  EXPECT_EQ(bitmap.RowBytes(), kPalRowBytes);
}

TEST_F(SampleGrabberTest, SampleLargerThanTheImageIsRefusedWithoutOverrun) {
  ConnectSource(Rgb24Type(false, kPalRowBytes * kPalHeight + 4096), 1);
  ASSERT_TRUE(graph->RunGraph());
  ComPtr<ISampleGrabber> sg = QueryAs<ISampleGrabber>(grabber);
  ASSERT_TRUE(sg);
  ASSERT_TRUE(WaitUntil([&] {
    long size = 0;
    return sg->GetCurrentBuffer(&size, nullptr) == S_OK;
  }));
  TBitmap bitmap;
  EXPECT_FALSE(grabber->CopyFrameToBitmap(&bitmap));
  EXPECT_EQ(bitmap.Width(), kPalWidth) << "the bitmap was replaced before the refusal";
}

// The grabber's stored type (RGB24 video) is applied: a source of another subtype is refused.
TEST_F(SampleGrabberTest, StoredMediaTypeIsAppliedToTheFilter) {
  TestPushSourceConfig config;
  config.mediaType = Rgb24Type(false);
  config.mediaType.SetSubtype(&MEDIASUBTYPE_RGB32);
  auto other = MakeComObject<TestPushSource>(config);
  ComPtr<IGraphBuilder> manager = QueryAs<IGraphBuilder>(graph);
  ASSERT_TRUE(SUCCEEDED(manager->AddFilter(other.Get(), L"Other")));
  const TPinList pins = TPinList::CreateFromFilter(grabber->MemberFilter());
  EXPECT_TRUE(FAILED(manager->ConnectDirect(other->OutputPin(), pins.PinAt(0).Get(), nullptr)));
}

// ---- TVideoWindow -----------------------------------------------------------------------------

class VideoWindowTest : public GraphMembersTest {
 protected:
  void SetUp() override {
    GraphMembersTest::SetUp();
    parent = std::make_unique<QWidget>();
    parent->resize(640, 480);
    window = new TVideoWindow(parent.get());  // NOLINT: the parent widget frees it
    window->SetName(QStringLiteral("vwEcran"));
    window->setGeometry(20, 30, 384, 288);
    window->SetFullScreenTopMost(true);
    menu = std::make_unique<QMenu>();
    menu->addAction(QStringLiteral("Plein écran"));
    window->SetPopupMenu(menu.get());
    parent->show();
  }
  void TearDown() override {
    if (menu) menu->hide();
    if (window != nullptr) window->SetFilterGraph(nullptr);
  }
  std::unique_ptr<QWidget> parent;
  std::unique_ptr<QMenu> menu;
  TVideoWindow* window = nullptr;
};

TEST_F(VideoWindowTest, VmrIsNotOfferedSoModeStaysNormal) {
  if (TVideoWindow::VMRAvailable()) GTEST_SKIP() << "this platform has the VMR-9";
  window->SetMode(vmVMR);
  EXPECT_EQ(window->Mode(), vmNormal);
  window->VMROptions().SetStreams(40);
  EXPECT_EQ(window->VMROptions().Streams(), 1u);
  window->VMROptions().SetStreams(8);
  EXPECT_EQ(window->VMROptions().Streams(), 8u);
}

TEST_F(VideoWindowTest, RightClickOnTheFullScreenVideoOpensThePopupMenu) {
  window->SetFullScreen(true);
  HWND drain = HwndForWidget(window);
  SendMessageA(drain, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  SendMessageA(drain, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
  EXPECT_TRUE(WaitUntil([&] { return menu->isVisible(); }));
}

TEST_F(VideoWindowTest, MousePositionsAreScreenCoordinatesInFullScreenOnly) {
  std::vector<QPoint> downs;
  window->OnMouseDown = [&](TComponent*, Qt::MouseButton, const QPoint& p) { downs.push_back(p); };
  SendMessageA(HwndForWidget(window), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 7));
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0], QPoint(5, 7)) << "outside full screen: the message's coordinates";
}

TEST_F(VideoWindowTest, FullScreenPlacesTheRendererOverThePrimaryScreen) {
  window->SetFilterGraph(graph);
  graph->SetActive(true);
  ComPtr<IVideoWindow> video = QueryAs<IVideoWindow>(window);
  ASSERT_TRUE(video);
  EXPECT_TRUE(InGraph(*graph, L"vwEcran"));

  window->SetFullScreen(true);
  EXPECT_TRUE(window->FullScreenShown());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  long left = -1, top = -1, width = -1, height = -1, style = 0, styleEx = 0;
  OAHWND owner = 1;
  ASSERT_EQ(video->GetWindowPosition(&left, &top, &width, &height), S_OK);
  EXPECT_EQ(QRect(left, top, width, height), screen);
  ASSERT_EQ(video->get_WindowStyle(&style), S_OK);
  ASSERT_EQ(video->get_WindowStyleEx(&styleEx), S_OK);
  ASSERT_EQ(video->get_Owner(&owner), S_OK);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME), 0);
  EXPECT_NE(styleEx & WS_EX_TOPMOST, 0);
  EXPECT_EQ(owner, 0);

  window->resize(200, 100);  // the full-screen window does not follow
  ASSERT_EQ(video->GetWindowPosition(&left, &top, &width, &height), S_OK);
  EXPECT_EQ(QRect(left, top, width, height), screen);

  window->SetFullScreen(false);
  EXPECT_FALSE(window->FullScreenShown());
  ASSERT_EQ(video->GetWindowPosition(&left, &top, &width, &height), S_OK);
  EXPECT_EQ(QRect(left, top, width, height), window->geometry());
  window->setGeometry(10, 12, 320, 240);  // over the control, the window follows it
  ASSERT_EQ(video->GetWindowPosition(&left, &top, &width, &height), S_OK);
  EXPECT_EQ(QRect(left, top, width, height), QRect(10, 12, 320, 240));
  ASSERT_EQ(video->get_Owner(&owner), S_OK);
  EXPECT_EQ(owner, reinterpret_cast<OAHWND>(HwndForWidget(parent.get())));
  ASSERT_EQ(video->get_WindowStyle(&style), S_OK);
  EXPECT_NE(style & WS_CHILD, 0);
}

TEST_F(VideoWindowTest, VideoHandleIsTheRendererWindowOnceItCarriesTheName) {
  EXPECT_EQ(window->VideoHandle(), HwndForWidget(window));
  window->SetFilterGraph(graph);
  graph->SetActive(true);
  graph->RunGraph();  // the graph start captions the renderer's window and lays it over us
  const HWND handle = window->VideoHandle();
  EXPECT_NE(handle, HwndForWidget(window));
  QWidget* renderer = WidgetForHwnd(handle);
  ASSERT_NE(renderer, nullptr);
  EXPECT_EQ(renderer->windowTitle(), QStringLiteral("vwEcran"));
  EXPECT_EQ(renderer->parentWidget(), parent.get());
  graph->StopGraph();
}

// Without a running graph full screen is only stored; the graph start applies it.
TEST_F(VideoWindowTest, GraphStartAppliesTheStoredFullScreen) {
  window->SetFullScreen(true);
  EXPECT_TRUE(window->FullScreen());
  EXPECT_FALSE(window->FullScreenShown());
  window->SetFilterGraph(graph);
  graph->SetActive(true);
  EXPECT_FALSE(window->FullScreenShown());
  graph->RunGraph();
  EXPECT_TRUE(window->FullScreenShown());
  OAHWND drain = 0;
  ComPtr<IVideoWindow> video = QueryAs<IVideoWindow>(window);
  ASSERT_EQ(video->get_MessageDrain(&drain), S_OK);
  EXPECT_EQ(drain, reinterpret_cast<OAHWND>(HwndForWidget(window)));
  graph->StopGraph();
}

TEST_F(VideoWindowTest, PaletteChangeReappliesThePlacementAndVisibleReachesTheRenderer) {
  window->SetFilterGraph(graph);
  graph->SetActive(true);
  ComPtr<IVideoWindow> video = QueryAs<IVideoWindow>(window);
  ASSERT_TRUE(video);
  ASSERT_EQ(video->SetWindowPosition(1, 1, 2, 2), S_OK);
  ComPtr<IMediaEventSink> sink = QueryAs<IMediaEventSink>(graph);
  ASSERT_TRUE(sink);
  ASSERT_TRUE(SUCCEEDED(sink->Notify(EC_PALETTE_CHANGED, 0, 0)));
  SendMessageA(graph->NotifyWindow(), GraphNotifyMessage, 0, 0);
  long left = 0, top = 0, width = 0, height = 0;
  ASSERT_EQ(video->GetWindowPosition(&left, &top, &width, &height), S_OK);
  EXPECT_EQ(QRect(left, top, width, height), window->geometry());
  BSTR caption = nullptr;
  ASSERT_EQ(video->get_Caption(&caption), S_OK);
  EXPECT_EQ(QString::fromWCharArray(caption), QStringLiteral("vwEcran"));
  SysFreeString(caption);

  long visible = OATRUE;
  window->setVisible(false);
  ASSERT_EQ(video->get_Visible(&visible), S_OK);
  EXPECT_EQ(visible, OAFALSE);
  window->setVisible(true);
  ASSERT_EQ(video->get_Visible(&visible), S_OK);
  EXPECT_EQ(visible, OATRUE);
}

// A renderer that cannot be stopped: the window's destruction reports it (the window is on
// screen) instead of raising out of the destructor, and the renderer still leaves the graph.
TEST_F(VideoWindowTest, DestroyedWindowWhoseRendererFailsToStopReportsAndLeaves) {
  struct UnstoppableRenderer : PinlessFilter {
    STDMETHODIMP Stop() override { return E_FAIL; }
  };
  const std::optional<FilterRecord> renderer = FilterRegistry::Instance().Find(CLSID_VideoRenderer);
  ASSERT_TRUE(renderer.has_value());
  RegisterComClass(CLSID_VideoRenderer, "Unstoppable renderer", [](REFIID riid, void** ppv) {
    return MakeComObject<UnstoppableRenderer>()->QueryInterface(riid, ppv);
  });
  window->SetFilterGraph(graph);
  graph->SetActive(true);
  RegisterAgain(CLSID_VideoRenderer, "Video Renderer", *renderer);
  ASSERT_TRUE(InGraph(*graph, L"vwEcran"));

  ErrorRecorder errors;
  delete std::exchange(window, nullptr);
  ASSERT_EQ(errors.messages.size(), 1);
  EXPECT_TRUE(errors.messages[0].startsWith(QStringLiteral("vwEcran was not torn down cleanly: ")))
      << errors.messages[0].toStdString();
  EXPECT_FALSE(InGraph(*graph, L"vwEcran"));
}
