// The DV filters in graphs: DV File Source -> DV Splitter -> AVI Mux / DV Video Decoder, colour
// bars -> DV Video Encoder -> AVI Mux. Damaged frames: dv_damage_test; the codec: dv_codec_test.
#include <TestCountingSink.h>
#include <TestManualClock.h>
#include <TestPushSource.h>
#include <gtest/gtest.h>
#include <qedit.h>
#include <vidorra_filters.h>

#include <cstring>
#include <fstream>
#include <mutex>

#include "avi/AviLayout.h"
#include "avi/AviReader.h"
#include "dv/DvFileSource.h"
#include "dv/DvFrame.h"
#include "dv/DvMediaTypes.h"
#include "dv_test_support.h"

namespace vidorra::filters {
namespace {

using test::DvFrameMaker;
using test::LoadedSource;
using test::NewSysGraph;
using test::NewSystemFilter;
using test::TempDir;
using test::UnclockedGraph;
using test::WriteDvFile;

TEST(DvFileSourceFilter, LoadRefusesWhatIsNotDv) {
  TempDir dir;
  const std::string path = dir.File("not.dv");
  std::ofstream(path) << "hello, this is not a DV file at all";
  ComPtr<IBaseFilter> source = NewSystemFilter(CLSID_DvFileSource);
  ComPtr<IFileSourceFilter> file = QueryAs<IFileSourceFilter>(source.Get());
  EXPECT_EQ(file->Load(Utf8ToWide(path).c_str(), nullptr), VFW_E_INVALID_FILE_FORMAT);
  EXPECT_EQ(file->Load(Utf8ToWide(dir.File("missing.dv")).c_str(), nullptr),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  LPOLESTR name = nullptr;
  EXPECT_EQ(file->GetCurFile(&name, nullptr), E_FAIL);
}

// DV file -> splitter -> AVI Mux (type 2) -> File writer: every frame and every sample.
TEST(DvSplitterFilter, Type2RecordingKeepsPictureAndSound) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string dvPath = dir.File("in.dv"), aviPath = dir.File("type2.avi");
  constexpr int kFrames = 30;
  const auto pcm = WriteDvFile(dvPath, maker, kFrames);
  ASSERT_TRUE(test::Type2RecordingChain(dvPath, aviPath).Record());

  const avi::AviFileInfo info = test::ReadBack(aviPath);
  ASSERT_EQ(info.streams.size(), 2u);
  EXPECT_EQ(info.streams[0].length, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(info.streams[1].length, static_cast<uint32_t>(kFrames * 1920));
  for (bool odml : {true, false}) test::ExpectProbed(aviPath, {"dvvideo", "pcm_s16le"}, kFrames, odml);
  const std::string raw = test::RunCommand("ffmpeg -v error -i " + test::Quote(aviPath) +
                                           " -map 0:a:0 -f s16le -acodec pcm_s16le -");
  ASSERT_EQ(raw.size(), pcm.size() * 2);
  EXPECT_EQ(std::memcmp(raw.data(), pcm.data(), raw.size()), 0);
}

// The sound leaves from a queue of its own: a sound receiver that stops taking samples (a
// renderer waiting for its server) holds up neither the picture nor the source.
TEST(DvSplitterFilter, AStuckSoundReceiverDoesNotHoldUpThePicture) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string path = dir.File("in.dv");
  constexpr int kFrames = 12;
  WriteDvFile(path, maker, kFrames);
  ComPtr<IGraphBuilder> graph = UnclockedGraph();
  ComPtr<IBaseFilter> source = LoadedSource(path);
  ComPtr<IBaseFilter> splitter = NewSystemFilter(CLSID_DVSplitter);
  auto video = MakeComObject<test::TestCountingSink>();
  auto sound = MakeComObject<test::GatedSink>(MEDIATYPE_Audio);
  test::AddFilters(graph.Get(), {{source.Get(), L"Source"},
                                 {splitter.Get(), L"DV Splitter"},
                                 {video.Get(), L"Video"},
                                 {sound.Get(), L"Sound"}});
  ASSERT_EQ(test::Link(graph.Get(), source.Get(), 0, splitter.Get(), 0), S_OK);
  ASSERT_EQ(test::Link(graph.Get(), splitter.Get(), 1, video.Get(), 0), S_OK);
  ASSERT_EQ(test::Link(graph.Get(), splitter.Get(), 2, sound.Get(), 0), S_OK);
  sound->Close();
  ASSERT_TRUE(SUCCEEDED(test::RunGraph(graph.Get())));
  EXPECT_TRUE(test::WaitUntil([&] { return video->Count() == kFrames; }))
      << "the picture got " << video->Count() << " of " << kFrames << " frames";
  EXPECT_LE(sound->Count(), 1u) << "the stuck receiver holds the one sample it took";
  sound->Open();
  EXPECT_TRUE(test::WaitUntil([&] { return sound->Count() == kFrames; }))
      << "the queued sound follows once the receiver takes it: " << sound->Count();
  EXPECT_TRUE(test::WaitForGraphEvent(graph.Get(), EC_COMPLETE));
  ASSERT_EQ(test::StopGraph(graph.Get()), S_OK);
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
    ComPtr<IBaseFilter> source = LoadedSource(dvPath);
    test::RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get()}, /*clocked=*/false), S_OK);
    ASSERT_EQ(g.SetFile(aviPath), S_OK);
    ASSERT_TRUE(test::RunToCompletion(g.graph.Get(), 20'000));
    const avi::AviFileInfo info = test::ReadBack(aviPath);
    ASSERT_EQ(info.streams.size(), 1u);
    const auto& s = info.streams[0];
    EXPECT_EQ(s.type, avi::kFccIavs);
    EXPECT_EQ(s.handler, avi::kFccDvsd);
    EXPECT_EQ(s.scale, c.scale);
    EXPECT_EQ(s.rate, c.rate);
    EXPECT_EQ(s.length, static_cast<uint32_t>(kFrames));
    EXPECT_EQ(info.grandFrames, static_cast<uint32_t>(kFrames));
    EXPECT_EQ(info.totalFrames, static_cast<uint32_t>(kFrames));
    EXPECT_EQ(info.microSecPerFrame, c.microSecPerFrame);
    EXPECT_EQ(info.width, 720u);
    EXPECT_EQ(info.height, c.height);
    EXPECT_TRUE(info.flags & avi::avih::kFlagHasIndex);
    EXPECT_EQ(info.idx1Chunks.size(), static_cast<size_t>(kFrames));
    ASSERT_EQ(s.format.size(), avi::dvinfo::kBytes);
    const DVINFO expected = dv::DvInfoFromFrame(maker.Frame(0), c.system);
    EXPECT_EQ(avi::GetU32(&s.format[avi::dvinfo::kAAuxSrc]), expected.dwDVAAuxSrc);
    EXPECT_EQ(avi::GetU32(&s.format[avi::dvinfo::kVAuxSrc]), expected.dwDVVAuxSrc);
    EXPECT_NE(expected.dwDVAAuxSrc, 0xFFFFFFFFu);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(avi::AviReader::ReadChunk(aviPath, s.odmlChunks.at(7), bytes));
    EXPECT_EQ(bytes, maker.Frame(7));
    for (bool odml : {true, false}) {
      test::ExpectProbed(aviPath, {"dvvideo", "pcm_s16le"}, kFrames, odml);
      EXPECT_EQ(test::DecodedAudioSamples(aviPath, 2, odml), c.samples);
    }
  }
}

// On a clock the source hands out each frame no sooner than its stream time. The clock here
// moves only when the test moves it: frame k may leave once the clock reaches its time, and the
// next one must wait for the next step. A pause stops stream time: after it the source goes on
// from the frame where it stood.
TEST(DvFileSourceFilter, FramesLeaveAtTheirStreamTimeOnTheGraphClock) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string path = dir.File("paced.dv");
  constexpr int kFrames = 6;
  constexpr REFERENCE_TIME kFrameTime = 400'000;  // 25 frames per second
  constexpr REFERENCE_TIME kRunStart = 5'000'000;
  WriteDvFile(path, maker, kFrames);
  ComPtr<IGraphBuilder> graph = NewSysGraph();
  ComPtr<test::TestManualClock> clock = MakeComObject<test::TestManualClock>();
  ASSERT_EQ(QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(clock.Get()), S_OK);
  ComPtr<IBaseFilter> source = LoadedSource(path);
  ComPtr<IBaseFilter> grabber = NewSystemFilter(CLSID_SampleGrabber);
  ComPtr<IBaseFilter> renderer = NewSystemFilter(CLSID_NullRenderer);
  test::AddFilters(graph.Get(),
                   {{source.Get(), L"Source"}, {grabber.Get(), L"Grabber"}, {renderer.Get(), L"Null"}});
  ASSERT_EQ(test::Link(graph.Get(), source.Get(), 0, grabber.Get(), 0), S_OK);
  ASSERT_EQ(test::Link(graph.Get(), grabber.Get(), 1, renderer.Get(), 0), S_OK);
  // For every sample passing the grabber: its start time and the stream time when it passed.
  struct Passage {
    REFERENCE_TIME start, streamTimeWhenPassed;
  };
  std::mutex mutex;
  std::vector<Passage> passed;
  auto callback = MakeComObject<test::GrabberCallback>([&](double, IMediaSample* sample, const BYTE*, long) {
    REFERENCE_TIME start = -1, stop = -1;
    sample->GetTime(&start, &stop);
    std::lock_guard lock(mutex);
    passed.push_back({start, clock->Now() - kRunStart});
  });
  QueryAs<ISampleGrabber>(grabber.Get())->SetCallback(callback.Get(), 0);
  auto passedCount = [&] {
    std::lock_guard lock(mutex);
    return passed.size();
  };

  ComPtr<IMediaFilter> control = QueryAs<IMediaFilter>(graph.Get());
  ASSERT_TRUE(SUCCEEDED(control->Run(kRunStart)));  // S_FALSE while the graph still cues
  for (int k = 0; k < 3; ++k) {
    clock->AdvanceTo(kRunStart + k * kFrameTime);
    ASSERT_TRUE(test::WaitUntil([&] { return passedCount() == static_cast<size_t>(k + 1); }))
        << "frame " << k << ", " << passedCount() << " passed";
  }
  // Paused at stream time 2 frames + 1/4: resumed 10 frames of clock later, frame 3 is due
  // 3/4 of a frame after the resumption, not at once.
  clock->AdvanceTo(kRunStart + 2 * kFrameTime + kFrameTime / 4);
  ASSERT_TRUE(SUCCEEDED(control->Pause()));
  clock->AdvanceTo(kRunStart + 12 * kFrameTime + kFrameTime / 4);
  ASSERT_TRUE(SUCCEEDED(QueryAs<IMediaControl>(graph.Get())->Run()));
  // Running for real (not still cueing) before the clock moves on.
  FILTER_STATE graphState = State_Stopped;
  ASSERT_TRUE(test::WaitUntil([&] { return control->GetState(0, &graphState) == S_OK; }));
  const REFERENCE_TIME resumedStart = kRunStart + 10 * kFrameTime;
  for (int k = 3; k < kFrames; ++k) {
    clock->AdvanceTo(resumedStart + k * kFrameTime);
    ASSERT_TRUE(test::WaitUntil([&] { return passedCount() == static_cast<size_t>(k + 1); }))
        << "frame " << k << ", " << passedCount() << " passed";
  }
  EXPECT_TRUE(test::WaitForGraphEvent(graph.Get(), EC_COMPLETE));
  ASSERT_EQ(test::StopGraph(graph.Get()), S_OK);

  ASSERT_EQ(passed.size(), static_cast<size_t>(kFrames));
  for (int k = 0; k < kFrames; ++k) {
    EXPECT_EQ(passed[k].start, k * kFrameTime);
    const REFERENCE_TIME paused = k < 3 ? 0 : 10 * kFrameTime;
    EXPECT_GE(passed[k].streamTimeWhenPassed - paused, passed[k].start) << "frame " << k;
  }
}

// The sink takes only the one subtype: intelligent connect must find it among the offered ones.
TEST(DvVideoDecoderFilterTest, DecodesToEachOfferedFormat) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string path = dir.File("in.dv");
  constexpr int kFrames = 10;
  WriteDvFile(path, maker, kFrames);
  for (const GUID& subtype :
       {MEDIASUBTYPE_IYUV, MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32}) {
    test::DecodingChain chain(path);
    ComPtr<IGraphBuilder> graph = chain.graph;
    auto sink = MakeComObject<test::TestCountingSink>(subtype);
    graph->AddFilter(sink.Get(), L"Sink");
    ASSERT_EQ(graph->Connect(chain.decoder->OutputPin(), sink->InputPinInterface()), S_OK);
    ASSERT_TRUE(test::RunToCompletion(graph.Get(), 20'000));
    EXPECT_EQ(sink->Count(), kFrames);
  }
}

// The system chosen is checked end to end below; here the default and what is refused.
TEST(DvVideoEncoderFilterTest, FormatResolutionDefaultAndRefusals) {
  ComPtr<IDVEnc> dvenc = QueryAs<IDVEnc>(NewSystemFilter(CLSID_DVVideoEnc).Get());
  ASSERT_TRUE(dvenc);
  int video = 0, format = 0, resolution = 0;
  ASSERT_EQ(dvenc->get_IFormatResolution(&video, &format, &resolution, FALSE, nullptr), S_OK);
  EXPECT_EQ(video, DVENCODERVIDEOFORMAT_PAL);
  EXPECT_EQ(format, DVENCODERFORMAT_DVSD);
  EXPECT_EQ(resolution, DVENCODERRESOLUTION_720x480);
  for (auto [v, r] : {std::pair{1234, DVENCODERRESOLUTION_720x480},
                      {DVENCODERVIDEOFORMAT_PAL, DVENCODERRESOLUTION_360x240}}) {
    EXPECT_EQ(dvenc->put_IFormatResolution(v, DVENCODERFORMAT_DVSD, r, FALSE, nullptr),
              E_INVALIDARG);
  }
}

// Colour bars of another size and rate -> DV Video Encoder -> AVI: scaled to the system's
// size, the input's frame rate kept.
TEST(DvVideoEncoderFilterTest, ScalesAndKeepsTheFrameRate) {
  for (int videoFormat : {DVENCODERVIDEOFORMAT_PAL, DVENCODERVIDEOFORMAT_NTSC}) {
    TempDir dir;
    const std::string path = dir.File("encoded.avi");
    constexpr int kFrames = 12;
    test::TestPushSourceConfig config;
    config.mediaType = dv::PictureType(dv::PictureFormat::kYuy2, 320, 240, 333667);
    config.frameCount = kFrames;
    config.frameDuration = 333667;
    auto source = MakeComObject<test::TestPushSource>(config);
    ComPtr<IBaseFilter> encoder = NewSystemFilter(CLSID_DVVideoEnc);
    ASSERT_EQ(QueryAs<IDVEnc>(encoder.Get())
                  ->put_IFormatResolution(videoFormat, DVENCODERFORMAT_DVSD,
                                          DVENCODERRESOLUTION_720x480, FALSE, nullptr),
              S_OK);
    test::RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get(), encoder.Get()}, /*clocked=*/false), S_OK);
    ASSERT_EQ(g.SetFile(path), S_OK);
    ASSERT_TRUE(test::RunToCompletion(g.graph.Get(), 20'000));

    const avi::AviFileInfo info = test::ReadBack(path);
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].length, static_cast<uint32_t>(kFrames));
    EXPECT_EQ(info.streams[0].scale, 1001u);
    EXPECT_EQ(info.streams[0].rate, 30000u);
    EXPECT_EQ(info.height, videoFormat == DVENCODERVIDEOFORMAT_PAL ? 576u : 480u);
    test::ExpectProbed(path, {"dvvideo"}, kFrames);
  }
}

}  // namespace
}  // namespace vidorra::filters
