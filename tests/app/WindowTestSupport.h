// What the main window's tests read from the running graph and the files it writes (the frame
// shown, the graph's filters and volume, recordings read back by ffprobe and ffmpeg), and a
// fixture that shows the program on a simulated machine.
#pragma once

#include <VideoRenderer.h>
#include <gtest/gtest.h>
#include <recording_readback.h>
#include <wait_until.h>

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "AppTestEnvironment.h"
#include "MediaGraph.h"
#include "MediaUtil.h"
#include "erreurUnit.h"
#include "graph.h"
#include "mainFlux.h"
#include "sim/TestPattern.h"

namespace vidorra::test {

// The frame number a picture carries.
inline std::optional<uint32_t> FrameNumberOf(const QImage& image) {
  if (image.isNull()) return std::nullopt;
  return devices::sim::ReadFrameNumber([&](int x, int y) { return qGray(image.pixel(x, y)); },
                                       image.width());
}

// The picture the form's video window shows now (null when there is none).
inline QImage ShownImage(TCaptureForm& form) {
  IBaseFilter* renderer = form.vwEcran->MemberFilter();
  if (renderer == nullptr) return {};
  return static_cast<filters::CVideoRenderer*>(renderer)->WindowForTesting()->LatestFrame();
}

// The frame number the form's video window shows now.
inline std::optional<uint32_t> ShownFrame(TCaptureForm& form) {
  return FrameNumberOf(ShownImage(form));
}

// The picture moves on: two different numbered frames are shown one after the other.
inline bool PictureMoves(TCaptureForm& form) {
  std::optional<uint32_t> first;
  return WaitUntil([&] {
    const std::optional<uint32_t> now = ShownFrame(form);
    if (!first) first = now;
    return first && now && *now > *first;
  });
}

// The window alone, made on the test's own folders without a simulated machine or data module.
class FormTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    form_ = std::make_unique<TCaptureForm>();
  }
  void TearDown() override {
    form_.reset();
    AppTest::TearDown();
  }
  std::unique_ptr<TCaptureForm> form_;
};

// The program on a simulated machine, its window made and shown as main() does.
class WindowTest : public AppTest {
 protected:
  // Makes the window and the data module on `machine` (a program made before is closed first).
  void Make(const QByteArray& machine) {
    Close();
    Simulate(machine);
    form_ = std::make_unique<TCaptureForm>();
    module_ = std::make_unique<TdmCam>();
  }
  // Makes and shows it: the first show fills the lists, selects the first devices and starts
  // the preview.
  void Start(const QByteArray& machine) {
    Make(machine);
    form_->show();
  }
  void Close() {
    if (dmCam != nullptr) dmCam->fg->StopGraph();
    module_.reset();
    form_.reset();
  }
  void TearDown() override {
    Close();
    AppTest::TearDown();
  }

  // Changes the machine as an editor would (a new file renamed over the old one).
  void Replug(const QByteArray& machine) {
    const QString path = dir_.path() + QStringLiteral("/machine");
    WriteFile(path + QStringLiteral(".next"), machine);
    ASSERT_EQ(std::rename((path + QStringLiteral(".next")).toUtf8().constData(),
                          path.toUtf8().constData()),
              0);
  }
  // Clicks near the left edge, where a check box's mark is whatever its width.
  static void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  }
  bool PictureMoves() { return test::PictureMoves(*form_); }
  bool InState(std::uint8_t state) {
    return WaitUntil([&] { return form_->CaptureState == state; });
  }
  QColor Border() const { return form_->Panel1->palette().color(form_->Panel1->backgroundRole()); }
  // The error panel's text while it is shown, "" otherwise.
  QString ErrorShown() const {
    return form_->ErreurFrame1->isVisible() ? form_->ErreurFrame1->Memo1->toPlainText() : QString();
  }
  void CloseError() { Click(form_->ErreurFrame1->FermerErreurBtn); }

  std::unique_ptr<TCaptureForm> form_;
  std::unique_ptr<TdmCam> module_;
};

// The filters in dmCam's graph named `name` (the graph numbers the names of a second and later
// filter of the same name).
inline int FiltersNamed(const QString& name) {
  ComPtr<IFilterGraph> graph;
  dmCam->fg->QueryInterface(IID_IFilterGraph, graph.ReleaseAndGetVoidAddressOf());
  const TFilterList filters = TFilterList::CreateFromGraph(graph.Get());
  int count = 0;
  for (int i = 0; i < filters.Count(); ++i) count += filters.FilterNameAt(i).startsWith(name);
  return count;
}

// The volume of dmCam's graph's IBasicAudio (1 when the graph has none).
inline long GraphVolume() {
  ComPtr<IBasicAudio> audio;
  long volume = 1;
  if (SUCCEEDED(dmCam->fg->QueryInterface(IID_IBasicAudio, audio.ReleaseAndGetVoidAddressOf())) &&
      audio) {
    audio->get_Volume(&volume);
  }
  return volume;
}

// ffprobe's answer to `arguments` about the file, in CSV without names ("" when it cannot read
// the file).
inline QString Ffprobe(const QString& path, const QStringList& arguments) {
  QProcess probe;
  probe.start(QStringLiteral("ffprobe"),
              QStringList{"-v", "error", "-of", "csv=p=0"} + arguments + QStringList{path});
  probe.waitForFinished();
  return probe.exitCode() == 0 ? QString::fromUtf8(probe.readAllStandardOutput()).trimmed()
                               : QString();
}

inline long ProbedFrames(const QString& path) { return ProbedFrames(path.toStdString()); }

// The file (720 x 576) is whole: ffprobe reads its frames, each with its number, one after the
// other.
inline void ExpectWholeRecording(const QString& path) {
  SCOPED_TRACE(path.toStdString());
  const long probed = ProbedFrames(path);
  EXPECT_GE(probed, 3);
  const auto numbers = RecordedFrameNumbers(path.toStdString(), 720, 576);
  EXPECT_EQ(static_cast<long>(numbers.size()), probed);
  for (size_t i = 0; i < numbers.size(); ++i) {
    ASSERT_TRUE(numbers[i].has_value()) << "frame " << i;
    if (i > 0) {
      EXPECT_EQ(*numbers[i], *numbers[i - 1] + 1) << "frame " << i;
    }
  }
}

}  // namespace vidorra::test
