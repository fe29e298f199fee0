// "AVI Mux"; see AviMux.h.
#include "AviMux.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <mmreg.h>
#include <oleauto.h>
#include <vidorra_pages.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <limits>
#include <numeric>

#include "AviLayout.h"

namespace vidorra::filters {

namespace {

constexpr auto kCheckpointInterval = std::chrono::milliseconds(1000);
// A file is also described after this many frames, and after this much stream time, whichever
// comes first: a recording made faster than real time is covered as well as a live one.
constexpr uint64_t kCheckpointFrames = 25;
constexpr REFERENCE_TIME kCheckpointStreamTime = 10'000'000;
// After the two rectangles, the bit rate and the error rate: the same place in both headers.
constexpr size_t kAvgTimePerFrameOffset = offsetof(VIDEOINFOHEADER, AvgTimePerFrame);
static_assert(kAvgTimePerFrameOffset == offsetof(VIDEOINFOHEADER2, AvgTimePerFrame));
constexpr size_t kWaveFormatBaseBytes = 16;  // WAVEFORMAT without cbSize
constexpr size_t kWaveFormatExBytes = 18;
constexpr wchar_t kStreamNameProperty[] = L"name";
constexpr wchar_t kLockedProperty[] = L"locked";
constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
// Sound ending this little past the last picture (a rounding of its length) counts as covered.
constexpr REFERENCE_TIME kSoundSlack = 10'000;
constexpr REFERENCE_TIME kDefaultFrameTime = 400'000;
constexpr DWORD kSplitFlags = AVI_SPLIT_AT_SCENES | AVI_SPLIT_NAME_FIRST;

SYSTEMTIME SystemTimeOf(const dv::DvRecordedAt& at) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(at.year);
  t.wMonth = static_cast<WORD>(at.month);
  t.wDayOfWeek = static_cast<WORD>(avi::Weekday(at.year, at.month, at.day));
  t.wDay = static_cast<WORD>(at.day);
  t.wHour = static_cast<WORD>(at.hours);
  t.wMinute = static_cast<WORD>(at.minutes);
  t.wSecond = static_cast<WORD>(at.seconds);
  return t;
}

std::wstring InputName(int index) {
  wchar_t name[16];
  std::swprintf(name, std::size(name), L"Input %02d", index + 1);
  return name;
}

// The FOURCC of a subtype made from one ({XXXXXXXX-0000-0010-8000-00AA00389B71}), else 0.
uint32_t FourccOfSubtype(const GUID& subtype) {
  static constexpr uint8_t kTail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  const bool fourcc = subtype.Data2 == 0 && subtype.Data3 == 0x0010 &&
                      std::equal(std::begin(kTail), std::end(kTail), subtype.Data4);
  return fourcc ? subtype.Data1 : 0;
}

}  // namespace

// ---- Where the file queue delivers: the output pin --------------------------------------------

class CAviMux::PinTarget final : public avi::AviFileQueue::Target {
 public:
  explicit PinTarget(CAviMuxOutputPin& pin) : pin_(pin) {}

  HRESULT Deliver(IMediaSample* sample) override {
    const HRESULT hr = pin_.Deliver(sample);
    if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_WRONG_STATE;
    REFERENCE_TIME start = 0, stop = 0;
    sample->GetTime(&start, &stop);
    delivered_.store(std::max(delivered_.load(), static_cast<uint64_t>(stop)));
    return S_OK;
  }
  HRESULT Sync() override {
    IFileWriterStatus* status = pin_.Status();
    return status ? status->Sync() : S_OK;
  }
  HRESULT EndOfStream() override {
    return pin_.IsConnected() ? pin_.DeliverEndOfStream() : S_OK;
  }
  uint64_t WrittenEnd() override {
    ULONGLONG end = 0;
    IFileWriterStatus* status = pin_.Status();
    if (status && SUCCEEDED(status->GetWrittenEnd(&end))) return end;
    return delivered_.load();
  }
  HRESULT NextFile(const std::wstring& path) override {
    IFileWriterStatus* status = pin_.Status();
    if (!status) return E_NOINTERFACE;  // only a File Writer moves on to another file
    const HRESULT hr = status->NextFile(path.c_str());
    if (SUCCEEDED(hr)) delivered_.store(0);
    return hr;
  }
  void NewFile() { delivered_.store(0); }

 private:
  CAviMuxOutputPin& pin_;
  std::atomic<uint64_t> delivered_{0};
};

// ---- Input pins -----------------------------------------------------------------------------

CAviMuxInputPin::CAviMuxInputPin(CAviMux* mux, int index, std::wstring name)
    : CBaseInputPin(mux, std::move(name)), mux_(mux), index_(index) {}

HRESULT CAviMuxInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IPropertyBag) return GetInterface(static_cast<IPropertyBag*>(this), ppv);
  return CBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
}

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

STDMETHODIMP CAviMuxInputPin::Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog*) {
  if (!pszPropName || !pVar) return E_POINTER;
  if (::wcscasecmp(pszPropName, kLockedProperty) == 0) {
    if (pVar->vt != VT_EMPTY && pVar->vt != VT_BOOL) return E_INVALIDARG;
    pVar->vt = VT_BOOL;
    pVar->boolVal = SoundLocked() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  if (::wcscasecmp(pszPropName, kStreamNameProperty) != 0) return E_INVALIDARG;
  if (pVar->vt != VT_EMPTY && pVar->vt != VT_BSTR) return E_INVALIDARG;
  const std::wstring name = StreamName();
  BSTR value = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
  if (!value) return E_OUTOFMEMORY;
  pVar->vt = VT_BSTR;
  pVar->bstrVal = value;
  return S_OK;
}

STDMETHODIMP CAviMuxInputPin::Write(LPCOLESTR pszPropName, VARIANT* pVar) {
  if (!pszPropName || !pVar) return E_POINTER;
  if (::wcscasecmp(pszPropName, kLockedProperty) == 0) {
    if (pVar->vt != VT_BOOL) return E_INVALIDARG;
    std::lock_guard lock(nameMutex_);
    soundLocked_ = pVar->boolVal != VARIANT_FALSE;
    return S_OK;
  }
  if (::wcscasecmp(pszPropName, kStreamNameProperty) != 0) return E_INVALIDARG;
  if (pVar->vt != VT_BSTR) return E_INVALIDARG;
  std::lock_guard lock(nameMutex_);
  streamName_ = pVar->bstrVal ? std::wstring(pVar->bstrVal, SysStringLen(pVar->bstrVal)) : L"";
  return S_OK;
}

std::wstring CAviMuxInputPin::StreamName() const {
  std::lock_guard lock(nameMutex_);
  return streamName_;
}

bool CAviMuxInputPin::SoundLocked() const {
  std::lock_guard lock(nameMutex_);
  return soundLocked_;
}

// ---- Output pin -----------------------------------------------------------------------------

CAviMuxOutputPin::CAviMuxOutputPin(CAviMux* mux) : CBaseOutputPin(mux, L"AVI Out"), mux_(mux) {}

HRESULT CAviMuxOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IFileWriterUpstream) {
    return GetInterface(static_cast<IFileWriterUpstream*>(this), ppv);
  }
  return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CAviMuxOutputPin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  // A byte stream of AVI, either left open; nothing else is looked at.
  const bool stream = pmt->majortype == MEDIATYPE_Stream || pmt->majortype == GUID_NULL;
  const bool avi = pmt->subtype == MEDIASUBTYPE_Avi || pmt->subtype == GUID_NULL;
  return stream && avi ? S_OK : S_FALSE;
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
  mt->SetFormatType(&GUID_NULL);
  mt->SetTemporalCompression(FALSE);
  mt->SetSampleSize(1);
  return S_OK;
}

HRESULT CAviMuxOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                           ALLOCATOR_PROPERTIES* request) {
  // The file's bytes travel in the file queue's own blocks; the connection's allocator only
  // has to exist.
  return DecideBuffers(allocator, *request, {});
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

CAviMux::CAviMux()
    : CBaseFilter(L"AVI Mux", CLSID_AviDest),
      output_(this),
      target_(std::make_unique<PinTarget>(output_)) {
  inputs_.push_back(std::make_unique<CAviMuxInputPin>(this, 0, InputName(0)));
}

CAviMux::~CAviMux() { queue_.Stop(); }

HRESULT CAviMux::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IConfigAviMux) return GetInterface(static_cast<IConfigAviMux*>(this), ppv);
  if (riid == IID_IConfigInterleaving) {
    return GetInterface(static_cast<IConfigInterleaving*>(this), ppv);
  }
  if (riid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  }
  if (riid == IID_IAviFileSplitter) return GetInterface(static_cast<IAviFileSplitter*>(this), ppv);
  if (riid == IID_IAviStreamTimes) return GetInterface(static_cast<IAviStreamTimes*>(this), ppv);
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
    f.kind = avi::AviStreamFormat::Kind::kVideo;
    f.bitmap.biSize = sizeof(BITMAPINFOHEADER);
    if (*mt.FormatType() == FORMAT_DvInfo) {
      // A DV picture described by its packs: the size comes from the first frame, the DVINFO
      // (from the frame too when the block is zero-filled) follows the bitmap header.
      if (*mt.Subtype() != MEDIASUBTYPE_dvsd) return std::nullopt;
      f.bitmap.biCompression = avi::kFccDvsd;
      f.bitmapExtra.assign(avi::dvinfo::kBytes, 0);
      if (format && length >= avi::dvinfo::kBytes) {
        std::copy(format, format + avi::dvinfo::kBytes, f.bitmapExtra.begin());
      }
      return f;
    }
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
    std::memcpy(&f.bitmap, format + bitmapOffset, sizeof f.bitmap);
    std::memcpy(&f.avgTimePerFrame, format + kAvgTimePerFrameOffset, sizeof f.avgTimePerFrame);
    if (f.bitmap.biWidth == 0 && f.bitmap.biHeight == 0) {
      // A zero-filled block: the subtype says what the picture is.
      f.bitmap.biCompression = FourccOfSubtype(*mt.Subtype());
    } else if (f.bitmap.biWidth <= 0 || f.bitmap.biHeight == 0) {
      return std::nullopt;
    }
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
    // Any format is written as it comes: PCM without extra bytes, others with theirs.
    if (f.wave.wFormatTag != WAVE_FORMAT_PCM && length > kWaveFormatExBytes) {
      const size_t extra = std::min<size_t>(f.wave.cbSize, length - kWaveFormatExBytes);
      f.waveExtra.assign(format + kWaveFormatExBytes, format + kWaveFormatExBytes + extra);
    }
    f.wave.cbSize = static_cast<WORD>(f.waveExtra.size());
    return f;
  }
  return std::nullopt;
}

STDMETHODIMP CAviMux::Pause() {
  std::lock_guard lock(filterLock_);
  if (!IsStopped()) return CBaseFilter::Pause();

  std::vector<int> streamOfInput(inputs_.size(), -1);
  std::vector<CMediaType> types(inputs_.size());
  std::vector<avi::AviStreamFormat> formats;
  avi::AviWriterOptions options;
  options.compatibilityIndex = compatibilityIndex_;
  auto writer = std::make_unique<avi::AviWriter>(queue_, options);
  for (size_t i = 0; i < inputs_.size(); ++i) {
    if (!inputs_[i]->IsConnected()) continue;
    types[i] = inputs_[i]->CurrentMediaType();
    auto format = FormatOf(types[i]);
    if (!format) return VFW_E_TYPE_NOT_ACCEPTED;
    format->name = WideToUtf8(inputs_[i]->StreamName());
    format->lockedToPicture = inputs_[i]->SoundLocked();
    streamOfInput[i] = writer->AddStream(*format);
    if (streamOfInput[i] >= 0) formats.push_back(*format);
  }
  const bool anyInput =
      std::any_of(streamOfInput.begin(), streamOfInput.end(), [](int s) { return s >= 0; });
  if (anyInput && !output_.IsConnected()) return VFW_E_NOT_CONNECTED;
  if (masterStream_ >= 0 && static_cast<size_t>(masterStream_) < streamOfInput.size()) {
    options.masterStream = streamOfInput[masterStream_];
    writer->SetMasterStream(options.masterStream);
  }
  // The picture stream that begins files: the master input when it is a picture, else the
  // first picture input.
  const auto isPicture = [&](size_t i) {
    return streamOfInput[i] >= 0 && *types[i].Type() != MEDIATYPE_Audio;
  };
  int pictureInput = -1;
  if (masterStream_ >= 0 && static_cast<size_t>(masterStream_) < types.size() &&
      isPicture(static_cast<size_t>(masterStream_))) {
    pictureInput = static_cast<int>(masterStream_);
  }
  for (size_t i = 0; i < types.size() && pictureInput < 0; ++i) {
    if (isPicture(i)) pictureInput = static_cast<int>(i);
  }
  const ComPtr<IAviFileNamer> namer = pictureInput >= 0 ? namer_ : nullptr;
  const DWORD flags = namer ? splitFlags_ : 0;

  HRESULT hr = CBaseFilter::Pause();
  if (FAILED(hr) || !anyInput) return hr;
  target_->NewFile();
  queue_.Start(target_.get(),
               {.checkpoint = [this] { CheckpointFromQueue(); },
                .failed =
                    [this](HRESULT failure) {
                      std::lock_guard mux(muxMutex_);
                      FailLocked(failure, /*outputFailed=*/true);
                    },
                .switched = [this](HRESULT result) { FileSwitched(result); }},
               kCheckpointInterval);
  {
    std::lock_guard mux(muxMutex_);
    writer_ = std::move(writer);
    streamOfInput_ = std::move(streamOfInput);
    inputTypes_ = std::move(types);
    ended_.assign(inputs_.size(), false);
    failure_ = S_OK;
    dropped_ = 0;
    longestDelay_.assign(inputs_.size(), 0);
    framesSinceCheckpoint_ = 0;
    checkpointTime_.reset();
    fileState_ = FileState::kRecording;
    runNamer_ = namer;
    runFlags_ = flags;
    splitNext_ = false;
    pictureInput_ = pictureInput;
    writerOptions_ = options;
    formats_ = std::move(formats);
    scenes_.reset();
    finishing_.clear();
    picturesInFile_ = 0;
    pictureEnd_.reset();
    DropHeldLocked();
    picturesSinceSplit_ = 0;
    soundEnd_.assign(inputs_.size(), std::nullopt);
    // The header goes out at once: the file is an AVI from its first bytes on. A first file
    // named at its first picture begins there.
    fileCount_ = (flags & AVI_SPLIT_NAME_FIRST) ? 0 : 1;
    hr = fileCount_ ? writer_->Start() : S_OK;
    if (FAILED(hr)) {
      failure_ = hr;
      fileState_ = FileState::kFailed;
    }
  }
  if (FAILED(hr)) {
    queue_.Stop();
    CBaseFilter::Stop();
    return hr;
  }
  return S_OK;
}

STDMETHODIMP CAviMux::Stop() {
  std::lock_guard lock(filterLock_);
  FinishFile();
  queue_.Stop();
  const HRESULT hr = CBaseFilter::Stop();
  std::lock_guard mux(muxMutex_);
  if (writer_) {
    lastTimes_.clear();
    for (size_t s = 0; s < writer_->StreamCount(); ++s) {
      lastTimes_.push_back(*writer_->StreamTimes(static_cast<int>(s)));
    }
  }
  writer_.reset();
  finishing_.clear();
  DropHeldLocked();
  runNamer_.Reset();
  fileState_ = FileState::kNoFile;
  return hr;
}

HRESULT CAviMux::ReceiveSample(int input, IMediaSample* sample) {
  const std::optional<REFERENCE_TIME> arrived = StreamTimeNow();
  // Waits (without the lock) only while the file queue is full.
  queue_.WaitForRoom();
  std::lock_guard lock(muxMutex_);
  if (fileState_ == FileState::kFailed) return failure_;
  if (fileState_ != FileState::kRecording) return S_FALSE;
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
  const std::span<const uint8_t> bytes(data, static_cast<size_t>(length));
  REFERENCE_TIME start = 0, stop = 0;
  std::optional<REFERENCE_TIME> time, stopTime;
  const HRESULT timed = sample->GetTime(&start, &stop);
  if (SUCCEEDED(timed)) time = start;
  if (timed == S_OK && stop > start) stopTime = stop;
  if (arrived && stopTime && static_cast<size_t>(input) < longestDelay_.size()) {
    longestDelay_[input] = std::max(longestDelay_[input], *arrived - *stopTime);
  }
  const bool keyframe = !inputTypes_[input].IsTemporalCompressed() || sample->IsSyncPoint() == S_OK;
  if (runNamer_) {
    if (input == pictureInput_) return ReceivePictureLocked(input, bytes, time, stopTime, keyframe);
    const bool sound = *inputTypes_[input].Type() == MEDIATYPE_Audio;
    // Sound without time stamps cannot be placed: no split waits for it.
    if (sound && !time) soundEnd_[input] = std::numeric_limits<REFERENCE_TIME>::max();
    if ((sound && time) || !writer_->Started()) return HoldSoundLocked(input, bytes, time);
  }
  return WriteLocked(input, bytes, time, keyframe);
}

HRESULT CAviMux::WriteLocked(int input, std::span<const uint8_t> data,
                             std::optional<REFERENCE_TIME> time, bool keyframe) {
  const int stream = streamOfInput_[input];
  if (stream < 0) {
    ++dropped_;
    return S_OK;
  }
  uint64_t chunksBefore = 0;
  for (size_t s = 0; s < writer_->StreamCount(); ++s) {
    chunksBefore += writer_->ChunkCount(static_cast<int>(s));
  }
  const HRESULT hr = writer_->WriteSample(stream, data, time, keyframe);
  if (hr == avi::AviWriter::kStreamEnded) {
    streamOfInput_[input] = -1;
    ++dropped_;
    return S_OK;
  }
  if (hr == E_INVALIDARG || hr == S_FALSE) {
    // Refused, or kept as a dropped frame: counted either way.
    ++dropped_;
    return S_OK;
  }
  if (FAILED(hr)) {
    FailLocked(hr, FAILED(writer_->Status()));
    return hr;
  }
  // A file's first frame is described on disk at once; later ones every kCheckpointFrames
  // frames or kCheckpointStreamTime, besides the queue's checkpoint each second.
  if (*inputTypes_[input].Type() != MEDIATYPE_Audio) ++framesSinceCheckpoint_;
  if (time && !checkpointTime_) checkpointTime_ = *time;
  if (chunksBefore == 0 || framesSinceCheckpoint_ >= kCheckpointFrames ||
      (time && *time - *checkpointTime_ >= kCheckpointStreamTime)) {
    queue_.CheckpointSoon();
    framesSinceCheckpoint_ = 0;
    checkpointTime_ = time;
  }
  return S_OK;
}

HRESULT CAviMux::ReceivePictureLocked(int input, std::span<const uint8_t> data,
                                      std::optional<REFERENCE_TIME> start,
                                      std::optional<REFERENCE_TIME> stop, bool keyframe) {
  // What the frame says of the tape: a DV frame's recording date, and whether a scene begins.
  // Decided in the order the pictures come, whether or not they wait.
  HeldPicture picture{input, {}, start, stop, keyframe, false, std::nullopt};
  bool newScene = false;
  if (const auto system = dv::CheckFrame(data)) {
    const dv::DvRecordingInfo info = dv::ReadRecordingInfo(data, *system);
    if (!scenes_) scenes_.emplace(*system);
    newScene = scenes_->StartsScene(info);
    if (info.recordedState == dv::PackState::kRead) picture.recordedAt = info.recorded;
  }
  // A file that has no picture yet already begins here: a cut asked for then has nothing to do.
  const bool asked = splitNext_.exchange(false);
  picture.split = picturesSinceSplit_ > 0 &&
                  (asked || (newScene && (runFlags_ & AVI_SPLIT_AT_SCENES)));
  picturesSinceSplit_ = picture.split ? 1 : picturesSinceSplit_ + 1;
  const bool waits = picture.split && start && !SoundCaughtUpLocked(*start);
  if (pictures_.empty() && !waits) {
    const HRESULT hr = WritePictureLocked(picture, data);
    return FAILED(hr) ? hr : fileState_ == FileState::kFailed ? failure_ : S_OK;
  }
  // The sound before this picture is still on its way: the pictures wait (in memory) for it.
  picture.bytes.assign(data.begin(), data.end());
  pictureBytes_ += data.size();
  pictures_.push_back(std::move(picture));
  DrainPicturesLocked(/*force=*/false);
  return fileState_ == FileState::kFailed ? failure_ : S_OK;
}

bool CAviMux::SoundCaughtUpLocked(REFERENCE_TIME time) const {
  for (size_t i = 0; i < soundEnd_.size(); ++i) {
    const bool sound = streamOfInput_[i] >= 0 && *inputTypes_[i].Type() == MEDIATYPE_Audio;
    // A sound input that has sent nothing yet is behind too.
    const bool behind = !soundEnd_[i] || *soundEnd_[i] < time - kSoundSlack;
    if (sound && behind && !ended_[i]) return false;
  }
  return true;
}

void CAviMux::DrainPicturesLocked(bool force) {
  if (drainingPictures_) return;
  drainingPictures_ = true;
  while (!pictures_.empty() && fileState_ != FileState::kFailed) {
    const HeldPicture& next = pictures_.front();
    const bool wait = next.split && next.start && !SoundCaughtUpLocked(*next.start);
    if (wait && !force && pictureBytes_ <= kMaxHeldBytes) break;
    HeldPicture picture = std::move(pictures_.front());
    pictures_.pop_front();
    pictureBytes_ -= picture.bytes.size();
    WritePictureLocked(picture, picture.bytes);
  }
  drainingPictures_ = false;
}

HRESULT CAviMux::WritePictureLocked(const HeldPicture& picture, std::span<const uint8_t> data) {
  const std::optional<REFERENCE_TIME> start = picture.start;
  HRESULT hr = S_OK;
  if (!writer_->Started()) {
    hr = BeginFileLocked(picture.recordedAt, start, /*first=*/true);
  } else if (picture.split) {
    hr = BeginFileLocked(picture.recordedAt, start, /*first=*/false);
  } else if (picturesInFile_ == 0 && picture.recordedAt) {
    writer_->SetRecordedAt(*picture.recordedAt);
  }
  if (FAILED(hr)) return hr;
  ++picturesInFile_;
  hr = WriteLocked(picture.input, data, start, picture.keyframe);
  if (FAILED(hr) || !start) return hr;
  // The sound this picture covers can go in now.
  REFERENCE_TIME frame = kDefaultFrameTime;
  if (picture.stop) {
    frame = *picture.stop - *start;
  } else if (pictureEnd_ && *start > *pictureEnd_ - frame && *start < *pictureEnd_ + 10 * frame) {
    frame = std::max<REFERENCE_TIME>(*start - (*pictureEnd_ - frame), 1);
  }
  pictureEnd_ = *start + frame;
  ReleaseSoundLocked(*pictureEnd_ + kSoundSlack, /*cut=*/false);
  return S_OK;
}

WAVEFORMATEX CAviMux::WaveOf(int input) const {
  WAVEFORMATEX wave{};
  const CMediaType& type = inputTypes_[input];
  if (*type.Type() == MEDIATYPE_Audio && type.Format()) {
    std::memcpy(&wave, type.Format(), std::min<size_t>(type.FormatLength(), kWaveFormatBaseBytes));
  }
  return wave;
}

REFERENCE_TIME CAviMux::SoundDuration(int input, size_t bytes) const {
  const WAVEFORMATEX wave = WaveOf(input);
  if (wave.nAvgBytesPerSec == 0) return 0;
  return static_cast<REFERENCE_TIME>(static_cast<__int128>(bytes) * kUnitsPerSecond /
                                     wave.nAvgBytesPerSec);
}

HRESULT CAviMux::HoldSoundLocked(int input, std::span<const uint8_t> data,
                                 std::optional<REFERENCE_TIME> start) {
  const REFERENCE_TIME duration = SoundDuration(input, data.size());
  if (start && *inputTypes_[input].Type() == MEDIATYPE_Audio) {
    soundEnd_[input] = std::max(soundEnd_[input].value_or(*start), *start + duration);
  }
  // Sound the pictures written cover (also come late, while later pictures wait for it),
  // or with no picture to come, goes in at once.
  const bool covered = start && pictureEnd_ && *start + duration <= *pictureEnd_ + kSoundSlack;
  const bool noMorePictures = ended_[pictureInput_] && pictures_.empty();
  if (writer_->Started() && held_.empty() && (covered || noMorePictures)) {
    const HRESULT hr = WriteLocked(input, data, start, true);
    if (!pictures_.empty()) DrainPicturesLocked(/*force=*/false);
    return hr;
  }
  held_.push_back({input, {data.begin(), data.end()}, start});
  heldBytes_ += data.size();
  // Sound that far ahead of every picture is not waited for any longer.
  while (heldBytes_ > kMaxHeldBytes && !held_.empty()) {
    HeldSample oldest = std::move(held_.front());
    held_.pop_front();
    heldBytes_ -= oldest.bytes.size();
    if (!writer_->Started()) {
      ++dropped_;
      continue;
    }
    const HRESULT hr = WriteLocked(oldest.input, oldest.bytes, oldest.start, true);
    if (FAILED(hr)) return hr;
  }
  if (!pictures_.empty()) DrainPicturesLocked(/*force=*/false);
  return fileState_ == FileState::kFailed ? failure_ : S_OK;
}

void CAviMux::ReleaseSoundLocked(REFERENCE_TIME limit, bool cut) {
  if (!writer_->Started()) return;
  std::deque<HeldSample> kept;
  while (!held_.empty()) {
    HeldSample s = std::move(held_.front());
    held_.pop_front();
    heldBytes_ -= s.bytes.size();
    const REFERENCE_TIME duration = SoundDuration(s.input, s.bytes.size());
    std::span<const uint8_t> now(s.bytes);
    if (s.start && *s.start + duration > limit) {
      // Not covered: kept whole, or cut at a block boundary near limit.
      size_t before = 0;
      if (cut && *s.start < limit && duration > 0) {
        const WAVEFORMATEX wave = WaveOf(s.input);
        const size_t block = std::max<size_t>(wave.nBlockAlign, 1);
        const size_t blocks = s.bytes.size() / block;
        const auto wanted = static_cast<size_t>(
            (static_cast<__int128>(limit - *s.start) * blocks + duration / 2) / duration);
        before = wave.wFormatTag == WAVE_FORMAT_PCM ? std::min(wanted, blocks) * block
                                                     : s.bytes.size();
      }
      now = now.first(before);
      if (before < s.bytes.size()) {
        HeldSample rest{s.input, {s.bytes.begin() + static_cast<ptrdiff_t>(before), s.bytes.end()},
                        *s.start + SoundDuration(s.input, before)};
        heldBytes_ += rest.bytes.size();
        kept.push_back(std::move(rest));
      }
    }
    if (!now.empty() && fileState_ != FileState::kNoFile) {
      WriteLocked(s.input, now, s.start, true);
    }
  }
  held_ = std::move(kept);
}

std::unique_ptr<avi::AviWriter> CAviMux::NewWriterLocked() {
  auto writer = std::make_unique<avi::AviWriter>(queue_, writerOptions_);
  for (const avi::AviStreamFormat& format : formats_) writer->AddStream(format);
  return writer;
}

HRESULT CAviMux::BeginFileLocked(const std::optional<dv::DvRecordedAt>& recordedAt,
                                 std::optional<REFERENCE_TIME> at, bool first) {
  HRESULT hr = S_OK;
  if (!first) {
    // The old file takes the sound up to this picture, then what describes it, all queued.
    if (at) ReleaseSoundLocked(*at, /*cut=*/true);
    if (fileState_ == FileState::kFailed) return failure_;
    hr = writer_->Finish();
    if (FAILED(hr)) {
      FailLocked(hr, FAILED(writer_->Status()));
      return hr;
    }
    finishing_.push_back(std::move(writer_));
    writer_ = NewWriterLocked();
  }
  // The namer is asked on the delivery thread, once the old file's bytes are out: whatever it
  // does (a journal made durable) keeps off the streaming threads.
  queue_.NewFile([this, namer = runNamer_, recordedAt](std::wstring& path) {
    const SYSTEMTIME when = recordedAt ? SystemTimeOf(*recordedAt) : SYSTEMTIME{};
    LPOLESTR name = nullptr;
    HRESULT named = namer->NextFileName(recordedAt ? &when : nullptr, &name);
    path = name ? name : L"";
    CoTaskMemFree(name);
    if (SUCCEEDED(named) && path.empty()) named = E_INVALIDARG;
    // The File Writer reports its own failures; the namer's is the mux's to report.
    if (FAILED(named) && output_.Status()) NotifyEvent(EC_ERRORABORT, named, 0);
    return named;
  });
  if (recordedAt) writer_->SetRecordedAt(*recordedAt);
  hr = writer_->Start();
  if (FAILED(hr)) {
    FailLocked(hr, FAILED(writer_->Status()));
    return hr;
  }
  picturesInFile_ = 0;
  framesSinceCheckpoint_ = 0;
  checkpointTime_.reset();
  return S_OK;
}

void CAviMux::DropHeldLocked() {
  held_.clear();
  heldBytes_ = 0;
  pictures_.clear();
  pictureBytes_ = 0;
}

void CAviMux::FileSwitched(HRESULT hr) {
  std::lock_guard lock(muxMutex_);
  if (!finishing_.empty()) finishing_.pop_front();
  if (SUCCEEDED(hr)) ++fileCount_;  // counted once the file is made
  if (SUCCEEDED(hr) || fileState_ == FileState::kNoFile || fileState_ == FileState::kFailed) {
    return;
  }
  // The next file could not be named or made (the namer failed, it exists, the folder is gone):
  // the old one is whole, the new one holds nothing; the recording ends here.
  fileState_ = FileState::kFailed;
  failure_ = hr;
  queue_.Discard();
  finishing_.clear();
  DropHeldLocked();
  if (!output_.Status()) NotifyEvent(EC_ERRORABORT, hr, 0);
}

HRESULT CAviMux::FinishWriterLocked() {
  if (!writer_->Started()) {
    // A first file that was to be named at its first picture, which never came: the name given
    // beforehand keeps the recording.
    const HRESULT hr = writer_->Start();
    if (FAILED(hr)) return hr;
    fileCount_ = 1;
  }
  // The pictures waiting for their sound go in now (the splits they begin with too).
  DrainPicturesLocked(/*force=*/true);
  ReleaseSoundLocked(std::numeric_limits<REFERENCE_TIME>::max(), /*cut=*/false);
  return writer_->Finish();
}

void CAviMux::CheckpointFromQueue() {
  std::lock_guard lock(muxMutex_);
  if (fileState_ != FileState::kRecording || !writer_->Started()) return;
  const HRESULT hr = writer_->Checkpoint();
  if (FAILED(hr)) FailLocked(hr, FAILED(writer_->Status()));
}

void CAviMux::FailLocked(HRESULT hr, bool outputFailed) {
  if (fileState_ == FileState::kNoFile || fileState_ == FileState::kFailed) return;
  const bool wasRecording = fileState_ == FileState::kRecording;
  fileState_ = FileState::kFailed;
  failure_ = hr;
  if (outputFailed) {
    // What is still queued assumed the write would go through: the file is described again
    // from what it holds. Before the delivery thread has moved on to the next file, the
    // failure is the finished file's; the next one was never opened.
    queue_.Discard();
    DropHeldLocked();
    if (!finishing_.empty()) {
      finishing_.front()->Salvage(hr);
      finishing_.clear();
    } else if (writer_->Started()) {
      writer_->Salvage(hr);
    }
  } else if (wasRecording) {
    // The mux's own limit: what was written is sound and is closed as usual.
    FinishWriterLocked();
  }
  // The File Writer reports its own write failures; anything else is the mux's to report.
  if (!(outputFailed && output_.Status())) NotifyEvent(EC_ERRORABORT, hr, 0);
}

void CAviMux::InputEnded(int input) {
  std::lock_guard lock(muxMutex_);
  if (input < 0 || static_cast<size_t>(input) >= ended_.size()) return;
  ended_[input] = true;
  // No picture will cover the sound held any more (unless pictures wait for earlier sound);
  // a sound that ends is not waited for any more.
  if (fileState_ == FileState::kRecording) {
    if (input != pictureInput_) DrainPicturesLocked(/*force=*/false);
    if (ended_[pictureInput_ < 0 ? input : pictureInput_] && pictures_.empty()) {
      ReleaseSoundLocked(std::numeric_limits<REFERENCE_TIME>::max(), /*cut=*/false);
    }
  }
  for (size_t i = 0; i < streamOfInput_.size(); ++i) {
    if (inputs_[i]->IsConnected() && !ended_[i]) return;
  }
  if (fileState_ == FileState::kRecording) {
    fileState_ = FileState::kFinished;
    const HRESULT hr = FinishWriterLocked();
    if (FAILED(hr)) FailLocked(hr, FAILED(writer_->Status()));
  }
  // The end of stream follows the file's last bytes through the queue.
  if (fileState_ == FileState::kFinished) queue_.EndOfStream();
}

void CAviMux::FinishFile() {
  {
    std::lock_guard lock(muxMutex_);
    if (fileState_ == FileState::kRecording) {
      fileState_ = FileState::kFinished;
      const HRESULT hr = FinishWriterLocked();
      if (FAILED(hr)) FailLocked(hr, FAILED(writer_->Status()));
    }
  }
  // Once the queue is drained the file holds its last data and, after them, what describes it.
  queue_.Drain();
}

std::optional<REFERENCE_TIME> CAviMux::StreamTimeNow() {
  ComPtr<IReferenceClock> clock = Clock();
  REFERENCE_TIME now = 0;
  if (State() != State_Running || !clock || FAILED(clock->GetTime(&now))) return std::nullopt;
  return now - StreamStartTime();
}

REFERENCE_TIME CAviMux::LongestDelay(int input) const {
  std::lock_guard lock(muxMutex_);
  return input >= 0 && static_cast<size_t>(input) < longestDelay_.size() ? longestDelay_[input] : 0;
}

long CAviMux::DroppedSamples() const {
  std::lock_guard lock(muxMutex_);
  return dropped_;
}

uint64_t CAviMux::ChunksWritten(int stream) const {
  std::lock_guard lock(muxMutex_);
  if (writer_) return writer_->ChunkCount(stream);
  if (stream < 0 || static_cast<size_t>(stream) >= lastTimes_.size()) return 0;
  return lastTimes_[stream].chunks;
}

STDMETHODIMP CAviMux::GetStreamTimes(LONG stream, AVI_STREAM_TIMES* times) {
  if (times == nullptr) return E_POINTER;
  std::lock_guard lock(muxMutex_);
  if (writer_) {
    const std::optional<AVI_STREAM_TIMES> now = writer_->StreamTimes(stream);
    if (!now) return E_INVALIDARG;
    *times = *now;
    return S_OK;
  }
  if (stream < 0 || static_cast<size_t>(stream) >= lastTimes_.size()) return E_INVALIDARG;
  *times = lastTimes_[stream];
  return S_OK;
}

// ---- IConfigAviMux / IConfigInterleaving / ISpecifyPropertyPages -----------------------------

STDMETHODIMP CAviMux::SetMasterStream(LONG iStream) {
  if (iStream < -1) return E_INVALIDARG;
  std::lock_guard lock(filterLock_);
  masterStream_ = iStream;
  std::lock_guard mux(muxMutex_);
  if (writer_ && fileState_ == FileState::kRecording) {
    const bool mapped = iStream >= 0 && static_cast<size_t>(iStream) < streamOfInput_.size();
    writerOptions_.masterStream = mapped ? streamOfInput_[iStream] : -1;
    writer_->SetMasterStream(writerOptions_.masterStream);
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

STDMETHODIMP CAviMux::GetPages(CAUUID* pPages) {
  if (!pPages) return E_POINTER;
  pPages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (!pPages->pElems) {
    pPages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  pPages->cElems = 1;
  pPages->pElems[0] = CLSID_AviMuxPropertyPage;
  return S_OK;
}

// ---- IAviFileSplitter -------------------------------------------------------------------------

STDMETHODIMP CAviMux::SetFileNamer(IAviFileNamer* namer) {
  std::lock_guard lock(filterLock_);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  namer_ = namer;
  if (!namer) splitFlags_ = 0;
  return S_OK;
}

STDMETHODIMP CAviMux::SetSplitting(DWORD flags) {
  std::lock_guard lock(filterLock_);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  if (flags & ~kSplitFlags) return E_INVALIDARG;
  if (flags && !namer_) return E_UNEXPECTED;
  splitFlags_ = flags;
  return S_OK;
}

STDMETHODIMP CAviMux::SplitAtNextFrame() {
  std::lock_guard lock(filterLock_);
  if (IsStopped()) return VFW_E_WRONG_STATE;
  std::lock_guard mux(muxMutex_);
  if (!runNamer_) return E_UNEXPECTED;
  splitNext_ = true;
  return S_OK;
}

STDMETHODIMP CAviMux::GetFileCount(LONG* count) {
  if (!count) return E_POINTER;
  std::lock_guard lock(muxMutex_);
  *count = fileCount_;
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
                   {MEDIATYPE_Audio, GUID_NULL}},
    .outputTypes = {{MEDIATYPE_Stream, MEDIASUBTYPE_Avi}},
    .monikerName = {},
    .factory = FilterFactoryFor<CAviMux>(),
});

}  // namespace
}  // namespace vidorra::filters
