// TFilterGraph: activation and deactivation sequences, mode changes, run-state commands, the
// graph volume, emptying, and the delivery of graph events on the UI thread.
#include <evcode.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include "ComponentsTestSupport.h"
#include "FilterPins.h"
#include "TestPushSource.h"
#include "wait_until.h"

using namespace components_test;
using vidorra::test::CreateFilter;
using vidorra::test::WaitUntil;

namespace {

class FilterGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    graph.SetName(QStringLiteral("fg"));
    graph.OnActivate = [this](TComponent* sender) {
      EXPECT_EQ(sender, &graph);
      journal.push_back("OnActivate");
    };
  }

  ComPtr<IMediaEventSink> Sink() { return QueryAs<IMediaEventSink>(&graph); }

  // One notification, handled now: what the posted message does when the loop delivers it.
  void NotifyOnce() { SendMessageA(graph.NotifyWindow(), GraphNotifyMessage, 0, 0); }

  // Declared before the graph, which removes them when it goes.
  Journal journal;
  RecordingMember first{"First", journal};
  RecordingMember second{"Second", journal};
  RecordingListener listener{"L", journal};
  TFilterGraph graph;
};

}  // namespace

// ---- Activation --------------------------------------------------------------------------------

TEST_F(FilterGraphTest, ActivationAddsMembersThenTellsListeners) {
  graph.AddMember(&first);
  graph.AddMember(&second);
  graph.AddListener(&listener);
  EXPECT_TRUE(journal.empty()) << "an inactive graph tells nobody";

  graph.SetActive(true);
  EXPECT_TRUE(graph.Active());
  EXPECT_EQ(journal, (Journal{"First:moAdding:0", "First:moAdded:0", "Second:moAdding:0",
                              "Second:moAdded:0", "OnActivate", "L:gckActiveChanged:1"}));
  EXPECT_TRUE(InGraph(graph, L"First"));
  EXPECT_TRUE(InGraph(graph, L"Second"));
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
}

TEST_F(FilterGraphTest, MembersJoiningAndLeavingAnActiveGraph) {
  graph.SetActive(true);
  journal.clear();
  graph.AddMember(&first);
  EXPECT_EQ(journal, (Journal{"First:moAdding:0", "First:moAdded:0"}));
  EXPECT_TRUE(InGraph(graph, L"First"));
  journal.clear();
  graph.RemoveMember(&first);
  EXPECT_EQ(journal, (Journal{"First:moRemoving:0", "First:moRemoved:0"}));
  EXPECT_FALSE(InGraph(graph, L"First"));
  journal.clear();
  graph.RemoveMember(&first);
  EXPECT_TRUE(journal.empty()) << "removing an absent member does nothing";
}

// On an inactive graph the mode is only stored; on an active one it rebuilds the graph.
TEST_F(FilterGraphTest, WritingModeOnAnActiveGraphRebuildsIt) {
  graph.AddMember(&first);
  graph.AddListener(&listener);
  graph.SetMode(gmCapture);
  EXPECT_FALSE(graph.Active());
  EXPECT_TRUE(journal.empty());
  graph.SetMode(gmNormal);
  graph.SetActive(true);
  ComPtr<IFilterGraph> before = QueryAs<IFilterGraph>(&graph);
  journal.clear();

  graph.SetMode(gmCapture);
  EXPECT_EQ(graph.Mode(), gmCapture);
  EXPECT_TRUE(graph.Active());
  EXPECT_EQ(journal,
            (Journal{"L:gckActiveChanged:0", "First:moRemoving:0", "First:moRemoved:0",
                     "First:moAdding:0", "First:moAdded:0", "OnActivate", "L:gckActiveChanged:1"}));
  ComPtr<IFilterGraph> after = QueryAs<IFilterGraph>(&graph);
  ASSERT_TRUE(after);
  EXPECT_FALSE(IsSameObject(before.Get(), after.Get())) << "new graph objects";
  ComPtr<ICaptureGraphBuilder2> builder = QueryAs<ICaptureGraphBuilder2>(&graph);
  ASSERT_TRUE(builder);
  ComPtr<IGraphBuilder> attached;
  ASSERT_TRUE(SUCCEEDED(builder->GetFiltergraph(attached.GetAddressOf())));
  EXPECT_TRUE(IsSameObject(attached.Get(), after.Get()));

  journal.clear();
  graph.SetMode(gmCapture);
  EXPECT_TRUE(journal.empty()) << "the same mode does nothing";
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
  graph.AddListener(&listener);
  EXPECT_FALSE(graph.RunGraph());
  EXPECT_FALSE(graph.StopGraph());
  EXPECT_EQ(graph.GraphState(), grsUninitialized);
  EXPECT_NO_THROW(graph.SetGraphVolume(5000));
  EXPECT_NO_THROW(graph.EmptyGraph());
  EXPECT_TRUE(journal.empty()) << "listeners hear nothing from an inactive graph";
}

TEST_F(FilterGraphTest, RunAndStopTellListenersFirst) {
  graph.AddMember(&first);
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
}

// ---- EmptyGraph --------------------------------------------------------------------------------

// EmptyGraph stops the graph and keeps exactly the members' filters, disconnected from the
// strangers on both sides.
TEST_F(FilterGraphTest, EmptyGraphKeepsTheMembersFiltersDisconnected) {
  RecordingMember grabber("Grabber", journal, [] { return CreateFilter(CLSID_SampleGrabber); });
  graph.AddMember(&grabber);
  graph.AddMember(&first);
  graph.SetActive(true);
  ComPtr<IGraphBuilder> manager = QueryAs<IGraphBuilder>(&graph);
  // Strangers: a source before the grabber, a renderer after it, one on its own.
  ComPtr<vidorra::test::TestPushSource> source =
      MakeComObject<vidorra::test::TestPushSource>(vidorra::test::TestPushSourceConfig{});
  ComPtr<IBaseFilter> renderer = CreateFilter(CLSID_NullRenderer);
  ASSERT_TRUE(SUCCEEDED(manager->AddFilter(source.Get(), L"Source")));
  ASSERT_TRUE(SUCCEEDED(manager->AddFilter(renderer.Get(), L"Renderer")));
  ASSERT_TRUE(SUCCEEDED(manager->AddFilter(MakeComObject<PinlessFilter>().Get(), L"Alone")));
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
  ASSERT_EQ(left.Count(), 2);
  EXPECT_GE(left.IndexOf(grabber.MemberFilter()), 0);
  EXPECT_GE(left.IndexOf(first.MemberFilter()), 0);
  for (int p = 0; p < grabberPins.Count(); ++p) {
    ComPtr<IPin> peer;
    EXPECT_EQ(grabberPins.PinAt(p)->ConnectedTo(peer.GetAddressOf()), VFW_E_NOT_CONNECTED);
  }
  graph.RemoveMember(&grabber);
}

// ---- Events ------------------------------------------------------------------------------------

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

// One notification delivers every queued event in order, each to the listeners, then to
// OnDSEvent, then to the handler of that event; the posted notifications that follow find the
// queue empty.
TEST_F(FilterGraphTest, QueuedEventsGoInOrderToListenersThenOnDSEventThenTheirHandler) {
  graph.AddListener(&listener);
  graph.SetActive(true);
  graph.OnDSEvent = [&](TComponent* sender, long event, LONG_PTR, LONG_PTR) {
    EXPECT_EQ(sender, &graph);
    journal.push_back("OnDSEvent:" + std::to_string(event));
  };
  graph.OnGraphErrorAbort = [&](TComponent*, HRESULT hr) {
    journal.push_back("OnGraphErrorAbort:" + std::to_string(hr));
  };
  graph.OnGraphPaletteChanged = [&](TComponent*) { journal.push_back("OnGraphPaletteChanged"); };
  journal.clear();
  ASSERT_TRUE(SUCCEEDED(Sink()->Notify(EC_USER + 1, 11, 12)));
  ASSERT_TRUE(SUCCEEDED(Sink()->Notify(EC_ERRORABORT, E_FAIL, 0)));
  ASSERT_TRUE(SUCCEEDED(Sink()->Notify(EC_PALETTE_CHANGED, 0, 0)));
  NotifyOnce();
  const std::string fail = std::to_string(E_FAIL);
  const Journal expected{
      "L:event:32769:11:12", "OnDSEvent:32769",           "L:event:3:" + fail + ":0",
      "OnDSEvent:3",         "OnGraphErrorAbort:" + fail, "L:event:9:0:0",
      "OnDSEvent:9",         "OnGraphPaletteChanged"};
  EXPECT_EQ(journal, expected);
  QCoreApplication::processEvents();
  EXPECT_EQ(journal, expected);
}

// Delivered by the posted notification, as the event loop runs.
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
  EXPECT_NE(graph.RotCookie(), 0u);
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
