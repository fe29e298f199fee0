// "AVI Mux"; see AviMux.h.
#include "AviMux.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <mmreg.h>

#include <algorithm>
#include <cstring>

namespace vidorra::filters {

namespace {

constexpr long kDeliveryBuffers = 2;
constexpr long kDeliveryBufferBytes = 1 << 20;
constexpr auto kCheckpointInterval = std::chrono::seconds(1);
// After the two rectangles, the bit rate and the error rate: the same place in both headers.
constexpr size_t kAvgTimePerFrameOffset = offsetof(VIDEOINFOHEADER, AvgTimePerFrame);
static_assert(kAvgTimePerFrameOffset == offsetof(VIDEOINFOHEADER2, AvgTimePerFrame));
constexpr size_t kWaveFormatBaseBytes = 16;  // WAVEFORMAT without cbSize

std::wstring InputName(int index) {
  wchar_t name[16];
  std::swprintf(name, std::size(name), L"Input %02d", index + 1);
  return name;
}

}  // namespace

// ---- AviOutput over the output pin ---------------------------------------------------------

// Each write becomes one or more samples whose start time is the file offset. Called with
// muxMutex_ held.
class CAviMux::PinOutput final : public avi::AviOutput {
 public:
  explicit PinOutput(CAviMuxOutputPin& pin) : pin_(pin) {}

  HRESULT WriteAt(uint64_t offset, const uint8_t* data, size_t size) override {
    while (size > 0) {
      ComPtr<IMediaSample> sample;
      HRESULT hr = pin_.GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0);
      if (FAILED(hr)) return Failed(hr);
      BYTE* buffer = nullptr;
      sample->GetPointer(&buffer);
      const size_t piece = std::min(size, static_cast<size_t>(sample->GetSize()));
      if (piece == 0) return Failed(E_UNEXPECTED);
      std::memcpy(buffer, data, piece);
      sample->SetActualDataLength(static_cast<long>(piece));
      REFERENCE_TIME start = static_cast<REFERENCE_TIME>(offset);
      REFERENCE_TIME stop = static_cast<REFERENCE_TIME>(offset + piece);
      sample->SetTime(&start, &stop);
      hr = pin_.Deliver(sample.Get());
      if (hr != S_OK) return Failed(FAILED(hr) ? hr : VFW_E_WRONG_STATE);
      written_ = std::max(written_, offset + piece);
      offset += piece;
      data += piece;
      size -= piece;
    }
    return S_OK;
  }
  HRESULT Flush() override { return S_OK; }
  HRESULT Sync() override {
    IFileWriterStatus* status = pin_.Status();
    const HRESULT hr = status ? status->Sync() : S_OK;
    return FAILED(hr) ? Failed(hr) : hr;
  }
  uint64_t WrittenEnd() const override {
    ULONGLONG end = 0;
    IFileWriterStatus* status = pin_.Status();
    if (status && SUCCEEDED(status->GetWrittenEnd(&end))) return end;
    return written_;
  }
  // True when a failure came from downstream (the File Writer has reported it).
  bool DownstreamFailed() const { return downstreamFailed_; }

 private:
  HRESULT Failed(HRESULT hr) {
    downstreamFailed_ = true;
    return hr;
  }
  CAviMuxOutputPin& pin_;
  uint64_t written_ = 0;
  bool downstreamFailed_ = false;
};

// ---- Input pins -----------------------------------------------------------------------------

CAviMuxInputPin::CAviMuxInputPin(CAviMux* mux, int index, std::wstring name)
    : CBaseInputPin(mux, std::move(name)), mux_(mux), index_(index) {}

HRESULT CAviMuxInputPin::CheckMediaType(const CMediaType* mt) {
  return mt && CAviMux::FormatOf(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CAviMuxInputPin::CompleteConnect(IPin* receivePin) {
  const HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
  if (SUCCEEDED(hr)) mux_->OnInputConnected();
  return hr;
}

STDMETHODIMP CAviMuxInputPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  if (!sample) return E_POINTER;
  return mux_->ReceiveSample(index_, sample);
}

STDMETHODIMP CAviMuxInputPin::EndOfStream() {
  const HRESULT hr = CBaseInputPin::EndOfStream();
  if (FAILED(hr)) return hr;
  mux_->InputEnded(index_);
  return S_OK;
}

// ---- Output pin -----------------------------------------------------------------------------

CAviMuxOutputPin::CAviMuxOutputPin(CAviMux* mux) : CBaseOutputPin(mux, L"AVI Out"), mux_(mux) {}

HRESULT CAviMuxOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IFileWriterUpstream) {
    return GetInterface(static_cast<IFileWriterUpstream*>(this), ppv);
  }
  return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAviMuxOutputPin::CheckMediaType(const CMediaType* mt) {
  if (!mt || *mt->Type() != MEDIATYPE_Stream) return VFW_E_TYPE_NOT_ACCEPTED;
  return *mt->Subtype() == MEDIASUBTYPE_Avi || *mt->Subtype() == GUID_NULL
             ? S_OK
             : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CAviMuxOutputPin::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *mt = CMediaType(&MEDIATYPE_Stream);
  mt->SetSubtype(&MEDIASUBTYPE_Avi);
  mt->SetFormatType(&FORMAT_None);
  mt->SetVariableSize();
  return S_OK;
}

HRESULT CAviMuxOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                           ALLOCATOR_PROPERTIES* request) {
  request->cBuffers = std::max(request->cBuffers, kDeliveryBuffers);
  request->cbBuffer = std::max(request->cbBuffer, kDeliveryBufferBytes);
  request->cbAlign = std::max(request->cbAlign, 1L);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer > 0 ? S_OK : E_FAIL;
}

HRESULT CAviMuxOutputPin::CompleteConnect(IPin* receivePin) {
  const HRESULT hr = CBaseOutputPin::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  status_.Reset();
  receivePin->QueryInterface(IID_IFileWriterStatus,
                             reinterpret_cast<void**>(status_.GetAddressOf()));
  return hr;
}

HRESULT CAviMuxOutputPin::BreakConnect() {
  status_.Reset();
  return CBaseOutputPin::BreakConnect();
}

STDMETHODIMP CAviMuxOutputPin::FinishStream() {
  mux_->FinishFile();
  return S_OK;
}

// ---- Filter ---------------------------------------------------------------------------------

CAviMux::CAviMux() : CBaseFilter(L"AVI Mux", CLSID_AviDest), output_(this) {
  inputs_.push_back(std::make_unique<CAviMuxInputPin>(this, 0, InputName(0)));
}

CAviMux::~CAviMux() { StopCheckpointThread(); }

HRESULT CAviMux::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IConfigAviMux) return GetInterface(static_cast<IConfigAviMux*>(this), ppv);
  if (riid == IID_IConfigInterleaving) {
    return GetInterface(static_cast<IConfigInterleaving*>(this), ppv);
  }
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int CAviMux::GetPinCount() {
  std::lock_guard lock(filterLock_);
  return 1 + static_cast<int>(inputs_.size());
}

CBasePin* CAviMux::GetPin(int n) {
  std::lock_guard lock(filterLock_);
  if (n == 0) return &output_;
  if (n < 1 || n > static_cast<int>(inputs_.size())) return nullptr;
  return inputs_[n - 1].get();
}

void CAviMux::OnInputConnected() {
  std::lock_guard lock(filterLock_);
  const bool allConnected = std::all_of(inputs_.begin(), inputs_.end(),
                                        [](const auto& pin) { return pin->IsConnected(); });
  if (allConnected) {
    const int index = static_cast<int>(inputs_.size());
    inputs_.push_back(std::make_unique<CAviMuxInputPin>(this, index, InputName(index)));
  }
}

std::optional<avi::AviStreamFormat> CAviMux::FormatOf(const CMediaType& mt) {
  avi::AviStreamFormat f;
  const BYTE* format = mt.Format();
  const ULONG length = mt.FormatLength();
  if (*mt.Type() == MEDIATYPE_Interleaved) {
    if (*mt.Subtype() != MEDIASUBTYPE_dvsd) return std::nullopt;
    f.kind = avi::AviStreamFormat::Kind::kDvType1;
    return f;
  }
  if (*mt.Type() == MEDIATYPE_Video) {
    size_t headerBytes = 0;
    size_t bitmapOffset = 0;
    if (*mt.FormatType() == FORMAT_VideoInfo) {
      headerBytes = sizeof(VIDEOINFOHEADER);
      bitmapOffset = offsetof(VIDEOINFOHEADER, bmiHeader);
    } else if (*mt.FormatType() == FORMAT_VideoInfo2) {
      headerBytes = sizeof(VIDEOINFOHEADER2);
      bitmapOffset = offsetof(VIDEOINFOHEADER2, bmiHeader);
    } else {
      return std::nullopt;
    }
    if (!format || length < headerBytes) return std::nullopt;
    f.kind = avi::AviStreamFormat::Kind::kVideo;
    std::memcpy(&f.bitmap, format + bitmapOffset, sizeof f.bitmap);
    std::memcpy(&f.avgTimePerFrame, format + kAvgTimePerFrameOffset, sizeof f.avgTimePerFrame);
    if (f.bitmap.biWidth <= 0 || f.bitmap.biHeight == 0) return std::nullopt;
    f.bitmap.biSize = sizeof(BITMAPINFOHEADER);
    f.bitmapExtra.assign(format + headerBytes, format + length);
    return f;
  }
  if (*mt.Type() == MEDIATYPE_Audio) {
    if (*mt.FormatType() != FORMAT_WaveFormatEx || !format || length < kWaveFormatBaseBytes) {
      return std::nullopt;
    }
    f.kind = avi::AviStreamFormat::Kind::kAudio;
    std::memcpy(&f.wave, format, std::min<size_t>(length, sizeof f.wave));
    if (f.wave.wFormatTag != WAVE_FORMAT_PCM || f.wave.nBlockAlign == 0 ||
        f.wave.nAvgBytesPerSec == 0 || f.wave.nChannels == 0) {
      return std::nullopt;
    }
    f.wave.cbSize = 0;
    return f;
  }
  return std::nullopt;
}

STDMETHODIMP CAviMux::Pause() {
  std::lock_guard lock(filterLock_);
  if (!IsStopped()) return CBaseFilter::Pause();

  std::vector<int> streamOfInput(inputs_.size(), -1);
  std::vector<CMediaType> types(inputs_.size());
  avi::AviWriterOptions options;
  options.compatibilityIndex = compatibilityIndex_;
  options.checkpointInterval = kCheckpointInterval;
  auto pinOutput = std::make_unique<PinOutput>(output_);
  auto writer = std::make_unique<avi::AviWriter>(*pinOutput, options);
  for (size_t i = 0; i < inputs_.size(); ++i) {
    if (!inputs_[i]->IsConnected()) continue;
    types[i] = inputs_[i]->CurrentMediaType();
    const auto format = FormatOf(types[i]);
    if (!format) return VFW_E_TYPE_NOT_ACCEPTED;
    streamOfInput[i] = writer->AddStream(*format);
  }
  const bool anyInput =
      std::any_of(streamOfInput.begin(), streamOfInput.end(), [](int s) { return s >= 0; });
  if (anyInput && !output_.IsConnected()) return VFW_E_NOT_CONNECTED;
  if (masterStream_ >= 0 && static_cast<size_t>(masterStream_) < streamOfInput.size()) {
    writer->SetMasterStream(streamOfInput[masterStream_]);
  }

  HRESULT hr = CBaseFilter::Pause();
  if (FAILED(hr) || !anyInput) return hr;
  {
    std::lock_guard mux(muxMutex_);
    pinOutput_ = std::move(pinOutput);
    writer_ = std::move(writer);
    streamOfInput_ = std::move(streamOfInput);
    inputTypes_ = std::move(types);
    ended_.assign(inputs_.size(), false);
    failure_ = S_OK;
    dropped_ = 0;
    finished_ = false;
    hr = writer_->Start();
    if (FAILED(hr)) {
      failure_ = hr;
      finished_ = true;
    }
  }
  if (FAILED(hr)) {
    CBaseFilter::Stop();
    return hr;
  }
  checkpointStop_ = false;
  checkpointThread_ = std::thread([this] { CheckpointLoop(); });
  return S_OK;
}

STDMETHODIMP CAviMux::Stop() {
  std::lock_guard lock(filterLock_);
  StopCheckpointThread();
  FinishFile();
  const HRESULT hr = CBaseFilter::Stop();
  std::lock_guard mux(muxMutex_);
  if (writer_) {
    lastChunks_.clear();
    for (size_t s = 0; s < writer_->StreamCount(); ++s) {
      lastChunks_.push_back(writer_->ChunkCount(static_cast<int>(s)));
    }
  }
  writer_.reset();
  pinOutput_.reset();
  return hr;
}

void CAviMux::StopCheckpointThread() {
  {
    std::lock_guard mux(muxMutex_);
    checkpointStop_ = true;
  }
  checkpointWake_.notify_all();
  if (checkpointThread_.joinable()) checkpointThread_.join();
}

void CAviMux::CheckpointLoop() {
  std::unique_lock lock(muxMutex_);
  while (!checkpointStop_) {
    checkpointWake_.wait_for(lock, kCheckpointInterval, [this] { return checkpointStop_; });
    if (checkpointStop_) break;
    if (writer_ && !finished_ && SUCCEEDED(failure_)) {
      const HRESULT hr = writer_->Checkpoint();
      if (FAILED(hr)) FailLocked(hr);
    }
  }
}

HRESULT CAviMux::ReceiveSample(int input, IMediaSample* sample) {
  std::lock_guard lock(muxMutex_);
  if (FAILED(failure_)) return failure_;
  if (!writer_ || finished_) return S_FALSE;
  if (input < 0 || static_cast<size_t>(input) >= streamOfInput_.size()) return S_FALSE;
  const int stream = streamOfInput_[input];
  if (stream < 0) {
    ++dropped_;
    return S_OK;
  }
  AM_MEDIA_TYPE* changed = nullptr;
  if (sample->GetMediaType(&changed) == S_OK && changed) {
    // A format change the file cannot follow (a stream's header is fixed once written) ends
    // that stream; the others go on.
    const CMediaType next(*changed);
    DeleteMediaType(changed);
    if (next != inputTypes_[input]) {
      streamOfInput_[input] = -1;
      ++dropped_;
      return S_OK;
    }
  }
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) return E_POINTER;
  const long length = sample->GetActualDataLength();
  if (length < 0) return E_INVALIDARG;
  REFERENCE_TIME start = 0, stop = 0;
  std::optional<REFERENCE_TIME> time;
  if (SUCCEEDED(sample->GetTime(&start, &stop))) time = start;
  const bool keyframe = !inputTypes_[input].IsTemporalCompressed() || sample->IsSyncPoint() == S_OK;
  const HRESULT hr =
      writer_->WriteSample(stream, {data, static_cast<size_t>(length)}, time, keyframe);
  if (hr == E_INVALIDARG) {
    ++dropped_;
    return S_OK;
  }
  if (FAILED(hr)) {
    FailLocked(hr);
    return hr;
  }
  return S_OK;
}

void CAviMux::FailLocked(HRESULT hr) {
  if (FAILED(failure_)) return;
  failure_ = hr;
  if (writer_ && !finished_) writer_->Finish();
  finished_ = true;
  // The File Writer reports its own write failures; anything else is the mux's to report.
  if (!(pinOutput_ && pinOutput_->DownstreamFailed() && output_.Status())) {
    NotifyEvent(EC_ERRORABORT, hr, 0);
  }
}

void CAviMux::InputEnded(int input) {
  std::lock_guard lock(muxMutex_);
  if (input < 0 || static_cast<size_t>(input) >= ended_.size()) return;
  ended_[input] = true;
  for (size_t i = 0; i < streamOfInput_.size(); ++i) {
    if (inputs_[i]->IsConnected() && !ended_[i]) return;
  }
  if (writer_ && !finished_) {
    const HRESULT hr = writer_->Finish();
    finished_ = true;
    if (FAILED(hr)) {
      FailLocked(hr);
      return;
    }
  }
  if (output_.IsConnected()) output_.DeliverEndOfStream();
}

void CAviMux::FinishFile() {
  std::lock_guard lock(muxMutex_);
  if (!writer_ || finished_) return;
  const HRESULT hr = writer_->Finish();
  finished_ = true;
  if (FAILED(hr)) {
    finished_ = false;  // let FailLocked report it
    failure_ = S_OK;
    FailLocked(hr);
  }
}

long CAviMux::DroppedSamples() const {
  std::lock_guard lock(muxMutex_);
  return dropped_;
}

uint64_t CAviMux::ChunksWritten(int stream) const {
  std::lock_guard lock(muxMutex_);
  if (writer_) return writer_->ChunkCount(stream);
  if (stream < 0 || static_cast<size_t>(stream) >= lastChunks_.size()) return 0;
  return lastChunks_[stream];
}

// ---- IConfigAviMux / IConfigInterleaving ----------------------------------------------------

STDMETHODIMP CAviMux::SetMasterStream(LONG iStream) {
  if (iStream < -1) return E_INVALIDARG;
  std::lock_guard lock(filterLock_);
  masterStream_ = iStream;
  std::lock_guard mux(muxMutex_);
  if (writer_ && !finished_) {
    const bool mapped = iStream >= 0 && static_cast<size_t>(iStream) < streamOfInput_.size();
    writer_->SetMasterStream(mapped ? streamOfInput_[iStream] : -1);
  }
  return S_OK;
}

STDMETHODIMP CAviMux::GetMasterStream(LONG* pStream) {
  if (!pStream) return E_POINTER;
  std::lock_guard lock(filterLock_);
  *pStream = masterStream_;
  return S_OK;
}

STDMETHODIMP CAviMux::SetOutputCompatibilityIndex(BOOL fOldIndex) {
  std::lock_guard lock(filterLock_);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  compatibilityIndex_ = fOldIndex != FALSE;
  return S_OK;
}

STDMETHODIMP CAviMux::GetOutputCompatibilityIndex(BOOL* pfOldIndex) {
  if (!pfOldIndex) return E_POINTER;
  std::lock_guard lock(filterLock_);
  *pfOldIndex = compatibilityIndex_ ? TRUE : FALSE;
  return S_OK;
}

STDMETHODIMP CAviMux::put_Mode(InterleavingMode mode) {
  std::lock_guard lock(filterLock_);
  switch (mode) {
    case INTERLEAVE_CAPTURE:
    case INTERLEAVE_NONE:
      // Both write each sample as it arrives.
      mode_ = mode;
      return S_OK;
    case INTERLEAVE_FULL:
    case INTERLEAVE_NONE_BUFFERED:
      // Reordering by time needs buffering the writer does not do.
      return E_NOTIMPL;
  }
  return E_INVALIDARG;
}

STDMETHODIMP CAviMux::get_Mode(InterleavingMode* pMode) {
  if (!pMode) return E_POINTER;
  std::lock_guard lock(filterLock_);
  *pMode = mode_;
  return S_OK;
}

STDMETHODIMP CAviMux::put_Interleaving(const REFERENCE_TIME* prtInterleave,
                                       const REFERENCE_TIME* prtPreroll) {
  std::lock_guard lock(filterLock_);
  if (prtInterleave && *prtInterleave <= 0) return E_INVALIDARG;
  if (prtPreroll && *prtPreroll < 0) return E_INVALIDARG;
  if (prtInterleave) interleave_ = *prtInterleave;
  if (prtPreroll) preroll_ = *prtPreroll;
  return S_OK;
}

STDMETHODIMP CAviMux::get_Interleaving(REFERENCE_TIME* prtInterleave, REFERENCE_TIME* prtPreroll) {
  if (!prtInterleave || !prtPreroll) return E_POINTER;
  std::lock_guard lock(filterLock_);
  *prtInterleave = interleave_;
  *prtPreroll = preroll_;
  return S_OK;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_AviDest,
    .friendlyName = L"AVI Mux",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_DO_NOT_USE,
    .inputTypes = {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd},
                   {MEDIATYPE_Video, GUID_NULL},
                   {MEDIATYPE_Audio, MEDIASUBTYPE_PCM}},
    .outputTypes = {{MEDIATYPE_Stream, MEDIASUBTYPE_Avi}},
    .monikerName = {},
    .factory = FilterFactoryFor<CAviMux>(),
});

}  // namespace
}  // namespace vidorra::filters
