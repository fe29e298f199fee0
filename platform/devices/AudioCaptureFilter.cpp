// CAudioCaptureFilter; see AudioCaptureFilter.h.
#include "AudioCaptureFilter.h"

namespace vidorra::devices {

namespace {

// Sound buffers in flight: a tenth of a second each at most, so downstream may hold most of a
// second before the device has to drop.
constexpr long kSoundBuffers = 8;
constexpr int kMeteredBits = 16;
// Room for a sound buffer read without a receiver: beyond the tenth of a second of the largest
// format (48 kHz stereo 16-bit).
constexpr size_t kUnconnectedBytes = 48000 * 2 * 2;

}  // namespace

CAudioCaptureFilter::CAudioCaptureFilter(std::wstring friendlyName, std::wstring deviceName,
                                         std::unique_ptr<AudioBackend> backend)
    : CLiveSource(std::move(friendlyName), CLSID_VidorraAudioCapture, std::move(deviceName),
                  std::move(backend)),
      CTvAudioControl(static_cast<AudioBackend*>(backend_.get())->TvAudio()),
      device_(static_cast<AudioBackend*>(backend_.get())),
      pin_(this, L"Capture", PIN_CATEGORY_CAPTURE, true, kSoundBuffers) {}

CAudioCaptureFilter::~CAudioCaptureFilter() { JoinStreamingThread(); }

HRESULT CAudioCaptureFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
  if (riid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  }
  if (riid == IID_IAudioLevels) return GetInterface(static_cast<IAudioLevels*>(this), ppv);
  if (riid == IID_IAMTVAudio && device_->TvAudio()) {
    return GetInterface(static_cast<IAMTVAudio*>(this), ppv);
  }
  return CLiveSource::NonDelegatingQueryInterface(riid, ppv);
}

void CAudioCaptureFilter::StreamStarting() {
  lastNumber_.reset();
  discontinuity_ = true;
  mode_ = SoundModeOf(CurrentFormat());
  if (mode_ && mode_->bits != kMeteredBits) mode_.reset();
  levels_.Reset();
}

HRESULT CAudioCaptureFilter::CaptureOne(StreamTiming& timing) {
  FrameInfo buffer;
  HRESULT hr = device_->NextFrame(timing, &buffer);
  if (hr != S_OK) return hr;
  if (lastNumber_ && buffer.number > *lastNumber_ + 1) {
    for (uint64_t n = *lastNumber_ + 1; n < buffer.number; ++n) pin_.CountDropped(n);
    discontinuity_ = true;
  }
  lastNumber_ = buffer.number;
  if (!pin_.IsConnected()) return MeasureUnconnected();
  ComPtr<IMediaSample> sample = pin_.TryGetBuffer();
  size_t length = 0;
  if (!sample) {
    pin_.CountDropped(buffer.number);
    discontinuity_ = true;
    return device_->ReadFrame({}, &length);
  }
  BYTE* data = nullptr;
  hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  hr = device_->ReadFrame({data, static_cast<size_t>(sample->GetSize())}, &length);
  if (FAILED(hr)) return hr;
  REFERENCE_TIME start = buffer.captureTime;
  REFERENCE_TIME stop = buffer.captureTime + buffer.duration;
  sample->SetActualDataLength(static_cast<long>(length));
  sample->SetTime(&start, &stop);
  sample->SetMediaTime(&buffer.mediaStart, &buffer.mediaStop);
  sample->SetSyncPoint(TRUE);
  sample->SetDiscontinuity(discontinuity_ ? TRUE : FALSE);
  discontinuity_ = false;
  if (mode_) {
    levels_.Measure({reinterpret_cast<const int16_t*>(data), length / sizeof(int16_t)},
                    mode_->channels, mode_->sampleRate);
  }
  pin_.Deliver(sample.Get());
  pin_.CountDelivered(length);
  return S_OK;
}

STDMETHODIMP CAudioCaptureFilter::SetMetering(BOOL on) {
  metering_ = on != FALSE;
  return S_OK;
}

HRESULT CAudioCaptureFilter::MeasureUnconnected() {
  unconnected_.resize(kUnconnectedBytes);
  size_t length = 0;
  const HRESULT hr = device_->ReadFrame(unconnected_, &length);
  if (FAILED(hr)) return hr;
  if (mode_) {
    levels_.Measure({reinterpret_cast<const int16_t*>(unconnected_.data()), length / sizeof(int16_t)},
                    mode_->channels, mode_->sampleRate);
  }
  return S_OK;
}

}  // namespace vidorra::devices
