// "Video Renderer"; see VideoRenderer.h.
#include "VideoRenderer.h"

#include <HwndQt.h>
#include <oleauto.h>
#include <winuser.h>

#include <QApplication>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>

namespace vidorra::filters {
namespace {

constexpr HRESULT kWrongThread = static_cast<HRESULT>(0x8001010E);  // RPC_E_WRONG_THREAD
constexpr long kDefaultStyle = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr const wchar_t* kDefaultCaption = L"ActiveMovie Window";
constexpr uint32_t kOpaqueAlpha = 0xFF000000u;
// Buffers kept for reuse after the window let go of them, beyond the pool's own.
constexpr size_t kMaxRetiredBuffers = 3;
// Frame buffers start at least this aligned, whatever the pool asks, as images want.
constexpr long kMinBufferAlign = 16;

// ShowWindow commands as IVideoWindow::put_WindowState takes them.
constexpr long kSwHide = 0;
constexpr long kSwShowNormal = 1;
constexpr long kSwShowMinimized = 2;
constexpr long kSwShowMaximized = 3;
constexpr long kSwShow = 5;
constexpr long kSwMinimize = 6;
constexpr long kSwRestore = 9;

bool ValidBool(long value) { return value == OATRUE || value == OAFALSE; }

QColor ColourFromColorRef(long colour) {
  const auto value = static_cast<uint32_t>(colour);
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

// Copies a frame into `image` (made anew when it is null, of another size or format, or still
// shared with the window's painting), top row first: the renderer's one copy of a frame.
void CopyFrame(const FrameLayout& layout, const BYTE* data, QImage& image) {
  // Locals, not the layout's fields: the stores below could otherwise alias them, which keeps
  // the compiler from vectorising the rows.
  const int width = layout.width;
  const int height = layout.height;
  const bool rgb32 = layout.format == PixelFormat::kRgb32;
  const QImage::Format format = rgb32 ? QImage::Format_RGB32 : QImage::Format_BGR888;
  if (image.isNull() || !image.isDetached() || image.format() != format ||
      image.width() != width || image.height() != height) {
    image = QImage(width, height, format);
    if (image.isNull()) return;
  }
  const size_t stride = layout.Stride();
  const size_t rowBytes = static_cast<size_t>(width) * (rgb32 ? 4 : 3);
  for (int y = 0; y < height; ++y) {
    const int memoryRow = layout.bottomUp ? height - 1 - y : y;
    const BYTE* source = data + stride * memoryRow;
    uchar* target = image.scanLine(y);
    if (!rgb32) {
      std::memcpy(target, source, rowBytes);
      continue;
    }
    // The fourth byte of a device-independent RGB32 pixel is unused (often 0); the image
    // format wants it opaque. Set in the same pass as the copy.
    const auto* in = reinterpret_cast<const uint32_t*>(source);
    auto* out = reinterpret_cast<uint32_t*>(target);
    for (int x = 0; x < width; ++x) out[x] = in[x] | kOpaqueAlpha;
  }
}

QImage::Format ImageFormatOf(const FrameLayout& layout) {
  return layout.format == PixelFormat::kRgb32 ? QImage::Format_RGB32 : QImage::Format_BGR888;
}

// Makes the fourth byte of each RGB32 pixel of a frame opaque, in place; reads only when it
// already is (as converters write it).
void MakeOpaque(BYTE* data, size_t pixels) {
  auto* pixel = reinterpret_cast<uint32_t*>(data);
  uint32_t all = kOpaqueAlpha;
  for (size_t i = 0; i < pixels; ++i) all &= pixel[i];
  if (all == kOpaqueAlpha) return;
  for (size_t i = 0; i < pixels; ++i) pixel[i] |= kOpaqueAlpha;
}

// Puts a bottom-up frame's rows top first, in place, making RGB32 pixels opaque in the same
// pass: the window then draws it as it is, where a flipping transform would cost Qt a
// filtered fetch of every pixel.
void FlipRowsMakingOpaque(BYTE* data, const FrameLayout& layout) {
  const size_t stride = layout.Stride();
  const int height = layout.height;
  const int width = layout.width;
  const bool rgb32 = layout.format == PixelFormat::kRgb32;
  for (int y = 0; y < height / 2; ++y) {
    BYTE* top = data + stride * static_cast<size_t>(y);
    BYTE* bottom = data + stride * static_cast<size_t>(height - 1 - y);
    if (!rgb32) {
      std::swap_ranges(top, top + static_cast<size_t>(width) * 3, bottom);
      continue;
    }
    auto* a = reinterpret_cast<uint32_t*>(top);
    auto* b = reinterpret_cast<uint32_t*>(bottom);
    for (int x = 0; x < width; ++x) {
      const uint32_t upper = a[x];
      a[x] = b[x] | kOpaqueAlpha;
      b[x] = upper | kOpaqueAlpha;
    }
  }
  if (rgb32 && height % 2 != 0) {
    MakeOpaque(data + stride * static_cast<size_t>(height / 2), static_cast<size_t>(width));
  }
}

}  // namespace

// ---- CVideoFrameAllocator -----------------------------------------------------------------

struct CVideoFrameAllocator::FrameBuffer {
  std::unique_ptr<BYTE[]> memory;
  BYTE* data = nullptr;  // the sample's buffer: aligned, after the prefix
  // Images of the frame in this buffer still alive (ShareFrame). Released by the thread that
  // drops the last copy of one (painting's reads come before), acquired before the buffer is
  // written again.
  std::atomic<int> shown{0};

  bool Shown() const { return shown.load(std::memory_order_acquire) != 0; }
};

STDMETHODIMP CVideoFrameAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                                 ALLOCATOR_PROPERTIES* pActual) {
  // The pool checks and settles the request; its samples get no memory of their own, since
  // GetBuffer gives each one a frame buffer.
  HRESULT hr = CMemAllocator::SetProperties(pRequest, pActual);
  if (FAILED(hr)) return hr;
  ALLOCATOR_PROPERTIES bare = *pActual;
  bare.cbBuffer = 0;
  bare.cbPrefix = 0;
  bare.cbAlign = 1;
  ALLOCATOR_PROPERTIES unused{};
  hr = CMemAllocator::SetProperties(&bare, &unused);
  if (FAILED(hr)) return hr;
  std::lock_guard lock(mutex_);
  props_ = *pActual;
  props_.cbAlign = std::max(props_.cbAlign, kMinBufferAlign);
  *pActual = props_;
  buffers_.clear();
  retired_.clear();
  return S_OK;
}

STDMETHODIMP CVideoFrameAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
  if (!pProps) return E_POINTER;
  std::lock_guard lock(mutex_);
  *pProps = props_;
  return S_OK;
}

std::shared_ptr<CVideoFrameAllocator::FrameBuffer> CVideoFrameAllocator::TakeUnshownBuffer() {
  for (auto it = retired_.begin(); it != retired_.end(); ++it) {
    // Only ShareFrame makes images of a buffer, under mutex_: one not shown stays so.
    if (!(*it)->Shown()) {
      std::shared_ptr<FrameBuffer> buffer = std::move(*it);
      retired_.erase(it);
      return buffer;
    }
  }
  auto buffer = std::make_shared<FrameBuffer>();
  const auto bytes = static_cast<size_t>(props_.cbPrefix) + static_cast<size_t>(props_.cbBuffer) +
                     static_cast<size_t>(props_.cbAlign);
  buffer->memory.reset(new (std::nothrow) BYTE[bytes]);
  if (!buffer->memory) return nullptr;
  const auto base = reinterpret_cast<uintptr_t>(buffer->memory.get()) + props_.cbPrefix;
  const auto align = static_cast<uintptr_t>(props_.cbAlign);
  buffer->data = reinterpret_cast<BYTE*>((base + align - 1) / align * align);
  return buffer;
}

STDMETHODIMP CVideoFrameAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                                             REFERENCE_TIME* pEndTime, DWORD dwFlags) {
  HRESULT hr = CMemAllocator::GetBuffer(ppBuffer, pStartTime, pEndTime, dwFlags);
  if (FAILED(hr)) return hr;
  // The pool's samples are all CMediaSamples.
  auto* sample = static_cast<CMediaSample*>(*ppBuffer);
  {
    std::lock_guard lock(mutex_);
    std::shared_ptr<FrameBuffer>& buffer = buffers_[*ppBuffer];
    if (!buffer || buffer->Shown()) {
      // The window still shows the frame in this buffer (or there is none yet).
      if (buffer) {
        retired_.push_back(std::move(buffer));
        if (retired_.size() > kMaxRetiredBuffers) retired_.erase(retired_.begin());
      }
      buffer = TakeUnshownBuffer();
    }
    if (buffer) {
      sample->SetBuffer(buffer->data, props_.cbBuffer);
      sample->SetActualDataLength(props_.cbBuffer);
      return S_OK;
    }
    buffers_.erase(*ppBuffer);
  }
  (*ppBuffer)->Release();
  *ppBuffer = nullptr;
  return E_OUTOFMEMORY;
}

QImage CVideoFrameAllocator::ShareFrame(IMediaSample* sample, const FrameLayout& layout) {
  std::shared_ptr<FrameBuffer> buffer;
  {
    std::lock_guard lock(mutex_);
    const auto it = buffers_.find(sample);
    if (it == buffers_.end() || !it->second ||
        static_cast<size_t>(props_.cbBuffer) < layout.ImageSize()) {
      return {};
    }
    buffer = it->second;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data != buffer->data) return {};
    buffer->shown.fetch_add(1, std::memory_order_relaxed);
  }
  // The image holds the buffer, and counts as showing it, until its last copy goes.
  auto* holder = new std::shared_ptr<FrameBuffer>(buffer);
  QImage image(
      buffer->data, layout.width, layout.height, static_cast<qsizetype>(layout.Stride()),
      ImageFormatOf(layout),
      [](void* info) {
        auto* held = static_cast<std::shared_ptr<FrameBuffer>*>(info);
        (*held)->shown.fetch_sub(1, std::memory_order_release);
        delete held;
      },
      holder);
  // An image that could not be made never calls its clean-up.
  if (image.isNull()) {
    buffer->shown.fetch_sub(1, std::memory_order_release);
    delete holder;
  }
  return image;
}

// ---- CVideoRenderer ----------------------------------------------------------------------

CVideoRenderer::CVideoRenderer()
    : CBaseRenderer(L"Video Renderer", CLSID_VideoRenderer), style_(kDefaultStyle) {
  // The window belongs to the user-interface thread; a renderer made elsewhere has none and
  // answers E_UNEXPECTED to IVideoWindow.
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (app && QThread::currentThread() == app->thread()) {
    window_ = new VideoRendererWindow();
    // The object name plays the part of the window class, by which owners find the window.
    window_->setObjectName(QStringLiteral("VideoRenderer"));
    window_->setWindowTitle(QString::fromStdWString(kDefaultCaption));
    window_->SetDestroyedCallback([this] { OnWindowDestroyed(); });
    ApplyWindowFlags();
  }
}

CVideoRenderer::~CVideoRenderer() {
  VideoRendererWindow* window = nullptr;
  {
    std::lock_guard lock(windowMutex_);
    window = window_;
    window_ = nullptr;
  }
  if (!window) return;
  window->SetDestroyedCallback(nullptr);
  if (QThread::currentThread() == window->thread()) {
    delete window;
  } else {
    window->deleteLater();
  }
}

void CVideoRenderer::OnWindowDestroyed() {
  std::lock_guard lock(windowMutex_);
  window_ = nullptr;
}

HRESULT CVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IVideoWindow || riid == IID_IDispatch) {
    return GetInterface(static_cast<IVideoWindow*>(this), ppv);
  }
  return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

// ---- Media and rendering ------------------------------------------------------------------

HRESULT CVideoRenderer::CheckMediaType(const CMediaType* mt) {
  if (!mt) return E_POINTER;
  const auto layout = FrameLayout::FromMediaType(*mt);
  if (!layout) return VFW_E_TYPE_NOT_ACCEPTED;
  return layout->format == PixelFormat::kRgb32 || layout->format == PixelFormat::kRgb24
             ? S_OK
             : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CVideoRenderer::SetMediaType(const CMediaType* mt) {
  const auto layout = FrameLayout::FromMediaType(*mt);
  if (!layout) return VFW_E_TYPE_NOT_ACCEPTED;
  layout_ = *layout;
  return CBaseRenderer::SetMediaType(mt);
}

HRESULT CVideoRenderer::DoRenderSample(IMediaSample* sample) {
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const long length = sample->GetActualDataLength();
  // A short frame is skipped: showing it would read past the sample.
  if (!data || length < 0 || static_cast<size_t>(length) < layout_.ImageSize()) return S_OK;
  std::lock_guard lock(windowMutex_);
  // Without a window there is nothing to show, and nothing to copy.
  if (!window_) return S_OK;
  QImage shared = frameAllocator_->ShareFrame(sample, layout_);
  if (!shared.isNull()) {
    // The fourth byte of a device-independent RGB32 pixel is unused (often 0); the image
    // format wants it opaque. A bottom-up frame is turned the right way up. The buffer is ours
    // to change.
    if (layout_.bottomUp) {
      FlipRowsMakingOpaque(data, layout_);
    } else if (layout_.format == PixelFormat::kRgb32) {
      MakeOpaque(data, static_cast<size_t>(layout_.width) * static_cast<size_t>(layout_.height));
    }
    // Shown where it was written; the window's previous frame goes back to its buffer's pool.
    window_->PresentFrame(std::move(shared), false);
    windowHoldsCopy_ = false;
    return S_OK;
  }
  // A buffer of another allocator: the frame is copied.
  CopyFrame(layout_, data, spare_);
  if (spare_.isNull()) return E_OUTOFMEMORY;
  // The window keeps this frame and hands back the one it showed before, which becomes the
  // next copy's image unless painting still holds it (a shared buffer's image is not ours to
  // write).
  QImage previous = window_->PresentFrame(std::move(spare_), false);
  spare_ = windowHoldsCopy_ ? std::move(previous) : QImage();
  windowHoldsCopy_ = true;
  return S_OK;
}

ComPtr<IMemAllocator> CVideoRenderer::CreateInputAllocator() { return frameAllocator_; }

HRESULT CVideoRenderer::OnStartStreaming() {
  if (autoShow_) {
    std::lock_guard lock(windowMutex_);
    if (window_) {
      if (QThread::currentThread() == window_->thread()) {
        window_->show();
      } else {
        QMetaObject::invokeMethod(window_, &QWidget::show, Qt::QueuedConnection);
      }
    }
  }
  return CBaseRenderer::OnStartStreaming();
}

// ---- Window -------------------------------------------------------------------------------

HRESULT CVideoRenderer::CheckWindowThread() const {
  if (!window_) return E_UNEXPECTED;
  return QThread::currentThread() == window_->thread() ? S_OK : kWrongThread;
}

void CVideoRenderer::ApplyWindowFlags() {
  const bool visible = window_->isVisible();
  QWidget* owner = owner_ ? WidgetForHwnd(reinterpret_cast<HWND>(owner_)) : nullptr;
  Qt::WindowFlags flags = Qt::Widget;
  if (!owner) {
    flags = Qt::Window | Qt::CustomizeWindowHint;
    const bool caption = (style_ & WS_CAPTION) == WS_CAPTION;
    const bool frame = (style_ & (WS_THICKFRAME | WS_BORDER | WS_DLGFRAME)) != 0;
    if (caption) {
      flags |= Qt::WindowTitleHint;
      if (style_ & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      if (style_ & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
      if (style_ & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
    }
    if (!caption && !frame) flags |= Qt::FramelessWindowHint;
    if (styleEx_ & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
  }
  const QRect geometry = window_->geometry();
  window_->setParent(owner, flags);
  window_->setGeometry(geometry);
  // Changing the parent or the flags hides a widget; keep it as it was.
  if (visible) window_->show();
}

STDMETHODIMP CVideoRenderer::put_Caption(BSTR strCaption) {
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  window_->setWindowTitle(QString::fromStdWString(strCaption ? strCaption : L""));
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_Caption(BSTR* strCaption) {
  if (!strCaption) return E_POINTER;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  *strCaption = SysAllocString(window_->windowTitle().toStdWString().c_str());
  return *strCaption ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CVideoRenderer::put_WindowStyle(long WindowStyle) {
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  style_ = WindowStyle;
  ApplyWindowFlags();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_WindowStyle(long* WindowStyle) {
  if (!WindowStyle) return E_POINTER;
  *WindowStyle = style_;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_WindowStyleEx(long WindowStyleEx) {
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  styleEx_ = WindowStyleEx;
  ApplyWindowFlags();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_WindowStyleEx(long* WindowStyleEx) {
  if (!WindowStyleEx) return E_POINTER;
  *WindowStyleEx = styleEx_;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_AutoShow(long AutoShow) {
  if (!ValidBool(AutoShow)) return E_INVALIDARG;
  autoShow_ = AutoShow == OATRUE;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_AutoShow(long* AutoShow) {
  if (!AutoShow) return E_POINTER;
  *AutoShow = autoShow_ ? OATRUE : OAFALSE;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_WindowState(long WindowState) {
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  switch (WindowState) {
    case kSwHide:
      window_->hide();
      break;
    case kSwShowNormal:
    case kSwRestore:
      window_->showNormal();
      break;
    case kSwShow:
      window_->show();
      break;
    case kSwShowMinimized:
    case kSwMinimize:
      window_->showMinimized();
      break;
    case kSwShowMaximized:
      window_->showMaximized();
      break;
    default:
      return E_INVALIDARG;
  }
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_WindowState(long* WindowState) {
  if (!WindowState) return E_POINTER;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  if (!window_->isVisible()) {
    *WindowState = kSwHide;
  } else if (window_->isMinimized()) {
    *WindowState = kSwShowMinimized;
  } else if (window_->isMaximized()) {
    *WindowState = kSwShowMaximized;
  } else {
    *WindowState = kSwShowNormal;
  }
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_BackgroundPalette(long) { return E_NOTIMPL; }
STDMETHODIMP CVideoRenderer::get_BackgroundPalette(long*) { return E_NOTIMPL; }

STDMETHODIMP CVideoRenderer::put_Visible(long Visible) {
  if (!ValidBool(Visible)) return E_INVALIDARG;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  window_->setVisible(Visible == OATRUE);
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_Visible(long* pVisible) {
  if (!pVisible) return E_POINTER;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  *pVisible = window_->isVisible() ? OATRUE : OAFALSE;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_Left(long Left) {
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  window_->move(static_cast<int>(Left), window_->y());
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_Left(long* pLeft) {
  if (!pLeft) return E_POINTER;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  *pLeft = window_->x();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_Width(long Width) {
  if (Width < 0) return E_INVALIDARG;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  window_->resize(static_cast<int>(Width), window_->height());
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_Width(long* pWidth) {
  if (!pWidth) return E_POINTER;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  *pWidth = window_->width();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_Top(long Top) {
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  window_->move(window_->x(), static_cast<int>(Top));
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_Top(long* pTop) {
  if (!pTop) return E_POINTER;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  *pTop = window_->y();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_Height(long Height) {
  if (Height < 0) return E_INVALIDARG;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  window_->resize(window_->width(), static_cast<int>(Height));
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_Height(long* pHeight) {
  if (!pHeight) return E_POINTER;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  *pHeight = window_->height();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_Owner(OAHWND Owner) {
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  if (Owner && !WidgetForHwnd(reinterpret_cast<HWND>(Owner))) return E_INVALIDARG;
  owner_ = Owner;
  ApplyWindowFlags();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_Owner(OAHWND* Owner) {
  if (!Owner) return E_POINTER;
  *Owner = owner_;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_MessageDrain(OAHWND Drain) {
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  drain_ = Drain;
  window_->SetMessageDrain(reinterpret_cast<HWND>(Drain));
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_MessageDrain(OAHWND* Drain) {
  if (!Drain) return E_POINTER;
  *Drain = drain_;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_BorderColor(long* Color) {
  if (!Color) return E_POINTER;
  *Color = borderColor_;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::put_BorderColor(long Color) {
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  // The picture fills the window, so the border colour shows only before the first frame.
  borderColor_ = Color;
  window_->SetBackground(ColourFromColorRef(Color));
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_FullScreenMode(long*) { return E_NOTIMPL; }
STDMETHODIMP CVideoRenderer::put_FullScreenMode(long) { return E_NOTIMPL; }

STDMETHODIMP CVideoRenderer::SetWindowForeground(long Focus) {
  if (!ValidBool(Focus)) return E_INVALIDARG;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  window_->raise();
  if (Focus == OATRUE) window_->activateWindow();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::NotifyOwnerMessage(OAHWND, long, LONG_PTR, LONG_PTR) {
  return E_NOTIMPL;
}

STDMETHODIMP CVideoRenderer::SetWindowPosition(long Left, long Top, long Width, long Height) {
  if (Width < 0 || Height < 0) return E_INVALIDARG;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  // Owned: coordinates in the owner's client area; otherwise on the screen.
  window_->setGeometry(static_cast<int>(Left), static_cast<int>(Top), static_cast<int>(Width),
                       static_cast<int>(Height));
  return S_OK;
}

STDMETHODIMP CVideoRenderer::GetWindowPosition(long* pLeft, long* pTop, long* pWidth,
                                               long* pHeight) {
  if (!pLeft || !pTop || !pWidth || !pHeight) return E_POINTER;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  const QRect geometry = window_->geometry();
  *pLeft = geometry.x();
  *pTop = geometry.y();
  *pWidth = geometry.width();
  *pHeight = geometry.height();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::GetMinIdealImageSize(long*, long*) { return E_NOTIMPL; }
STDMETHODIMP CVideoRenderer::GetMaxIdealImageSize(long*, long*) { return E_NOTIMPL; }

STDMETHODIMP CVideoRenderer::GetRestorePosition(long* pLeft, long* pTop, long* pWidth,
                                                long* pHeight) {
  if (!pLeft || !pTop || !pWidth || !pHeight) return E_POINTER;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  QRect restore = window_->isWindow() ? window_->normalGeometry() : QRect();
  if (restore.isNull()) restore = window_->geometry();
  *pLeft = restore.x();
  *pTop = restore.y();
  *pWidth = restore.width();
  *pHeight = restore.height();
  return S_OK;
}

STDMETHODIMP CVideoRenderer::HideCursor(long HideCursor) {
  if (!ValidBool(HideCursor)) return E_INVALIDARG;
  HRESULT hr = CheckWindowThread();
  if (FAILED(hr)) return hr;
  cursorHidden_ = HideCursor == OATRUE;
  if (cursorHidden_) {
    window_->setCursor(Qt::BlankCursor);
  } else {
    window_->unsetCursor();
  }
  return S_OK;
}

STDMETHODIMP CVideoRenderer::IsCursorHidden(long* CursorHidden) {
  if (!CursorHidden) return E_POINTER;
  *CursorHidden = cursorHidden_ ? OATRUE : OAFALSE;
  return S_OK;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_VideoRenderer,
    .friendlyName = L"Video Renderer",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_PREFERRED,
    .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}, {MEDIATYPE_Video, MEDIASUBTYPE_RGB24}},
    .outputTypes = {},
    .monikerName = {},
    .factory = FilterFactoryFor<CVideoRenderer>(),
});

}  // namespace
}  // namespace vidorra::filters
