// The device backends: what the capture filters, crossbars, TV tuners and TV audio filters of
// this layer need from a device, whatever it is (the simulated machine, V4L2, PulseAudio,
// FireWire DV). The filters are written once over these interfaces; a backend only says what
// its device offers and moves its frames and settings, and reaches the system through a thin
// seam of its own (ioctl/read calls, a Pulse stream, a 1394 handle) so tests can fake that.
//
// A capture backend streams in two steps: NextFrame waits until the device has a frame (or
// sound buffer) ready and says when it was captured; ReadFrame then puts it where the filter
// wants it (a sample's buffer) or drops it. The filter owns the thread, the clock and the
// samples; the backend never sees a sample or a pin.
//
// Threads: a backend belongs to one filter. Capabilities, controls and routing are called on
// any thread (a property page's, the program's) and must be safe against the streaming thread;
// Open, StartStream and StopStream are called with the filter's lock held and streaming stopped;
// NextFrame and ReadFrame on the streaming thread only.
#pragma once

#include <streams.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vidorra::devices {

// Frames a device keeps for a streaming thread that is late (on a busy machine), older ones
// being lost: the buffers the V4L2 backend asks a driver for, a FireWire reception's
// isochronous buffers, the simulated devices'. About 0.4 s at 25 frames/s.
inline constexpr size_t kDeviceQueueFrames = 10;

// One format a device can deliver: the complete media type (what GetStreamCaps hands out and
// SetFormat takes) and its VIDEO_STREAM_CONFIG_CAPS or AUDIO_STREAM_CONFIG_CAPS bytes.
struct FormatCapability {
  CMediaType type;
  std::vector<BYTE> caps;
};

// What NextFrame made ready.
struct FrameInfo {
  REFERENCE_TIME captureTime = 0;  // stream time at which the frame's capture began
  REFERENCE_TIME duration = 0;     // how long it lasts
  // The device's count of frames (or sound buffers) since the stream started, drawn into the
  // simulated pictures; a gap between two frames counts the frames the device lost.
  uint64_t number = 0;
  // Its media times: the frame number and the next for a picture, the positions of its first
  // sample and of the one after its last for sound.
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
};

// The filter's side of streaming, lent to NextFrame.
class StreamTiming {
 public:
  // The stream time now: the graph clock's time since the run started (a monotonic clock
  // stands in when the graph has none). Stream time stands still while the filter is paused.
  virtual REFERENCE_TIME Now() = 0;
  // Waits until the stream time reaches streamTime while running: S_OK when reached, S_FALSE
  // when the stream is to stop. A live device that paces itself never needs it.
  virtual HRESULT WaitUntil(REFERENCE_TIME streamTime) = 0;
  // A descriptor that becomes readable when the stream is to stop: a backend blocked on its
  // device polls it with the device's own descriptor.
  virtual int InterruptFd() = 0;

 protected:
  ~StreamTiming() = default;
};

class CaptureBackend {
 public:
  virtual ~CaptureBackend() = default;

  // The formats, in the order the pins offer them (the first is the default).
  virtual std::vector<FormatCapability> Capabilities() = 0;
  // S_OK while the device is present and usable; VFW_E_NO_CAPTURE_HARDWARE once it is gone.
  virtual HRESULT Available() = 0;
  // Prepares the device to stream `format` (one of Capabilities' types).
  virtual HRESULT StartStream(const CMediaType& format) = 0;
  // Waits for the next frame: S_OK with *frame filled, S_FALSE when the stream is to stop,
  // VFW_E_NO_CAPTURE_HARDWARE when the device went away, another error when it failed.
  virtual HRESULT NextFrame(StreamTiming& timing, FrameInfo* frame) = 0;
  // Writes the frame NextFrame made ready into destination and sets *length; an empty
  // destination drops it. E_OUTOFMEMORY when destination is too small (the frame is dropped).
  virtual HRESULT ReadFrame(std::span<uint8_t> destination, size_t* length) = 0;
  virtual void StopStream() = 0;
};

// ---- Video --------------------------------------------------------------------------------

enum class VideoPinRole { kCapture, kPreview, kVideoPort };

struct VideoPinDesc {
  VideoPinRole role = VideoPinRole::kCapture;
  std::wstring name;
};

// The pins of a video capture device and what it offers besides frames.
struct VideoDeviceLayout {
  std::vector<VideoPinDesc> outputs;  // in pin order; may be empty
  // The analogue video input of a capture card, on the wire from its crossbar.
  std::optional<KSPIN_MEDIUM> analogVideoIn;
  bool vfwDialogs = false;  // capture driver dialogs for format and source
};

// A picture control (VideoProcAmpProperty) and its range, as IAMVideoProcAmp::GetRange gives.
struct ControlRange {
  long property = 0;
  long minimum = 0;
  long maximum = 0;
  long step = 1;
  long defaultValue = 0;
  long capsFlags = VideoProcAmp_Flags_Manual;
};

// The tape transport of a camcorder that has one: IDvTapeTransport's put_Mode and get_Mode
// (ED_MODE_ values and failures as vidorra_dv.h says). Any thread.
class TapeTransportBackend {
 public:
  virtual ~TapeTransportBackend() = default;
  virtual HRESULT SetMode(long mode) = 0;
  virtual HRESULT GetMode(long* mode) = 0;
};

class VideoBackend : public CaptureBackend {
 public:
  virtual VideoDeviceLayout Layout() = 0;
  // The device's tape transport, or null for a device that has none to command.
  virtual TapeTransportBackend* TapeTransport() { return nullptr; }
  // The broadcast standards the device's analogue decoder takes (AnalogVideoStandard bits;
  // 0 for a device without one), the one it decodes, and choosing one (E_INVALIDARG for a
  // standard it does not take).
  virtual long AnalogStandards() { return AnalogVideo_None; }
  virtual long AnalogStandard() { return AnalogVideo_None; }
  virtual HRESULT SetAnalogStandard(long) { return E_NOTIMPL; }
  virtual std::vector<ControlRange> PictureControls() = 0;
  // E_PROP_ID_UNSUPPORTED for a control the device lacks; E_INVALIDARG out of range.
  virtual HRESULT GetPictureControl(long property, long* value, long* flags) = 0;
  virtual HRESULT SetPictureControl(long property, long value, long flags) = 0;
};

// ---- Sound --------------------------------------------------------------------------------

// TV sound modes (TVAudioMode bits) of a device with a TV sound decoder.
class TvAudioBackend {
 public:
  virtual ~TvAudioBackend() = default;
  virtual long SupportedModes() = 0;
  // Modes the current broadcast carries (a subset of SupportedModes).
  virtual long AvailableModes() = 0;
  virtual long Mode() = 0;
  // E_INVALIDARG for a mode the device does not support.
  virtual HRESULT SetMode(long mode) = 0;
};

class AudioBackend : public CaptureBackend {
 public:
  // The device's TV sound control, or null.
  virtual TvAudioBackend* TvAudio() = 0;
};

// ---- Analogue front end of a capture card -------------------------------------------------

// A pin on an analogue wire of the card: no samples flow, the medium names the wire.
struct AnalogPinDesc {
  std::wstring name;
  PIN_DIRECTION direction = PINDIR_INPUT;
  GUID majorType = MEDIATYPE_AnalogVideo;  // or MEDIATYPE_AnalogAudio
  std::optional<KSPIN_MEDIUM> medium;      // none for a bare connector
};

// One crossbar pin: its wire, its connector type (PhysicalConnectorType) and the index of
// the related pin on the same side (the sound of a video pin and back; -1 for none).
struct CrossbarPinDesc {
  AnalogPinDesc pin;
  long physicalType = 0;
  long related = -1;
};

class CrossbarBackend {
 public:
  virtual ~CrossbarBackend() = default;
  // Inputs first in input-index order, then outputs in output-index order.
  virtual std::vector<CrossbarPinDesc> Pins() = 0;
  // Whether the hardware can join input to output (the filter has already checked that both
  // carry the same kind of signal).
  virtual bool CanRoute(long output, long input) = 0;
  // Joins input to output (input -1 leaves the output unconnected).
  virtual HRESULT Route(long output, long input) = 0;
  virtual long RoutedTo(long output) = 0;
};

struct TunerState {
  long channel = 0;
  long countryCode = 0;
  TunerInputType inputType = TunerInputAntenna;
  long tuningSpace = 0;
};

class TunerBackend {
 public:
  virtual ~TunerBackend() = default;
  virtual std::vector<AnalogPinDesc> Pins() = 0;
  virtual void ChannelRange(long* minimum, long* maximum) = 0;
  virtual TunerState State() = 0;
  // E_INVALIDARG for a channel out of range or an unknown country.
  virtual HRESULT SetChannel(long channel) = 0;
  virtual HRESULT SetCountry(long countryCode) = 0;
  virtual HRESULT SetInputType(TunerInputType type) = 0;
  virtual void SetTuningSpace(long space) = 0;
  // AnalogVideoStandard bits the tuner can receive, and the one of the current country.
  virtual long AvailableStandards() = 0;
  virtual long Standard() = 0;
  // AMTUNER_SIGNALPRESENT or AMTUNER_NOSIGNAL on `channel`.
  virtual long Signal(long channel) = 0;
  // Picture and sound carrier frequencies of the current channel, in Hz.
  virtual long VideoFrequency() = 0;
  virtual long AudioFrequency() = 0;
};

}  // namespace vidorra::devices
