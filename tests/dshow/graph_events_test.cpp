// Graph events: notification through a window on the UI thread, the event handle, flags,
// EC_COMPLETE and the run, and the trace of SetLogFile.
#include <fcntl.h>
#include <unistd.h>

#include <QThread>
#include <fstream>
#include <sstream>
#include <thread>

#include "RecordingSink.h"
#include "TestPushSource.h"
#include "FilterPins.h"
#include <gtest/gtest.h>
#include "temp_dir.h"
#include "wait_until.h"

namespace vidorra::test {
namespace {

constexpr UINT kGraphNotify = WM_APP + 1;

// Events queued at once from another thread are announced to the notify window on the UI
// thread and read there in order. The event handle is set while events are queued; a GetEvent
// on an empty queue times out with E_ABORT and resets it. NONOTIFY drops the queue and queues
// nothing until it is cleared.
TEST(GraphEvents, TheWindowTheHandleAndTheFlags) {
  auto graph = NewGraph();
  auto events = QueryAs<IMediaEventEx>(graph.Get());
  auto sink = QueryAs<IMediaEventSink>(graph.Get());
  std::vector<GraphEvent> received;
  std::vector<LONG_PTR> instanceData;
  bool onUiThread = true;
  QThread* uiThread = QThread::currentThread();
  HWND window = AllocateHWnd([&](HWND, UINT message, WPARAM, LPARAM lParam) -> LRESULT {
    if (message != kGraphNotify) return 0;
    onUiThread = onUiThread && QThread::currentThread() == uiThread;
    instanceData.push_back(lParam);
    for (GraphEvent e{}; events->GetEvent(&e.code, &e.param1, &e.param2, 0) == S_OK;) {
      received.push_back(e);
      events->FreeEventParams(e.code, e.param1, e.param2);
    }
    return 0;
  });
  ASSERT_EQ(S_OK, events->SetNotifyWindow(reinterpret_cast<OAHWND>(window), kGraphNotify, 77));
  std::thread producer([&] {
    for (long i = 1; i <= 3; ++i) sink->Notify(EC_USER + i, 10 * i, 0);
  });
  producer.join();
  ASSERT_TRUE(WaitUntil([&] { return received.size() == 3; }));
  for (long i = 1; i <= 3; ++i) EXPECT_EQ(EC_USER + i, received[i - 1].code);
  EXPECT_EQ(30, received[2].param1);
  EXPECT_TRUE(onUiThread);
  EXPECT_EQ(77, instanceData.front());
  ASSERT_EQ(S_OK, events->SetNotifyWindow(0, 0, 0));

  long code = 1;
  LONG_PTR p1 = 1, p2 = 1;
  EXPECT_EQ(E_ABORT, events->GetEvent(&code, &p1, &p2, 20));
  EXPECT_EQ(0, code);
  OAEVENT handle = 0;
  ASSERT_EQ(S_OK, events->GetEventHandle(&handle));
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(h, 0));
  sink->Notify(EC_USER, 0, 0);
  sink->Notify(EC_USER, 0, 0);
  for (int left = 2; left > 0; --left) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0));
    ASSERT_TRUE(NextGraphEvent(graph.Get(), {}, 0));
  }
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(h, 0));
  SetEvent(h);  // set with nothing queued (a waiter woken late, say)
  EXPECT_FALSE(NextGraphEvent(graph.Get(), {}, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(h, 0));

  sink->Notify(EC_USER, 1, 0);
  EXPECT_EQ(S_OK, events->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY));
  EXPECT_EQ(E_INVALIDARG, events->SetNotifyFlags(0x10));
  long flags = 0;
  events->GetNotifyFlags(&flags);
  EXPECT_EQ(AM_MEDIAEVENT_NONOTIFY, flags);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(h, 0));
  EXPECT_FALSE(NextGraphEvent(graph.Get(), {}, 0)) << "the queued event is dropped";
  sink->Notify(EC_USER, 2, 0);
  EXPECT_FALSE(NextGraphEvent(graph.Get(), {}, 0)) << "nor is a new one queued";
  EXPECT_EQ(S_OK, events->SetNotifyFlags(0));
  sink->Notify(EC_USER, 3, 0);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0));
  EXPECT_EQ(3, NextGraphEvent(graph.Get(), {}, 0).value_or(GraphEvent{}).param1);
  DeallocateHWnd(window);
}

// An unconnected renderer has nothing to wait for: it reports its end at every run. What the
// application is told: one EC_COMPLETE a run; an unread one stays through Stop (and Pause)
// and only the next run takes it back. With the default handling cancelled, the renderer's own
// EC_COMPLETE among other events goes the same way, the others kept in order.
TEST(GraphEvents, CompleteComesOncePerRunAndOnlyANewRunTakesItBack) {
  auto graph = NewGraph();
  graph->AddFilter(MakeComObject<RecordingSink>().Get(), L"Lonely");
  auto control = QueryAs<IMediaControl>(graph.Get());
  // The codes queued (the queue read to the end), and the EC_COMPLETEs among them.
  const auto queued = [&] {
    std::vector<long> codes;
    while (const auto e = NextGraphEvent(graph.Get(), {}, 0)) codes.push_back(e->code);
    return codes;
  };
  const auto completions = [&] { return std::ranges::count(queued(), EC_COMPLETE); };
  ASSERT_EQ(S_OK, control->Run());
  EXPECT_EQ(1, completions()) << "first run";
  ASSERT_EQ(S_OK, control->Pause());
  EXPECT_EQ(0, completions()) << "not while paused";
  ASSERT_EQ(S_OK, control->Run());
  ASSERT_EQ(S_OK, control->Pause());
  ASSERT_EQ(S_OK, control->Run());
  EXPECT_EQ(1, completions()) << "the unread one was taken back";
  ASSERT_EQ(S_OK, control->Stop());
  ASSERT_EQ(S_OK, control->Run());
  ASSERT_EQ(S_OK, control->Stop());
  EXPECT_EQ(1, completions()) << "Stop keeps it";
  ASSERT_EQ(S_OK, control->Run());
  EXPECT_EQ(1, completions()) << "a run after Stop";
  long code = 0;
  EXPECT_EQ(S_OK, QueryAs<IMediaEventEx>(graph.Get())->WaitForCompletion(0, &code))
      << "still complete once the event is read";
  EXPECT_EQ(EC_COMPLETE, code);

  auto events = QueryAs<IMediaEventEx>(graph.Get());
  auto sink = QueryAs<IMediaEventSink>(graph.Get());
  ASSERT_EQ(S_OK, events->CancelDefaultHandling(EC_COMPLETE));
  using Step = HRESULT (IMediaControl::*)();
  const Step stop = &IMediaControl::Stop, pause = &IMediaControl::Pause, run = &IMediaControl::Run;
  struct Row {
    const char* name;
    std::vector<Step> steps;
    bool completeKept;
  };
  for (const Row& row :
       {Row{"Stop", {stop}, true}, Row{"Stop, Pause", {stop, pause}, true},
        Row{"Stop, Run", {stop, run}, false}, Row{"Pause, Run", {pause, run}, false}}) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(S_OK, control->Run());
    queued();
    sink->Notify(EC_USER, 1, 0);
    sink->Notify(EC_COMPLETE, S_OK, 0);
    sink->Notify(EC_USER, 2, 0);
    for (Step step : row.steps) ASSERT_EQ(S_OK, (control.Get()->*step)());
    std::vector<long> kept = queued();
    // A new run's own end of the unconnected renderer may follow.
    if (!row.completeKept && kept.size() == 3 && kept.back() == EC_COMPLETE) kept.pop_back();
    const std::vector<long> expected = row.completeKept
                                           ? std::vector<long>{EC_USER, EC_COMPLETE, EC_USER}
                                           : std::vector<long>{EC_USER, EC_USER};
    EXPECT_EQ(kept, expected);
    ASSERT_EQ(S_OK, control->Stop());
  }
}

TEST(GraphEvents, SetLogFileTracesGraphOperations) {
  TempDir folder;
  const std::string path = folder.File("graph.log");
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  auto graph = NewGraph();
  ASSERT_EQ(S_OK, graph->SetLogFile(static_cast<DWORD_PTR>(fd)));
  auto source = MakeComObject<TestPushSource>(TestPushSourceConfig{.frameCount = 1});
  auto sink = MakeComObject<RecordingSink>();
  AddFilters(graph.Get(), {{source.Get(), L"Source"}, {sink.Get(), L"Sink"}});
  graph->Connect(source->OutputPin(), sink->Input());
  auto control = QueryAs<IMediaControl>(graph.Get());
  control->Run();
  control->Stop();
  graph->RemoveFilter(sink.Get());
  graph->RemoveFilter(sink.Get());
  ASSERT_EQ(S_OK, graph->SetLogFile(0));
  graph->AddFilter(sink.Get(), L"After");  // not logged any more
  close(fd);
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string log = text.str();
  for (const char* line : {"AddFilter \"Source\" -> 0x00000000",
                           "Connect \"Source\".\"Output\" \"Sink\".\"In\" -> 0x00000000",
                           "Run -> 0x0000000",  // S_OK, or S_FALSE while cueing
                           "Stop -> 0x00000000", "RemoveFilter \"Sink\" -> 0x00000000",
                           "RemoveFilter \"\" -> 0x80040216"}) {
    EXPECT_NE(std::string::npos, log.find(line)) << line;
  }
  EXPECT_EQ(std::string::npos, log.find("After"));
}

}  // namespace
}  // namespace vidorra::test
