// Window handles: posted messages from any thread delivered in order on the creating thread,
// sent messages, window longs, destruction, widget handles, screen metrics.
#include <gtest/gtest.h>
#include <winbase.h>
#include <winuser.h>

#include <QThread>
#include <QWidget>
#include <memory>
#include <thread>
#include <vector>

#include "HwndQt.h"
#include "wait_until.h"

namespace vidorra::test {
namespace {

struct Recorded {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool onCreatingThread;
};

TEST(HwndMessages, PostedMessagesArriveInOrderOnTheCreatingThread) {
  std::vector<Recorded> received;
  QThread* creator = QThread::currentThread();
  HWND window = AllocateHWnd([&](HWND, UINT message, WPARAM w, LPARAM l) -> LRESULT {
    received.push_back({message, w, l, QThread::currentThread() == creator});
    return 0;
  });
  ASSERT_TRUE(IsWindow(window));
  constexpr int kCount = 200;
  std::thread poster([&] {
    for (int i = 0; i < kCount; ++i) EXPECT_TRUE(PostMessageA(window, WM_APP + 5, i, -i));
  });
  poster.join();
  EXPECT_TRUE(received.empty()) << "posted messages wait for the event loop";
  ASSERT_TRUE(WaitUntil([&] { return received.size() == kCount; }));
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(static_cast<WPARAM>(i), received[i].wParam);
    EXPECT_EQ(-i, received[i].lParam);
    EXPECT_TRUE(received[i].onCreatingThread);
  }
  DeallocateHWnd(window);
}

TEST(HwndMessages, SendMessageCallsTheProcedureAndReturnsItsResult) {
  QThread* creator = QThread::currentThread();
  bool onCreator = false;
  HWND window = AllocateHWnd([&](HWND, UINT message, WPARAM w, LPARAM) -> LRESULT {
    onCreator = QThread::currentThread() == creator;
    return message == WM_USER ? static_cast<LRESULT>(w * 2) : 0;
  });
  EXPECT_EQ(42, SendMessageA(window, WM_USER, 21, 0));
  EXPECT_TRUE(onCreator);
  // From another thread the caller waits while the window's thread handles the message.
  std::atomic<LRESULT> result{0};
  std::atomic<bool> done{false};
  std::thread sender([&] {
    result = SendMessageW(window, WM_USER, 50, 0);
    done = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
  sender.join();
  EXPECT_EQ(100, result.load());
  EXPECT_TRUE(onCreator);
  DeallocateHWnd(window);
}

TEST(HwndMessages, DestroyedWindowsTakeNoMoreMessages) {
  int calls = 0;
  HWND window = AllocateHWnd([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
    ++calls;
    return 0;
  });
  EXPECT_TRUE(PostMessageA(window, WM_APP, 0, 0));
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(PostMessageA(window, WM_APP, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(DestroyWindow(window));
  // A message posted before the destruction is dropped with the window.
  bool flushed = false;
  HWND marker = AllocateHWnd([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
    flushed = true;
    return 0;
  });
  PostMessageA(marker, WM_APP, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return flushed; }));
  EXPECT_EQ(0, calls);
  DeallocateHWnd(marker);
}

TEST(HwndMessages, WindowLongsAreKeptPerWindow) {
  HWND a = AllocateHWnd(nullptr);
  HWND b = AllocateHWnd(nullptr);
  EXPECT_EQ(0, SetWindowLongA(a, GWL_STYLE, WS_CHILD | WS_VISIBLE));
  EXPECT_EQ(WS_CHILD | WS_VISIBLE, SetWindowLongA(a, GWL_STYLE, WS_POPUP));
  EXPECT_EQ(static_cast<LONG>(WS_POPUP), GetWindowLongA(a, GWL_STYLE));
  EXPECT_EQ(0, GetWindowLongA(b, GWL_STYLE));
  SetWindowLongA(a, GWL_EXSTYLE, WS_EX_TOPMOST);
  EXPECT_EQ(WS_EX_TOPMOST, GetWindowLongA(a, GWL_EXSTYLE));
  int data = 0;
  SetWindowLongPtrA(b, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(&data), GetWindowLongPtrA(b, GWLP_USERDATA));
  EXPECT_EQ(0, GetWindowLongA(a, 12345));
  EXPECT_EQ(0, DefWindowProcA(a, WM_PAINT, 0, 0));
  DeallocateHWnd(a);
  DeallocateHWnd(b);
  EXPECT_EQ(0, GetWindowLongA(a, GWL_STYLE));
}

TEST(HwndMessages, WidgetHandlesRoundTripAndDieWithTheWidget) {
  auto widget = std::make_unique<QWidget>();
  HWND handle = HwndForWidget(widget.get());
  ASSERT_TRUE(handle);
  EXPECT_EQ(handle, HwndForWidget(widget.get()));
  EXPECT_EQ(widget.get(), WidgetForHwnd(handle));
  std::vector<UINT> messages;
  ASSERT_TRUE(SetHwndProcedure(handle, [&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    messages.push_back(m);
    return 0;
  }));
  PostMessageA(handle, WM_LBUTTONDOWN, 0, 0);
  PostMessageA(handle, WM_LBUTTONUP, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return messages.size() == 2; }));
  EXPECT_EQ(static_cast<UINT>(WM_LBUTTONDOWN), messages[0]);
  widget.reset();
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(nullptr, WidgetForHwnd(handle));
  EXPECT_EQ(nullptr, WidgetForHwnd(GetDesktopWindow()));
}

TEST(HwndMessages, DesktopAndScreenMetrics) {
  HWND desktop = GetDesktopWindow();
  EXPECT_TRUE(IsWindow(desktop));
  EXPECT_EQ(desktop, GetDesktopWindow());
  EXPECT_FALSE(DestroyWindow(desktop));
  EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
  EXPECT_GT(GetSystemMetrics(SM_CYSCREEN), 0);
  POINT point{-1, -1};
  EXPECT_TRUE(GetCursorPos(&point));
}

}  // namespace
}  // namespace vidorra::test
