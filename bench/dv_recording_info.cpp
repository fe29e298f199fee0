// What reading a DV frame's timecode and recording date costs (every pack of the subcode and
// VAUX blocks looked at, as a tape capture does for each frame to find its scenes): the goal is
// well under 10 us a frame. Frames: real DV frames (the numbered pattern through our encoder)
// with the packs a camcorder writes, and one whose packs are blank (nothing found: the whole
// frame is searched).
#include <benchmark/benchmark.h>

#include "../tests/filters/avi_test_support.h"
#include "dv/DvRecordingInfo.h"

namespace {

using vidorra::dv::DvSceneTracker;
using vidorra::dv::DvSystem;
using vidorra::dv::kPackRecordingDate;
using vidorra::dv::kPackRecordingTime;
using vidorra::dv::kPackTimecode;

// A PAL frame with a timecode and a recording date in every sequence's subcode and VAUX.
std::vector<uint8_t> DatedFrame() {
  vidorra::test::DvFrameMaker maker;
  std::vector<uint8_t> frame = maker.Frame(0);
  namespace dv = vidorra::dv;
  for (size_t q = 0; q < dv::kSequencesPal; ++q) {
    uint8_t* sequence = frame.data() + q * dv::kSequenceBytes;
    uint8_t* subcode = sequence + dv::kFirstSubcodeBlock * dv::kDifBlockBytes + 3 + 3;
    const uint8_t timecode[5] = {kPackTimecode, 0x04, 0x03, 0x02, 0x01};
    std::copy_n(timecode, 5, subcode);
    uint8_t* vaux = sequence + dv::kFirstVauxBlock * dv::kDifBlockBytes + 3;
    const uint8_t date[5] = {kPackRecordingDate, 0xFF, 0x14, 0x07, 0x24};
    const uint8_t time[5] = {kPackRecordingTime, 0xFF, 0x30, 0x20, 0x10};
    std::copy_n(date, 5, vaux + 5 * 10);
    std::copy_n(time, 5, vaux + 5 * 11);
  }
  return frame;
}

void BM_ReadRecordingInfo(benchmark::State& state, bool dated) {
  const std::vector<uint8_t> frame = dated ? DatedFrame() : vidorra::test::DvFrameMaker().Frame(0);
  DvSceneTracker tracker(DvSystem::k625_50);
  for (auto _ : state) {
    const auto info = vidorra::dv::ReadRecordingInfo(frame, DvSystem::k625_50);
    benchmark::DoNotOptimize(tracker.StartsScene(info));
  }
  if (dated && vidorra::dv::ReadRecordingInfo(frame, DvSystem::k625_50).recordedState !=
                   vidorra::dv::PackState::kRead) {
    state.SkipWithError("the recording date was not read");
  }
}

BENCHMARK_CAPTURE(BM_ReadRecordingInfo, Dated, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadRecordingInfo, Blank, false)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
