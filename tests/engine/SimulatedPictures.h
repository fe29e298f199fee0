// What the engine and window tests read from the pictures of a simulated device: a picture's
// frame number and, for a TV card, which input it shows; a recording's frame numbers. And QString
// values made readable in their failure messages.
#pragma once

#include <gtest/gtest.h>
#include <recording_readback.h>

#include <QImage>
#include <cstdlib>
#include <limits>

#include "sim/TestPattern.h"

inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace vidorra::test {

// The frame number a picture carries; a DV picture decoded at half size carries its rows of
// blocks half as tall.
inline std::optional<uint32_t> FrameNumberOf(const QImage& image) {
  if (image.isNull()) return std::nullopt;
  for (const int scale : {1, 2}) {
    const std::optional<uint32_t> number = devices::sim::ReadFrameNumber(
        [&](int x, int y) { return qGray(image.pixel(x, y / scale)); }, image.width());
    if (number) return number;
  }
  return std::nullopt;
}

// The frame numbers of a recording's pictures as ffmpeg decodes them: as many as ffprobe counts,
// each one after the one before (empty when a picture has none).
inline std::vector<uint32_t> NumberedFrames(const std::string& path, int width, int height) {
  SCOPED_TRACE(path);
  const std::vector<std::optional<uint32_t>> read = RecordedFrameNumbers(path, width, height);
  EXPECT_EQ(static_cast<long>(read.size()), ProbedFrames(path));
  std::vector<uint32_t> numbers;
  for (const std::optional<uint32_t>& number : read) {
    if (!number) {
      ADD_FAILURE() << "frame " << numbers.size() << " has no readable number";
      return {};
    }
    EXPECT_TRUE(numbers.empty() || *number == numbers.back() + 1) << "frame " << numbers.size();
    numbers.push_back(*number);
  }
  return numbers;
}

// The input whose bars, drawn for the picture's frame number and the tuned channel, differ least
// from the picture's (every other pixel of the band under the frame number's rows); none when
// the picture carries no readable number.
inline std::optional<devices::sim::PatternSource> ShownInput(const QImage& image, long channel) {
  namespace sim = devices::sim;
  const int width = image.width(), height = image.height();
  const std::optional<uint32_t> number = FrameNumberOf(image);
  if (!number) return std::nullopt;
  const int stride = (width * 3 + 3) / 4 * 4;
  const int bottom = sim::kFrameNumberRows + (height - sim::kFrameNumberRows) * 3 / 5;
  std::vector<uint8_t> drawn(static_cast<size_t>(stride) * height);
  sim::PatternSource best = sim::PatternSource::kCamera;
  double bestDistance = std::numeric_limits<double>::max();
  for (sim::PatternSource source :
       {sim::PatternSource::kTuner, sim::PatternSource::kComposite, sim::PatternSource::kSVideo}) {
    sim::PatternScene scene;
    scene.frameNumber = *number;
    scene.source = source;
    scene.channel = channel;
    sim::DrawPattern(scene, {sim::PatternLayout::kRgb24, width, height, drawn.data(), false});
    double distance = 0;
    for (int y = sim::kFrameNumberRows; y < bottom; y += 2) {
      for (int x = 0; x < width; x += 2) {
        const uint8_t* bgr = &drawn[static_cast<size_t>((height - 1 - y) * stride + x * 3)];
        const QRgb shown = image.pixel(x, y);
        distance += std::abs(qBlue(shown) - bgr[0]) + std::abs(qGreen(shown) - bgr[1]) +
                    std::abs(qRed(shown) - bgr[2]);
      }
    }
    if (distance < bestDistance) {
      bestDistance = distance;
      best = source;
    }
  }
  return best;
}

}  // namespace vidorra::test
