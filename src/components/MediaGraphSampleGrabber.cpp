// TSampleGrabber: the Sample Grabber filter as a graph member, and the frame copy into a
// bitmap.
#include <comimpl.h>
#include <dvdmedia.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "Assert.h"
#include "Bitmap.h"
#include "MediaGraph.h"
#include "TearDown.h"

namespace {

constexpr CLSCTX kGrabberContext =
    static_cast<CLSCTX>(CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER);
constexpr long kBufferCallback = 1;  // SetCallback: 1 selects BufferCB
// Where the BITMAPINFOHEADER sits in the format block, by format type.
constexpr uint32_t kVideoInfoHeaderOffset = 48;   // FORMAT_VideoInfo
constexpr uint32_t kVideoInfo2HeaderOffset = 72;  // FORMAT_VideoInfo2
constexpr uint32_t kInfoHeaderSize = sizeof(BITMAPINFOHEADER);
constexpr int kMaxPaletteBits = 8;

// Frees a media-type record's block and reference when the copy ends.
struct MediaTypeRecordGuard {
  AM_MEDIA_TYPE record{};
  MediaTypeRecordGuard() = default;
  MediaTypeRecordGuard(const MediaTypeRecordGuard&) = delete;
  MediaTypeRecordGuard& operator=(const MediaTypeRecordGuard&) = delete;
  ~MediaTypeRecordGuard() { FreeMediaTypeRecord(record); }
};

}  // namespace

// The ISampleGrabberCB the grabber calls on its streaming thread. It is a COM object of its
// own, so the filter's reference never outlives the component's memory: the component detaches
// it (under the component's lock) before it goes.
class SampleGrabberCallback : public CUnknown, public ISampleGrabberCB {
 public:
  explicit SampleGrabberCallback(TSampleGrabber* owner) : owner_(owner) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_ISampleGrabberCB) {
      return GetInterface(static_cast<ISampleGrabberCB*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_OK; }
  STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override {
    std::lock_guard lock(mutex_);
    if (owner_ == nullptr) return S_OK;
    try {
      owner_->BufferCallback(sampleTime, buffer, length);
    } catch (...) {
      // Nothing may unwind into the streaming thread; the grabber is told the call failed.
      return E_FAIL;
    }
    return S_OK;
  }
  void Detach() {
    std::lock_guard lock(mutex_);
    owner_ = nullptr;
  }

 private:
  std::mutex mutex_;
  TSampleGrabber* owner_;
};

TSampleGrabber::TSampleGrabber() {
  VIDORRA_ASSERT(SampleGrabberAvailable(),
                 "The SampleGrabber Filter is not available on this system.");
  mediaType_ = TMediaType::CreateForMajorType(MEDIATYPE_Video);
  mediaType_->SetSubType(MEDIASUBTYPE_RGB24);
  mediaType_->SetFormatType(FORMAT_VideoInfo);
  callback_ = MakeComObject<SampleGrabberCallback>(this);
}

TSampleGrabber::~TSampleGrabber() {
  TearDownReporting(*this, [this] { SetFilterGraph(nullptr); });
  callback_->Detach();
}

bool TSampleGrabber::SampleGrabberAvailable() {
  ComPtr<IBaseFilter> filter;
  return CoCreateInstance(CLSID_SampleGrabber, nullptr, kGrabberContext,
                          IID_PPV_ARGS(filter.GetAddressOf())) == S_OK;
}

HRESULT TSampleGrabber::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_ISampleGrabberCB) return callback_->QueryInterface(riid, ppv);
  const HRESULT hr = TComponent::QueryInterface(riid, ppv);
  if (SUCCEEDED(hr) || !filter_) return hr;
  return filter_->QueryInterface(riid, ppv);
}

void TSampleGrabber::DefineProperties(TFiler& filer) {
  DefineFilterGraphProperty(filer, this, filterGraph_,
                            [this](TFilterGraph* graph) { SetFilterGraph(graph); });
  filer.DefinePersistent(QStringLiteral("MediaType"), *mediaType_);
}

void TSampleGrabber::SetFilterGraph(TFilterGraph* graph) {
  if (graph == filterGraph_) return;
  if (TFilterGraph* old = std::exchange(filterGraph_, nullptr)) {
    // Unhooked before the filter leaves, which may raise.
    old->RemoveFreeNotification(this);
    old->RemoveMember(this);
  }
  filterGraph_ = graph;
  if (graph != nullptr) {
    graph->FreeNotification(this);
    graph->AddMember(this);
  }
}

void TSampleGrabber::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && filterGraph_ != nullptr &&
      component == static_cast<TComponent*>(filterGraph_)) {
    filterGraph_ = nullptr;
  }
}

void TSampleGrabber::ApplyMediaType() {
  if (!grabber_) return;
  if (filter_) (void)filter_->Stop();
  if (inputPin_) (void)inputPin_->Disconnect();
  (void)grabber_->SetMediaType(mediaType_->AmMediaType());
}

void TSampleGrabber::MemberNotify(TMemberOperation operation, int) {
  switch (operation) {
    case moAdding:
      filter_.Reset();
      (void)CoCreateInstance(CLSID_SampleGrabber, nullptr, kGrabberContext,
                             IID_PPV_ARGS(filter_.GetAddressOf()));
      break;
    case moAdded: {
      if (!filter_) break;
      grabber_ = filter_.As<ISampleGrabber>();
      const TPinList pins = TPinList::CreateFromFilter(filter_.Get());
      if (pins.Count() > 0) inputPin_ = pins.PinAt(0);
      if (pins.Count() > 1) outputPin_ = pins.PinAt(1);
      ApplyMediaType();
      if (grabber_) {
        (void)grabber_->SetBufferSamples(TRUE);
        if (OnBuffer) (void)grabber_->SetCallback(callback_.Get(), kBufferCallback);
      }
      break;
    }
    case moRemoving:
      if (filter_) (void)filter_->Stop();
      if (inputPin_) (void)inputPin_->Disconnect();
      if (outputPin_) (void)outputPin_->Disconnect();
      break;
    case moRemoved:
      if (grabber_) {
        (void)grabber_->SetCallback(nullptr, kBufferCallback);
        (void)grabber_->SetBufferSamples(FALSE);
      }
      filter_.Reset();
      grabber_.Reset();
      inputPin_.Reset();
      outputPin_.Reset();
      break;
    case moRefresh:
      ApplyMediaType();
      break;
  }
}

void TSampleGrabber::BufferCallback(double sampleTime, BYTE* buffer, long length) {
  if (!OnBuffer) return;
  std::lock_guard lock(bufferLock_);
  OnBuffer(this, sampleTime, buffer, static_cast<int>(length));
}

bool TSampleGrabber::CopyFrameToBitmap(TBitmap* bitmap) {
  if (bitmap == nullptr || !grabber_) return false;
  MediaTypeRecordGuard connected;
  if (grabber_->GetConnectedMediaType(&connected.record) != S_OK) return false;
  const AM_MEDIA_TYPE& mt = connected.record;
  if (mt.majortype != MEDIATYPE_Video) return false;
  uint32_t headerOffset = 0;
  if (mt.formattype.Data1 == FORMAT_VideoInfo2.Data1) {
    headerOffset = kVideoInfo2HeaderOffset;
  } else if (mt.formattype.Data1 == FORMAT_VideoInfo.Data1) {
    headerOffset = kVideoInfoHeaderOffset;
  } else {
    return false;
  }
  // A block too short to hold the header cannot describe a picture.
  if (mt.pbFormat == nullptr || mt.cbFormat < headerOffset + kInfoHeaderSize) return false;
  BITMAPINFOHEADER header{};
  std::memcpy(&header, mt.pbFormat + headerOffset, kInfoHeaderSize);

  // The header and one zero colour entry; a paletted format gets room for its whole table
  // (zeros, or the block's own palette when it carries one), so that nothing is read past the
  // buffer.
  size_t colours = 1;
  if (header.biBitCount > 0 && header.biBitCount <= kMaxPaletteBits) {
    colours = size_t{1} << header.biBitCount;
  }
  std::vector<uint8_t> info(kInfoHeaderSize + colours * sizeof(RGBQUAD), 0);
  std::memcpy(info.data(), &header, kInfoHeaderSize);
  if (colours > 1) {
    const uint32_t paletteOffset = headerOffset + kInfoHeaderSize;
    const size_t available = mt.cbFormat > paletteOffset ? mt.cbFormat - paletteOffset : 0;
    std::memcpy(info.data() + kInfoHeaderSize, mt.pbFormat + paletteOffset,
                std::min(available, colours * sizeof(RGBQUAD)));
  }
  void* pixels = nullptr;
  HBITMAP handle = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()),
                                    DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (handle == nullptr) return false;
  bitmap->SetHandle(handle);

  long size = 0;
  if (grabber_->GetCurrentBuffer(&size, nullptr) != S_OK || size <= 0) return false;
  // The copy never runs past the bitmap's pixels: a larger sample is refused.
  if (static_cast<uint64_t>(size) > bitmap->ImageSize()) return false;
  long capacity = static_cast<long>(bitmap->ImageSize());
  return grabber_->GetCurrentBuffer(&capacity, static_cast<long*>(pixels)) == S_OK;
}
