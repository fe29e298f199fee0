// Helpers shared by the AVI and DV test files (and the benchmarks): a temporary folder, running
// ffprobe/ffmpeg and reading their answers, real DV frames (picture from libavcodec, sound from
// our writer) and raw DV files of them, and the recording graph source -> AVI Mux -> File writer.
#pragma once

#include <FilterPins.h>
#include <PinUnknown.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <temp_dir.h>
#include <vidorra_filters.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "avi/AviOutput.h"
#include "avi/FileWriterProtocol.h"
#include "dv/DvAudio.h"
#include "dv/DvVideoCodec.h"

namespace vidorra::test {

// One line per stream: "codec_type,codec_name,nb_read_frames or packets".
struct ProbedStream {
  std::string type;
  std::string codec;
  long count = -1;
  double duration = -1;
};

// ffprobe's view of a file: counts frames (decoding) or packets (countPackets).
inline std::vector<ProbedStream> Probe(const std::string& path, bool useOdml = true,
                                       bool countPackets = false) {
  const std::string what = countPackets ? "nb_read_packets" : "nb_read_frames";
  const std::string cmd = std::string("ffprobe -v error ") + (useOdml ? "" : "-use_odml 0 ") +
                          (countPackets ? "-count_packets " : "-count_frames ") +
                          "-show_entries stream=codec_type,codec_name,duration," + what +
                          " -of csv=p=0 " + Quote(path) + " 2>/dev/null";
  std::vector<ProbedStream> streams;
  std::istringstream lines(RunCommand(cmd));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string item;
    while (std::getline(ss, item, ',')) f.push_back(item);
    // Entries come in the order ffprobe defines: codec_name, codec_type, duration, count.
    if (f.size() < 4) continue;
    ProbedStream s;
    s.codec = f[0];
    s.type = f[1];
    s.duration = std::atof(f[2].c_str());
    s.count = std::atol(f[3].c_str());
    streams.push_back(s);
  }
  return streams;
}

// Container duration in seconds as ffprobe reports it.
inline double ProbeFormatDuration(const std::string& path) {
  return std::atof(RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                              Quote(path) + " 2>/dev/null")
                       .c_str());
}

// Audio samples per channel that ffmpeg decodes from the file's first audio stream.
inline long DecodedAudioSamples(const std::string& path, int channels, bool useOdml = true) {
  const std::string cmd = std::string("ffmpeg -v error ") + (useOdml ? "" : "-use_odml 0 ") +
                          "-i " + Quote(path) + " -map 0:a:0 -f s16le -acodec pcm_s16le - | wc -c";
  return std::atol(RunCommand(cmd).c_str()) / (2 * channels);
}

// Writes bytes as the whole of the file at path.
inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Colour bars in YUY2 with the frame number as 32 black/white blocks across the top rows.
inline std::vector<uint8_t> Yuy2Bars(int width, int height, uint32_t number) {
  static constexpr uint8_t kBars[8][3] = {{235, 128, 128}, {210, 16, 146},  {170, 166, 16},
                                          {145, 54, 34},   {106, 202, 222}, {81, 90, 240},
                                          {41, 240, 110},  {16, 128, 128}};
  std::vector<uint8_t> image(static_cast<size_t>(width) * height * 2);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; x += 2) {
      const uint8_t* c = kBars[(x * 8) / width];
      uint8_t luma = c[0];
      if (y < 16) {
        const int bit = 31 - (x * 32) / width;
        luma = ((number >> bit) & 1) ? 235 : 16;
      }
      uint8_t* p = &image[(static_cast<size_t>(y) * width + x) * 2];
      p[0] = luma;
      p[1] = y < 16 ? 128 : c[1];
      p[2] = luma;
      p[3] = y < 16 ? 128 : c[2];
    }
  }
  return image;
}

// A 1 kHz-ish tone, distinct per channel, continuing across frames.
inline std::vector<int16_t> Tone(size_t firstSample, int samples, int rate = 48000) {
  std::vector<int16_t> pcm(static_cast<size_t>(samples) * 2);
  for (int i = 0; i < samples; ++i) {
    const double t = static_cast<double>(firstSample + i) / rate;
    pcm[2 * i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * t));
    pcm[2 * i + 1] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 440 * t));
  }
  return pcm;
}

// Makes DV frames with a picture (bars + frame number) and locked 48 kHz stereo sound.
class DvFrameMaker {
 public:
  explicit DvFrameMaker(dv::DvSystem system = dv::DvSystem::k625_50)
      : system_(system), encoder_(dv::DvVideoEncoder::Create(system)) {
    const auto& f = dv::FactsOf(system);
    for (int i = 0; i < kDistinctPictures; ++i) {
      auto image = Yuy2Bars(f.width, f.height, static_cast<uint32_t>(i));
      dv::Picture p{dv::PictureFormat::kYuy2, f.width, f.height, false, image, f.width * 2};
      std::vector<uint8_t> frame;
      if (encoder_ && SUCCEEDED(encoder_->Encode(p, frame))) pictures_.push_back(frame);
    }
  }
  bool ok() const { return !pictures_.empty(); }

  // Frame n: picture n % kDistinctPictures, sound continuing from the previous frames.
  std::vector<uint8_t> Frame(uint64_t n, std::vector<int16_t>* pcmOut = nullptr) {
    std::vector<uint8_t> frame = pictures_[n % pictures_.size()];
    dv::DvAudioFormat format;
    format.sampleRate = 48000;
    format.samplesPerFrame = dv::LockedSamplesForFrame(system_, 48000, n);
    if (n != nextFrame_) {
      samples_ = 0;
      for (uint64_t i = 0; i < n; ++i) samples_ += dv::LockedSamplesForFrame(system_, 48000, i);
    }
    const auto pcm = Tone(samples_, format.samplesPerFrame);
    dv::InsertAudio(frame, system_, format, pcm);
    samples_ += format.samplesPerFrame;
    nextFrame_ = n + 1;
    if (pcmOut) *pcmOut = pcm;
    return frame;
  }

 private:
  static constexpr int kDistinctPictures = 4;
  dv::DvSystem system_;
  std::unique_ptr<dv::DvVideoEncoder> encoder_;
  std::vector<std::vector<uint8_t>> pictures_;
  uint64_t samples_ = 0;
  uint64_t nextFrame_ = 0;
};

// Writes n DV frames of maker (each optionally changed by `damage`) to a raw .dv file; returns
// the sound they carry.
inline std::vector<int16_t> WriteDvFile(
    const std::string& path, DvFrameMaker& maker, int n,
    const std::function<void(int, std::vector<uint8_t>&)>& damage = {}) {
  std::ofstream out(path, std::ios::binary);
  std::vector<int16_t> all;
  for (int i = 0; i < n; ++i) {
    std::vector<int16_t> pcm;
    auto frame = maker.Frame(i, &pcm);
    if (damage) damage(i, frame);
    out.write(reinterpret_cast<const char*>(frame.data()),
              static_cast<std::streamsize>(frame.size()));
    all.insert(all.end(), pcm.begin(), pcm.end());
  }
  return all;
}

// A DV File Source that has loaded path (null when it cannot).
inline ComPtr<IBaseFilter> LoadedDvSource(const std::string& path) {
  ComPtr<IBaseFilter> source = CreateFilter(CLSID_DvFileSource);
  ComPtr<IFileSourceFilter> file = source ? QueryAs<IFileSourceFilter>(source.Get()) : nullptr;
  if (!file || FAILED(file->Load(Utf8ToWide(path).c_str(), nullptr))) return nullptr;
  return source;
}

// The recording graph: a source (and the filters after it, each with its input as pin 0 and its
// output as pin 1) -> AVI Mux -> File writer (or another sink given). The methods answer
// failures rather than assert, so a child process and a benchmark use it as well as a test.
struct RecordingGraph {
  ComPtr<IGraphBuilder> graph;
  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest);
  ComPtr<IBaseFilter> writer;

  explicit RecordingGraph(ComPtr<IBaseFilter> sink = CreateFilter(CLSID_FileWriter))
      : writer(std::move(sink)) {}

  // clocked false: no clock, the source runs as fast as the file takes its samples.
  HRESULT Build(std::initializer_list<IBaseFilter*> chain, bool clocked = true) {
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     graph.ReleaseAndGetVoidAddressOf());
    if (!graph || !mux || !writer || chain.size() == 0) return E_FAIL;
    if (!clocked) QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
    ComPtr<IPin> out;
    int n = 0;
    for (IBaseFilter* filter : chain) {
      HRESULT hr = graph->AddFilter(filter, (L"Filter " + std::to_wstring(++n)).c_str());
      if (SUCCEEDED(hr) && out) hr = graph->ConnectDirect(out.Get(), PinAt(filter, 0).Get(), nullptr);
      if (FAILED(hr)) return hr;
      out = PinAt(filter, out ? 1 : 0);
    }
    HRESULT hr = graph->AddFilter(mux.Get(), L"AVI Mux");
    if (SUCCEEDED(hr)) hr = graph->AddFilter(writer.Get(), L"File writer");
    if (SUCCEEDED(hr)) hr = graph->ConnectDirect(out.Get(), PinAt(mux.Get(), 1).Get(), nullptr);
    if (SUCCEEDED(hr)) {
      hr = graph->ConnectDirect(PinAt(mux.Get(), 0).Get(), PinAt(writer.Get(), 0).Get(), nullptr);
    }
    return hr;
  }
  HRESULT SetFile(const std::string& path) {
    ComPtr<IFileSinkFilter> sink = QueryAs<IFileSinkFilter>(writer.Get());
    return sink ? sink->SetFileName(Utf8ToWide(path).c_str(), nullptr) : E_NOINTERFACE;
  }
  HRESULT Run() { return QueryAs<IMediaControl>(graph.Get())->Run(); }
  HRESULT Stop() { return QueryAs<IMediaControl>(graph.Get())->Stop(); }
  std::optional<LONG_PTR> WaitForEvent(long code, long timeoutMs = 20'000) {
    return WaitForGraphEvent(graph.Get(), code, timeoutMs);
  }
};

// A File writer stand-in that keeps, in order, every write (a sample at its byte range) and
// every sync the mux delivers, so that a test can rebuild the file as it stood after each of
// them: what a kill at that moment leaves. Like the File writer it has the mux finish the file
// on Stop, and ends the stream with EC_COMPLETE.
class DeliveryLog : public CBaseFilter {
 public:
  struct Step {
    bool sync = false;
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
  };

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

  std::vector<Step> Steps() {
    std::lock_guard lock(mutex_);
    return steps_;
  }
  // The file as it stood after the first n steps.
  static std::vector<uint8_t> ImageAfter(const std::vector<Step>& steps, size_t n) {
    std::vector<uint8_t> image;
    for (size_t i = 0; i < n && i < steps.size(); ++i) {
      const Step& step = steps[i];
      if (step.sync) continue;
      if (image.size() < step.offset + step.bytes.size()) {
        image.resize(step.offset + step.bytes.size());
      }
      std::copy(step.bytes.begin(), step.bytes.end(),
                image.begin() + static_cast<ptrdiff_t>(step.offset));
    }
    return image;
  }

 private:
  class Pin : public CBaseInputPin, public IFileWriterStatus {
   public:
    explicit Pin(DeliveryLog* log) : CBaseInputPin(log, L"In"), log_(log) {}
    DECLARE_PIN_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
      if (riid == IID_IFileWriterStatus) {
        return GetInterface(static_cast<IFileWriterStatus*>(this), ppv);
      }
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
      if (sample->GetTime(&start, &stop) != S_OK || FAILED(sample->GetPointer(&data))) {
        return E_INVALIDARG;
      }
      Step step;
      step.offset = static_cast<uint64_t>(start);
      step.bytes.assign(data, data + sample->GetActualDataLength());
      std::lock_guard lock(log_->mutex_);
      log_->end_ = std::max<uint64_t>(log_->end_, step.offset + step.bytes.size());
      log_->steps_.push_back(std::move(step));
      return S_OK;
    }
    STDMETHODIMP EndOfStream() override {
      const HRESULT hr = CBaseInputPin::EndOfStream();
      if (SUCCEEDED(hr)) log_->EndOfStreamReached();
      return hr;
    }
    STDMETHODIMP Sync() override {
      std::lock_guard lock(log_->mutex_);
      log_->steps_.push_back({true, 0, {}});
      return S_OK;
    }
    STDMETHODIMP GetWrittenEnd(ULONGLONG* end) override {
      std::lock_guard lock(log_->mutex_);
      *end = log_->end_;
      return S_OK;
    }

   private:
    DeliveryLog* const log_;
  };

  Pin pin_;
  std::mutex mutex_;
  std::vector<Step> steps_;
  uint64_t end_ = 0;
};

// AviOutput over memory, optionally failing (like a full disk) past a byte limit.
class MemoryOutput : public avi::AviOutput {
 public:
  explicit MemoryOutput(uint64_t limit = UINT64_MAX) : limit_(limit) {}
  using avi::AviOutput::WriteAt;
  HRESULT WriteAt(uint64_t offset, std::initializer_list<Bytes> pieces) override {
    for (Bytes piece : pieces) {
      const uint64_t end = offset + piece.size();
      const uint64_t fit = end > limit_ ? (offset >= limit_ ? 0 : limit_ - offset) : piece.size();
      if (bytes.size() < offset + fit) bytes.resize(offset + fit);
      std::copy(piece.begin(), piece.begin() + static_cast<ptrdiff_t>(fit),
                bytes.begin() + static_cast<ptrdiff_t>(offset));
      writtenEnd_ = std::max<uint64_t>(writtenEnd_, offset + fit);
      if (fit < piece.size()) return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      offset = end;
    }
    return S_OK;
  }
  HRESULT Flush() override { return S_OK; }
  HRESULT Sync() override { return S_OK; }
  uint64_t WrittenEnd() const override { return writtenEnd_; }

  std::vector<uint8_t> bytes;

 private:
  uint64_t limit_;
  uint64_t writtenEnd_ = 0;
};

}  // namespace vidorra::test
