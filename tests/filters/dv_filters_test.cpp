// The DV filters in graphs: DV File Source -> DV Splitter -> AVI Mux / DV Video Decoder, pictures
// -> DV Video Encoder -> AVI Mux, and the chains intelligent connect builds on the codec's own
// format; every recording read back. Worn tapes: a frame whose blocks are damaged is passed on
// and counted, only a frame that cannot be read is dropped. Only the real end of a file ends
// its stream as complete; a failed read or clock wait ends it with EC_ERRORABORT.
#include <SmartTee.h>
#include <TestManualClock.h>
#include <TestPushSource.h>
#include <VideoRenderer.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <set>

#include "avi/AviLayout.h"
#include "avi/AviMux.h"
#include "avi_test_support.h"
#include "dv/DvFrame.h"
#include "dv/DvMediaTypes.h"
#include "dv/DvSplitter.h"
#include "dv/DvVideoDecoderFilter.h"
#include "dv/DvVideoEncoderFilter.h"
#include "sys_filter_support.h"

namespace vidorra::filters {
namespace {

using test::DvFrameMaker;
using test::Link;
using test::RecordingGraph;
using test::TempDir;
using test::WriteDvFile;

// DV File Source -> DV Splitter -> DV Video Decoder in a graph without clock, linked.
struct DecodingChain {
  explicit DecodingChain(const std::string& dvPath) : source(test::LoadedDvSource(dvPath)) {
    EXPECT_EQ(test::AddFilters(graph.Get(), {{source.Get(), L"DV File Source"},
                                             {splitter.Get(), L"DV Splitter"},
                                             {decoder.Get(), L"DV Video Decoder"}}),
              S_OK);
    EXPECT_EQ(Link(graph.Get(), source.Get(), 0, splitter.Get(), 0), S_OK);
    EXPECT_EQ(Link(graph.Get(), splitter.Get(), 1, decoder.Get(), 0), S_OK);
  }
  // A sink taking `subtype` connected to the decoder by intelligent connect.
  ComPtr<test::RecordingSink> AddSink(GUID subtype) {
    auto sink = MakeComObject<test::RecordingSink>(subtype);
    graph->AddFilter(sink.Get(), L"Sink");
    EXPECT_EQ(graph->Connect(decoder->OutputPin(), sink->Input()), S_OK);
    return sink;
  }
  ComPtr<IGraphBuilder> graph = test::NewGraph(false);
  ComPtr<IBaseFilter> source;
  ComPtr<CDvSplitter> splitter = MakeComObject<CDvSplitter>();
  ComPtr<CDvVideoDecoderFilter> decoder = MakeComObject<CDvVideoDecoderFilter>();
};

GUID ConnectionSubtype(IPin* pin) {
  AM_MEDIA_TYPE mt{};
  EXPECT_EQ(pin->ConnectionMediaType(&mt), S_OK);
  const GUID subtype = mt.subtype;
  FreeMediaType(mt);
  return subtype;
}

TEST(DvFileSourceFilter, LoadRefusesWhatIsNotDv) {
  TempDir dir;
  std::ofstream(dir.File("not.dv")) << "hello, this is not a DV file at all";
  ComPtr<IFileSourceFilter> file =
      QueryAs<IFileSourceFilter>(test::CreateFilter(CLSID_DvFileSource).Get());
  EXPECT_EQ(file->Load(Utf8ToWide(dir.File("not.dv")).c_str(), nullptr), VFW_E_INVALID_FILE_FORMAT);
  EXPECT_EQ(file->Load(Utf8ToWide(dir.File("missing.dv")).c_str(), nullptr),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  LPOLESTR name = nullptr;
  EXPECT_EQ(file->GetCurFile(&name, nullptr), E_FAIL);
}

// The descriptor this process has open on path.
int OpenDescriptorOf(const std::string& path) {
  DIR* fds = ::opendir("/proc/self/fd");
  int found = -1;
  while (dirent* entry = fds ? ::readdir(fds) : nullptr) {
    char target[4096] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && path == target)
      found = std::atoi(entry->d_name);
  }
  if (fds) ::closedir(fds);
  return found;
}

// A clock that tells the time but cannot set an alarm.
class ClockWithoutAlarms : public CUnknown, public IReferenceClock {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IReferenceClock) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override { return *pTime = 0, S_OK; }
  STDMETHODIMP AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override {
    return E_OUTOFMEMORY;
  }
  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override {
    return E_OUTOFMEMORY;
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
         ASSERT_EQ(
             QueryAs<IMediaFilter>(graph)->SetSyncSource(MakeComObject<ClockWithoutAlarms>().Get()),
             S_OK);
       },
       EC_ERRORABORT, E_OUTOFMEMORY, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string dvPath = dir.File("in.dv");
    WriteDvFile(dvPath, maker, kFrames);
    ComPtr<IBaseFilter> source = test::LoadedDvSource(dvPath);
    RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get()}, /*clocked=*/false), S_OK);
    ASSERT_EQ(g.SetFile(dir.File("out.avi")), S_OK);
    if (c.harm) c.harm(dvPath, g.graph.Get());
    ASSERT_EQ(g.Run(), S_OK);
    const auto end = test::NextGraphEvent(g.graph.Get(), {EC_COMPLETE, EC_ERRORABORT});
    ASSERT_TRUE(end);
    EXPECT_EQ(end->code, c.event);
    EXPECT_EQ(static_cast<HRESULT>(end->param1), c.hr);
    // What was read before the failure is kept.
    const auto* mux = dynamic_cast<CAviMux*>(g.mux.Get());
    ASSERT_TRUE(test::WaitUntil([&] { return mux->ChunksWritten(0) >= c.framesRecorded; }));
    g.Stop();
    EXPECT_EQ(mux->ChunksWritten(0), c.framesRecorded);
  }
}

// DV file -> AVI Mux directly: a type-1 file ('iavs') described by the system's rate and size,
// DVINFO from the first frame's packs, the frames stored unchanged.
TEST(DvFileSourceFilter, Type1RecordingThroughTheMux) {
  constexpr int kFrames = 30;
  const struct {
    dv::DvSystem system;
    uint32_t scale, rate, microSecPerFrame, height;
    long samples;  // 48 kHz locked: 1920 a frame on 625/50, 8008 every 5 frames on 525/60
  } cases[] = {{dv::DvSystem::k625_50, 1, 25, 40000, 576, kFrames * 1920L},
               {dv::DvSystem::k525_60, 1001, 30000, 33366, 480, kFrames / 5 * 8008L}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.height);
    DvFrameMaker maker(c.system);
    ASSERT_TRUE(maker.ok());
    TempDir dir;
    const std::string dvPath = dir.File("in.dv"), aviPath = dir.File("type1.avi");
    WriteDvFile(dvPath, maker, kFrames);
    ComPtr<IBaseFilter> source = test::LoadedDvSource(dvPath);
    RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get()}, /*clocked=*/false), S_OK);
    ASSERT_TRUE(g.Record(aviPath));
    const avi::AviFileInfo info = test::ReadBack(aviPath);
    ASSERT_EQ(info.streams.size(), 1u);
    const auto& s = info.streams[0];
    const uint32_t frames = kFrames;
    EXPECT_EQ(std::tuple(s.type, s.handler, s.scale, s.rate, s.length),
              std::tuple(avi::kFccIavs, avi::kFccDvsd, c.scale, c.rate, frames));
    EXPECT_EQ(std::tuple(info.grandFrames, info.totalFrames, info.microSecPerFrame, info.width,
                         info.height),
              std::tuple(frames, frames, c.microSecPerFrame, 720u, c.height));
    EXPECT_TRUE(info.flags & avi::avih::kFlagHasIndex);
    EXPECT_EQ(info.idx1Chunks.size(), static_cast<size_t>(kFrames));
    ASSERT_EQ(s.format.size(), avi::dvinfo::kBytes);
    const DVINFO expected = dv::DvInfoFromFrame(maker.Frame(0), c.system);
    EXPECT_EQ(avi::GetU32(&s.format[avi::dvinfo::kAAuxSrc]), expected.dwDVAAuxSrc);
    EXPECT_EQ(avi::GetU32(&s.format[avi::dvinfo::kVAuxSrc]), expected.dwDVVAuxSrc);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(avi::AviReader::ReadChunk(aviPath, s.odmlChunks.at(7), bytes));
    EXPECT_EQ(bytes, maker.Frame(7));
    for (bool odml : {true, false}) {
      test::ExpectProbed(aviPath, {"dvvideo", "pcm_s16le"}, kFrames, odml);
      EXPECT_EQ(test::RecordedSoundSamples(aviPath, 2, odml), c.samples);
    }
  }
}

// On a clock that only the test moves, frame k may leave once the clock reaches its stream
// time, and the next must wait for the next step. A pause stops stream time: after it the
// source goes on from the frame where it stood.
TEST(DvFileSourceFilter, FramesLeaveAtTheirStreamTimeOnTheGraphClock) {
  TempDir dir;
  constexpr int kFrames = 6;
  constexpr REFERENCE_TIME kFrameTime = 400'000, kRunStart = 5'000'000;
  ComPtr<IGraphBuilder> graph = test::NewGraph();
  auto clock = MakeComObject<test::TestManualClock>();
  ASSERT_EQ(QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(clock.Get()), S_OK);
  ComPtr<IBaseFilter> source = test::LoadedDvSource(test::SmallDvFile(dir, kFrames));
  ComPtr<IBaseFilter> grabber = test::CreateFilter(CLSID_SampleGrabber);
  ComPtr<IBaseFilter> null = test::CreateFilter(CLSID_NullRenderer);
  test::AddFilters(graph.Get(),
                   {{source.Get(), L"Source"}, {grabber.Get(), L"Grabber"}, {null.Get(), L"Null"}});
  ASSERT_EQ(Link(graph.Get(), source.Get(), 0, grabber.Get(), 0), S_OK);
  ASSERT_EQ(Link(graph.Get(), grabber.Get(), 1, null.Get(), 0), S_OK);
  // For every sample passing the grabber: its start time and the stream time when it passed.
  std::mutex mutex;
  std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> passed;
  auto callback =
      MakeComObject<test::GrabberCallback>([&](double, IMediaSample* sample, const BYTE*, long) {
        REFERENCE_TIME start = -1, stop = -1;
        sample->GetTime(&start, &stop);
        std::lock_guard lock(mutex);
        passed.emplace_back(start, clock->Now() - kRunStart);
      });
  QueryAs<ISampleGrabber>(grabber.Get())->SetCallback(callback.Get(), 0);
  auto passedCount = [&] {
    std::lock_guard lock(mutex);
    return static_cast<int>(passed.size());
  };
  ComPtr<IMediaFilter> control = QueryAs<IMediaFilter>(graph.Get());
  ASSERT_TRUE(SUCCEEDED(control->Run(kRunStart)));  // S_FALSE while the graph still cues
  REFERENCE_TIME paused = 0;
  for (int k = 0; k < kFrames; ++k) {
    if (k == 3) {
      // Paused at stream time 2 frames + 1/4: resumed 10 frames of clock later, frame 3 is due
      // 3/4 of a frame after the resumption, not at once.
      clock->AdvanceTo(kRunStart + 2 * kFrameTime + kFrameTime / 4);
      ASSERT_TRUE(SUCCEEDED(control->Pause()));
      clock->AdvanceTo(kRunStart + 12 * kFrameTime + kFrameTime / 4);
      ASSERT_TRUE(SUCCEEDED(test::RunGraph(graph.Get())));
      FILTER_STATE state = State_Stopped;
      ASSERT_TRUE(test::WaitUntil([&] { return control->GetState(0, &state) == S_OK; }));
      paused = 10 * kFrameTime;
    }
    clock->AdvanceTo(kRunStart + paused + k * kFrameTime);
    ASSERT_TRUE(test::WaitUntil([&] { return passedCount() == k + 1; })) << "frame " << k;
  }
  EXPECT_TRUE(test::WaitForGraphEvent(graph.Get(), EC_COMPLETE));
  ASSERT_EQ(test::StopGraph(graph.Get()), S_OK);
  ASSERT_EQ(passedCount(), kFrames);
  for (int k = 0; k < kFrames; ++k) {
    EXPECT_EQ(passed[k].first, k * kFrameTime);
    EXPECT_GE(passed[k].second - (k < 3 ? 0 : 10 * kFrameTime), passed[k].first) << "frame " << k;
  }
}

// DV file -> splitter -> AVI Mux (type 2) -> File writer, and the same file decoded to each
// format the decoder offers: every frame and every sample, unchanged. Worn tapes too (bytes flipped
// everywhere but in the header block, and the header of some frames destroyed): every frame that
// can be read is kept with its sound; the splitter counts the damage and drops only the unreadable
// frames.
TEST(DvSplitterFilter, Type2RecordingKeepsEveryReadableFrameAndItsSound) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  constexpr int kFrames = 40;
  const struct {
    double rate;
    std::set<int> headerless;
    GUID decodedTo;  // each format the decoder offers, found by intelligent connect
  } cases[] = {{0.0, {}, MEDIASUBTYPE_IYUV},
               {0.0001, {9}, MEDIASUBTYPE_YUY2},
               {0.001, {3}, MEDIASUBTYPE_RGB32},
               {0.01, {17, 30}, MEDIASUBTYPE_RGB24}};
  for (const auto& [rate, headerless, decodedTo] : cases) {
    SCOPED_TRACE(testing::Message() << "flipped bytes: " << rate * 100 << "%");
    TempDir dir;
    const std::string dvPath = dir.File("worn.dv"), aviPath = dir.File("worn.avi");
    std::mt19937 rng(1961);
    std::bernoulli_distribution hit(rate);
    long damagedFrames = 0;
    const auto pcm = WriteDvFile(dvPath, maker, kFrames, [&](int i, std::vector<uint8_t>& frame) {
      if (i == 0) return;  // the source reads the stream's type from the first frame
      for (size_t b = dv::kDifBlockBytes; b < frame.size(); ++b) {
        if (hit(rng)) frame[b] ^= static_cast<uint8_t>(1 + rng() % 255);
      }
      if (headerless.count(i)) frame[0] = 0x90;
      if (dv::InspectFrame(frame) && dv::InspectFrame(frame)->damagedBlocks > 0) ++damagedFrames;
    });
    EXPECT_EQ(damagedFrames > 0, rate > 0);
    const long readable = kFrames - static_cast<long>(headerless.size());
    auto splitter = MakeComObject<CDvSplitter>();
    ComPtr<IBaseFilter> source = test::LoadedDvSource(dvPath);
    RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get(), splitter.Get()}, false, 2), S_OK);
    ASSERT_TRUE(g.Record(aviPath));
    EXPECT_EQ(splitter->BadFrames(), static_cast<long>(headerless.size()));
    EXPECT_EQ(splitter->DamagedFrames(), damagedFrames);
    EXPECT_GE(splitter->DamagedBlocks(), damagedFrames);
    EXPECT_EQ(splitter->SoundDropped(), 0);
    const avi::AviFileInfo info = test::ReadBack(aviPath);
    ASSERT_EQ(info.streams.size(), 2u);
    EXPECT_EQ(info.streams[1].length, static_cast<uint32_t>(readable * 1920));
    for (bool odml : {true, false}) {
      test::ExpectProbed(aviPath, {"dvvideo", "pcm_s16le"}, readable, odml);
    }
    const std::string raw = test::RunCommand("ffmpeg -v error -i " + test::Quote(aviPath) +
                                             " -map 0:a:0 -f s16le -acodec pcm_s16le -");
    ASSERT_EQ(raw.size(), static_cast<size_t>(readable) * 1920 * 4);
    EXPECT_TRUE(rate > 0 || std::memcmp(raw.data(), pcm.data(), raw.size()) == 0);

    DecodingChain chain(dvPath);
    auto sink = chain.AddSink(decodedTo);
    ASSERT_TRUE(test::RunToCompletion(chain.graph.Get(), 20'000));
    EXPECT_EQ(chain.decoder->BadFrames(), 0);
    EXPECT_EQ(sink->Count(), readable);
  }
}

// The sound leaves from a queue of its own: a sound receiver that stops taking samples (a
// renderer waiting for its server) holds up neither the picture nor the source.
TEST(DvSplitterFilter, AStuckSoundReceiverDoesNotHoldUpThePicture) {
  TempDir dir;
  constexpr int kFrames = 12;
  DecodingChain chain(test::SmallDvFile(dir, kFrames));
  auto video = chain.AddSink(MEDIASUBTYPE_IYUV);
  auto sound =
      MakeComObject<test::RecordingSink>(test::RecordingSinkOptions{.majorType = MEDIATYPE_Audio});
  chain.graph->AddFilter(sound.Get(), L"Sound");
  ASSERT_EQ(Link(chain.graph.Get(), chain.splitter.Get(), 2, sound.Get(), 0), S_OK);
  sound->Hold(true);
  ASSERT_TRUE(SUCCEEDED(test::RunGraph(chain.graph.Get())));
  EXPECT_TRUE(test::WaitUntil([&] { return video->Count() == kFrames; }))
      << "the picture got " << video->Count() << " of " << kFrames << " frames";
  EXPECT_LE(sound->Count(), 1) << "the stuck receiver holds the one sample it took";
  sound->Hold(false);
  EXPECT_TRUE(test::WaitUntil([&] { return sound->Count() == kFrames; }))
      << "the queued sound follows once the receiver takes it: " << sound->Count();
  EXPECT_TRUE(test::WaitForGraphEvent(chain.graph.Get(), EC_COMPLETE));
  ASSERT_EQ(test::StopGraph(chain.graph.Get()), S_OK);
}

// The video output delivers the input's own samples (from the source's allocator); only the
// sample carrying the interleaved type is copied, so that the video receiver never sees it. A
// frame of the other system is dropped and counted.
TEST(DvSplitterFilter, PassesTheInputSampleItselfAndDropsForeignFrames) {
  DvFrameMaker maker;
  DvFrameMaker ntsc(dv::DvSystem::k525_60);
  ASSERT_TRUE(maker.ok() && ntsc.ok());
  constexpr int kFrames = 5;
  const CMediaType interleaved =
      dv::InterleavedDvType(dv::DvInfoFromFrame(maker.Frame(0), dv::DvSystem::k625_50));
  std::vector<test::ListedSample> frames;
  for (int i = 0; i < kFrames; ++i) frames.push_back({maker.Frame(i), std::nullopt, std::nullopt});
  frames[0].type = interleaved;  // as a source announcing its format does
  frames.insert(frames.begin() + 2, {ntsc.Frame(0), std::nullopt, std::nullopt});
  ComPtr<IGraphBuilder> graph = test::NewGraph(false);
  auto source = MakeComObject<test::ListSource>(interleaved, std::move(frames));
  auto splitter = MakeComObject<CDvSplitter>();
  auto sink = MakeComObject<test::RecordingSink>(MEDIASUBTYPE_dvsd);
  test::AddFilters(
      graph.Get(),
      {{source.Get(), L"Source"}, {splitter.Get(), L"Splitter"}, {sink.Get(), L"Sink"}});
  ASSERT_EQ(Link(graph.Get(), source.Get(), 0, splitter.Get(), 0), S_OK);
  ASSERT_EQ(Link(graph.Get(), splitter.Get(), 1, sink.Get(), 0), S_OK);
  ASSERT_TRUE(test::RunToCompletion(graph.Get(), 20'000));
  EXPECT_EQ(splitter->CopiedFrames(), 1);
  EXPECT_EQ(splitter->BadFrames(), 1);
  IMemAllocator* input = static_cast<CBaseInputPin*>(splitter->GetPin(0))->Allocator();
  const auto samples = sink->Samples();
  ASSERT_EQ(samples.size(), static_cast<size_t>(kFrames));
  EXPECT_NE(samples[0].allocator, input);
  for (int i = 1; i < kFrames; ++i) EXPECT_EQ(samples[i].allocator, input) << i;
  EXPECT_TRUE(static_cast<CBaseInputPin*>(sink->GetPin(0))->IsReadOnly());
}

// Pictures of another size and rate -> DV Video Encoder -> AVI: scaled to the chosen system's
// size (PAL by default), the input's frame rate kept; what is not a system is refused.
TEST(DvVideoEncoderFilterTest, ScalesToTheChosenSystemAndKeepsTheFrameRate) {
  ComPtr<IDVEnc> defaults = QueryAs<IDVEnc>(test::CreateFilter(CLSID_DVVideoEnc).Get());
  int video = 0, format = 0, resolution = 0;
  ASSERT_EQ(defaults->get_IFormatResolution(&video, &format, &resolution, FALSE, nullptr), S_OK);
  EXPECT_EQ(video, DVENCODERVIDEOFORMAT_PAL);
  EXPECT_EQ(format, DVENCODERFORMAT_DVSD);
  EXPECT_EQ(resolution, DVENCODERRESOLUTION_720x480);
  for (auto [v, r] : {std::pair{1234, DVENCODERRESOLUTION_720x480},
                      {DVENCODERVIDEOFORMAT_PAL, DVENCODERRESOLUTION_360x240}}) {
    EXPECT_EQ(defaults->put_IFormatResolution(v, DVENCODERFORMAT_DVSD, r, FALSE, nullptr),
              E_INVALIDARG);
  }
  for (int videoFormat : {DVENCODERVIDEOFORMAT_PAL, DVENCODERVIDEOFORMAT_NTSC}) {
    TempDir dir;
    constexpr int kFrames = 12;
    auto source = MakeComObject<test::TestPushSource>(test::TestPushSourceConfig{
        .mediaType = dv::PictureType(dv::PictureFormat::kYuy2, 320, 240, 333667),
        .frameCount = kFrames,
        .frameDuration = 333667});
    ComPtr<IBaseFilter> encoder = test::CreateFilter(CLSID_DVVideoEnc);
    ASSERT_EQ(QueryAs<IDVEnc>(encoder.Get())
                  ->put_IFormatResolution(videoFormat, DVENCODERFORMAT_DVSD,
                                          DVENCODERRESOLUTION_720x480, FALSE, nullptr),
              S_OK);
    RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get(), encoder.Get()}, /*clocked=*/false), S_OK);
    ASSERT_TRUE(g.Record(dir.File("encoded.avi")));
    const avi::AviFileInfo info = test::ReadBack(dir.File("encoded.avi"));
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].length, static_cast<uint32_t>(kFrames));
    EXPECT_EQ(info.streams[0].scale, 1001u);
    EXPECT_EQ(info.streams[0].rate, 30000u);
    EXPECT_EQ(info.height, videoFormat == DVENCODERVIDEOFORMAT_PAL ? 576u : 480u);
    test::ExpectProbed(dir.File("encoded.avi"), {"dvvideo"}, kFrames);
  }
}

// DV file -> splitter -> decoder -> encoder -> AVI: the decoder and the encoder meet on the
// codec's own format; nothing is copied or converted; every frame is recorded and decodes.
TEST(DvChains, RecompressMeetsOnTheCodecsFormat) {
  TempDir dir;
  auto splitter = MakeComObject<CDvSplitter>();
  auto decoder = MakeComObject<CDvVideoDecoderFilter>();
  auto encoder = MakeComObject<CDvVideoEncoderFilter>();
  ComPtr<IBaseFilter> source = test::LoadedDvSource(test::SmallDvFile(dir, 12));
  RecordingGraph g;
  ASSERT_EQ(g.Build({source.Get(), splitter.Get(), decoder.Get(), encoder.Get()}, false), S_OK);
  EXPECT_EQ(ConnectionSubtype(encoder->InputPin()), MEDIASUBTYPE_IYUV);
  ASSERT_TRUE(g.Record(dir.File("recoded.avi")));
  EXPECT_EQ(splitter->CopiedFrames(), 0);
  EXPECT_EQ(decoder->Copies() + decoder->Conversions(), 0);
  EXPECT_EQ(encoder->Copies() + encoder->Conversions(), 0);
  test::ExpectProbed(dir.File("recoded.avi"), {"dvvideo"}, 12);
}

// DV file -> splitter -> decoder -> (intelligent connect) Smart Tee -> preview -> (intelligent
// connect) Video Renderer: the tee carries the codec's own format, one Color Space Converter
// turns it into RGB32 for the renderer; the decoder neither copies nor converts.
TEST(DvChains, PreviewConvertsOnceFromTheCodecsFormat) {
  TempDir dir;
  constexpr int kFrames = 8;
  DecodingChain chain(test::SmallDvFile(dir, kFrames));
  IGraphBuilder* graph = chain.graph.Get();
  ComPtr<IBaseFilter> tee = test::CreateFilter(CLSID_SmartTee),
                      renderer = test::CreateFilter(CLSID_VideoRenderer);
  test::AddFilters(graph, {{tee.Get(), L"Smart Tee"}, {renderer.Get(), L"Video Renderer"}});
  ASSERT_EQ(graph->Connect(chain.decoder->OutputPin(), test::PinAt(tee.Get(), 0).Get()), S_OK);
  EXPECT_EQ(ConnectionSubtype(chain.decoder->OutputPin()), MEDIASUBTYPE_IYUV);
  const ComPtr<IPin> rendererIn = test::PinAt(renderer.Get(), 0);
  ASSERT_EQ(graph->Connect(test::PinAt(tee.Get(), 2).Get(), rendererIn.Get()), S_OK);
  PIN_INFO info{};
  test::Peer(rendererIn.Get())->QueryPinInfo(&info);
  ComPtr<IBaseFilter> converter;
  converter.Attach(info.pFilter);
  CLSID clsid{};
  converter->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_Colour);
  EXPECT_EQ(ConnectionSubtype(test::PinAt(converter.Get(), 0).Get()), MEDIASUBTYPE_IYUV);
  EXPECT_EQ(ConnectionSubtype(rendererIn.Get()), MEDIASUBTYPE_RGB32);
  ASSERT_TRUE(test::RunToCompletion(graph, 20'000));
  EXPECT_EQ(chain.splitter->CopiedFrames(), 0);
  EXPECT_EQ(chain.decoder->Copies() + chain.decoder->Conversions(), 0);
  auto* window = static_cast<CVideoRenderer*>(renderer.Get())->WindowForTesting();
  ASSERT_TRUE(window);
  const long dropped = static_cast<CSmartTee*>(tee.Get())->PreviewPin()->DroppedCount();
  EXPECT_EQ(window->FramesPresented() + dropped, kFrames);
  EXPECT_GT(window->FramesPresented(), 0);
}

}  // namespace
}  // namespace vidorra::filters
