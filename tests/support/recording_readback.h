// Recordings read back with ffprobe and ffmpeg: the frames a file holds and the frame numbers
// the simulated devices draw into every picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vidorra::test {

// ffprobe's count of the decoded frames of the file's first video stream (-1 when it cannot
// read the file).
long ProbedFrames(const std::string& path);
// The frame numbers of the file's video pictures (width x height) as ffmpeg decodes them
// (nullopt: a picture without a readable number).
std::vector<std::optional<uint32_t>> RecordedFrameNumbers(const std::string& path, int width,
                                                          int height);

}  // namespace vidorra::test
