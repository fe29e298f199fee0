// The reader of v4l2-ctl's descriptions; see V4l2Description.h.
#include "V4l2Description.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <sstream>

namespace vidorra::devices::replay {

namespace {

// ---- Text ----

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// "Key : value" split at the first colon, both sides trimmed.
bool SplitKey(std::string_view line, std::string_view* key, std::string_view* value) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  *key = Trim(line.substr(0, colon));
  *value = Trim(line.substr(colon + 1));
  return !key->empty();
}

template <size_t N>
void CopyText(__u8 (&to)[N], std::string_view from) {
  std::memset(to, 0, N);
  std::memcpy(to, from.data(), std::min(from.size(), N - 1));
}

// The numbers of a text in order ("0.033s - 1.000s (1.000-30.000 fps)": 0.033 1 1 30). A minus
// sign counts only before a digit and after a blank or the start, so ranges stay ranges.
std::vector<double> NumbersIn(std::string_view text) {
  std::vector<double> numbers;
  size_t i = 0;
  while (i < text.size()) {
    const bool sign = text[i] == '-' && i + 1 < text.size() &&
                      std::isdigit(static_cast<unsigned char>(text[i + 1])) &&
                      (i == 0 || text[i - 1] == ' ' || text[i - 1] == '=');
    if (!sign && !std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    const std::string rest(text.substr(i));
    char* end = nullptr;
    const double value = std::strtod(rest.c_str(), &end);
    numbers.push_back(value);
    i += static_cast<size_t>(end - rest.c_str());
  }
  return numbers;
}

std::optional<uint64_t> HexOrDecimal(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  const std::string word(text.substr(0, text.find_first_of(" \t(")));
  char* end = nullptr;
  const uint64_t value = std::strtoull(word.c_str(), &end, 0);
  if (end == word.c_str() || *end != '\0') return std::nullopt;
  return value;
}

std::optional<int64_t> Signed(std::string_view text) {
  const std::string word(Trim(text));
  if (word.empty()) return std::nullopt;
  char* end = nullptr;
  const long long value = std::strtoll(word.c_str(), &end, 0);
  if (end == word.c_str()) return std::nullopt;
  return value;
}

// A fourcc quoted ('YUYV', 'Y10 ') or bare (BGR3) at the start of `text`; `rest` is what follows.
std::optional<uint32_t> Fourcc(std::string_view text, std::string_view* rest = nullptr) {
  text = Trim(text);
  std::string_view code;
  std::string_view after;
  if (StartsWith(text, "'")) {
    const size_t close = text.find('\'', 1);
    if (close == std::string_view::npos) return std::nullopt;
    code = text.substr(1, close - 1);
    after = text.substr(close + 1);
  } else {
    const size_t end = std::min(text.find_first_of(" \t("), text.size());
    code = text.substr(0, end);
    after = text.substr(end);
  }
  if (code.empty() || code.size() > 4) return std::nullopt;
  char bytes[4] = {' ', ' ', ' ', ' '};
  std::memcpy(bytes, code.data(), code.size());
  if (rest) *rest = Trim(after);
  return v4l2_fourcc(bytes[0], bytes[1], bytes[2], bytes[3]);
}

v4l2_fract Reduced(uint64_t numerator, uint64_t denominator) {
  const uint64_t divisor = std::gcd(numerator, denominator);
  if (divisor == 0) return {0, 0};
  return {static_cast<uint32_t>(numerator / divisor), static_cast<uint32_t>(denominator / divisor)};
}

// The frame interval of a rate printed with three decimals ("29.970"): the exact fraction it
// stands for, trying the whole, NTSC (x1000/1001) and half rates first; `seconds` serves for
// rates under one frame a second, which three decimals render badly.
v4l2_fract IntervalOfRate(double fps, double seconds) {
  constexpr double kPrinted = 0.0015;
  if (fps >= 1.0) {
    const double whole = std::round(fps);
    if (std::abs(fps - whole) < kPrinted) return {1, static_cast<uint32_t>(whole)};
    const double ntsc = std::round(fps * 1.001);
    if (std::abs(fps - ntsc * 1000.0 / 1001.0) < kPrinted) {
      return Reduced(1001, static_cast<uint64_t>(ntsc) * 1000);
    }
    const double half = std::round(fps * 2);
    if (std::abs(fps - half / 2) < kPrinted) return Reduced(2, static_cast<uint64_t>(half));
    return Reduced(1000, static_cast<uint64_t>(std::llround(fps * 1000)));
  }
  if (seconds > 0) return Reduced(static_cast<uint64_t>(std::llround(seconds * 1000)), 1000);
  if (fps > 0) return Reduced(1000, static_cast<uint64_t>(std::llround(fps * 1000)));
  return {0, 0};
}

// ---- Tables ----

struct NamedBit {
  std::string_view name;
  uint32_t bit;
};

constexpr std::array kAudioModes = {
    NamedBit{"mono", V4L2_TUNER_MODE_MONO},   NamedBit{"stereo", V4L2_TUNER_MODE_STEREO},
    NamedBit{"lang1", V4L2_TUNER_MODE_LANG1}, NamedBit{"lang2", V4L2_TUNER_MODE_LANG2},
    NamedBit{"lang1_lang2", V4L2_TUNER_MODE_LANG1_LANG2},
    NamedBit{"bilingual", V4L2_TUNER_MODE_LANG1_LANG2},
};
constexpr std::array kSubchannels = {
    NamedBit{"mono", V4L2_TUNER_SUB_MONO},   NamedBit{"stereo", V4L2_TUNER_SUB_STEREO},
    NamedBit{"lang1", V4L2_TUNER_SUB_LANG1}, NamedBit{"lang2", V4L2_TUNER_SUB_LANG2},
    NamedBit{"rds", V4L2_TUNER_SUB_RDS},
};
constexpr std::array kTunerCapabilities = {
    NamedBit{"62.5 hz", V4L2_TUNER_CAP_LOW},       NamedBit{"1 hz", V4L2_TUNER_CAP_1HZ},
    NamedBit{"multi-standard", V4L2_TUNER_CAP_NORM}, NamedBit{"stereo", V4L2_TUNER_CAP_STEREO},
    NamedBit{"lang1", V4L2_TUNER_CAP_LANG1},       NamedBit{"lang2", V4L2_TUNER_CAP_LANG2},
    NamedBit{"rds", V4L2_TUNER_CAP_RDS},           NamedBit{"freq-bands", V4L2_TUNER_CAP_FREQ_BANDS},
    NamedBit{"hwseek-bounded", V4L2_TUNER_CAP_HWSEEK_BOUNDED},
};

template <size_t N>
uint32_t BitsNamed(std::string_view text, const std::array<NamedBit, N>& table) {
  const std::string lower = Lower(text);
  uint32_t bits = 0;
  std::istringstream words(lower);
  std::string word;
  while (words >> word) {
    for (const NamedBit& entry : table) {
      if (entry.name == word) bits |= entry.bit;
    }
  }
  // Two-word names ("62.5 hz").
  for (const NamedBit& entry : table) {
    if (entry.name.find(' ') != std::string_view::npos &&
        lower.find(entry.name) != std::string::npos) {
      bits |= entry.bit;
    }
  }
  return bits;
}

// The standards an analogue decoder offers, as the kernel enumerates them.
struct StandardGroup {
  v4l2_std_id id;
  std::string_view name;
};
constexpr std::array kStandardGroups = {
    StandardGroup{V4L2_STD_PAL_BG | V4L2_STD_PAL_H, "PAL-BG"},
    StandardGroup{V4L2_STD_PAL_I, "PAL-I"},
    StandardGroup{V4L2_STD_PAL_DK, "PAL-DK"},
    StandardGroup{V4L2_STD_PAL_M, "PAL-M"},
    StandardGroup{V4L2_STD_PAL_N, "PAL-N"},
    StandardGroup{V4L2_STD_PAL_Nc, "PAL-Nc"},
    StandardGroup{V4L2_STD_PAL_60, "PAL-60"},
    StandardGroup{V4L2_STD_NTSC_M, "NTSC-M"},
    StandardGroup{V4L2_STD_NTSC_M_JP, "NTSC-M-JP"},
    StandardGroup{V4L2_STD_NTSC_M_KR, "NTSC-M-KR"},
    StandardGroup{V4L2_STD_NTSC_443, "NTSC-443"},
    StandardGroup{V4L2_STD_SECAM_B | V4L2_STD_SECAM_G | V4L2_STD_SECAM_H, "SECAM-BGH"},
    StandardGroup{V4L2_STD_SECAM_DK, "SECAM-DK"},
    StandardGroup{V4L2_STD_SECAM_L, "SECAM-L"},
    StandardGroup{V4L2_STD_SECAM_LC, "SECAM-Lc"},
};

// Standard controls by the name v4l2-ctl gives them (the driver's name in lower case with
// underscores), for the older listings that print no id. Both spellings of renamed ones.
struct NamedControl {
  std::string_view name;
  uint32_t id;
};
constexpr std::array kControlIds = {
    NamedControl{"brightness", V4L2_CID_BRIGHTNESS},
    NamedControl{"contrast", V4L2_CID_CONTRAST},
    NamedControl{"saturation", V4L2_CID_SATURATION},
    NamedControl{"hue", V4L2_CID_HUE},
    NamedControl{"volume", V4L2_CID_AUDIO_VOLUME},
    NamedControl{"audio_volume", V4L2_CID_AUDIO_VOLUME},
    NamedControl{"balance", V4L2_CID_AUDIO_BALANCE},
    NamedControl{"audio_balance", V4L2_CID_AUDIO_BALANCE},
    NamedControl{"bass", V4L2_CID_AUDIO_BASS},
    NamedControl{"treble", V4L2_CID_AUDIO_TREBLE},
    NamedControl{"mute", V4L2_CID_AUDIO_MUTE},
    NamedControl{"audio_mute", V4L2_CID_AUDIO_MUTE},
    NamedControl{"loudness", V4L2_CID_AUDIO_LOUDNESS},
    NamedControl{"white_balance_automatic", V4L2_CID_AUTO_WHITE_BALANCE},
    NamedControl{"white_balance_temperature_auto", V4L2_CID_AUTO_WHITE_BALANCE},
    NamedControl{"auto_white_balance", V4L2_CID_AUTO_WHITE_BALANCE},
    NamedControl{"do_white_balance", V4L2_CID_DO_WHITE_BALANCE},
    NamedControl{"red_balance", V4L2_CID_RED_BALANCE},
    NamedControl{"blue_balance", V4L2_CID_BLUE_BALANCE},
    NamedControl{"gamma", V4L2_CID_GAMMA},
    NamedControl{"exposure", V4L2_CID_EXPOSURE},
    NamedControl{"gain_automatic", V4L2_CID_AUTOGAIN},
    NamedControl{"autogain", V4L2_CID_AUTOGAIN},
    NamedControl{"gain", V4L2_CID_GAIN},
    NamedControl{"horizontal_flip", V4L2_CID_HFLIP},
    NamedControl{"vertical_flip", V4L2_CID_VFLIP},
    NamedControl{"power_line_frequency", V4L2_CID_POWER_LINE_FREQUENCY},
    NamedControl{"hue_automatic", V4L2_CID_HUE_AUTO},
    NamedControl{"hue_auto", V4L2_CID_HUE_AUTO},
    NamedControl{"white_balance_temperature", V4L2_CID_WHITE_BALANCE_TEMPERATURE},
    NamedControl{"sharpness", V4L2_CID_SHARPNESS},
    NamedControl{"backlight_compensation", V4L2_CID_BACKLIGHT_COMPENSATION},
    NamedControl{"chroma_agc", V4L2_CID_CHROMA_AGC},
    NamedControl{"color_killer", V4L2_CID_COLOR_KILLER},
    NamedControl{"color_effects", V4L2_CID_COLORFX},
    NamedControl{"brightness_automatic", V4L2_CID_AUTOBRIGHTNESS},
    NamedControl{"band_stop_filter", V4L2_CID_BAND_STOP_FILTER},
    NamedControl{"rotate", V4L2_CID_ROTATE},
    NamedControl{"background_color", V4L2_CID_BG_COLOR},
    NamedControl{"chroma_gain", V4L2_CID_CHROMA_GAIN},
    NamedControl{"auto_exposure", V4L2_CID_EXPOSURE_AUTO},
    NamedControl{"exposure_auto", V4L2_CID_EXPOSURE_AUTO},
    NamedControl{"exposure_time_absolute", V4L2_CID_EXPOSURE_ABSOLUTE},
    NamedControl{"exposure_absolute", V4L2_CID_EXPOSURE_ABSOLUTE},
    NamedControl{"exposure_dynamic_framerate", V4L2_CID_EXPOSURE_AUTO_PRIORITY},
    NamedControl{"exposure_auto_priority", V4L2_CID_EXPOSURE_AUTO_PRIORITY},
    NamedControl{"pan_relative", V4L2_CID_PAN_RELATIVE},
    NamedControl{"tilt_relative", V4L2_CID_TILT_RELATIVE},
    NamedControl{"pan_reset", V4L2_CID_PAN_RESET},
    NamedControl{"tilt_reset", V4L2_CID_TILT_RESET},
    NamedControl{"pan_absolute", V4L2_CID_PAN_ABSOLUTE},
    NamedControl{"tilt_absolute", V4L2_CID_TILT_ABSOLUTE},
    NamedControl{"focus_absolute", V4L2_CID_FOCUS_ABSOLUTE},
    NamedControl{"focus_relative", V4L2_CID_FOCUS_RELATIVE},
    NamedControl{"focus_automatic_continuous", V4L2_CID_FOCUS_AUTO},
    NamedControl{"focus_auto", V4L2_CID_FOCUS_AUTO},
    NamedControl{"zoom_absolute", V4L2_CID_ZOOM_ABSOLUTE},
    NamedControl{"zoom_relative", V4L2_CID_ZOOM_RELATIVE},
    NamedControl{"zoom_continuous", V4L2_CID_ZOOM_CONTINUOUS},
    NamedControl{"iris_absolute", V4L2_CID_IRIS_ABSOLUTE},
    NamedControl{"iris_relative", V4L2_CID_IRIS_RELATIVE},
    NamedControl{"privacy", V4L2_CID_PRIVACY},
};

struct ControlType {
  std::string_view name;
  uint32_t type;
};
constexpr std::array kControlTypes = {
    ControlType{"int", V4L2_CTRL_TYPE_INTEGER},    ControlType{"bool", V4L2_CTRL_TYPE_BOOLEAN},
    ControlType{"menu", V4L2_CTRL_TYPE_MENU},      ControlType{"intmenu", V4L2_CTRL_TYPE_INTEGER_MENU},
    ControlType{"int64", V4L2_CTRL_TYPE_INTEGER64}, ControlType{"str", V4L2_CTRL_TYPE_STRING},
    ControlType{"string", V4L2_CTRL_TYPE_STRING},  ControlType{"button", V4L2_CTRL_TYPE_BUTTON},
    ControlType{"bitmask", V4L2_CTRL_TYPE_BITMASK}, ControlType{"u8", V4L2_CTRL_TYPE_U8},
    ControlType{"u16", V4L2_CTRL_TYPE_U16},        ControlType{"u32", V4L2_CTRL_TYPE_U32},
};

constexpr std::array kControlFlags = {
    NamedBit{"disabled", V4L2_CTRL_FLAG_DISABLED},
    NamedBit{"grabbed", V4L2_CTRL_FLAG_GRABBED},
    NamedBit{"read-only", V4L2_CTRL_FLAG_READ_ONLY},
    NamedBit{"update", V4L2_CTRL_FLAG_UPDATE},
    NamedBit{"inactive", V4L2_CTRL_FLAG_INACTIVE},
    NamedBit{"slider", V4L2_CTRL_FLAG_SLIDER},
    NamedBit{"write-only", V4L2_CTRL_FLAG_WRITE_ONLY},
    NamedBit{"volatile", V4L2_CTRL_FLAG_VOLATILE},
    NamedBit{"has-payload", V4L2_CTRL_FLAG_HAS_PAYLOAD},
    NamedBit{"execute-on-write", V4L2_CTRL_FLAG_EXECUTE_ON_WRITE},
};

// The classes of controls, by the heading v4l2-ctl prints over them.
struct ControlClass {
  std::string_view heading;
  uint32_t base;
};
constexpr std::array kControlClasses = {
    ControlClass{"user controls", V4L2_CTRL_CLASS_USER},
    ControlClass{"codec controls", V4L2_CTRL_CLASS_CODEC},
    ControlClass{"camera controls", V4L2_CTRL_CLASS_CAMERA},
    ControlClass{"fm transmitter controls", V4L2_CTRL_CLASS_FM_TX},
    ControlClass{"flash controls", V4L2_CTRL_CLASS_FLASH},
    ControlClass{"jpeg compression controls", V4L2_CTRL_CLASS_JPEG},
    ControlClass{"image source controls", V4L2_CTRL_CLASS_IMAGE_SOURCE},
    ControlClass{"image processing controls", V4L2_CTRL_CLASS_IMAGE_PROC},
    ControlClass{"digital video controls", V4L2_CTRL_CLASS_DV},
    ControlClass{"fm radio receiver controls", V4L2_CTRL_CLASS_FM_RX},
    ControlClass{"rf tuner controls", V4L2_CTRL_CLASS_RF_TUNER},
    ControlClass{"detection controls", V4L2_CTRL_CLASS_DETECT},
};

// "white_balance_temperature" -> "White Balance Temperature".
std::string DriverName(std::string_view printed) {
  std::string name;
  bool wordStart = true;
  for (char c : printed) {
    if (c == '_') {
      name += ' ';
      wordStart = true;
      continue;
    }
    name += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    wordStart = false;
  }
  return name;
}

// ---- The reader ----

// What no driver gives, so a damaged text cannot make the replay allocate or loop without end.
constexpr uint32_t kMaxDimension = 16384;
constexpr int64_t kMaxMenuItems = 1024;

bool SensibleSize(double width, double height) {
  return width >= 1 && height >= 1 && width <= kMaxDimension && height <= kMaxDimension;
}

enum class Section {
  kNone,
  kIgnored,  // a block of no use here, up to the next known heading
  kDriverInfo,
  kCaptureFormat,
  kStreaming,
  kTuner,
  kFormats,
  kFormatsOtherType,  // formats of another buffer type (overlay, output ...)
  kInputs,
  kAudioInputs,
  kStandards,
  kDevices,
};

class Reader {
 public:
  explicit Reader(V4l2Description& out) : out_(out) {}

  void Line(std::string_view raw, int number) {
    line_ = number;
    const std::string_view line = Trim(raw);
    if (line.empty() || IsPrompt(line)) return;
    if (Heading(line)) return;
    if (Control(line)) return;
    if (MenuItem(line)) return;
    bool used = false;
    switch (section_) {
      case Section::kDriverInfo:
        used = DriverInfo(line);
        break;
      case Section::kCaptureFormat:
        used = CaptureFormat(line);
        break;
      case Section::kStreaming:
        used = Streaming(line);
        break;
      case Section::kTuner:
        used = Tuner(line);
        break;
      case Section::kFormats:
        used = Formats(line);
        break;
      case Section::kFormatsOtherType:
        used = true;  // formats of another buffer type, up to the next heading
        break;
      case Section::kInputs:
        used = Inputs(line);
        break;
      case Section::kAudioInputs:
        used = AudioInputs(line);
        break;
      case Section::kStandards:
        used = Standards(line);
        break;
      case Section::kDevices:
        used = StartsWith(line, "/dev/");
        break;
      case Section::kIgnored:
        used = true;
        break;
      case Section::kNone:
        break;
    }
    if (!used) Problem("not understood: " + std::string(line));
  }

  void Finish() {
    EndFormat();
    if (out_.card.empty() && !devicesHeading_.empty()) out_.card = devicesHeading_;
    if (out_.busInfo.empty() && !devicesBus_.empty()) out_.busInfo = devicesBus_;
  }

 private:
  static bool IsPrompt(std::string_view line) {
    if (line.find("v4l2-ctl") != std::string_view::npos) return true;
    // "$ ...", "user@host:~$ ...", "# ..." (a root prompt)
    return StartsWith(line, "$ ") || StartsWith(line, "# ") ||
           (line.find("$ ") != std::string_view::npos && line.find('@') != std::string_view::npos &&
            line.find('@') < line.find("$ "));
  }

  void Problem(std::string text) { out_.problems.push_back({line_, std::move(text)}); }

  // Headings of blocks and the one-line answers of --all.
  bool Heading(std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (StartsWith(line, "Driver Info")) return Enter(Section::kDriverInfo);
    if (StartsWith(line, "Format Video Capture")) return Enter(Section::kCaptureFormat);
    if (StartsWith(line, "Streaming Parameters Video Capture")) return Enter(Section::kStreaming);
    if (StartsWith(line, "ioctl: VIDIOC_ENUM_FMT")) {
      EndFormat();
      return Enter(Section::kFormats);
    }
    if (StartsWith(line, "ioctl: VIDIOC_ENUMINPUT")) return Enter(Section::kInputs);
    if (StartsWith(line, "ioctl: VIDIOC_ENUMAUDIO")) return Enter(Section::kAudioInputs);
    if (StartsWith(line, "ioctl: VIDIOC_ENUMSTD")) return Enter(Section::kStandards);
    if (StartsWith(line, "ioctl:")) return Enter(Section::kIgnored);
    if (StartsWith(line, "VIDIOC_")) return true;  // the verbose mode's "VIDIOC_QUERYCAP: ok"
    for (std::string_view ignored :
         {"Media Driver Info", "Interface Info", "Entity Info", "Format Video Overlay",
          "Format Video Output", "Format VBI", "Format Sliced VBI", "Format Metadata",
          "Framebuffer Format", "Crop Capability", "Crop:", "Selection", "Selection Video",
          "Streaming Parameters Video Output", "Video Output", "Audio output", "Audio Output",
          "Pad ", "Link ", "Tuner Info", "Modulator"}) {
      if (StartsWith(line, ignored)) return Enter(Section::kIgnored);
    }
    for (const ControlClass& heading : kControlClasses) {
      if (Lower(line) == heading.heading) {
        controlClass_ = heading.base;
        return Enter(Section::kNone);
      }
    }
    if (StartsWith(line, "Priority:")) return true;
    if (StartsWith(line, "Video input") && SplitKey(line, &key, &value)) {
      // "0 (Camera 1: ok)"
      const auto index = HexOrDecimal(value);
      if (!index) return false;
      out_.input = static_cast<uint32_t>(*index);
      currentInputName_ = std::string(InParentheses(value));
      currentInputName_ = currentInputName_.substr(0, currentInputName_.rfind(':'));
      return Enter(Section::kNone);
    }
    if (StartsWith(line, "Audio input") && SplitKey(line, &key, &value)) {
      const auto index = HexOrDecimal(value);
      if (!index) return false;
      out_.audioInput = static_cast<uint32_t>(*index);
      currentAudioName_ = std::string(InParentheses(value));
      return Enter(Section::kNone);
    }
    if (StartsWith(line, "Video Standard")) {
      // "Video Standard = 0x000000ff", the standards' names on the lines below
      const size_t equals = line.find('=');
      const auto id = equals == std::string_view::npos ? std::nullopt
                                                       : HexOrDecimal(line.substr(equals + 1));
      if (!id) return false;
      out_.standard = *id;
      return Enter(Section::kIgnored);
    }
    if (StartsWith(line, "Frequency for tuner") || StartsWith(line, "Frequency:")) {
      // "Frequency for tuner 0: 15328 (958.000000 MHz)"; older versions: "Frequency: 15328
      // (958.000000 MHz)", of the first tuner
      std::string_view head;
      if (!SplitKey(line, &head, &value)) return false;
      const auto index = head == "Frequency"
                             ? std::optional<uint64_t>(0)
                             : HexOrDecimal(head.substr(std::strlen("Frequency for tuner")));
      const auto frequency = HexOrDecimal(value);
      if (!index || !frequency) return false;
      TunerAt(static_cast<uint32_t>(*index)).frequency = static_cast<uint32_t>(*frequency);
      return Enter(Section::kNone);
    }
    if (StartsWith(line, "Tuner") && line.back() == ':' &&
        (line == "Tuner:" || StartsWith(line, "Tuner "))) {
      // "Tuner 0:", or "Tuner:" for the first in older versions
      const auto index = line == "Tuner:" ? std::optional<uint64_t>(0)
                                          : HexOrDecimal(line.substr(6, line.size() - 7));
      if (!index) return false;
      tuner_ = static_cast<uint32_t>(*index);
      TunerAt(tuner_);
      return Enter(Section::kTuner);
    }
    // --list-devices: "AOPEN VA1000 POWER (PCI:0000:09:06.0):" over its nodes
    if (line.back() == ':' && line.find(" (") != std::string_view::npos &&
        line[line.size() - 2] == ')' && !StartsWith(line, "Tuner")) {
      if (devicesHeading_.empty()) {
        devicesHeading_ = std::string(Trim(line.substr(0, line.find(" ("))));
        devicesBus_ = std::string(InParentheses(line));
      }
      return Enter(Section::kDevices);
    }
    return false;
  }

  bool Enter(Section section) {
    if (section_ == Section::kFormats && section != Section::kFormats) EndFormat();
    section_ = section;
    lastControl_ = nullptr;
    return true;
  }

  static std::string_view InParentheses(std::string_view text) {
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
      return {};
    }
    return Trim(text.substr(open + 1, close - open - 1));
  }

  DescribedTuner& TunerAt(uint32_t index) {
    for (DescribedTuner& tuner : out_.tuners) {
      if (tuner.tuner.index == index) return tuner;
    }
    DescribedTuner tuner;
    tuner.tuner.index = index;
    tuner.tuner.type = V4L2_TUNER_ANALOG_TV;
    tuner.tuner.audmode = V4L2_TUNER_MODE_MONO;
    tuner.tuner.rxsubchans = V4L2_TUNER_SUB_MONO;
    out_.tuners.push_back(tuner);
    return out_.tuners.back();
  }

  bool DriverInfo(std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (!SplitKey(line, &key, &value)) {
      return true;  // the names of the capability bits, under their hexadecimal value
    }
    const std::string name = Lower(key);
    if (name == "driver name") {
      out_.driver = value;
    } else if (name == "card type") {
      out_.card = value;
    } else if (name == "bus info") {
      out_.busInfo = value;
    } else if (name == "driver version") {
      // "6.5.7" as KERNEL_VERSION gives it
      uint32_t version = 0;
      std::istringstream parts{std::string(value)};
      std::string part;
      for (int shift = 16; shift >= 0 && std::getline(parts, part, '.'); shift -= 8) {
        version |= static_cast<uint32_t>(std::atoi(part.c_str()) & 0xFF) << shift;
      }
      out_.version = version;
    } else if (name == "capabilities") {
      const auto caps = HexOrDecimal(value);
      if (!caps) return false;
      out_.capabilities = static_cast<uint32_t>(*caps);
    } else if (name == "device caps") {
      const auto caps = HexOrDecimal(value);
      if (!caps) return false;
      out_.deviceCaps = static_cast<uint32_t>(*caps);
    }
    return true;  // Serial, Model, Media version ... of no use here
  }

  bool CaptureFormat(std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (!SplitKey(line, &key, &value)) return false;
    v4l2_pix_format& format = CurrentFormat();
    const std::string name = Lower(key);
    if (name == "width/height") {
      const std::vector<double> size = NumbersIn(value);
      if (size.size() < 2 || !SensibleSize(size[0], size[1])) return false;
      format.width = static_cast<uint32_t>(size[0]);
      format.height = static_cast<uint32_t>(size[1]);
    } else if (name == "pixel format") {
      const auto fourcc = Fourcc(value);
      if (!fourcc) return false;
      format.pixelformat = *fourcc;
    } else if (name == "field") {
      const std::string field = Lower(value);
      format.field = field == "none"          ? V4L2_FIELD_NONE
                     : field == "interlaced"  ? V4L2_FIELD_INTERLACED
                     : field == "top"         ? V4L2_FIELD_TOP
                     : field == "bottom"      ? V4L2_FIELD_BOTTOM
                     : field == "alternating" ? V4L2_FIELD_ALTERNATE
                     : field.find("interlaced") != std::string::npos ? V4L2_FIELD_INTERLACED
                                                                     : V4L2_FIELD_ANY;
    } else if (name == "bytes per line") {
      format.bytesperline = static_cast<uint32_t>(HexOrDecimal(value).value_or(0));
    } else if (name == "size image") {
      format.sizeimage = static_cast<uint32_t>(HexOrDecimal(value).value_or(0));
    }
    return true;  // colour space, quantisation, flags ...
  }

  v4l2_pix_format& CurrentFormat() {
    if (!out_.format) {
      out_.format = v4l2_pix_format{};
      out_.format->field = V4L2_FIELD_NONE;
    }
    return *out_.format;
  }

  bool Streaming(std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (!SplitKey(line, &key, &value)) return false;
    const std::string name = Lower(key);
    if (name == "capabilities") {
      out_.timePerFrame = Lower(value).find("timeperframe") != std::string::npos;
    } else if (name == "frames per second") {
      // "29.970 (30000/1001)": the rate as a fraction in the parentheses
      const std::vector<double> numbers = NumbersIn(InParentheses(value));
      if (numbers.size() >= 2 && numbers[0] > 0 && numbers[1] > 0) {
        out_.interval = Reduced(static_cast<uint64_t>(numbers[1]), static_cast<uint64_t>(numbers[0]));
      } else {
        const std::vector<double> rate = NumbersIn(value);
        if (rate.empty() || rate[0] <= 0) return false;
        out_.interval = IntervalOfRate(rate[0], 0);
      }
    }
    return true;
  }

  bool Tuner(std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (!SplitKey(line, &key, &value)) return false;
    v4l2_tuner& tuner = TunerAt(tuner_).tuner;
    const std::string name = Lower(key);
    if (name == "name") {
      CopyText(tuner.name, value);
    } else if (name == "type") {
      const std::string type = Lower(value);
      tuner.type = type.find("radio") != std::string::npos  ? V4L2_TUNER_RADIO
                   : type.find("sdr") != std::string::npos  ? V4L2_TUNER_SDR
                   : type.find("rf") == 0                   ? V4L2_TUNER_RF
                                                            : V4L2_TUNER_ANALOG_TV;
    } else if (name == "capabilities") {
      tuner.capability = BitsNamed(value, kTunerCapabilities);
    } else if (name == "frequency range") {
      // "44.000 MHz - 958.000 MHz", in the tuner's units once its capabilities are known
      const std::vector<double> range = NumbersIn(value);
      if (range.size() < 2) return false;
      const double scale = Lower(value).find("khz") != std::string::npos ? 0.001 : 1.0;
      rangeMhz_ = {range[0] * scale, range[1] * scale};
      haveRange_ = true;
    } else if (name == "signal strength/afc") {
      const std::vector<double> numbers = NumbersIn(value);
      if (!numbers.empty()) tuner.signal = static_cast<__u16>(std::lround(numbers[0] * 65535 / 100));
      if (numbers.size() > 1) tuner.afc = static_cast<__s32>(numbers[1]);
    } else if (name == "current audio mode") {
      tuner.audmode = BitsNamed(value, kAudioModes);  // one word: a mode, not bits
    } else if (name == "available subchannels") {
      tuner.rxsubchans = BitsNamed(value, kSubchannels);
    }
    if (haveRange_) {
      const double unitsPerMhz = (tuner.capability & V4L2_TUNER_CAP_LOW) ? 16000.0 : 16.0;
      tuner.rangelow = static_cast<__u32>(std::lround(rangeMhz_.first * unitsPerMhz));
      tuner.rangehigh = static_cast<__u32>(std::lround(rangeMhz_.second * unitsPerMhz));
    }
    return true;
  }

  // ---- --list-formats(-ext) ----

  bool Formats(std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (StartsWith(line, "[")) {
      // "[0]: 'MJPG' (Motion-JPEG, compressed)"
      const size_t colon = line.find("]:");
      if (colon == std::string_view::npos) return false;
      std::string_view rest;
      const auto fourcc = Fourcc(line.substr(colon + 2), &rest);
      if (!fourcc) return false;
      StartFormat(*fourcc);
      Describe(InParentheses(rest));
      return true;
    }
    if (StartsWith(line, "Size:")) return Size(Trim(line.substr(5)));
    if (StartsWith(line, "Interval:")) return Interval(Trim(line.substr(9)));
    if (!SplitKey(line, &key, &value)) return false;
    const std::string name = Lower(key);
    if (name == "type") {
      const std::string type = Lower(value);
      if (type != "video capture" && type != "video capture multiplanar") {
        EndFormat();
        section_ = Section::kFormatsOtherType;
      }
      return true;
    }
    if (name == "index") {
      EndFormat();  // the older style: the index first, the pixel format after it
      pendingIndex_ = true;
      return true;
    }
    if (name == "pixel format") {
      std::string_view rest;
      const auto fourcc = Fourcc(value, &rest);
      if (!fourcc) return false;
      if (!pendingIndex_ && format_) EndFormat();
      StartFormat(*fourcc);
      Describe(InParentheses(rest));
      pendingIndex_ = false;
      return true;
    }
    if (name == "name") {
      if (!format_) return false;
      Describe(value);
      return true;
    }
    if (name == "flags") {
      if (!format_) return false;
      if (Lower(value).find("compressed") != std::string::npos) {
        format_->flags |= V4L2_FMT_FLAG_COMPRESSED;
      }
      return true;
    }
    return false;
  }

  void StartFormat(uint32_t fourcc) {
    EndFormat();
    format_ = DescribedFormat{};
    format_->fourcc = fourcc;
  }

  // "Motion-JPEG, compressed": the name, and the flags among the parts after commas.
  void Describe(std::string_view text) {
    if (!format_ || text.empty()) return;
    std::string name;
    std::istringstream parts{std::string(text)};
    std::string part;
    while (std::getline(parts, part, ',')) {
      const std::string flag = Lower(Trim(part));
      if (flag == "compressed") {
        format_->flags |= V4L2_FMT_FLAG_COMPRESSED;
      } else if (flag == "emulated") {
        format_->flags |= V4L2_FMT_FLAG_EMULATED;
      } else {
        name += (name.empty() ? "" : ",") + part;
      }
    }
    if (!name.empty()) format_->name = Trim(name);
  }

  void EndFormat() {
    if (!format_) return;
    // The same format listed twice (some drivers list NV12 twice) is one format with the sizes
    // of both.
    auto same = std::find_if(out_.formats.begin(), out_.formats.end(),
                             [&](const DescribedFormat& f) { return f.fourcc == format_->fourcc; });
    if (same == out_.formats.end()) {
      out_.formats.push_back(std::move(*format_));
    } else {
      for (DescribedSize& size : format_->sizes) AddSize(*same, std::move(size));
    }
    format_.reset();
  }

  static void AddSize(DescribedFormat& format, DescribedSize size) {
    for (DescribedSize& existing : format.sizes) {
      if (existing.type == size.type && existing.width == size.width &&
          existing.height == size.height && existing.maxWidth == size.maxWidth &&
          existing.maxHeight == size.maxHeight) {
        for (const v4l2_fract& interval : size.intervals) AddInterval(existing, interval);
        return;
      }
    }
    format.sizes.push_back(std::move(size));
  }

  static void AddInterval(DescribedSize& size, v4l2_fract interval) {
    const bool known = std::any_of(size.intervals.begin(), size.intervals.end(), [&](const v4l2_fract& f) {
      return static_cast<uint64_t>(f.numerator) * interval.denominator ==
             static_cast<uint64_t>(interval.numerator) * f.denominator;
    });
    if (!known) size.intervals.push_back(interval);
  }

  bool Size(std::string_view text) {
    if (!format_) return false;
    const std::string kind = Lower(text.substr(0, text.find(' ')));
    std::vector<double> numbers = NumbersIn(text);
    DescribedSize size;
    if (numbers.size() >= 2 && !SensibleSize(numbers[0], numbers[1])) return false;
    if (numbers.size() >= 4 && !SensibleSize(numbers[2], numbers[3])) return false;
    if (kind == "discrete" && numbers.size() >= 2) {
      size.width = static_cast<uint32_t>(numbers[0]);
      size.height = static_cast<uint32_t>(numbers[1]);
    } else if ((kind == "stepwise" || kind == "continuous") && numbers.size() >= 4) {
      size.type = kind == "stepwise" ? V4L2_FRMSIZE_TYPE_STEPWISE : V4L2_FRMSIZE_TYPE_CONTINUOUS;
      size.width = static_cast<uint32_t>(numbers[0]);
      size.height = static_cast<uint32_t>(numbers[1]);
      size.maxWidth = static_cast<uint32_t>(numbers[2]);
      size.maxHeight = static_cast<uint32_t>(numbers[3]);
      if (numbers.size() >= 6) {
        size.stepWidth = std::max<uint32_t>(1, static_cast<uint32_t>(numbers[4]));
        size.stepHeight = std::max<uint32_t>(1, static_cast<uint32_t>(numbers[5]));
      }
    } else {
      return false;
    }
    AddSize(*format_, size);
    return true;
  }

  bool Interval(std::string_view text) {
    if (!format_ || format_->sizes.empty()) return false;
    // Intervals follow the size they belong to; after a merge of duplicates, that is the one
    // of the same dimensions.
    DescribedSize& size = format_->sizes.back();
    const std::string kind = Lower(text.substr(0, text.find(' ')));
    const std::vector<double> numbers = NumbersIn(text);
    if (kind == "discrete" && !numbers.empty()) {
      const double fps = numbers.size() >= 2 ? numbers[1] : (numbers[0] > 0 ? 1 / numbers[0] : 0);
      const v4l2_fract interval = IntervalOfRate(fps, numbers[0]);
      if (interval.numerator == 0 || interval.denominator == 0) return false;
      AddInterval(size, interval);
      return true;
    }
    if ((kind == "stepwise" || kind == "continuous") && numbers.size() >= 2) {
      // "0.033s - 1.000s [with step 0.033s] (1.000-30.000 fps)"
      const bool stepwise = kind == "stepwise";
      const size_t rates = stepwise ? 3 : 2;
      const double slowFps = numbers.size() > rates ? numbers[rates] : 1 / numbers[1];
      const double fastFps = numbers.size() > rates + 1 ? numbers[rates + 1] : 1 / numbers[0];
      size.intervalType = stepwise ? V4L2_FRMIVAL_TYPE_STEPWISE : V4L2_FRMIVAL_TYPE_CONTINUOUS;
      size.fastest = IntervalOfRate(fastFps, numbers[0]);
      size.slowest = IntervalOfRate(slowFps, numbers[1]);
      size.intervalStep = stepwise && numbers.size() >= 3
                              ? Reduced(static_cast<uint64_t>(std::llround(numbers[2] * 1000)), 1000)
                              : v4l2_fract{1, 1000};
      return size.fastest.denominator != 0 && size.slowest.denominator != 0;
    }
    return false;
  }

  // ---- --list-inputs, --list-audio-inputs, --list-standards ----

  bool Inputs(std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (!SplitKey(line, &key, &value)) return false;
    const std::string name = Lower(key);
    if (name == "input") {
      v4l2_input input{};
      input.index = static_cast<uint32_t>(HexOrDecimal(value).value_or(out_.inputs.size()));
      input.type = V4L2_INPUT_TYPE_CAMERA;
      out_.inputs.push_back(input);
      return true;
    }
    if (out_.inputs.empty()) return false;
    v4l2_input& input = out_.inputs.back();
    if (name == "name") {
      CopyText(input.name, value);
    } else if (name == "type") {
      const auto type = HexOrDecimal(value);
      const std::string text = Lower(value);
      input.type = type ? static_cast<uint32_t>(*type)
                        : (text.find("tuner") != std::string::npos ? V4L2_INPUT_TYPE_TUNER
                                                                   : V4L2_INPUT_TYPE_CAMERA);
    } else if (name == "audio set") {
      input.audioset = static_cast<uint32_t>(HexOrDecimal(value).value_or(0));
    } else if (name == "tuner") {
      input.tuner = static_cast<uint32_t>(HexOrDecimal(value).value_or(0));
    } else if (name == "standard") {
      input.std = HexOrDecimal(value).value_or(0);
    } else if (name == "status") {
      input.status = static_cast<uint32_t>(HexOrDecimal(value).value_or(0));
    } else if (name == "capabilities") {
      input.capabilities = static_cast<uint32_t>(HexOrDecimal(value).value_or(0));
    }
    return true;
  }

  bool AudioInputs(std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (!SplitKey(line, &key, &value)) return false;
    const std::string name = Lower(key);
    if (name == "input") {
      v4l2_audio audio{};
      audio.index = static_cast<uint32_t>(HexOrDecimal(value).value_or(out_.audioInputs.size()));
      out_.audioInputs.push_back(audio);
      return true;
    }
    if (out_.audioInputs.empty()) return false;
    if (name == "name") CopyText(out_.audioInputs.back().name, value);
    return true;
  }

  bool Standards(std::string_view line) {
    std::string_view key;
    std::string_view value;
    if (!SplitKey(line, &key, &value)) return false;
    const std::string name = Lower(key);
    if (name == "index") {
      v4l2_standard standard{};
      standard.index = static_cast<uint32_t>(HexOrDecimal(value).value_or(out_.standards.size()));
      out_.standards.push_back(standard);
      return true;
    }
    if (out_.standards.empty()) return false;
    v4l2_standard& standard = out_.standards.back();
    if (name == "id") {
      standard.id = HexOrDecimal(value).value_or(0);
    } else if (name == "name") {
      CopyText(standard.name, value);
    } else if (name == "frame period") {
      const std::vector<double> period = NumbersIn(value);
      if (period.size() >= 2) {
        standard.frameperiod = {static_cast<uint32_t>(period[0]), static_cast<uint32_t>(period[1])};
      }
    } else if (name == "frame lines") {
      standard.framelines = static_cast<uint32_t>(HexOrDecimal(value).value_or(0));
    }
    return true;
  }

  // ---- --list-ctrls(-menus), -L, and the controls of --all ----

  // "brightness 0x00980900 (int)    : min=0 max=255 step=1 default=128 value=128 flags=slider",
  // the id missing in older versions.
  bool Control(std::string_view line) {
    const size_t open = line.find(" (");
    const size_t close = line.find(')', open == std::string_view::npos ? 0 : open);
    if (open == std::string_view::npos || close == std::string_view::npos) return false;
    std::string_view after = Trim(line.substr(close + 1));
    if (!StartsWith(after, ":")) return false;
    const std::string typeName = Lower(Trim(line.substr(open + 2, close - open - 2)));
    const auto type = std::find_if(kControlTypes.begin(), kControlTypes.end(),
                                   [&](const ControlType& t) { return t.name == typeName; });
    if (type == kControlTypes.end()) return false;
    std::istringstream head{std::string(line.substr(0, open))};
    std::string printed;
    std::string idText;
    head >> printed >> idText;
    if (printed.empty()) return false;

    DescribedControl control;
    control.type = type->type;
    control.name = DriverName(printed);
    if (!idText.empty()) {
      control.id = static_cast<uint32_t>(HexOrDecimal(idText).value_or(0));
    } else {
      control.id = IdOf(printed);
    }
    if (control.type == V4L2_CTRL_TYPE_BOOLEAN) control.maximum = 1;
    ControlFields(Trim(after.substr(1)), control);
    if (control.type == V4L2_CTRL_TYPE_BUTTON) control.step = 0;
    if (control.id == 0) {
      Problem("control without an id: " + printed);
      return true;
    }
    const bool menu = control.type == V4L2_CTRL_TYPE_MENU || control.type == V4L2_CTRL_TYPE_INTEGER_MENU;
    if (menu && (control.maximum < control.minimum || control.minimum < 0 ||
                 control.maximum - control.minimum >= kMaxMenuItems)) {
      Problem("a menu of no sensible range: " + printed);
      return true;
    }
    // A control listed twice (--all and --list-ctrls together) is the same control.
    auto same = std::find_if(out_.controls.begin(), out_.controls.end(),
                             [&](const DescribedControl& c) { return c.id == control.id; });
    if (same != out_.controls.end()) {
      lastControl_ = nullptr;  // its menu, if any, was read the first time
      return true;
    }
    out_.controls.push_back(std::move(control));
    lastControl_ = &out_.controls.back();
    return true;
  }

  uint32_t IdOf(const std::string& printed) {
    for (const NamedControl& named : kControlIds) {
      if (named.name == printed) return named.id;
    }
    // A driver's own control: ids from the driver-private range of its class (0x1000 past
    // the class's first control).
    constexpr uint32_t kFirstControl = 0x900;
    constexpr uint32_t kDriverPrivate = 0x1000;
    const uint32_t base =
        ((controlClass_ ? controlClass_ : V4L2_CTRL_CLASS_USER) | kFirstControl) + kDriverPrivate;
    for (const auto& [name, id] : privateIds_) {
      if (name == printed) return id;
    }
    const uint32_t id = base + static_cast<uint32_t>(privateIds_.size());
    privateIds_.emplace_back(printed, id);
    return id;
  }

  static void ControlFields(std::string_view text, DescribedControl& control) {
    size_t i = 0;
    while (i < text.size()) {
      while (i < text.size() && text[i] == ' ') ++i;
      const size_t equals = text.find('=', i);
      const size_t space = text.find(' ', i);
      if (equals == std::string_view::npos) break;
      if (space != std::string_view::npos && space < equals) {
        i = space;  // a word without '=' (the "(60 Hz)" after a menu's value)
        continue;
      }
      const std::string key(text.substr(i, equals - i));
      size_t end = 0;
      std::string_view value;
      if (key == "flags") {
        value = text.substr(equals + 1);
        end = text.size();
      } else if (equals + 1 < text.size() && text[equals + 1] == '\'') {
        const size_t close = text.rfind('\'');
        value = close > equals + 1 ? text.substr(equals + 2, close - equals - 2) : std::string_view();
        end = close == std::string_view::npos ? text.size() : close + 1;
      } else {
        end = std::min(text.find(' ', equals), text.size());
        value = text.substr(equals + 1, end - equals - 1);
      }
      if (key == "min") {
        control.minimum = Signed(value).value_or(0);
      } else if (key == "max") {
        control.maximum = Signed(value).value_or(0);
      } else if (key == "step") {
        control.step = static_cast<uint64_t>(Signed(value).value_or(1));
      } else if (key == "default") {
        control.defaultValue = Signed(value).value_or(0);
      } else if (key == "value") {
        if (control.type == V4L2_CTRL_TYPE_STRING) {
          control.text = value;
        } else {
          control.value = Signed(value).value_or(0);
        }
      } else if (key == "flags") {
        std::string flags(value);
        std::replace(flags.begin(), flags.end(), ',', ' ');
        control.flags = BitsNamed(flags, kControlFlags);
      }
      i = end;
    }
  }

  // "1: 50 Hz" under a menu control; "0: 12345 (0x00003039)" under an integer menu.
  bool MenuItem(std::string_view line) {
    if (!lastControl_ || (lastControl_->type != V4L2_CTRL_TYPE_MENU &&
                          lastControl_->type != V4L2_CTRL_TYPE_INTEGER_MENU)) {
      return false;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const std::string_view index = line.substr(0, colon);
    if (!std::all_of(index.begin(), index.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      return false;
    }
    DescribedMenuItem item;
    item.index = static_cast<uint32_t>(std::atoi(std::string(index).c_str()));
    const std::string_view rest = Trim(line.substr(colon + 1));
    if (lastControl_->type == V4L2_CTRL_TYPE_MENU) {
      item.name = rest;
    } else {
      item.value = Signed(rest).value_or(0);
    }
    lastControl_->menu.push_back(std::move(item));
    return true;
  }

  V4l2Description& out_;
  int line_ = 0;
  Section section_ = Section::kNone;
  std::optional<DescribedFormat> format_;
  bool pendingIndex_ = false;
  uint32_t tuner_ = 0;
  std::pair<double, double> rangeMhz_{0, 0};
  bool haveRange_ = false;
  uint32_t controlClass_ = 0;
  std::vector<std::pair<std::string, uint32_t>> privateIds_;
  DescribedControl* lastControl_ = nullptr;
  std::string currentInputName_;
  std::string currentAudioName_;
  std::string devicesHeading_;
  std::string devicesBus_;

 public:
  const std::string& CurrentInputName() const { return currentInputName_; }
  const std::string& CurrentAudioName() const { return currentAudioName_; }
};

// ---- Filling in ----

constexpr uint32_t kPalWidth = 720;
constexpr uint32_t kPalHeight = 576;
constexpr uint32_t kNtscHeight = 480;
constexpr uint32_t kVgaWidth = 640;
constexpr uint32_t kVgaHeight = 480;
constexpr v4l2_fract kDefaultInterval{1, 30};

bool Is525Lines(v4l2_std_id standard) {
  return (standard & V4L2_STD_525_60) != 0 && (standard & V4L2_STD_625_50) == 0;
}

std::string BaseNameWithoutExtension(const std::string& fileName) {
  return std::filesystem::path(fileName).stem().string();
}

std::string InputNamed(const v4l2_input& input) {
  return std::string(reinterpret_cast<const char*>(input.name),
                     strnlen(reinterpret_cast<const char*>(input.name), sizeof input.name));
}

void CompleteInputs(V4l2Description& d, const std::string& currentName) {
  if (d.inputs.empty()) {
    v4l2_input input{};
    input.index = d.input.value_or(0);
    input.type = V4L2_INPUT_TYPE_CAMERA;
    CopyText(input.name, currentName.empty() ? std::string_view("Camera 1") : currentName);
    d.inputs.push_back(input);
  }
  // A tuner is reached through an input of tuner type.
  if (!d.tuners.empty() &&
      std::none_of(d.inputs.begin(), d.inputs.end(),
                   [](const v4l2_input& i) { return i.type == V4L2_INPUT_TYPE_TUNER; })) {
    for (v4l2_input& input : d.inputs) {
      const std::string name = Lower(InputNamed(input));
      if (name.find("tuner") != std::string::npos || name.find("television") != std::string::npos ||
          name == "tv") {
        input.type = V4L2_INPUT_TYPE_TUNER;
        input.tuner = d.tuners.front().tuner.index;
      }
    }
  }
  if (!d.tuners.empty() &&
      std::none_of(d.inputs.begin(), d.inputs.end(),
                   [](const v4l2_input& i) { return i.type == V4L2_INPUT_TYPE_TUNER; })) {
    v4l2_input input{};
    input.type = V4L2_INPUT_TYPE_TUNER;
    input.tuner = d.tuners.front().tuner.index;
    const char* tunerName = reinterpret_cast<const char*>(d.tuners.front().tuner.name);
    CopyText(input.name, *tunerName ? std::string_view(tunerName) : std::string_view("Television"));
    input.index = 0;
    while (std::any_of(d.inputs.begin(), d.inputs.end(),
                       [&](const v4l2_input& i) { return i.index == input.index; })) {
      ++input.index;
    }
    d.inputs.push_back(input);
  }
  std::sort(d.inputs.begin(), d.inputs.end(),
            [](const v4l2_input& a, const v4l2_input& b) { return a.index < b.index; });
  // ENUMINPUT counts from 0 without gaps.
  for (size_t i = 0; i < d.inputs.size(); ++i) {
    if (d.input && *d.input == d.inputs[i].index) d.input = static_cast<uint32_t>(i);
    d.inputs[i].index = static_cast<uint32_t>(i);
  }
  if (!d.input || *d.input >= d.inputs.size()) d.input = 0;
}

void CompleteStandards(V4l2Description& d) {
  v4l2_std_id all = 0;
  for (const v4l2_standard& standard : d.standards) all |= standard.id;
  for (const v4l2_input& input : d.inputs) all |= input.std;
  const bool analogue = d.standard || all != 0 ||
                        std::any_of(d.inputs.begin(), d.inputs.end(),
                                    [](const v4l2_input& i) { return i.type == V4L2_INPUT_TYPE_TUNER; });
  if (!analogue) return;
  if (all == 0) all = V4L2_STD_ALL;
  for (v4l2_input& input : d.inputs) {
    if (input.std == 0) input.std = all;
    input.capabilities |= V4L2_IN_CAP_STD;
  }
  if (d.standards.empty()) {
    for (const StandardGroup& group : kStandardGroups) {
      if ((group.id & all) == 0) continue;
      v4l2_standard standard{};
      standard.index = static_cast<uint32_t>(d.standards.size());
      standard.id = group.id & all;
      CopyText(standard.name, group.name);
      d.standards.push_back(standard);
    }
  }
  for (size_t i = 0; i < d.standards.size(); ++i) {
    v4l2_standard& standard = d.standards[i];
    standard.index = static_cast<uint32_t>(i);
    if (standard.frameperiod.denominator == 0) {
      standard.frameperiod = StandardInterval(standard.id);
    }
    if (standard.framelines == 0) standard.framelines = Is525Lines(standard.id) ? 525 : 625;
  }
  if (!d.standard) d.standard = d.standards.empty() ? V4L2_STD_PAL : d.standards.front().id;
}

v4l2_fract RateOf(const V4l2Description& d) {
  if (d.interval && d.interval->numerator && d.interval->denominator) return *d.interval;
  if (d.standard) return StandardInterval(*d.standard);
  return kDefaultInterval;
}

DescribedSize DiscreteSize(uint32_t width, uint32_t height, v4l2_fract interval) {
  DescribedSize size;
  size.width = width;
  size.height = height;
  size.intervals.push_back(interval);
  return size;
}

void CompleteFormats(V4l2Description& d) {
  const v4l2_fract rate = RateOf(d);
  if (d.formats.empty() && d.format && d.format->pixelformat && d.format->width &&
      d.format->height) {
    DescribedFormat only;
    only.fourcc = d.format->pixelformat;
    only.sizes.push_back(DiscreteSize(d.format->width, d.format->height, rate));
    d.formats.push_back(std::move(only));
  }
  const bool ntsc = d.standard && Is525Lines(*d.standard);
  // The standard's rate for sizes a driver lists without their intervals.
  const v4l2_fract standardRate =
      d.standard ? StandardInterval(*d.standard) : (d.interval ? *d.interval : kDefaultInterval);
  for (DescribedFormat& format : d.formats) {
    if (format.sizes.empty()) {
      format.sizes.push_back(DiscreteSize(kPalWidth, ntsc ? kNtscHeight : kPalHeight, standardRate));
      format.sizes.push_back(DiscreteSize(kVgaWidth, kVgaHeight, standardRate));
      if (d.format && d.format->pixelformat == format.fourcc) {
        const bool listed = std::any_of(format.sizes.begin(), format.sizes.end(), [&](const DescribedSize& s) {
          return s.width == d.format->width && s.height == d.format->height;
        });
        if (!listed && d.format->width && d.format->height) {
          format.sizes.push_back(DiscreteSize(d.format->width, d.format->height, standardRate));
        }
      }
    }
    for (DescribedSize& size : format.sizes) {
      if (size.intervals.empty() && size.intervalType == V4L2_FRMIVAL_TYPE_DISCRETE) {
        size.intervals.push_back(rate);
      }
    }
  }
  if (d.formats.size() > 0 && d.format && d.format->pixelformat == 0) d.format.reset();
}

}  // namespace

v4l2_fract StandardInterval(v4l2_std_id standard) {
  return Is525Lines(standard) ? v4l2_fract{1001, 30000} : v4l2_fract{1, 25};
}

V4l2Description ParseV4l2Description(std::string_view text) {
  V4l2Description description;
  Reader reader(description);
  int number = 0;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    ++number;
    reader.Line(text.substr(start, end - start), number);
    if (end == text.size()) break;
    start = end + 1;
  }
  reader.Finish();
  // The current input's and audio input's names, for descriptions that list no inputs.
  if (description.inputs.empty() && !reader.CurrentInputName().empty()) {
    v4l2_input input{};
    input.index = description.input.value_or(0);
    input.type = V4L2_INPUT_TYPE_CAMERA;
    CopyText(input.name, reader.CurrentInputName());
    description.inputs.push_back(input);
  }
  if (description.audioInputs.empty() && description.audioInput && !reader.CurrentAudioName().empty()) {
    v4l2_audio audio{};
    audio.index = *description.audioInput;
    CopyText(audio.name, reader.CurrentAudioName());
    description.audioInputs.push_back(audio);
  }
  return description;
}

void CompleteDescription(V4l2Description& d, const std::string& fileName) {
  if (d.card.empty()) d.card = BaseNameWithoutExtension(fileName);
  if (d.busInfo.empty()) d.busInfo = "replay:" + BaseNameWithoutExtension(fileName);
  if (d.driver.empty()) d.driver = "replay";
  CompleteInputs(d, {});
  if (d.audioInputs.size() > 0) {
    std::sort(d.audioInputs.begin(), d.audioInputs.end(),
              [](const v4l2_audio& a, const v4l2_audio& b) { return a.index < b.index; });
    if (!d.audioInput) d.audioInput = d.audioInputs.front().index;
  }
  CompleteStandards(d);
  CompleteFormats(d);
  if (!d.format && !d.formats.empty()) {
    const DescribedFormat& first = d.formats.front();
    v4l2_pix_format format{};
    format.pixelformat = first.fourcc;
    format.width = first.sizes.front().width;
    format.height = first.sizes.front().height;
    format.field = V4L2_FIELD_NONE;
    d.format = format;
  }
  if (!d.interval) d.interval = RateOf(d);
  // Choosing among several rates needs the time-per-frame capability.
  for (const DescribedFormat& format : d.formats) {
    for (const DescribedSize& size : format.sizes) {
      if (size.intervals.size() > 1 || size.intervalType != V4L2_FRMIVAL_TYPE_DISCRETE) {
        d.timePerFrame = true;
      }
    }
  }
  uint32_t device = d.deviceCaps ? d.deviceCaps
                                 : (d.capabilities & ~V4L2_CAP_DEVICE_CAPS);
  if (device == 0) device = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  // The replay streams every capture device through mmap buffers, whatever the text says of
  // read() and streaming: the program captures by streaming only.
  if (device & V4L2_CAP_VIDEO_CAPTURE) device |= V4L2_CAP_STREAMING;
  if (!d.tuners.empty()) device |= V4L2_CAP_TUNER;
  if (!d.audioInputs.empty()) device |= V4L2_CAP_AUDIO;
  d.deviceCaps = device;
  d.capabilities = (d.capabilities ? d.capabilities : device) | device | V4L2_CAP_DEVICE_CAPS;
}

V4l2Description ReadV4l2Description(std::string_view text, const std::string& fileName) {
  V4l2Description description = ParseV4l2Description(text);
  CompleteDescription(description, fileName);
  return description;
}

}  // namespace vidorra::devices::replay
