// PCM playback through the sound server (libpulse, threaded main loop; PipeWire serves the
// same protocol). The default audio renderer owns one and calls it from its streaming thread;
// every method may be called from any thread, each takes the main loop's lock.
//
// Without a sound server Open() fails and the renderer paces itself on the graph clock, so
// graphs still run on machines without sound.
#pragma once

#include <mmreg.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_operation;
struct pa_time_event;

namespace vidorra::filters {

// Volume in hundredths of a decibel as IBasicAudio gives it (-10000 silence, 0 full level)
// to the sound server's software volume. -10000 and below are true silence, not -100 dB.
constexpr long kSilenceHundredthsDb = -10000;
constexpr long kFullHundredthsDb = 0;
uint32_t PulseVolumeFromHundredthsDb(long hundredthsDb);

class PulseAudioOutput {
 public:
  explicit PulseAudioOutput(std::string streamName);
  ~PulseAudioOutput();
  PulseAudioOutput(const PulseAudioOutput&) = delete;
  PulseAudioOutput& operator=(const PulseAudioOutput&) = delete;

  // Connects to the server and creates a playback stream for 8/16/24/32-bit integer PCM,
  // starting paused. False (with the reason in *error when given) when there is no server
  // or it refuses the stream; the object is then closed.
  bool Open(const WAVEFORMATEX& format, std::string* error = nullptr);
  bool IsOpen() const;
  void Close();

  using Deadline = std::chrono::steady_clock::time_point;
  // Writes every byte, waiting for room in the server's buffer, but not past `deadline`: what
  // the server has not made room for by then (a sink that starts late, a stalled server) is
  // dropped and counted in LateBytes(), so that a caller on a live stream never falls behind
  // it. True when every byte was written or dropped as late; false when the stream failed, is
  // closed, or a flush interrupted the wait (the rest is dropped).
  bool Write(const void* data, size_t size, Deadline deadline = Deadline::max());
  // Bytes dropped because the server had no room for them in time, since the last Open.
  uint64_t LateBytes() const { return lateBytes_.load(); }
  // Paused streams keep their buffer and stop consuming it.
  void SetPaused(bool paused);
  // Drops the buffered sound and makes blocked and further writes return at once until
  // EndFlush.
  void BeginFlush();
  void EndFlush();
  // Waits until everything written has been played. False when the stream failed.
  bool Drain();

  // Applies the volume to the stream (and remembers it for streams opened later).
  void SetVolume(long hundredthsDb);
  long Volume() const { return volume_.load(); }

  // What the server reports for the stream: its volume (average over channels) and the
  // microseconds played so far. Empty when closed or the server does not answer.
  std::optional<uint32_t> ServerVolume();
  std::optional<uint64_t> PlayedMicroseconds();

 private:
  struct LoopDeleter {
    void operator()(pa_threaded_mainloop* loop) const;
  };
  struct ContextDeleter {
    void operator()(pa_context* context) const;
  };
  struct StreamDeleter {
    void operator()(pa_stream* stream) const;
  };
  class Lock;

  bool ConnectLocked(std::string* error);
  bool CreateStreamLocked(const WAVEFORMATEX& format, std::string* error);
  bool StreamUsableLocked() const;
  void ApplyVolumeLocked();
  bool WaitForOperationLocked(pa_operation* operation);

  static void OnContextState(pa_context* context, void* self);
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnStreamRequest(pa_stream* stream, size_t bytes, void* self);
  static void OnSuccess(pa_stream* stream, int success, void* self);
  // Wakes a writer waiting for room once `deadline` has passed; freed with FreeTimerLocked.
  pa_time_event* StartTimerLocked(Deadline deadline);
  void FreeTimerLocked(pa_time_event* timer);

  const std::string streamName_;
  std::atomic<long> volume_{kFullHundredthsDb};
  std::atomic<uint64_t> lateBytes_{0};
  unsigned channels_ = 0;
  bool flushing_ = false;  // guarded by the main loop's lock
  // Destroyed in reverse order: stream, context, then the loop (after it has been stopped).
  std::unique_ptr<pa_threaded_mainloop, LoopDeleter> loop_;
  std::unique_ptr<pa_context, ContextDeleter> context_;
  std::unique_ptr<pa_stream, StreamDeleter> stream_;
};

}  // namespace vidorra::filters
