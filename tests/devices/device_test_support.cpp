// Helpers of the device tests; see device_test_support.h.
#include "device_test_support.h"

#include <amvideo.h>
#include <mmreg.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <span>

#include "sim/DvCamcorderFrames.h"
#include "sim/TestPattern.h"

namespace vidorra::test {

namespace {

// The type handed out (null: none), owned by the result.
CMediaType Adopted(AM_MEDIA_TYPE* type) {
  CMediaType mt;
  if (type) mt.Adopt(*type);
  CoTaskMemFree(type);
  return mt;
}

}  // namespace

std::optional<GUID> CategoryOfPin(IPin* pin) {
  ComPtr<IKsPropertySet> properties = QueryAs<IKsPropertySet>(pin);
  if (!properties) return std::nullopt;
  GUID category{};
  DWORD returned = 0, support = 0;
  if (FAILED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                             sizeof category, &returned)) ||
      properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support) != S_OK ||
      support != KSPROPERTY_SUPPORT_GET) {
    return std::nullopt;
  }
  return category;
}

std::vector<CMediaType> OfferedTypes(IPin* pin) {
  std::vector<CMediaType> types;
  ComPtr<IEnumMediaTypes> e;
  if (FAILED(pin->EnumMediaTypes(e.GetAddressOf())) || !e) return types;
  AM_MEDIA_TYPE* next = nullptr;
  while (e->Next(1, &next, nullptr) == S_OK && next) types.push_back(Adopted(next));
  return types;
}

std::pair<int, int> VideoSizeOf(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER)) return {0, 0};
  VIDEOINFOHEADER vih;
  std::memcpy(&vih, type.pbFormat, sizeof vih);
  return {vih.bmiHeader.biWidth, std::abs(vih.bmiHeader.biHeight)};
}

ComPtr<IPin> CapturePinOf(IBaseFilter* filter) {
  for (const ComPtr<IPin>& pin : PinsOf(filter)) {
    PIN_DIRECTION direction = PINDIR_INPUT;
    pin->QueryDirection(&direction);
    if (direction == PINDIR_OUTPUT && CategoryOfPin(pin.Get()) == PIN_CATEGORY_CAPTURE) return pin;
  }
  return nullptr;
}

CMediaType Capability(IPin* pin, int index, VIDEO_STREAM_CONFIG_CAPS* videoCaps) {
  ComPtr<IAMStreamConfig> config = QueryAs<IAMStreamConfig>(pin);
  AM_MEDIA_TYPE* type = nullptr;
  // Room for either caps structure.
  BYTE caps[sizeof(VIDEO_STREAM_CONFIG_CAPS) + sizeof(AUDIO_STREAM_CONFIG_CAPS)] = {};
  if (config && config->GetStreamCaps(index, &type, caps) != S_OK) type = nullptr;
  if (videoCaps) std::memcpy(videoCaps, caps, sizeof *videoCaps);
  return Adopted(type);
}

CMediaType CurrentFormat(IPin* pin) {
  AM_MEDIA_TYPE* type = nullptr;
  ComPtr<IAMStreamConfig> config = QueryAs<IAMStreamConfig>(pin);
  if (config && config->GetFormat(&type) != S_OK) type = nullptr;
  return Adopted(type);
}

HRESULT ChooseCapability(IPin* pin, int index) {
  ComPtr<IAMStreamConfig> config = QueryAs<IAMStreamConfig>(pin);
  if (!config) return E_NOINTERFACE;
  CMediaType mt = Capability(pin, index);
  return config->SetFormat(&mt);
}

// ---- Graphs on a manual clock ----

ClockedGraph::ClockedGraph() : graph(NewGraph()), clock(MakeComObject<TestManualClock>()) {
  EXPECT_EQ(S_OK,
            CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_ICaptureGraphBuilder2, builder.ReleaseAndGetVoidAddressOf()));
  if (graph && builder) builder->SetFiltergraph(graph.Get());
  if (ComPtr<IMediaFilter> filter = QueryAs<IMediaFilter>(graph.Get())) {
    filter->SetSyncSource(clock.Get());
  }
}

ComPtr<IBaseFilter> ClockedGraph::AddDevice(REFGUID category, const std::wstring& name) {
  ComPtr<IBaseFilter> device = BindDevice(category, name);
  if (!device || FAILED(graph->AddFilter(device.Get(), name.c_str()))) return nullptr;
  return device;
}

HRESULT ClockedGraph::ConnectToSink(IPin* output, IBaseFilter* sink) {
  const HRESULT hr = graph->AddFilter(sink, L"Sink");
  return FAILED(hr) ? hr : graph->ConnectDirect(output, PinAt(sink, 0).Get(), nullptr);
}

ComPtr<IPin> ClockedGraph::Capture(const std::wstring& name, IBaseFilter* sink, int mode,
                                   ComPtr<IBaseFilter>* device) {
  *device = AddDevice(CLSID_VideoInputDeviceCategory, name);
  ComPtr<IPin> pin = CapturePinOf(device->Get());
  EXPECT_TRUE(pin && (mode < 0 || ChooseCapability(pin.Get(), mode) == S_OK));
  EXPECT_EQ(S_OK, ConnectToSink(pin.Get(), sink));
  return pin;
}

HRESULT ClockedGraph::Run() {
  ComPtr<IMediaFilter> filter = QueryAs<IMediaFilter>(graph.Get());
  return filter ? filter->Run(0) : E_NOINTERFACE;
}

long Delivered(IPin* pin) {
  long count = -1;
  if (ComPtr<IAMDroppedFrames> frames = QueryAs<IAMDroppedFrames>(pin)) frames->GetNumNotDropped(&count);
  return count;
}

long Dropped(IPin* pin) {
  long count = -1;
  if (ComPtr<IAMDroppedFrames> frames = QueryAs<IAMDroppedFrames>(pin)) frames->GetNumDropped(&count);
  return count;
}

bool StepFrames(ClockedGraph& graph, IPin* capturePin, long frames, REFERENCE_TIME interval) {
  for (long n = Delivered(capturePin); n < frames; n = Delivered(capturePin)) {
    graph.AdvanceTo(n * interval);
    if (!WaitUntil([&] { return Delivered(capturePin) > n; })) return false;
  }
  return true;
}

std::vector<std::pair<long, long>> CrossbarPins(IAMCrossbar* crossbar) {
  long outputs = 0, inputs = 0;
  crossbar->get_PinCounts(&outputs, &inputs);
  std::vector<std::pair<long, long>> pins;
  for (long i = 0; i < inputs + outputs; ++i) {
    long related = -1, type = -1;
    crossbar->get_CrossbarPinInfo(i < inputs, i < inputs ? i : i - inputs, &related, &type);
    pins.emplace_back(related, type);
  }
  return pins;
}

// ---- PatternSink ----

PatternSink::PatternSink() : CBaseRenderer(L"Pattern Sink", GUID_NULL) {}

std::vector<std::optional<uint32_t>> FromFirst(const std::vector<std::optional<uint32_t>>& numbers) {
  std::vector<std::optional<uint32_t>> counted;
  for (const auto& number : numbers) {
    counted.push_back(number && numbers.front() ? std::optional(*number - *numbers.front())
                                                : std::nullopt);
  }
  return counted;
}

HRESULT PatternSink::CheckMediaType(const CMediaType* mt) {
  if (!mt || mt->majortype != MEDIATYPE_Video || mt->formattype != FORMAT_VideoInfo ||
      mt->cbFormat < sizeof(VIDEOINFOHEADER)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  const GUID& s = mt->subtype;
  if (s != MEDIASUBTYPE_YUY2 && s != MEDIASUBTYPE_RGB24 && s != MEDIASUBTYPE_RGB32 &&
      s != MEDIASUBTYPE_I420 && s != MEDIASUBTYPE_IYUV) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  VIDEOINFOHEADER vih;
  std::memcpy(&vih, mt->pbFormat, sizeof vih);
  std::lock_guard lock(mutex_);
  subtype_ = s;
  width_ = vih.bmiHeader.biWidth;
  height_ = std::abs(vih.bmiHeader.biHeight);
  return S_OK;
}

Planes PlanesOf(const GUID& subtype, const BYTE* data, int w, int h) {
  const size_t pixels = static_cast<size_t>(w) * h;
  Planes planes = {std::vector<uint8_t>(pixels, 0), std::vector<uint8_t>(pixels, 128),
                   std::vector<uint8_t>(pixels, 128)};
  auto& [y, u, v] = planes;
  if (subtype == MEDIASUBTYPE_YUY2) {
    const int stride = (w * 2 + 3) / 4 * 4;
    for (int row = 0; row < h; ++row) {
      const BYTE* p = data + static_cast<size_t>(row) * stride;
      for (int x = 0; x < w; ++x) {
        const size_t i = static_cast<size_t>(row) * w + x;
        y[i] = p[2 * x];
        u[i] = p[4 * (x / 2) + 1];
        v[i] = p[4 * (x / 2) + 3];
      }
    }
  } else if (subtype == MEDIASUBTYPE_I420 || subtype == MEDIASUBTYPE_IYUV) {
    const BYTE* uPlane = data + pixels;
    const BYTE* vPlane = uPlane + static_cast<size_t>((w + 1) / 2) * ((h + 1) / 2);
    for (int row = 0; row < h; ++row) {
      for (int x = 0; x < w; ++x) {
        const size_t i = static_cast<size_t>(row) * w + x;
        const size_t c = static_cast<size_t>(row / 2) * ((w + 1) / 2) + x / 2;
        y[i] = data[i];
        u[i] = uPlane[c];
        v[i] = vPlane[c];
      }
    }
  } else {
    const int bytes = subtype == MEDIASUBTYPE_RGB32 ? 4 : 3, stride = (w * bytes + 3) / 4 * 4;
    for (int row = 0; row < h; ++row) {
      const BYTE* p = data + static_cast<size_t>(h - 1 - row) * stride;  // bottom-up
      for (int x = 0; x < w; ++x) {
        const size_t i = static_cast<size_t>(row) * w + x;
        const int b = p[bytes * x], g = p[bytes * x + 1], r = p[bytes * x + 2];
        // BT.601, limited range.
        y[i] = std::lround(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255);
        u[i] = std::lround(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255);
        v[i] = std::lround(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255);
      }
    }
  }
  return planes;
}

HRESULT PatternSink::DoRenderSample(IMediaSample* sample) {
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  REFERENCE_TIME start = -1, stop = -1;
  if (FAILED(sample->GetTime(&start, &stop))) start = -1;
  std::lock_guard lock(mutex_);
  planes_ = PlanesOf(subtype_, data, width_, height_);
  numbers_.push_back(devices::sim::ReadFrameNumber(
      [&](int x, int y) { return planes_[0][static_cast<size_t>(y) * width_ + x]; }, width_));
  starts_.push_back(start);
  return S_OK;
}

std::vector<std::optional<uint32_t>> PatternSink::Numbers() {
  std::lock_guard lock(mutex_);
  return numbers_;
}

std::vector<REFERENCE_TIME> PatternSink::Starts() {
  std::lock_guard lock(mutex_);
  return starts_;
}

size_t PatternSink::Count() {
  std::lock_guard lock(mutex_);
  return numbers_.size();
}

std::vector<double> PatternSink::MeanYuv(int x, int y, int w, int h) {
  std::lock_guard lock(mutex_);
  double sums[3] = {0, 0, 0};
  long count = 0;
  for (int row = y; row < y + h && row < height_; ++row) {
    for (int col = x; col < x + w && col < width_; ++col) {
      const size_t i = static_cast<size_t>(row) * width_ + col;
      for (int c = 0; c < 3; ++c) sums[c] += planes_[c][i];
      ++count;
    }
  }
  if (count == 0) return {0, 0, 0};
  return {sums[0] / count, sums[1] / count, sums[2] / count};
}

// ---- SoundSink ----

std::vector<int16_t> SoundSink::Pcm() {
  std::vector<int16_t> pcm;
  for (const Sample& sample : Samples()) {
    const size_t at = pcm.size();
    pcm.resize(at + sample.bytes.size() / sizeof(int16_t));
    std::memcpy(pcm.data() + at, sample.bytes.data(), (pcm.size() - at) * sizeof(int16_t));
  }
  return pcm;
}

int SoundSink::Channels() {
  CMediaType mt;
  if (FAILED(Input()->ConnectionMediaType(&mt)) || mt.cbFormat < sizeof(WAVEFORMATEX)) return 0;
  return reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat)->nChannels;
}

std::vector<REFERENCE_TIME> SoundSink::Starts() {
  std::vector<REFERENCE_TIME> starts;
  for (const Sample& sample : Samples()) starts.push_back(sample.start);
  return starts;
}

double ToneFrequency(const std::vector<int16_t>& samples, int channels, int channel,
                     int sampleRate) {
  long crossings = 0;
  size_t first = 0, last = 0;
  const size_t frames = samples.size() / static_cast<size_t>(channels);
  for (size_t i = 1; i < frames; ++i) {
    const int16_t a = samples[(i - 1) * channels + channel];
    const int16_t b = samples[i * channels + channel];
    if (a < 0 && b >= 0) {
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return static_cast<double>(crossings - 1) * sampleRate / static_cast<double>(last - first);
}

// ---- Graph events ----

std::optional<LONG_PTR> NextDeviceLost(IGraphBuilder* graph) {
  const std::optional<GraphEvent> e = NextGraphEvent(graph, {EC_DEVICE_LOST}, 10'000);
  return e ? std::optional<LONG_PTR>(e->param2) : std::nullopt;
}

// ---- DV ----

std::vector<uint8_t> CamcorderFrames(dv::DvSystem system, uint64_t first, uint32_t count) {
  auto maker = devices::sim::DvCamcorderFrames::Create(system);
  const size_t size = dv::FactsOf(system).frameBytes;
  std::vector<uint8_t> frames(size * count);
  for (uint32_t n = 0; n < count; ++n) {
    devices::sim::PatternScene scene;
    scene.frameNumber = first + n;
    EXPECT_TRUE(maker && maker->Make(scene, std::span(frames).subspan(n * size, size)) == S_OK);
  }
  return frames;
}

void WriteTape(const std::string& path, dv::DvSystem system, uint32_t frames) {
  const std::vector<uint8_t> bytes = CamcorderFrames(system, 0, frames);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vidorra::test
