// What the last DV frame carries; see DvFrameWatch.h.
#include "DvFrameWatch.h"

namespace vidorra::devices {

void DvFrameWatch::Reset() {
  std::lock_guard lock(mutex_);
  last_ = {};
  seen_ = 0;
}

void DvFrameWatch::Look(std::span<const uint8_t> frame) {
  const auto system = dv::SystemFromHeader(frame);
  const dv::DvRecordingInfo info = system ? dv::ReadRecordingInfo(frame, *system) : dv::DvRecordingInfo{};
  std::lock_guard lock(mutex_);
  last_ = info;
  ++seen_;
}

HRESULT DvFrameWatch::Fill(DV_FRAME_INFO* info) {
  if (!info) return E_POINTER;
  *info = {};
  std::lock_guard lock(mutex_);
  info->framesSeen = seen_;
  if (seen_ == 0) return S_FALSE;
  if (last_.timecodeState == dv::PackState::kRead) {
    const dv::DvTimecode& t = last_.timecode;
    info->hasTimecode = TRUE;
    info->hours = t.hours;
    info->minutes = t.minutes;
    info->seconds = t.seconds;
    info->frames = t.frames;
    info->dropFrame = t.dropFrame ? TRUE : FALSE;
  }
  if (last_.recordedState == dv::PackState::kRead) {
    const dv::DvRecordedAt& r = last_.recorded;
    info->hasRecordingDate = TRUE;
    info->year = r.year;
    info->month = r.month;
    info->day = r.day;
    info->hour = r.hours;
    info->minute = r.minutes;
    info->second = r.seconds;
  }
  return S_OK;
}

}  // namespace vidorra::devices
