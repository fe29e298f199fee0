// Recordings read back; see recording_readback.h.
#include "recording_readback.h"

#include <temp_dir.h>

#include <cstdlib>
#include <sstream>

#include "sim/TestPattern.h"

namespace vidorra::test {

namespace {

double Rate(const std::string& fraction) {
  const size_t slash = fraction.find('/');
  const double den = slash == std::string::npos ? 1 : std::atof(fraction.c_str() + slash + 1);
  return den == 0 ? 0 : std::atof(fraction.substr(0, slash).c_str()) / den;
}

}  // namespace

std::vector<ProbedStream> Probe(const std::string& path, ProbeOptions options) {
  const std::string count = options.decode ? "nb_read_frames" : "nb_read_packets";
  // key=value lines, one [STREAM] block each.
  const std::string out = RunCommand(
      std::string("ffprobe -v error ") + (options.decode ? "-count_frames " : "-count_packets ") +
      "-show_entries stream=codec_type,codec_name,codec_tag_string,width,height,r_frame_rate,"
      "duration,sample_rate,channels," +
      count + " -of default=noprint_wrappers=0 " + Quote(path) + " 2>/dev/null");
  std::vector<ProbedStream> streams;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line == "[STREAM]") streams.emplace_back();
    const size_t equals = line.find('=');
    if (streams.empty() || equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const char* value = line.c_str() + equals + 1;
    ProbedStream& s = streams.back();
    if (key == "codec_type") s.type = value;
    if (key == "codec_name") s.codec = value;
    if (key == "codec_tag_string") s.tag = value;
    if (key == "width") s.width = std::atoi(value);
    if (key == "height") s.height = std::atoi(value);
    if (key == "r_frame_rate") s.frameRate = Rate(value);
    if (key == "duration") s.duration = std::atof(value);
    if (key == count) s.frames = std::atol(value);
    if (key == "sample_rate") s.sampleRate = std::atoi(value);
    if (key == "channels") s.channels = std::atoi(value);
  }
  return streams;
}

double ProbeDuration(const std::string& path) {
  return std::atof(RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                              Quote(path) + " 2>/dev/null")
                       .c_str());
}

long ProbedFrames(const std::string& path) {
  for (const ProbedStream& s : Probe(path, {.decode = true})) {
    if (s.type == "video") return s.frames;
  }
  return -1;
}

long RecordedSoundSamples(const std::string& path, int channels) {
  return static_cast<long>(RecordedSound(path).size()) / (2 * channels);
}

std::string RecordedSound(const std::string& path) {
  return RunCommand("ffmpeg -v error -i " + Quote(path) +
                    " -map 0:a:0 -f s16le -acodec pcm_s16le - 2>/dev/null");
}

std::vector<std::optional<uint32_t>> RecordedFrameNumbers(const std::string& path, int width,
                                                          int height, double seekSeconds) {
  const bool seek = seekSeconds > 0;
  const std::string pictures =
      RunCommand("ffmpeg -v error" + (seek ? " -ss " + std::to_string(seekSeconds) : "") + " -i " +
                 Quote(path) + " -map 0:v:0" + (seek ? " -frames:v 1" : "") +
                 " -f rawvideo -pix_fmt gray -vsync passthrough - 2>/dev/null");
  const size_t frameBytes = static_cast<size_t>(width) * height;
  std::vector<std::optional<uint32_t>> numbers;
  for (size_t at = 0; frameBytes > 0 && at + frameBytes <= pictures.size(); at += frameBytes) {
    const auto* luma = reinterpret_cast<const uint8_t*>(pictures.data() + at);
    numbers.push_back(devices::sim::ReadFrameNumber(
        [&](int x, int y) { return luma[static_cast<size_t>(y) * width + x]; }, width));
  }
  return numbers;
}

}  // namespace vidorra::test
