// "DV Splitter"; see DvSplitter.h.
#include "DvSplitter.h"

#include <algorithm>
#include <cstring>

#include "DvMediaTypes.h"

namespace vidorra::filters {

namespace {

// The video output's own buffers only carry the rare frame that must be copied.
constexpr long kVideoBuffers = 1;
// A copied frame keeps room after it, so that the decoder reads it in place.
constexpr long kVideoBufferBytes = static_cast<long>(dv::kMaxFrameBytes + dv::kPadding);
// A sound receiver may lag its queue by a few hundred milliseconds (a sound server that
// starts late); the splitter only waits for a buffer beyond that.
constexpr long kAudioBuffers = 16;
constexpr int kMaxSamplesPerFrame = 1944 + 63;  // beyond any AF_SIZE a checked frame allows
constexpr long kAudioBufferBytes = kMaxSamplesPerFrame * 4;
constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
constexpr int kStereo = 2;

}  // namespace

// ---- Input ----------------------------------------------------------------------------------

CDvSplitterInputPin::CDvSplitterInputPin(CDvSplitter* splitter)
    : CBaseInputPin(splitter, L"Input"), splitter_(splitter) {}

HRESULT CDvSplitterInputPin::CheckMediaType(const CMediaType* mt) {
  if (!mt || *mt->Type() != MEDIATYPE_Interleaved || *mt->Subtype() != MEDIASUBTYPE_dvsd) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT CDvSplitterInputPin::CompleteConnect(IPin* receivePin) {
  const HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
  if (SUCCEEDED(hr)) splitter_->CreateOutputs(CurrentMediaType());
  return hr;
}

STDMETHODIMP CDvSplitterInputPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  if (!sample) return E_POINTER;
  return splitter_->Split(sample);
}

STDMETHODIMP CDvSplitterInputPin::EndOfStream() {
  const HRESULT hr = CBaseInputPin::EndOfStream();
  if (FAILED(hr)) return hr;
  for (CDvSplitterOutputPin* out : splitter_->ConnectedOutputs()) out->SendEndOfStream();
  return S_OK;
}

STDMETHODIMP CDvSplitterInputPin::BeginFlush() {
  const HRESULT hr = CBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  for (CDvSplitterOutputPin* out : splitter_->ConnectedOutputs()) out->SendBeginFlush();
  return S_OK;
}

STDMETHODIMP CDvSplitterInputPin::EndFlush() {
  const HRESULT hr = CBaseInputPin::EndFlush();
  if (FAILED(hr)) return hr;
  for (CDvSplitterOutputPin* out : splitter_->ConnectedOutputs()) out->SendEndFlush();
  return S_OK;
}

// ---- Outputs --------------------------------------------------------------------------------

CDvSplitterOutputPin::CDvSplitterOutputPin(CDvSplitter* splitter, std::wstring name,
                                           CMediaType type, long bufferBytes)
    : CQueuedOutputPin(splitter, std::move(name), *type.Type() == MEDIATYPE_Audio),
      type_(std::move(type)),
      bufferBytes_(bufferBytes) {}

HRESULT CDvSplitterOutputPin::CheckMediaType(const CMediaType* mt) {
  return mt && *mt == type_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CDvSplitterOutputPin::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *mt = type_;
  return S_OK;
}

HRESULT CDvSplitterOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                               ALLOCATOR_PROPERTIES* request) {
  const bool video = *type_.Type() == MEDIATYPE_Video;
  return DecideBuffers(allocator, *request,
                       {.buffers = video ? kVideoBuffers : kAudioBuffers, .bytes = bufferBytes_});
}

HRESULT CDvSplitterOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
  HRESULT hr = CBaseOutputPin::DecideAllocator(pin, allocator);
  if (FAILED(hr) || *type_.Type() != MEDIATYPE_Video) return hr;
  hr = pin->NotifyAllocator(*allocator, TRUE);
  if (FAILED(hr)) {
    (*allocator)->Release();
    *allocator = nullptr;
  }
  return hr;
}

// ---- Filter ---------------------------------------------------------------------------------

CDvSplitter::CDvSplitter() : CBaseFilter(L"DV Splitter", CLSID_DVSplitter), input_(this) {
  video_ = std::make_unique<CDvSplitterOutputPin>(
      this, L"DVVidOut0", dv::DvVideoType(dv::DvSystem::k625_50, 0), kVideoBufferBytes);
}

CDvSplitter::~CDvSplitter() = default;

int CDvSplitter::GetPinCount() {
  std::lock_guard lock(filterLock_);
  return 2 + static_cast<int>(audio_.size());
}

CBasePin* CDvSplitter::GetPin(int n) {
  std::lock_guard lock(filterLock_);
  if (n == 0) return &input_;
  if (n == 1) return video_.get();
  if (n >= 2 && n - 2 < static_cast<int>(audio_.size())) return audio_[n - 2].get();
  return nullptr;
}

std::vector<CDvSplitterOutputPin*> CDvSplitter::ConnectedOutputs() const {
  std::vector<CDvSplitterOutputPin*> pins;
  if (video_->IsConnected()) pins.push_back(video_.get());
  for (const auto& pin : audio_) {
    if (pin->IsConnected()) pins.push_back(pin.get());
  }
  return pins;
}

void CDvSplitter::CreateOutputs(const CMediaType& input) {
  std::lock_guard lock(filterLock_);
  system_ = dv::SystemOfType(input).value_or(dv::DvSystem::k625_50);
  if (!video_->IsConnected()) {
    video_ = std::make_unique<CDvSplitterOutputPin>(this, L"DVVidOut0", dv::DvVideoType(system_, 0),
                                                    kVideoBufferBytes);
  }
  // Unconnected sound outputs follow the new input; connected ones stay as they are.
  std::erase_if(audio_, [](const auto& pin) { return !pin->IsConnected(); });
  DVINFO info{};
  info.dwDVAAuxSrc = 0xFFFFFFFFu;
  if (*input.FormatType() == FORMAT_DvInfo && input.Format() &&
      input.FormatLength() >= sizeof(DVINFO)) {
    std::memcpy(&info, input.Format(), sizeof info);
  }
  const auto sound = dv::AudioOfDvInfo(info);
  if (!sound) return;
  sampleRate_ = sound->sampleRate;
  for (int pair = static_cast<int>(audio_.size()); pair < sound->pairs; ++pair) {
    audio_.push_back(
        std::make_unique<CDvSplitterOutputPin>(this, pair == 0 ? L"AudOut00" : L"AudOut01",
                                               dv::PcmType(sound->sampleRate), kAudioBufferBytes));
  }
}

HRESULT CDvSplitter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAudioLevels) return GetInterface(static_cast<IAudioLevels*>(this), ppv);
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CDvSplitter::SetMetering(BOOL on) {
  metering_.store(on != FALSE, std::memory_order_relaxed);
  return S_OK;
}

HRESULT CDvSplitter::Split(IMediaSample* sample) {
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) return E_POINTER;
  const long length = sample->GetActualDataLength();
  const std::span<const uint8_t> frame(data, length > 0 ? static_cast<size_t>(length) : 0);
  const auto inspection = dv::InspectFrame(frame);
  if (!inspection || inspection->system != system_) {
    ++badFrames_;
    return S_OK;
  }
  if (inspection->damagedBlocks > 0) {
    ++damagedFrames_;
    damagedBlocks_ += static_cast<long>(inspection->damagedBlocks);
  }
  if (video_->IsConnected()) {
    const HRESULT hr = DeliverVideo(sample, frame);
    if (FAILED(hr)) return hr;
  }

  const bool anyAudio =
      std::any_of(audio_.begin(), audio_.end(), [](const auto& pin) { return pin->IsConnected(); });
  if (!anyAudio && !metering_.load(std::memory_order_relaxed)) return S_OK;
  const auto sound = dv::ExtractAudio(frame);
  if (!sound || sound->format.sampleRate != sampleRate_) {
    if (anyAudio) ++soundDropped_;
    return S_OK;
  }
  if (!sound->pcm[0].empty()) levels_.Measure(sound->pcm[0], kStereo, sound->format.sampleRate);
  if (!anyAudio) return S_OK;
  REFERENCE_TIME start = 0, stop = 0;
  const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
  const bool discontinuity = sample->IsDiscontinuity() == S_OK;
  for (size_t pair = 0; pair < audio_.size(); ++pair) {
    if (!audio_[pair]->IsConnected() || sound->pcm[pair].empty()) continue;
    const HRESULT hr = DeliverAudio(pair, sound->pcm[pair], timed ? start : -1,
                                    sound->format.sampleRate, discontinuity);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CDvSplitter::DeliverVideo(IMediaSample* sample, std::span<const uint8_t> frame) {
  AM_MEDIA_TYPE* attached = nullptr;
  const bool typed = sample->GetMediaType(&attached) == S_OK && attached;
  if (attached) DeleteMediaType(attached);
  if (!typed) return video_->Deliver(sample);
  // The interleaved type riding on the sample is not the video receiver's: copy the frame into
  // a plain sample with the same times and flags.
  ComPtr<IMediaSample> out;
  HRESULT hr = video_->GetDeliveryBuffer(out.GetAddressOf(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* buffer = nullptr;
  out->GetPointer(&buffer);
  if (out->GetSize() < static_cast<long>(frame.size())) return E_UNEXPECTED;
  std::memcpy(buffer, frame.data(), frame.size());
  out->SetActualDataLength(static_cast<long>(frame.size()));
  REFERENCE_TIME start = 0, stop = 0;
  if (SUCCEEDED(sample->GetTime(&start, &stop))) out->SetTime(&start, &stop);
  out->SetSyncPoint(TRUE);
  out->SetDiscontinuity(sample->IsDiscontinuity() == S_OK);
  ++copiedFrames_;
  return video_->Deliver(out.Get());
}

HRESULT CDvSplitter::DeliverAudio(size_t pair, const std::vector<int16_t>& pcm,
                                  REFERENCE_TIME start, int sampleRate, bool discontinuity) {
  CDvSplitterOutputPin* pin = audio_[pair].get();
  ComPtr<IMediaSample> out;
  HRESULT hr = pin->GetDeliveryBuffer(out.GetAddressOf(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* buffer = nullptr;
  out->GetPointer(&buffer);
  const long bytes = static_cast<long>(pcm.size() * sizeof(int16_t));
  if (out->GetSize() < bytes) return E_UNEXPECTED;
  // PCM in AVI and WAVEFORMATEX is little-endian, as this host is.
  std::memcpy(buffer, pcm.data(), static_cast<size_t>(bytes));
  out->SetActualDataLength(bytes);
  if (start >= 0) {
    REFERENCE_TIME stop =
        start + static_cast<REFERENCE_TIME>(pcm.size() / 2) * kUnitsPerSecond / sampleRate;
    out->SetTime(&start, &stop);
  }
  out->SetSyncPoint(TRUE);
  out->SetDiscontinuity(discontinuity);
  return pin->SendSample(out.Get());
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_DVSplitter,
    .friendlyName = L"DV Splitter",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_NORMAL,
    .inputTypes = {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}},
    .outputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}, {MEDIATYPE_Audio, MEDIASUBTYPE_PCM}},
    .monikerName = {},
    .factory = FilterFactoryFor<CDvSplitter>(),
});

}  // namespace
}  // namespace vidorra::filters
