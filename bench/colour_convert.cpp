// CPU per frame of colour conversion to RGB32 through the platform's pixel converter (the Color
// Space Converter's engine) against the ffmpeg command line converting the same frames (see
// BenchCompare.h for how the figures are taken). Both sides read the frames from the same raw
// file (10 distinct frames, read over and over) and convert each; neither writes the result.
//
//   YUY2 -> RGB32 and planar 4:2:0 (I420) -> RGB32 (the DV preview's conversion), at 720 x 576
//   and 1280 x 720; against `ffmpeg -stream_loop N -f rawvideo -pix_fmt yuyv422|yuv420p -s WxH
//   -i F -pix_fmt bgra -f null -`. Goal: at most 1.1 x ffmpeg's CPU per frame.
#include <PixelFormatConverter.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/filters/avi_test_support.h"
#include "BenchCompare.h"

namespace {

using vidorra::bench::Compare;
using vidorra::bench::ProcessResult;
using vidorra::bench::Side;
using vidorra::filters::FrameLayout;
using vidorra::filters::PixelFormat;
using vidorra::filters::PixelFormatConverter;

constexpr int kDistinctFrames = 10;
constexpr int kShortLoops = 10;
constexpr int kLongLoops = 50;

struct Case {
  const char* name;
  PixelFormat format;
  const char* ffmpegFormat;
  int width;
  int height;
};
constexpr Case kCases[] = {
    {"yuy2", PixelFormat::kYuy2, "yuyv422", 720, 576},
    {"yuy2", PixelFormat::kYuy2, "yuyv422", 1280, 720},
    {"i420", PixelFormat::kI420, "yuv420p", 720, 576},
    {"i420", PixelFormat::kI420, "yuv420p", 1280, 720},
};

// Our side: reads each frame from the file as ffmpeg does and converts it into a bottom-up
// RGB32 bitmap, as the Color Space Converter hands them to the Video Renderer.
int RunConvert(const Case& c, const std::string& rawPath, int loops) {
  const FrameLayout in{c.format, c.width, c.height, false};
  const FrameLayout out{PixelFormat::kRgb32, c.width, c.height, true};
  PixelFormatConverter converter;
  if (!converter.Configure(in, out)) return 2;
  const int fd = ::open(rawPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 2;
  // Buffers as the filters' allocators give them: room after the frame.
  std::vector<BYTE> frame(in.ImageSize() + PixelFormatConverter::kBufferPadding);
  std::vector<BYTE> picture(out.ImageSize() + PixelFormatConverter::kBufferPadding);
  const auto bytes = static_cast<ssize_t>(in.ImageSize());
  for (int i = 0; i < loops * kDistinctFrames; ++i) {
    const off_t offset = static_cast<off_t>(i % kDistinctFrames) * bytes;
    if (::pread(fd, frame.data(), static_cast<size_t>(bytes), offset) != bytes ||
        !converter.Convert(frame.data(), frame.size(), picture.data(), picture.size())) {
      ::close(fd);
      return 3;
    }
  }
  ::close(fd);
  return 0;
}

void WriteFrames(const Case& c, const std::string& path) {
  const FrameLayout layout{c.format, c.width, c.height, false};
  std::vector<char> frames(layout.ImageSize() * kDistinctFrames);
  uint32_t state = 12345;
  for (char& b : frames) {
    state = state * 1103515245u + 12345u;
    b = static_cast<char>(state >> 16);
  }
  std::ofstream(path, std::ios::binary).write(frames.data(), static_cast<std::streamsize>(frames.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 6 && std::string(argv[1]) == "--run") {
    const int index = std::atoi(argv[2]);
    if (index < 0 || index >= static_cast<int>(std::size(kCases))) return 1;
    return RunConvert(kCases[index], argv[3], std::atoi(argv[4]));
  }
  vidorra::test::TempDir dir;
  const std::string self = vidorra::bench::SelfPath();
  const auto loops = [](bool longRun) { return longRun ? kLongLoops : kShortLoops; };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const Case& c = kCases[i];
    const std::string raw = dir.File(std::string(c.name) + ".raw");
    WriteFrames(c, raw);
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    const auto ok = [](const ProcessResult&, bool) { return std::string(); };
    Compare(std::string(c.name) + " -> RGB32 " + size,
            Side{"ours",
                 [&](bool l) {
                   return std::vector<std::string>{self, "--run", std::to_string(i), raw,
                                                   std::to_string(loops(l)), "x"};
                 },
                 ok},
            Side{"ffmpeg",
                 [&](bool l) {
                   return std::vector<std::string>{
                       "ffmpeg",       "-nostdin", "-v", "error", "-threads", "1",
                       "-filter_threads", "1",  "-stream_loop", std::to_string(loops(l) - 1),
                       "-f", "rawvideo", "-pix_fmt", c.ffmpegFormat, "-s", size, "-i", raw,
                       "-pix_fmt", "bgra", "-f", "null", "-"};
                 },
                 ok},
            kShortLoops * kDistinctFrames, kLongLoops * kDistinctFrames);
  }
  return 0;
}
