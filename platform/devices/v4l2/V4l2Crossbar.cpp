// The analogue inputs of a V4L2 card as a crossbar; see V4l2Crossbar.h.
#include "V4l2Crossbar.h"

#include "V4l2Tuner.h"

#include <fcntl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

namespace vidorra::devices::v4l2 {

namespace {

constexpr uint32_t kWiresPerCard = 0xF;
constexpr uint32_t kCaptureWire = 1;
constexpr long kVideoOut = 0;
constexpr long kAudioOut = 1;

std::string Lower(const __u8* name, size_t size) {
  std::string text(reinterpret_cast<const char*>(name), strnlen(reinterpret_cast<const char*>(name), size));
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::wstring NameOf(const __u8* name, size_t size) {
  return Utf8ToWide(std::string(reinterpret_cast<const char*>(name),
                                strnlen(reinterpret_cast<const char*>(name), size)));
}

long VideoConnector(const v4l2_input& input) {
  if (input.type == V4L2_INPUT_TYPE_TUNER) return PhysConn_Video_Tuner;
  const std::string name = Lower(input.name, sizeof input.name);
  if (name.find("s-video") != std::string::npos || name.find("svideo") != std::string::npos) {
    return PhysConn_Video_SVideo;
  }
  if (name.find("component") != std::string::npos) return PhysConn_Video_YRYBY;
  return PhysConn_Video_Composite;
}

long AudioConnector(const v4l2_audio& audio) {
  const std::string name = Lower(audio.name, sizeof audio.name);
  if (name.find("tuner") != std::string::npos || name.find("tv") != std::string::npos) {
    return PhysConn_Audio_Tuner;
  }
  return PhysConn_Audio_Line;
}

}  // namespace

AnalogInputs QueryInputs(V4l2Calls& calls, int fd) {
  AnalogInputs inputs;
  v4l2_input input{};
  for (input.index = 0; RetryIoctl(calls, fd, VIDIOC_ENUMINPUT, &input) == 0; ++input.index) {
    inputs.video.push_back(input);
  }
  v4l2_audio audio{};
  for (audio.index = 0; RetryIoctl(calls, fd, VIDIOC_ENUMAUDIO, &audio) == 0; ++audio.index) {
    inputs.audio.push_back(audio);
  }
  return inputs;
}

bool HasCrossbar(const AnalogInputs& inputs) {
  return inputs.video.size() > 1 ||
         std::any_of(inputs.video.begin(), inputs.video.end(),
                     [](const v4l2_input& input) { return input.type == V4L2_INPUT_TYPE_TUNER; });
}

KSPIN_MEDIUM CaptureWire(const std::wstring& deviceDisplayName) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (wchar_t c : deviceDisplayName) {
    hash ^= static_cast<uint32_t>(c);
    hash *= 16777619u;
  }
  return {KSMEDIUMSETID_V4l2Card, (hash & ~kWiresPerCard) | kCaptureWire, 0};
}

HRESULT V4l2Crossbar::Open(std::shared_ptr<V4l2Calls> calls, const std::string& devnode,
                           const std::wstring& deviceDisplayName,
                           std::unique_ptr<V4l2Crossbar>* crossbar) {
  if (!crossbar) return E_POINTER;
  const int fd = calls->Open(devnode, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return HResultFromErrno(errno);
  crossbar->reset(new V4l2Crossbar(std::move(calls), fd, deviceDisplayName));
  return S_OK;
}

V4l2Crossbar::V4l2Crossbar(std::shared_ptr<V4l2Calls> calls, int fd,
                           std::wstring deviceDisplayName)
    : calls_(std::move(calls)),
      fd_(fd),
      displayName_(std::move(deviceDisplayName)),
      inputs_(QueryInputs(*calls_, fd)) {}

V4l2Crossbar::~V4l2Crossbar() { calls_->Close(fd_); }

std::vector<CrossbarPinDesc> V4l2Crossbar::Pins() {
  std::vector<CrossbarPinDesc> pins;
  const long videoCount = VideoCount();
  for (const v4l2_input& input : inputs_.video) {
    CrossbarPinDesc pin;
    pin.physicalType = VideoConnector(input);
    pin.pin = {NameOf(input.name, sizeof input.name), PINDIR_INPUT, MEDIATYPE_AnalogVideo,
               pin.physicalType == PhysConn_Video_Tuner
                   ? std::optional(CardWire(displayName_, kTunerPictureWire))
                   : std::nullopt};
    for (size_t a = 0; a < inputs_.audio.size(); ++a) {
      if (input.audioset & (1u << inputs_.audio[a].index)) {
        pin.related = videoCount + static_cast<long>(a);
        break;
      }
    }
    pins.push_back(pin);
  }
  for (size_t a = 0; a < inputs_.audio.size(); ++a) {
    const v4l2_audio& audio = inputs_.audio[a];
    CrossbarPinDesc pin;
    pin.physicalType = AudioConnector(audio);
    pin.pin = {NameOf(audio.name, sizeof audio.name), PINDIR_INPUT, MEDIATYPE_AnalogAudio,
               pin.physicalType == PhysConn_Audio_Tuner
                   ? std::optional(CardWire(displayName_, kTvSoundWire))
                   : std::nullopt};
    for (size_t v = 0; v < inputs_.video.size(); ++v) {
      if (inputs_.video[v].audioset & (1u << audio.index)) {
        pin.related = static_cast<long>(v);
        break;
      }
    }
    pins.push_back(pin);
  }
  const bool sound = !inputs_.audio.empty();
  pins.push_back({{L"Video Decoder Out", PINDIR_OUTPUT, MEDIATYPE_AnalogVideo,
                   CaptureWire(displayName_)},
                  PhysConn_Video_VideoDecoder,
                  sound ? kAudioOut : -1});
  if (sound) {
    pins.push_back({{L"Audio Decoder Out", PINDIR_OUTPUT, MEDIATYPE_AnalogAudio, std::nullopt},
                    PhysConn_Audio_AudioDecoder,
                    kVideoOut});
  }
  return pins;
}

bool V4l2Crossbar::CanRoute(long output, long input) {
  if (input < 0) return false;  // an input is always selected
  if (output == kVideoOut) return input < VideoCount();
  return output == kAudioOut && input >= VideoCount() &&
         input < VideoCount() + static_cast<long>(inputs_.audio.size());
}

HRESULT V4l2Crossbar::Route(long output, long input) {
  if (!CanRoute(output, input)) return E_INVALIDARG;
  if (output == kVideoOut) {
    int index = static_cast<int>(inputs_.video[static_cast<size_t>(input)].index);
    if (RetryIoctl(*calls_, fd_, VIDIOC_S_INPUT, &index) != 0) return HResultFromErrno(errno);
    return S_OK;
  }
  v4l2_audio audio = inputs_.audio[static_cast<size_t>(input - VideoCount())];
  if (RetryIoctl(*calls_, fd_, VIDIOC_S_AUDIO, &audio) != 0) return HResultFromErrno(errno);
  return S_OK;
}

long V4l2Crossbar::RoutedTo(long output) {
  if (output == kVideoOut) {
    int index = -1;
    if (RetryIoctl(*calls_, fd_, VIDIOC_G_INPUT, &index) != 0) return -1;
    for (size_t v = 0; v < inputs_.video.size(); ++v) {
      if (static_cast<int>(inputs_.video[v].index) == index) return static_cast<long>(v);
    }
    return -1;
  }
  v4l2_audio audio{};
  if (RetryIoctl(*calls_, fd_, VIDIOC_G_AUDIO, &audio) != 0) return -1;
  for (size_t a = 0; a < inputs_.audio.size(); ++a) {
    if (inputs_.audio[a].index == audio.index) return VideoCount() + static_cast<long>(a);
  }
  return -1;
}

}  // namespace vidorra::devices::v4l2
