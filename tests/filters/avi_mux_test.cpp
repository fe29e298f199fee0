// AVI Mux and File writer as filters in a graph: pins that multiply, the configuration
// interfaces, recording a pushed stream into a file read back by our reader and ffprobe,
// never writing over an existing file, stop / new name / run into a new file, and a full disk
// ending with EC_ERRORABORT and a readable file.
#include <TestPushSource.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "avi/AviLayout.h"
#include "avi/AviMux.h"
#include "avi/AviReader.h"
#include "avi/FileWriter.h"
#include "avi_test_support.h"
#include "sys_filter_support.h"

namespace vidorra::filters {
namespace {

using test::NewSysGraph;
using test::NewSystemFilter;
using test::PinAtIndex;
using test::PinName;
using test::TempDir;

constexpr int kWidth = 64, kHeight = 48;

CMediaType Yuy2Type() {
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&MEDIASUBTYPE_YUY2);
  mt.SetFormatType(&FORMAT_VideoInfo);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  vih->AvgTimePerFrame = 400000;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = kWidth;
  vih->bmiHeader.biHeight = kHeight;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = 16;
  vih->bmiHeader.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
  vih->bmiHeader.biSizeImage = kWidth * kHeight * 2;
  mt.SetSampleSize(kWidth * kHeight * 2);
  return mt;
}

// Waits for an event of the graph; returns its first parameter.
std::optional<LONG_PTR> WaitForEvent(IGraphBuilder* graph, long wanted, long timeoutMs = 10000) {
  ComPtr<IMediaEventEx> events = QueryAs<IMediaEventEx>(graph);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (events->GetEvent(&code, &p1, &p2, 100) == S_OK) {
      events->FreeEventParams(code, p1, p2);
      if (code == wanted) return p1;
    }
  }
  return std::nullopt;
}

struct RecordingGraph {
  ComPtr<IGraphBuilder> graph = NewSysGraph();
  ComPtr<test::TestPushSource> source;
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  ComPtr<IBaseFilter> writer = NewSystemFilter(CLSID_FileWriter);

  explicit RecordingGraph(test::TestPushSourceConfig config) {
    source = MakeComObject<test::TestPushSource>(std::move(config));
    EXPECT_EQ(graph->AddFilter(source.Get(), L"Source"), S_OK);
    EXPECT_EQ(graph->AddFilter(mux.Get(), L"AVI Mux"), S_OK);
    EXPECT_EQ(graph->AddFilter(writer.Get(), L"File writer"), S_OK);
    EXPECT_EQ(graph->ConnectDirect(source->OutputPin(), PinAtIndex(mux.Get(), 1).Get(), nullptr),
              S_OK);
    EXPECT_EQ(graph->ConnectDirect(PinAtIndex(mux.Get(), 0).Get(),
                                   PinAtIndex(writer.Get(), 0).Get(), nullptr),
              S_OK);
  }
  HRESULT SetFile(const std::string& path) {
    ComPtr<IFileSinkFilter> sink = QueryAs<IFileSinkFilter>(writer.Get());
    return sink->SetFileName(Utf8ToWide(path).c_str(), nullptr);
  }
};

test::TestPushSourceConfig Frames(int count, bool paced = false) {
  test::TestPushSourceConfig config;
  config.mediaType = Yuy2Type();
  config.frameCount = count;
  config.paceOnClock = paced;
  return config;
}

TEST(AviMuxFilter, InputPinsMultiplyAndOutputComesFirst) {
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  ASSERT_TRUE(mux);
  EXPECT_EQ(test::PinsOf(mux.Get()).size(), 2u);
  EXPECT_EQ(PinName(PinAtIndex(mux.Get(), 0).Get()), L"AVI Out");
  EXPECT_EQ(PinName(PinAtIndex(mux.Get(), 1).Get()), L"Input 01");
  ComPtr<IGraphBuilder> graph = NewSysGraph();
  auto source = MakeComObject<test::TestPushSource>(Frames(1));
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(mux.Get(), L"Mux");
  ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), PinAtIndex(mux.Get(), 1).Get(), nullptr),
            S_OK);
  ASSERT_EQ(test::PinsOf(mux.Get()).size(), 3u);
  EXPECT_EQ(PinName(PinAtIndex(mux.Get(), 2).Get()), L"Input 02");
  // A type the mux cannot store is refused.
  test::TestPushSourceConfig text;
  text.mediaType = CMediaType(&MEDIATYPE_AnalogVideo);
  auto other = MakeComObject<test::TestPushSource>(text);
  graph->AddFilter(other.Get(), L"Other");
  EXPECT_NE(graph->ConnectDirect(other->OutputPin(), PinAtIndex(mux.Get(), 2).Get(), nullptr),
            S_OK);
  EXPECT_EQ(test::PinsOf(mux.Get()).size(), 3u);
}

TEST(AviMuxFilter, ConfigurationInterfaces) {
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  ComPtr<IConfigAviMux> config = QueryAs<IConfigAviMux>(mux.Get());
  ComPtr<IConfigInterleaving> interleaving = QueryAs<IConfigInterleaving>(mux.Get());
  ASSERT_TRUE(config && interleaving);
  LONG master = 5;
  EXPECT_EQ(config->GetMasterStream(&master), S_OK);
  EXPECT_EQ(master, -1);
  EXPECT_EQ(config->SetMasterStream(1), S_OK);
  config->GetMasterStream(&master);
  EXPECT_EQ(master, 1);
  EXPECT_EQ(config->SetMasterStream(-2), E_INVALIDARG);
  BOOL old = FALSE;
  EXPECT_EQ(config->GetOutputCompatibilityIndex(&old), S_OK);
  EXPECT_TRUE(old);
  EXPECT_EQ(config->SetOutputCompatibilityIndex(FALSE), S_OK);
  config->GetOutputCompatibilityIndex(&old);
  EXPECT_FALSE(old);
  InterleavingMode mode = INTERLEAVE_FULL;
  EXPECT_EQ(interleaving->get_Mode(&mode), S_OK);
  EXPECT_EQ(mode, INTERLEAVE_CAPTURE);
  EXPECT_EQ(interleaving->put_Mode(INTERLEAVE_NONE), S_OK);
  EXPECT_EQ(interleaving->put_Mode(INTERLEAVE_FULL), E_NOTIMPL);
  REFERENCE_TIME period = 0, preroll = 1;
  EXPECT_EQ(interleaving->get_Interleaving(&period, &preroll), S_OK);
  EXPECT_EQ(period, 10'000'000);
  EXPECT_EQ(preroll, 0);
  const REFERENCE_TIME half = 5'000'000;
  EXPECT_EQ(interleaving->put_Interleaving(&half, nullptr), S_OK);
  interleaving->get_Interleaving(&period, &preroll);
  EXPECT_EQ(period, half);
}

TEST(AviMuxFilter, RegisteredWithTheirNames) {
  const auto mux = FilterRegistry::Instance().Find(CLSID_AviDest);
  ASSERT_TRUE(mux);
  EXPECT_EQ(mux->friendlyName, L"AVI Mux");
  const auto writer = FilterRegistry::Instance().Find(CLSID_FileWriter);
  ASSERT_TRUE(writer);
  EXPECT_EQ(writer->friendlyName, L"File writer");
}

TEST(FileWriterFilter, FileNameWhileStoppedOnly) {
  ComPtr<IBaseFilter> writer = NewSystemFilter(CLSID_FileWriter);
  ComPtr<IFileSinkFilter> sink = QueryAs<IFileSinkFilter>(writer.Get());
  ASSERT_TRUE(sink);
  LPOLESTR name = nullptr;
  EXPECT_EQ(sink->GetCurFile(&name, nullptr), E_FAIL);
  EXPECT_EQ(sink->SetFileName(L"/tmp/x.avi", nullptr), S_OK);
  AM_MEDIA_TYPE mt{};
  ASSERT_EQ(sink->GetCurFile(&name, &mt), S_OK);
  EXPECT_STREQ(name, L"/tmp/x.avi");
  EXPECT_EQ(mt.majortype, MEDIATYPE_Stream);
  CoTaskMemFree(name);
  EXPECT_EQ(sink->SetFileName(nullptr, nullptr), E_POINTER);
}

TEST(AviMuxGraph, RecordsEveryPushedFrame) {
  TempDir dir;
  const std::string path = dir.File("graph.avi");
  RecordingGraph g(Frames(50));
  ASSERT_EQ(g.SetFile(path), S_OK);
  ASSERT_EQ(test::RunGraph(g.graph.Get()), S_OK);
  EXPECT_TRUE(WaitForEvent(g.graph.Get(), EC_COMPLETE));
  ASSERT_EQ(test::StopGraph(g.graph.Get()), S_OK);
  std::string error;
  const auto info = avi::AviReader::Read(path, &error);
  ASSERT_TRUE(info) << error;
  ASSERT_EQ(info->streams.size(), 1u);
  EXPECT_EQ(info->streams[0].length, 50u);
  ASSERT_EQ(info->streams[0].odmlChunks.size(), 50u);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(avi::AviReader::ReadChunk(path, info->streams[0].odmlChunks[33], bytes));
  EXPECT_EQ(avi::GetU32(bytes.data()), 33u);
  const auto probed = test::Probe(path);
  ASSERT_EQ(probed.size(), 1u);
  EXPECT_EQ(probed[0].codec, "rawvideo");
  EXPECT_EQ(probed[0].count, 50);
}

TEST(AviMuxGraph, ExistingFileFailsTheRunAndStaysUntouched) {
  TempDir dir;
  const std::string path = dir.File("exists.avi");
  {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("keep me", f);
    std::fclose(f);
  }
  RecordingGraph g(Frames(5));
  ASSERT_EQ(g.SetFile(path), S_OK);
  EXPECT_EQ(test::RunGraph(g.graph.Get()), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
  test::StopGraph(g.graph.Get());
  EXPECT_EQ(std::filesystem::file_size(path), 7u);
}

TEST(AviMuxGraph, StopRenameRunContinuesInANewFile) {
  TempDir dir;
  RecordingGraph g(Frames(-1, /*paced=*/true));
  const std::string first = dir.File("one.avi"), second = dir.File("two.avi");
  ASSERT_EQ(g.SetFile(first), S_OK);
  ASSERT_EQ(test::RunGraph(g.graph.Get()), S_OK);
  ASSERT_TRUE(test::WaitUntil([&] { return g.source->FramesDelivered() >= 8; }));
  ASSERT_EQ(test::StopGraph(g.graph.Get()), S_OK);
  const int firstRun = g.source->FramesDelivered();
  // A new name while connected and stopped; the next run records into it.
  ASSERT_EQ(g.SetFile(second), S_OK);
  ASSERT_EQ(test::RunGraph(g.graph.Get()), S_OK);
  ASSERT_TRUE(test::WaitUntil([&] { return g.source->FramesDelivered() >= firstRun + 8; }));
  ASSERT_EQ(test::StopGraph(g.graph.Get()), S_OK);
  const int total = g.source->FramesDelivered();

  const auto one = avi::AviReader::Read(first);
  const auto two = avi::AviReader::Read(second);
  ASSERT_TRUE(one && two);
  // Every frame made is in one of the two files, but for the one a stop may catch in flight
  // (made by the source while the mux downstream had already stopped): at most one per stop.
  const size_t recorded = one->streams[0].odmlChunks.size() + two->streams[0].odmlChunks.size();
  EXPECT_LE(recorded, static_cast<size_t>(total));
  EXPECT_GE(recorded + 2, static_cast<size_t>(total));
  EXPECT_GE(one->streams[0].odmlChunks.size(), 8u);
  EXPECT_GE(two->streams[0].odmlChunks.size(), 8u);
  EXPECT_EQ(test::Probe(first)[0].count, static_cast<long>(one->streams[0].odmlChunks.size()));
  EXPECT_EQ(test::Probe(second)[0].count, static_cast<long>(two->streams[0].odmlChunks.size()));
}

// Pushes 48 kHz PCM blocks; from block `changeAt` on, the samples announce 44.1 kHz.
class ChangingPcmStream : public CSourceStream {
 public:
  static constexpr int kBlocks = 20, kChangeAt = 12, kBlockBytes = 1920 * 4;
  explicit ChangingPcmStream(CSource* filter) : CSourceStream(filter, L"Output") {}
  static CMediaType Pcm(DWORD rate) {
    CMediaType mt(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    auto* w = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    *w = {WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
    return mt;
  }
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *mt = Pcm(48000);
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    return DecideBuffers(allocator, *request, {.buffers = 2, .bytes = kBlockBytes});
  }
  HRESULT FillBuffer(IMediaSample* sample) override {
    if (block_ >= kBlocks) return S_FALSE;
    sample->SetActualDataLength(kBlockBytes);
    REFERENCE_TIME start = block_ * 400000LL, stop = start + 400000;
    sample->SetTime(&start, &stop);
    if (block_ == kChangeAt) {
      CMediaType changed = Pcm(44100);
      sample->SetMediaType(&changed);
    }
    ++block_;
    return S_OK;
  }

 private:
  int block_ = 0;
};

class ChangingPcmSource : public CSource {
 public:
  ChangingPcmSource() : CSource(L"Changing PCM", GUID_NULL) {
    AddPin(std::make_unique<ChangingPcmStream>(this));
  }
};

// A sound format change mid-stream cannot be written under the stream's fixed header: the
// stream ends there (the rest is counted as dropped) and the file stays sound.
TEST(AviMuxGraph, SoundFormatChangeEndsThatStreamCleanly) {
  TempDir dir;
  const std::string path = dir.File("change.avi");
  ComPtr<IGraphBuilder> graph = NewSysGraph();
  QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
  auto source = MakeComObject<ChangingPcmSource>();
  auto mux = MakeComObject<CAviMux>();
  ComPtr<IBaseFilter> writer = NewSystemFilter(CLSID_FileWriter);
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(mux.Get(), L"AVI Mux");
  graph->AddFilter(writer.Get(), L"File writer");
  ASSERT_EQ(graph->ConnectDirect(PinAtIndex(source.Get(), 0).Get(), PinAtIndex(mux.Get(), 1).Get(),
                                 nullptr),
            S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinAtIndex(mux.Get(), 0).Get(), PinAtIndex(writer.Get(), 0).Get(),
                                 nullptr),
            S_OK);
  QueryAs<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToWide(path).c_str(), nullptr);
  ASSERT_EQ(test::RunGraph(graph.Get()), S_OK);
  EXPECT_TRUE(WaitForEvent(graph.Get(), EC_COMPLETE));
  test::StopGraph(graph.Get());
  EXPECT_EQ(mux->DroppedSamples(), ChangingPcmStream::kBlocks - ChangingPcmStream::kChangeAt);
  const auto info = avi::AviReader::Read(path);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->streams[0].length, static_cast<uint32_t>(ChangingPcmStream::kChangeAt * 1920));
  EXPECT_EQ(test::DecodedAudioSamples(path, 2), ChangingPcmStream::kChangeAt * 1920L);
}

// A file-size limit stands in for a full disk: the writer's failure reaches the graph as
// EC_ERRORABORT with its HRESULT and the file keeps every frame written before it.
TEST(AviMuxGraph, FullDiskEndsWithErrorAbortAndAReadableFile) {
  TempDir dir;
  const std::string path = dir.File("full.avi");
  RecordingGraph g(Frames(-1));
  ASSERT_EQ(g.SetFile(path), S_OK);
  constexpr rlim_t kLimit = 2u << 20;
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limited{kLimit, saved.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  ASSERT_EQ(test::RunGraph(g.graph.Get()), S_OK);
  const auto abort = WaitForEvent(g.graph.Get(), EC_ERRORABORT);
  test::StopGraph(g.graph.Get());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  ASSERT_TRUE(abort.has_value());
  EXPECT_EQ(static_cast<HRESULT>(*abort), HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));

  std::string error;
  const auto info = avi::AviReader::Read(path, &error);
  ASSERT_TRUE(info) << error;
  const size_t frames = info->streams[0].odmlChunks.size();
  ASSERT_GT(frames, 0u);
  const size_t frameBytes = kWidth * kHeight * 2 + 8;
  EXPECT_GE(frames + 2, (kLimit - 64 * 1024) / frameBytes);
  EXPECT_EQ(info->streams[0].length, frames);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(avi::AviReader::ReadChunk(path, info->streams[0].odmlChunks.back(), bytes));
  EXPECT_EQ(avi::GetU32(bytes.data()), frames - 1);
  EXPECT_EQ(test::Probe(path)[0].count, static_cast<long>(frames));
}

}  // namespace
}  // namespace vidorra::filters
