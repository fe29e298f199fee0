// What the main window's tests read from the running graph and the files it writes: the frame
// number the video window shows, whether its picture moves on, the listening volume of the
// graph's audio renderer, the filters in the graph, and a recording's frames as ffprobe and
// ffmpeg read them; and a fixture that shows the program on a simulated machine.
#pragma once

#include <VideoRenderer.h>
#include <gtest/gtest.h>
#include <wait_until.h>

#include <QProcess>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "AppTestEnvironment.h"
#include "MediaGraph.h"
#include "MediaUtil.h"
#include "graph.h"
#include "mainFlux.h"
#include "sim/TestPattern.h"

namespace vidorra::test {

// The frame number the form's video window shows now.
inline std::optional<uint32_t> ShownFrame(TCaptureForm& form) {
  IBaseFilter* renderer = form.vwEcran->MemberFilter();
  if (renderer == nullptr) return std::nullopt;
  const QImage image =
      static_cast<filters::CVideoRenderer*>(renderer)->WindowForTesting()->LatestFrame();
  if (image.isNull()) return std::nullopt;
  return devices::sim::ReadFrameNumber([&](int x, int y) { return qGray(image.pixel(x, y)); },
                                       image.width());
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

// The program on a simulated machine: Start shows the window, whose first show fills the lists,
// selects the first devices and starts the preview.
class WindowTest : public AppTest {
 protected:
  // Starts the program on `machine` (a program started before is closed first).
  void Start(const QByteArray& machine) {
    Close();
    Simulate(machine);
    form_ = std::make_unique<TCaptureForm>();
    module_ = std::make_unique<TdmCam>();
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

// ffprobe's `entries` ("stream=codec_name,width,height") of the file's first video stream, as
// comma-separated values ("" when the file cannot be read); `options` come first.
inline QString ProbeVideo(const QString& path, const QString& entries,
                          const QStringList& options = {}) {
  QProcess probe;
  probe.start(QStringLiteral("ffprobe"),
              options + QStringList{QStringLiteral("-v"), QStringLiteral("error"),
                                    QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                                    QStringLiteral("-show_entries"), entries, QStringLiteral("-of"),
                                    QStringLiteral("csv=p=0"), path});
  probe.waitForFinished();
  return probe.exitCode() == 0 ? QString::fromUtf8(probe.readAllStandardOutput()).trimmed()
                               : QString();
}

// ffprobe's frame count of the file's first video stream (-1 when it cannot be read).
inline long ProbedFrames(const QString& path) {
  bool ok = false;
  const long frames =
      ProbeVideo(path, QStringLiteral("stream=nb_read_frames"), {QStringLiteral("-count_frames")})
          .toLong(&ok);
  return ok ? frames : -1;
}

// The frame numbers of the file's pictures (720 x 576) as ffmpeg decodes them.
inline std::vector<std::optional<uint32_t>> FrameNumbers(const QString& path) {
  constexpr int kWidth = 720;
  constexpr int kHeight = 576;
  QProcess decode;
  decode.start(QStringLiteral("ffmpeg"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-f"),
                QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("gray"),
                QStringLiteral("-vsync"), QStringLiteral("passthrough"), QStringLiteral("-")});
  decode.waitForFinished(60000);
  const QByteArray pictures = decode.readAllStandardOutput();
  const qsizetype frameBytes = qsizetype{kWidth} * kHeight;
  std::vector<std::optional<uint32_t>> numbers;
  for (qsizetype at = 0; at + frameBytes <= pictures.size(); at += frameBytes) {
    const auto* luma = reinterpret_cast<const uint8_t*>(pictures.constData() + at);
    numbers.push_back(devices::sim::ReadFrameNumber(
        [&](int x, int y) { return luma[static_cast<size_t>(y) * kWidth + x]; }, kWidth));
  }
  return numbers;
}

// The file is whole: ffprobe reads its frames, each with its number, one after the other.
inline void ExpectWholeRecording(const QString& path) {
  SCOPED_TRACE(path.toStdString());
  const long probed = ProbedFrames(path);
  EXPECT_GE(probed, 3);
  const auto numbers = FrameNumbers(path);
  EXPECT_EQ(static_cast<long>(numbers.size()), probed);
  for (size_t i = 0; i < numbers.size(); ++i) {
    ASSERT_TRUE(numbers[i].has_value()) << "frame " << i;
    if (i > 0) {
      EXPECT_EQ(*numbers[i], *numbers[i - 1] + 1) << "frame " << i;
    }
  }
}

}  // namespace vidorra::test
