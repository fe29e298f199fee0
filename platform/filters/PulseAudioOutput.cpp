// PCM playback through libpulse's threaded main loop; see PulseAudioOutput.h.
#include "PulseAudioOutput.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <algorithm>

namespace vidorra::filters {
namespace {

constexpr double kHundredthsPerDb = 100.0;
// Target buffer in the server: long enough to ride over scheduling hiccups, short enough that
// a volume change or a stop is heard promptly.
constexpr pa_usec_t kTargetLatencyUs = 200'000;
constexpr unsigned kBitsPerByte = 8;

std::optional<pa_sample_format_t> SampleFormatOf(WORD bitsPerSample) {
  switch (bitsPerSample) {
    case 8:
      return PA_SAMPLE_U8;
    case 16:
      return PA_SAMPLE_S16LE;
    case 24:
      return PA_SAMPLE_S24LE;
    case 32:
      return PA_SAMPLE_S32LE;
    default:
      return std::nullopt;
  }
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

}  // namespace

uint32_t PulseVolumeFromHundredthsDb(long hundredthsDb) {
  if (hundredthsDb <= kSilenceHundredthsDb) return PA_VOLUME_MUTED;
  if (hundredthsDb >= kFullHundredthsDb) return PA_VOLUME_NORM;
  return pa_sw_volume_from_dB(static_cast<double>(hundredthsDb) / kHundredthsPerDb);
}

// Holds the main loop's lock for a scope. Never taken on the loop's own thread (callbacks
// already run under it).
class PulseAudioOutput::Lock {
 public:
  explicit Lock(pa_threaded_mainloop* loop) : loop_(loop) {
    if (loop_) pa_threaded_mainloop_lock(loop_);
  }
  ~Lock() {
    if (loop_) pa_threaded_mainloop_unlock(loop_);
  }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

void PulseAudioOutput::LoopDeleter::operator()(pa_threaded_mainloop* loop) const {
  pa_threaded_mainloop_free(loop);
}
void PulseAudioOutput::ContextDeleter::operator()(pa_context* context) const {
  pa_context_unref(context);
}
void PulseAudioOutput::StreamDeleter::operator()(pa_stream* stream) const {
  pa_stream_unref(stream);
}

PulseAudioOutput::PulseAudioOutput(std::string streamName) : streamName_(std::move(streamName)) {}

PulseAudioOutput::~PulseAudioOutput() { Close(); }

bool PulseAudioOutput::Open(const WAVEFORMATEX& format, std::string* error) {
  Close();
  loop_.reset(pa_threaded_mainloop_new());
  if (!loop_ || pa_threaded_mainloop_start(loop_.get()) < 0) {
    SetError(error, "cannot start the sound main loop");
    loop_.reset();
    return false;
  }
  bool ok = false;
  {
    Lock lock(loop_.get());
    flushing_ = false;
    lateBytes_ = 0;
    ok = ConnectLocked(error) && CreateStreamLocked(format, error);
  }
  if (!ok) Close();
  return ok;
}

bool PulseAudioOutput::ConnectLocked(std::string* error) {
  context_.reset(pa_context_new(pa_threaded_mainloop_get_api(loop_.get()), streamName_.c_str()));
  if (!context_) {
    SetError(error, "cannot create a sound server context");
    return false;
  }
  pa_context_set_state_callback(context_.get(), &PulseAudioOutput::OnContextState, this);
  // No autospawn: on a machine without a sound server the renderer runs silently instead.
  if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    SetError(error, pa_strerror(pa_context_errno(context_.get())));
    return false;
  }
  for (;;) {
    const pa_context_state_t state = pa_context_get_state(context_.get());
    if (state == PA_CONTEXT_READY) return true;
    if (!PA_CONTEXT_IS_GOOD(state)) {
      SetError(error, pa_strerror(pa_context_errno(context_.get())));
      return false;
    }
    pa_threaded_mainloop_wait(loop_.get());
  }
}

bool PulseAudioOutput::CreateStreamLocked(const WAVEFORMATEX& format, std::string* error) {
  const auto sampleFormat = SampleFormatOf(format.wBitsPerSample);
  pa_sample_spec sampleSpec{};
  sampleSpec.format = sampleFormat.value_or(PA_SAMPLE_INVALID);
  sampleSpec.rate = format.nSamplesPerSec;
  sampleSpec.channels = static_cast<uint8_t>(format.nChannels);
  if (format.wFormatTag != WAVE_FORMAT_PCM || !sampleFormat || format.nChannels == 0 ||
      format.nChannels > PA_CHANNELS_MAX || !pa_sample_spec_valid(&sampleSpec) ||
      format.nBlockAlign != format.nChannels * format.wBitsPerSample / kBitsPerByte) {
    SetError(error, "unsupported PCM format");
    return false;
  }
  channels_ = sampleSpec.channels;
  stream_.reset(pa_stream_new(context_.get(), streamName_.c_str(), &sampleSpec, nullptr));
  if (!stream_) {
    SetError(error, pa_strerror(pa_context_errno(context_.get())));
    return false;
  }
  pa_stream_set_state_callback(stream_.get(), &PulseAudioOutput::OnStreamState, this);
  pa_stream_set_write_callback(stream_.get(), &PulseAudioOutput::OnStreamRequest, this);

  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &sampleSpec));
  attributes.prebuf = static_cast<uint32_t>(-1);
  attributes.minreq = static_cast<uint32_t>(-1);
  attributes.fragsize = static_cast<uint32_t>(-1);
  pa_cvolume volume;
  pa_cvolume_set(&volume, channels_, PulseVolumeFromHundredthsDb(volume_.load()));
  const auto flags =
      static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                     PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
  if (pa_stream_connect_playback(stream_.get(), nullptr, &attributes, flags, &volume, nullptr) <
      0) {
    SetError(error, pa_strerror(pa_context_errno(context_.get())));
    return false;
  }
  for (;;) {
    const pa_stream_state_t state = pa_stream_get_state(stream_.get());
    if (state == PA_STREAM_READY) return true;
    if (!PA_STREAM_IS_GOOD(state)) {
      SetError(error, pa_strerror(pa_context_errno(context_.get())));
      return false;
    }
    pa_threaded_mainloop_wait(loop_.get());
  }
}

bool PulseAudioOutput::IsOpen() const {
  Lock lock(loop_.get());
  return StreamUsableLocked();
}

bool PulseAudioOutput::StreamUsableLocked() const {
  return stream_ && pa_stream_get_state(stream_.get()) == PA_STREAM_READY;
}

void PulseAudioOutput::Close() {
  if (!loop_) return;
  {
    Lock lock(loop_.get());
    if (stream_) {
      pa_stream_set_state_callback(stream_.get(), nullptr, nullptr);
      pa_stream_set_write_callback(stream_.get(), nullptr, nullptr);
      pa_stream_disconnect(stream_.get());
      stream_.reset();
    }
    if (context_) {
      pa_context_set_state_callback(context_.get(), nullptr, nullptr);
      pa_context_disconnect(context_.get());
      context_.reset();
    }
  }
  pa_threaded_mainloop_stop(loop_.get());
  loop_.reset();
}

bool PulseAudioOutput::Write(const void* data, size_t size, Deadline deadline) {
  if (!loop_) return false;
  Lock lock(loop_.get());
  const auto* bytes = static_cast<const uint8_t*>(data);
  const size_t frameBytes = stream_ ? pa_frame_size(pa_stream_get_sample_spec(stream_.get())) : 1;
  pa_time_event* timer = nullptr;
  bool result = true;
  size_t offset = 0;
  while (offset < size) {
    if (flushing_ || !StreamUsableLocked()) {
      result = false;
      break;
    }
    const size_t room = pa_stream_writable_size(stream_.get());
    if (room == static_cast<size_t>(-1)) {
      result = false;
      break;
    }
    size_t chunk = std::min(room, size - offset);
    // Whole frames only; a trailing partial frame is written once it is all there is.
    if (chunk < size - offset) chunk -= chunk % frameBytes;
    if (chunk == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        lateBytes_ += size - offset;
        break;
      }
      if (!timer && deadline != Deadline::max()) timer = StartTimerLocked(deadline);
      pa_threaded_mainloop_wait(loop_.get());
      continue;
    }
    if (pa_stream_write(stream_.get(), bytes + offset, chunk, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
      result = false;
      break;
    }
    offset += chunk;
  }
  FreeTimerLocked(timer);
  return result;
}

pa_time_event* PulseAudioOutput::StartTimerLocked(Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
      deadline - std::chrono::steady_clock::now());
  // The server's real-time clock and the steady clock are both the monotonic clock.
  const pa_usec_t at =
      pa_rtclock_now() + static_cast<pa_usec_t>(std::max<int64_t>(left.count(), 0));
  auto onTime = [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseAudioOutput*>(self)->loop_.get(), 0);
  };
  return pa_context_rttime_new(context_.get(), at, onTime, this);
}

void PulseAudioOutput::FreeTimerLocked(pa_time_event* timer) {
  if (!timer) return;
  pa_threaded_mainloop_get_api(loop_.get())->time_free(timer);
}

void PulseAudioOutput::SetPaused(bool paused) {
  if (!loop_) return;
  Lock lock(loop_.get());
  if (!StreamUsableLocked()) return;
  if (pa_operation* op = pa_stream_cork(stream_.get(), paused ? 1 : 0, nullptr, nullptr)) {
    pa_operation_unref(op);
  }
}

void PulseAudioOutput::BeginFlush() {
  if (!loop_) return;
  Lock lock(loop_.get());
  flushing_ = true;
  if (StreamUsableLocked()) {
    if (pa_operation* op = pa_stream_flush(stream_.get(), nullptr, nullptr)) {
      pa_operation_unref(op);
    }
  }
  pa_threaded_mainloop_signal(loop_.get(), 0);
}

void PulseAudioOutput::EndFlush() {
  if (!loop_) return;
  Lock lock(loop_.get());
  flushing_ = false;
}

bool PulseAudioOutput::Drain() {
  if (!loop_) return false;
  Lock lock(loop_.get());
  if (!StreamUsableLocked()) return false;
  // A corked stream never drains.
  if (pa_operation* op = pa_stream_cork(stream_.get(), 0, nullptr, nullptr)) {
    pa_operation_unref(op);
  }
  return WaitForOperationLocked(pa_stream_drain(stream_.get(), &PulseAudioOutput::OnSuccess, this));
}

bool PulseAudioOutput::WaitForOperationLocked(pa_operation* operation) {
  if (!operation) return false;
  while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
    if (!StreamUsableLocked()) break;
    pa_threaded_mainloop_wait(loop_.get());
  }
  const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
  pa_operation_unref(operation);
  return done;
}

void PulseAudioOutput::SetVolume(long hundredthsDb) {
  volume_.store(std::clamp(hundredthsDb, kSilenceHundredthsDb, kFullHundredthsDb));
  if (!loop_) return;
  Lock lock(loop_.get());
  ApplyVolumeLocked();
}

void PulseAudioOutput::ApplyVolumeLocked() {
  if (!StreamUsableLocked()) return;
  pa_cvolume volume;
  pa_cvolume_set(&volume, channels_, PulseVolumeFromHundredthsDb(volume_.load()));
  if (pa_operation* op = pa_context_set_sink_input_volume(
          context_.get(), pa_stream_get_index(stream_.get()), &volume, nullptr, nullptr)) {
    pa_operation_unref(op);
  }
}

std::optional<uint32_t> PulseAudioOutput::ServerVolume() {
  if (!loop_) return std::nullopt;
  Lock lock(loop_.get());
  if (!StreamUsableLocked()) return std::nullopt;
  struct Query {
    pa_threaded_mainloop* loop;
    std::optional<uint32_t> volume;
  } query{loop_.get(), std::nullopt};
  auto onInfo = [](pa_context*, const pa_sink_input_info* info, int, void* user) {
    auto* q = static_cast<Query*>(user);
    if (info) q->volume = pa_cvolume_avg(&info->volume);
    pa_threaded_mainloop_signal(q->loop, 0);
  };
  pa_operation* op = pa_context_get_sink_input_info(
      context_.get(), pa_stream_get_index(stream_.get()), onInfo, &query);
  if (!op) return std::nullopt;
  while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
    pa_threaded_mainloop_wait(loop_.get());
  }
  pa_operation_unref(op);
  return query.volume;
}

std::optional<uint64_t> PulseAudioOutput::PlayedMicroseconds() {
  if (!loop_) return std::nullopt;
  Lock lock(loop_.get());
  if (!StreamUsableLocked()) return std::nullopt;
  pa_usec_t played = 0;
  if (pa_stream_get_time(stream_.get(), &played) < 0) return std::nullopt;
  return played;
}

void PulseAudioOutput::OnContextState(pa_context*, void* self) {
  pa_threaded_mainloop_signal(static_cast<PulseAudioOutput*>(self)->loop_.get(), 0);
}

void PulseAudioOutput::OnStreamState(pa_stream*, void* self) {
  pa_threaded_mainloop_signal(static_cast<PulseAudioOutput*>(self)->loop_.get(), 0);
}

void PulseAudioOutput::OnStreamRequest(pa_stream*, size_t, void* self) {
  pa_threaded_mainloop_signal(static_cast<PulseAudioOutput*>(self)->loop_.get(), 0);
}

void PulseAudioOutput::OnSuccess(pa_stream*, int, void* self) {
  pa_threaded_mainloop_signal(static_cast<PulseAudioOutput*>(self)->loop_.get(), 0);
}

}  // namespace vidorra::filters
