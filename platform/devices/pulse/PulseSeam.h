// The thin seam between the sound capture backend and the sound server (libpulse; PipeWire
// serves the same protocol): listing the server's sources and recording one of them. The real
// seam talks to the server; tests put a fake in its place.
//
// Threads: a seam is shared by the device lister and the filters, so Sources, Record and
// WatchSources may be called on any thread (each call opens its own connection). A recording
// belongs to the streaming thread that reads it, a watch to the thread that waits on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vidorra::devices::pulse {

struct PulseSource {
  std::string name;         // the server's stable name of the source
  std::string description;  // its human-readable name
  bool monitor = false;     // it is the monitor of a sink (what is played), not an input
};

struct RecordFormat {
  int sampleRate = 48000;
  int channels = 2;          // 16-bit signed little-endian, interleaved
  size_t fragmentBytes = 0;  // how much the server sends at a time
};

class PulseRecording {
 public:
  enum class Result {
    kData,         // bytes were appended
    kInterrupted,  // the interrupt descriptor became readable
    kTimedOut,     // nothing within the wait
    kGone,         // the server or the source went away
  };
  virtual ~PulseRecording() = default;
  // Waits up to timeoutMs for sound, appending what arrived to *out. Returns kInterrupted as
  // soon as interruptFd (when >= 0) is readable.
  virtual Result Read(std::vector<uint8_t>* out, int interruptFd, int timeoutMs) = 0;
  // The server's reports of sound lost because the stream was not read in time (overruns),
  // and bytes lost in holes of the stream, since the recording began.
  virtual uint64_t Overruns() = 0;
};

// The server's reports of its sources coming and going.
class PulseSourceWatch {
 public:
  enum class Result {
    kChanged,      // a source was added or removed
    kInterrupted,  // the interrupt descriptor became readable
    kGone,         // the server went away: no report will come any more
  };
  virtual ~PulseSourceWatch() = default;
  // Waits for the next report, or until interruptFd is readable.
  virtual Result Wait(int interruptFd) = 0;
};

class PulseSeam {
 public:
  virtual ~PulseSeam() = default;
  // The server's sources in its order; nullopt when no server answers.
  virtual std::optional<std::vector<PulseSource>> Sources() = 0;
  // Starts recording the source; null (and the reason in *error) when that fails.
  virtual std::unique_ptr<PulseRecording> Record(const std::string& source,
                                                 const RecordFormat& format,
                                                 std::string* error) = 0;
  // Subscribes to the server's source events; null when no server answers. Every change
  // after the return is reported.
  virtual std::unique_ptr<PulseSourceWatch> WatchSources() = 0;
};

// The seam over libpulse, connecting to the default server (PULSE_SERVER, the user's runtime
// folder), never starting one.
std::shared_ptr<PulseSeam> MakeLibPulseSeam();

}  // namespace vidorra::devices::pulse
