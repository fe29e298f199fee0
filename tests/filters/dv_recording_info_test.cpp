// The timecode and recording date a camcorder writes into DV frames: read from frames ffmpeg
// writes (PAL, NTSC with drop-frame counting), from hand-damaged packs (blank, unreadable, only
// the subcode's copies), and a tape's scenes told apart by them.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "dv/DvRecordingInfo.h"
#include "avi_test_support.h"

namespace vidorra::dv {
namespace {

using Frame = std::vector<uint8_t>;

// Changes every pack of this id in the frame's subcode (where = 1) or VAUX (where = 2) blocks.
void EditPacks(Frame& frame, uint8_t id, int where, const std::function<void(uint8_t*)>& edit) {
  for (size_t q = 0; q < frame.size() / kSequenceBytes; ++q) {
    for (size_t b = 1; b <= 5; ++b) {
      uint8_t* block = frame.data() + q * kSequenceBytes + b * kDifBlockBytes;
      const bool subcode = b <= 2;
      if ((where == 1) != subcode) continue;
      for (size_t k = 0; k < (subcode ? 6u : 15u); ++k) {
        uint8_t* pack = block + 3 + (subcode ? k * 8 + 3 : k * 5);
        if (pack[0] == id) edit(pack);
      }
    }
  }
}

TEST(DvRecordingInfo, ReadFromFramesAsWrittenAndAsDamaged) {
  const test::TempDir dir;
  const auto pal = test::FfmpegDvFrames(dir, 6, "01:02:03:04", "2024-07-14T10:20:30Z");
  const auto ntsc = test::FfmpegDvFrames(dir, 6, "01:02:03;04", "2024-07-14T10:20:30Z", true);
  ASSERT_EQ(pal.size(), 6u);
  ASSERT_EQ(ntsc.size(), 6u);
  const auto blank = [](uint8_t* p) { std::fill(p + 1, p + 5, 0xFF); };
  const auto badSeconds = [](uint8_t* p) { p[2] = 0x7A; };
  const auto gone = [](uint8_t* p) { p[0] = 0xFF; };
  const auto pal25 = DvSystem::k625_50;
  const auto blankAll = [&](Frame& f) {
    for (int where : {1, 2}) {
      for (uint8_t id : {kPackTimecode, kPackRecordingDate, kPackRecordingTime})
        EditPacks(f, id, where, blank);
    }
  };
  const auto badTime = [&](Frame& f) {
    for (int where : {1, 2}) EditPacks(f, kPackRecordingTime, where, badSeconds);
  };
  const auto subcodeOnly = [&](Frame& f) {
    EditPacks(f, kPackRecordingDate, 2, gone);
    EditPacks(f, kPackRecordingTime, 2, gone);
  };
  // The timecode, the recording date and the state of its packs (0 read, 1 absent, 2 unreadable).
  const std::tuple<Frame, DvSystem, std::function<void(Frame&)>, std::string> rows[] = {
      {pal[0], pal25, {}, "01:02:03:04 14/07/2024 10:20:30 0"},
      {pal[5], pal25, {}, "01:02:03:09 14/07/2024 10:20:30 0"},
      {ntsc[1], DvSystem::k525_60, {}, "01:02:03:05 14/07/2024 10:20:30 0"},
      {pal[0], pal25, blankAll, "--:--:--:--  1"},
      {pal[0], pal25, badTime, "01:02:03:04  2"},
      {pal[0], pal25, subcodeOnly, "01:02:03:04 14/07/2024 10:20:30 0"},
  };
  for (auto [frame, system, damage, seen] : rows) {
    SCOPED_TRACE(seen);
    if (damage) damage(frame);
    const DvRecordingInfo info = ReadRecordingInfo(frame, system);
    EXPECT_EQ(TimecodeText(info) + " " + RecordedAtText(info) + " " +
                  std::to_string(static_cast<int>(info.recordedState)),
              seen);
  }
  EXPECT_TRUE(ReadRecordingInfo(ntsc[0], DvSystem::k525_60).timecode.dropFrame);
  EXPECT_FALSE(ReadRecordingInfo(pal[0], DvSystem::k625_50).timecode.dropFrame);
  // A short or foreign buffer reads as nothing.
  EXPECT_EQ(TimecodeText(ReadRecordingInfo(Frame(1000, 0x13), DvSystem::k625_50)), "--:--:--:--");
  // Drop-frame counting skips frames 0 and 1 of each minute but every tenth.
  EXPECT_EQ(TimecodeFrames({0, 1, 0, 2, true}, 30), 1800);
  EXPECT_EQ(TimecodeFrames({0, 10, 0, 0, true}, 30), 17982);
}

TEST(DvSceneTracker, ScenesBeginWhereTheRecordingJumps) {
  // Each frame: seconds of recording time from the start (-1 absent, -2 unreadable) and its
  // timecode in frames; the frames where a scene must begin.
  struct Row {
    const char* name;
    std::vector<std::pair<int, int>> frames;
    std::vector<size_t> starts;
  };
  auto steady = [](int from, int count, int tc) {
    std::vector<std::pair<int, int>> f;
    for (int i = 0; i < count; ++i) f.push_back({from + (i + 12) / 25, tc + i});
    return f;
  };
  auto join = [](std::vector<std::pair<int, int>> a, const std::vector<std::pair<int, int>>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Row rows[] = {
      {"one steady recording", steady(0, 80, 0), {}},
      {"a later outing", join(steady(0, 30, 0), steady(3600, 30, 30)), {30}},
      {"an earlier date", join(steady(100, 30, 0), steady(10, 30, 30)), {30}},
      {"the timecode jumps", join(steady(0, 30, 0), steady(1, 30, 500)), {30}},
      {"undated frames, then dated again",
       join(join(steady(0, 10, 0), {{-1, 10}, {-1, 11}}), steady(5000, 5, 12)),
       {10, 12}},
      {"unreadable frames change nothing",
       join(join(steady(0, 10, 0), std::vector<std::pair<int, int>>(30, {-2, -1})),
            steady(2, 5, 40)),
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DvSceneTracker tracker(DvSystem::k625_50);
    std::vector<size_t> starts;
    for (size_t i = 0; i < row.frames.size(); ++i) {
      const auto [second, tc] = row.frames[i];
      DvRecordingInfo info;
      info.recordedState = second == -1   ? PackState::kAbsent
                           : second == -2 ? PackState::kUnreadable
                                          : PackState::kRead;
      if (second >= 0) {
        info.recorded = {2024, 7, 14, 10, 20 + second / 60 % 60, second % 60};
        info.recorded.hours += second / 3600;
      }
      if (tc >= 0) {
        info.timecodeState = PackState::kRead;
        info.timecode = {0, tc / 1500, tc / 25 % 60, tc % 25, false};
      }
      if (tracker.StartsScene(info)) starts.push_back(i);
    }
    EXPECT_EQ(starts, row.starts);
  }
}

}  // namespace
}  // namespace vidorra::dv
