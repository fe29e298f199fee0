// The test pattern; see TestPattern.h.
#include "TestPattern.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

#include "PatternFont.h"

namespace vidorra::devices::sim {

namespace {

struct Rgb {
  int r, g, b;
};

// A colour as each layout stores it.
struct Colour {
  uint8_t y, u, v;
  uint8_t r, g, b;
};

// 75% colour bars: white, yellow, cyan, green, magenta, red, blue.
constexpr std::array<Rgb, 7> kBars = {{{191, 191, 191},
                                       {191, 191, 0},
                                       {0, 191, 191},
                                       {0, 191, 0},
                                       {191, 0, 191},
                                       {191, 0, 0},
                                       {0, 0, 191}}};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kNoSignal{16, 16, 96};
constexpr int kRampSteps = 8;
constexpr int kScrollPerFrame = 4;  // pixels the bars move each frame
constexpr int kBoxPerFrame = 6;     // pixels the box moves each frame
// Bars rotated by the input they come from, so each input looks different.
constexpr int kCompositeRotation = 2;
constexpr int kSVideoRotation = 4;
// Text is drawn one font pixel per this many picture lines, at least one.
constexpr int kLinesPerFontPixel = 240;
// The frame number's blocks are read in their middle, away from coding artefacts at edges.
constexpr int kReadMargin = 3;
constexpr int kBlackBelow = 80;
constexpr int kWhiteAbove = 176;

uint8_t Clamp(double value) {
  return static_cast<uint8_t>(std::clamp(static_cast<int>(std::lround(value)), 0, 255));
}

// BT.601, limited range (16..235 luma) or full range (JPEG), the controls applied in YCbCr.
Colour MakeColour(Rgb rgb, bool fullRange, const PictureControls* controls) {
  const double r = rgb.r, g = rgb.g, b = rgb.b;
  double y, u, v;
  if (fullRange) {
    y = 0.299 * r + 0.587 * g + 0.114 * b;
    u = -0.168736 * r - 0.331264 * g + 0.5 * b;
    v = 0.5 * r - 0.418688 * g - 0.081312 * b;
  } else {
    y = 16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255;
    u = (-37.797 * r - 74.203 * g + 112.0 * b) / 255;
    v = (112.0 * r - 93.786 * g - 18.214 * b) / 255;
  }
  const double black = fullRange ? 0 : 16;
  if (controls) {
    y = black + (y - black) * controls->contrast / 100.0 + (controls->brightness - 128);
    const double angle = controls->hue * std::numbers::pi / 180.0;
    const double gain = controls->saturation / 100.0;
    const double u2 = (u * std::cos(angle) - v * std::sin(angle)) * gain;
    const double v2 = (u * std::sin(angle) + v * std::cos(angle)) * gain;
    u = u2;
    v = v2;
  }
  Colour c{};
  c.y = Clamp(y);
  c.u = Clamp(u + 128);
  c.v = Clamp(v + 128);
  // Back to RGB for the RGB layout, so the controls act there too.
  const double luma = fullRange ? c.y : 1.164 * (c.y - 16);
  const double cb = c.u - 128.0, cr = c.v - 128.0;
  const double kr = fullRange ? 1.402 : 1.596, kgb = fullRange ? 0.344 : 0.392,
               kgr = fullRange ? 0.714 : 0.813, kb = fullRange ? 1.772 : 2.017;
  c.r = Clamp(luma + kr * cr);
  c.g = Clamp(luma - kgb * cb - kgr * cr);
  c.b = Clamp(luma + kb * cb);
  return c;
}

class Canvas {
 public:
  explicit Canvas(const PatternTarget& target) : t_(target) {
    if (t_.layout == PatternLayout::kYuy2) stride_ = (t_.width * 2 + 3) / 4 * 4;
    if (t_.layout == PatternLayout::kRgb24) stride_ = (t_.width * 3 + 3) / 4 * 4;
    if (t_.layout == PatternLayout::kI420) stride_ = t_.width;
  }

  int Width() const { return t_.width; }
  int Height() const { return t_.height; }

  void Fill(int x, int y, int w, int h, const Colour& c) {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + w, t_.width), y1 = std::min(y + h, t_.height);
    if (x0 >= x1 || y0 >= y1) return;
    switch (t_.layout) {
      case PatternLayout::kYuy2:
        for (int row = y0; row < y1; ++row) {
          uint8_t* p = t_.data + static_cast<size_t>(row) * stride_;
          for (int col = x0; col < x1; ++col) {
            p[2 * col] = c.y;
            p[2 * col + 1] = (col & 1) ? c.v : c.u;
          }
        }
        break;
      case PatternLayout::kI420: {
        for (int row = y0; row < y1; ++row) {
          std::memset(t_.data + static_cast<size_t>(row) * stride_ + x0, c.y,
                      static_cast<size_t>(x1 - x0));
        }
        const int cw = (t_.width + 1) / 2, ch = (t_.height + 1) / 2;
        uint8_t* uPlane = t_.data + static_cast<size_t>(t_.width) * t_.height;
        uint8_t* vPlane = uPlane + static_cast<size_t>(cw) * ch;
        const int cx0 = x0 / 2, cx1 = (x1 + 1) / 2, cy0 = y0 / 2, cy1 = (y1 + 1) / 2;
        for (int row = cy0; row < cy1; ++row) {
          std::memset(uPlane + static_cast<size_t>(row) * cw + cx0, c.u,
                      static_cast<size_t>(cx1 - cx0));
          std::memset(vPlane + static_cast<size_t>(row) * cw + cx0, c.v,
                      static_cast<size_t>(cx1 - cx0));
        }
        break;
      }
      case PatternLayout::kRgb24:
        for (int row = y0; row < y1; ++row) {
          // Bottom-up: the picture's first line is the buffer's last.
          uint8_t* p = t_.data + static_cast<size_t>(t_.height - 1 - row) * stride_;
          for (int col = x0; col < x1; ++col) {
            p[3 * col] = c.b;
            p[3 * col + 1] = c.g;
            p[3 * col + 2] = c.r;
          }
        }
        break;
    }
  }

  Colour Plain(Rgb rgb) const { return MakeColour(rgb, t_.fullRange, nullptr); }
  Colour Controlled(Rgb rgb, const PictureControls& controls) const {
    return MakeColour(rgb, t_.fullRange, &controls);
  }

 private:
  const PatternTarget& t_;
  int stride_ = 0;
};

void DrawFrameNumber(Canvas& canvas, uint32_t number) {
  const Colour black = canvas.Plain(kBlack);
  const Colour white = canvas.Plain(kWhite);
  const int w = canvas.Width();
  for (int i = 0; i < kFrameNumberBits; ++i) {
    const bool one = (number >> (kFrameNumberBits - 1 - i)) & 1u;
    const int x0 = i * w / kFrameNumberBits;
    const int x1 = (i + 1) * w / kFrameNumberBits;
    canvas.Fill(x0, 0, x1 - x0, kFrameNumberRows, one ? white : black);
  }
}

void DrawText(Canvas& canvas, const std::string& text, int x, int y, int scale,
              const Colour& colour) {
  const int advance = (kGlyphWidth + 1) * scale;
  for (char c : Drawable(text)) {
    if (x + kGlyphWidth * scale > canvas.Width()) return;
    const Glyph& glyph = GlyphFor(c);
    for (int row = 0; row < kGlyphHeight; ++row) {
      for (int col = 0; col < kGlyphWidth; ++col) {
        if (glyph[static_cast<size_t>(row)] & (0x10 >> col)) {
          canvas.Fill(x + col * scale, y + row * scale, scale, scale, colour);
        }
      }
    }
    x += advance;
  }
}

int BarRotation(const PatternScene& scene) {
  switch (scene.source) {
    case PatternSource::kCamera:
      return 0;
    case PatternSource::kTuner:
      return static_cast<int>(((scene.channel % 7) + 7) % 7);
    case PatternSource::kComposite:
      return kCompositeRotation;
    case PatternSource::kSVideo:
      return kSVideoRotation;
  }
  return 0;
}

void DrawBody(Canvas& canvas, const PatternScene& scene, int top, int barsBottom, int rampBottom) {
  const int w = canvas.Width();
  const int bars = static_cast<int>(kBars.size());
  const int offset =
      static_cast<int>((scene.frameNumber * kScrollPerFrame) % static_cast<uint64_t>(w));
  const int rotation = BarRotation(scene);
  for (int k = 0; k < bars; ++k) {
    const Colour colour =
        canvas.Controlled(kBars[static_cast<size_t>((k + rotation) % bars)], scene.controls);
    const int width = (k + 1) * w / bars - k * w / bars;
    const int start = (k * w / bars + offset) % w;
    canvas.Fill(start, top, std::min(width, w - start), barsBottom - top, colour);
    if (start + width > w) canvas.Fill(0, top, start + width - w, barsBottom - top, colour);
  }
  const int box = std::max(2, (barsBottom - top) / 3 / 2 * 2);
  const int boxX = static_cast<int>((scene.frameNumber * kBoxPerFrame) %
                                    static_cast<uint64_t>(std::max(1, w - box)));
  canvas.Fill(boxX, top + (barsBottom - top - box) / 2, box, box,
              canvas.Controlled(kWhite, scene.controls));
  for (int step = 0; step < kRampSteps; ++step) {
    const int level = step * 255 / (kRampSteps - 1);
    const int x0 = step * w / kRampSteps;
    const int x1 = (step + 1) * w / kRampSteps;
    canvas.Fill(x0, barsBottom, x1 - x0, rampBottom - barsBottom,
                canvas.Controlled({level, level, level}, scene.controls));
  }
}

}  // namespace

void DrawPattern(const PatternScene& scene, const PatternTarget& target) {
  if (!target.data || target.width <= 0 || target.height <= kFrameNumberRows) return;
  Canvas canvas(target);
  const int h = target.height;
  const int top = kFrameNumberRows;
  const int body = h - top;
  const int barsBottom = top + body * 3 / 5;
  const int rampBottom = barsBottom + body / 5;
  DrawFrameNumber(canvas, static_cast<uint32_t>(scene.frameNumber));
  if (scene.signal) {
    DrawBody(canvas, scene, top, barsBottom, rampBottom);
  } else {
    canvas.Fill(0, top, target.width, rampBottom - top,
                canvas.Controlled(kNoSignal, scene.controls));
  }
  const int scale = std::max(1, h / kLinesPerFontPixel);
  const Colour white = canvas.Plain(kWhite);
  canvas.Fill(0, rampBottom, target.width, h - rampBottom, canvas.Plain(kBlack));
  const int line = (kGlyphHeight + 2) * scale;
  DrawText(canvas, scene.title, 2 * scale, rampBottom + scale, scale, white);
  DrawText(canvas, scene.signal ? scene.caption : scene.caption + " - NO SIGNAL", 2 * scale,
           rampBottom + scale + line, scale, white);
}

std::optional<uint32_t> ReadFrameNumber(const std::function<int(int x, int y)>& luma, int width) {
  uint32_t number = 0;
  for (int i = 0; i < kFrameNumberBits; ++i) {
    const int x0 = i * width / kFrameNumberBits + kReadMargin;
    const int x1 = (i + 1) * width / kFrameNumberBits - kReadMargin;
    int sum = 0, count = 0;
    for (int y = kReadMargin; y < kFrameNumberRows - kReadMargin; ++y) {
      for (int x = x0; x < x1; ++x) {
        sum += luma(x, y);
        ++count;
      }
    }
    if (count == 0) return std::nullopt;
    const int mean = sum / count;
    if (mean > kBlackBelow && mean < kWhiteAbove) return std::nullopt;
    number = (number << 1) | (mean >= kWhiteAbove ? 1u : 0u);
  }
  return number;
}

}  // namespace vidorra::devices::sim
