// SimulatedVideoDevice; see SimulatedVideoDevice.h.
#include "SimulatedVideoDevice.h"

#include "CaptureFormats.h"

namespace vidorra::devices::sim {

namespace {

// Frames a late reader can still get, as from a driver's queue of buffers.
constexpr uint64_t kDriverQueue = kDeviceQueueFrames;

PatternLayout PatternLayoutOf(PictureLayout layout) {
  return layout == PictureLayout::kRgb24 ? PatternLayout::kRgb24 : PatternLayout::kYuy2;
}

}  // namespace

SimulatedVideoDevice::SimulatedVideoDevice(std::shared_ptr<SimulatedCard> card,
                                           std::function<bool()> present)
    : card_(std::move(card)), present_(std::move(present)) {}

std::vector<FormatCapability> SimulatedVideoDevice::Capabilities() {
  const VideoKind& kind = card_->Kind();
  std::vector<FormatCapability> capabilities;
  if (kind.dvSystem) {
    const std::optional<DVINFO> info = DvCamcorderFrames::Info(*kind.dvSystem);
    if (!info) return capabilities;
    const dv::SystemFacts& facts = dv::FactsOf(*kind.dvSystem);
    capabilities.push_back(
        DvCapability(*info, facts.width, facts.height, facts.avgTimePerFrame, facts.frameBytes));
    return capabilities;
  }
  const ULONG standards =
      kind.frontEnd == CardFrontEnd::kNone ? ULONG{AnalogVideo_None} : CardStandards();
  for (const VideoMode& mode : kind.modes) capabilities.push_back(VideoCapability(mode, standards));
  return capabilities;
}

HRESULT SimulatedVideoDevice::Available() { return present_() ? S_OK : VFW_E_NO_CAPTURE_HARDWARE; }

HRESULT SimulatedVideoDevice::StartStream(const CMediaType& format) {
  const VideoKind& kind = card_->Kind();
  next_ = 0;
  dvFrames_.reset();
  jpeg_.reset();
  dv_ = kind.dvSystem.has_value();
  if (dv_) {
    const dv::SystemFacts& facts = dv::FactsOf(*kind.dvSystem);
    mode_ = {PictureLayout::kYuy2, facts.width, facts.height, facts.avgTimePerFrame};
    dvFrames_ = DvCamcorderFrames::Create(*kind.dvSystem);
    return dvFrames_ ? S_OK : VFW_E_NO_CAPTURE_HARDWARE;
  }
  const std::optional<VideoMode> mode = VideoModeOf(format);
  if (!mode || mode->frameInterval <= 0) return VFW_E_INVALIDMEDIATYPE;
  mode_ = *mode;
  if (mode_.layout == PictureLayout::kMjpg) {
    jpeg_ = MjpegEncoder::Create(mode_.width, mode_.height);
    if (!jpeg_) return VFW_E_NO_CAPTURE_HARDWARE;
    picture_.resize(PictureBytes({PictureLayout::kI420, mode_.width, mode_.height, 0}));
  }
  return S_OK;
}

HRESULT SimulatedVideoDevice::NextFrame(StreamTiming& timing, FrameInfo* frame) {
  const REFERENCE_TIME interval = mode_.frameInterval;
  const HRESULT hr = timing.WaitUntil(static_cast<REFERENCE_TIME>(next_) * interval);
  if (hr != S_OK) return hr;
  if (!present_()) return VFW_E_NO_CAPTURE_HARDWARE;
  const REFERENCE_TIME now = timing.Now();
  if (next_ == 0) {
    // Stream time 0 on the card's clock.
    const auto start = std::chrono::steady_clock::now() - std::chrono::nanoseconds(now * 100);
    firstShown_ = card_->FirstFrameNumber(start, interval);
  }
  const uint64_t latest = now > 0 ? static_cast<uint64_t>(now / interval) : 0;
  if (latest >= next_ + kDriverQueue) next_ = latest - kDriverQueue + 1;
  ready_ = next_++;
  frame->number = ready_;
  frame->captureTime = static_cast<REFERENCE_TIME>(ready_) * interval;
  frame->duration = interval;
  frame->mediaStart = static_cast<LONGLONG>(ready_);
  frame->mediaStop = frame->mediaStart + 1;
  return S_OK;
}

HRESULT SimulatedVideoDevice::ReadFrame(std::span<uint8_t> destination, size_t* length) {
  *length = 0;
  if (destination.empty()) return S_OK;
  PatternScene scene = card_->Scene();
  scene.frameNumber = firstShown_ + ready_;
  card_->FrameShown(scene.frameNumber);
  if (dv_) {
    const size_t bytes = dv::FactsOf(*card_->Kind().dvSystem).frameBytes;
    const HRESULT hr = dvFrames_->Make(scene, destination);
    if (SUCCEEDED(hr)) *length = bytes;
    return hr;
  }
  if (mode_.layout == PictureLayout::kMjpg) {
    DrawPattern(scene, {PatternLayout::kI420, mode_.width, mode_.height, picture_.data(), true});
    return jpeg_->Encode(picture_, destination, length);
  }
  const size_t bytes = PictureBytes(mode_);
  if (destination.size() < bytes) return E_OUTOFMEMORY;
  DrawPattern(
      scene, {PatternLayoutOf(mode_.layout), mode_.width, mode_.height, destination.data(), false});
  *length = bytes;
  return S_OK;
}

void SimulatedVideoDevice::StopStream() {
  dvFrames_.reset();
  jpeg_.reset();
}

VideoDeviceLayout SimulatedVideoDevice::Layout() {
  const VideoKind& kind = card_->Kind();
  return {kind.outputs, card_->AnalogVideoIn(), kind.vfwDialogs};
}

std::vector<ControlRange> SimulatedVideoDevice::PictureControls() {
  return SimulatedCard::ControlRanges();
}

HRESULT SimulatedVideoDevice::GetPictureControl(long property, long* value, long* flags) {
  return card_->GetControl(property, value, flags);
}

HRESULT SimulatedVideoDevice::SetPictureControl(long property, long value, long flags) {
  return card_->SetControl(property, value, flags);
}

}  // namespace vidorra::devices::sim
