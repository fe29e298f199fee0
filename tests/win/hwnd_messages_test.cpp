// Window handles: messages posted from any thread delivered in order on the creating thread,
// sent messages, destruction, widget handles.
#include <gtest/gtest.h>
#include <winbase.h>
#include <winuser.h>

#include <QThread>
#include <QWidget>
#include <atomic>
#include <thread>

#include "HwndQt.h"
#include "wait_until.h"

namespace vidorra::test {
namespace {

// Posted messages wait for the event loop and keep their order and parameters; sent ones run
// at once (from another thread, when the window's thread next takes events); both on the
// window's thread. A window keeps the value it is given (and has none at an index it lacks); a
// destroyed one takes no more messages and drops those posted before; the desktop stays.
TEST(HwndMessages, PostedAndSentMessagesRunOnTheCreatingThreadUntilTheWindowIsDestroyed) {
  std::vector<std::pair<WPARAM, LPARAM>> received;
  bool onCreator = true;
  QThread* creator = QThread::currentThread();
  HWND window = AllocateHWnd([&](HWND, UINT message, WPARAM w, LPARAM l) -> LRESULT {
    onCreator = onCreator && QThread::currentThread() == creator;
    if (message == WM_USER) return static_cast<LRESULT>(w * 2);
    received.emplace_back(w, l);
    return 0;
  });
  ASSERT_TRUE(IsWindow(window));
  std::thread poster([&] {
    for (int i = 0; i < 200; ++i) EXPECT_TRUE(PostMessageA(window, WM_APP + 5, i, -i));
  });
  poster.join();
  EXPECT_TRUE(received.empty()) << "posted messages wait for the event loop";
  ASSERT_TRUE(WaitUntil([&] { return received.size() == 200; }));
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(received[i], std::make_pair(static_cast<WPARAM>(i), static_cast<LPARAM>(-i)));
  }
  EXPECT_EQ(42, SendMessageA(window, WM_USER, 21, 0));
  static std::atomic<LRESULT> sentFromAnotherThread = 0;  // outlives a sender that never returns
  std::thread([window] { sentFromAnotherThread = SendMessageA(window, WM_USER, 4, 0); }).detach();
  EXPECT_TRUE(WaitUntil([] { return sentFromAnotherThread == 8; }));
  EXPECT_TRUE(onCreator);
  EXPECT_EQ(0, SetWindowLongPtrA(window, GWLP_USERDATA, 7));
  EXPECT_EQ(7, GetWindowLongPtrA(window, GWLP_USERDATA));
  HWND other = AllocateHWnd(nullptr);
  EXPECT_TRUE(PostMessageA(window, WM_APP, 0, 0));
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(PostMessageA(window, WM_APP, 0, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(0, GetWindowLongPtrA(other, 0));  // no extra bytes
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(DestroyWindow(window));
  bool flushed = false;
  SetHwndProcedure(other, [&](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return flushed = true; });
  PostMessageA(other, WM_APP, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return flushed; }));
  EXPECT_EQ(received.size(), 200u);
  DeallocateHWnd(other);
  EXPECT_FALSE(DestroyWindow(GetDesktopWindow()));
  EXPECT_TRUE(IsWindow(GetDesktopWindow()));
}

// A widget's handle is its own and dies with it (the messages a widget's handle takes: the video
// renderer's message drain).
TEST(HwndMessages, WidgetHandlesRoundTripAndDieWithTheWidget) {
  auto widget = std::make_unique<QWidget>();
  HWND handle = HwndForWidget(widget.get());
  ASSERT_TRUE(handle);
  EXPECT_EQ(handle, HwndForWidget(widget.get()));
  EXPECT_EQ(widget.get(), WidgetForHwnd(handle));
  widget.reset();
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(nullptr, WidgetForHwnd(handle));
  EXPECT_EQ(nullptr, WidgetForHwnd(GetDesktopWindow()));
}

}  // namespace
}  // namespace vidorra::test
