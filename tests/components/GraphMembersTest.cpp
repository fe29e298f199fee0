// TFilter, TSampleGrabber and TVideoWindow as members of a TFilterGraph.
#include <amvideo.h>
#include <dvdmedia.h>
#include <evcode.h>
#include <oleauto.h>
#include <winuser.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>

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

constexpr long kPalWidth = 720, kPalHeight = 576;
constexpr uint32_t kPalRowBytes = 2160;

const std::wstring kColourName =
    L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{1643E180-90F5-11CE-97D5-00AA0055595A}";

// An RGB24 picture whose BITMAPINFOHEADER sits in a VIDEOINFOHEADER or VIDEOINFOHEADER2, in
// samples `extra` bytes larger than the picture.
CMediaType Rgb24Type(bool videoInfo2, ULONG extra) {
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&MEDIASUBTYPE_RGB24);
  mt.SetFormatType(videoInfo2 ? &FORMAT_VideoInfo2 : &FORMAT_VideoInfo);
  BYTE* format =
      mt.AllocFormatBuffer(videoInfo2 ? sizeof(VIDEOINFOHEADER2) : sizeof(VIDEOINFOHEADER));
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(
      format +
      (videoInfo2 ? offsetof(VIDEOINFOHEADER2, bmiHeader) : offsetof(VIDEOINFOHEADER, bmiHeader)));
  *header = {sizeof(BITMAPINFOHEADER),  kPalWidth, kPalHeight, 1, 24, BI_RGB,
             kPalRowBytes * kPalHeight, 0,         0,          0, 0};
  mt.SetSampleSize(kPalRowBytes * kPalHeight + extra);
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

// A filter joins once, with a fresh instance at every joining; without a moniker it joins
// without a filter; a graph destroyed under its members is forgotten by them.
TEST_F(GraphMembersTest, FilterJoinsOnceWithAFreshInstanceAtEveryJoining) {
  auto* filter = owner.Adopt(std::make_unique<TFilter>());
  filter->SetName(QStringLiteral("Colour"));
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(CreateDeviceMoniker(kColourName, moniker.GetAddressOf()), S_OK);
  filter->BaseFilter().SetMoniker(moniker.Get());
  EXPECT_FALSE(QueryAs<IBaseFilter>(filter)) << "no live filter outside a graph";
  graph->SetActive(true);
  filter->SetFilterGraph(graph);
  ComPtr<IBaseFilter> first;
  ASSERT_TRUE(InGraph(*graph, L"Colour", first.GetAddressOf()));
  filter->SetFilterGraph(graph);  // the same graph: the filter stays, no second joining
  EXPECT_EQ(filter->MemberFilter(), first.Get());
  filter->SetFilterGraph(nullptr);
  EXPECT_FALSE(InGraph(*graph, L"Colour"));
  filter->SetFilterGraph(graph);
  ComPtr<IBaseFilter> second;
  ASSERT_TRUE(InGraph(*graph, L"Colour", second.GetAddressOf()));
  EXPECT_FALSE(IsSameObject(first.Get(), second.Get())) << "a new instance";

  TFilter empty;
  empty.SetName(QStringLiteral("Empty"));
  empty.SetFilterGraph(graph);
  EXPECT_FALSE(empty.MemberFilter());
  EXPECT_FALSE(InGraph(*graph, L"Empty"));
  std::unique_ptr<TComponent>(graph).reset();  // destroyed directly, as the owner would
  graph = nullptr;
  EXPECT_EQ(filter->FilterGraph(), nullptr);
  EXPECT_EQ(empty.FilterGraph(), nullptr);
}

// ---- TSampleGrabber ---------------------------------------------------------------------------

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

// The picture's format (the grabber told the second one: moRefresh applies its stored type) and
// the bytes a sample holds beyond the picture.
struct GrabCase {
  bool videoInfo2;
  ULONG extra;
};
class SampleGrabberTest : public GraphMembersTest, public ::testing::WithParamInterface<GrabCase> {
 protected:
  void TearDown() override { graph->StopGraph(); }
};

// The frame is copied into a bitmap whose header is read at its place in either format;
// unconnected the bitmap is left alone, connected it takes the size before the first sample
// (and the copy fails); a sample larger than the picture is refused without an overrun (the
// stored type refusing another subtype: the engine's recordings).
TEST_P(SampleGrabberTest, CopiesTheFrameIntoABitmap) {
  const GrabCase& c = GetParam();
  auto* grabber = owner.Adopt(std::make_unique<TSampleGrabber>());
  grabber->SetFilterGraph(graph);
  graph->SetActive(true);
  TBitmap bitmap(16, 16);
  EXPECT_FALSE(grabber->CopyFrameToBitmap(&bitmap));
  EXPECT_EQ(bitmap.Width(), 16) << "unconnected: left alone";
  EXPECT_FALSE(grabber->CopyFrameToBitmap(nullptr));
  if (c.videoInfo2) {
    grabber->MediaType().SetFormatType(FORMAT_VideoInfo2);
    grabber->MemberNotify(moRefresh, 0);
  }
  auto source = MakeComObject<TestPushSource>(TestPushSourceConfig{
      .mediaType = Rgb24Type(c.videoInfo2, c.extra), .frameCount = 1, .bufferCount = 1});
  ComPtr<IGraphBuilder> manager = QueryAs<IGraphBuilder>(graph);
  ASSERT_TRUE(SUCCEEDED(manager->AddFilter(source.Get(), L"Source")));
  EXPECT_THROW(TFilterList::CreateFromGraph(manager.Get()).FilterAt(2), EListError);  // of 2
  EXPECT_THROW(TPinList::CreateFromFilter(source.Get()).PinAt(1), EListError);
  const ComPtr<IPin> input = TPinList::CreateFromFilter(grabber->MemberFilter()).PinAt(0);
  ASSERT_EQ(manager->ConnectDirect(source->OutputPin(), input.Get(), nullptr), S_OK);
  EXPECT_FALSE(grabber->CopyFrameToBitmap(&bitmap)) << "no sample yet";
  EXPECT_EQ(bitmap.Width(), kPalWidth);
  ASSERT_TRUE(graph->RunGraph());
  ComPtr<ISampleGrabber> sg = QueryAs<ISampleGrabber>(grabber);
  ASSERT_TRUE(WaitUntil([&] {
    long size = 0;
    return sg->GetCurrentBuffer(&size, nullptr) == S_OK;
  }));
  EXPECT_EQ(grabber->CopyFrameToBitmap(&bitmap), c.extra == 0);
  EXPECT_EQ(bitmap.Height(), kPalHeight);
  EXPECT_EQ(bitmap.RowBytes(), kPalRowBytes);
  // Taken out of the graph, the member lets its filter go: only this test's pin holds it. The
  // source lets go first, since the member breaks only its own end of the connection.
  graph->StopGraph();
  ASSERT_EQ(manager->Disconnect(source->OutputPin()), S_OK);
  grabber->SetFilterGraph(nullptr);
  sg = nullptr;
  EXPECT_EQ((input->AddRef(), input->Release()), 1u);
}

INSTANTIATE_TEST_SUITE_P(Formats, SampleGrabberTest,
                         ::testing::Values(GrabCase{false, 0}, GrabCase{true, 0},
                                           GrabCase{false, 4096}));

// ---- TVideoWindow -----------------------------------------------------------------------------

class VideoWindowTest : public GraphMembersTest, public QObject {
 protected:
  void SetUp() override {
    GraphMembersTest::SetUp();
    parent = std::make_unique<QWidget>();
    parent->resize(640, 480);
    window = new TVideoWindow(parent.get());  // NOLINT: the parent widget frees it
    EXPECT_EQ(window->size(), QSize(160, 120)) << "a new window's size";
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
  // Where the renderer is placed.
  static QRect Placed(IVideoWindow* video) {
    long left = -1, top = -1, width = -1, height = -1;
    EXPECT_EQ(video->GetWindowPosition(&left, &top, &width, &height), S_OK);
    return QRect(left, top, width, height);
  }
  // The keys the control hears: each one's code, negated when released.
  bool eventFilter(QObject*, QEvent* e) override {
    const int sign = e->type() == QEvent::KeyPress ? 1 : e->type() == QEvent::KeyRelease ? -1 : 0;
    if (sign) keys.push_back(sign * static_cast<QKeyEvent*>(e)->key());
    return false;
  }
  std::unique_ptr<QWidget> parent;
  std::unique_ptr<QMenu> menu;
  TVideoWindow* window = nullptr;
  std::vector<int> keys;
};

// Full screen is stored until the graph starts, which applies it: over the primary screen,
// without owner, caption or frame, top-most and not following the control; otherwise over the
// control, owned by its parent, a child window (the renderer's own placement: the filters'
// tests). The start captions the renderer and drains its input to the control (keys pressed and
// released, the left and middle buttons; a mouse position outside full screen is the message's
// own; right-clicked in full screen, the video opens the pop-up); a palette change places it
// again; the renderer's window is the video's handle once it carries the name; writing the mode
// makes a new renderer.
TEST_F(VideoWindowTest, TheGraphStartAppliesThePlacementAndCaptionsTheRenderer) {
  std::vector<QPoint> clicks;
  window->OnMouseDown = [&](TComponent*, Qt::MouseButton, const QPoint& p) { clicks.push_back(p); };
  window->OnMouseUp = [&](TComponent*, Qt::MouseButton, const QPoint& p) { clicks.push_back(p); };
  HWND handle = HwndForWidget(window);
  SendMessageA(handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 7));
  SendMessageA(handle, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(6, 8));  // nobody listens: ignored
  SendMessageA(handle, WM_LBUTTONUP, 0, MAKELPARAM(6, 8));
  SendMessageA(handle, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(1, 2));
  SendMessageA(handle, WM_MBUTTONUP, 0, MAKELPARAM(3, 4));
  EXPECT_EQ(clicks, (std::vector<QPoint>{{5, 7}, {6, 8}, {1, 2}, {3, 4}}));
  window->installEventFilter(this);
  for (UINT message : {WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP})
    SendMessageA(handle, message, 'A', 0);
  EXPECT_EQ(keys, (std::vector<int>{Qt::Key_A, -Qt::Key_A, Qt::Key_A, -Qt::Key_A}));
  window->SetFullScreen(true);
  EXPECT_FALSE(window->FullScreenShown());
  EXPECT_EQ(window->VideoHandle(), handle);
  window->SetFilterGraph(graph);
  graph->SetActive(true);
  EXPECT_FALSE(window->FullScreenShown());
  ASSERT_TRUE(graph->RunGraph());
  EXPECT_TRUE(window->FullScreenShown());
  ComPtr<IVideoWindow> video = QueryAs<IVideoWindow>(window);
  ASSERT_TRUE(video);
  window->resize(200, 100);
  EXPECT_EQ(Placed(video.Get()), QGuiApplication::primaryScreen()->geometry());
  long style = 0, styleEx = 0;
  OAHWND owner = 1, drain = 0;
  ASSERT_EQ(video->get_WindowStyle(&style), S_OK);
  ASSERT_EQ(video->get_WindowStyleEx(&styleEx), S_OK);
  ASSERT_EQ(video->get_Owner(&owner), S_OK);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME), 0);
  EXPECT_NE(styleEx & WS_EX_TOPMOST, 0);
  EXPECT_EQ(owner, 0);
  ASSERT_EQ(video->get_MessageDrain(&drain), S_OK);
  EXPECT_EQ(drain, reinterpret_cast<OAHWND>(handle));
  SendMessageA(handle, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  SendMessageA(handle, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
  EXPECT_TRUE(WaitUntil([&] { return menu->isVisible(); }));
  menu->hide();
  window->SetFullScreen(false);
  EXPECT_FALSE(window->FullScreenShown());
  EXPECT_EQ(Placed(video.Get()), window->geometry());
  window->setGeometry(10, 12, 320, 240);
  EXPECT_EQ(Placed(video.Get()), QRect(10, 12, 320, 240));
  ASSERT_EQ(video->get_Owner(&owner), S_OK);
  ASSERT_EQ(video->get_WindowStyle(&style), S_OK);
  EXPECT_EQ(owner, reinterpret_cast<OAHWND>(HwndForWidget(parent.get())));
  EXPECT_NE(style & WS_CHILD, 0);
  QWidget* renderer = WidgetForHwnd(window->VideoHandle());
  ASSERT_NE(renderer, nullptr);
  EXPECT_EQ(renderer->windowTitle(), QStringLiteral("vwEcran"));
  EXPECT_EQ(renderer->parentWidget(), parent.get());

  ASSERT_EQ(video->SetWindowPosition(1, 1, 2, 2), S_OK);
  ASSERT_TRUE(SUCCEEDED(QueryAs<IMediaEventSink>(graph)->Notify(EC_PALETTE_CHANGED, 0, 0)));
  SendMessageA(graph->NotifyWindow(), GraphNotifyMessage, 0, 0);
  EXPECT_EQ(Placed(video.Get()), window->geometry());
  long visible = OATRUE;
  window->setVisible(false);
  ASSERT_EQ(video->get_Visible(&visible), S_OK);
  EXPECT_EQ(visible, OAFALSE);
  graph->StopGraph();
  const ComPtr<IBaseFilter> before = window->MemberFilter();
  window->SetMode(window->Mode());
  EXPECT_NE(window->MemberFilter(), nullptr);
  EXPECT_NE(window->MemberFilter(), before.Get());
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
