// Helpers shared by the AVI and DV test files: a temporary folder, running ffprobe/ffmpeg and
// reading their answers, and real DV frames (picture from libavcodec, sound from our writer).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "avi/AviOutput.h"
#include "dv/DvAudio.h"
#include "dv/DvVideoCodec.h"

namespace vidorra::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vidorra-avi-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs a shell command and returns its standard output ("" and *status != 0 on failure).
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    if (status) *status = -1;
    return out;
  }
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int rc = ::pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

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
  dv::DvSystem system() const { return system_; }

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

// AviOutput over memory, optionally failing (like a full disk) past a byte limit.
class MemoryOutput : public avi::AviOutput {
 public:
  explicit MemoryOutput(uint64_t limit = UINT64_MAX) : limit_(limit) {}
  HRESULT WriteAt(uint64_t offset, const uint8_t* data, size_t size) override {
    const uint64_t end = offset + size;
    const uint64_t fit = end > limit_ ? (offset >= limit_ ? 0 : limit_ - offset) : size;
    if (bytes.size() < offset + fit) bytes.resize(offset + fit);
    std::copy(data, data + fit, bytes.begin() + static_cast<ptrdiff_t>(offset));
    writtenEnd_ = std::max<uint64_t>(writtenEnd_, offset + fit);
    return fit == size ? S_OK : HRESULT_FROM_WIN32(ERROR_DISK_FULL);
  }
  HRESULT Flush() override { return S_OK; }
  HRESULT Sync() override {
    ++syncs;
    return S_OK;
  }
  uint64_t WrittenEnd() const override { return writtenEnd_; }

  std::vector<uint8_t> bytes;
  int syncs = 0;

 private:
  uint64_t limit_;
  uint64_t writtenEnd_ = 0;
};

}  // namespace vidorra::test
