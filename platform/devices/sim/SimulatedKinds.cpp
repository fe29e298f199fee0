// The kinds of simulated devices; see SimulatedKinds.h.
#include "SimulatedKinds.h"

namespace vidorra::devices::sim {

namespace {

constexpr REFERENCE_TIME k30Fps = 333333;
constexpr REFERENCE_TIME k15Fps = 666667;
constexpr REFERENCE_TIME k25Fps = 400000;

// TV cards receive these broadcast standards; their pictures are 50 Hz ones.
constexpr ULONG kCardStandards = AnalogVideo_PAL_B | AnalogVideo_PAL_D | AnalogVideo_PAL_G |
                                 AnalogVideo_PAL_I | AnalogVideo_SECAM_L | AnalogVideo_NTSC_M;

const VideoPinDesc kCapturePin{VideoPinRole::kCapture, L"Capture"};
const VideoPinDesc kPreviewPin{VideoPinRole::kPreview, L"Preview"};

VideoKind Camera(std::string name, std::vector<VideoPinDesc> outputs, std::vector<VideoMode> modes,
                 bool vfwDialogs = false) {
  return {std::move(name),
          std::move(outputs),
          std::move(modes),
          std::nullopt,
          CardFrontEnd::kNone,
          vfwDialogs,
          true};
}

VideoKind Camcorder(std::string name, dv::DvSystem system) {
  return {std::move(name),
          {{VideoPinRole::kCapture, L"DV A/V Out"}},
          {},
          system,
          CardFrontEnd::kNone,
          false,
          true};
}

VideoKind Card(std::string name, CardFrontEnd frontEnd) {
  return {std::move(name),
          {kCapturePin},
          {{PictureLayout::kYuy2, 720, 576, k25Fps},
           {PictureLayout::kYuy2, 640, 480, k25Fps},
           {PictureLayout::kYuy2, 320, 240, k25Fps}},
          std::nullopt,
          frontEnd,
          false,
          true};
}

const std::vector<VideoKind>& VideoKinds() {
  static const std::vector<VideoKind> kinds = {
      Camcorder("dv", dv::DvSystem::k625_50),
      Camcorder("dv-ntsc", dv::DvSystem::k525_60),
      Camera("webcam", {kCapturePin, kPreviewPin},
             {{PictureLayout::kYuy2, 640, 480, k30Fps},
              {PictureLayout::kYuy2, 640, 480, k15Fps},
              {PictureLayout::kYuy2, 320, 240, k30Fps},
              {PictureLayout::kYuy2, 320, 240, k15Fps},
              {PictureLayout::kMjpg, 1280, 720, k30Fps},
              {PictureLayout::kMjpg, 1280, 720, k15Fps}}),
      Camera("capture", {kCapturePin},
             {{PictureLayout::kYuy2, 720, 576, k25Fps},
              {PictureLayout::kYuy2, 640, 480, k30Fps},
              {PictureLayout::kYuy2, 320, 240, k30Fps}}),
      Card("tv", CardFrontEnd::kOneCrossbar),
      Card("tv2", CardFrontEnd::kTwoCrossbars),
      Camera("vfw", {kCapturePin, kPreviewPin},
             {{PictureLayout::kYuy2, 640, 480, k30Fps},
              {PictureLayout::kYuy2, 320, 240, k30Fps},
              {PictureLayout::kRgb24, 320, 240, k30Fps}},
             true),
      Camera("videoport", {kCapturePin, {VideoPinRole::kVideoPort, L"VP"}},
             {{PictureLayout::kYuy2, 720, 576, k25Fps}, {PictureLayout::kYuy2, 320, 240, k25Fps}}),
      Camera("nopins", {}, {}),
      {"broken", {}, {}, std::nullopt, CardFrontEnd::kNone, false, false},
  };
  return kinds;
}

const std::vector<AudioKind>& AudioKinds() {
  static const std::vector<SoundMode> modes = {
      {48000, 2, 16}, {48000, 1, 16}, {44100, 2, 16}, {44100, 1, 16}};
  static const std::vector<AudioKind> kinds = {
      {"tone", modes, false}, {"tv-audio", modes, true}, {"silence", modes, false, true}};
  return kinds;
}

}  // namespace

ULONG CardStandards() { return kCardStandards; }

const VideoKind* FindVideoKind(const std::string& name) {
  for (const VideoKind& kind : VideoKinds()) {
    if (kind.name == name) return &kind;
  }
  return nullptr;
}

const AudioKind* FindAudioKind(const std::string& name) {
  for (const AudioKind& kind : AudioKinds()) {
    if (kind.name == name) return &kind;
  }
  return nullptr;
}

}  // namespace vidorra::devices::sim
