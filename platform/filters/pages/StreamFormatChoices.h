// The formats a capture pin offers, as the stream format page presents them: three levels of
// choice (video: subtype, frame size, frame rate; audio: sample rate, bits, channels), each
// narrowing the next, over a flat list of concrete formats expanded from the pin's
// capabilities (IAMStreamConfig::GetStreamCaps). A capability that allows a range of sizes,
// rates or sample formats gives its bounds, its own media type's values and the usual values
// between the bounds that fit its granularity.
//
// A value is a number: video subtypes are numbered in the order of the capabilities, a frame
// size is width << 32 | height, a frame rate is its frame interval in 100 ns units; audio
// values are the sample rate in Hz, the bits per sample and the channel count. Values sort in
// the order they are shown (frame rates fastest first).
//
// Not thread-safe: one page owns it.
#pragma once

#include <streams.h>

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace vidorra::filters {

class StreamFormatChoices {
 public:
  enum class Kind { kVideo, kAudio };
  static constexpr int kLevels = 3;
  using Keys = std::array<int64_t, kLevels>;

  // Reads the pin's capabilities; an error of GetNumberOfCapabilities is returned. A
  // capability the pin fails to give, or of another major type than the first, is skipped.
  HRESULT Load(IAMStreamConfig* config);

  Kind kind() const { return kind_; }
  bool empty() const { return choices_.empty(); }
  // The values of `level` among the formats that agree with `keys` on the levels before it.
  std::vector<int64_t> Values(int level, const Keys& keys) const;
  QString LevelTitle(int level) const;
  QString ValueText(int level, int64_t value) const;
  // The format nearest `type`: level by level the type's own value when some format that
  // agrees so far has it, else the first such format's. Call only when not empty().
  Keys Nearest(const AM_MEDIA_TYPE& type) const;
  // The first format in display order. Call only when not empty().
  Keys First() const;
  // The media type that asks the pin for a format: its capability's type with the chosen
  // size, rate or sample format written in. E_INVALIDARG for keys of no listed format.
  HRESULT MakeType(const Keys& keys, CMediaType* type) const;

 private:
  struct Choice {
    Keys keys;
    size_t capability;
  };

  void AddVideo(size_t capability, const BYTE* caps, bool hasCaps);
  void AddAudio(size_t capability, const BYTE* caps, bool hasCaps);
  void Add(const Keys& keys, size_t capability);

  Kind kind_ = Kind::kVideo;
  std::vector<CMediaType> types_;  // one per capability read
  std::vector<GUID> subtypes_;     // video subtypes by number
  std::vector<Choice> choices_;
};

}  // namespace vidorra::filters
