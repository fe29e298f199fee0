// TFilterGraph: activation and deactivation sequences, mode changes, run-state commands, the
// graph volume, emptying, and the delivery of graph events on the UI thread.
#include <evcode.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "ComponentsTestSupport.h"
#include "TestPushSource.h"
#include "wait_until.h"

using namespace components_test;
using vidorra::test::WaitUntil;

namespace {

class FilterGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_UNLESS_REGISTERED(CLSID_FilterGraph, "the filter graph manager");
    graph.SetName(QStringLiteral("fg"));
    graph.OnActivate = [this](TComponent* sender) {
      EXPECT_EQ(sender, &graph);
      journal.push_back("OnActivate");
    };
  }

  bool InGraph(const wchar_t* name) {
    ComPtr<IFilterGraph> manager = QueryAs<IFilterGraph>(&graph);
    if (!manager) return false;
    ComPtr<IBaseFilter> found;
    return SUCCEEDED(manager->FindFilterByName(name, found.GetAddressOf())) && found;
  }

  ComPtr<IMediaEventSink> Sink() { return QueryAs<IMediaEventSink>(&graph); }

  // One notification, handled now: what the posted message does when the loop delivers it.
  void NotifyOnce() { SendMessageA(graph.NotifyWindow(), GraphNotifyMessage, 0, 0); }

  Journal journal;
  TFilterGraph graph;
};

}  // namespace

// ---- Activation --------------------------------------------------------------------------------

TEST_F(FilterGraphTest, ActivationAddsMembersThenTellsListeners) {
  RecordingMember first("First", journal);
  RecordingMember second("Second", journal);
  RecordingListener listener("L", journal);
  graph.AddMember(&first);
  graph.AddMember(&second);
  graph.AddListener(&listener);
  EXPECT_TRUE(journal.empty()) << "an inactive graph tells nobody";

  graph.SetActive(true);
  EXPECT_TRUE(graph.Active());
  EXPECT_EQ(journal, (Journal{"First:moAdding:0", "First:moAdded:0", "Second:moAdding:0",
                              "Second:moAdded:0", "OnActivate", "L:gckActiveChanged:1"}));
  EXPECT_TRUE(InGraph(L"First"));
  EXPECT_TRUE(InGraph(L"Second"));
  EXPECT_TRUE(QueryAs<IGraphBuilder>(&graph));
  EXPECT_TRUE(QueryAs<IMediaControl>(&graph));

  journal.clear();
  graph.SetActive(true);
  EXPECT_TRUE(journal.empty()) << "writing the same value does nothing";

  graph.SetActive(false);
  EXPECT_FALSE(graph.Active());
  EXPECT_EQ(journal, (Journal{"L:gckActiveChanged:0", "First:moRemoving:0", "First:moRemoved:0",
                              "Second:moRemoving:0", "Second:moRemoved:0"}));
  EXPECT_FALSE(QueryAs<IGraphBuilder>(&graph)) << "inactive: only the component answers";
  graph.RemoveListener(&listener);
  graph.RemoveMember(&first);
  graph.RemoveMember(&second);
}

TEST_F(FilterGraphTest, MembersJoiningAndLeavingAnActiveGraph) {
  graph.SetActive(true);
  RecordingMember late("Late", journal);
  journal.clear();
  graph.AddMember(&late);
  EXPECT_EQ(journal, (Journal{"Late:moAdding:0", "Late:moAdded:0"}));
  EXPECT_TRUE(InGraph(L"Late"));
  journal.clear();
  graph.RemoveMember(&late);
  EXPECT_EQ(journal, (Journal{"Late:moRemoving:0", "Late:moRemoved:0"}));
  EXPECT_FALSE(InGraph(L"Late"));
  journal.clear();
  graph.RemoveMember(&late);
  EXPECT_TRUE(journal.empty()) << "removing an absent member does nothing";
}

TEST_F(FilterGraphTest, WritingModeOnAnActiveGraphRebuildsIt) {
  RecordingMember member("Member", journal);
  RecordingListener listener("L", journal);
  graph.AddMember(&member);
  graph.AddListener(&listener);
  graph.SetActive(true);
  ComPtr<IFilterGraph> before = QueryAs<IFilterGraph>(&graph);
  journal.clear();

  graph.SetMode(gmCapture);
  EXPECT_EQ(graph.Mode(), gmCapture);
  EXPECT_TRUE(graph.Active());
  EXPECT_EQ(journal, (Journal{"L:gckActiveChanged:0", "Member:moRemoving:0", "Member:moRemoved:0",
                              "Member:moAdding:0", "Member:moAdded:0", "OnActivate",
                              "L:gckActiveChanged:1"}));
  ComPtr<IFilterGraph> after = QueryAs<IFilterGraph>(&graph);
  ASSERT_TRUE(after);
  EXPECT_FALSE(IsSameObject(before.Get(), after.Get())) << "new graph objects";
  if (IsComClassRegistered(CLSID_CaptureGraphBuilder2)) {
    ComPtr<ICaptureGraphBuilder2> builder = QueryAs<ICaptureGraphBuilder2>(&graph);
    ASSERT_TRUE(builder);
    ComPtr<IGraphBuilder> attached;
    ASSERT_TRUE(SUCCEEDED(builder->GetFiltergraph(attached.GetAddressOf())));
    EXPECT_TRUE(IsSameObject(attached.Get(), after.Get()));
  }

  journal.clear();
  graph.SetMode(gmCapture);
  EXPECT_TRUE(journal.empty()) << "the same mode does nothing";
  graph.RemoveListener(&listener);
  graph.RemoveMember(&member);
}

TEST_F(FilterGraphTest, ModeOnAnInactiveGraphOnlyStores) {
  RecordingListener listener("L", journal);
  graph.AddListener(&listener);
  graph.SetMode(gmCapture);
  EXPECT_FALSE(graph.Active());
  EXPECT_TRUE(journal.empty());
  graph.RemoveListener(&listener);
}

TEST_F(FilterGraphTest, DvdModeCreatesWhatThePlatformOffers) {
  graph.SetMode(gmDVD);
  graph.SetActive(true);
  EXPECT_TRUE(graph.Active());
  if (!IsComClassRegistered(CLSID_DvdGraphBuilder)) {
    EXPECT_FALSE(QueryAs<IMediaControl>(&graph));
    EXPECT_FALSE(graph.RunGraph());
  }
  graph.SetActive(false);
}

TEST_F(FilterGraphTest, AutoCreateActivatesWhenLoaded) {
  graph.SetAutoCreate(true);
  graph.BeginLoading();
  EXPECT_TRUE(graph.IsLoading());
  graph.Loaded();
  EXPECT_TRUE(graph.Active());
  EXPECT_FALSE(graph.IsLoading());
  TFilterGraph manual;
  manual.Loaded();
  EXPECT_FALSE(manual.Active());
}

// ---- Run state ---------------------------------------------------------------------------------

TEST_F(FilterGraphTest, InactiveGraphAnswersWithoutRaising) {
  RecordingListener listener("L", journal);
  graph.AddListener(&listener);
  EXPECT_FALSE(graph.RunGraph());
  EXPECT_FALSE(graph.StopGraph());
  EXPECT_EQ(graph.GraphState(), grsUninitialized);
  EXPECT_NO_THROW(graph.SetGraphVolume(5000));
  EXPECT_NO_THROW(graph.EmptyGraph());
  EXPECT_TRUE(journal.empty()) << "listeners hear nothing from an inactive graph";
  graph.RemoveListener(&listener);
}

TEST_F(FilterGraphTest, RunAndStopTellListenersFirst) {
  RecordingMember member("Member", journal);
  RecordingListener listener("L", journal);
  graph.AddMember(&member);
  graph.SetActive(true);
  graph.AddListener(&listener);
  EXPECT_EQ(graph.GraphState(), grsStopped);
  journal.clear();
  EXPECT_TRUE(graph.RunGraph());
  EXPECT_EQ(journal, (Journal{"L:gckStart:0"}));
  EXPECT_TRUE(WaitUntil([&] { return graph.GraphState() == grsPlaying; }));
  journal.clear();
  EXPECT_TRUE(graph.StopGraph());
  EXPECT_EQ(journal, (Journal{"L:gckStop:0"}));
  EXPECT_EQ(graph.GraphState(), grsStopped);
  graph.RemoveListener(&listener);
  graph.RemoveMember(&member);
}

TEST_F(FilterGraphTest, GraphVolumeGoesToTheAudioRenderer) {
  SKIP_UNLESS_REGISTERED(CLSID_DSoundRender, "the default audio renderer");
  RecordingMember renderer("Audio", journal, [] {
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER,
                     IID_PPV_ARGS(filter.GetAddressOf()));
    return filter;
  });
  graph.AddMember(&renderer);
  graph.SetActive(true);
  ComPtr<IBasicAudio> audio = QueryAs<IBasicAudio>(renderer.MemberFilter());
  ASSERT_TRUE(audio);
  long volume = 1;
  graph.SetGraphVolume(5000);
  ASSERT_EQ(audio->get_Volume(&volume), S_OK);
  EXPECT_EQ(volume, -5000);
  graph.SetGraphVolume(0);
  ASSERT_EQ(audio->get_Volume(&volume), S_OK);
  EXPECT_EQ(volume, -10000);
  graph.SetGraphVolume(10000);
  ASSERT_EQ(audio->get_Volume(&volume), S_OK);
  EXPECT_EQ(volume, 0);
  graph.RemoveMember(&renderer);
}

// ---- EmptyGraph --------------------------------------------------------------------------------

TEST_F(FilterGraphTest, EmptyGraphKeepsExactlyTheMembersFilters) {
  RecordingMember first("First", journal);
  RecordingMember second("Second", journal);
  graph.AddMember(&first);
  graph.AddMember(&second);
  graph.SetActive(true);
  ComPtr<IFilterGraph> manager = QueryAs<IFilterGraph>(&graph);
  ASSERT_TRUE(manager);
  ComPtr<IBaseFilter> strangerA = MakeComObject<PinlessFilter>();
  ComPtr<IBaseFilter> strangerB = MakeComObject<PinlessFilter>();
  ASSERT_TRUE(SUCCEEDED(manager->AddFilter(strangerA.Get(), L"Stranger A")));
  ASSERT_TRUE(SUCCEEDED(manager->AddFilter(strangerB.Get(), L"Stranger B")));
  ASSERT_EQ(TFilterList::CreateFromGraph(manager.Get()).Count(), 4);

  graph.EmptyGraph();
  const TFilterList left = TFilterList::CreateFromGraph(manager.Get());
  ASSERT_EQ(left.Count(), 2);
  EXPECT_GE(left.IndexOf(first.MemberFilter()), 0);
  EXPECT_GE(left.IndexOf(second.MemberFilter()), 0);
  graph.RemoveMember(&first);
  graph.RemoveMember(&second);
}

TEST_F(FilterGraphTest, EmptyGraphDisconnectsTheMembersPins) {
  SKIP_UNLESS_REGISTERED(CLSID_SampleGrabber, "the Sample Grabber");
  SKIP_UNLESS_REGISTERED(CLSID_NullRenderer, "the Null Renderer");
  auto make = [](const CLSID& clsid) {
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf()));
    return filter;
  };
  RecordingMember grabber("Grabber", journal, [&] { return make(CLSID_SampleGrabber); });
  graph.AddMember(&grabber);
  graph.SetActive(true);
  ComPtr<IGraphBuilder> manager = QueryAs<IGraphBuilder>(&graph);
  // Strangers on both sides of the member: a source before it and a renderer after it.
  ComPtr<vidorra::test::TestPushSource> source =
      MakeComObject<vidorra::test::TestPushSource>(vidorra::test::TestPushSourceConfig{});
  ComPtr<IBaseFilter> renderer = make(CLSID_NullRenderer);
  ASSERT_TRUE(SUCCEEDED(manager->AddFilter(source.Get(), L"Source")));
  ASSERT_TRUE(SUCCEEDED(manager->AddFilter(renderer.Get(), L"Renderer")));
  const TPinList grabberPins = TPinList::CreateFromFilter(grabber.MemberFilter());
  const TPinList rendererPins = TPinList::CreateFromFilter(renderer.Get());
  ASSERT_EQ(grabberPins.Count(), 2);
  ASSERT_GE(rendererPins.Count(), 1);
  ASSERT_EQ(manager->ConnectDirect(source->OutputPin(), grabberPins.PinAt(0).Get(), nullptr), S_OK);
  ASSERT_EQ(
      manager->ConnectDirect(grabberPins.PinAt(1).Get(), rendererPins.PinAt(0).Get(), nullptr),
      S_OK);
  ASSERT_TRUE(graph.RunGraph());

  graph.EmptyGraph();
  EXPECT_EQ(graph.GraphState(), grsStopped);
  const TFilterList left = TFilterList::CreateFromGraph(manager.Get());
  ASSERT_EQ(left.Count(), 1);
  EXPECT_EQ(left.IndexOf(grabber.MemberFilter()), 0);
  for (int p = 0; p < grabberPins.Count(); ++p) {
    ComPtr<IPin> peer;
    EXPECT_EQ(grabberPins.PinAt(p)->ConnectedTo(peer.GetAddressOf()), VFW_E_NOT_CONNECTED);
  }
  graph.RemoveMember(&grabber);
}

// ---- Events ------------------------------------------------------------------------------------

TEST_F(FilterGraphTest, QueuedEventsComeInOrderInOneNotification) {
  RecordingListener listener("L", journal);
  graph.AddListener(&listener);
  graph.SetActive(true);
  std::vector<long> seen;
  graph.OnDSEvent = [&](TComponent* sender, long event, LONG_PTR, LONG_PTR) {
    EXPECT_EQ(sender, &graph);
    seen.push_back(event);
  };
  ComPtr<IMediaEventSink> sink = Sink();
  ASSERT_TRUE(sink);
  journal.clear();
  ASSERT_TRUE(SUCCEEDED(sink->Notify(EC_USER + 1, 11, 12)));
  ASSERT_TRUE(SUCCEEDED(sink->Notify(EC_USER + 2, 21, 22)));
  ASSERT_TRUE(SUCCEEDED(sink->Notify(EC_USER + 3, 31, 32)));
  NotifyOnce();
  EXPECT_EQ(seen, (std::vector<long>{EC_USER + 1, EC_USER + 2, EC_USER + 3}));
  EXPECT_EQ(journal,
            (Journal{"L:event:32769:11:12", "L:event:32770:21:22", "L:event:32771:31:32"}));
  // The posted notifications that follow find the queue empty.
  QCoreApplication::processEvents();
  EXPECT_EQ(seen.size(), 3u);
  graph.RemoveListener(&listener);
}

TEST_F(FilterGraphTest, PostedNotificationReachesTheHandlersOnTheUiThread) {
  graph.SetActive(true);
  std::vector<long> seen;
  graph.OnDSEvent = [&](TComponent*, long event, LONG_PTR, LONG_PTR) { seen.push_back(event); };
  ASSERT_TRUE(SUCCEEDED(Sink()->Notify(EC_USER + 7, 0, 0)));
  EXPECT_TRUE(WaitUntil([&] { return !seen.empty(); }));
  EXPECT_EQ(seen, (std::vector<long>{EC_USER + 7}));
}

TEST_F(FilterGraphTest, RaisingHandlerIsReportedAndTheRestWaitsForTheNextNotification) {
  ErrorRecorder errors;
  graph.SetActive(true);
  std::vector<long> seen;
  graph.OnDSEvent = [&](TComponent*, long event, LONG_PTR, LONG_PTR) {
    seen.push_back(event);
    if (event == EC_USER + 2) throw EMediaGraphException(QStringLiteral("second failed"), E_FAIL);
  };
  ComPtr<IMediaEventSink> sink = Sink();
  sink->Notify(EC_USER + 1, 0, 0);
  sink->Notify(EC_USER + 2, 0, 0);
  sink->Notify(EC_USER + 3, 0, 0);
  EXPECT_NO_THROW(NotifyOnce());
  EXPECT_EQ(seen, (std::vector<long>{EC_USER + 1, EC_USER + 2}));
  EXPECT_EQ(errors.messages, (QStringList{QStringLiteral("second failed")}));
  NotifyOnce();
  EXPECT_EQ(seen, (std::vector<long>{EC_USER + 1, EC_USER + 2, EC_USER + 3}));
  EXPECT_EQ(errors.messages.size(), 1);
}

TEST_F(FilterGraphTest, DispatchOrderIsListenersThenOnDSEventThenTheEventProperty) {
  RecordingListener listener("L", journal);
  graph.AddListener(&listener);
  graph.SetActive(true);
  graph.OnDSEvent = [&](TComponent*, long, LONG_PTR, LONG_PTR) { journal.push_back("OnDSEvent"); };
  graph.OnGraphErrorAbort = [&](TComponent*, HRESULT hr) {
    journal.push_back("OnGraphErrorAbort:" + std::to_string(hr));
  };
  graph.OnGraphPaletteChanged = [&](TComponent*) { journal.push_back("OnGraphPaletteChanged"); };
  journal.clear();
  Sink()->Notify(EC_ERRORABORT, E_FAIL, 0);
  Sink()->Notify(EC_PALETTE_CHANGED, 0, 0);
  NotifyOnce();
  EXPECT_EQ(journal, (Journal{"L:event:3:" + std::to_string(E_FAIL) + ":0", "OnDSEvent",
                              "OnGraphErrorAbort:" + std::to_string(E_FAIL), "L:event:9:0:0",
                              "OnDSEvent", "OnGraphPaletteChanged"}));
  graph.RemoveListener(&listener);
}

TEST_F(FilterGraphTest, DeviceLostTellsRemovedOrArrived) {
  graph.SetActive(true);
  ComPtr<IBaseFilter> device = MakeComObject<PinlessFilter>();
  struct Call {
    IUnknown* device;
    bool removed;
  };
  std::vector<Call> calls;
  graph.OnGraphDeviceLost = [&](TComponent* sender, IUnknown* lost, bool removed) {
    EXPECT_EQ(sender, &graph);
    calls.push_back({lost, removed});
  };
  auto* unknown = static_cast<IUnknown*>(device.Get());
  Sink()->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(unknown), 0);
  Sink()->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(unknown), 1);
  ASSERT_TRUE(WaitUntil([&] { return calls.size() == 2; }));
  EXPECT_TRUE(IsSameObject(calls[0].device, unknown));
  EXPECT_TRUE(calls[0].removed);
  EXPECT_FALSE(calls[1].removed);
}

TEST_F(FilterGraphTest, NoEventAfterDeactivation) {
  graph.SetActive(true);
  int count = 0;
  graph.OnDSEvent = [&](TComponent*, long, LONG_PTR, LONG_PTR) { ++count; };
  ComPtr<IMediaEventSink> sink = Sink();
  sink->Notify(EC_USER + 1, 0, 0);
  graph.SetActive(false);
  NotifyOnce();
  QCoreApplication::processEvents();
  EXPECT_EQ(count, 0);
}

// ---- GraphEdit and LogFile ---------------------------------------------------------------------

TEST_F(FilterGraphTest, GraphEditRegistersWhileActive) {
  graph.SetGraphEdit(true);
  EXPECT_EQ(graph.RotCookie(), 0u) << "inactive: only stored";
  graph.SetActive(true);
  if (graph.RotCookie() == 0) GTEST_SKIP() << "no running object table";
  graph.SetGraphEdit(false);
  EXPECT_EQ(graph.RotCookie(), 0u);
  graph.SetGraphEdit(true);
  EXPECT_NE(graph.RotCookie(), 0u);
  graph.SetActive(false);
  EXPECT_EQ(graph.RotCookie(), 0u);
  EXPECT_TRUE(graph.GraphEdit());
}

TEST_F(FilterGraphTest, LogFileThatCannotBeCreatedKeepsThePreviousName) {
  QTemporaryDir dir;
  const QString good = dir.filePath(QStringLiteral("graph.log"));
  graph.SetActive(true);
  graph.SetLogFile(good);
  EXPECT_EQ(graph.LogFile(), good);
  EXPECT_TRUE(QFileInfo::exists(good));
  graph.SetLogFile(dir.filePath(QStringLiteral("missing/folder/graph.log")));
  EXPECT_EQ(graph.LogFile(), good);
  graph.SetLogFile(QString());
  EXPECT_TRUE(graph.LogFile().isEmpty());
  graph.SetActive(false);
  graph.SetLogFile(dir.filePath(QStringLiteral("later.log")));
  EXPECT_EQ(graph.LogFile(), dir.filePath(QStringLiteral("later.log")));
  EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("later.log"))));
}

// A member that fails to leave does not end the program from the graph's destructor: with no
// window on screen the failure goes to the log, and the other members still leave.
TEST_F(FilterGraphTest, DestroyedGraphLogsAMemberThatFailsToLeaveAndRemovesTheOthers) {
  struct FailingMember : RecordingMember {
    using RecordingMember::RecordingMember;
    void MemberNotify(TMemberOperation operation, int param) override {
      RecordingMember::MemberNotify(operation, param);
      if (operation == moRemoving) throw EMediaGraphException(QStringLiteral("stuck"), E_FAIL);
    }
  };
  FailingMember failing("Failing", journal);
  RecordingMember other("Other", journal);
  auto doomed = std::make_unique<TFilterGraph>();
  doomed->AddMember(&failing);
  doomed->AddMember(&other);
  doomed->SetActive(true);
  journal.clear();

  static QStringList logged;
  logged.clear();
  const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext&, const QString& text) { logged << text; });
  ErrorRecorder errors;
  doomed.reset();
  qInstallMessageHandler(previous);
  EXPECT_TRUE(errors.messages.isEmpty()) << "no window is on screen";
  ASSERT_EQ(logged.size(), 1);
  EXPECT_TRUE(logged[0].endsWith(QStringLiteral("stuck"))) << logged[0].toStdString();
  EXPECT_EQ(journal, (Journal{"Failing:moRemoving:0", "Failing:moRemoved:0", "Other:moRemoving:0",
                              "Other:moRemoved:0"}));
}
