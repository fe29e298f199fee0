// The video renderer's own window: a Qt widget that shows the latest frame, scaled to the
// window, and forwards mouse and key input on the video to a message drain window as WM_*
// messages.
//
// Threads: PresentFrame may be called from any thread (the renderer's streaming thread): it
// stores the frame under frameMutex_ and, when no repaint is pending yet, queues one to the
// widget's thread, so a fast stream costs at most one queued repaint and the latest frame
// wins. Painting copies the frame reference under the same mutex and draws outside it, so it
// never holds up the streaming thread; a frame stored upside down is drawn through a mirroring
// transform, never turned over in memory. Everything else runs on the widget's thread.
#pragma once

#include <wtypes.h>

#include <QColor>
#include <QImage>
#include <QWidget>
#include <atomic>
#include <functional>
#include <mutex>

namespace vidorra::filters {

class VideoRendererWindow : public QWidget {
 public:
  VideoRendererWindow();
  ~VideoRendererWindow() override;

  // Shows `frame` next, its rows top first, or bottom first when `upsideDown` (a bottom-up
  // bitmap shown in place); returns the frame it replaces (null before the first), which the
  // caller may fill again once no painting shares it (QImage::isDetached).
  QImage PresentFrame(QImage frame, bool upsideDown);
  // The frame painted next, the right way up (a shared copy, or an upright copy of a frame
  // stored upside down); null before the first.
  QImage LatestFrame() const;
  // Frames received, and repaints that showed one (tests, diagnostics).
  long FramesPresented() const { return presented_.load(); }

  // Where input on the video goes; null keeps it here.
  void SetMessageDrain(HWND drain) { drain_.store(drain); }
  HWND MessageDrain() const { return drain_.load(); }
  // Called first thing when the window is destroyed (also by an owner deleting its children),
  // so that whoever presents frames to it stops doing so.
  void SetDestroyedCallback(std::function<void()> callback) { onDestroyed_ = std::move(callback); }
  void SetBackground(QColor colour);
  QColor Background() const { return background_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  // Posts a mouse message to the drain; false when there is none.
  bool PostMouse(UINT message, QMouseEvent* event);
  bool PostKey(UINT message, QKeyEvent* event);

  mutable std::mutex frameMutex_;
  QImage frame_;                // guarded by frameMutex_
  bool upsideDown_ = false;     // guarded by frameMutex_
  bool repaintQueued_ = false;  // guarded by frameMutex_
  std::atomic<long> presented_{0};
  std::atomic<HWND> drain_{nullptr};
  QColor background_{Qt::black};
  std::function<void()> onDestroyed_;
};

}  // namespace vidorra::filters
