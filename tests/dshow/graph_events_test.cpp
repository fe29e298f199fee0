// Graph events: notification through a window on the UI thread, the event handle, flags,
// parameters that hold references, and the trace written by SetLogFile.
#include <unistd.h>

#include <QThread>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "TestCountingSink.h"
#include "TestPushSource.h"
#include "graph_test_support.h"
#include "wait_until.h"

namespace vidorra::test {
namespace {

constexpr UINT kGraphNotify = WM_APP + 1;

struct Received {
  std::vector<GraphEvent> events;
  std::vector<LONG_PTR> instanceData;
  bool onUiThread = true;
};

TEST(GraphEvents, ThreeEventsQueuedAtOnceArriveInOrderOnTheUiThread) {
  auto graph = NewGraph();
  auto events = QueryAs<IMediaEventEx>(graph.Get());
  auto sink = QueryAs<IMediaEventSink>(graph.Get());
  Received received;
  QThread* uiThread = QThread::currentThread();
  HWND window = AllocateHWnd([&](HWND, UINT message, WPARAM, LPARAM lParam) -> LRESULT {
    if (message != kGraphNotify) return 0;
    received.onUiThread = received.onUiThread && QThread::currentThread() == uiThread;
    received.instanceData.push_back(lParam);
    GraphEvent e{};
    while (events->GetEvent(&e.code, &e.param1, &e.param2, 0) == S_OK) {
      received.events.push_back(e);
      events->FreeEventParams(e.code, e.param1, e.param2);
    }
    return 0;
  });
  ASSERT_EQ(S_OK, events->SetNotifyWindow(reinterpret_cast<OAHWND>(window), kGraphNotify, 77));
  // Queued from a streaming-like thread, all three before the UI thread looks.
  std::thread producer([&] {
    sink->Notify(EC_USER + 1, 10, 11);
    sink->Notify(EC_USER + 2, 20, 21);
    sink->Notify(EC_USER + 3, 30, 31);
  });
  producer.join();
  ASSERT_TRUE(WaitUntil([&] { return received.events.size() == 3; }));
  EXPECT_EQ(EC_USER + 1, received.events[0].code);
  EXPECT_EQ(EC_USER + 2, received.events[1].code);
  EXPECT_EQ(EC_USER + 3, received.events[2].code);
  EXPECT_EQ(30, received.events[2].param1);
  EXPECT_TRUE(received.onUiThread);
  ASSERT_FALSE(received.instanceData.empty());
  EXPECT_EQ(77, received.instanceData.front());
  events->SetNotifyWindow(0, 0, 0);
  DeallocateHWnd(window);
}

TEST(GraphEvents, NoNotifyFlagStopsTheMessagesNotTheQueue) {
  auto graph = NewGraph();
  auto events = QueryAs<IMediaEventEx>(graph.Get());
  int messages = 0;
  HWND window = AllocateHWnd([&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == kGraphNotify) ++messages;
    return 0;
  });
  events->SetNotifyWindow(reinterpret_cast<OAHWND>(window), kGraphNotify, 0);
  EXPECT_EQ(S_OK, events->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY));
  EXPECT_EQ(E_INVALIDARG, events->SetNotifyFlags(0x10));
  long flags = 0;
  events->GetNotifyFlags(&flags);
  EXPECT_EQ(AM_MEDIAEVENT_NONOTIFY, flags);
  QueryAs<IMediaEventSink>(graph.Get())->Notify(EC_USER, 0, 0);
  EXPECT_EQ(S_OK, events->SetNotifyFlags(0));
  QueryAs<IMediaEventSink>(graph.Get())->Notify(EC_USER, 1, 0);
  ASSERT_TRUE(WaitUntil([&] { return messages == 1; }));
  GraphEvent e{};
  EXPECT_TRUE(NextEvent(graph.Get(), &e, 0));
  EXPECT_TRUE(NextEvent(graph.Get(), &e, 0));
  EXPECT_EQ(1, e.param1);
  events->SetNotifyWindow(0, 0, 0);
  DeallocateHWnd(window);
}

TEST(GraphEvents, EventHandleIsSetWhileEventsAreQueued) {
  auto graph = NewGraph();
  auto events = QueryAs<IMediaEventEx>(graph.Get());
  OAEVENT handle = 0;
  ASSERT_EQ(S_OK, events->GetEventHandle(&handle));
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(h, 0));
  QueryAs<IMediaEventSink>(graph.Get())->Notify(EC_USER, 0, 0);
  QueryAs<IMediaEventSink>(graph.Get())->Notify(EC_USER, 0, 0);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0));
  GraphEvent e{};
  ASSERT_TRUE(NextEvent(graph.Get(), &e, 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0));
  ASSERT_TRUE(NextEvent(graph.Get(), &e, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(h, 0));
}

TEST(GraphEvents, DeviceLostHoldsItsDeviceUntilFreeEventParams) {
  auto graph = NewGraph();
  auto device = MakeComObject<TestCountingSink>();
  const ULONG before = device->RefCountForTesting();
  QueryAs<IMediaEventSink>(graph.Get())
      ->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(device.Get())),
               0);
  EXPECT_EQ(before + 1, device->RefCountForTesting());
  auto events = QueryAs<IMediaEventEx>(graph.Get());
  GraphEvent e{};
  ASSERT_EQ(S_OK, events->GetEvent(&e.code, &e.param1, &e.param2, 0));
  EXPECT_EQ(EC_DEVICE_LOST, e.code);
  EXPECT_EQ(before + 1, device->RefCountForTesting());
  events->FreeEventParams(e.code, e.param1, e.param2);
  EXPECT_EQ(before, device->RefCountForTesting());
  // An event never taken releases its device with the graph.
  QueryAs<IMediaEventSink>(graph.Get())
      ->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(device.Get())),
               1);
  events = nullptr;
  graph = nullptr;
  EXPECT_EQ(before, device->RefCountForTesting());
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(GraphEvents, SetLogFileTracesGraphOperations) {
  char path[] = "/tmp/vidorra-graph-log-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  auto graph = NewGraph();
  ASSERT_EQ(S_OK, graph->SetLogFile(static_cast<DWORD_PTR>(fd)));
  TestPushSourceConfig config;
  config.frameCount = 1;
  auto source = MakeComObject<TestPushSource>(config);
  auto sink = MakeComObject<TestCountingSink>();
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(sink.Get(), L"Sink");
  graph->Connect(source->OutputPin(), sink->InputPinInterface());
  auto control = QueryAs<IMediaControl>(graph.Get());
  control->Run();
  control->Stop();
  graph->RemoveFilter(sink.Get());
  graph->RemoveFilter(sink.Get());
  ASSERT_EQ(S_OK, graph->SetLogFile(0));
  graph->AddFilter(sink.Get(), L"After");  // not logged any more
  close(fd);
  const std::string log = ReadAll(path);
  std::remove(path);
  EXPECT_NE(std::string::npos, log.find("AddFilter \"Source\" -> 0x00000000"));
  EXPECT_NE(std::string::npos,
            log.find("Connect \"Source\".\"Output\" \"Sink\".\"In\" -> 0x00000000"));
  EXPECT_NE(std::string::npos, log.find("Run -> 0x00000000"));
  EXPECT_NE(std::string::npos, log.find("Stop -> 0x00000000"));
  EXPECT_NE(std::string::npos, log.find("RemoveFilter \"Sink\" -> 0x00000000"));
  EXPECT_NE(std::string::npos, log.find("RemoveFilter \"\" -> 0x80040216"));
  EXPECT_EQ(std::string::npos, log.find("After"));
}

}  // namespace
}  // namespace vidorra::test
