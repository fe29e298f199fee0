// Helpers of the system filter tests: graphs, pins by index, system filters by CLSID, a source
// that pushes a list of samples, a renderer that can be held up, a Sample Grabber callback.
#pragma once

#include <TestFilterTypes.h>
#include <gtest/gtest.h>
#include <qedit.h>
#include <streams.h>
#include <wait_until.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vidorra::test {

inline ComPtr<IGraphBuilder> NewSysGraph() {
  ComPtr<IGraphBuilder> graph;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.ReleaseAndGetVoidAddressOf()));
  return graph;
}

inline ComPtr<IBaseFilter> NewSystemFilter(REFCLSID clsid) {
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   filter.ReleaseAndGetVoidAddressOf()));
  return filter;
}

inline std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> e;
  filter->EnumPins(e.GetAddressOf());
  ComPtr<IPin> pin;
  while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) pins.push_back(pin);
  return pins;
}

inline ComPtr<IPin> PinAtIndex(IBaseFilter* filter, size_t index) {
  auto pins = PinsOf(filter);
  return index < pins.size() ? pins[index] : nullptr;
}

inline std::wstring PinName(IPin* pin) {
  PIN_INFO info{};
  pin->QueryPinInfo(&info);
  if (info.pFilter) info.pFilter->Release();
  return info.achName;
}

inline PIN_DIRECTION PinDirection(IPin* pin) {
  PIN_DIRECTION direction = PINDIR_INPUT;
  pin->QueryDirection(&direction);
  return direction;
}

// A graph without clock: the source runs as fast as the graph takes its samples.
inline ComPtr<IGraphBuilder> UnclockedGraph() {
  ComPtr<IGraphBuilder> graph = NewSysGraph();
  QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
  return graph;
}

// Connects pin `out` of `from` straight to pin `in` of `to` (pins by enumeration index).
inline HRESULT Link(IGraphBuilder* graph, IBaseFilter* from, size_t out, IBaseFilter* to,
                    size_t in) {
  return graph->ConnectDirect(PinAtIndex(from, out).Get(), PinAtIndex(to, in).Get(), nullptr);
}

// Adds the filters to the graph under the given names.
inline void AddFilters(IGraphBuilder* graph,
                       std::initializer_list<std::pair<IBaseFilter*, const wchar_t*>> filters) {
  for (const auto& [filter, name] : filters) ASSERT_EQ(graph->AddFilter(filter, name), S_OK);
}

inline HRESULT RunGraph(IGraphBuilder* graph) {
  ComPtr<IMediaControl> control = QueryAs<IMediaControl>(graph);
  return control ? control->Run() : E_NOINTERFACE;
}

inline HRESULT StopGraph(IGraphBuilder* graph) {
  ComPtr<IMediaControl> control = QueryAs<IMediaControl>(graph);
  return control ? control->Stop() : E_NOINTERFACE;
}

// A source that pushes a list of samples: each with its bytes, its time range (none: untimed),
// and a new media type if it announces one.
struct ListedSample {
  std::vector<uint8_t> bytes;
  std::optional<std::pair<REFERENCE_TIME, REFERENCE_TIME>> time;
  std::optional<CMediaType> type;
};

class ListSource : public CSource {
 public:
  ListSource(CMediaType type, std::vector<ListedSample> samples)
      : CSource(L"List Source", GUID_NULL), type_(std::move(type)), samples_(std::move(samples)) {
    AddPin(std::make_unique<Stream>(this));
  }
  // Called on the streaming thread before sample n is made (the samples before it are sent).
  std::function<void(size_t n)> beforeFill;

 private:
  class Stream : public CSourceStream {
   public:
    explicit Stream(ListSource* source) : CSourceStream(source, L"Output"), source_(source) {}
    HRESULT GetMediaType(int position, CMediaType* mt) override {
      if (position != 0) return VFW_S_NO_MORE_ITEMS;
      *mt = source_->type_;
      return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
      size_t biggest = 1;
      for (const ListedSample& s : source_->samples_) biggest = std::max(biggest, s.bytes.size());
      return DecideBuffers(allocator, *request,
                           {.buffers = 2, .bytes = static_cast<long>(biggest)});
    }
    HRESULT OnThreadCreate() override {
      next_ = 0;
      return S_OK;
    }
    HRESULT FillBuffer(IMediaSample* sample) override {
      if (next_ >= source_->samples_.size()) return S_FALSE;
      if (source_->beforeFill) source_->beforeFill(next_);
      ListedSample& s = source_->samples_[next_++];
      BYTE* data = nullptr;
      sample->GetPointer(&data);
      std::copy(s.bytes.begin(), s.bytes.end(), data);
      sample->SetActualDataLength(static_cast<long>(s.bytes.size()));
      sample->SetTime(s.time ? &s.time->first : nullptr, s.time ? &s.time->second : nullptr);
      if (s.type) sample->SetMediaType(&*s.type);
      return S_OK;
    }

   private:
    ListSource* const source_;
    size_t next_ = 0;
  };

  CMediaType type_;
  std::vector<ListedSample> samples_;
};

// A renderer that records each sample's frame number and whether it carried a time, and that
// can be held up: while closed, DoRenderSample waits (interruptibly) until opened.
class GatedSink : public CBaseRenderer {
 public:
  explicit GatedSink(GUID majorType = MEDIATYPE_Video)
      : CBaseRenderer(L"Gated Sink", CLSID_TestCountingSink), majorType_(majorType) {}
  HRESULT CheckMediaType(const CMediaType* mt) override {
    return mt && mt->majortype == majorType_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT DoRenderSample(IMediaSample* sample) override {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &end));
    std::unique_lock lock(mutex_);
    frames_.push_back(ReadFrameNumber(sample));
    timed_.push_back(timed);
    changed_.wait(lock, [this] { return open_ || released_; });
    return S_OK;
  }
  HRESULT OnStopStreaming() override {
    Open();
    return CBaseRenderer::OnStopStreaming();
  }
  void Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
  }
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }
  // Lets a held sample go and every later one through (test tear-down).
  void LetEverythingThrough() {
    {
      std::lock_guard lock(mutex_);
      released_ = true;
    }
    changed_.notify_all();
  }
  size_t Count() {
    std::lock_guard lock(mutex_);
    return frames_.size();
  }
  std::vector<uint32_t> Frames() {
    std::lock_guard lock(mutex_);
    return frames_;
  }
  std::vector<bool> Timed() {
    std::lock_guard lock(mutex_);
    return timed_;
  }

 private:
  const GUID majorType_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = true;
  bool released_ = false;
  std::vector<uint32_t> frames_;
  std::vector<bool> timed_;
};

// A Sample Grabber callback that hands what it is given to `seen`: the sample's stream time in
// seconds and, from SampleCB, the sample (bytes null), or from BufferCB, the bytes (sample null).
class GrabberCallback : public CUnknown, public ISampleGrabberCB {
 public:
  using Seen = std::function<void(double time, IMediaSample* sample, const BYTE* bytes, long length)>;
  explicit GrabberCallback(Seen seen) : seen_(std::move(seen)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_ISampleGrabberCB) return GetInterface(static_cast<ISampleGrabberCB*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP SampleCB(double time, IMediaSample* sample) override {
    seen_(time, sample, nullptr, 0);
    return S_OK;
  }
  STDMETHODIMP BufferCB(double time, BYTE* bytes, long length) override {
    seen_(time, nullptr, bytes, length);
    return S_OK;
  }

 private:
  const Seen seen_;
};

}  // namespace vidorra::test
