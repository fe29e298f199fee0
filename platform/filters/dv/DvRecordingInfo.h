// What a camcorder writes into every DV frame as it films: the tape's timecode (subcode pack
// 0x13) and the recording date and time (VAUX packs 0x62 and 0x63, or their copies in the
// subcode when the VAUX ones are absent or blank), and where a tape's scenes begin.
//
// Reading never fails: a pack that is there but does not read as a date or a time (a damaged
// frame) is kUnreadable, not a scene change by itself; a pack no block carries is kAbsent.
// Pure functions and a small value class; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "DvFrame.h"

namespace vidorra::dv {

inline constexpr uint8_t kPackTimecode = 0x13;
inline constexpr uint8_t kPackRecordingDate = 0x62;
inline constexpr uint8_t kPackRecordingTime = 0x63;

enum class PackState { kRead, kAbsent, kUnreadable };

struct DvTimecode {
  int hours = 0, minutes = 0, seconds = 0, frames = 0;
  bool dropFrame = false;  // NTSC drop-frame counting
  bool operator==(const DvTimecode&) const = default;
};

struct DvRecordedAt {
  int year = 0, month = 0, day = 0;  // year in full (a two-digit year below 70 is 20xx)
  int hours = 0, minutes = 0, seconds = 0;
  bool operator==(const DvRecordedAt&) const = default;
};

struct DvRecordingInfo {
  PackState timecodeState = PackState::kAbsent;
  DvTimecode timecode;
  PackState recordedState = PackState::kAbsent;
  DvRecordedAt recorded;
};

// The frame's timecode and recording date and time; frame: a whole DIF frame of system.
DvRecordingInfo ReadRecordingInfo(std::span<const uint8_t> frame, DvSystem system);

// "hh:mm:ss:ff" ("--:--:--:--" when not read) and "JJ/MM/AAAA hh:mm:ss" (empty when not read).
std::string TimecodeText(const DvRecordingInfo& info);
std::string RecordedAtText(const DvRecordingInfo& info);

// Frames counted from 00:00:00:00 (drop-frame numbering skips frames 0 and 1 of each minute
// but every tenth); rate: 25 or 30.
int64_t TimecodeFrames(const DvTimecode& t, int rate);

// Follows a tape frame by frame and tells where a scene begins: where the recording date and
// time jumps (backwards, or forwards by more than one second and a frame), where the timecode
// jumps the same way, or where a frame carries no recording date after frames that did.
// Unreadable packs change nothing.
class DvSceneTracker {
 public:
  explicit DvSceneTracker(DvSystem system) : system_(system) {}
  // True when this frame begins a scene other than the one the frames before it belong to
  // (false for the tape's first frame).
  bool StartsScene(const DvRecordingInfo& frame);

 private:
  DvSystem system_;
  bool first_ = true;
  bool dated_ = false;  // the frames so far carried a recording date
  std::optional<int64_t> lastSecond_;
  std::optional<int64_t> lastFrame_;
  int64_t framesSinceDate_ = 0;
  int64_t framesSinceTimecode_ = 0;
};

}  // namespace vidorra::dv
