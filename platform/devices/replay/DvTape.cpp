// A DV camcorder playing a tape; see DvTape.h.
#include "DvTape.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "DeviceBackend.h"
#include "firewire/AvcTapeTransport.h"

namespace vidorra::devices::replay {

namespace {

using Clock = std::chrono::steady_clock;

// Frames the bus keeps for a reader that is late (as a real reception's buffers); older ones
// are lost.
constexpr size_t kQueuedFrames = kDeviceQueueFrames;
// How often a reception looks whether a tape that does not play plays again.
constexpr auto kIdleLook = std::chrono::milliseconds(20);

class TapeReception : public firewire::DvReception {
 public:
  TapeReception(std::shared_ptr<DvTape> tape, std::function<bool()> present)
      : tape_(std::move(tape)),
        present_(std::move(present)),
        period_(tape_->Period()) {}

  uint64_t FramesLeftOut() const override { return leftOut_; }

  Result Next(std::vector<uint8_t>* frame, int interruptFd, int timeoutMs) override {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (!present_()) return Result::kGone;
      const Clock::time_point now = Clock::now();
      if (tape_->GetMotion() != DvTape::Motion::kPlaying) {
        // No frame while the tape does not play (at its end, too): look again shortly.
        if (Wait(interruptFd, std::min(deadline, now + kIdleLook))) return Result::kInterrupted;
        if (Clock::now() >= deadline) return Result::kTimedOut;
        continue;
      }
      // The pacing starts when the stream first asks for a frame of this play.
      const uint64_t plays = tape_->PlayCount();
      if (!start_ || plays != plays_) {
        start_ = now;
        sent_ = 0;
        plays_ = plays;
      }
      // Frame k of this play arrives once it has been played: k + 1 periods after the start.
      const Clock::time_point due = *start_ + period_ * static_cast<int64_t>(sent_ + 1);
      if (due <= now) {
        const auto behind = static_cast<size_t>((now - due) / period_);
        if (behind > kQueuedFrames) {
          tape_->Skip(behind - kQueuedFrames);
          sent_ += behind - kQueuedFrames;
          leftOut_ += behind - kQueuedFrames;
        }
        // False when the tape stopped at its end or was stopped meanwhile: looked at again.
        if (!tape_->ReadNext(frame)) continue;
        ++sent_;
        return Result::kFrame;
      }
      if (Wait(interruptFd, std::min(due, deadline))) return Result::kInterrupted;
      if (Clock::now() >= deadline && due > deadline) return Result::kTimedOut;
    }
  }

 private:
  // Waits until `until` or the interrupt; true when interrupted.
  static bool Wait(int interruptFd, Clock::time_point until) {
    const auto left = std::max(Clock::duration::zero(), until - Clock::now());
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    pollfd fd{interruptFd, POLLIN, 0};
    const int ready = ::poll(&fd, interruptFd >= 0 ? 1 : 0, static_cast<int>(ms));
    return ready > 0 && (fd.revents & POLLIN);
  }

  const std::shared_ptr<DvTape> tape_;
  const std::function<bool()> present_;
  const Clock::duration period_;
  std::optional<Clock::time_point> start_;
  uint64_t plays_ = 0;
  size_t sent_ = 0;     // frames of this play, delivered or lost
  uint64_t leftOut_ = 0;  // frames lost, every play
};

}  // namespace

std::shared_ptr<DvTape> DvTape::Open(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  struct stat info {};
  std::vector<uint8_t> first(dv::kPalFacts.frameBytes);
  const ssize_t got = ::fstat(fd, &info) == 0 ? ::pread(fd, first.data(), first.size(), 0) : -1;
  const auto system =
      got > 0 ? dv::SystemFromHeader(std::span(first.data(), static_cast<size_t>(got))) : std::nullopt;
  if (!system) {
    ::close(fd);
    if (error) *error = "not a DV file";
    return nullptr;
  }
  const size_t frames = static_cast<size_t>(info.st_size) / dv::FactsOf(*system).frameBytes;
  return std::shared_ptr<DvTape>(new DvTape(fd, *system, frames));
}

DvTape::DvTape(int fd, dv::DvSystem system, size_t frames)
    : fd_(fd), system_(system), frames_(frames) {}

DvTape::~DvTape() { ::close(fd_); }

std::chrono::nanoseconds DvTape::Period() const {
  return std::chrono::nanoseconds(dv::FactsOf(system_).avgTimePerFrame * 100);
}

void DvTape::SettleLocked() {
  if (motion_ != Motion::kRewinding && motion_ != Motion::kFastForwarding) return;
  const auto wound = static_cast<size_t>(kWindSpeed * ((Clock::now() - windStart_) / Period()));
  if (motion_ == Motion::kRewinding) {
    position_ = windFrom_ > wound ? windFrom_ - wound : 0;
    if (position_ == 0) motion_ = Motion::kStopped;
  } else {
    position_ = std::min(windFrom_ + wound, frames_);
    if (position_ == frames_) motion_ = Motion::kStopped;
  }
}

size_t DvTape::Position() {
  std::lock_guard lock(mutex_);
  SettleLocked();
  return position_;
}

void DvTape::SetPosition(size_t frame) {
  std::lock_guard lock(mutex_);
  SettleLocked();
  position_ = std::min(frame, frames_);
  windFrom_ = position_;
  windStart_ = Clock::now();
}

DvTape::Motion DvTape::GetMotion() {
  std::lock_guard lock(mutex_);
  SettleLocked();
  return motion_;
}

void DvTape::SetMotion(Motion motion) {
  std::lock_guard lock(mutex_);
  SettleLocked();
  if (motion == Motion::kPlaying && motion_ != Motion::kPlaying) ++plays_;
  motion_ = motion;
  windFrom_ = position_;
  windStart_ = Clock::now();
}

uint64_t DvTape::PlayCount() {
  std::lock_guard lock(mutex_);
  return plays_;
}

void DvTape::Skip(size_t count) {
  std::lock_guard lock(mutex_);
  position_ = std::min(position_ + count, frames_);
}

bool DvTape::ReadNext(std::vector<uint8_t>* frame) {
  std::lock_guard lock(mutex_);
  SettleLocked();
  if (motion_ != Motion::kPlaying) return false;
  if (position_ >= frames_) {
    motion_ = Motion::kStopped;  // a camcorder stops at the end of what it recorded
    return false;
  }
  const size_t bytes = dv::FactsOf(system_).frameBytes;
  frame->resize(bytes);
  size_t done = 0;
  const auto offset = static_cast<off_t>(position_ * bytes);
  while (done < bytes) {
    const ssize_t got = ::pread(fd_, frame->data() + done, bytes - done, offset + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      position_ = frames_;  // what cannot be read cannot be played either
      motion_ = Motion::kStopped;
      return false;
    }
    done += static_cast<size_t>(got);
  }
  ++position_;
  return true;
}

DvTapeSeam::DvTapeSeam(std::shared_ptr<DvTape> tape, uint64_t guid, std::string name,
                       std::function<bool()> present)
    : tape_(std::move(tape)), guid_(guid), name_(std::move(name)), present_(std::move(present)) {}

std::vector<firewire::DvCamera> DvTapeSeam::Cameras() {
  if (!present_()) return {};
  return {{guid_, name_, tape_->System()}};
}

std::unique_ptr<firewire::DvReception> DvTapeSeam::Receive(uint64_t guid, std::string* error) {
  if (guid != guid_ || !present_()) {
    if (error) *error = "the camcorder is not on the bus";
    return nullptr;
  }
  return std::make_unique<TapeReception>(tape_, present_);
}

std::vector<uint8_t> DvTapeSeam::AvcCommand(uint64_t guid, std::span<const uint8_t> command) {
  namespace avc = firewire::avc;
  if (guid != guid_ || !present_() || command.size() < 4) return {};
  std::vector<uint8_t> response(command.begin(), command.end());
  response[0] = avc::kNotImplemented;
  if (command[1] != avc::kTapeSubunit) return response;
  using Motion = DvTape::Motion;
  const uint8_t opcode = command[2];
  const uint8_t operand = command[3];
  if (command[0] == avc::kStatus && opcode == avc::kOpTransportState &&
      operand == avc::kAskTransportState) {
    static constexpr std::array<std::pair<uint8_t, uint8_t>, 5> kStates = {{
        {avc::kOpWind, avc::kWindStop},          // kStopped
        {avc::kOpPlay, avc::kPlayForward},       // kPlaying
        {avc::kOpPlay, avc::kPlayForwardPause},  // kPaused
        {avc::kOpWind, avc::kWindRewind},        // kRewinding
        {avc::kOpWind, avc::kWindFastForward},   // kFastForwarding
    }};
    const auto state = kStates[static_cast<size_t>(tape_->GetMotion())];
    response[0] = avc::kStable;
    response[2] = state.first;
    response[3] = state.second;
    return response;
  }
  if (command[0] != avc::kControl) return response;
  std::optional<Motion> motion;
  if (opcode == avc::kOpPlay && operand == avc::kPlayForward) motion = Motion::kPlaying;
  if (opcode == avc::kOpPlay && operand == avc::kPlayForwardPause) motion = Motion::kPaused;
  if (opcode == avc::kOpWind && operand == avc::kWindStop) motion = Motion::kStopped;
  if (opcode == avc::kOpWind && (operand == avc::kWindRewind || operand == avc::kWindHighSpeedRewind)) {
    motion = Motion::kRewinding;
  }
  if (opcode == avc::kOpWind && operand == avc::kWindFastForward) motion = Motion::kFastForwarding;
  if (!motion) return response;
  tape_->SetMotion(*motion);
  response[0] = avc::kAccepted;
  return response;
}

}  // namespace vidorra::devices::replay
