// The video deinterlacer over libavfilter; see Deinterlacer.h.
#include "Deinterlacer.h"

#include <amvideo.h>
#include <dvdmedia.h>

#include <algorithm>
#include <array>
#include <string>

#include "ColorSpaceConverter.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace vidorra::filters {
namespace {

constexpr long kOutputBuffers = 2;
// Frames enter the graph numbered; the time base only has to be exact for whole numbers.
constexpr AVRational kTagTimeBase{1, 25};

struct DvFrameSize {
  int width;
  int height;
};
constexpr std::array kDvFrameSizes = {DvFrameSize{720, 576}, DvFrameSize{720, 480}};

// Output types after the input's own layout, in the order they are offered.
constexpr std::array kOfferedRgb = {PixelFormat::kRgb24, PixelFormat::kRgb32};

struct GraphDeleter {
  void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
struct AvFrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
// Buffers still held by frames outlive the pool's handle: it is freed with the last of them.
struct BufferPoolDeleter {
  void operator()(AVBufferPool* pool) const { av_buffer_pool_uninit(&pool); }
};
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolDeleter>;

// Rows of the frames fed to the graph start this aligned, as the library's own frames do, and
// each buffer has room after its last row for vector code reading past it.
constexpr int kFrameAlign = 64;
constexpr size_t kFramePadding = 64;

// The planes of a frame in `layout` at `base`, top row first: a bottom-up bitmap is walked from
// its last row in memory with a negative stride.
FramePlanes TopDownPlanes(const FrameLayout& layout, uint8_t* base) {
  FramePlanes planes = PlanesOf(layout, base);
  if (layout.bottomUp) {
    planes.data[0] += static_cast<ptrdiff_t>(planes.strides[0]) * (layout.height - 1);
    planes.strides[0] = -planes.strides[0];
  }
  return planes;
}

AVFilterContext* AddFilter(AVFilterGraph* graph, const char* filter, const char* name,
                           const std::string& args) {
  const AVFilter* definition = avfilter_get_by_name(filter);
  if (!definition) return nullptr;
  AVFilterContext* context = nullptr;
  if (avfilter_graph_create_filter(&context, definition, name,
                                   args.empty() ? nullptr : args.c_str(), nullptr, graph) < 0) {
    return nullptr;
  }
  return context;
}

}  // namespace

FieldOrder FieldOrderOf(const AM_MEDIA_TYPE& mediaType) {
  if (mediaType.formattype == FORMAT_VideoInfo2 && mediaType.pbFormat &&
      mediaType.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(mediaType.pbFormat);
    if (info->dwInterlaceFlags & AMINTERLACE_IsInterlaced) {
      return (info->dwInterlaceFlags & AMINTERLACE_Field1First) ? FieldOrder::kTopFirst
                                                                : FieldOrder::kBottomFirst;
    }
  }
  const auto layout = FrameLayout::FromMediaType(mediaType);
  if (layout && std::any_of(kDvFrameSizes.begin(), kDvFrameSizes.end(), [&](DvFrameSize size) {
        return layout->width == size.width && layout->height == size.height;
      })) {
    return FieldOrder::kBottomFirst;
  }
  return FieldOrder::kTopFirst;
}

// ---- DeinterlaceGraph ----

struct DeinterlaceGraph::State {
  // Builds buffer -> deinterlacer -> [format] -> sink for frames of `input`; the format filter
  // only when `outFormat` is a pixel format (not negative). False when libavfilter refuses.
  bool Build(const FrameLayout& input, FieldOrder order, int outFormat);

  GraphPtr graph;
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  const char* filterName = nullptr;
  AvFramePtr pulled{av_frame_alloc()};
  // The input frames' buffers: the deinterlacer holds the last few frames, and buffers used
  // again spare the system a fresh mapping of a whole frame (page faults, zeroing) each time.
  BufferPoolPtr inputPool;
  int inputBytes = 0;
  // Converts the graph's frames on their way out, when the graph leaves them in the input's
  // format: one pass into the sample, instead of a conversion in the graph and a copy.
  PixelFormatConverter converter;
};

bool DeinterlaceGraph::State::Build(const FrameLayout& input, FieldOrder order, int outFormat) {
  graph.reset(avfilter_graph_alloc());
  if (!graph) return false;
  // One thread: the filter runs on the streaming thread alone, as every other filter does.
  graph->nb_threads = 1;

  const int inFormat = AvPixelFormatOf(input.format);
  const std::string sourceArgs =
      "video_size=" + std::to_string(input.width) + "x" + std::to_string(input.height) +
      ":pix_fmt=" + std::to_string(inFormat) + ":time_base=" + std::to_string(kTagTimeBase.num) +
      "/" + std::to_string(kTagTimeBase.den) + ":pixel_aspect=1/1";
  source = AddFilter(graph.get(), "buffer", "in", sourceArgs);
  const std::string deinterlaceArgs = std::string("mode=send_frame:deint=all:parity=") +
                                      (order == FieldOrder::kTopFirst ? "tff" : "bff");
  filterName = "bwdif";
  AVFilterContext* deinterlace = AddFilter(graph.get(), "bwdif", "deinterlace", deinterlaceArgs);
  if (!deinterlace) {
    filterName = "yadif";
    deinterlace = AddFilter(graph.get(), "yadif", "deinterlace", deinterlaceArgs);
  }
  AVFilterContext* last = deinterlace;
  if (outFormat >= 0) {
    const char* outName = av_get_pix_fmt_name(static_cast<AVPixelFormat>(outFormat));
    last = outName ? AddFilter(graph.get(), "format", "format", std::string("pix_fmts=") + outName)
                   : nullptr;
    if (last && deinterlace && avfilter_link(deinterlace, 0, last, 0) < 0) return false;
  }
  sink = AddFilter(graph.get(), "buffersink", "out", {});
  if (!source || !deinterlace || !last || !sink) return false;
  return avfilter_link(source, 0, deinterlace, 0) >= 0 && avfilter_link(last, 0, sink, 0) >= 0 &&
         avfilter_graph_config(graph.get(), nullptr) >= 0;
}

DeinterlaceGraph::DeinterlaceGraph() = default;
DeinterlaceGraph::~DeinterlaceGraph() = default;

bool DeinterlaceGraph::IsConfigured() const { return state_ != nullptr; }

const char* DeinterlaceGraph::FilterName() const { return state_ ? state_->filterName : nullptr; }

bool DeinterlaceGraph::Configure(const FrameLayout& input, const FrameLayout& output,
                                 FieldOrder order) {
  state_.reset();
  if (!input.IsValid() || !output.IsValid() || input.width != output.width ||
      input.height != output.height) {
    return false;
  }
  const int inFormat = AvPixelFormatOf(input.format);
  const int outFormat = AvPixelFormatOf(output.format);
  if (inFormat < 0 || outFormat < 0) return false;

  auto state = std::make_unique<State>();
  if (!state->pulled) return false;
  // First without a format filter: when the deinterlacer works in the input's own format (the
  // planar YUV of a decoder), the frames are converted on their way into the sample. The graph
  // gets frames top row first whatever the input's row order.
  if (!state->Build(input, order, -1)) return false;
  const int graphFormat = av_buffersink_get_format(state->sink);
  FrameLayout graphLayout = input;
  graphLayout.bottomUp = false;
  if (graphFormat != outFormat &&
      (graphFormat != inFormat || !state->converter.Configure(graphLayout, output))) {
    // The deinterlacer works in another format: the graph converts to the output's.
    state = std::make_unique<State>();
    if (!state->pulled || !state->Build(input, order, outFormat)) return false;
  }
  state->inputBytes = av_image_get_buffer_size(static_cast<AVPixelFormat>(inFormat), input.width,
                                               input.height, kFrameAlign);
  if (state->inputBytes <= 0) return false;
  state->inputPool.reset(av_buffer_pool_init(static_cast<size_t>(state->inputBytes) + kFramePadding,
                                             av_buffer_allocz));
  if (!state->inputPool) return false;
  input_ = input;
  output_ = output;
  state_ = std::move(state);
  return true;
}

bool DeinterlaceGraph::Push(const BYTE* source, int64_t tag) {
  if (!state_) return false;
  AvFramePtr frame(av_frame_alloc());
  if (!frame) return false;
  frame->width = input_.width;
  frame->height = input_.height;
  frame->format = AvPixelFormatOf(input_.format);
  frame->buf[0] = av_buffer_pool_get(state_->inputPool.get());
  if (!frame->buf[0]) return false;
  const int bytes = av_image_fill_arrays(frame->data, frame->linesize, frame->buf[0]->data,
                                         static_cast<AVPixelFormat>(frame->format), frame->width,
                                         frame->height, kFrameAlign);
  if (bytes <= 0 || bytes > state_->inputBytes) return false;
  frame->extended_data = frame->data;
  // The planes are only read; PlanesOf takes a writable base for the converter's sake.
  const FramePlanes planes = TopDownPlanes(input_, const_cast<BYTE*>(source));
  std::array<const uint8_t*, 4> sourceData{};
  std::copy(planes.data.begin(), planes.data.end(), sourceData.begin());
  av_image_copy(frame->data, frame->linesize, sourceData.data(), planes.strides.data(),
                static_cast<AVPixelFormat>(frame->format), frame->width, frame->height);
  frame->pts = tag;
  frame->interlaced_frame = 1;
  frame->top_field_first = 0;
  return av_buffersrc_add_frame_flags(state_->source, frame.get(), 0) >= 0;
}

bool DeinterlaceGraph::PushEnd() {
  if (!state_) return false;
  return av_buffersrc_add_frame_flags(state_->source, nullptr, 0) >= 0;
}

std::optional<int64_t> DeinterlaceGraph::Pull() {
  if (!state_) return std::nullopt;
  AVFrame* frame = state_->pulled.get();
  av_frame_unref(frame);
  if (av_buffersink_get_frame(state_->sink, frame) < 0) return std::nullopt;
  return av_rescale_q(frame->pts, av_buffersink_get_time_base(state_->sink), kTagTimeBase);
}

bool DeinterlaceGraph::WritePulled(BYTE* destination, size_t destinationSize) {
  if (!state_ || !state_->pulled->data[0] || destinationSize < output_.ImageSize()) return false;
  const AVFrame* frame = state_->pulled.get();
  if (state_->converter.IsConfigured()) {
    FramePlanes planes;
    for (size_t i = 0; i < planes.data.size(); ++i) {
      planes.data[i] = frame->data[i];
      planes.strides[i] = frame->linesize[i];
    }
    return state_->converter.ConvertPlanes(planes, destination, destinationSize);
  }
  const FramePlanes planes = TopDownPlanes(output_, destination);
  std::array<uint8_t*, 4> data = planes.data;
  std::array<int, 4> strides = planes.strides;
  std::array<const uint8_t*, 4> frameData{};
  std::copy(std::begin(frame->data), std::begin(frame->data) + 4, frameData.begin());
  av_image_copy(data.data(), strides.data(), frameData.data(), frame->linesize,
                static_cast<AVPixelFormat>(frame->format), output_.width, output_.height);
  return true;
}

void DeinterlaceGraph::Reset() { state_.reset(); }

// ---- CVideoDeinterlacer ----

CVideoDeinterlacer::CVideoDeinterlacer()
    : CTransformFilter(kDeinterlacerName, CLSID_VideoDeinterlacer) {}

CVideoDeinterlacer::~CVideoDeinterlacer() = default;

HRESULT CVideoDeinterlacer::CheckInputType(const CMediaType* in) {
  if (!in) return E_POINTER;
  const auto layout = FrameLayout::FromMediaType(*in);
  return layout && layout->IsValid() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CVideoDeinterlacer::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (!in || !out) return E_POINTER;
  const auto from = FrameLayout::FromMediaType(*in);
  const auto to = FrameLayout::FromMediaType(*out);
  if (!from || !to || !from->IsValid() || !to->IsValid()) return VFW_E_TYPE_NOT_ACCEPTED;
  if (from->width != to->width || from->height != to->height) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT CVideoDeinterlacer::GetMediaType(int position, CMediaType* mt) {
  if (!InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  if (position < 0) return E_INVALIDARG;
  if (position > static_cast<int>(kOfferedRgb.size())) return VFW_S_NO_MORE_ITEMS;
  const CMediaType& input = InputPin()->CurrentMediaType();
  const auto from = FrameLayout::FromMediaType(input);
  if (!from) return VFW_E_TYPE_NOT_ACCEPTED;
  FrameLayout layout = *from;
  if (position > 0)
    layout = FrameLayout{kOfferedRgb[position - 1], from->width, from->height, true};
  *mt = MakeVideoMediaType(layout, &input);
  return S_OK;
}

HRESULT CVideoDeinterlacer::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
  const auto layout = FrameLayout::FromMediaType(OutputPin()->CurrentMediaType());
  if (!layout) return VFW_E_TYPE_NOT_ACCEPTED;
  // Room after the frame lets a converter downstream read it in place.
  const auto bytes = static_cast<long>(layout->ImageSize() + PixelFormatConverter::kBufferPadding);
  return DecideBuffers(allocator, *request, {.buffers = kOutputBuffers, .bytes = bytes});
}

bool CVideoDeinterlacer::ConfigureGraph() {
  const CMediaType& inputType = InputPin()->CurrentMediaType();
  const auto from = FrameLayout::FromMediaType(inputType);
  const auto to = FrameLayout::FromMediaType(OutputPin()->CurrentMediaType());
  return from && to && graph_.Configure(*from, *to, FieldOrderOf(inputType));
}

HRESULT CVideoDeinterlacer::StartStreaming() {
  held_.clear();
  // Unconnected, there is nothing to deinterlace; the filter still changes state.
  if (!InputPin()->IsConnected() || !OutputPin()->IsConnected()) {
    return CTransformFilter::StartStreaming();
  }
  if (!ConfigureGraph()) return VFW_E_TYPE_NOT_ACCEPTED;
  return CTransformFilter::StartStreaming();
}

HRESULT CVideoDeinterlacer::StopStreaming() {
  held_.clear();
  graph_.Reset();
  return CTransformFilter::StopStreaming();
}

HRESULT CVideoDeinterlacer::Receive(IMediaSample* sample) {
  std::lock_guard receive(receiveLock_);
  if (!graph_.IsConfigured()) return IsStopped() ? VFW_E_WRONG_STATE : VFW_E_NOT_CONNECTED;
  BYTE* source = nullptr;
  HRESULT hr = sample->GetPointer(&source);
  if (FAILED(hr)) return hr;
  // A short frame cannot be deinterlaced; it is dropped rather than stopping the stream.
  const long length = sample->GetActualDataLength();
  if (length < 0 || static_cast<size_t>(length) < graph_.Input().ImageSize()) return S_OK;

  Held held;
  held.tag = nextTag_++;
  held.timeResult = sample->GetTime(&held.start, &held.stop);
  held.hasMediaTime = sample->GetMediaTime(&held.mediaStart, &held.mediaStop) == S_OK;
  held.syncPoint = sample->IsSyncPoint() == S_OK;
  held.discontinuity = sample->IsDiscontinuity() == S_OK;
  held.preroll = sample->IsPreroll() == S_OK;
  if (!graph_.Push(source, held.tag)) {
    NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
    return E_FAIL;
  }
  held_.push_back(held);
  return DeliverReady();
}

HRESULT CVideoDeinterlacer::DeliverReady() {
  while (const std::optional<int64_t> tag = graph_.Pull()) {
    // Frames the graph never gave back (none with these filters) are forgotten.
    while (!held_.empty() && held_.front().tag < *tag) held_.pop_front();
    if (held_.empty() || held_.front().tag != *tag) continue;
    const Held held = held_.front();
    held_.pop_front();

    IMediaSample* out = nullptr;
    HRESULT hr = output_->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
    if (FAILED(hr)) {
      // No buffer while stopping, here or downstream (stopped first), is no fault: the stream
      // is going away.
      if (IsStopped()) return VFW_E_WRONG_STATE;
      if (hr == VFW_E_NOT_COMMITTED) return hr;
      NotifyEvent(EC_ERRORABORT, hr, 0);
      return hr;
    }
    ComPtr<IMediaSample> outSample;
    outSample.Attach(out);
    BYTE* destination = nullptr;
    hr = out->GetPointer(&destination);
    if (FAILED(hr)) return hr;
    if (out->GetSize() < 0 || static_cast<size_t>(out->GetSize()) < graph_.Output().ImageSize()) {
      NotifyEvent(EC_ERRORABORT, E_UNEXPECTED, 0);
      return E_UNEXPECTED;
    }
    if (!graph_.WritePulled(destination, static_cast<size_t>(out->GetSize()))) {
      NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
      return E_FAIL;
    }
    if (held.timeResult == S_OK) {
      REFERENCE_TIME start = held.start;
      REFERENCE_TIME stop = held.stop;
      out->SetTime(&start, &stop);
    } else if (held.timeResult == VFW_S_NO_STOP_TIME) {
      REFERENCE_TIME start = held.start;
      out->SetTime(&start, nullptr);
    }
    if (held.hasMediaTime) {
      LONGLONG mediaStart = held.mediaStart;
      LONGLONG mediaStop = held.mediaStop;
      out->SetMediaTime(&mediaStart, &mediaStop);
    }
    out->SetSyncPoint(held.syncPoint);
    out->SetDiscontinuity(held.discontinuity);
    out->SetPreroll(held.preroll);
    out->SetActualDataLength(static_cast<long>(graph_.Output().ImageSize()));
    hr = output_->Deliver(out);
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

HRESULT CVideoDeinterlacer::EndOfStream() {
  {
    std::lock_guard receive(receiveLock_);
    if (graph_.IsConfigured() && output_->IsConnected() && graph_.PushEnd()) {
      const HRESULT hr = DeliverReady();
      if (FAILED(hr) && !IsStopped()) return hr;
    }
  }
  return CTransformFilter::EndOfStream();
}

HRESULT CVideoDeinterlacer::EndFlush() {
  {
    std::lock_guard receive(receiveLock_);
    held_.clear();
    if (graph_.IsConfigured()) ConfigureGraph();
  }
  return CTransformFilter::EndFlush();
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_VideoDeinterlacer,
    .friendlyName = kDeinterlacerName,
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_DO_NOT_USE,
    .inputTypes = {{MEDIATYPE_Video, GUID_NULL}},
    .outputTypes = {{MEDIATYPE_Video, GUID_NULL}},
    .monikerName = {},
    .factory = FilterFactoryFor<CVideoDeinterlacer>(),
});

}  // namespace
}  // namespace vidorra::filters
