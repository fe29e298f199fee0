// AVI Mux and File writer as filters: their faces, recordings of pushed streams read back by our
// reader and ffprobe, and the failures a recording meets (an existing file, a format change, a
// full disk).
#include <TestManualClock.h>
#include <TestPushSource.h>
#include <child_process.h>
#include <gtest/gtest.h>
#include <mmreg.h>
#include <oleauto.h>
#include <signal.h>
#include <sys/resource.h>
#include <vidorra_pages.h>

#include <fstream>

#include "avi/AviLayout.h"
#include "avi/AviMux.h"
#include "avi/AviReader.h"
#include "avi/FileWriter.h"
#include "dv/DvFrame.h"
#include "dv_test_support.h"

namespace vidorra::filters {
namespace {

using test::ListedSample;
using test::ListSource;
using test::NewSysGraph;
using test::NewSystemFilter;
using test::PinAtIndex;
using test::PinName;
using test::RecordingGraph;
using test::TempDir;

constexpr int kWidth = 64, kHeight = 48;
constexpr REFERENCE_TIME kFrameTime = 400000;

// Uncompressed video of kWidth x kHeight: YUY2, or with compression BI_RGB, 24-bit RGB.
CMediaType VideoType(DWORD compression = MAKEFOURCC('Y', 'U', 'Y', '2')) {
  CMediaType mt = test::MakeTestVideoType(compression == BI_RGB ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_YUY2);
  BITMAPINFOHEADER& header = reinterpret_cast<VIDEOINFOHEADER*>(mt.Format())->bmiHeader;
  header.biCompression = compression;
  header.biBitCount = compression == BI_RGB ? 24 : 16;
  header.biSizeImage = kWidth * kHeight * header.biBitCount / 8;
  mt.SetSampleSize(header.biSizeImage);
  return mt;
}

CMediaType WaveType(WORD tag, DWORD rate, WORD channels, WORD bits,
                    const std::vector<uint8_t>& extra = {}) {
  CMediaType mt(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_PCM);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  BYTE* block = mt.AllocFormatBuffer(static_cast<ULONG>(sizeof(WAVEFORMATEX) + extra.size()));
  auto* w = reinterpret_cast<WAVEFORMATEX*>(block);
  const WORD align = static_cast<WORD>(channels * bits / 8);
  *w = {tag, channels, rate, rate * align, align, bits, static_cast<WORD>(extra.size())};
  std::copy(extra.begin(), extra.end(), block + sizeof(WAVEFORMATEX));
  return mt;
}

test::TestPushSourceConfig Frames(int count, bool paced = false) {
  test::TestPushSourceConfig config;
  config.mediaType = VideoType();
  config.frameCount = count;
  config.paceOnClock = paced;
  return config;
}

// Records the list into a new file and returns what our reader finds in it.
avi::AviFileInfo RecordList(const std::string& path, CMediaType type,
                                           std::vector<ListedSample> samples,
                                           const std::wstring& streamName = L"",
                                           long* dropped = nullptr) {
  auto source = MakeComObject<ListSource>(std::move(type), std::move(samples));
  RecordingGraph g;
  EXPECT_EQ(g.Build({source.Get()}, /*clocked=*/false), S_OK);
  if (!streamName.empty()) {
    ComPtr<IPropertyBag> bag = QueryAs<IPropertyBag>(PinAtIndex(g.mux.Get(), 1).Get());
    VARIANT name{};
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(streamName.c_str());
    EXPECT_EQ(bag->Write(L"name", &name), S_OK);
    VariantClear(&name);
  }
  EXPECT_EQ(g.SetFile(path), S_OK);
  EXPECT_TRUE(test::RunToCompletion(g.graph.Get(), 20'000));
  if (dropped) *dropped = dynamic_cast<CAviMux*>(g.mux.Get())->DroppedSamples();
  return test::ReadBack(path);
}

// ---- Faces ----------------------------------------------------------------------------------

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

TEST(AviMuxFilter, OutputOffersAnAviByteStreamWithoutFormat) {
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(PinAtIndex(mux.Get(), 0)->EnumMediaTypes(types.GetAddressOf()), S_OK);
  AM_MEDIA_TYPE* mt = nullptr;
  ASSERT_EQ(types->Next(1, &mt, nullptr), S_OK);
  EXPECT_EQ(mt->majortype, MEDIATYPE_Stream);
  EXPECT_EQ(mt->subtype, MEDIASUBTYPE_Avi);
  EXPECT_TRUE(mt->bFixedSizeSamples);
  EXPECT_EQ(mt->formattype, GUID_NULL);
  EXPECT_EQ(mt->cbFormat, 0u);
  DeleteMediaType(mt);
  EXPECT_EQ(types->Next(1, &mt, nullptr), S_FALSE);
}

// DV with a zero-filled DVINFO and IEEE float sound: recorded below.
TEST(AviMuxFilter, InputsTakeZeroFilledFormatsAndAnyWaveFormat) {
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  ComPtr<IPin> input = PinAtIndex(mux.Get(), 1);
  CMediaType zeroed(&MEDIATYPE_Video);
  zeroed.SetSubtype(&MEDIASUBTYPE_dvsd);
  zeroed.SetFormatType(&FORMAT_VideoInfo);
  zeroed.AllocFormatBuffer(sizeof(VIDEOINFOHEADER));
  const struct {
    const char* what;
    CMediaType type;
    bool taken;
  } cases[] = {
      {"video with a zero-filled VIDEOINFOHEADER", zeroed, true},
      {"PCM", WaveType(WAVE_FORMAT_PCM, 48000, 2, 16), true},
      {"MPEG layer 3 with its extra bytes", WaveType(WAVE_FORMAT_MPEGLAYER3, 44100, 2, 0, {1, 2, 3, 4}), true},
      {"analogue video", CMediaType(&MEDIATYPE_AnalogVideo), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(input->QueryAccept(&c.type) == S_OK, c.taken) << c.what;
  }
}

// Defaults, accepted values and Apply are the AVI Mux page's tests; here what the page does not
// reach: refusals, the property page listed, the input's stream name.
TEST(AviMuxFilter, ConfigurationAndPropertyInterfacesRefuseWhatTheyCannotDo) {
  ComPtr<IBaseFilter> mux = NewSystemFilter(CLSID_AviDest);
  ComPtr<IConfigAviMux> config = QueryAs<IConfigAviMux>(mux.Get());
  ComPtr<IConfigInterleaving> interleaving = QueryAs<IConfigInterleaving>(mux.Get());
  ASSERT_TRUE(config && interleaving);
  EXPECT_EQ(config->SetMasterStream(-2), E_INVALIDARG);
  EXPECT_EQ(interleaving->put_Mode(INTERLEAVE_NONE), S_OK);
  EXPECT_EQ(interleaving->put_Mode(INTERLEAVE_FULL), E_NOTIMPL);

  ComPtr<ISpecifyPropertyPages> pages = QueryAs<ISpecifyPropertyPages>(mux.Get());
  ASSERT_TRUE(pages);
  CAUUID list{};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_EQ(list.pElems[0], CLSID_AviMuxPropertyPage);
  CoTaskMemFree(list.pElems);

  ComPtr<IPropertyBag> bag = QueryAs<IPropertyBag>(PinAtIndex(mux.Get(), 1).Get());
  ASSERT_TRUE(bag);
  VARIANT value{};
  EXPECT_EQ(bag->Read(L"name", &value, nullptr), S_OK);
  EXPECT_EQ(value.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(value.bstrVal), 0u);
  VariantClear(&value);
  value.vt = VT_I4;
  EXPECT_EQ(bag->Write(L"name", &value), E_INVALIDARG);
  EXPECT_EQ(bag->Write(L"other", &value), E_INVALIDARG);
}

// Any type connects before a file is named; the type is held against the file's on Pause;
// samples of other types are written one after the other.
TEST(FileWriterFilter, TakesEveryTypeAndChecksItAgainstTheFileOnPause) {
  TempDir dir;
  const std::string path = dir.File("frames.raw");
  ComPtr<IGraphBuilder> graph = test::UnclockedGraph();
  auto source = MakeComObject<test::TestPushSource>(Frames(5));
  ComPtr<IBaseFilter> writer = NewSystemFilter(CLSID_FileWriter);
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(writer.Get(), L"File writer");
  ASSERT_EQ(graph->ConnectDirect(source->OutputPin(), PinAtIndex(writer.Get(), 0).Get(), nullptr),
            S_OK);
  ComPtr<IFileSinkFilter> sink = QueryAs<IFileSinkFilter>(writer.Get());
  LPOLESTR name = nullptr;
  EXPECT_EQ(sink->GetCurFile(&name, nullptr), E_FAIL);
  EXPECT_EQ(sink->SetFileName(nullptr, nullptr), E_POINTER);
  AM_MEDIA_TYPE avi{};
  avi.majortype = MEDIATYPE_Stream;
  avi.subtype = MEDIASUBTYPE_Avi;
  ASSERT_EQ(sink->SetFileName(Utf8ToWide(path).c_str(), &avi), S_OK);
  EXPECT_EQ(test::RunGraph(graph.Get()), VFW_E_TYPE_NOT_ACCEPTED);
  test::StopGraph(graph.Get());
  EXPECT_FALSE(std::filesystem::exists(path));
  ASSERT_EQ(sink->SetFileName(Utf8ToWide(path).c_str(), nullptr), S_OK);
  ASSERT_EQ(test::RunGraph(graph.Get()), S_OK);
  EXPECT_TRUE(test::WaitForGraphEvent(graph.Get(), EC_COMPLETE));
  test::StopGraph(graph.Get());
  EXPECT_EQ(std::filesystem::file_size(path), 5u * kWidth * kHeight * 2);
}

// On a byte stream a sample's start..stop is where its bytes land (bytes past stop are not
// written); a sample without times follows the furthest byte written.
TEST(FileWriterFilter, StreamSamplesLandAtTheirByteRanges) {
  TempDir dir;
  const std::string path = dir.File("ranges.bin");
  auto bytes = [](const char* text) { return std::vector<uint8_t>(text, text + strlen(text)); };
  std::vector<ListedSample> samples = {
      {bytes("HEAD"), std::pair{REFERENCE_TIME{8}, REFERENCE_TIME{12}}, {}},
      {bytes("abcdefgh"), std::pair{REFERENCE_TIME{0}, REFERENCE_TIME{8}}, {}},
      {bytes("xyXY"), std::pair{REFERENCE_TIME{2}, REFERENCE_TIME{4}}, {}},
      {bytes("tail"), std::nullopt, {}},
  };
  CMediaType stream(&MEDIATYPE_Stream);
  auto source = MakeComObject<ListSource>(stream, samples);
  ComPtr<IGraphBuilder> graph = NewSysGraph();
  ComPtr<IBaseFilter> writer = NewSystemFilter(CLSID_FileWriter);
  test::AddFilters(graph.Get(), {{source.Get(), L"Source"}, {writer.Get(), L"File writer"}});
  ASSERT_EQ(test::Link(graph.Get(), source.Get(), 0, writer.Get(), 0), S_OK);
  QueryAs<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToWide(path).c_str(), nullptr);
  ASSERT_TRUE(test::RunToCompletion(graph.Get(), 20'000));
  std::ifstream in(path, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "abxyefghHEADtail");
}

// ---- Recording ------------------------------------------------------------------------------

// Uncompressed YUY2 and RGB: every frame, unchanged.
TEST(AviMuxGraph, RecordsEveryPushedFrame) {
  for (DWORD compression : {DWORD{MAKEFOURCC('Y', 'U', 'Y', '2')}, DWORD{BI_RGB}}) {
    SCOPED_TRACE(compression);
    TempDir dir;
    const std::string path = dir.File("graph.avi");
    test::TestPushSourceConfig config = Frames(50);
    config.mediaType = VideoType(compression);
    auto source = MakeComObject<test::TestPushSource>(config);
    RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get()}), S_OK);
    ASSERT_EQ(g.SetFile(path), S_OK);
    ASSERT_TRUE(test::RunToCompletion(g.graph.Get(), 20'000));
    const avi::AviFileInfo info = test::ReadBack(path);
    ASSERT_EQ(info.streams.size(), 1u);
    EXPECT_EQ(info.streams[0].length, 50u);
    ASSERT_EQ(info.streams[0].odmlChunks.size(), 50u);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(avi::AviReader::ReadChunk(path, info.streams[0].odmlChunks[33], bytes));
    EXPECT_EQ(bytes.size(), static_cast<size_t>(config.mediaType.GetSampleSize()));
    EXPECT_EQ(avi::GetU32(bytes.data()), 33u);
    test::ExpectProbed(path, {"rawvideo"}, 50);
  }
}

// Sound in a format other than PCM is written as it comes, under the name its pin was given.
TEST(AviMuxGraph, OtherWaveFormatsAreWrittenAsTheyComeWithTheStreamName) {
  TempDir dir;
  const std::string path = dir.File("float.avi");
  constexpr int kBlocks = 10, kBlockBytes = 1920 * 8;
  std::vector<ListedSample> blocks;
  for (int i = 0; i < kBlocks; ++i) {
    blocks.push_back({std::vector<uint8_t>(kBlockBytes, 0), std::pair{i * kFrameTime, (i + 1) * kFrameTime}, {}});
  }
  const auto info = RecordList(path, WaveType(WAVE_FORMAT_IEEE_FLOAT, 48000, 2, 32),
                               std::move(blocks), L"Commentary");
  const auto& s = info.streams.at(0);
  EXPECT_EQ(s.name, "Commentary");
  ASSERT_GE(s.format.size(), avi::wfx::kBytes);
  EXPECT_EQ(avi::GetU16(&s.format[avi::wfx::kFormatTag]), WAVE_FORMAT_IEEE_FLOAT);
  EXPECT_EQ(s.length, static_cast<uint32_t>(kBlocks * 1920));
  ASSERT_EQ(test::Probe(path).size(), 1u);
  EXPECT_EQ(test::Probe(path)[0].codec, "pcm_f32le");
}

// A DV picture whose format gives no size (a zero-filled DVINFO) takes size and DVINFO from its
// first frame.
TEST(AviMuxGraph, DvVideoWithAZeroFilledDvInfoTakesItsSizeFromTheFrames) {
  test::DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string path = dir.File("dvinfo.avi");
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&MEDIASUBTYPE_dvsd);
  type.SetFormatType(&FORMAT_DvInfo);
  type.AllocFormatBuffer(sizeof(DVINFO));
  std::vector<ListedSample> frames;
  for (int i = 0; i < 10; ++i) {
    frames.push_back({maker.Frame(i), std::pair{i * kFrameTime, (i + 1) * kFrameTime}, {}});
  }
  const auto info = RecordList(path, type, std::move(frames));
  EXPECT_EQ(info.width, 720u);
  EXPECT_EQ(info.height, 576u);
  const auto& s = info.streams.at(0);
  EXPECT_EQ(s.type, avi::kFccVids);
  EXPECT_EQ(s.length, 10u);
  ASSERT_EQ(s.format.size(), avi::bih::kBytes + avi::dvinfo::kBytes);
  const DVINFO expected = dv::DvInfoFromFrame(maker.Frame(0), dv::DvSystem::k625_50);
  EXPECT_EQ(avi::GetU32(&s.format[avi::bih::kBytes + avi::dvinfo::kVAuxSrc]), expected.dwDVVAuxSrc);
  test::ExpectProbed(path, {"dvvideo"}, 10);
}

// DV type 1: a damaged or foreign frame keeps its place as a dropped frame and is counted.
TEST(AviMuxGraph, DamagedType1FramesAreKeptAsDroppedFramesAndCounted) {
  test::DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string dvPath = dir.File("damaged.dv"), aviPath = dir.File("type1.avi");
  constexpr int kFrames = 40;
  const std::set<int> damaged = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 27};
  test::WriteDvFile(dvPath, maker, kFrames, [&](int i, std::vector<uint8_t>& frame) {
    if (i == 27) frame[5 * dv::kDifBlockBytes] ^= 0xE0;  // a block id
    else if (damaged.contains(i)) std::fill(frame.begin(), frame.end(), 0);
  });
  ComPtr<IBaseFilter> source = test::LoadedDvSource(dvPath);
  RecordingGraph g;
  ASSERT_EQ(g.Build({source.Get()}, /*clocked=*/false), S_OK);
  ASSERT_EQ(g.SetFile(aviPath), S_OK);
  ASSERT_TRUE(test::RunToCompletion(g.graph.Get(), 20'000));
  EXPECT_EQ(dynamic_cast<CAviMux*>(g.mux.Get())->DroppedSamples(),
            static_cast<long>(damaged.size()));
  const avi::AviFileInfo info = test::ReadBack(aviPath);
  const auto& s = info.streams.at(0);
  EXPECT_EQ(s.length, static_cast<uint32_t>(kFrames));
  ASSERT_EQ(s.odmlChunks.size(), static_cast<size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(s.odmlChunks[i].size == 0, damaged.contains(i)) << "frame " << i;
  }
  test::ExpectProbed(aviPath, {"dvvideo", "pcm_s16le"}, static_cast<long>(kFrames - damaged.size()));
  EXPECT_NEAR(test::ProbeFormatDuration(aviPath), kFrames * 0.04, 1e-3);
}

// The header and each frame reach the file, described, without waiting for more samples: after
// the first frame and after a few more, with nothing arriving after them.
TEST(AviMuxGraph, FramesAreDescribedOnDiskWithoutWaitingForMore) {
  TempDir dir;
  auto source = MakeComObject<test::TestPushSource>(Frames(-1, /*paced=*/true));
  auto log = MakeComObject<test::DeliveryLog>();
  RecordingGraph g(log);
  ASSERT_EQ(g.Build({source.Get()}), S_OK);
  auto clock = MakeComObject<test::TestManualClock>();
  ASSERT_EQ(QueryAs<IMediaFilter>(g.graph.Get())->SetSyncSource(clock.Get()), S_OK);
  const std::string path = dir.File("image.avi");
  auto describedFrames = [&]() -> size_t {
    const auto steps = log->Steps();
    test::WriteBytes(path, test::DeliveryLog::ImageAfter(steps, steps.size()));
    const auto info = avi::AviReader::Read(path);
    if (!info || info->streams.empty()) return 0;
    return std::min<size_t>(info->streams[0].length, info->streams[0].odmlChunks.size());
  };
  constexpr REFERENCE_TIME kStart = 1'000'000;
  ASSERT_EQ(QueryAs<IMediaFilter>(g.graph.Get())->Run(kStart), S_OK);
  // The header is the file's first write, before any frame.
  ASSERT_TRUE(test::WaitUntil([&] { return !log->Steps().empty(); }));
  EXPECT_EQ(log->Steps()[0].offset, 0u);
  clock->AdvanceTo(kStart);
  EXPECT_TRUE(test::WaitUntil([&] { return describedFrames() == 1; }));
  clock->AdvanceTo(kStart + 3 * kFrameTime);
  EXPECT_TRUE(test::WaitUntil([&] { return describedFrames() == 4; }));
  g.Stop();
  EXPECT_EQ(describedFrames(), 4u);
}

// A file that exists is never written over, a missing folder is not made: the run fails with
// the reason and the existing file keeps its bytes.
TEST(AviMuxGraph, ExistingFileOrMissingFolderFailsTheRun) {
  TempDir dir;
  const std::string existing = dir.File("exists.avi");
  std::ofstream(existing) << "keep me";
  for (const auto& [path, error] :
       {std::pair{existing, HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)},
        std::pair{dir.File("missing/dir.avi"), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)}}) {
    auto source = MakeComObject<test::TestPushSource>(Frames(5));
    RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get()}), S_OK);
    ASSERT_EQ(g.SetFile(path), S_OK);
    EXPECT_EQ(g.Run(), error) << path;
    g.Stop();
  }
  EXPECT_EQ(std::filesystem::file_size(existing), 7u);
}

TEST(AviMuxGraph, StopRenameRunContinuesInANewFile) {
  TempDir dir;
  auto source = MakeComObject<test::TestPushSource>(Frames(-1, /*paced=*/true));
  RecordingGraph g;
  ASSERT_EQ(g.Build({source.Get()}), S_OK);
  const std::string first = dir.File("one.avi"), second = dir.File("two.avi");
  ASSERT_EQ(g.SetFile(first), S_OK);
  ASSERT_EQ(g.Run(), S_OK);
  ASSERT_TRUE(test::WaitUntil([&] { return source->FramesDelivered() >= 8; }));
  ASSERT_EQ(g.Stop(), S_OK);
  const int firstRun = source->FramesDelivered();
  // A new name while connected and stopped; the next run records into it.
  ASSERT_EQ(g.SetFile(second), S_OK);
  ASSERT_EQ(g.Run(), S_OK);
  ASSERT_TRUE(test::WaitUntil([&] { return source->FramesDelivered() >= firstRun + 8; }));
  ASSERT_EQ(g.Stop(), S_OK);
  const int total = source->FramesDelivered();

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

// A sound format change mid-stream cannot be written under the stream's fixed header: the
// stream ends there (the rest is counted as dropped) and the file stays sound.
TEST(AviMuxGraph, SoundFormatChangeEndsThatStreamCleanly) {
  TempDir dir;
  const std::string path = dir.File("change.avi");
  constexpr int kBlocks = 20, kChangeAt = 12, kBlockBytes = 1920 * 4;
  std::vector<ListedSample> blocks;
  for (int i = 0; i < kBlocks; ++i) {
    ListedSample block{std::vector<uint8_t>(kBlockBytes, 0),
                       std::pair{i * kFrameTime, (i + 1) * kFrameTime}, {}};
    if (i == kChangeAt) block.type = WaveType(WAVE_FORMAT_PCM, 44100, 2, 16);
    blocks.push_back(std::move(block));
  }
  long dropped = 0;
  const auto info =
      RecordList(path, WaveType(WAVE_FORMAT_PCM, 48000, 2, 16), std::move(blocks), L"", &dropped);
  EXPECT_EQ(dropped, kBlocks - kChangeAt);
  EXPECT_EQ(info.streams.at(0).length, static_cast<uint32_t>(kChangeAt * 1920));
  EXPECT_EQ(test::DecodedAudioSamples(path, 2), kChangeAt * 1920L);
}

// Child: records pushed frames under a file-size limit (a full disk) set for its whole process;
// reports the EC_ERRORABORT parameter ("none" when none came).
const test::ChildRoutineRegistration kRecordUntilFull(
    "record-until-full", [](const std::vector<std::string>& args) -> int {
      if (args.size() != 2) return 2;
      ::signal(SIGXFSZ, SIG_IGN);
      const rlim_t limit = std::stoull(args[1]);
      const rlimit limited{limit, limit};
      if (::setrlimit(RLIMIT_FSIZE, &limited) != 0) return 3;
      auto source = MakeComObject<test::TestPushSource>(Frames(-1));
      RecordingGraph g;
      if (FAILED(g.Build({source.Get()})) || FAILED(g.SetFile(args[0])) || FAILED(g.Run())) {
        return 4;
      }
      const auto abort = g.WaitForEvent(EC_ERRORABORT);
      g.Stop();
      test::ReportToParent(abort ? std::to_string(static_cast<HRESULT>(*abort)) : "none");
      return 0;
    });

// A file-size limit stands in for a full disk: the writer's failure reaches the graph as
// EC_ERRORABORT with its HRESULT and the file keeps every frame written before it.
TEST(AviMuxGraph, FullDiskEndsWithErrorAbortAndAReadableFile) {
  TempDir dir;
  const std::string path = dir.File("full.avi");
  constexpr rlim_t kLimit = 2u << 20;
  test::ChildProcess child("record-until-full", {path, std::to_string(kLimit)});
  const auto abort = child.NextReport();
  EXPECT_EQ(child.Wait(), 0);
  ASSERT_TRUE(abort.has_value());
  EXPECT_EQ(*abort, std::to_string(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)));

  const avi::AviFileInfo info = test::ReadBack(path);
  ASSERT_EQ(info.streams.size(), 1u);
  const size_t frames = info.streams[0].odmlChunks.size();
  ASSERT_GT(frames, 0u);
  const size_t frameBytes = kWidth * kHeight * 2 + 8;
  EXPECT_GE(frames + 2, (kLimit - 64 * 1024) / frameBytes);
  EXPECT_EQ(info.streams[0].length, frames);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(avi::AviReader::ReadChunk(path, info.streams[0].odmlChunks.back(), bytes));
  EXPECT_EQ(avi::GetU32(bytes.data()), frames - 1);
  EXPECT_EQ(test::Probe(path)[0].count, static_cast<long>(frames));
}

}  // namespace
}  // namespace vidorra::filters
