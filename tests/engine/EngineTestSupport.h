// The engine tests run on a simulated machine of their own (none until a test describes one)
// with the application's error report recorded: an error that reaches it fails the test.
#pragma once

#include <gtest/gtest.h>
#include <scoped_env.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "../components/ComponentsTestSupport.h"
#include "ErrorReport.h"
#include "SimulatedMachine.h"
#include "graph.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace engine_test {

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
    previousReporter_ = vidorra::SetErrorReporter([this](const QString& m) { reports_ << m; });
  }

  void TearDown() override {
    module_.reset();
    vidorra::SetErrorReporter(previousReporter_);
    env_.Restore();
    vidorra::win::SimulatedMachine::ReloadCurrentForTesting();
    EXPECT_TRUE(reports_.isEmpty()) << reports_.join(QStringLiteral(" | ")).toStdString();
  }

  // The machine the next enumerations and registry reads see.
  void Simulate(const QByteArray& text) {
    const QString path = dir_.filePath(QStringLiteral("machine"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    env_.Set("VIDORRA_SIMULATION", path.toStdString());
    vidorra::win::SimulatedMachine::ReloadCurrentForTesting();
  }

  // The data module, created at first use (it becomes dmCam).
  TdmCam& Module() {
    if (!module_) module_ = std::make_unique<TdmCam>();
    return *module_;
  }

  // Adds a filter that no component owns (a Null Renderer) to the graph.
  void AddStranger() {
    ComPtr<IFilterGraph> graph;
    ASSERT_EQ(Module().fg->QueryInterface(IID_IFilterGraph, graph.ReleaseAndGetVoidAddressOf()),
              S_OK);
    ComPtr<IBaseFilter> stranger;
    ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               stranger.ReleaseAndGetVoidAddressOf()),
              S_OK);
    ASSERT_EQ(graph->AddFilter(stranger.Get(), L"stranger"), S_OK);
  }

  // The names of the filters now in the graph, in the graph's order.
  QStringList FiltersInGraph() {
    ComPtr<IFilterGraph> graph;
    Module().fg->QueryInterface(IID_IFilterGraph, graph.ReleaseAndGetVoidAddressOf());
    const TFilterList filters = TFilterList::CreateFromGraph(graph.Get());
    QStringList names;
    for (int i = 0; i < filters.Count(); ++i) names << filters.FilterNameAt(i);
    return names;
  }

  QTemporaryDir dir_;
  QStringList reports_;
  std::unique_ptr<TdmCam> module_;

 private:
  vidorra::test::ScopedEnv env_;
  vidorra::ErrorReporter previousReporter_;
};

using components_test::DisplayName;

// The class of a filter (GUID_NULL when there is none).
inline CLSID ClassOf(IBaseFilter* filter) {
  CLSID clsid = GUID_NULL;
  if (filter != nullptr) filter->GetClassID(&clsid);
  return clsid;
}

}  // namespace engine_test
