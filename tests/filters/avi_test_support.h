// Helpers of the AVI and DV tests (and the benchmarks): real DV frames (the simulated devices'
// numbered pattern through our encoder, with locked 48 kHz sound) and raw DV files of them, AVI
// files written by the writer alone, the recording graph source -> AVI Mux -> File writer, a
// writer stand-in that logs every delivery, an AVI output in memory, and recordings read back by
// our reader and by ffprobe.
#pragma once

#include <FilterPins.h>
#include <PinUnknown.h>
#include <gtest/gtest.h>
#include <recording_readback.h>
#include <temp_dir.h>
#include <vidorra_filters.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "avi/AviOutput.h"
#include "avi/AviReader.h"
#include "avi/AviWriter.h"
#include "avi/FileWriterProtocol.h"
#include "avi/PosixFileOutput.h"
#include "dv/DvAudio.h"
#include "dv/DvFrame.h"
#include "dv/DvVideoCodec.h"
#include "sim/TestPattern.h"

namespace vidorra::test {

constexpr REFERENCE_TIME kPalFrame = 400000;  // 25 frames a second
inline REFERENCE_TIME FrameTime(uint64_t n) { return static_cast<REFERENCE_TIME>(n) * kPalFrame; }

// Writes bytes as the whole of the file at path.
inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// A tone, distinct per channel of the stereo pair, continuing across frames.
inline std::vector<int16_t> Tone(size_t firstSample, int samples, int rate = 48000) {
  std::vector<int16_t> pcm(static_cast<size_t>(samples) * 2);
  for (int i = 0; i < samples; ++i) {
    const double t = static_cast<double>(firstSample + i) / rate;
    pcm[2 * i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * t));
    pcm[2 * i + 1] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 440 * t));
  }
  return pcm;
}

// DV frames: picture n % 4 of the numbered pattern (frame number n % 4), and locked 48 kHz
// stereo sound continuing from the frames before. A picture the encoder fails fails the test.
class DvFrameMaker {
 public:
  explicit DvFrameMaker(dv::DvSystem system = dv::DvSystem::k625_50) : system_(system) {
    const auto& f = dv::FactsOf(system);
    auto encoder = dv::DvVideoEncoder::Create(system);
    for (uint32_t i = 0; i < 4; ++i) {
      std::vector<uint8_t> image(static_cast<size_t>(f.width) * f.height * 2), frame;
      devices::sim::PatternScene scene;
      scene.frameNumber = i;
      devices::sim::DrawPattern(scene,
                                {.width = f.width, .height = f.height, .data = image.data()});
      const dv::Picture p{dv::PictureFormat::kYuy2, f.width, f.height, false, image, f.width * 2};
      EXPECT_TRUE(encoder && SUCCEEDED(encoder->Encode(p, frame))) << "DV picture " << i;
      pictures_.push_back(frame);
    }
  }

  std::vector<uint8_t> Frame(uint64_t n) {
    std::vector<uint8_t> frame = pictures_[n % pictures_.size()];
    dv::DvAudioFormat format;
    format.samplesPerFrame = dv::LockedSamplesForFrame(system_, 48000, n);
    uint64_t first = 0;
    for (uint64_t i = 0; i < n; ++i) first += dv::LockedSamplesForFrame(system_, 48000, i);
    dv::InsertAudio(frame, system_, format, Tone(first, format.samplesPerFrame));
    return frame;
  }

 private:
  dv::DvSystem system_;
  std::vector<std::vector<uint8_t>> pictures_;
};

// Writes n DV frames of maker (each optionally changed by `damage`) to a raw .dv file.
inline void WriteDvFile(const std::string& path, DvFrameMaker& maker, int n,
                        const std::function<void(int, std::vector<uint8_t>&)>& damage = {}) {
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < n; ++i) {
    auto frame = maker.Frame(i);
    if (damage) damage(i, frame);
    out.write(reinterpret_cast<const char*>(frame.data()),
              static_cast<std::streamsize>(frame.size()));
  }
}

// A raw DV file of `frames` DvFrameMaker frames in dir (the same file at each call).
inline std::string SmallDvFile(const TempDir& dir, int frames) {
  DvFrameMaker maker;
  const std::string path = dir.File("small.dv");
  if (!std::filesystem::exists(path)) WriteDvFile(path, maker, frames);
  return path;
}

// The whole frames of a raw DV file (frames of `bytes` bytes).
inline std::vector<std::vector<uint8_t>> ReadDvFrames(const std::string& path,
                                                      size_t bytes = dv::kFrameBytesPal) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> all((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; at + bytes <= all.size(); at += bytes)
    frames.emplace_back(all.begin() + static_cast<ptrdiff_t>(at),
                        all.begin() + static_cast<ptrdiff_t>(at + bytes));
  return frames;
}

// The frames of a DV file ffmpeg writes (in dir, as scene.dv): its test picture and a tone of
// `frequency` Hz, the timecode and creation time given. A few frames more than wanted are asked
// for (its DV muxer stops short of the end of its sound).
inline std::vector<std::vector<uint8_t>> FfmpegDvFrames(const TempDir& dir, size_t frames,
                                                        const std::string& timecode,
                                                        const std::string& created,
                                                        bool ntsc = false, int frequency = 1000) {
  const std::string path = dir.File("scene.dv");
  const std::string command =
      std::string("ffmpeg -v error -f lavfi -i testsrc=size=720x") +
      (ntsc ? "480:rate=30000/1001" : "576:rate=25") + " -f lavfi -i sine=frequency=" +
      std::to_string(frequency) + ":sample_rate=48000 -frames:v " + std::to_string(frames + 10) +
      " -pix_fmt " + (ntsc ? "yuv411p" : "yuv420p") +
      " -ac 2 -ar 48000 -c:a pcm_s16le -timecode '" + timecode +
      "' -metadata creation_time=" + created + " -f dv -y " + path + " 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  auto read = ReadDvFrames(path, ntsc ? dv::kFrameBytesNtsc : dv::kFrameBytesPal);
  EXPECT_GE(read.size(), frames) << command;
  read.resize(std::min(read.size(), frames));
  return read;
}

// A DV File Source that has loaded path (null when it cannot).
inline ComPtr<IBaseFilter> LoadedDvSource(const std::string& path) {
  ComPtr<IBaseFilter> source = CreateFilter(CLSID_DvFileSource);
  ComPtr<IFileSourceFilter> file = source ? QueryAs<IFileSourceFilter>(source.Get()) : nullptr;
  if (!file || FAILED(file->Load(Utf8ToWide(path).c_str(), nullptr))) return nullptr;
  return source;
}

// Streams of the AVI writer: DV type 1, 48 kHz 16-bit stereo PCM, uncompressed video.
inline avi::AviStreamFormat StreamOf(avi::AviStreamFormat::Kind kind) {
  avi::AviStreamFormat f;
  f.kind = kind;
  return f;
}
inline avi::AviStreamFormat DvType1() { return StreamOf(avi::AviStreamFormat::Kind::kDvType1); }
inline avi::AviStreamFormat PcmStream() {
  avi::AviStreamFormat f = StreamOf(avi::AviStreamFormat::Kind::kAudio);
  f.wave = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  return f;
}
inline avi::AviStreamFormat VideoStream(uint32_t compression, int width, int height, int bits,
                                        REFERENCE_TIME perFrame = kPalFrame) {
  avi::AviStreamFormat f = StreamOf(avi::AviStreamFormat::Kind::kVideo);
  const auto size = static_cast<DWORD>(width * height * bits / 8);
  f.bitmap = {40, width, height, 1, static_cast<WORD>(bits), compression, size, 0, 0, 0, 0};
  f.avgTimePerFrame = perFrame;
  return f;
}

// Writes an AVI file at path with the writer alone: the streams, the samples `write` gives (it
// checks the writer's answers), the finish.
inline void WriteAvi(const std::string& path, const std::vector<avi::AviStreamFormat>& streams,
                     const std::function<void(avi::AviWriter&)>& write,
                     avi::AviWriterOptions options = {}) {
  avi::PosixFileOutput out;
  ASSERT_EQ(out.Create(path), S_OK);
  avi::AviWriter writer(out, options);
  for (size_t i = 0; i < streams.size(); ++i)
    ASSERT_EQ(writer.AddStream(streams[i]), static_cast<int>(i));
  ASSERT_EQ(writer.Start(), S_OK);
  write(writer);
  ASSERT_EQ(writer.Finish(), S_OK);
  ASSERT_EQ(out.Close(), S_OK);
}

// The recording graph: a chain of filters (each after the first with its input as pin 0 and
// its output as pin 1; the last one's outputs from pin `firstOutput` on each feed an input of
// the mux) -> AVI Mux -> File writer (or another sink given). The methods answer failures
// rather than assert, so a child process and a benchmark use it as well as a test.
struct RecordingGraph {
  ComPtr<IGraphBuilder> graph;
  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest), writer;

  explicit RecordingGraph(ComPtr<IBaseFilter> sink = CreateFilter(CLSID_FileWriter))
      : writer(std::move(sink)) {}

  // clocked false: no clock, the source runs as fast as the file takes its samples.
  HRESULT Build(const std::vector<IBaseFilter*>& chain, bool clocked = true, int outputs = 1) {
    graph = NewGraph(clocked);
    if (!graph || !mux || !writer || chain.size() == 0) return E_FAIL;
    HRESULT hr = AddFilters(graph.Get(), {{mux.Get(), L"AVI Mux"}, {writer.Get(), L"File writer"}});
    IBaseFilter* last = nullptr;
    for (IBaseFilter* filter : chain) {
      if (SUCCEEDED(hr)) hr = graph->AddFilter(filter, nullptr);
      if (SUCCEEDED(hr) && last)
        hr = Link(graph.Get(), last, last == *chain.begin() ? 0 : 1, filter, 0);
      last = filter;
    }
    const int first = chain.size() == 1 ? 0 : 1;
    for (int i = 0; i < outputs && SUCCEEDED(hr); ++i)
      hr = Link(graph.Get(), last, first + i, mux.Get(), 1 + i);
    return SUCCEEDED(hr) ? Link(graph.Get(), mux.Get(), 0, writer.Get(), 0) : hr;
  }
  HRESULT SetFile(const std::string& path) {
    ComPtr<IFileSinkFilter> sink = QueryAs<IFileSinkFilter>(writer.Get());
    return sink ? sink->SetFileName(Utf8ToWide(path).c_str(), nullptr) : E_NOINTERFACE;
  }
  // Records into path to the end of the stream; false when it fails or does not end in time.
  bool Record(const std::string& path, long timeoutMs = 20'000) {
    return SUCCEEDED(SetFile(path)) && RunToCompletion(graph.Get(), timeoutMs);
  }
  HRESULT Run() { return RunGraph(graph.Get()); }
  HRESULT Stop() { return StopGraph(graph.Get()); }
  std::optional<LONG_PTR> WaitForEvent(long code, long timeoutMs = 20'000) {
    return WaitForGraphEvent(graph.Get(), code, timeoutMs);
  }
};

// A write (a sample at its byte range) or a sync, as an output took it.
struct WriteStep {
  bool sync = false;
  uint64_t offset = 0;
  std::vector<uint8_t> bytes;
};

// The file as it stood after the first n steps.
inline std::vector<uint8_t> ImageAfter(const std::vector<WriteStep>& steps, size_t n) {
  std::vector<uint8_t> image;
  for (size_t i = 0; i < n && i < steps.size(); ++i) {
    const WriteStep& step = steps[i];
    if (image.size() < step.offset + step.bytes.size())
      image.resize(step.offset + step.bytes.size());
    std::copy(step.bytes.begin(), step.bytes.end(),
              image.begin() + static_cast<ptrdiff_t>(step.offset));
  }
  return image;
}

// AviOutput over memory, optionally failing (like a full disk) past a byte limit; it also logs
// its writes and syncs, to rebuild the file as it stood after any of them.
class MemoryOutput : public avi::AviOutput {
 public:
  explicit MemoryOutput(uint64_t limit = UINT64_MAX) : limit_(limit) {}
  using avi::AviOutput::WriteAt;
  HRESULT WriteAt(uint64_t offset, std::initializer_list<Bytes> pieces) override {
    WriteStep& step = steps.emplace_back(WriteStep{false, offset, {}});
    for (Bytes piece : pieces) {
      const uint64_t fit = std::min<uint64_t>(piece.size(), limit_ > offset ? limit_ - offset : 0);
      if (bytes.size() < offset + fit) bytes.resize(offset + fit);
      std::copy(piece.begin(), piece.begin() + static_cast<ptrdiff_t>(fit),
                bytes.begin() + static_cast<ptrdiff_t>(offset));
      step.bytes.insert(step.bytes.end(), piece.begin(), piece.end());
      writtenEnd_ = std::max<uint64_t>(writtenEnd_, offset + fit);
      if (fit < piece.size()) return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      offset += piece.size();
    }
    return S_OK;
  }
  HRESULT Flush() override { return S_OK; }
  HRESULT Sync() override { return steps.push_back({true, 0, {}}), S_OK; }
  uint64_t WrittenEnd() const override { return writtenEnd_; }

  std::vector<uint8_t> bytes;
  std::vector<WriteStep> steps;

 private:
  uint64_t limit_, writtenEnd_ = 0;
};

// A File writer stand-in that keeps, in order, every write (a sample at its byte range) and
// every sync the mux delivers, so that a test can rebuild the file as it stood after each of
// them: what a kill at that moment leaves. Like the File writer it has the mux finish the file
// on Stop, and ends the stream with EC_COMPLETE.
class DeliveryLog : public CBaseFilter {
 public:
  DeliveryLog() : CBaseFilter(L"Delivery Log", GUID_NULL), pin_(this) {}
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
  STDMETHODIMP Stop() override {
    std::lock_guard lock(filterLock_);
    if (IsActive() && pin_.IsConnected()) {
      ComPtr<IFileWriterUpstream> upstream = QueryAs<IFileWriterUpstream>(pin_.GetConnected());
      if (upstream) upstream->FinishStream();
    }
    return CBaseFilter::Stop();
  }

  std::vector<WriteStep> Steps() {
    std::lock_guard lock(mutex_);
    return file_.steps;
  }

 private:
  class Pin : public CBaseInputPin, public IFileWriterStatus {
   public:
    explicit Pin(DeliveryLog* log) : CBaseInputPin(log, L"In"), log_(log) {}
    DECLARE_PIN_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
      if (riid == IID_IFileWriterStatus)
        return GetInterface(static_cast<IFileWriterStatus*>(this), ppv);
      return CBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT CheckMediaType(const CMediaType* mt) override {
      return *mt->Type() == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    STDMETHODIMP Receive(IMediaSample* sample) override {
      const HRESULT hr = CheckStreaming();
      if (hr != S_OK) return hr;
      REFERENCE_TIME start = 0, stop = 0;
      BYTE* data = nullptr;
      if (sample->GetTime(&start, &stop) != S_OK || FAILED(sample->GetPointer(&data)))
        return E_INVALIDARG;
      std::lock_guard lock(log_->mutex_);
      return log_->file_.WriteAt(static_cast<uint64_t>(start), data,
                                 static_cast<size_t>(sample->GetActualDataLength()));
    }
    STDMETHODIMP EndOfStream() override {
      const HRESULT hr = CBaseInputPin::EndOfStream();
      if (SUCCEEDED(hr)) log_->EndOfStreamReached();
      return hr;
    }
    STDMETHODIMP Sync() override {
      std::lock_guard lock(log_->mutex_);
      return log_->file_.Sync();
    }
    STDMETHODIMP GetWrittenEnd(ULONGLONG* end) override {
      std::lock_guard lock(log_->mutex_);
      *end = log_->file_.WrittenEnd();
      return S_OK;
    }
    // One file only.
    STDMETHODIMP NextFile(LPCOLESTR) override { return E_NOTIMPL; }

   private:
    DeliveryLog* const log_;
  };

  Pin pin_;
  std::mutex mutex_;
  MemoryOutput file_;
};

// Our reader's view of a finished recording, checked for what every such file satisfies: it
// parses, and each stream's OpenDML index lists exactly the chunks found in the movi lists.
inline avi::AviFileInfo ReadBack(const std::string& path) {
  std::string error;
  auto info = avi::AviReader::Read(path, &error);
  EXPECT_TRUE(info.has_value()) << path << ": " << error;
  if (!info) return {};
  size_t odmlTotal = 0;
  for (size_t i = 0; i < info->streams.size(); ++i) {
    const auto& odml = info->streams[i].odmlChunks;
    EXPECT_TRUE(info->streams[i].hasSuperIndex) << "stream " << i;
    odmlTotal += odml.size();
    std::vector<avi::AviChunkRef> movi;
    for (const auto& c : info->moviChunks) {
      if (c.stream == static_cast<int>(i)) movi.push_back(c);
    }
    EXPECT_EQ(odml.size(), movi.size()) << "stream " << i;
    for (size_t k = 0; k < std::min(odml.size(), movi.size()); ++k) {
      EXPECT_TRUE(odml[k].dataOffset == movi[k].dataOffset && odml[k].size == movi[k].size)
          << "stream " << i << " chunk " << k;
    }
  }
  EXPECT_EQ(odmlTotal, info->moviChunks.size());
  return *info;
}

// ffprobe finds streams of these codecs, in this order, and decodes `frames` frames of the first.
inline void ExpectProbed(const std::string& path, const std::vector<std::string>& codecs,
                         long frames) {
  const auto probed = Probe(path, {.decode = true});
  std::vector<std::string> found;
  for (const ProbedStream& s : probed) found.push_back(s.codec);
  EXPECT_EQ(found, codecs) << path;
  EXPECT_EQ(probed.empty() ? -1 : probed[0].frames, frames) << path;
}

}  // namespace vidorra::test
