// TVideoWindow: the control that owns the video renderer and places its window, and
// TVMROptions.
#include <HwndQt.h>
#include <evcode.h>

#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <utility>

#include "MediaGraph.h"
#include "TearDown.h"

namespace {

constexpr int kInitialWidth = 160;
constexpr int kInitialHeight = 120;
constexpr unsigned kMinStreams = 1;
constexpr unsigned kMaxStreams = 16;
// Full screen: no caption and no sizing frame, no edges on the extended style.
constexpr LONG kFullScreenStyleMask = static_cast<LONG>(0xFF3BFFFF);
constexpr LONG kFullScreenStyleExMask = static_cast<LONG>(0xFFFDFCFE);

// Virtual-key codes a drained key message may carry, and the Qt keys they stand for.
struct KeyMapping {
  WPARAM virtualKey;
  Qt::Key key;
};
constexpr KeyMapping kKeys[] = {
    {0x08, Qt::Key_Backspace}, {0x09, Qt::Key_Tab},    {0x0D, Qt::Key_Return},
    {0x1B, Qt::Key_Escape},    {0x20, Qt::Key_Space},  {0x21, Qt::Key_PageUp},
    {0x22, Qt::Key_PageDown},  {0x23, Qt::Key_End},    {0x24, Qt::Key_Home},
    {0x25, Qt::Key_Left},      {0x26, Qt::Key_Up},     {0x27, Qt::Key_Right},
    {0x28, Qt::Key_Down},      {0x2E, Qt::Key_Delete}, {0x70, Qt::Key_F1},
};
constexpr WPARAM kFirstFunctionKey = 0x70;  // VK_F1 .. VK_F12
constexpr WPARAM kLastFunctionKey = 0x7B;

Qt::Key KeyFromVirtualKey(WPARAM vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return static_cast<Qt::Key>(vk);
  if (vk >= kFirstFunctionKey && vk <= kLastFunctionKey) {
    return static_cast<Qt::Key>(Qt::Key_F1 + static_cast<int>(vk - kFirstFunctionKey));
  }
  for (const KeyMapping& mapping : kKeys) {
    if (mapping.virtualKey == vk) return mapping.key;
  }
  return Qt::Key_unknown;
}

Qt::MouseButtons ButtonsFromWParam(WPARAM wParam) {
  Qt::MouseButtons buttons;
  if (wParam & MK_LBUTTON) buttons |= Qt::LeftButton;
  if (wParam & MK_RBUTTON) buttons |= Qt::RightButton;
  if (wParam & MK_MBUTTON) buttons |= Qt::MiddleButton;
  return buttons;
}

Qt::KeyboardModifiers ModifiersFromWParam(WPARAM wParam) {
  Qt::KeyboardModifiers modifiers;
  if (wParam & MK_SHIFT) modifiers |= Qt::ShiftModifier;
  if (wParam & MK_CONTROL) modifiers |= Qt::ControlModifier;
  return modifiers;
}

}  // namespace

// ---- TVMROptions -------------------------------------------------------------------------------

void TVMROptions::SetMode(TVMRVideoMode value) {
  if (value == mode_) return;
  mode_ = value;
  if (owner_->Mode() == vmVMR) owner_->Rejoin();
}

void TVMROptions::SetStreams(unsigned value) {
  streams_ = value >= kMinStreams && value <= kMaxStreams ? value : kMinStreams;
  if (owner_->Mode() == vmVMR) owner_->Rejoin();
}

void TVMROptions::SetPreferences(TVMRPreferences value) {
  preferences_ = value;
  if (owner_->Mode() == vmVMR) owner_->Rejoin();
}

void TVMROptions::DefineProperties(TFiler& filer) {
  static const char* const kModes[] = {"vmrWindowed", "vmrWindowless", "vmrRenderless"};
  filer.DefineProperty(
      QStringLiteral("Mode"),
      [this](const QString& v) {
        for (int i = 0; i < 3; ++i) {
          if (v == QLatin1String(kModes[i])) {
            mode_ = static_cast<TVMRVideoMode>(i);
            return;
          }
        }
        throw EReadError(QStringLiteral("Invalid property value: %1").arg(v));
      },
      [this] { return QString::fromLatin1(kModes[mode_]); }, mode_ != vmrWindowed);
  filer.DefineProperty(
      QStringLiteral("Streams"), [this](const QString& v) { SetStreams(v.toUInt()); },
      [this] { return QString::number(streams_); }, streams_ != 4);
  filer.DefineProperty(
      QStringLiteral("Preferences"), [this](const QString& v) { preferences_ = v.toUInt(); },
      [this] { return QString::number(preferences_); },
      preferences_ != VMRPreference(vpForceMixer));
  filer.DefineProperty(
      QStringLiteral("KeepAspectRatio"),
      [this](const QString& v) {
        keepAspectRatio_ = v.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
      },
      [this] { return keepAspectRatio_ ? QStringLiteral("True") : QStringLiteral("False"); },
      !keepAspectRatio_);
}

// ---- Creation ----------------------------------------------------------------------------------

TVideoWindow::TVideoWindow(QWidget* parent)
    : TCustomControl(parent), vmrOptions_(std::make_unique<TVMROptions>(this)) {
  setFocusPolicy(Qt::StrongFocus);
  resize(kInitialWidth, kInitialHeight);
  SetColor(Qt::black);
  // Input on the renderer's window is drained to this handle.
  SetHwndProcedure(HwndForWidget(this),
                   [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
                     return DrainedMessage(window, message, wParam, lParam);
                   });
}

TVideoWindow::~TVideoWindow() {
  SetHwndProcedure(HwndForWidget(this), DefWindowProcA);
  // The renderer leaves the graph even when it cannot be stopped or disconnected.
  TearDownReporting(*this, [this] { SetFilterGraph(nullptr); });
}

void TVideoWindow::Loaded() {
  TCustomControl::Loaded();
  ReadWindowStyles();
}

void TVideoWindow::ReadWindowStyles() {
  HWND own = HwndForWidget(this);
  windowStyle_ = GetWindowLongA(own, GWL_STYLE);
  windowStyleEx_ = GetWindowLongA(own, GWL_EXSTYLE);
  stylesRead_ = true;
}

HRESULT TVideoWindow::QueryInterface(REFIID riid, void** ppv) {
  const HRESULT hr = TCustomControl::QueryInterface(riid, ppv);
  if (SUCCEEDED(hr) || !renderer_) return hr;
  return renderer_->QueryInterface(riid, ppv);
}

void TVideoWindow::DefineProperties(TFiler& filer) {
  DefineFilterGraphProperty(filer, this, filterGraph_,
                            [this](TFilterGraph* graph) { SetFilterGraph(graph); });
  filer.DefineProperty(
      QStringLiteral("FullScreenTopMost"),
      [this](const QString& v) {
        SetFullScreenTopMost(v.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0);
      },
      [this] { return fullScreenTopMost_ ? QStringLiteral("True") : QStringLiteral("False"); },
      fullScreenTopMost_);
  filer.DefinePersistent(QStringLiteral("VMROptions"), *vmrOptions_);
}

bool TVideoWindow::VMRAvailable() {
  ComPtr<IBaseFilter> filter;
  return SUCCEEDED(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(filter.GetAddressOf())));
}

// ---- Graph membership --------------------------------------------------------------------------

void TVideoWindow::SetFilterGraph(TFilterGraph* graph) {
  if (graph == filterGraph_) return;
  if (TFilterGraph* old = std::exchange(filterGraph_, nullptr)) {
    // Unhooked before the renderer leaves, which may raise: the old graph must not call a
    // window that is no longer its member.
    old->RemoveListener(this);
    old->RemoveFreeNotification(this);
    old->RemoveMember(this);
  }
  filterGraph_ = graph;
  if (graph != nullptr) {
    graph->FreeNotification(this);
    graph->AddMember(this);
    graph->AddListener(this);
  }
}

void TVideoWindow::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation == opRemove && filterGraph_ != nullptr &&
      component == static_cast<TComponent*>(filterGraph_)) {
    filterGraph_ = nullptr;
  }
}

void TVideoWindow::Rejoin() {
  TFilterGraph* graph = filterGraph_;
  if (graph == nullptr || !graph->Active()) return;
  SetFilterGraph(nullptr);
  SetFilterGraph(graph);
}

void TVideoWindow::SetMode(TVideoMode value) {
  // Written, even unchanged, the mode makes a new renderer in an active graph.
  mode_ = value == vmVMR && VMRAvailable() ? vmVMR : vmNormal;
  Rejoin();
}

void TVideoWindow::MemberNotify(TMemberOperation operation, int) {
  switch (operation) {
    case moAdding:
      renderer_.Reset();
      (void)CoCreateInstance(mode_ == vmVMR ? CLSID_VideoMixingRenderer9 : CLSID_VideoRenderer,
                             nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(renderer_.GetAddressOf()));
      break;
    case moAdded:
      if (renderer_) videoWindow_ = renderer_.As<IVideoWindow>();
      break;
    case moRemoving:
      if (renderer_) {
        CheckGraphResult(renderer_->Stop());
        const TPinList pins = TPinList::CreateFromFilter(renderer_.Get());
        for (int i = 0; i < pins.Count(); ++i) CheckGraphResult(pins.PinAt(i)->Disconnect());
      }
      break;
    case moRemoved:
      videoWindow_.Reset();
      renderer_.Reset();
      break;
    case moRefresh:
      break;
  }
}

// ---- Placement ---------------------------------------------------------------------------------

void TVideoWindow::ApplyPlacement() {
  if (!videoWindow_) return;
  if (!stylesRead_) ReadWindowStyles();
  if (fullScreen_) {
    LONG styleEx = windowStyleEx_ & kFullScreenStyleExMask;
    if (fullScreenTopMost_) styleEx |= WS_EX_TOPMOST;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    CheckGraphResult(videoWindow_->put_Owner(0));
    CheckGraphResult(videoWindow_->put_WindowStyle(windowStyle_ & kFullScreenStyleMask));
    CheckGraphResult(videoWindow_->put_WindowStyleEx(styleEx));
    CheckGraphResult(
        videoWindow_->SetWindowPosition(screen.x(), screen.y(), screen.width(), screen.height()));
    fullScreenShown_ = true;
  } else {
    HWND owner = parentWidget() != nullptr ? HwndForWidget(parentWidget()) : nullptr;
    CheckGraphResult(videoWindow_->put_Owner(reinterpret_cast<OAHWND>(owner)));
    CheckGraphResult(videoWindow_->put_WindowStyle(windowStyle_ | WS_CHILD | WS_CLIPSIBLINGS));
    CheckGraphResult(videoWindow_->put_WindowStyleEx(windowStyleEx_));
    CheckGraphResult(videoWindow_->SetWindowPosition(x(), y(), width(), height()));
    fullScreenShown_ = false;
  }
}

void TVideoWindow::SetFullScreen(bool value) {
  fullScreen_ = value;
  ApplyPlacement();
}

void TVideoWindow::SetFullScreenTopMost(bool value) {
  fullScreenTopMost_ = value;
  if (fullScreen_) ApplyPlacement();
}

void TVideoWindow::PrepareForStart() {
  if (!videoWindow_) return;
  ApplyPlacement();
  const std::wstring caption = Name().toStdWString();
  // The caption is copied by the renderer; the text lives for the call.
  CheckGraphResult(videoWindow_->put_Caption(const_cast<BSTR>(caption.c_str())));
  CheckGraphResult(videoWindow_->put_MessageDrain(reinterpret_cast<OAHWND>(HwndForWidget(this))));
}

void TVideoWindow::ControlEventOccurred(TGraphControlKind kind, int) {
  if (kind == gckStart) PrepareForStart();
}

void TVideoWindow::GraphEventOccurred(long event, LONG_PTR, LONG_PTR) {
  if (event == EC_PALETTE_CHANGED) PrepareForStart();
}

void TVideoWindow::setVisible(bool visible) {
  TCustomControl::setVisible(visible);
  if (videoWindow_) (void)videoWindow_->put_Visible(visible ? OATRUE : OAFALSE);
}

void TVideoWindow::FollowControlBounds() {
  // The full-screen window stays where it is.
  if (videoWindow_ && !fullScreen_) {
    (void)videoWindow_->SetWindowPosition(x(), y(), width(), height());
  }
}

void TVideoWindow::resizeEvent(QResizeEvent* event) {
  TCustomControl::resizeEvent(event);
  FollowControlBounds();
}

void TVideoWindow::moveEvent(QMoveEvent* event) {
  TCustomControl::moveEvent(event);
  FollowControlBounds();
}

void TVideoWindow::paintEvent(QPaintEvent* event) {
  TCustomControl::paintEvent(event);
  if (OnPaint) OnPaint(this);
}

// ---- Input -------------------------------------------------------------------------------------

QPoint TVideoWindow::EventPosition(const QPoint& local) const {
  return fullScreenShown_ ? QCursor::pos() : local;
}

void TVideoWindow::mousePressEvent(QMouseEvent* event) {
  TCustomControl::mousePressEvent(event);
  if (OnMouseDown) OnMouseDown(this, event->button(), EventPosition(event->position().toPoint()));
}

void TVideoWindow::mouseReleaseEvent(QMouseEvent* event) {
  TCustomControl::mouseReleaseEvent(event);
  if (OnMouseUp) OnMouseUp(this, event->button(), EventPosition(event->position().toPoint()));
}

void TVideoWindow::mouseMoveEvent(QMouseEvent* event) {
  TCustomControl::mouseMoveEvent(event);
  if (OnMouseMove) OnMouseMove(this, EventPosition(event->position().toPoint()));
}

void TVideoWindow::ShowPopupAtCursor() {
  if (PopupMenu() != nullptr && AutoPopup()) PopupMenu()->popup(QCursor::pos());
}

void TVideoWindow::contextMenuEvent(QContextMenuEvent* event) {
  if (fullScreen_) {
    // Full screen: the menu opens at the mouse cursor; without a menu the request is dropped.
    ShowPopupAtCursor();
    event->accept();
    return;
  }
  if (PopupMenu() != nullptr && AutoPopup()) {
    PopupMenu()->popup(event->globalPos());
    event->accept();
    return;
  }
  TCustomControl::contextMenuEvent(event);
}

LRESULT TVideoWindow::DrainedMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const QPoint local(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
  const QPointF localF(local);
  const QPointF global(mapToGlobal(local));
  const Qt::MouseButtons buttons = ButtonsFromWParam(wParam);
  const Qt::KeyboardModifiers modifiers = ModifiersFromWParam(wParam);
  auto sendMouse = [&](QEvent::Type type, Qt::MouseButton button) {
    QMouseEvent event(type, localF, global, button, buttons, modifiers);
    QCoreApplication::sendEvent(this, &event);
  };
  switch (message) {
    case WM_LBUTTONDOWN:
      sendMouse(QEvent::MouseButtonPress, Qt::LeftButton);
      return 0;
    case WM_LBUTTONUP:
      sendMouse(QEvent::MouseButtonRelease, Qt::LeftButton);
      return 0;
    case WM_LBUTTONDBLCLK:
      sendMouse(QEvent::MouseButtonDblClick, Qt::LeftButton);
      return 0;
    case WM_RBUTTONDOWN:
      sendMouse(QEvent::MouseButtonPress, Qt::RightButton);
      return 0;
    case WM_MBUTTONDOWN:
      sendMouse(QEvent::MouseButtonPress, Qt::MiddleButton);
      return 0;
    case WM_MBUTTONUP:
      sendMouse(QEvent::MouseButtonRelease, Qt::MiddleButton);
      return 0;
    case WM_MOUSEMOVE:
      sendMouse(QEvent::MouseMove, Qt::NoButton);
      return 0;
    case WM_RBUTTONUP: {
      sendMouse(QEvent::MouseButtonRelease, Qt::RightButton);
      // A right button released on the video asks for the context menu, as on the control.
      QContextMenuEvent event(QContextMenuEvent::Mouse, local, QCursor::pos(), modifiers);
      QCoreApplication::sendEvent(this, &event);
      return 0;
    }
    case WM_CONTEXTMENU: {
      QContextMenuEvent event(QContextMenuEvent::Keyboard, local, QCursor::pos());
      QCoreApplication::sendEvent(this, &event);
      return 0;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: {
      const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
      QKeyEvent event(down ? QEvent::KeyPress : QEvent::KeyRelease, KeyFromVirtualKey(wParam),
                      Qt::NoModifier);
      QCoreApplication::sendEvent(this, &event);
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND TVideoWindow::VideoHandle() const {
  if (QWidget* parent = parentWidget()) {
    const QList<QWidget*> children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
      if (child->objectName() == QLatin1String("VideoRenderer") && child->windowTitle() == Name()) {
        return HwndForWidget(child);
      }
    }
  }
  return HwndForWidget(const_cast<TVideoWindow*>(this));
}
