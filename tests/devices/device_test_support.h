// Helpers of the device tests: the devices of a category and binding them, graphs on a clock
// the test moves, a sink that reads the frame numbers the simulated devices draw, and reading
// recordings back with ffprobe and ffmpeg.
#pragma once

#include <DeviceList.h>
#include <FilterPins.h>
#include <RecordingSink.h>
#include <ScopedMachine.h>
#include <TestManualClock.h>
#include <gtest/gtest.h>
#include <recording_readback.h>
#include <streams.h>
#include <temp_dir.h>
#include <wait_until.h>

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dv/DvFrame.h"

namespace vidorra::test {

// The pin's category from its property set, which must also say the category can be read.
std::optional<GUID> CategoryOfPin(IPin* pin);
std::vector<CMediaType> OfferedTypes(IPin* pin);
// Width and height of a video type (0, 0 for another type).
std::pair<int, int> VideoSizeOf(const AM_MEDIA_TYPE& type);
// The filter's first output pin of category PIN_CATEGORY_CAPTURE.
ComPtr<IPin> CapturePinOf(IBaseFilter* filter);
// The pin's capability at `index`: its media type (empty when there is none), its video caps
// into *videoCaps when asked.
CMediaType Capability(IPin* pin, int index, VIDEO_STREAM_CONFIG_CAPS* videoCaps = nullptr);
// The pin's format now (IAMStreamConfig::GetFormat).
CMediaType CurrentFormat(IPin* pin);
// Makes the pin's capability at `index` the device's format; the SetFormat result.
HRESULT ChooseCapability(IPin* pin, int index);

// A graph that runs on a manual clock starting at 0.
struct ClockedGraph {
  ClockedGraph();
  ComPtr<IGraphBuilder> graph;
  ComPtr<TestManualClock> clock;
  ComPtr<ICaptureGraphBuilder2> builder;  // working on `graph`
  // Binds the device of the category with that friendly name and adds it under its name
  // (null when it cannot be bound or added).
  ComPtr<IBaseFilter> AddDevice(REFGUID category, const std::wstring& name);
  // Adds `sink` (a renderer) under "Sink" and connects `output` straight to its input pin.
  HRESULT ConnectToSink(IPin* output, IBaseFilter* sink);
  // Adds the video device of that name (into *device), makes its capture pin's capability
  // `mode` its format (-1: keeps its own) and connects the pin to `sink`; the pin.
  ComPtr<IPin> Capture(const std::wstring& name, IBaseFilter* sink, int mode,
                       ComPtr<IBaseFilter>* device);
  // Runs with stream time 0 at clock time 0.
  HRESULT Run();
  HRESULT Stop() { return StopGraph(graph.Get()); }
  // Moves the clock to stream time `time`.
  void AdvanceTo(REFERENCE_TIME time) { clock->AdvanceTo(time); }
};

// A graph on the system clock, as the program runs them (live devices keep real time): the
// device's capture pin into a sink of its own, through what converts its pictures into what the
// sink takes; stopped when it goes.
template <class Sink>
struct LiveGraph {
  explicit LiveGraph(ComPtr<IBaseFilter> filter) : device(std::move(filter)) {
    if (!device) return;
    capture = CapturePinOf(device.Get());
    EXPECT_EQ(S_OK, AddFilters(graph.Get(), {{device.Get(), L"Device"}, {sink.Get(), L"Sink"}}));
    EXPECT_EQ(S_OK, graph->Connect(capture.Get(), sink->Input()));
  }
  ~LiveGraph() { Stop(); }
  HRESULT Run() { return RunGraph(graph.Get()); }
  HRESULT Stop() { return StopGraph(graph.Get()); }
  ComPtr<IGraphBuilder> graph = NewGraph();
  ComPtr<IBaseFilter> device;
  ComPtr<Sink> sink = MakeComObject<Sink>();
  ComPtr<IPin> capture;
};

// Delivered frame count of a capture pin (IAMDroppedFrames).
long Delivered(IPin* pin);
long Dropped(IPin* pin);
// Moves the clock frame by frame until the pin has delivered `frames` frames; false when a
// frame does not come.
bool StepFrames(ClockedGraph& graph, IPin* capturePin, long frames, REFERENCE_TIME interval);

// Frame numbers counted from the first one read: the simulated devices number their frames by
// a clock that runs from their plug-in, not from the start of a stream.
std::vector<std::optional<uint32_t>> FromFirst(const std::vector<std::optional<uint32_t>>& numbers);

// The planes Y, Cb, Cr of a picture at full resolution, rows top-down (RGB read through BT.601),
// of a picture of that subtype (YUY2, I420, IYUV, RGB24, RGB32).
using Planes = std::array<std::vector<uint8_t>, 3>;
Planes PlanesOf(const GUID& subtype, const BYTE* data, int width, int height);

// A renderer of uncompressed video (YUY2, RGB24, RGB32, I420) that reads the frame number from
// every picture and keeps the last picture's luma; it renders samples as they come.
class PatternSink : public CBaseRenderer {
 public:
  PatternSink();
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  IPin* Input() { return InputPin(); }
  // Frame numbers read (nullopt: unreadable picture) and the samples' start times (-1: none).
  std::vector<std::optional<uint32_t>> Numbers();
  std::vector<REFERENCE_TIME> Starts();
  size_t Count();
  // Mean Y, Cb and Cr of a rectangle of the last picture (rows top-down; RGB pictures are
  // read through BT.601).
  std::vector<double> MeanYuv(int x, int y, int w, int h);

 private:
  std::mutex mutex_;
  GUID subtype_ = GUID_NULL;
  int width_ = 0, height_ = 0;
  std::vector<std::optional<uint32_t>> numbers_;
  std::vector<REFERENCE_TIME> starts_;
  Planes planes_;  // of the last picture
};

// A renderer of 16-bit PCM: the RecordingSink, its sound read as one run of interleaved samples.
class SoundSink : public RecordingSink {
 public:
  SoundSink()
      : RecordingSink({.majorType = MEDIATYPE_Audio, .subtype = MEDIASUBTYPE_PCM, .keepBytes = true}) {}
  std::vector<int16_t> Pcm();
  int Channels();  // of the connection
  std::vector<REFERENCE_TIME> Starts();
};

// The frequency of a channel of interleaved sound, from its zero crossings.
double ToneFrequency(const std::vector<int16_t>& samples, int channels, int channel,
                     int sampleRate);

// The crossbar's pins as (related pin, physical type): its inputs, then its outputs.
std::vector<std::pair<long, long>> CrossbarPins(IAMCrossbar* crossbar);

// ---- Graph events ----

// The second parameter of the graph's next EC_DEVICE_LOST (0: removed, 1: back), waiting up
// to ten seconds; nullopt when none comes.
std::optional<LONG_PTR> NextDeviceLost(IGraphBuilder* graph);

// `count` DIF frames of the simulated camcorder's picture numbered from `first`, one after the
// other; a DV file (a camcorder's tape) of `frames` of them numbered from 0.
std::vector<uint8_t> CamcorderFrames(dv::DvSystem system, uint64_t first, uint32_t count);
void WriteTape(const std::string& path, dv::DvSystem system, uint32_t frames);

}  // namespace vidorra::test
