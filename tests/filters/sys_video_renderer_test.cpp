// "Video Renderer": the last frame shown the right way up and scaled to the window (grabbed
// offscreen), a frame shown where it was written left intact by the frames after it,
// IVideoWindow placement (owner, position, styles, visibility, caption), input forwarded to the
// message drain, and a window destroyed by its owner. It takes RGB (here); other types reach it
// through a converter (the DV chains' tests).
#include <ColorSpaceConverter.h>
#include <HwndQt.h>
#include <VideoRenderer.h>
#include <amvideo.h>
#include <shellapi.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <memory>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

using namespace vidorra::filters;

constexpr int kWidth = 64, kHeight = 48, kFrames = 5;

// Frame k: top half (200, 10k, 0), bottom half (0, 0, 200); stored bottom-up (or top-down),
// untimed.
QColor TopColour(int frame) { return QColor(200, 10 * frame, 0); }
const QColor kBottomColour(0, 0, 200);

struct RendererGraph {
  ComPtr<IGraphBuilder> graph = NewGraph();
  ComPtr<ListSource> source;
  ComPtr<IBaseFilter> renderer = CreateFilter(CLSID_VideoRenderer);
  ComPtr<IVideoWindow> video = QueryAs<IVideoWindow>(graph.Get());  // forwarded to the renderer
  VideoRendererWindow* window = static_cast<CVideoRenderer*>(renderer.Get())->WindowForTesting();

  explicit RendererGraph(PixelFormat format = PixelFormat::kRgb32, bool bottomUp = true) {
    const filters::FrameLayout layout{format, kWidth, kHeight, bottomUp};
    const size_t bytes = format == PixelFormat::kRgb32 ? 4 : 3;  // RGB32's unused byte left 0
    std::vector<ListedSample> frames;
    for (int k = 0; k < kFrames; ++k) {
      std::vector<uint8_t> image(layout.ImageSize(), 0);
      for (int y = 0; y < kHeight; ++y) {
        const QColor c = y < kHeight / 2 ? TopColour(k) : kBottomColour;
        uint8_t* row = image.data() + layout.Stride() * (bottomUp ? kHeight - 1 - y : y);
        for (int x = 0; x < kWidth; ++x) {
          std::tie(row[x * bytes], row[x * bytes + 1], row[x * bytes + 2]) =
              std::tuple(c.blue(), c.green(), c.red());
        }
      }
      frames.push_back({std::move(image), std::nullopt, std::nullopt});
    }
    source =
        MakeComObject<ListSource>(vidorra::filters::MakeVideoMediaType(layout), std::move(frames));
    AddFilters(graph.Get(), {{source.Get(), L"Source"}, {renderer.Get(), L"Video Renderer"}});
  }
  ~RendererGraph() { StopGraph(graph.Get()); }
};

void ExpectColourNear(QRgb actual, const QColor& expected, const char* where) {
  EXPECT_TRUE(std::abs(qRed(actual) - expected.red()) <= 2 &&
              std::abs(qGreen(actual) - expected.green()) <= 2 &&
              std::abs(qBlue(actual) - expected.blue()) <= 2)
      << where << ": " << QColor(actual).name().toStdString() << " for "
      << expected.name().toStdString();
}

// The last frame shown upright and scaled to the window, alone and inside an owner; the source
// writes into the renderer's own frame buffers, and frame 0, held here as painting holds the
// frame it draws, keeps its picture while the frames after it arrive.
TEST(SysVideoRenderer, ShowsTheLastFrameUprightAndScaledLeavingAHeldFrameIntact) {
  for (const auto& [format, bottomUp] :
       {std::pair{PixelFormat::kRgb32, true}, std::pair{PixelFormat::kRgb24, true},
        std::pair{PixelFormat::kRgb32, false}}) {
    SCOPED_TRACE(testing::Message() << (bottomUp ? "bottom-up " : "top-down ") << int(format));
    RendererGraph g(format, bottomUp);
    ASSERT_TRUE(g.window);
    QImage held;
    g.source->beforeFill = [&](size_t frame) {
      if (frame == 1) held = g.window->LatestFrame();
    };
    ASSERT_EQ(S_OK, Link(g.graph.Get(), g.source.Get(), 0, g.renderer.Get(), 0));
    ComPtr<IMemAllocator> used;
    ASSERT_EQ(
        S_OK,
        QueryAs<IMemInputPin>(PinAt(g.renderer.Get(), 0).Get())->GetAllocator(used.GetAddressOf()));
    EXPECT_NE(dynamic_cast<vidorra::filters::CVideoFrameAllocator*>(used.Get()), nullptr);
    ASSERT_EQ(S_OK, g.video->SetWindowPosition(0, 0, kWidth * 2, kHeight * 2));
    ASSERT_TRUE(SUCCEEDED(RunGraph(g.graph.Get())));
    EXPECT_TRUE(WaitUntil([&] { return g.window->FramesPresented() == kFrames; }));
    long visible = OAFALSE;
    g.video->get_Visible(&visible);
    EXPECT_EQ(visible, OATRUE) << "auto-show when the graph starts";
    const QImage latest = g.window->LatestFrame();
    ASSERT_FALSE(latest.isNull() || held.isNull());
    ExpectColourNear(latest.pixel(0, 0), TopColour(kFrames - 1), "latest frame wins");
    const uint32_t first = *reinterpret_cast<const uint32_t*>(latest.constBits());
    EXPECT_TRUE(format != PixelFormat::kRgb32 || first >> 24 == 0xFF) << "made opaque";
    EXPECT_NE(held.constBits(), latest.constBits());
    for (int y : {0, kHeight / 2 - 1}) {
      for (int x : {0, kWidth - 1}) ExpectColourNear(held.pixel(x, y), TopColour(0), "held frame");
    }
    ExpectColourNear(held.pixel(0, kHeight - 1), kBottomColour, "held frame's bottom");

    const QImage shown = g.window->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(kWidth * 2, kHeight * 2)) << "picture scaled to the window";
    ExpectColourNear(shown.pixel(kWidth, kHeight / 2), TopColour(kFrames - 1), "top half");
    ExpectColourNear(shown.pixel(kWidth, kHeight * 3 / 2), kBottomColour, "bottom half");

    // Inside an owner, as the program shows it: upright at its place in the owner.
    QWidget owner;
    owner.resize(kWidth * 4, kHeight * 4);
    ASSERT_EQ(S_OK, g.video->put_Owner(reinterpret_cast<OAHWND>(HwndForWidget(&owner))));
    ASSERT_EQ(S_OK, g.video->SetWindowPosition(kWidth, kHeight, kWidth * 2, kHeight * 2));
    ASSERT_EQ(S_OK, g.video->put_Visible(OATRUE));
    const QImage inOwner = owner.grab().toImage();
    ExpectColourNear(inOwner.pixel(kWidth * 2, kHeight * 3 / 2), TopColour(kFrames - 1),
                     "top half in the owner");
    ExpectColourNear(inOwner.pixel(kWidth * 2, kHeight * 5 / 2), kBottomColour,
                     "bottom half in the owner");
  }
}

// The window as the program moves it: in its owner at a place, full screen (no owner, no
// caption or frame, top-most) and back, its caption, hidden, brought in front; input on it
// reaches the message drain; destroyed by its owner, it leaves a renderer that still runs.
TEST(SysVideoRenderer, FollowsOwnerPlacementAndStylesPassesInputOnAndOutlivesItsWindow) {
  RendererGraph g;
  ASSERT_TRUE(g.window);
  auto owner = std::make_unique<QWidget>();
  owner->resize(420, 330);
  ASSERT_EQ(S_OK, g.video->put_Owner(reinterpret_cast<OAHWND>(HwndForWidget(owner.get()))));
  EXPECT_EQ(g.window->parentWidget(), owner.get());
  ASSERT_EQ(S_OK, g.video->SetWindowPosition(16, 16, 384, 288));
  EXPECT_EQ(g.window->geometry(), QRect(16, 16, 384, 288));
  ASSERT_EQ(S_OK, g.video->put_Visible(OATRUE));
  owner->show();
  EXPECT_TRUE(g.window->isVisible());

  const auto flags = [&] {
    const Qt::WindowFlags f = g.window->windowFlags();
    return std::tuple(bool(f & Qt::FramelessWindowHint), bool(f & Qt::WindowStaysOnTopHint),
                      bool(f & Qt::WindowTitleHint));
  };
  ASSERT_EQ(S_OK, g.video->put_Owner(0));
  EXPECT_TRUE(g.window->isWindow());
  long style = 0;
  g.video->get_WindowStyle(&style);
  ASSERT_EQ(S_OK, g.video->put_WindowStyle(style & ~(WS_CAPTION | WS_THICKFRAME)));
  ASSERT_EQ(S_OK, g.video->put_WindowStyleEx(WS_EX_TOPMOST));
  EXPECT_TRUE(std::get<0>(flags()) && std::get<1>(flags())) << "frameless, top-most";
  EXPECT_TRUE(g.window->isVisible()) << "restyling keeps the window shown";
  ASSERT_EQ(S_OK, g.video->SetWindowPosition(0, 0, 800, 600));
  EXPECT_EQ(g.window->geometry(), QRect(0, 0, 800, 600));
  ASSERT_EQ(S_OK, g.video->put_WindowStyle(style));
  ASSERT_EQ(S_OK, g.video->put_WindowStyleEx(0));
  EXPECT_EQ(flags(), std::tuple(false, false, true)) << "caption and frame, not top-most";
  // Every other property of the window reads back as written.
  using Put = HRESULT (IVideoWindow::*)(long);
  using Get = HRESULT (IVideoWindow::*)(long*);
  const std::tuple<Put, Get, long> kProperties[] = {
      {&IVideoWindow::put_Left, &IVideoWindow::get_Left, 30},
      {&IVideoWindow::put_Top, &IVideoWindow::get_Top, 40},
      {&IVideoWindow::put_Width, &IVideoWindow::get_Width, 320},
      {&IVideoWindow::put_Height, &IVideoWindow::get_Height, 240},
      {&IVideoWindow::put_AutoShow, &IVideoWindow::get_AutoShow, OAFALSE},
      {&IVideoWindow::put_BorderColor, &IVideoWindow::get_BorderColor, 0x204060},
      {&IVideoWindow::HideCursor, &IVideoWindow::IsCursorHidden, OATRUE},
      {&IVideoWindow::put_WindowState, &IVideoWindow::get_WindowState, SW_SHOWMAXIMIZED},
      {&IVideoWindow::put_WindowState, &IVideoWindow::get_WindowState, SW_SHOWMINIMIZED},
      {&IVideoWindow::put_WindowState, &IVideoWindow::get_WindowState, SW_HIDE},
  };
  for (const auto& [put, get, value] : kProperties) {
    long back = -1;
    EXPECT_EQ(S_OK, (g.video.Get()->*put)(value));
    EXPECT_EQ(S_OK, (g.video.Get()->*get)(&back));
    EXPECT_EQ(back, value);
  }
  ASSERT_EQ(S_OK, g.video->put_Caption(const_cast<BSTR>(L"vwEcran")));
  EXPECT_EQ(g.window->windowTitle(), QString("vwEcran"));
  ASSERT_EQ(S_OK, g.video->put_Visible(OAFALSE));
  EXPECT_FALSE(g.window->isVisible());
  EXPECT_EQ(E_INVALIDARG, g.video->put_Visible(2));
  EXPECT_EQ(E_INVALIDARG, g.video->put_Owner(12345)) << "not a window handle";
  EXPECT_EQ(E_NOTIMPL, g.video->put_FullScreenMode(OATRUE));

  ASSERT_EQ(S_OK, g.video->put_Owner(reinterpret_cast<OAHWND>(HwndForWidget(owner.get()))));
  new QWidget(owner.get());  // a sibling above it
  ASSERT_EQ(S_OK, g.video->SetWindowForeground(OAFALSE));
  EXPECT_EQ(owner->children().back(), g.window) << "in front of its siblings";
  QWidget drainWidget;
  const HWND drain = HwndForWidget(&drainWidget);
  std::vector<std::tuple<UINT, WPARAM, LPARAM>> received;
  ASSERT_TRUE(SetHwndProcedure(drain, [&](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    received.emplace_back(message, wParam, lParam);
    return LRESULT{0};
  }));
  ASSERT_EQ(S_OK, g.video->put_MessageDrain(reinterpret_cast<OAHWND>(drain)));
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 7), QPointF(5, 7), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(6, 8), QPointF(6, 8), Qt::RightButton,
                      Qt::NoButton, Qt::ShiftModifier);
  QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier),
      escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  for (QEvent* event : std::initializer_list<QEvent*>{&press, &release, &key, &escape})
    QApplication::sendEvent(g.window, event);
  ASSERT_TRUE(WaitUntil([&] { return received.size() >= 4; }));
  using Message = std::tuple<UINT, WPARAM, LPARAM>;
  EXPECT_EQ(received,
            (std::vector<Message>{{WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 7)},
                                  {WM_RBUTTONUP, MK_SHIFT, MAKELPARAM(6, 8)},
                                  {WM_KEYDOWN, 'A', std::get<2>(received[2])},
                                  {WM_KEYDOWN, 0x1B /* Escape */, std::get<2>(received[3])}}));

  owner.reset();  // deletes the renderer's window with it
  EXPECT_EQ(static_cast<CVideoRenderer*>(g.renderer.Get())->WindowForTesting(), nullptr);
  EXPECT_EQ(E_UNEXPECTED, g.video->put_Visible(OATRUE));
  ASSERT_EQ(S_OK, Link(g.graph.Get(), g.source.Get(), 0, g.renderer.Get(), 0));
  ASSERT_TRUE(SUCCEEDED(RunGraph(g.graph.Get())));
  long code = 0;
  EXPECT_EQ(S_OK, QueryAs<IMediaEvent>(g.graph.Get())->WaitForCompletion(5000, &code));
  EXPECT_EQ(code, EC_COMPLETE);
}

}  // namespace
}  // namespace vidorra::test
