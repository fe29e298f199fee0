// DV File Source: only the real end of its file ends the stream as complete; a failed read (the
// file cut short since it was loaded, a read the system refuses) or a failed wait on the clock
// ends it with EC_ERRORABORT and the HRESULT, and what was read before is recorded.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include "avi/AviMux.h"
#include "avi_test_support.h"
#include "wait_until.h"

namespace vidorra::test {
namespace {

// The first of EC_COMPLETE and EC_ERRORABORT the graph sends, with its first parameter.
std::optional<std::pair<long, LONG_PTR>> EndOfRun(IGraphBuilder* graph) {
  ComPtr<IMediaEventEx> events = QueryAs<IMediaEventEx>(graph);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (events->GetEvent(&code, &p1, &p2, 100) != S_OK) continue;
    events->FreeEventParams(code, p1, p2);
    if (code == EC_COMPLETE || code == EC_ERRORABORT) return std::pair{code, p1};
  }
  return std::nullopt;
}

// The descriptor this process has open on path.
int OpenDescriptorOf(const std::string& path) {
  DIR* fds = ::opendir("/proc/self/fd");
  int found = -1;
  while (dirent* entry = fds ? ::readdir(fds) : nullptr) {
    char target[4096] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && path == target) {
      found = std::atoi(entry->d_name);
    }
  }
  if (fds) ::closedir(fds);
  return found;
}

// A clock that tells the time but cannot set an alarm.
class ClockWithoutAlarms : public CUnknown, public IReferenceClock {
 public:
  static constexpr HRESULT kFailure = E_OUTOFMEMORY;
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IReferenceClock) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override {
    *pTime = 0;
    return S_OK;
  }
  STDMETHODIMP AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override {
    return kFailure;
  }
  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override {
    return kFailure;
  }
  STDMETHODIMP Unadvise(DWORD_PTR) override { return S_OK; }
};

TEST(DvFileSourceFilter, OnlyTheRealEndOfTheFileCompletesTheStream) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  constexpr int kFrames = 8;
  const struct {
    const char* what;
    std::function<void(const std::string& path, IGraphBuilder* graph)> harm;
    long event;
    HRESULT hr;
    uint64_t framesRecorded;
  } cases[] = {
      {"the file's end", {}, EC_COMPLETE, S_OK, kFrames},
      {"the file cut short after it was loaded",
       [](const std::string& path, IGraphBuilder*) {
         ASSERT_EQ(::truncate(path.c_str(), dv::kFrameBytesPal * 3 + 1000), 0);
       },
       EC_ERRORABORT, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), 3},
      {"a read the system refuses",
       [](const std::string& path, IGraphBuilder*) {
         // The source's descriptor now reads a folder.
         const int fd = OpenDescriptorOf(path);
         ASSERT_GE(fd, 0);
         const int folder = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
         ASSERT_EQ(::dup2(folder, fd), fd);
         ::close(folder);
       },
       EC_ERRORABORT, HRESULT_FROM_WIN32(ERROR_READ_FAULT), 0},
      {"a clock that cannot wait",
       [](const std::string&, IGraphBuilder* graph) {
         auto clock = MakeComObject<ClockWithoutAlarms>();
         ASSERT_EQ(QueryAs<IMediaFilter>(graph)->SetSyncSource(clock.Get()), S_OK);
       },
       EC_ERRORABORT, ClockWithoutAlarms::kFailure, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string dvPath = dir.File("in.dv"), aviPath = dir.File("out.avi");
    WriteDvFile(dvPath, maker, kFrames);
    ComPtr<IBaseFilter> source = LoadedDvSource(dvPath);
    ASSERT_TRUE(source);
    RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get()}, /*clocked=*/false), S_OK);
    ASSERT_EQ(g.SetFile(aviPath), S_OK);
    if (c.harm) c.harm(dvPath, g.graph.Get());
    ASSERT_EQ(g.Run(), S_OK);
    const auto end = EndOfRun(g.graph.Get());
    ASSERT_TRUE(end);
    EXPECT_EQ(end->first, c.event);
    if (c.event == EC_ERRORABORT) {
      EXPECT_EQ(static_cast<HRESULT>(end->second), c.hr);
    }
    // What was read before the failure is kept.
    const auto* mux = dynamic_cast<filters::CAviMux*>(g.mux.Get());
    ASSERT_TRUE(test::WaitUntil([&] { return mux->ChunksWritten(0) >= c.framesRecorded; }));
    g.Stop();
    EXPECT_EQ(mux->ChunksWritten(0), c.framesRecorded);
  }
}

}  // namespace
}  // namespace vidorra::test
