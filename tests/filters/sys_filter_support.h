// Helpers of the system filter tests: the types a pin offers, chains of filters linked in a graph,
// a source that pushes a list of samples, and a Sample Grabber callback.
#pragma once

#include <FilterPins.h>
#include <RecordingSink.h>
#include <TestFilterTypes.h>
#include <gtest/gtest.h>
#include <qedit.h>
#include <streams.h>
#include <wait_until.h>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace vidorra::test {

// The filter's first pin of that direction that is not connected (null when none).
inline ComPtr<IPin> FreePin(IBaseFilter* filter, PIN_DIRECTION direction) {
  for (const ComPtr<IPin>& pin : PinsOf(filter)) {
    PIN_DIRECTION d = PINDIR_INPUT;
    if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction && !Peer(pin.Get())) return pin;
  }
  return nullptr;
}

// The subtypes the pin offers, in order (none from a pin that refuses to list them).
inline std::vector<GUID> OfferedSubtypes(IPin* pin) {
  std::vector<GUID> subtypes;
  ComPtr<IEnumMediaTypes> types;
  const HRESULT hr = pin->EnumMediaTypes(types.GetAddressOf());
  EXPECT_TRUE(hr == S_OK || hr == VFW_E_NOT_CONNECTED) << hr;
  AM_MEDIA_TYPE* mt = nullptr;
  while (types && types->Next(1, &mt, nullptr) == S_OK) {
    subtypes.push_back(mt->subtype);
    DeleteMediaType(mt);
  }
  return subtypes;
}

// Adds the filters not yet in the graph and connects each one's first free output straight to
// the next one's first free input: Chain(graph, {source, tee, capture}), then Chain(graph, {tee,
// preview}) for the tee's next output. The first failure.
inline HRESULT Chain(IGraphBuilder* graph, std::initializer_list<IBaseFilter*> filters) {
  IBaseFilter* last = nullptr;
  for (IBaseFilter* filter : filters) {
    FILTER_INFO info{};
    filter->QueryFilterInfo(&info);
    HRESULT hr = info.pGraph ? S_OK : graph->AddFilter(filter, nullptr);
    if (info.pGraph) info.pGraph->Release();
    if (SUCCEEDED(hr) && last) {
      hr = graph->ConnectDirect(FreePin(last, PINDIR_OUTPUT).Get(),
                                FreePin(filter, PINDIR_INPUT).Get(), nullptr);
    }
    if (FAILED(hr)) return hr;
    last = filter;
  }
  return S_OK;
}

// A sample of a ListSource: its bytes, its time range (none: untimed) and a new media type if
// it announces one.
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

// A Sample Grabber callback that hands what it is given to `seen`: the sample's stream time in
// seconds and, from SampleCB, the sample (bytes null), or from BufferCB, the bytes (sample null).
class GrabberCallback : public CUnknown, public ISampleGrabberCB {
 public:
  using Seen =
      std::function<void(double time, IMediaSample* sample, const BYTE* bytes, long length)>;
  explicit GrabberCallback(Seen seen) : seen_(std::move(seen)) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_ISampleGrabberCB)
      return GetInterface(static_cast<ISampleGrabberCB*>(this), ppv);
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
