// A DV camcorder playing a tape; see DvTape.h.
#include "DvTape.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace vidorra::devices::replay {

namespace {

using Clock = std::chrono::steady_clock;

// Frames the bus keeps for a reader that is late; older ones are lost.
constexpr size_t kQueuedFrames = 4;

class TapeReception : public firewire::DvReception {
 public:
  TapeReception(std::shared_ptr<DvTape> tape, std::function<bool()> present)
      : tape_(std::move(tape)),
        present_(std::move(present)),
        period_(std::chrono::nanoseconds(dv::FactsOf(tape_->System()).avgTimePerFrame * 100)) {}

  Result Next(std::vector<uint8_t>* frame, int interruptFd, int timeoutMs) override {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // The tape starts playing when the stream first asks for a frame.
    if (!start_) start_ = Clock::now();
    for (;;) {
      if (!present_()) return Result::kGone;
      const Clock::time_point now = Clock::now();
      // Frame k of this reception arrives once it has been played: k + 1 periods after the
      // start.
      const Clock::time_point due = *start_ + period_ * static_cast<int64_t>(sent_ + 1);
      if (due <= now) {
        const auto behind = static_cast<size_t>((now - due) / period_);
        if (behind > kQueuedFrames) {
          tape_->Skip(behind - kQueuedFrames);
          sent_ += behind - kQueuedFrames;
        }
        if (!tape_->ReadNext(frame)) {
          // The end of the recorded area: the camcorder sends nothing more.
          if (Wait(interruptFd, deadline)) return Result::kInterrupted;
          return Result::kTimedOut;
        }
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
  size_t sent_ = 0;  // frames of this reception, delivered or lost
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

size_t DvTape::Position() {
  std::lock_guard lock(mutex_);
  return position_;
}

void DvTape::SetPosition(size_t frame) {
  std::lock_guard lock(mutex_);
  position_ = std::min(frame, frames_);
}

void DvTape::Skip(size_t count) {
  std::lock_guard lock(mutex_);
  position_ = std::min(position_ + count, frames_);
}

bool DvTape::ReadNext(std::vector<uint8_t>* frame) {
  std::lock_guard lock(mutex_);
  if (position_ >= frames_) return false;
  const size_t bytes = dv::FactsOf(system_).frameBytes;
  frame->resize(bytes);
  size_t done = 0;
  const auto offset = static_cast<off_t>(position_ * bytes);
  while (done < bytes) {
    const ssize_t got = ::pread(fd_, frame->data() + done, bytes - done, offset + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      position_ = frames_;  // what cannot be read cannot be played either
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

}  // namespace vidorra::devices::replay
