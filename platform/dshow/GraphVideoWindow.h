// GraphVideoWindow: the filter graph's IVideoWindow. Every method is forwarded to the video
// renderer in the graph (the first filter, most recently added first, that answers
// IVideoWindow); E_NOINTERFACE when the graph holds none. The IDispatch methods answer
// E_NOTIMPL, as every automation interface of the platform.
//
// It is part of the graph object: AddRef, Release and QueryInterface go to the graph.
// Threads: those of the renderer's IVideoWindow (the application's thread).
#pragma once

#include <comptr.h>
#include <control.h>

#include <functional>

#include "DispatchWithoutTypeInfo.h"

class GraphVideoWindow : public DispatchWithoutTypeInfo<IVideoWindow> {
 public:
  using RendererLookup = std::function<ComPtr<IVideoWindow>()>;
  // `graph` is the graph's own IUnknown (not a reference); `lookup` finds its renderer.
  GraphVideoWindow(IUnknown* graph, RendererLookup lookup);
  GraphVideoWindow(const GraphVideoWindow&) = delete;
  GraphVideoWindow& operator=(const GraphVideoWindow&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

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

 private:
  // Calls `call` on the renderer's IVideoWindow, or answers E_NOINTERFACE without one.
  template <class Call>
  HRESULT Forward(Call call);

  IUnknown* const graph_;
  const RendererLookup lookup_;
};
