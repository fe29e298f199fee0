// The seam over libpulse: one plain main loop per connection, run by the calling thread, its
// poll also watching the caller's interrupt descriptor; see PulseSeam.h.
#include "PulseSeam.h"

#include <poll.h>
#include <pulse/pulseaudio.h>

#include <chrono>
#include <vector>

namespace vidorra::devices::pulse {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectTimeoutMs = 2000;
constexpr const char* kClientName = "Vidorra capture";

// A connection to the server with its own main loop.
class Connection {
 public:
  Connection() = default;
  ~Connection() {
    if (stream_) {
      pa_stream_set_overflow_callback(stream_, nullptr, nullptr);
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
    }
    if (context_) {
      pa_context_disconnect(context_);
      pa_context_unref(context_);
    }
    if (loop_) pa_mainloop_free(loop_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Connect(std::string* error) {
    loop_ = pa_mainloop_new();
    if (!loop_) return Fail(error, "no main loop");
    pa_mainloop_set_poll_func(loop_, &Connection::Poll, this);
    context_ = pa_context_new(pa_mainloop_get_api(loop_), kClientName);
    if (!context_) return Fail(error, "no context");
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      return Fail(error, pa_strerror(pa_context_errno(context_)));
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    for (;;) {
      const pa_context_state_t state = pa_context_get_state(context_);
      if (state == PA_CONTEXT_READY) return true;
      if (!PA_CONTEXT_IS_GOOD(state)) return Fail(error, pa_strerror(pa_context_errno(context_)));
      if (!Iterate(deadline)) return Fail(error, "the sound server does not answer");
    }
  }

  bool ContextGood() const {
    return context_ && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
  }

  // Runs the loop once, waiting at most until the deadline; false when the deadline passed or
  // the loop failed.
  bool Iterate(Clock::time_point deadline, int interruptFd = -1) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    interruptFd_ = interruptFd;
    interrupted_ = false;
    if (pa_mainloop_prepare(loop_, static_cast<int>(left.count())) < 0) return false;
    if (pa_mainloop_poll(loop_) < 0) return false;
    return pa_mainloop_dispatch(loop_) >= 0;
  }
  // Runs the loop once without waiting: what the server has sent is taken in.
  bool IterateNow(int interruptFd) {
    interruptFd_ = interruptFd;
    interrupted_ = false;
    if (pa_mainloop_prepare(loop_, 0) < 0) return false;
    if (pa_mainloop_poll(loop_) < 0) return false;
    return pa_mainloop_dispatch(loop_) >= 0;
  }
  bool Interrupted() const { return interrupted_; }

  // Waits for an operation; false on timeout or a dead connection.
  bool Wait(pa_operation* operation, Clock::time_point deadline) {
    if (!operation) return false;
    bool done = true;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
      if (!ContextGood() || !Iterate(deadline)) {
        done = false;
        break;
      }
    }
    if (done) done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return done;
  }

  pa_context* Context() const { return context_; }
  pa_stream* stream_ = nullptr;

 private:
  static bool Fail(std::string* error, const char* text) {
    if (error) *error = text ? text : "sound server error";
    return false;
  }

  // The loop's poll, with the interrupt descriptor added.
  static int Poll(struct pollfd* fds, unsigned long count, int timeout, void* self) {
    auto* connection = static_cast<Connection*>(self);
    if (connection->interruptFd_ < 0) return ::poll(fds, count, timeout);
    std::vector<struct pollfd> all(fds, fds + count);
    all.push_back({connection->interruptFd_, POLLIN, 0});
    const int ready = ::poll(all.data(), all.size(), timeout);
    if (ready < 0) return ready;
    for (unsigned long i = 0; i < count; ++i) fds[i].revents = all[i].revents;
    if (all.back().revents != 0) {
      connection->interrupted_ = true;
      return ready - 1;
    }
    return ready;
  }

  pa_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  int interruptFd_ = -1;
  bool interrupted_ = false;
};

class LibPulseRecording : public PulseRecording {
 public:
  explicit LibPulseRecording(std::unique_ptr<Connection> connection)
      : connection_(std::move(connection)) {
    pa_stream_set_overflow_callback(connection_->stream_, &LibPulseRecording::OnOverflow, this);
  }

  Result Read(std::vector<uint8_t>* out, int interruptFd, int timeoutMs) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pa_stream* stream = connection_->stream_;
    bool takenIn = false;
    for (;;) {
      if (!connection_->ContextGood() || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        return Result::kGone;
      }
      if (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0) return Result::kGone;
        if (data) {
          const auto* first = static_cast<const uint8_t*>(data);
          out->insert(out->end(), first, first + bytes);
        } else if (bytes > 0) {
          // A hole: sound the server lost. Silence keeps the times of what follows right.
          out->insert(out->end(), bytes, 0);
          ++overruns_;
        }
        if (bytes > 0) pa_stream_drop(stream);
        if (!out->empty()) return Result::kData;
        continue;
      }
      if (!takenIn) {
        // First take in what the server has already sent, then wait for more.
        takenIn = true;
        if (!connection_->IterateNow(interruptFd)) return Result::kGone;
        if (connection_->Interrupted()) return Result::kInterrupted;
        continue;
      }
      if (!connection_->Iterate(deadline, interruptFd)) {
        if (connection_->Interrupted()) return Result::kInterrupted;
        if (Clock::now() >= deadline) return Result::kTimedOut;
        return Result::kGone;
      }
      if (connection_->Interrupted()) return Result::kInterrupted;
    }
  }

  uint64_t Overruns() override { return overruns_; }

 private:
  static void OnOverflow(pa_stream* /*stream*/, void* self) {
    ++static_cast<LibPulseRecording*>(self)->overruns_;
  }

  std::unique_ptr<Connection> connection_;
  uint64_t overruns_ = 0;
};

// The subscription runs the connection's loop on the waiting thread, its poll also watching
// the interrupt descriptor: the wait needs no thread of its own.
class LibPulseSourceWatch : public PulseSourceWatch {
 public:
  explicit LibPulseSourceWatch(std::unique_ptr<Connection> connection)
      : connection_(std::move(connection)) {
    pa_context_set_subscribe_callback(connection_->Context(), &LibPulseSourceWatch::OnEvent, this);
  }
  ~LibPulseSourceWatch() override {
    pa_context_set_subscribe_callback(connection_->Context(), nullptr, nullptr);
  }

  bool Subscribe() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    return connection_->Wait(
        pa_context_subscribe(connection_->Context(), PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr),
        deadline);
  }

  Result Wait(int interruptFd) override {
    for (;;) {
      if (changed_) {
        changed_ = false;
        return Result::kChanged;
      }
      if (!connection_->ContextGood()) return Result::kGone;
      const bool ran = connection_->Iterate(Clock::now() + kWaitSlice, interruptFd);
      if (connection_->Interrupted()) return Result::kInterrupted;
      if (!ran) return Result::kGone;
    }
  }

 private:
  static constexpr std::chrono::seconds kWaitSlice{60};

  static void OnEvent(pa_context* /*context*/, pa_subscription_event_type_t type,
                      uint32_t /*index*/, void* self) {
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE) return;
    const unsigned kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (kind == PA_SUBSCRIPTION_EVENT_NEW || kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
      static_cast<LibPulseSourceWatch*>(self)->changed_ = true;
    }
  }

  std::unique_ptr<Connection> connection_;
  bool changed_ = false;
};

// A recording never moves to another source: the source going away ends the stream (the
// server would otherwise carry on recording whatever source it falls back to).
class LibPulseSeam : public PulseSeam {
 public:
  std::optional<std::vector<PulseSource>> Sources() override {
    Connection connection;
    if (!connection.Connect(nullptr)) return std::nullopt;
    std::vector<PulseSource> sources;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    pa_operation* operation = pa_context_get_source_info_list(
        connection.Context(),
        [](pa_context*, const pa_source_info* info, int last, void* list) {
          if (last || !info) return;
          static_cast<std::vector<PulseSource>*>(list)->push_back(
              {info->name ? info->name : "", info->description ? info->description : "",
               info->monitor_of_sink != PA_INVALID_INDEX});
        },
        &sources);
    if (!connection.Wait(operation, deadline)) return std::nullopt;
    return sources;
  }

  std::unique_ptr<PulseRecording> Record(const std::string& source, const RecordFormat& format,
                                         std::string* error) override {
    auto connection = std::make_unique<Connection>();
    if (!connection->Connect(error)) return nullptr;
    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_S16LE;
    sampleFormat.rate = static_cast<uint32_t>(format.sampleRate);
    sampleFormat.channels = static_cast<uint8_t>(format.channels);
    if (!pa_sample_spec_valid(&sampleFormat)) {
      if (error) *error = "invalid sound format";
      return nullptr;
    }
    pa_channel_map map;
    pa_channel_map_init_auto(&map, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
    connection->stream_ = pa_stream_new(connection->Context(), kClientName, &sampleFormat, &map);
    if (!connection->stream_) {
      if (error) *error = pa_strerror(pa_context_errno(connection->Context()));
      return nullptr;
    }
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(-1);
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(format.fragmentBytes);
    if (pa_stream_connect_record(
            connection->stream_, source.c_str(), &attributes,
            static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE)) < 0) {
      if (error) *error = pa_strerror(pa_context_errno(connection->Context()));
      return nullptr;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    for (;;) {
      const pa_stream_state_t state = pa_stream_get_state(connection->stream_);
      if (state == PA_STREAM_READY) break;
      if (!PA_STREAM_IS_GOOD(state) || !connection->ContextGood() ||
          !connection->Iterate(deadline)) {
        if (error) *error = pa_strerror(pa_context_errno(connection->Context()));
        return nullptr;
      }
    }
    return std::make_unique<LibPulseRecording>(std::move(connection));
  }

  std::unique_ptr<PulseSourceWatch> WatchSources() override {
    auto connection = std::make_unique<Connection>();
    if (!connection->Connect(nullptr)) return nullptr;
    auto watch = std::make_unique<LibPulseSourceWatch>(std::move(connection));
    if (!watch->Subscribe()) return nullptr;
    return watch;
  }
};

}  // namespace

std::shared_ptr<PulseSeam> MakeLibPulseSeam() { return std::make_shared<LibPulseSeam>(); }

}  // namespace vidorra::devices::pulse
