// Which input of a simulated TV card a picture shows; shared by the engine and window tests.
#pragma once

#include <QColor>
#include <cstdlib>
#include <functional>
#include <limits>
#include <vector>

#include "sim/TestPattern.h"

namespace vidorra::test {

// The input whose bars, drawn for the picture's frame number and the tuned channel, differ least
// from the picture's (every other pixel of the band under the frame number's rows); `rgb(x, y)`
// reads the picture top-down.
inline devices::sim::PatternSource ShownInput(const std::function<QRgb(int x, int y)>& rgb,
                                              int width, int height, uint32_t number,
                                              long channel) {
  namespace sim = devices::sim;
  const int stride = (width * 3 + 3) / 4 * 4;
  const int bottom = sim::kFrameNumberRows + (height - sim::kFrameNumberRows) * 3 / 5;
  std::vector<uint8_t> drawn(static_cast<size_t>(stride) * height);
  sim::PatternSource best = sim::PatternSource::kCamera;
  double bestDistance = std::numeric_limits<double>::max();
  for (sim::PatternSource source :
       {sim::PatternSource::kTuner, sim::PatternSource::kComposite, sim::PatternSource::kSVideo}) {
    sim::PatternScene scene;
    scene.frameNumber = number;
    scene.source = source;
    scene.channel = channel;
    sim::DrawPattern(scene, {sim::PatternLayout::kRgb24, width, height, drawn.data(), false});
    double distance = 0;
    for (int y = sim::kFrameNumberRows; y < bottom; y += 2) {
      for (int x = 0; x < width; x += 2) {
        const uint8_t* bgr = &drawn[static_cast<size_t>((height - 1 - y) * stride + x * 3)];
        const QRgb shown = rgb(x, y);
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
