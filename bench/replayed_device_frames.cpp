// What a replayed V4L2 device spends making its own frames (the moving test pattern drawn in
// the driver's pixel format, as V4l2PatternFrames fills a dequeued buffer): the CPU time per
// frame for the modes the sample devices stream by default and a few heavier ones. A preview
// benchmark of a replayed device takes this out of its figures: a real camera's frames cost
// the program nothing to make.
#include <benchmark/benchmark.h>
#include <linux/videodev2.h>

#include <vector>

#include "replay/V4l2PatternFrames.h"

namespace {

using vidorra::devices::replay::DriverFormat;
using vidorra::devices::replay::V4l2PatternFrames;

void BM_ReplayedFrame(benchmark::State& state, uint32_t fourcc, uint32_t width, uint32_t height) {
  const v4l2_pix_format format = DriverFormat(fourcc, width, height, V4L2_FIELD_NONE);
  auto frames = V4l2PatternFrames::Create(format);
  if (!frames) {
    state.SkipWithError("no frames in this format");
    return;
  }
  std::vector<uint8_t> buffer(format.sizeimage);
  vidorra::devices::sim::PatternScene scene;
  scene.title = "BENCH";
  scene.caption = "CAMERA 1";
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = frames->Make(scene, buffer);
    ++scene.frameNumber;
    benchmark::DoNotOptimize(buffer.data());
  }
  if (bytes == 0) state.SkipWithError("the frame did not fit");
  state.counters["bytes"] = static_cast<double>(bytes);
}

// The sample devices' default modes (webcam YUYV, grabber YUYV at PAL size, TV card YV12), and
// heavier ones: JPEG at two sizes, NV12 full HD, HM12's macroblocks.
BENCHMARK_CAPTURE(BM_ReplayedFrame, YUYV_640x480, V4L2_PIX_FMT_YUYV, 640, 480)
    ->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplayedFrame, YUYV_720x576, V4L2_PIX_FMT_YUYV, 720, 576)
    ->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplayedFrame, YV12_640x480, V4L2_PIX_FMT_YVU420, 640, 480)
    ->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplayedFrame, MJPG_1280x720, V4L2_PIX_FMT_MJPEG, 1280, 720)
    ->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplayedFrame, MJPG_1920x1080, V4L2_PIX_FMT_MJPEG, 1920, 1080)
    ->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplayedFrame, NV12_1920x1080, V4L2_PIX_FMT_NV12, 1920, 1080)
    ->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplayedFrame, HM12_720x576, V4L2_PIX_FMT_HM12, 720, 576)
    ->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
