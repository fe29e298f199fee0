// AVI Mux: new files begun inside a running recording. A tape of three scenes (DV files ffmpeg
// writes on different days, one after the other) recorded as DV type 1 and as DV type 2 (the DV
// Splitter's sound on its own thread) gives one file per scene: each one whole (our reader,
// ffprobe, the repair, also of a torn copy), its frames the scene's frames byte for byte, its
// sound the scene's sound sample for sample, its recording date in LIST 'INFO'. A cut asked for
// while running, a namer that fails and a next name that exists are handled as a user expects.
// The suite is the mux graph's: its tests also run with ThreadSanitizer (streaming, sound and
// delivery threads meet at every split).
#include <gtest/gtest.h>
#include <oleauto.h>
#include <wait_until.h>

#include <cstring>
#include <span>

#include "avi/AviRepair.h"
#include "avi_test_support.h"
#include "dv/DvMediaTypes.h"
#include "dv/DvSplitter.h"

namespace vidorra::test {
namespace {

namespace fs = std::filesystem;
using Frame = std::vector<uint8_t>;

struct Scene {
  int frames;
  const char *timecode, *created;
  int frequency;
  // Expected: the recording date as the namer gets it and as the file's INFO list has it (the
  // first scene's in a leap century, whose weekdays a year divisible by 400 gives).
  SYSTEMTIME at;
  const char *icrd, *idit;
};
const Scene kScenes[] = {
    {100, "00:00:00:00", "2000-03-01T10:20:30Z", 700, {2000, 3, 3, 1, 10, 20, 30, 0},
     "2000-03-01", "Wed Mar 01 10:20:30 2000\n"},
    {75, "00:10:00:00", "2024-07-15T08:05:00Z", 1100, {2024, 7, 1, 15, 8, 5, 0, 0}, "2024-07-15",
     "Mon Jul 15 08:05:00 2024\n"},
    {125, "01:00:00:00", "2024-07-17T21:45:10Z", 400, {2024, 7, 3, 17, 21, 45, 10, 0},
     "2024-07-17", "Wed Jul 17 21:45:10 2024\n"},
};

// The tape, made once for all the tests: each scene's frames as ffmpeg writes them (a picture
// and a tone of its own, its timecode and recording date), one scene after the other; and a DV
// file of it.
struct TapeFile {
  TempDir dir;
  std::vector<Frame> frames;
  std::string path = dir.File("tape.dv");
  TapeFile() {
    for (const Scene& s : kScenes) {
      const auto scene = FfmpegDvFrames(dir, s.frames, s.timecode, s.created, false, s.frequency);
      frames.insert(frames.end(), scene.begin(), scene.end());
    }
    Frame all;
    for (const Frame& f : frames) all.insert(all.end(), f.begin(), f.end());
    WriteBytes(path, all);
  }
};
const TapeFile& Tape() {
  static const TapeFile tape;
  return tape;
}

// Names files file0.avi, file1.avi ... in dir and keeps the dates it is given; fails, or gives
// an existing file's name, at the call asked for.
class Namer : public CUnknown, public IAviFileNamer {
 public:
  explicit Namer(std::string dir) : dir_(std::move(dir)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAviFileNamer) return GetInterface(static_cast<IAviFileNamer*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP NextFileName(const SYSTEMTIME* recordedAt, LPOLESTR* name) override {
    std::lock_guard lock(mutex_);
    const int call = static_cast<int>(dates_.size());
    dates_.push_back(recordedAt ? std::optional(*recordedAt) : std::nullopt);
    if (call == failAt) return E_ACCESSDENIED;
    const std::string path =
        call == existingAt ? existing : dir_ + "/file" + std::to_string(call) + ".avi";
    paths_.push_back(path);
    *name = CoTaskMemStrDup(Utf8ToWide(path));
    return S_OK;
  }
  std::vector<std::string> Paths() {
    std::lock_guard lock(mutex_);
    return paths_;
  }
  std::vector<std::optional<SYSTEMTIME>> Dates() {
    std::lock_guard lock(mutex_);
    return dates_;
  }

  int failAt = -1, existingAt = -1;
  std::string existing;

 private:
  const std::string dir_;
  std::mutex mutex_;
  std::vector<std::string> paths_;
  std::vector<std::optional<SYSTEMTIME>> dates_;
};

// The recording graph of a chain: its last filter's `streams` outputs into the mux (two: the
// sound marked as locked to the picture); the mux splitting with namer. A DV file: type 1
// straight into the mux, type 2 through the DV Splitter.
struct SplitGraph {
  RecordingGraph g;
  ComPtr<IAviFileSplitter> splitter;

  SplitGraph(const std::vector<ComPtr<IBaseFilter>>& chain, int streams, IAviFileNamer* namer,
             DWORD flags, bool clocked = false) {
    std::vector<IBaseFilter*> filters;
    for (const auto& filter : chain)
      if (filter) filters.push_back(filter.Get());
    EXPECT_EQ(g.Build(filters, clocked, streams), S_OK);
    VARIANT locked{};
    locked.vt = VT_BOOL;
    locked.boolVal = VARIANT_TRUE;
    if (streams == 2) {
      EXPECT_EQ(QueryAs<IPropertyBag>(PinAt(g.mux.Get(), 2).Get())->Write(L"locked", &locked),
                S_OK);
    }
    splitter = QueryAs<IAviFileSplitter>(g.mux.Get());
    EXPECT_EQ(splitter->SetFileNamer(namer), S_OK);
    EXPECT_EQ(splitter->SetSplitting(flags), S_OK);
  }
  SplitGraph(const std::string& dvPath, bool type2, IAviFileNamer* namer, DWORD flags,
             bool clocked = false)
      : SplitGraph(
            {LoadedDvSource(dvPath), type2 ? MakeComObject<filters::CDvSplitter>() : nullptr},
            type2 ? 2 : 1, namer, flags, clocked) {}
  LONG FileCount() {
    LONG count = -1;
    EXPECT_EQ(splitter->GetFileCount(&count), S_OK);
    return count;
  }
};

// The file at path holds exactly tape[first, first + count): its picture chunks are those
// frames byte for byte, ffmpeg decodes their sound from it sample for sample and ffprobe counts
// the frames. Returns our reader's view.
avi::AviFileInfo ExpectFrames(const std::string& path, const std::vector<Frame>& tape,
                              size_t first, size_t count) {
  SCOPED_TRACE(path);
  const avi::AviFileInfo info = ReadBack(path);
  if (info.streams.empty()) return info;
  const auto& chunks = info.streams[0].odmlChunks;
  EXPECT_EQ(info.streams[0].length, count);
  EXPECT_EQ(chunks.size(), count);
  Frame bytes;
  for (size_t i = 0; i < std::min(chunks.size(), count) && first + i < tape.size(); ++i) {
    EXPECT_TRUE(avi::AviReader::ReadChunk(path, chunks[i], bytes) && bytes == tape[first + i])
        << "frame " << i << " of the file, " << first + i << " of the tape";
  }
  std::string sound;  // the frames' sound as our DV code reads it, as 16-bit stereo bytes
  for (size_t i = first; i < first + count; ++i) {
    const auto audio = dv::ExtractAudio(tape[i]);
    EXPECT_TRUE(audio) << "frame " << i;
    if (audio)
      sound.append(reinterpret_cast<const char*>(audio->pcm[0].data()),
                   audio->pcm[0].size() * sizeof(int16_t));
  }
  if (info.streams.size() > 1) {
    EXPECT_EQ(info.streams[1].length * 4, sound.size());
  }
  const std::string decoded = RecordedSound(path);
  EXPECT_TRUE(decoded == sound) << decoded.size() << " bytes of sound for " << sound.size();
  ExpectProbed(path, {"dvvideo", "pcm_s16le"}, static_cast<long>(count));
  return info;
}

// The tape recorded as type 1 and as type 2, each file named by the namer or the first one as
// given. The namer failing, and the next name being an existing file: the recording ends with
// that error, the first file is whole with its scene, the existing file is left as it was.
TEST(AviMuxGraph, ATapeOfThreeScenesGivesOneWholeFilePerSceneOrEndsAtAFailingName) {
  const std::vector<Frame>& tape = Tape().frames;
  ASSERT_EQ(tape.size(), 300u);
  const std::string& dvPath = Tape().path;
  constexpr DWORD kNameFirst = AVI_SPLIT_AT_SCENES | AVI_SPLIT_NAME_FIRST;
  const struct {
    const char* name;
    bool type2;
    DWORD flags;
    HRESULT failure;  // S_OK: no failure; E_ACCESSDENIED: the namer's; else the next file exists
  } rows[] = {
      {"type 1, every file named", false, kNameFirst, S_OK},
      {"type 2, every file named", true, kNameFirst, S_OK},
      {"type 2, the first file as given", true, AVI_SPLIT_AT_SCENES, S_OK},
      {"the namer fails", false, AVI_SPLIT_AT_SCENES, E_ACCESSDENIED},
      {"the next file exists", false, AVI_SPLIT_AT_SCENES, HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)},
      // No file at all: the name given beforehand, still empty, is not left behind.
      {"the namer fails at the first picture", false, kNameFirst, E_ACCESSDENIED},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const TempDir out;
    auto namer = MakeComObject<Namer>(out.path());
    const bool nameFirst = row.flags & AVI_SPLIT_NAME_FIRST;
    SplitGraph graph(dvPath, row.type2, namer.Get(), row.flags);
    const std::string given = out.File("given.avi");
    if (row.failure != S_OK) {
      namer->existing = out.File("existing.avi");
      const Frame kept = {'k', 'e', 'e', 'p'};
      WriteBytes(namer->existing, kept);
      (row.failure == E_ACCESSDENIED ? namer->failAt : namer->existingAt) = 0;
      ASSERT_EQ(graph.g.SetFile(given), S_OK);
      ASSERT_EQ(graph.g.Run(), S_OK);
      const auto error = graph.g.WaitForEvent(EC_ERRORABORT);
      ASSERT_TRUE(error);
      EXPECT_EQ(static_cast<HRESULT>(*error), row.failure);
      EXPECT_EQ(graph.g.Stop(), S_OK);
      EXPECT_EQ(graph.FileCount(), nameFirst ? 0 : 1);
      EXPECT_EQ(ReadDvFrames(namer->existing, kept.size()), std::vector<Frame>{kept});
      if (!nameFirst) {
        const avi::AviFileInfo info = ExpectFrames(given, tape, 0, kScenes[0].frames);
        EXPECT_EQ(info.icrd, kScenes[0].icrd);
      }
      size_t files = 0;
      for (const auto& entry : fs::directory_iterator(out.path())) files += entry.is_regular_file();
      EXPECT_EQ(files, nameFirst ? 1u : 2u) << "only the first file and the existing one";
      continue;
    }
    ASSERT_TRUE(graph.g.Record(given, 60'000));
    EXPECT_EQ(graph.FileCount(), 3);

    std::vector<std::string> files = namer->Paths();
    if (!nameFirst) files.insert(files.begin(), given);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(fs::exists(given), !nameFirst) << "the name given beforehand, still empty";
    const auto dates = namer->Dates();
    ASSERT_EQ(dates.size(), nameFirst ? 3u : 2u);
    for (size_t i = 0; i < dates.size(); ++i) {
      const Scene& scene = kScenes[i + (nameFirst ? 0 : 1)];
      EXPECT_TRUE(dates[i] && !std::memcmp(&*dates[i], &scene.at, sizeof scene.at)) << "call " << i;
    }
    size_t first = 0;
    for (size_t k = 0; k < 3; ++k) {
      const avi::AviFileInfo info = ExpectFrames(files[k], tape, first, kScenes[k].frames);
      EXPECT_EQ(info.icrd, kScenes[k].icrd);
      EXPECT_EQ(info.idit, kScenes[k].idit);
      EXPECT_EQ(avi::RepairAviFile(files[k]).outcome, avi::AviRepairResult::Outcome::kWhole);
      first += kScenes[k].frames;
    }
    // Repairable as any recording: torn halfway, the repair makes it whole with its date.
    const std::string torn = out.File("torn.avi");
    fs::copy_file(files[1], torn);
    fs::resize_file(torn, fs::file_size(torn) / 2);
    const avi::AviRepairResult repaired = avi::RepairAviFile(torn);
    EXPECT_EQ(repaired.outcome, avi::AviRepairResult::Outcome::kRepaired) << repaired.reason;
    const avi::AviFileInfo info = ReadBack(torn);
    EXPECT_EQ(info.icrd, kScenes[1].icrd);
    EXPECT_EQ(info.idit, kScenes[1].idit);
    EXPECT_EQ(ProbedFrames(torn), static_cast<long>(repaired.frames));
  }
}

// DV pictures and 48 kHz stereo sound on two pins, each sample sent when the test says, in the
// order it says, on the test's thread.
class ScriptedSource : public CBaseFilter {
 public:
  ScriptedSource()
      : CBaseFilter(L"Scripted source", GUID_NULL),
        picture_(this, L"Picture", dv::DvVideoType(dv::DvSystem::k625_50, kPalFrame)),
        sound_(this, L"Sound", dv::PcmType(48000)) {}
  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int n) override { return n == 0 ? &picture_ : n == 1 ? &sound_ : nullptr; }
  HRESULT SendPicture(std::span<const uint8_t> bytes, REFERENCE_TIME start) {
    return picture_.Send(bytes, start, start + kPalFrame);
  }
  HRESULT SendSound(std::span<const uint8_t> bytes, REFERENCE_TIME start) {
    const auto duration = static_cast<REFERENCE_TIME>(bytes.size()) * 10'000'000 / 192'000;
    return sound_.Send(bytes, start, start + duration);
  }
  void End() {
    picture_.DeliverEndOfStream();
    sound_.DeliverEndOfStream();
  }

 private:
  class Out : public CBaseOutputPin {
   public:
    Out(CBaseFilter* filter, const wchar_t* name, CMediaType type)
        : CBaseOutputPin(filter, name), type_(std::move(type)) {}
    HRESULT CheckMediaType(const CMediaType* mt) override {
      return mt && *mt == type_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int i, CMediaType* mt) override {
      if (i > 0) return VFW_S_NO_MORE_ITEMS;
      *mt = type_;
      return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* p) override {
      return DecideBuffers(allocator, *p, {.buffers = 2, .bytes = long{dv::kFrameBytesPal}});
    }
    HRESULT Send(std::span<const uint8_t> bytes, REFERENCE_TIME start, REFERENCE_TIME stop) {
      ComPtr<IMediaSample> sample;
      HRESULT hr = GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0);
      BYTE* data = nullptr;
      if (SUCCEEDED(hr)) hr = sample->GetPointer(&data);
      if (FAILED(hr)) return hr;
      std::copy(bytes.begin(), bytes.end(), data);
      sample->SetActualDataLength(static_cast<long>(bytes.size()));
      sample->SetTime(&start, &stop);
      return Deliver(sample.Get());
    }

   private:
    const CMediaType type_;
  };
  Out picture_, sound_;
};

// The sound that arrives before the picture that begins a scene, and the sound that arrives
// after it, each land in the file of their time; the sample that straddles the scene's start
// is cut there. Ten frames of each side of a scene change of the tape, their sound in pieces of
// 1000 samples (a ramp: each sample says where it belongs), sent ahead of the pictures, behind
// them, or after all of them.
TEST(AviMuxGraph, SoundOnEitherSideOfTheSplitLandsInTheFileOfItsTime) {
  const std::vector<Frame>& tape = Tape().frames;
  ASSERT_EQ(tape.size(), 300u);
  constexpr int kFrames = 20, kSplit = 10, kPerFrame = 1920, kPiece = 1000;
  constexpr int kSamples = kFrames * kPerFrame;
  std::vector<uint16_t> ramp(2 * kSamples);
  for (int i = 0; i < kSamples; ++i) ramp[2 * i] = ramp[2 * i + 1] = static_cast<uint16_t>(i);
  const auto* rampBytes = reinterpret_cast<const uint8_t*>(ramp.data());
  const struct {
    const char* name;
    int soundLead;  // frames of sound sent before each picture (negative: behind it)
  } rows[] = {{"sound ahead", 1}, {"sound behind", -3}, {"sound after every picture", -kFrames}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const TempDir out;
    auto source = MakeComObject<ScriptedSource>();
    auto namer = MakeComObject<Namer>(out.path());
    SplitGraph graph({ComPtr<IBaseFilter>(source.Get())}, 2, namer.Get(), AVI_SPLIT_AT_SCENES);
    RecordingGraph& g = graph.g;
    const std::string given = out.File("given.avi");
    ASSERT_EQ(g.SetFile(given), S_OK);
    ASSERT_EQ(g.Run(), S_OK);
    int sent = 0;  // samples of sound sent
    const auto sendSoundTo = [&](int frames) {
      for (; sent < std::clamp(frames, 0, kFrames) * kPerFrame; sent += kPiece) {
        const int n = std::min(kPiece, kSamples - sent);
        ASSERT_EQ(source->SendSound({rampBytes + 4 * sent, static_cast<size_t>(4 * n)},
                                    FrameTime(0) + int64_t{sent} * 10'000'000 / 48'000),
                  S_OK);
      }
    };
    for (int n = 0; n < kFrames; ++n) {
      sendSoundTo(n + row.soundLead);
      ASSERT_EQ(source->SendPicture(tape[90 + n], FrameTime(n)), S_OK);
    }
    sendSoundTo(kFrames);
    source->End();
    EXPECT_TRUE(g.WaitForEvent(EC_COMPLETE));
    EXPECT_EQ(g.Stop(), S_OK);
    ASSERT_EQ(namer->Paths().size(), 1u);
    const std::string files[] = {given, namer->Paths()[0]};
    for (int k = 0; k < 2; ++k) {
      SCOPED_TRACE(files[k]);
      const avi::AviFileInfo info = ReadBack(files[k]);
      ASSERT_EQ(info.streams.size(), 2u);
      EXPECT_EQ(info.streams[0].length, static_cast<uint32_t>(kSplit));
      std::vector<uint8_t> sound, bytes;
      for (const avi::AviChunkRef& chunk : info.streams[1].odmlChunks) {
        ASSERT_TRUE(avi::AviReader::ReadChunk(files[k], chunk, bytes));
        sound.insert(sound.end(), bytes.begin(), bytes.end());
      }
      const size_t first = 4 * static_cast<size_t>(k * kSplit * kPerFrame);
      const size_t count = 4 * static_cast<size_t>(kSplit * kPerFrame);
      EXPECT_TRUE(sound == std::vector<uint8_t>(rampBytes + first, rampBytes + first + count))
          << sound.size() << " bytes of sound";
      ExpectProbed(files[k], {"dvvideo", "pcm_s16le"}, kSplit);
    }
  }
}

// A cut asked for while the camcorder plays: the next picture begins the second file, and the
// two files hold every frame once, in order. Settings only while stopped, splitting only with a
// namer.
TEST(AviMuxGraph, ACutWhileRunningGivesTwoFilesOfConsecutiveFrames) {
  const TempDir dir;
  constexpr int kFrames = 50;
  const std::string dvPath = SmallDvFile(dir, kFrames);
  const std::vector<Frame> frames = ReadDvFrames(dvPath);
  ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
  auto namer = MakeComObject<Namer>(dir.path());
  SplitGraph graph(dvPath, false, nullptr, 0, /*clocked=*/true);
  EXPECT_EQ(graph.splitter->SetSplitting(AVI_SPLIT_AT_SCENES), E_UNEXPECTED) << "no namer";
  ASSERT_EQ(graph.splitter->SetFileNamer(namer.Get()), S_OK);
  EXPECT_EQ(graph.splitter->SetSplitting(0x10), E_INVALIDARG);
  EXPECT_EQ(graph.splitter->SplitAtNextFrame(), VFW_E_WRONG_STATE) << "not running";
  const std::string given = dir.File("given.avi");
  ASSERT_EQ(graph.g.SetFile(given), S_OK);
  ASSERT_EQ(graph.g.Run(), S_OK);
  EXPECT_EQ(graph.splitter->SetFileNamer(nullptr), VFW_E_NOT_STOPPED) << "for the next run";
  EXPECT_EQ(graph.splitter->SetSplitting(0), VFW_E_NOT_STOPPED);
  // A second of the recording is in the first file.
  ASSERT_TRUE(WaitUntil([&] { return fs::file_size(given) > 25 * dv::kFrameBytesPal; }));
  EXPECT_EQ(graph.splitter->SplitAtNextFrame(), S_OK);
  EXPECT_TRUE(graph.g.WaitForEvent(EC_COMPLETE));
  EXPECT_EQ(graph.g.Stop(), S_OK);
  EXPECT_EQ(graph.FileCount(), 2);
  ASSERT_EQ(namer->Paths().size(), 1u);
  EXPECT_FALSE(namer->Dates()[0].has_value()) << "the frames carry no date";
  const avi::AviFileInfo head = ReadBack(given);
  ASSERT_FALSE(head.streams.empty());
  const size_t split = head.streams[0].odmlChunks.size();
  EXPECT_TRUE(split >= 25 && split < kFrames) << split;
  EXPECT_TRUE(head.icrd.empty() && head.idit.empty()) << "no date known";
  ExpectFrames(given, frames, 0, split);
  ExpectFrames(namer->Paths()[0], frames, split, kFrames - split);
}

}  // namespace
}  // namespace vidorra::test
