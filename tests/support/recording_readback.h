// Recordings read back with ffprobe and ffmpeg, readers nobody here wrote: the streams a file
// holds, its sound, and the frame numbers the simulated devices draw into every picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vidorra::test {

struct ProbedStream {
  // The type (video, audio), the codec (dvvideo, rawvideo, mjpeg, pcm_s16le, ...) and the tag:
  // the fourcc (dvsd, MJPG, ...), or "[1][0][0][0]" when it has none.
  std::string type, codec, tag;
  int width = 0, height = 0;
  double frameRate = 0, duration = -1;  // duration: seconds, as the stream header gives it
  long frames = 0;       // packets read, or frames decoded
  int sampleRate = 0, channels = 0;
};
struct ProbeOptions {
  bool decode = false;  // count decoded frames rather than packets
};
// ffprobe's view of a file's streams (none when it cannot read the file).
std::vector<ProbedStream> Probe(const std::string& path, ProbeOptions options = {});
// The container's duration in seconds.
double ProbeDuration(const std::string& path);
// ffprobe's count of the decoded frames of the file's first video stream (-1 when it cannot
// read the file).
long ProbedFrames(const std::string& path);
// The samples per channel ffmpeg decodes from the file's first sound stream.
long RecordedSoundSamples(const std::string& path, int channels);
// That sound's bytes, as 16-bit samples.
std::string RecordedSound(const std::string& path);
// The frame numbers of the file's video pictures (width x height) as ffmpeg decodes them
// (nullopt: a picture without a readable number); with seekSeconds, of the one picture ffmpeg
// seeks to there through the file's index.
std::vector<std::optional<uint32_t>> RecordedFrameNumbers(const std::string& path, int width,
                                                          int height, double seekSeconds = 0);

}  // namespace vidorra::test
