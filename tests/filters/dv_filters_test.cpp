// The DV filters in graphs: DV File Source -> DV Splitter -> AVI Mux / DV Video Decoder, pictures
// -> DV Video Encoder -> AVI Mux, and the chains intelligent connect builds on the codec's own
// format; every recording read back. Worn tapes: a frame whose blocks are damaged is passed on
// and counted, only a frame that cannot be read is dropped. Only the real end of a file ends
// its stream as complete; a failed read or clock wait ends it with EC_ERRORABORT.
#include <TestManualClock.h>
#include <TestPushSource.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>

#include "SoundLevelMeter.h"
#include "avi/AviMux.h"
#include "avi_test_support.h"
#include "dv/DvMediaTypes.h"
#include "dv/DvSplitter.h"
#include "dv/DvVideoDecoderFilter.h"
#include "dv/DvVideoEncoderFilter.h"
#include "sys_filter_support.h"

namespace vidorra::filters {
namespace {

using namespace test;

// DV File Source -> DV Splitter -> DV Video Decoder in a graph without clock, linked.
struct DecodingChain {
  explicit DecodingChain(const std::string& dvPath) {
    EXPECT_EQ(test::Chain(graph.Get(),
                          {test::LoadedDvSource(dvPath).Get(), splitter.Get(), decoder.Get()}),
              S_OK);
  }
  // A sink taking `subtype` connected to the decoder by intelligent connect.
  ComPtr<test::RecordingSink> AddSink(GUID subtype) {
    auto sink = MakeComObject<test::RecordingSink>(subtype);
    graph->AddFilter(sink.Get(), L"Sink");
    EXPECT_EQ(graph->Connect(decoder->OutputPin(), sink->Input()), S_OK);
    return sink;
  }
  ComPtr<IGraphBuilder> graph = test::NewGraph(false);
  ComPtr<CDvSplitter> splitter = MakeComObject<CDvSplitter>();
  ComPtr<CDvVideoDecoderFilter> decoder = MakeComObject<CDvVideoDecoderFilter>();
};

// A clock that tells the time but cannot set an alarm.
struct ClockWithoutAlarms : test::TestManualClock {
  STDMETHODIMP AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override {
    return E_OUTOFMEMORY;
  }
};

// What is not DV, or not there, does not load. Only the real end of the file completes the
// stream: a file cut short after it was loaded, a read the system refuses and a clock that
// cannot wait end it with EC_ERRORABORT and their reason, what was read before kept and
// recorded through the mux.
TEST(DvFileSourceFilter, OnlyTheRealEndOfTheFileCompletesTheStreamAndMakesAType1Recording) {
  TempDir dir;
  std::ofstream(dir.File("not.dv")) << "hello, this is not a DV file at all";
  ComPtr<IFileSourceFilter> file =
      QueryAs<IFileSourceFilter>(test::CreateFilter(CLSID_DvFileSource).Get());
  EXPECT_EQ(file->Load(Utf8ToWide(dir.File("not.dv")).c_str(), nullptr), VFW_E_INVALID_FILE_FORMAT);
  EXPECT_EQ(file->Load(Utf8ToWide(dir.File("missing.dv")).c_str(), nullptr),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  LPOLESTR name = nullptr;
  EXPECT_EQ(file->GetCurFile(&name, nullptr), E_FAIL);

  const auto cutShort = [](const std::string& path, IGraphBuilder*) {
    ASSERT_EQ(::truncate(path.c_str(), dv::kFrameBytesPal * 3 + 1000), 0);
  };
  const auto readsAFolder = [](const std::string& path, IGraphBuilder*) {
    int fd = -1;  // the descriptor the source has open on path
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
      if (fd < 0 && std::filesystem::read_symlink(entry.path(), error) == path)
        fd = std::stoi(entry.path().filename());
    const int folder = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::dup2(folder, fd), fd);
    ::close(folder);
  };
  const auto noAlarms = [](const std::string&, IGraphBuilder* graph) {
    auto clock = MakeComObject<ClockWithoutAlarms>();
    ASSERT_EQ(QueryAs<IMediaFilter>(graph)->SetSyncSource(clock.Get()), S_OK);
  };
  constexpr uint32_t kFrames = 30;
  const struct {
    dv::DvSystem system;
    std::function<void(const std::string& path, IGraphBuilder* graph)> harm;
    HRESULT hr;  // S_OK: EC_COMPLETE, else EC_ERRORABORT's
    uint64_t framesRecorded;
  } cases[] = {{dv::DvSystem::k625_50, {}, S_OK, kFrames},
               {dv::DvSystem::k525_60, {}, S_OK, kFrames},
               {dv::DvSystem::k625_50, cutShort, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), 3},
               {dv::DvSystem::k625_50, readsAFolder, HRESULT_FROM_WIN32(ERROR_READ_FAULT), 0},
               {dv::DvSystem::k625_50, noAlarms, E_OUTOFMEMORY, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.hr << " " << static_cast<int>(c.system));
    DvFrameMaker maker(c.system);
    const std::string dvPath = dir.File("in" + std::to_string(c.hr) + ".dv");
    WriteDvFile(dvPath, maker, kFrames);
    RecordingGraph g;
    ASSERT_EQ(g.Build({test::LoadedDvSource(dvPath).Get()}, /*clocked=*/false), S_OK);
    const std::string aviPath = dir.File("out" + std::to_string(&c - cases) + ".avi");
    ASSERT_EQ(g.SetFile(aviPath), S_OK);
    if (c.harm) c.harm(dvPath, g.graph.Get());
    ASSERT_EQ(g.Run(), S_OK);
    const auto end = test::NextGraphEvent(g.graph.Get(), {EC_COMPLETE, EC_ERRORABORT});
    ASSERT_TRUE(end);
    EXPECT_EQ(std::pair(end->code, static_cast<HRESULT>(end->param1)),
              (std::pair<long, HRESULT>(c.hr == S_OK ? EC_COMPLETE : EC_ERRORABORT, c.hr)));
    const auto* mux = dynamic_cast<CAviMux*>(g.mux.Get());
    ASSERT_TRUE(test::WaitUntil([&] { return mux->ChunksWritten(0) >= c.framesRecorded; }));
    g.Stop();
    EXPECT_EQ(mux->ChunksWritten(0), c.framesRecorded);
    if (c.hr != S_OK) continue;
    EXPECT_EQ(test::ReadBack(aviPath).totalFrames, kFrames);
    test::ExpectProbed(aviPath, {"dvvideo", "pcm_s16le"}, kFrames);
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
  ComPtr<IBaseFilter> grabber = test::CreateFilter(CLSID_SampleGrabber);
  ASSERT_EQ(test::Chain(graph.Get(), {test::LoadedDvSource(test::SmallDvFile(dir, kFrames)).Get(),
                                      grabber.Get(), test::CreateFilter(CLSID_NullRenderer).Get()}),
            S_OK);
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
// format the decoder offers: every frame and its sound. Worn tapes too (bytes flipped
// everywhere but in the header block, and the header of some frames destroyed): every frame that
// can be read is kept with its sound; the splitter counts the damage and drops only the unreadable
// frames.
TEST(DvSplitterFilter, Type2RecordingKeepsEveryReadableFrameAndItsSound) {
  DvFrameMaker maker;
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
    WriteDvFile(dvPath, maker, kFrames, [&](int i, std::vector<uint8_t>& frame) {
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
    RecordingGraph g;
    ASSERT_EQ(g.Build({test::LoadedDvSource(dvPath).Get(), splitter.Get()}, false, 2), S_OK);
    ASSERT_TRUE(g.Record(aviPath));
    EXPECT_EQ(
        std::tuple(splitter->BadFrames(), splitter->DamagedFrames(), splitter->SoundDropped()),
        std::tuple(static_cast<long>(headerless.size()), damagedFrames, 0L));
    EXPECT_GE(splitter->DamagedBlocks(), damagedFrames);
    const avi::AviFileInfo info = test::ReadBack(aviPath);
    ASSERT_EQ(info.streams.size(), 2u);
    EXPECT_EQ(info.streams[1].length, static_cast<uint32_t>(readable * 1920));
    test::ExpectProbed(aviPath, {"dvvideo", "pcm_s16le"}, readable);
    EXPECT_EQ(test::RecordedSound(aviPath).size(), static_cast<size_t>(readable) * 1920 * 4);

    DecodingChain chain(dvPath);
    auto sink = chain.AddSink(decodedTo);
    ASSERT_TRUE(test::RunToCompletion(chain.graph.Get(), 20'000));
    EXPECT_EQ(std::pair(chain.decoder->BadFrames(), sink->Count()), std::pair(0L, int(readable)));
  }
}

// IIPDVDec: the picture at each resolution for both systems, decoded at that size into the
// output (no conversion), whether set before the output connects or changed while it is
// connected (the output reconnected at the new size, in the format in use); refused while the
// graph runs and for a value that is none. The frame numbers the pattern draws in its top rows
// still read at half size. Below full size a whole frame is there for still images, as
// decoded and deinterlaced, until a run at full size.
TEST(DvVideoDecoderFilter, DecodesAtTheResolutionSetAndReconnectsForAChange) {
  const auto pal = dv::DvSystem::k625_50, ntsc = dv::DvSystem::k525_60;
  const struct {
    dv::DvSystem system;
    int resolution;
    LONG width, height;
    bool numbersRead;
  } rows[] = {
      {pal, DVRESOLUTION_FULL, 720, 576, true},      {pal, DVRESOLUTION_HALF, 360, 288, true},
      {pal, DVRESOLUTION_QUARTER, 180, 144, false},  {pal, DVRESOLUTION_DC, 88, 72, false},
      {ntsc, DVRESOLUTION_FULL, 720, 480, true},     {ntsc, DVRESOLUTION_HALF, 360, 240, true},
      {ntsc, DVRESOLUTION_QUARTER, 180, 120, false}, {ntsc, DVRESOLUTION_DC, 88, 60, false}};
  constexpr int kFrames = 6;
  for (const auto& [system, resolution, width, height, numbersRead] : rows) {
    for (const bool whileConnected : {false, true}) {
      SCOPED_TRACE(testing::Message() << "system " << static_cast<int>(system) << ", resolution "
                                      << resolution << (whileConnected ? ", changed" : ", set"));
      TempDir dir;
      DvFrameMaker maker(system);
      WriteDvFile(dir.File("tape.dv"), maker, kFrames);
      DecodingChain chain(dir.File("tape.dv"));
      ComPtr<IIPDVDec> settings = QueryAs<IIPDVDec>(static_cast<IBaseFilter*>(chain.decoder.Get()));
      ASSERT_TRUE(settings);
      auto sink = MakeComObject<test::RecordingSink>(test::RecordingSinkOptions{.keepBytes = true});
      chain.graph->AddFilter(sink.Get(), L"Sink");
      const auto set = [&] { EXPECT_EQ(settings->put_IPDisplay(resolution), S_OK); };
      if (!whileConnected) set();
      ASSERT_EQ(chain.graph->Connect(chain.decoder->OutputPin(), sink->Input()), S_OK);
      if (whileConnected) set();
      int shown = 0;
      EXPECT_EQ((std::tuple<HRESULT, HRESULT, int>{settings->put_IPDisplay(999),
                                                   settings->get_IPDisplay(&shown), shown}),
                std::tuple(E_INVALIDARG, S_OK, resolution));
      AM_MEDIA_TYPE mt{};
      ASSERT_EQ(chain.decoder->OutputPin()->ConnectionMediaType(&mt), S_OK);
      EXPECT_EQ(FrameLayout::FromMediaType(mt),
                (FrameLayout{system == pal ? PixelFormat::kI420 : PixelFormat::kY41b, width, height,
                             false}));
      FreeMediaType(mt);

      ASSERT_TRUE(SUCCEEDED(test::RunGraph(chain.graph.Get())));  // S_FALSE: cueing
      EXPECT_EQ(settings->put_IPDisplay(DVRESOLUTION_FULL == resolution ? DVRESOLUTION_HALF
                                                                        : DVRESOLUTION_FULL),
                VFW_E_NOT_STOPPED);
      ASSERT_TRUE(test::WaitUntil([&] { return sink->Count() == kFrames; }));
      ASSERT_EQ(test::StopGraph(chain.graph.Get()), S_OK);
      EXPECT_EQ(chain.decoder->Conversions(), resolution == DVRESOLUTION_DC ? kFrames : 0);
      ComPtr<IDvFullFrame> still =
          QueryAs<IDvFullFrame>(static_cast<IBaseFilter*>(chain.decoder.Get()));
      LONG size = 0, stillWidth = 0, stillHeight = 0;
      const HRESULT there = still->GetFullFrame(FALSE, nullptr, &size, &stillWidth, &stillHeight);
      ASSERT_EQ(there, resolution == DVRESOLUTION_FULL ? S_FALSE : S_OK);
      std::vector<uint8_t> pictures[2];
      for (const BOOL deinterlaced : {FALSE, TRUE}) {
        if (there != S_OK || whileConnected) break;
        EXPECT_EQ(std::pair(stillWidth, stillHeight),
                  (std::pair<LONG, LONG>(720, system == pal ? 576 : 480)));
        std::vector<uint8_t>& rgb = pictures[deinterlaced];
        rgb.resize(static_cast<size_t>(size));
        ASSERT_EQ(still->GetFullFrame(deinterlaced, rgb.data(), &size, &stillWidth, &stillHeight),
                  S_OK);
      }
      EXPECT_TRUE(there != S_OK || whileConnected || pictures[0] != pictures[1])
          << "one field's lines made anew";
      const std::vector<test::RecordingSink::Sample> samples = sink->Samples();
      for (int k = 0; k < kFrames; ++k) {
        const std::vector<uint8_t>& luma = samples[static_cast<size_t>(k)].bytes;
        ASSERT_GE(luma.size(), static_cast<size_t>(width * height));
        if (!numbersRead) continue;
        // The pattern's rows of blocks, as tall at this size as the picture is.
        const int scale = 720 / width;
        EXPECT_EQ(
            devices::sim::ReadFrameNumber(
                [&](int x, int y) { return luma[static_cast<size_t>(y / scale * width + x)]; },
                width),
            std::optional<uint32_t>(k % 4))
            << "frame " << k;
      }
      if (!whileConnected || there != S_OK) continue;  // a run at full size forgets the frame
      ASSERT_EQ(settings->put_IPDisplay(DVRESOLUTION_FULL), S_OK);
      ASSERT_TRUE(SUCCEEDED(test::RunGraph(chain.graph.Get())));
      ASSERT_EQ(test::StopGraph(chain.graph.Get()), S_OK);
      EXPECT_EQ(still->GetFullFrame(FALSE, nullptr, &size, &stillWidth, &stillHeight), S_FALSE);
    }
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
  ASSERT_EQ(test::Chain(chain.graph.Get(), {chain.splitter.Get(), sound.Get()}), S_OK);
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
  ASSERT_EQ(test::Chain(graph.Get(), {source.Get(), splitter.Get(), sink.Get()}), S_OK);
  ASSERT_TRUE(test::RunToCompletion(graph.Get(), 20'000));
  EXPECT_EQ(std::pair(splitter->CopiedFrames(), splitter->BadFrames()), std::pair(1L, 1L));
  IMemAllocator* input = static_cast<CBaseInputPin*>(splitter->GetPin(0))->Allocator();
  const auto samples = sink->Samples();
  ASSERT_EQ(samples.size(), static_cast<size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) EXPECT_EQ(samples[i].allocator == input, i > 0) << i;
  IPin* in = splitter->GetPin(0);  // the end of a flush at its input ends it at the renderer
  ASSERT_TRUE(in->BeginFlush() == S_OK && in->EndFlush() == S_OK);
  auto* rendered = static_cast<CBaseInputPin*>(sink->GetPin(0));
  EXPECT_TRUE(rendered->IsReadOnly() && !rendered->IsFlushing());
}

// The levels a sound filter keeps for a meter, read and cleared by another thread: peak and RMS
// per channel, samples at full scale, and the digital silence that ends the sound so far, across
// buffers and not cleared by a reading.
TEST(SoundLevelMeter, PeakRmsFullScaleAndTheSilenceThatEndsTheSound) {
  SoundLevelMeter meter;
  SOUND_LEVELS levels{};
  EXPECT_EQ(meter.Take(&levels), S_FALSE) << "nothing passed";
  const auto stereo = [](std::initializer_list<int16_t> left, int16_t right) {
    std::vector<int16_t> samples;
    for (const int16_t sample : left) samples.insert(samples.end(), {sample, right});
    return samples;
  };
  // Per buffer: "samples channels rate: peak left/right, sum of squares left, clipped, silent".
  const std::pair<std::vector<int16_t>, std::string> kRows[] = {
      {stereo({100, -300, 0}, 5), "3 2 48000: 300/5 100000 0 0"},
      {stereo({0, 0}, 0), "2 2 48000: 0/0 0 0 2"},     // silence begins
      {stereo({0, 0, 0}, 0), "3 2 48000: 0/0 0 0 5"},  // and goes on across buffers
      {stereo({-32768, 32767, 0}, 0), "3 2 48000: 32768/0 2147418113 2 1"},
  };
  for (const auto& [samples, seen] : kRows) {
    meter.Measure(samples, 2, 48000);
    ASSERT_EQ(meter.Take(&levels), S_OK);
    EXPECT_EQ((std::ostringstream()
               << levels.samples << ' ' << levels.channels << ' ' << levels.sampleRate << ": "
               << levels.peak[0] << '/' << levels.peak[1] << ' ' << levels.sumOfSquares[0] << ' '
               << levels.clipped << ' ' << levels.silentSamples)
                  .str(),
              seen);
  }
  EXPECT_EQ(meter.Take(&levels), S_FALSE);
  EXPECT_EQ(levels.silentSamples, 1U) << "kept until sound comes";
  meter.Reset();
  meter.Take(&levels);
  EXPECT_EQ(levels.silentSamples, 0U);
}

// Pictures of another size and rate -> DV Video Encoder -> AVI: scaled to the chosen system's
// size (PAL by default), the input's frame rate kept; what is not a system is refused. DV file ->
// splitter -> decoder -> encoder -> AVI: the decoder and the encoder meet on the codec's own
// format; nothing is copied or converted; every frame is recorded and decodes.
TEST(DvVideoEncoderFilterTest, ScalesToTheChosenSystemKeepsTheRateAndRecompressesWithoutCopies) {
  ComPtr<IDVEnc> defaults = QueryAs<IDVEnc>(test::CreateFilter(CLSID_DVVideoEnc).Get());
  int video = 0, format = 0, resolution = 0;
  ASSERT_EQ(defaults->get_IFormatResolution(&video, &format, &resolution, FALSE, nullptr), S_OK);
  EXPECT_EQ(
      std::tuple(video, format, resolution),
      std::tuple(DVENCODERVIDEOFORMAT_PAL, DVENCODERFORMAT_DVSD, DVENCODERRESOLUTION_720x480));
  for (auto [v, r] : {std::pair{1234, DVENCODERRESOLUTION_720x480},
                      {DVENCODERVIDEOFORMAT_PAL, DVENCODERRESOLUTION_360x240}}) {
    EXPECT_EQ(defaults->put_IFormatResolution(v, DVENCODERFORMAT_DVSD, r, FALSE, nullptr),
              E_INVALIDARG);
  }
  constexpr int kFrames = 12;
  const struct {
    int videoFormat;
    bool recompress;
    uint32_t scale, rate, height;
  } rows[] = {{DVENCODERVIDEOFORMAT_PAL, false, 1001, 30000, 576},
              {DVENCODERVIDEOFORMAT_NTSC, false, 1001, 30000, 480},
              {DVENCODERVIDEOFORMAT_PAL, true, 1, 25, 576}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.height << (row.recompress ? " recompressed" : ""));
    TempDir dir;
    auto source = MakeComObject<test::TestPushSource>(test::TestPushSourceConfig{
        .mediaType = dv::PictureType(dv::PictureFormat::kYuy2, 320, 240, 333667),
        .frameCount = kFrames,
        .frameDuration = 333667});
    auto splitter = MakeComObject<CDvSplitter>();
    auto decoder = MakeComObject<CDvVideoDecoderFilter>();
    auto encoder = MakeComObject<CDvVideoEncoderFilter>();
    ASSERT_EQ(encoder->put_IFormatResolution(row.videoFormat, DVENCODERFORMAT_DVSD,
                                             DVENCODERRESOLUTION_720x480, FALSE, nullptr),
              S_OK);
    ComPtr<IBaseFilter> file = test::LoadedDvSource(test::SmallDvFile(dir, kFrames));
    RecordingGraph g;
    ASSERT_EQ(row.recompress
                  ? g.Build({file.Get(), splitter.Get(), decoder.Get(), encoder.Get()}, false)
                  : g.Build({source.Get(), encoder.Get()}, false),
              S_OK);
    ASSERT_TRUE(g.Record(dir.File("encoded.avi")));
    const avi::AviFileInfo info = test::ReadBack(dir.File("encoded.avi"));
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(std::tuple(info.streams[0].length, info.streams[0].scale, info.streams[0].rate,
                         info.height),
              std::tuple(uint32_t{kFrames}, row.scale, row.rate, row.height));
    test::ExpectProbed(dir.File("encoded.avi"), {"dvvideo"}, kFrames);
    if (!row.recompress) continue;
    EXPECT_EQ(*encoder->InputPin()->CurrentMediaType().Subtype(), MEDIASUBTYPE_IYUV);
    EXPECT_EQ(std::tuple(splitter->CopiedFrames(), decoder->Copies() + decoder->Conversions(),
                         encoder->Copies() + encoder->Conversions()),
              std::tuple(0L, 0L, 0L));
  }
}

}  // namespace
}  // namespace vidorra::filters
