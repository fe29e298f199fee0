// CPU per frame of the deinterlacer's engine (the libavfilter graph the filter runs, one thread,
// with its copy in and out of the samples' buffers) against the ffmpeg command line
// deinterlacing the same frames with the same filter and settings on one thread (see
// BenchCompare.h for how the figures are taken). Both sides read PAL frames (720 x 576 planar
// 4:2:0, as the DV decoder gives them; 10 distinct frames of noise read over and over) from the
// same raw file and deinterlace each, bottom field first, every frame, one frame out per frame
// in; each side's run is checked to have given every frame.
//
//   against `ffmpeg -threads 1 -filter_threads 1 -stream_loop N -f rawvideo -pix_fmt yuv420p
//   -s 720x576 -i F -vf bwdif=mode=send_frame:parity=bff:deint=all -f null -`. Goal: at least
//   0.9 of its rate (at most 1.11 x its CPU per frame).
#include <Deinterlacer.h>
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
using vidorra::filters::DeinterlaceGraph;
using vidorra::filters::FieldOrder;
using vidorra::filters::FrameLayout;
using vidorra::filters::PixelFormat;

constexpr int kDistinctFrames = 10;
constexpr int kShortLoops = 5;
constexpr int kLongLoops = 65;
constexpr int kWidth = 720;
constexpr int kHeight = 576;

// Our side: reads each frame from the file as ffmpeg does, pushes it into the graph and takes
// every finished frame out into an output buffer, as the filter does with its samples.
int RunDeinterlace(const std::string& rawPath, int loops) {
  const FrameLayout layout{PixelFormat::kI420, kWidth, kHeight, false};
  DeinterlaceGraph graph;
  if (!graph.Configure(layout, layout, FieldOrder::kBottomFirst)) return 2;
  const int fd = ::open(rawPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 2;
  std::vector<BYTE> frame(layout.ImageSize());
  std::vector<BYTE> picture(layout.ImageSize());
  const auto bytes = static_cast<ssize_t>(layout.ImageSize());
  long out = 0;
  for (int i = 0; i < loops * kDistinctFrames; ++i) {
    const off_t offset = static_cast<off_t>(i % kDistinctFrames) * bytes;
    if (::pread(fd, frame.data(), static_cast<size_t>(bytes), offset) != bytes ||
        !graph.Push(frame.data(), i)) {
      ::close(fd);
      return 3;
    }
    while (graph.Pull()) {
      graph.WritePulled(picture.data(), picture.size());
      ++out;
    }
  }
  ::close(fd);
  graph.PushEnd();
  while (graph.Pull()) {
    graph.WritePulled(picture.data(), picture.size());
    ++out;
  }
  std::printf("frames=%ld\n", out);
  return out == loops * kDistinctFrames ? 0 : 4;
}

void WriteFrames(const std::string& path) {
  const FrameLayout layout{PixelFormat::kI420, kWidth, kHeight, false};
  std::vector<char> frames(layout.ImageSize() * kDistinctFrames);
  uint32_t state = 12345;
  for (char& b : frames) {
    state = state * 1103515245u + 12345u;
    b = static_cast<char>(state >> 16);
  }
  std::ofstream(path, std::ios::binary)
      .write(frames.data(), static_cast<std::streamsize>(frames.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--run") {
    return RunDeinterlace(argv[2], std::atoi(argv[3]));
  }
  vidorra::test::TempDir dir;
  const std::string self = vidorra::bench::SelfPath();
  const auto loops = [](bool longRun) { return longRun ? kLongLoops : kShortLoops; };
  const std::string raw = dir.File("pal.raw");
  WriteFrames(raw);
  // Every frame must come out: ours prints "frames=N", ffmpeg's progress report "frame=N".
  const auto gave = [&](const char* key) {
    return [&, key](const ProcessResult& run, bool l) {
      const long expected = static_cast<long>(loops(l)) * kDistinctFrames;
      const long frames = vidorra::bench::OutputValue(run.output, key);
      return frames == expected
                 ? std::string()
                 : std::to_string(frames) + " frames out of " + std::to_string(expected);
    };
  };
  Compare("deinterlace I420 720x576",
          Side{"ours",
               [&](bool l) {
                 return std::vector<std::string>{self, "--run", raw, std::to_string(loops(l))};
               },
               gave("frames")},
          Side{"ffmpeg",
               [&](bool l) {
                 return std::vector<std::string>{"ffmpeg",
                                                 "-nostdin",
                                                 "-v",
                                                 "error",
                                                 "-progress",
                                                 "pipe:1",
                                                 "-threads",
                                                 "1",
                                                 "-filter_threads",
                                                 "1",
                                                 "-stream_loop",
                                                 std::to_string(loops(l) - 1),
                                                 "-f",
                                                 "rawvideo",
                                                 "-pix_fmt",
                                                 "yuv420p",
                                                 "-s",
                                                 "720x576",
                                                 "-i",
                                                 raw,
                                                 "-vf",
                                                 "bwdif=mode=send_frame:parity=bff:deint=all",
                                                 "-f",
                                                 "null",
                                                 "-"};
               },
               gave("frame")},
          kShortLoops * kDistinctFrames, kLongLoops * kDistinctFrames);
  return 0;
}
