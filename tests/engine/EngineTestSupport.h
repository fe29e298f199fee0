// The engine tests run on a simulated machine of their own (none until a test describes one)
// with the application's error report recorded: an error that reaches it fails the test. The
// graph tests put a video window standing in for the main window's in the data module's graph
// and count the frames that reach the sample grabber.
#pragma once

#include <device_test_support.h>

#include <QTemporaryDir>
#include <atomic>
#include <memory>

#include "../components/ComponentsTestSupport.h"
#include "SimulatedPictures.h"
#include "graph.h"

namespace engine_test {

namespace vt = vidorra::test;

// A machine with one device of each kind that has a classification of its own, a device that
// cannot be opened and two sound devices.
inline constexpr const char* kEveryKindMachine =
    "video dv Caméscope DV\n"
    "video dv-ntsc Caméscope NTSC\n"
    "video webcam Webcam\n"
    "video capture Carte d'acquisition\n"
    "video tv Carte TV\n"
    "video videoport Port vidéo\n"
    "video nopins Sans sortie\n"
    "video broken En panne\n"
    "audio tone Micro\n"
    "audio tv-audio Son TV\n";

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    Simulate("");
  }
  void TearDown() override {
    if (module_) module_->fg->StopGraph();
    window_.reset();
    module_.reset();
    machine_.reset();
    EXPECT_TRUE(reports_.messages.isEmpty()) << reports_.messages.join(u" | ").toStdString();
  }

  // The machine the next enumerations and registry reads see.
  void Simulate(const std::string& text) {
    machine_.reset();
    machine_.emplace(text);
  }
  // The data module, created at first use (it becomes dmCam).
  TdmCam& Module() {
    if (!module_) module_ = std::make_unique<TdmCam>();
    return *module_;
  }
  ComPtr<IFilterGraph> Graph() { return QueryAs<IFilterGraph>(Module().fg); }
  // The names of the filters now in the graph, in the graph's order.
  QStringList FiltersInGraph() {
    QStringList names;
    for (const std::wstring& name : vt::FilterNames(Graph().Get())) {
      names << QString::fromStdWString(name);
    }
    return names;
  }
  // The module on `machine` with the video window in its graph and sg counting every frame it
  // passes.
  TdmCam& Prepare(const std::string& machine) {
    Simulate(machine);
    TdmCam& dm = Module();
    window_ = std::make_unique<TVideoWindow>();
    window_->SetName(QStringLiteral("vwEcran"));
    window_->resize(384, 288);
    window_->SetFilterGraph(dm.fg);
    dm.sg->SetFilterGraph(nullptr);
    dm.sg->OnBuffer = [this](TComponent*, double, void*, int) { ++grabbed_; };
    dm.sg->SetFilterGraph(dm.fg);
    return dm;
  }
  bool Select(const char* video, const char* audio = nullptr) {
    TdmCam& dm = Module();
    dm.IsDVSource = false;
    if (audio != nullptr && !dm.SelectAudioDevice(QString::fromUtf8(audio))) return false;
    return dm.SelectVideoDevice(QString::fromUtf8(video));
  }

  // The grabber takes the pictures of its stored type (RGB24 with a VIDEOINFOHEADER); its frames
  // are counted from here on.
  void WatchGrabber() {
    AM_MEDIA_TYPE type{};
    ASSERT_EQ(QueryAs<ISampleGrabber>(Module().sg)->GetConnectedMediaType(&type), S_OK);
    EXPECT_TRUE(type.subtype == MEDIASUBTYPE_RGB24 && type.formattype == FORMAT_VideoInfo);
    FreeMediaTypeRecord(type);
    grabbed_ = 0;
  }
  QTemporaryDir dir_;
  components_test::ErrorRecorder reports_;
  std::unique_ptr<TdmCam> module_;
  std::unique_ptr<TVideoWindow> window_;
  std::atomic<size_t> grabbed_ = 0;  // frames the grabber passed

 private:
  std::optional<vt::ScopedMachine> machine_;
};

}  // namespace engine_test
