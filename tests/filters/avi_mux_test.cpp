// AVI Mux and File writer as filters: what their inputs take, recordings of pushed streams read
// back by our reader and ffprobe, and the failures a recording meets (an existing file, a format
// change, a full disk).
#include <TestPushSource.h>
#include <child_process.h>
#include <gtest/gtest.h>
#include <mmreg.h>
#include <oleauto.h>
#include <signal.h>
#include <sys/resource.h>

#include <set>

#include "ColorSpaceConverter.h"
#include "avi/AviLayout.h"
#include "avi/AviMux.h"
#include "avi_test_support.h"
#include "dv/DvMediaTypes.h"
#include "sys_filter_support.h"

namespace vidorra::filters {
namespace {

using namespace test;

constexpr int kWidth = 64, kHeight = 48;
constexpr REFERENCE_TIME kFrameTime = 400000;

// Uncompressed video of kWidth x kHeight: YUY2, or 24-bit RGB (bottom-up).
CMediaType VideoType(bool rgb = false) {
  return MakeVideoMediaType({rgb ? PixelFormat::kRgb24 : PixelFormat::kYuy2, kWidth, kHeight, rgb});
}

// DV video whose format gives no size: a zero-filled DVINFO.
CMediaType ZeroedDvType() {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&MEDIASUBTYPE_dvsd);
  type.SetFormatType(&FORMAT_DvInfo);
  type.AllocFormatBuffer(sizeof(DVINFO));
  return type;
}

CMediaType WaveType(WORD tag, DWORD rate, WORD channels, WORD bits,
                    const std::vector<uint8_t>& extra = {}) {
  CMediaType mt(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_PCM);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  BYTE* block = mt.AllocFormatBuffer(static_cast<ULONG>(sizeof(WAVEFORMATEX) + extra.size()));
  const WORD align = static_cast<WORD>(channels * bits / 8);
  *reinterpret_cast<WAVEFORMATEX*>(block) = {
      tag, channels, rate, rate * align, align, bits, static_cast<WORD>(extra.size())};
  std::copy(extra.begin(), extra.end(), block + sizeof(WAVEFORMATEX));
  return mt;
}

ComPtr<test::TestPushSource> Frames(int count) {
  return MakeComObject<test::TestPushSource>(
      test::TestPushSourceConfig{.mediaType = VideoType(), .frameCount = count});
}

// n blocks of `bytes` bytes (numbered in their first four), a frame time each, the block at
// `changeAt` announcing `change`.
std::vector<ListedSample> Blocks(int n, size_t bytes, int changeAt = -1, CMediaType change = {}) {
  std::vector<ListedSample> blocks;
  for (int i = 0; i < n; ++i) {
    blocks.push_back(
        {std::vector<uint8_t>(bytes, 0), std::pair{i * kFrameTime, (i + 1) * kFrameTime}, {}});
    if (bytes >= 4) avi::PutU32(blocks.back().bytes.data(), static_cast<uint32_t>(i));
    if (i == changeAt) blocks.back().type = change;
  }
  return blocks;
}

// n DV frames of the maker.
std::vector<ListedSample> DvFrames(test::DvFrameMaker& maker, int n) {
  std::vector<ListedSample> frames = Blocks(n, 0);
  for (int i = 0; i < n; ++i) frames[i].bytes = maker.Frame(i);
  return frames;
}

// ---- Faces ----------------------------------------------------------------------------------

// Any wave format, with the bytes after it (video, a zero-filled DV format and PCM: the
// recordings below connect them); a new input once one connects; not a type the file cannot
// store, nor a stream name that is not text, nor a master stream that is none (an interleaving
// mode it cannot do: the mux's page).
TEST(AviMuxFilter, InputsTakeWhatAFileCanStore) {
  ComPtr<IBaseFilter> mux = test::CreateFilter(CLSID_AviDest);
  ComPtr<IPin> input = test::PinAt(mux.Get(), 1);
  for (const auto& [type, taken] :
       {std::pair{WaveType(WAVE_FORMAT_MPEGLAYER3, 44100, 2, 0, {1, 2, 3, 4}), true},
        {CMediaType(&MEDIATYPE_AnalogVideo), false}}) {
    EXPECT_EQ(input->QueryAccept(&type) == S_OK, taken) << type.majortype.Data1;
  }
  ComPtr<IGraphBuilder> graph = test::NewGraph();
  ASSERT_EQ(test::Chain(graph.Get(), {Frames(1).Get(), mux.Get()}), S_OK);  // into `input`
  ASSERT_EQ(test::PinsOf(mux.Get()).size(), 3u);
  EXPECT_EQ(test::PinName(test::PinAt(mux.Get(), 2).Get()), L"Input 02");

  ComPtr<IPropertyBag> bag = QueryAs<IPropertyBag>(input.Get());
  VARIANT value{};
  value.vt = VT_I4;
  EXPECT_EQ(bag->Write(L"name", &value), E_INVALIDARG);
  EXPECT_EQ(bag->Write(L"other", &value), E_INVALIDARG);
  EXPECT_EQ(QueryAs<IConfigAviMux>(mux.Get())->SetMasterStream(-2), E_INVALIDARG);
}

// Any type connects before a file is named; the type is held against the file's on Pause. A
// file that exists is never written over, a missing folder is not made: the run fails with the
// reason, the existing file keeps its bytes. A new name while connected and stopped: the next
// run writes samples of other types into it one after the other.
TEST(FileWriterFilter, TakesEveryTypeAndChecksItAgainstTheFileOnPause) {
  TempDir dir;
  const std::string path = dir.File("frames.raw"), existing = dir.File("exists.raw");
  std::ofstream(existing) << "keep me";
  ComPtr<IGraphBuilder> graph = test::NewGraph(false);
  ComPtr<IBaseFilter> writer = test::CreateFilter(CLSID_FileWriter);
  ASSERT_EQ(test::Chain(graph.Get(), {Frames(5).Get(), writer.Get()}), S_OK);
  ComPtr<IFileSinkFilter> sink = QueryAs<IFileSinkFilter>(writer.Get());
  LPOLESTR name = nullptr;
  EXPECT_EQ(sink->GetCurFile(&name, nullptr), E_FAIL);
  EXPECT_EQ(sink->SetFileName(nullptr, nullptr), E_POINTER);
  AM_MEDIA_TYPE avi{};
  avi.majortype = MEDIATYPE_Stream;
  avi.subtype = MEDIASUBTYPE_Avi;
  for (const auto& [file, type, error] :
       {std::tuple{path, &avi, VFW_E_TYPE_NOT_ACCEPTED},
        {existing, nullptr, HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)},
        {dir.File("missing/frames.raw"), nullptr, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)}}) {
    ASSERT_EQ(sink->SetFileName(Utf8ToWide(file).c_str(), type), S_OK);
    EXPECT_EQ(test::RunGraph(graph.Get()), error) << file;
    test::StopGraph(graph.Get());
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(existing), 7u);
  ASSERT_EQ(sink->SetFileName(Utf8ToWide(path).c_str(), nullptr), S_OK);
  ASSERT_TRUE(test::RunToCompletion(graph.Get(), 20'000));
  EXPECT_EQ(std::filesystem::file_size(path), 5u * kWidth * kHeight * 2);
}

// ---- Recording ------------------------------------------------------------------------------

// The frames of a worn DV type-1 tape: a damaged (zeroed, cut or with a block id damaged) frame
// of the 40 is kept in its place as a dropped frame, an empty chunk; the NTSC frame at 36 ends
// the stream, whose header cannot describe it.
const std::set<int> kDamaged = {5, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 27};
std::vector<ListedSample> WornTape(test::DvFrameMaker& maker) {
  test::DvFrameMaker ntsc(dv::DvSystem::k525_60);
  std::vector<ListedSample> tape = DvFrames(maker, 40);
  tape[27].bytes[5 * dv::kDifBlockBytes] ^= 0xE0;  // a block id
  tape[5].bytes.resize(tape[5].bytes.size() / 2);
  tape[36].bytes = ntsc.Frame(36);
  for (int i : kDamaged)
    if (i != 5 && i != 27) std::fill(tape[i].bytes.begin(), tape[i].bytes.end(), 0);
  return tape;
}

// What the mux is given, the file holds, every sample at its place: uncompressed YUY2 and RGB;
// sound in a format other than PCM, as it comes, under the name its pin was given; DV whose
// format gives no size (a zero-filled DVINFO), its size and DVINFO taken from its first frame; a
// sound format change mid-stream, which the stream's fixed header cannot describe: the stream
// ends there (the rest counted as dropped) and the file stays sound. DV type 1: each frame is
// checked as the first; a damaged, foreign or cut frame keeps its place as a dropped frame and
// is counted, a frame of the other system ends the stream (the rest counted as dropped).
TEST(AviMuxGraph, RecordsWhatItIsGivenAsItComes) {
  test::DvFrameMaker maker;
  constexpr size_t kYuy2 = kWidth * kHeight * 2, kRgb = kWidth * kHeight * 3;
  const CMediaType pcm = WaveType(WAVE_FORMAT_PCM, 48000, 2, 16);
  const struct {
    CMediaType type;
    std::vector<ListedSample> samples;
    const wchar_t* name;
    std::string seen;  // our reader's stream, the mux's drops, ffprobe's (frames or samples)
  } cases[] = {
      {VideoType(), Blocks(50, kYuy2), nullptr, "vids 50 '' 48p, 0 dropped: rawvideo 50"},
      {VideoType(true), Blocks(50, kRgb), nullptr, "vids 50 '' 48p, 0 dropped: rawvideo 50"},
      {WaveType(WAVE_FORMAT_IEEE_FLOAT, 48000, 2, 32), Blocks(10, 1920 * 8), L"Commentary",
       "auds 19200 'Commentary' 0p, 0 dropped: pcm_f32le 19200"},
      {ZeroedDvType(), DvFrames(maker, 10), nullptr, "vids 10 '' 576p, 0 dropped: dvvideo 10"},
      {pcm, Blocks(20, 1920 * 4, 12, WaveType(WAVE_FORMAT_PCM, 44100, 2, 16)), nullptr,
       "auds 23040 '' 0p, 8 dropped: pcm_s16le 23040"},
      {dv::InterleavedDvType(dv::DvInfoFromFrame(maker.Frame(0), dv::DvSystem::k625_50)),
       WornTape(maker), nullptr, "iavs 36 '' 576p, 16 dropped: dvvideo+pcm_s16le 24"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seen);
    TempDir dir;
    const std::string path = dir.File("recorded.avi");
    // Recorded without a clock, the input given its stream name, if any.
    auto source = MakeComObject<test::ListSource>(c.type, c.samples);
    RecordingGraph g;
    ASSERT_EQ(g.Build({source.Get()}, /*clocked=*/false), S_OK);
    if (c.name) {
      VARIANT name{};
      name.vt = VT_BSTR;
      name.bstrVal = SysAllocString(c.name);
      EXPECT_EQ(QueryAs<IPropertyBag>(test::PinAt(g.mux.Get(), 1).Get())->Write(L"name", &name),
                S_OK);
      VariantClear(&name);
    }
    EXPECT_TRUE(g.Record(path));
    const long dropped = dynamic_cast<CAviMux*>(g.mux.Get())->DroppedSamples();
    const avi::AviFileInfo info = test::ReadBack(path);
    ASSERT_EQ(info.streams.size(), 1u);
    const auto& s = info.streams[0];
    const std::vector<test::ProbedStream> probed = test::Probe(path, {.decode = true});
    ASSERT_FALSE(probed.empty());
    std::string codecs;
    for (const test::ProbedStream& p : probed) codecs += (codecs.empty() ? "" : "+") + p.codec;
    const long heard =
        s.type == avi::kFccAuds ? test::RecordedSoundSamples(path, 2) : probed[0].frames;
    EXPECT_EQ((testing::Message() << std::string(reinterpret_cast<const char*>(&s.type), 4) << ' '
                                  << s.length << " '" << s.name << "' " << info.height << "p, "
                                  << dropped << " dropped: " << codecs << ' ' << heard)
                  .GetString(),
              c.seen);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(avi::AviReader::ReadChunk(path, s.odmlChunks.at(7), bytes));
    EXPECT_EQ(bytes, c.samples[7].bytes);
    const bool worn = s.type == avi::kFccIavs;
    for (size_t i = 0; i < s.odmlChunks.size(); ++i)
      EXPECT_EQ(s.odmlChunks[i].size == 0, worn && kDamaged.contains(int(i))) << "chunk " << i;
    if (worn) {
      EXPECT_NEAR(test::ProbeDuration(path), 36 * 0.04, 1e-3);
    }
    // DV's DVINFO (a video stream's after its bitmap header): the first frame's AS pack (in the
    // fourth audio block of its first DIF sequence) and VS pack (the first of its first VAUX
    // block), each after its pack ID.
    if (worn || s.format.size() == avi::bih::kBytes + avi::dvinfo::kBytes) {
      const size_t at = s.format.size() - avi::dvinfo::kBytes;
      const auto first = maker.Frame(0);
      const size_t as = 80 * (6 + 16 * 3) + 3, vs = 80 * 3 + 3;
      ASSERT_EQ(std::pair(first[as], first[vs]), std::pair(uint8_t{0x50}, uint8_t{0x60}));
      EXPECT_EQ(std::pair(avi::GetU32(&s.format[at + avi::dvinfo::kAAuxSrc]),
                          avi::GetU32(&s.format[at + avi::dvinfo::kVAuxSrc])),
                std::pair(avi::GetU32(&first[as + 1]), avi::GetU32(&first[vs + 1])));
    }
  }
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
      auto source = Frames(-1);
      RecordingGraph g;
      if (FAILED(g.Build({source.Get()})) || FAILED(g.SetFile(args[0])) || FAILED(g.Run()))
        return 4;
      const auto abort = g.WaitForEvent(EC_ERRORABORT);
      g.Stop();
      test::ReportToParent(abort ? std::to_string(static_cast<HRESULT>(*abort)) : "none");
      return 0;
    });

// A file-size limit stands in for a full disk: the writer's failure reaches the graph as
// EC_ERRORABORT with its HRESULT and the file keeps every frame written before it, indexed.
TEST(AviMuxGraph, FullDiskEndsWithErrorAbortAndAReadableFile) {
  TempDir dir;
  const std::string path = dir.File("full.avi");
  constexpr rlim_t kLimit = 2u << 20;
  test::ChildProcess child("record-until-full", {path, std::to_string(kLimit)});
  const auto abort = child.NextReport();
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(abort, std::to_string(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)));

  const avi::AviFileInfo info = test::ReadBack(path);
  ASSERT_EQ(info.streams.size(), 1u);
  const size_t frames = info.streams[0].odmlChunks.size();
  ASSERT_GT(frames, 0u);
  EXPECT_GE(frames + 2, (kLimit - 64 * 1024) / (kWidth * kHeight * 2 + 8));
  EXPECT_EQ(info.streams[0].length, frames);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(avi::AviReader::ReadChunk(path, info.streams[0].odmlChunks.back(), bytes));
  EXPECT_EQ(avi::GetU32(bytes.data()), frames - 1);
  EXPECT_EQ(test::Probe(path, {.decode = true})[0].frames, static_cast<long>(frames));
}

}  // namespace
}  // namespace vidorra::filters
