// The preview's size: the video area in device pixels, from which the preview build picks the DV
// decoder's resolution, followed while the preview runs.
#include <QWidget>

#include "MediaGraph.h"
#include "graph.h"
#include "mainFlux.h"

QSize TCaptureForm::PreviewAreaInPixels() const {
  // Full screen shows the whole picture, whatever the screen's size.
  if (vwEcran->FullScreen()) return {};
  return vwEcran->size() * vwEcran->devicePixelRatio();
}

void TCaptureForm::FollowPreviewSize() {
  if (dmCam == nullptr) return;
  try {
    dmCam->PreviewArea = PreviewAreaInPixels();
    // Only a preview is rebuilt; a recording keeps its graph until it ends.
    if (CaptureState != stPreview && CaptureState != stProgrammed) return;
    if (!dmCam->PreviewReady || dmCam->ChoosePreviewResolution() == dmCam->PreviewResolution) {
      return;
    }
    // On success the state stays as it was (a programme in force stays armed).
    if (!StartPreview()) SetNoSourceState();
  } catch (...) {  // NOLINT(bugprone-empty-catch): called from an event filter; StartPreview
                   // reports its own failures
  }
}
