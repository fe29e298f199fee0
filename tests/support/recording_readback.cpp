// Recordings read back; see recording_readback.h.
#include "recording_readback.h"

#include <temp_dir.h>

#include <cstdlib>

#include "sim/TestPattern.h"

namespace vidorra::test {

long ProbedFrames(const std::string& path) {
  const std::string command =
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
      "-of csv=p=0 " +
      Quote(path) + " 2>/dev/null";
  int status = 0;
  const std::string out = RunCommand(command, &status);
  char* end = nullptr;
  const long frames = std::strtol(out.c_str(), &end, 10);
  return status == 0 && end != out.c_str() ? frames : -1;
}

std::vector<std::optional<uint32_t>> RecordedFrameNumbers(const std::string& path, int width,
                                                          int height) {
  const std::string pictures =
      RunCommand("ffmpeg -v error -i " + Quote(path) +
                 " -map 0:v:0 -f rawvideo -pix_fmt gray -vsync passthrough - 2>/dev/null");
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
