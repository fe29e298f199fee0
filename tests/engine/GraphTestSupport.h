// Graph tests on the simulated machine: the data module with a video window standing in for
// the main window's, the frame numbers that reach the sample grabber and the window, the
// filters that are in the graph, and recordings read back.
#pragma once

#include <VideoRenderer.h>
#include <device_test_support.h>
#include <wait_until.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "EngineTestSupport.h"
#include "sim/TestPattern.h"

namespace engine_test {

namespace sim = vidorra::devices::sim;

// The frame number of a grabbed RGB24 (bottom-up) picture.
inline std::optional<uint32_t> NumberOfRgb24(const uint8_t* data, int width, int height) {
  const int stride = (width * 3 + 3) / 4 * 4;
  return sim::ReadFrameNumber(
      [&](int x, int y) {
        const uint8_t* bgr = data + static_cast<size_t>((height - 1 - y) * stride + x * 3);
        return (29 * bgr[0] + 150 * bgr[1] + 77 * bgr[2]) >> 8;
      },
      width);
}

// The frame number of a picture shown by the video window.
inline std::optional<uint32_t> NumberOfImage(const QImage& image) {
  if (image.isNull()) return std::nullopt;
  return sim::ReadFrameNumber([&](int x, int y) { return qGray(image.pixel(x, y)); },
                              image.width());
}

class GraphTest : public EngineTest {
 protected:
  void TearDown() override {
    if (module_) module_->fg->StopGraph();
    window_.reset();
    EngineTest::TearDown();
  }

  // The module with the video window in its graph and sg reporting every frame it passes.
  TdmCam& Prepare(const QByteArray& machine) {
    Simulate(machine);
    TdmCam& dm = Module();
    window_ = std::make_unique<TVideoWindow>();
    window_->SetName(QStringLiteral("vwEcran"));
    window_->resize(384, 288);
    window_->SetFilterGraph(dm.fg);
    dm.sg->SetFilterGraph(nullptr);
    dm.sg->OnBuffer = [this](TComponent*, double, void* buffer, int) {
      const auto number = NumberOfRgb24(static_cast<const uint8_t*>(buffer), width_, height_);
      const std::lock_guard lock(mutex_);
      grabbed_.push_back(number);
      arrivals_.push_back(std::chrono::steady_clock::now());
    };
    dm.sg->SetFilterGraph(dm.fg);
    return dm;
  }

  bool Select(const char* video, const char* audio = nullptr) {
    TdmCam& dm = Module();
    dm.IsDVSource = false;
    if (audio != nullptr && !dm.SelectAudioDevice(QString::fromUtf8(audio))) return false;
    return dm.SelectVideoDevice(QString::fromUtf8(video));
  }

  IBaseFilter* Renderer() { return window_->MemberFilter(); }

  // Reads the grabber's picture size; the grabber's frames are counted from here on.
  void WatchGrabber() {
    ComPtr<ISampleGrabber> grabber;
    ASSERT_EQ(Module().sg->QueryInterface(IID_ISampleGrabber, grabber.ReleaseAndGetVoidAddressOf()),
              S_OK);
    AM_MEDIA_TYPE type{};
    ASSERT_EQ(grabber->GetConnectedMediaType(&type), S_OK);
    ASSERT_EQ(type.formattype, FORMAT_VideoInfo);
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    width_ = info->bmiHeader.biWidth;
    height_ = std::abs(info->bmiHeader.biHeight);
    FreeMediaTypeRecord(type);
    const std::lock_guard lock(mutex_);
    grabbed_.clear();
    arrivals_.clear();
  }

  std::vector<std::optional<uint32_t>> Grabbed() {
    const std::lock_guard lock(mutex_);
    return grabbed_;
  }
  // When the grabber passed its latest frame, and its frame at `index`.
  std::chrono::steady_clock::time_point LastArrival() {
    const std::lock_guard lock(mutex_);
    return arrivals_.empty() ? std::chrono::steady_clock::time_point{} : arrivals_.back();
  }
  std::chrono::steady_clock::time_point ArrivalAt(size_t index) {
    const std::lock_guard lock(mutex_);
    return arrivals_.at(index);
  }
  size_t GrabbedCount() {
    const std::lock_guard lock(mutex_);
    return grabbed_.size();
  }

  vidorra::filters::VideoRendererWindow* RendererWindow() {
    IBaseFilter* renderer = Renderer();
    if (renderer == nullptr) return nullptr;
    return static_cast<vidorra::filters::CVideoRenderer*>(renderer)->WindowForTesting();
  }

  // Runs the graph and waits until `frames` readable frames passed sg and the window shows
  // numbered pictures that move on.
  void RunAndWatch(size_t frames) {
    WatchGrabber();
    ASSERT_TRUE(Module().fg->RunGraph());
    ASSERT_TRUE(vidorra::test::WaitUntil([&] { return GrabbedCount() >= frames; }))
        << GrabbedCount() << " frames";
    for (const auto& number : Grabbed()) ASSERT_TRUE(number.has_value());
    auto* window = RendererWindow();
    ASSERT_NE(window, nullptr);
    std::optional<uint32_t> first;
    ASSERT_TRUE(vidorra::test::WaitUntil([&] {
      const std::optional<uint32_t> shown = NumberOfImage(window->LatestFrame());
      if (!first) first = shown;
      return first && shown && *shown > *first;
    })) << "the window shows no moving numbered picture";
  }

  // The filters of the graph whose name starts with `prefix`.
  int CountNamed(const QString& prefix) {
    const QStringList names = FiltersInGraph();
    return static_cast<int>(std::count_if(names.begin(), names.end(),
                                          [&](const QString& n) { return n.startsWith(prefix); }));
  }

  // Whether the named filter's pin at `index` is connected.
  bool PinConnected(const QString& filter, int index) {
    ComPtr<IFilterGraph> graph;
    Module().fg->QueryInterface(IID_IFilterGraph, graph.ReleaseAndGetVoidAddressOf());
    ComPtr<IBaseFilter> found;
    if (FAILED(graph->FindFilterByName(filter.toStdWString().c_str(), found.GetAddressOf()))) {
      return false;
    }
    ComPtr<IPin> peer;
    return SUCCEEDED(
        TPinList::CreateFromFilter(found.Get()).PinAt(index)->ConnectedTo(peer.GetAddressOf()));
  }

  std::unique_ptr<TVideoWindow> window_;
  int width_ = 0;
  int height_ = 0;

 private:
  std::mutex mutex_;
  std::vector<std::optional<uint32_t>> grabbed_;
  std::vector<std::chrono::steady_clock::time_point> arrivals_;
};

}  // namespace engine_test
