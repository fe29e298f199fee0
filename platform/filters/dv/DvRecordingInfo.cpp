#include "DvRecordingInfo.h"

#include <cstdio>

namespace vidorra::dv {

namespace {

// Subcode block: 3-byte ID, then six sync blocks of 8 bytes (2-byte ID, a reserved byte, a pack).
constexpr size_t kSyncBlocks = 6;
constexpr size_t kSyncBlockBytes = 8;
constexpr size_t kSyncPackOffset = 3;

// A BCD field: tens under tensMask (shifted by 4), units in the low nibble; -1 when a digit is
// not one or the value passes `limit`.
int Bcd(uint8_t byte, uint8_t tensMask, int limit) {
  const int units = byte & 0x0F;
  const int tens = (byte & tensMask) >> 4;
  const int value = tens * 10 + units;
  return units > 9 || value > limit ? -1 : value;
}

// Where a pack of this id was found, by kind of block, and its first readable payload.
struct Found {
  bool present = false;
  const uint8_t* readable = nullptr;
};

template <typename Check>
void Look(const uint8_t* pack, uint8_t id, Check check, Found& found) {
  if (pack[0] != id) return;
  // A pack whose payload is blank carries nothing: as if it were not there.
  if (pack[1] == 0xFF && pack[2] == 0xFF && pack[3] == 0xFF && pack[4] == 0xFF) return;
  found.present = true;
  if (!found.readable && check(pack)) found.readable = pack;
}

bool TimecodeReads(const uint8_t* p) {
  return Bcd(p[1], 0x30, 29) >= 0 && Bcd(p[2], 0x70, 59) >= 0 && Bcd(p[3], 0x70, 59) >= 0 &&
         Bcd(p[4], 0x30, 23) >= 0;
}
bool DateReads(const uint8_t* p) {
  const int day = Bcd(p[2], 0x30, 31), month = Bcd(p[3], 0x10, 12), year = Bcd(p[4], 0xF0, 99);
  return day >= 1 && month >= 1 && year >= 0;
}
bool TimeReads(const uint8_t* p) {
  return Bcd(p[2], 0x70, 59) >= 0 && Bcd(p[3], 0x70, 59) >= 0 && Bcd(p[4], 0x30, 23) >= 0;
}

PackState StateOf(const Found& f) {
  return f.readable ? PackState::kRead : f.present ? PackState::kUnreadable : PackState::kAbsent;
}

// Days since 1970-01-01 of a civil date.
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t SecondsOf(const DvRecordedAt& r) {
  return DaysFromCivil(r.year, r.month, r.day) * 86400 + r.hours * 3600 + r.minutes * 60 +
         r.seconds;
}

}  // namespace

DvRecordingInfo ReadRecordingInfo(std::span<const uint8_t> frame, DvSystem system) {
  DvRecordingInfo info;
  const size_t sequences = std::min(FactsOf(system).sequences, frame.size() / kSequenceBytes);
  Found timecode, vauxDate, vauxTime, subDate, subTime;
  for (size_t q = 0; q < sequences; ++q) {
    const uint8_t* sequence = frame.data() + q * kSequenceBytes;
    for (size_t b = 0; b < kSubcodeBlocks; ++b) {
      const uint8_t* block = sequence + (kFirstSubcodeBlock + b) * kDifBlockBytes;
      for (size_t s = 0; s < kSyncBlocks; ++s) {
        const uint8_t* pack = block + kBlockIdBytes + s * kSyncBlockBytes + kSyncPackOffset;
        Look(pack, kPackTimecode, TimecodeReads, timecode);
        Look(pack, kPackRecordingDate, DateReads, subDate);
        Look(pack, kPackRecordingTime, TimeReads, subTime);
      }
    }
    for (size_t b = 0; b < kVauxBlocks; ++b) {
      const uint8_t* block = sequence + (kFirstVauxBlock + b) * kDifBlockBytes;
      for (size_t k = 0; k < kVauxPacksPerBlock; ++k) {
        const uint8_t* pack = block + kBlockIdBytes + k * kPackBytes;
        Look(pack, kPackRecordingDate, DateReads, vauxDate);
        Look(pack, kPackRecordingTime, TimeReads, vauxTime);
      }
    }
  }

  info.timecodeState = StateOf(timecode);
  if (const uint8_t* p = timecode.readable) {
    info.timecode = {.hours = Bcd(p[4], 0x30, 23),
                     .minutes = Bcd(p[3], 0x70, 59),
                     .seconds = Bcd(p[2], 0x70, 59),
                     .frames = Bcd(p[1], 0x30, 29),
                     .dropFrame = (p[1] & 0x40) != 0};
  }
  // The VAUX pair, else the subcode's copies.
  const bool vaux = vauxDate.present || vauxTime.present;
  const Found& date = vaux ? vauxDate : subDate;
  const Found& time = vaux ? vauxTime : subTime;
  if (date.readable && time.readable) {
    const int year = Bcd(date.readable[4], 0xF0, 99);
    info.recordedState = PackState::kRead;
    info.recorded = {.year = year + (year < 70 ? 2000 : 1900),
                     .month = Bcd(date.readable[3], 0x10, 12),
                     .day = Bcd(date.readable[2], 0x30, 31),
                     .hours = Bcd(time.readable[4], 0x30, 23),
                     .minutes = Bcd(time.readable[3], 0x70, 59),
                     .seconds = Bcd(time.readable[2], 0x70, 59)};
  } else if (date.present || time.present) {
    info.recordedState = PackState::kUnreadable;
  }
  return info;
}

std::string TimecodeText(const DvRecordingInfo& info) {
  if (info.timecodeState != PackState::kRead) return "--:--:--:--";
  const DvTimecode& t = info.timecode;
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", t.hours, t.minutes, t.seconds, t.frames);
  return text;
}

std::string RecordedAtText(const DvRecordingInfo& info) {
  if (info.recordedState != PackState::kRead) return {};
  const DvRecordedAt& r = info.recorded;
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", r.day, r.month, r.year, r.hours,
                r.minutes, r.seconds);
  return text;
}

int64_t TimecodeFrames(const DvTimecode& t, int rate) {
  const int64_t minutes = int64_t{t.hours} * 60 + t.minutes;
  int64_t frames = (minutes * 60 + t.seconds) * rate + t.frames;
  if (t.dropFrame) frames -= 2 * (minutes - minutes / 10);
  return frames;
}

bool DvSceneTracker::StartsScene(const DvRecordingInfo& frame) {
  const int rate = system_ == DvSystem::k625_50 ? 25 : 30;
  bool starts = false;
  ++framesSinceDate_;
  switch (frame.recordedState) {
    case PackState::kRead: {
      const int64_t second = SecondsOf(frame.recorded);
      // Frames of one recording advance by one second every `rate` frames; frames unread in
      // between allow for more.
      const int64_t allowed = 1 + framesSinceDate_ / rate;
      if (lastSecond_) {
        starts = second < *lastSecond_ || second - *lastSecond_ > allowed;
      } else {
        starts = !first_;  // dated frames after undated ones
      }
      lastSecond_ = second;
      framesSinceDate_ = 0;
      dated_ = true;
      break;
    }
    case PackState::kAbsent:
      starts = dated_;
      dated_ = false;
      lastSecond_.reset();
      break;
    case PackState::kUnreadable:
      break;
  }
  ++framesSinceTimecode_;
  if (frame.timecodeState == PackState::kRead) {
    const int64_t count = TimecodeFrames(frame.timecode, rate);
    if (lastFrame_ && (count < *lastFrame_ || count - *lastFrame_ > rate + framesSinceTimecode_)) {
      starts = true;
    }
    lastFrame_ = count;
    framesSinceTimecode_ = 0;
  }
  starts = starts && !first_;
  first_ = false;
  return starts;
}

}  // namespace vidorra::dv
