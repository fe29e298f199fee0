// "Video Renderer" (CLSID_VideoRenderer): shows RGB32 and RGB24 video (the Color Space
// Converter feeds it) in its own Qt window (VideoRendererWindow), and lets the application
// place that window through IVideoWindow: re-parenting into an owner widget (put_Owner with
// the owner's window handle), window styles translated to Qt window flags (caption, frame,
// top-most), position, visibility, caption, auto-show, cursor, and a message drain that gets
// the mouse and key input on the video as WM_* messages.
//
// Not provided (E_NOTIMPL): put/get_FullScreenMode, put/get_BackgroundPalette,
// NotifyOwnerMessage, GetMinIdealImageSize, GetMaxIdealImageSize and the IDispatch methods.
//
// Frames are shown where the upstream filter wrote them: the input pin offers an allocator
// (CVideoFrameAllocator) whose buffers the window can paint as they are, so a frame is handed to
// the window without a copy; a bottom-up frame's rows are first put top first in its buffer (the
// window draws it without a flipping transform). A frame in a buffer of another allocator
// (an upstream pin that insisted on its own) is copied once into an image (the window's
// previous one when painting no longer holds it).
//
// Threads: frames arrive on the upstream streaming thread and are handed to the window (latest
// frame wins, see VideoRendererWindow). The window lives on the application's
// (user-interface) thread; IVideoWindow must be called there (RPC_E_WRONG_THREAD otherwise).
// windowMutex_ guards the window pointer between the streaming thread and the window's
// destruction (the window may be destroyed by its owner).
#pragma once

#include <DispatchWithoutTypeInfo.h>
#include <control.h>
#include <streams.h>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "PixelFormatConverter.h"
#include "VideoRendererWindow.h"

namespace vidorra::filters {

// The video renderer's allocator: a pool of samples whose buffers are frame buffers the window
// may go on painting after the sample came back. A buffer whose frame the window still holds
// (the latest frame, or one being painted) is never written again: the sample that comes out
// of GetBuffer gets a buffer nobody shows (one the window has let go, or a new one). At most
// a few buffers beyond the pool's count exist.
//
// Threads: any thread, like CMemAllocator; mutex_ guards the buffers.
class CVideoFrameAllocator : public CMemAllocator {
 public:
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                             ALLOCATOR_PROPERTIES* pActual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
  STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                         REFERENCE_TIME* pEndTime, DWORD dwFlags) override;

  // The frame in `sample` (one of ours, laid out as `layout`) as an image sharing its buffer,
  // which stays unwritten while the image or a copy of it lives; the rows in memory order (a
  // bottom-up frame's image is upside down). A null image when the sample is not ours or its
  // buffer is too small for the layout.
  QImage ShareFrame(IMediaSample* sample, const FrameLayout& layout);

 private:
  struct FrameBuffer;
  // A buffer nobody shows, or a new one; null when out of memory. Called under mutex_.
  std::shared_ptr<FrameBuffer> TakeUnshownBuffer();

  std::mutex mutex_;
  ALLOCATOR_PROPERTIES props_{};
  // Each sample's current buffer.
  std::unordered_map<IMediaSample*, std::shared_ptr<FrameBuffer>> buffers_;
  // Buffers taken from their sample while the window showed them, to be used again.
  std::vector<std::shared_ptr<FrameBuffer>> retired_;
};

class CVideoRenderer : public CBaseRenderer, public DispatchWithoutTypeInfo<IVideoWindow> {
 public:
  CVideoRenderer();
  ~CVideoRenderer() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ---- IVideoWindow ----
  STDMETHODIMP put_Caption(BSTR strCaption) override;
  STDMETHODIMP get_Caption(BSTR* strCaption) override;
  STDMETHODIMP put_WindowStyle(long WindowStyle) override;
  STDMETHODIMP get_WindowStyle(long* WindowStyle) override;
  STDMETHODIMP put_WindowStyleEx(long WindowStyleEx) override;
  STDMETHODIMP get_WindowStyleEx(long* WindowStyleEx) override;
  STDMETHODIMP put_AutoShow(long AutoShow) override;
  STDMETHODIMP get_AutoShow(long* AutoShow) override;
  STDMETHODIMP put_WindowState(long WindowState) override;
  STDMETHODIMP get_WindowState(long* WindowState) override;
  STDMETHODIMP put_BackgroundPalette(long BackgroundPalette) override;
  STDMETHODIMP get_BackgroundPalette(long* pBackgroundPalette) override;
  STDMETHODIMP put_Visible(long Visible) override;
  STDMETHODIMP get_Visible(long* pVisible) override;
  STDMETHODIMP put_Left(long Left) override;
  STDMETHODIMP get_Left(long* pLeft) override;
  STDMETHODIMP put_Width(long Width) override;
  STDMETHODIMP get_Width(long* pWidth) override;
  STDMETHODIMP put_Top(long Top) override;
  STDMETHODIMP get_Top(long* pTop) override;
  STDMETHODIMP put_Height(long Height) override;
  STDMETHODIMP get_Height(long* pHeight) override;
  STDMETHODIMP put_Owner(OAHWND Owner) override;
  STDMETHODIMP get_Owner(OAHWND* Owner) override;
  STDMETHODIMP put_MessageDrain(OAHWND Drain) override;
  STDMETHODIMP get_MessageDrain(OAHWND* Drain) override;
  STDMETHODIMP get_BorderColor(long* Color) override;
  STDMETHODIMP put_BorderColor(long Color) override;
  STDMETHODIMP get_FullScreenMode(long* FullScreenMode) override;
  STDMETHODIMP put_FullScreenMode(long FullScreenMode) override;
  STDMETHODIMP SetWindowForeground(long Focus) override;
  STDMETHODIMP NotifyOwnerMessage(OAHWND hwnd, long uMsg, LONG_PTR wParam,
                                  LONG_PTR lParam) override;
  STDMETHODIMP SetWindowPosition(long Left, long Top, long Width, long Height) override;
  STDMETHODIMP GetWindowPosition(long* pLeft, long* pTop, long* pWidth, long* pHeight) override;
  STDMETHODIMP GetMinIdealImageSize(long* pWidth, long* pHeight) override;
  STDMETHODIMP GetMaxIdealImageSize(long* pWidth, long* pHeight) override;
  STDMETHODIMP GetRestorePosition(long* pLeft, long* pTop, long* pWidth, long* pHeight) override;
  STDMETHODIMP HideCursor(long HideCursor) override;
  STDMETHODIMP IsCursorHidden(long* CursorHidden) override;

  // ---- Renderer hooks ----
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  HRESULT OnStartStreaming() override;
  // Frames are written into buffers the window can show.
  ComPtr<IMemAllocator> CreateInputAllocator() override;

  // The window (null once destroyed by its owner); tests grab it.
  VideoRendererWindow* WindowForTesting() const { return window_; }

 private:
  // S_OK when the caller is on the window's thread and the window exists.
  HRESULT CheckWindowThread() const;
  void ApplyWindowFlags();
  void OnWindowDestroyed();

  std::mutex windowMutex_;
  VideoRendererWindow* window_ = nullptr;  // owned: deleted with the filter unless its owner
                                           // widget deleted it first

  ComPtr<CVideoFrameAllocator> frameAllocator_ = MakeComObject<CVideoFrameAllocator>();
  FrameLayout layout_;            // of the connection; set while stopped
  QImage spare_;                  // the image the next copied frame goes into; under windowMutex_
  bool windowHoldsCopy_ = false;  // the window's frame is a copy, not a shared buffer; ditto
  long style_;
  long styleEx_ = 0;
  bool autoShow_ = true;
  bool cursorHidden_ = false;
  OAHWND owner_ = 0;
  OAHWND drain_ = 0;
  long borderColor_ = 0;
};

}  // namespace vidorra::filters
