// What the main window's tests read from the running graph: the frame number the video window
// shows, whether its picture moves on, and the listening volume of the graph's audio renderer.
#pragma once

#include <VideoRenderer.h>
#include <wait_until.h>

#include <QProcess>
#include <QStringList>
#include <optional>

#include "MediaGraph.h"
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

}  // namespace vidorra::test
