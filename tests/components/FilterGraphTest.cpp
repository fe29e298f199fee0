// TFilterGraph: activation and its order, mode changes, run-state commands, emptying, GraphEdit
// and the log file, the delivery of graph events on the UI thread, a failing member.
#include <evcode.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include "ComponentsTestSupport.h"

using namespace components_test;

namespace {

using Journal = std::vector<std::string>;

// A member that makes a fresh pinless filter at moAdding and drops it at moRemoved, and a
// listener; both write what they are told into a journal.
class RecordingMember : public IGraphMember {
 public:
  RecordingMember(std::string name, Journal& journal) : name_(std::move(name)), journal_(journal) {}
  IBaseFilter* MemberFilter() override { return filter_.Get(); }
  QString MemberName() override { return QString::fromStdString(name_); }
  void MemberNotify(TMemberOperation operation, int) override {
    static const char* const kNames[] = {"moAdding", "moAdded", "moRemoving", "moRemoved",
                                         "moRefresh"};
    journal_.push_back(name_ + ":" + kNames[operation]);
    if (operation == moAdding) filter_ = MakeComObject<PinlessFilter>();
    if (operation == moRemoved) filter_.Reset();
  }

 private:
  ComPtr<IBaseFilter> filter_;
  std::string name_;
  Journal& journal_;
};

class RecordingListener : public IGraphListener {
 public:
  explicit RecordingListener(Journal& journal) : journal_(journal) {}
  void GraphEventOccurred(long event, LONG_PTR param1, LONG_PTR param2) override {
    journal_.push_back("L:event:" + std::to_string(event) + ":" + std::to_string(param1) + ":" +
                       std::to_string(param2));
  }
  void ControlEventOccurred(TGraphControlKind kind, int param) override {
    static const char* const kNames[] = {"gckStart", "gckStop", "gckActiveChanged"};
    journal_.push_back(std::string("L:") + kNames[kind] + ":" + std::to_string(param));
  }

 private:
  Journal& journal_;
};

class FilterGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
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
  RecordingListener listener{journal};
  TFilterGraph graph;
};

}  // namespace

// Inactive, the graph only stores what it is told and tells nobody; activated, it adds its
// members, then says so; a mode written on an active graph makes it anew; run and stop are told
// to the listeners (the run state the graph reports: the window's choices test, which stops the
// graph by it). GraphEdit registers the graph in the running object table while it is active
// (the table itself: the COM tests); a log file that cannot be made keeps the previous name.
TEST_F(FilterGraphTest, ActivationAndModeChangesInTheirOrder) {
  QTemporaryDir dir;
  const QString log = dir.filePath(QStringLiteral("graph.log"));
  graph.AddMember(&first);
  graph.AddListener(&listener);
  graph.SetMode(gmCapture);
  graph.SetMode(gmNormal);
  graph.SetGraphEdit(true);
  graph.SetLogFile(log);
  EXPECT_FALSE(graph.RunGraph());
  EXPECT_FALSE(graph.StopGraph());
  EXPECT_EQ(graph.GraphState(), grsUninitialized);
  EXPECT_NO_THROW(graph.SetGraphVolume(5000));
  EXPECT_NO_THROW(graph.EmptyGraph());
  EXPECT_TRUE(journal.empty()) << "an inactive graph tells nobody";
  EXPECT_FALSE(QueryAs<IGraphBuilder>(&graph));
  EXPECT_EQ(graph.RotCookie(), 0u);
  EXPECT_FALSE(QFileInfo::exists(log));

  graph.SetAutoCreate(true);
  graph.Loaded();
  EXPECT_TRUE(graph.Active());
  graph.AddMember(&second);
  EXPECT_EQ(journal, (Journal{"First:moAdding", "First:moAdded", "OnActivate",
                              "L:gckActiveChanged:1", "Second:moAdding", "Second:moAdded"}));
  EXPECT_TRUE(InGraph(graph, L"First"));
  EXPECT_TRUE(InGraph(graph, L"Second"));
  EXPECT_NE(graph.RotCookie(), 0u);
  EXPECT_TRUE(QFileInfo::exists(log));
  graph.SetGraphEdit(false);
  EXPECT_EQ(graph.RotCookie(), 0u);
  graph.SetGraphEdit(true);
  EXPECT_NE(graph.RotCookie(), 0u);
  graph.SetLogFile(dir.filePath(QStringLiteral("missing/folder/graph.log")));
  EXPECT_EQ(graph.LogFile(), log);
  journal.clear();
  graph.RemoveMember(&second);
  graph.RemoveMember(&second);
  graph.SetActive(true);
  EXPECT_EQ(journal, (Journal{"Second:moRemoving", "Second:moRemoved"}));
  EXPECT_FALSE(InGraph(graph, L"Second"));

  ComPtr<IFilterGraph> before = QueryAs<IFilterGraph>(&graph);
  journal.clear();
  graph.SetMode(gmCapture);
  graph.SetMode(gmCapture);
  EXPECT_EQ(journal,
            (Journal{"L:gckActiveChanged:0", "First:moRemoving", "First:moRemoved",
                     "First:moAdding", "First:moAdded", "OnActivate", "L:gckActiveChanged:1"}));
  ComPtr<IFilterGraph> after = QueryAs<IFilterGraph>(&graph);
  ASSERT_TRUE(after);
  EXPECT_FALSE(IsSameObject(before.Get(), after.Get())) << "new graph objects";
  ComPtr<IGraphBuilder> attached;
  ASSERT_TRUE(
      SUCCEEDED(QueryAs<ICaptureGraphBuilder2>(&graph)->GetFiltergraph(attached.GetAddressOf())));
  EXPECT_TRUE(IsSameObject(attached.Get(), after.Get()));

  journal.clear();
  EXPECT_TRUE(graph.RunGraph());
  EXPECT_EQ(journal, (Journal{"L:gckStart:0"}));
  EXPECT_TRUE(graph.StopGraph());
  const DWORD registered = graph.RotCookie();
  graph.SetActive(false);
  EXPECT_EQ((after->AddRef(), after->Release()), 2u) << "held here twice, by the builder no more";
  ComPtr<IRunningObjectTable> table;
  ASSERT_EQ(GetRunningObjectTable(0, table.GetAddressOf()), S_OK);
  EXPECT_NE(table->Revoke(registered), S_OK) << "already out of the table";
  EXPECT_EQ(journal, (Journal{"L:gckStart:0", "L:gckStop:0", "L:gckActiveChanged:0",
                              "First:moRemoving", "First:moRemoved"}));
  EXPECT_FALSE(QueryAs<IGraphBuilder>(&graph)) << "inactive: only the component answers";
  EXPECT_EQ(graph.RotCookie(), 0u);
  EXPECT_TRUE(graph.GraphEdit());
}

// One notification delivers every queued event in order, each to the listeners, then to
// OnDSEvent, then to the handler of that event (a lost device's handler: the window's unplug
// tests); a handler that raises is reported and the events after it wait for the next
// notification; none is delivered once deactivated.
TEST_F(FilterGraphTest, QueuedEventsGoInOrderToListenersThenOnDSEventThenTheirHandler) {
  ErrorRecorder errors;
  graph.AddListener(&listener);
  graph.SetActive(true);
  graph.OnDSEvent = [&](TComponent* sender, long event, LONG_PTR, LONG_PTR) {
    EXPECT_EQ(sender, &graph);
    journal.push_back("OnDSEvent:" + std::to_string(event));
    if (event == EC_USER + 2) throw EMediaGraphException(QStringLiteral("second failed"), E_FAIL);
  };
  graph.OnGraphErrorAbort = [&](TComponent*, HRESULT hr) {
    journal.push_back("OnGraphErrorAbort:" + std::to_string(hr));
  };
  graph.OnGraphVideoSizeChanged = [&](TComponent*, int width, int height) {
    journal.push_back("Size:" + std::to_string(width) + "x" + std::to_string(height));
  };
  journal.clear();
  ASSERT_TRUE(SUCCEEDED(Sink()->Notify(EC_USER + 1, 11, 12)));
  ASSERT_TRUE(SUCCEEDED(Sink()->Notify(EC_ERRORABORT, E_FAIL, 0)));
  ASSERT_TRUE(SUCCEEDED(Sink()->Notify(EC_USER + 2, 0, 0)));
  ASSERT_TRUE(SUCCEEDED(Sink()->Notify(EC_VIDEO_SIZE_CHANGED, 576 << 16 | 720, 0)));
  EXPECT_NO_THROW(NotifyOnce());
  const std::string fail = std::to_string(E_FAIL);
  EXPECT_EQ(journal, (Journal{"L:event:32769:11:12", "OnDSEvent:32769", "L:event:3:" + fail + ":0",
                              "OnDSEvent:3", "OnGraphErrorAbort:" + fail, "L:event:32770:0:0",
                              "OnDSEvent:32770"}));
  EXPECT_EQ(errors.messages, (QStringList{QStringLiteral("second failed")}));
  journal.clear();
  NotifyOnce();
  EXPECT_EQ(journal, (Journal{"L:event:10:37749456:0", "OnDSEvent:10", "Size:720x576"}));
  Sink()->Notify(EC_USER + 4, 0, 0);
  graph.SetActive(false);
  journal.clear();
  NotifyOnce();
  QCoreApplication::processEvents();
  EXPECT_EQ(journal, (Journal{})) << "nothing after deactivation";
}

// An event without a handler of its own, whichever it is, goes to the listeners alone.
TEST_F(FilterGraphTest, EveryEventWithoutAHandlerGoesToTheListenersAlone) {
  ErrorRecorder errors;
  graph.AddListener(&listener);
  graph.SetActive(true);
  const auto notify = [&](std::initializer_list<long> events) {
    for (long event : events) ASSERT_TRUE(SUCCEEDED(Sink()->Notify(event, 0, 0)));
  };
  notify({EC_BUFFERING_DATA, EC_CLOCK_CHANGED, EC_COMPLETE, EC_DEVICE_LOST, EC_END_OF_SEGMENT,
          EC_ERROR_STILLPLAYING, EC_ERRORABORT, EC_FULLSCREEN_LOST, EC_GRAPH_CHANGED, EC_OLE_EVENT,
          EC_OPENING_FILE, EC_PALETTE_CHANGED, EC_PAUSED, EC_QUALITY_CHANGE});
  notify({EC_SNDDEV_IN_ERROR, EC_SNDDEV_OUT_ERROR, EC_STEP_COMPLETE, EC_STREAM_CONTROL_STARTED,
          EC_STREAM_CONTROL_STOPPED, EC_STREAM_ERROR_STILLPLAYING, EC_STREAM_ERROR_STOPPED,
          EC_USERABORT, EC_VIDEO_SIZE_CHANGED, EC_TIMECODE_AVAILABLE, EC_EXTDEVICE_MODE_CHANGE,
          EC_CLOCK_UNSET, EC_VMR_RENDERDEVICE_SET, EC_STATE_CHANGE, EC_USER});
  NotifyOnce();
  EXPECT_EQ(errors.messages, QStringList());
  EXPECT_EQ(journal.empty() ? "" : journal.back(), "L:event:32768:0:0") << "all delivered";
}

// A member that fails to leave, or a listener that fails to hear of it, has its failure raised
// once every member left; from the graph's destructor, with no window on screen, the first
// failure (the listener's, told first) goes to the log.
TEST_F(FilterGraphTest, DestroyedGraphLogsAMemberThatFailsToLeaveAndRemovesTheOthers) {
  struct FailingMember : RecordingMember {
    using RecordingMember::RecordingMember;
    void MemberNotify(TMemberOperation operation, int param) override {
      RecordingMember::MemberNotify(operation, param);
      if (operation == moRemoving) throw EMediaGraphException(QStringLiteral("stuck"), E_FAIL);
    }
  };
  struct DeafListener : IGraphListener {
    void GraphEventOccurred(long, LONG_PTR, LONG_PTR) override {}
    void ControlEventOccurred(TGraphControlKind, int) override {
      throw EMediaGraphException(QStringLiteral("deaf"), E_FAIL);
    }
  } deaf;
  FailingMember failing("Failing", journal);
  auto doomed = std::make_unique<TFilterGraph>();
  doomed->AddMember(&failing);
  doomed->AddMember(&first);
  doomed->SetActive(true);
  EXPECT_THROW(doomed->SetActive(false), EMediaGraphException);
  doomed->SetActive(true);
  doomed->AddListener(&deaf);
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
  EXPECT_TRUE(logged[0].endsWith(QStringLiteral("deaf"))) << logged[0].toStdString();
  EXPECT_EQ(journal, (Journal{"Failing:moRemoving", "Failing:moRemoved", "First:moRemoving",
                              "First:moRemoved"}));
}
