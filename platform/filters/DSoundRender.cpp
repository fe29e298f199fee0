// "Default DirectSound Device"; see DSoundRender.h.
#include "DSoundRender.h"

#include <chrono>
#include <cstdio>

namespace vidorra::filters {
namespace {

constexpr long kMaxChannels = 8;
constexpr double kMicrosecondsPerSecond = 1e6;
// How long after a sample's end the renderer still waits for room in the server. A sink that
// starts late or a stalled server costs that much sound, never the stream's pace: the graph
// upstream (a live source, the picture beside the sound) is not held up any longer.
constexpr auto kLateAllowance = std::chrono::milliseconds(200);
constexpr REFERENCE_TIME kUnitsPerMicrosecond = 10;

bool IsPlayablePcm(const WAVEFORMATEX& format) {
  const bool knownDepth = format.wBitsPerSample == 8 || format.wBitsPerSample == 16 ||
                          format.wBitsPerSample == 24 || format.wBitsPerSample == 32;
  return format.wFormatTag == WAVE_FORMAT_PCM && knownDepth && format.nChannels > 0 &&
         format.nChannels <= kMaxChannels && format.nSamplesPerSec > 0 &&
         format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
}

}  // namespace

CDSoundRender::CDSoundRender()
    : CBaseRenderer(L"Default DirectSound Device", CLSID_DSoundRender), output_("Vidorra") {}

CDSoundRender::~CDSoundRender() {
  std::lock_guard lock(outputMutex_);
  output_.Close();
}

HRESULT CDSoundRender::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IBasicAudio || riid == IID_IDispatch) {
    return GetInterface(static_cast<IBasicAudio*>(this), ppv);
  }
  return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CDSoundRender::put_Volume(long lVolume) {
  if (lVolume < kSilenceHundredthsDb || lVolume > kFullHundredthsDb) return E_INVALIDARG;
  output_.SetVolume(lVolume);
  return S_OK;
}

STDMETHODIMP CDSoundRender::get_Volume(long* plVolume) {
  if (!plVolume) return E_POINTER;
  *plVolume = output_.Volume();
  return S_OK;
}

STDMETHODIMP CDSoundRender::put_Balance(long) { return E_NOTIMPL; }
STDMETHODIMP CDSoundRender::get_Balance(long*) { return E_NOTIMPL; }

HRESULT CDSoundRender::CheckMediaType(const CMediaType* mt) {
  if (!mt || mt->majortype != MEDIATYPE_Audio) return VFW_E_TYPE_NOT_ACCEPTED;
  if (mt->subtype != MEDIASUBTYPE_PCM && mt->subtype != GUID_NULL) return VFW_E_TYPE_NOT_ACCEPTED;
  if (mt->formattype != FORMAT_WaveFormatEx || !mt->pbFormat ||
      mt->cbFormat < sizeof(WAVEFORMATEX)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return IsPlayablePcm(*reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat))
             ? S_OK
             : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CDSoundRender::SetMediaType(const CMediaType* mt) {
  format_ = *reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
  return CBaseRenderer::SetMediaType(mt);
}

HRESULT CDSoundRender::OnStartStreaming() {
  InterruptSilentWait(false);
  rendered_ = 0;
  std::lock_guard lock(outputMutex_);
  std::string error;
  outputOpen_ = output_.Open(format_, &error);
  if (!outputOpen_) {
    // Not an error for the graph: it runs silently on the clock.
    std::fprintf(stderr, "Default DirectSound Device: no sound output (%s); running silently\n",
                 error.c_str());
  }
  return CBaseRenderer::OnStartStreaming();
}

HRESULT CDSoundRender::OnStopStreaming() {
  {
    std::lock_guard lock(outputMutex_);
    output_.Close();
    outputOpen_ = false;
  }
  return CBaseRenderer::OnStopStreaming();
}

STDMETHODIMP CDSoundRender::Stop() {
  // A write waiting for room in the server, or a silent wait, must end before the output
  // closes.
  output_.BeginFlush();
  InterruptSilentWait(true);
  return CBaseRenderer::Stop();
}

STDMETHODIMP CDSoundRender::Pause() {
  HRESULT hr = CBaseRenderer::Pause();
  output_.SetPaused(true);
  return hr;
}

STDMETHODIMP CDSoundRender::Run(REFERENCE_TIME tStart) {
  HRESULT hr = CBaseRenderer::Run(tStart);
  if (SUCCEEDED(hr)) output_.SetPaused(false);
  return hr;
}

HRESULT CDSoundRender::BeginFlush() {
  output_.BeginFlush();
  InterruptSilentWait(true);
  return CBaseRenderer::BeginFlush();
}

HRESULT CDSoundRender::EndFlush() {
  output_.EndFlush();
  InterruptSilentWait(false);
  return CBaseRenderer::EndFlush();
}

HRESULT CDSoundRender::DoRenderSample(IMediaSample* sample) {
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const long length = sample->GetActualDataLength();
  if (!data || length <= 0) return S_OK;
  bool played = false;
  {
    std::lock_guard lock(outputMutex_);
    // A write cut short by a stop or flush is not a failure; a server that went away leaves
    // the renderer silent for the rest of the run.
    if (outputOpen_)
      played = output_.Write(data, static_cast<size_t>(length), WriteDeadline(sample, length));
    if (!played && outputOpen_ && !output_.IsOpen()) outputOpen_ = false;
  }
  if (!played) {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    // Timed samples were already held until their time on the clock.
    if (FAILED(sample->GetTime(&start, &end))) WaitSilently(length);
  }
  ++rendered_;
  return S_OK;
}

std::chrono::microseconds CDSoundRender::DurationOf(long bytes) const {
  if (format_.nAvgBytesPerSec == 0) return {};
  return std::chrono::microseconds(static_cast<long long>(
      bytes * kMicrosecondsPerSecond / static_cast<double>(format_.nAvgBytesPerSec)));
}

PulseAudioOutput::Deadline CDSoundRender::WriteDeadline(IMediaSample* sample, long bytes) const {
  const auto now = std::chrono::steady_clock::now();
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  REFERENCE_TIME clockNow = 0;
  const ComPtr<IReferenceClock> clock = Clock();
  if (SUCCEEDED(sample->GetTime(&start, &end)) && clock && SUCCEEDED(clock->GetTime(&clockNow))) {
    // The sample's end on the graph clock, seen from now.
    const REFERENCE_TIME left = StreamStartTime() + end - clockNow;
    return now + std::chrono::microseconds(left / kUnitsPerMicrosecond) + kLateAllowance;
  }
  // Untimed: the server's pace is the stream's, so a write may take the sample's duration.
  return now + DurationOf(bytes) + kLateAllowance;
}

bool CDSoundRender::WaitSilently(long bytes) {
  if (format_.nAvgBytesPerSec == 0) return true;
  std::unique_lock lock(waitMutex_);
  return !waitChanged_.wait_for(lock, DurationOf(bytes), [this] { return interrupted_; });
}

void CDSoundRender::InterruptSilentWait(bool interrupt) {
  {
    std::lock_guard lock(waitMutex_);
    interrupted_ = interrupt;
  }
  waitChanged_.notify_all();
}

bool CDSoundRender::PlaysToServer() {
  std::lock_guard lock(outputMutex_);
  return outputOpen_ && output_.IsOpen();
}

std::optional<uint32_t> CDSoundRender::ServerVolume() { return output_.ServerVolume(); }

namespace {

// Listed among the audio renderers only: that is where the program and intelligent connect
// look for it, and a second record would list the same device twice in a category union.
const FilterRegistration kRegistration({
    .clsid = CLSID_DSoundRender,
    .friendlyName = L"Default DirectSound Device",
    .category = CLSID_AudioRendererCategory,
    .merit = MERIT_PREFERRED,
    .inputTypes = {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}},
    .outputTypes = {},
    .monikerName = {},
    .factory = FilterFactoryFor<CDSoundRender>(),
});

}  // namespace
}  // namespace vidorra::filters
