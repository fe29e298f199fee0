// The video renderer's window; see VideoRendererWindow.h.
#include "VideoRendererWindow.h"

#include <winuser.h>

#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <array>
#include <utility>

namespace vidorra::filters {
namespace {

constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 240;

// Virtual-key codes of the keys whose Qt code differs from their Windows code; letters and
// digits share theirs with ASCII.
struct KeyMapping {
  int qtKey;
  WPARAM virtualKey;
};
constexpr std::array kKeys = {
    KeyMapping{Qt::Key_Backspace, 0x08}, KeyMapping{Qt::Key_Tab, 0x09},
    KeyMapping{Qt::Key_Return, 0x0D},    KeyMapping{Qt::Key_Enter, 0x0D},
    KeyMapping{Qt::Key_Shift, 0x10},     KeyMapping{Qt::Key_Control, 0x11},
    KeyMapping{Qt::Key_Alt, 0x12},       KeyMapping{Qt::Key_Pause, 0x13},
    KeyMapping{Qt::Key_Escape, 0x1B},    KeyMapping{Qt::Key_Space, 0x20},
    KeyMapping{Qt::Key_PageUp, 0x21},    KeyMapping{Qt::Key_PageDown, 0x22},
    KeyMapping{Qt::Key_End, 0x23},       KeyMapping{Qt::Key_Home, 0x24},
    KeyMapping{Qt::Key_Left, 0x25},      KeyMapping{Qt::Key_Up, 0x26},
    KeyMapping{Qt::Key_Right, 0x27},     KeyMapping{Qt::Key_Down, 0x28},
    KeyMapping{Qt::Key_Insert, 0x2D},    KeyMapping{Qt::Key_Delete, 0x2E},
};
constexpr WPARAM kVirtualKeyF1 = 0x70;
constexpr int kFunctionKeys = 12;

WPARAM VirtualKeyOf(int qtKey) {
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
    return static_cast<WPARAM>(qtKey);
  }
  if (qtKey >= Qt::Key_F1 && qtKey < Qt::Key_F1 + kFunctionKeys) {
    return kVirtualKeyF1 + static_cast<WPARAM>(qtKey - Qt::Key_F1);
  }
  for (const KeyMapping& mapping : kKeys) {
    if (mapping.qtKey == qtKey) return mapping.virtualKey;
  }
  return 0;
}

// The MK_* flags of a mouse message: buttons held and modifier keys.
WPARAM MouseKeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  WPARAM state = 0;
  if (buttons & Qt::LeftButton) state |= MK_LBUTTON;
  if (buttons & Qt::RightButton) state |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) state |= MK_MBUTTON;
  if (modifiers & Qt::ShiftModifier) state |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) state |= MK_CONTROL;
  return state;
}

UINT ButtonMessage(Qt::MouseButton button, UINT left, UINT right, UINT middle) {
  switch (button) {
    case Qt::LeftButton:
      return left;
    case Qt::RightButton:
      return right;
    case Qt::MiddleButton:
      return middle;
    default:
      return WM_NULL;
  }
}

}  // namespace

VideoRendererWindow::VideoRendererWindow() {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  resize(kDefaultWidth, kDefaultHeight);
}

VideoRendererWindow::~VideoRendererWindow() {
  if (onDestroyed_) onDestroyed_();
}

QImage VideoRendererWindow::PresentFrame(QImage frame, bool upsideDown) {
  bool queue = false;
  {
    std::lock_guard lock(frameMutex_);
    std::swap(frame_, frame);
    upsideDown_ = upsideDown;
    queue = !repaintQueued_;
    repaintQueued_ = true;
  }
  presented_.fetch_add(1);
  if (!queue) return frame;
  // Queued to the widget's thread; dropped by Qt if the widget is gone by then.
  QMetaObject::invokeMethod(
      this,
      [this] {
        {
          std::lock_guard lock(frameMutex_);
          repaintQueued_ = false;
        }
        update();
      },
      Qt::QueuedConnection);
  return frame;
}

QImage VideoRendererWindow::LatestFrame() const {
  QImage frame;
  bool upsideDown = false;
  {
    std::lock_guard lock(frameMutex_);
    frame = frame_;
    upsideDown = upsideDown_;
  }
  return upsideDown ? frame.mirrored(false, true) : frame;
}

void VideoRendererWindow::SetBackground(QColor colour) {
  background_ = colour;
  update();
}

void VideoRendererWindow::paintEvent(QPaintEvent*) {
  QImage frame;
  bool upsideDown = false;
  {
    std::lock_guard lock(frameMutex_);
    frame = frame_;
    upsideDown = upsideDown_;
  }
  QPainter painter(this);
  if (frame.isNull()) {
    painter.fillRect(rect(), background_);
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // Rows stored bottom first: the window's top row comes from the image's last.
  if (upsideDown) {
    painter.translate(0, height());
    painter.scale(1, -1);
  }
  painter.drawImage(rect(), frame);
}

bool VideoRendererWindow::PostMouse(UINT message, QMouseEvent* event) {
  const HWND drain = drain_.load();
  if (!drain || message == WM_NULL) return false;
  const QPoint at = event->position().toPoint();
  PostMessageA(drain, message, MouseKeyState(event->buttons(), event->modifiers()),
               MAKELPARAM(at.x(), at.y()));
  return true;
}

bool VideoRendererWindow::PostKey(UINT message, QKeyEvent* event) {
  const HWND drain = drain_.load();
  const WPARAM key = VirtualKeyOf(event->key());
  if (!drain || key == 0) return false;
  // lParam: repeat count 1 in the low word, bit 30 set for a key already down, bit 31 for a
  // release, as keyboard messages carry them.
  constexpr LPARAM kRepeatOne = 1;
  constexpr LPARAM kPreviousStateDown = LPARAM{1} << 30;
  constexpr LPARAM kTransitionUp = LPARAM{1} << 31;
  LPARAM flags = kRepeatOne;
  if (message == WM_KEYUP) flags |= kPreviousStateDown | kTransitionUp;
  if (message == WM_KEYDOWN && event->isAutoRepeat()) flags |= kPreviousStateDown;
  PostMessageA(drain, message, key, flags);
  return true;
}

void VideoRendererWindow::mousePressEvent(QMouseEvent* event) {
  if (!PostMouse(ButtonMessage(event->button(), WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN),
                 event)) {
    QWidget::mousePressEvent(event);
  }
}

void VideoRendererWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (!PostMouse(ButtonMessage(event->button(), WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP), event)) {
    QWidget::mouseReleaseEvent(event);
  }
}

void VideoRendererWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!PostMouse(ButtonMessage(event->button(), WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_NULL),
                 event)) {
    QWidget::mouseDoubleClickEvent(event);
  }
}

void VideoRendererWindow::mouseMoveEvent(QMouseEvent* event) {
  if (!PostMouse(WM_MOUSEMOVE, event)) QWidget::mouseMoveEvent(event);
}

void VideoRendererWindow::keyPressEvent(QKeyEvent* event) {
  if (!PostKey(WM_KEYDOWN, event)) QWidget::keyPressEvent(event);
}

void VideoRendererWindow::keyReleaseEvent(QKeyEvent* event) {
  if (!PostKey(WM_KEYUP, event)) QWidget::keyReleaseEvent(event);
}

}  // namespace vidorra::filters
