// GraphVideoWindow: IVideoWindow of the graph, forwarded to its video renderer.
#include "GraphVideoWindow.h"

#include <comimpl.h>

GraphVideoWindow::GraphVideoWindow(IUnknown* graph, RendererLookup lookup)
    : graph_(graph), lookup_(std::move(lookup)) {}

STDMETHODIMP GraphVideoWindow::QueryInterface(REFIID riid, void** ppv) {
  return graph_->QueryInterface(riid, ppv);
}
STDMETHODIMP_(ULONG) GraphVideoWindow::AddRef() { return graph_->AddRef(); }
STDMETHODIMP_(ULONG) GraphVideoWindow::Release() { return graph_->Release(); }

template <class Call>
HRESULT GraphVideoWindow::Forward(Call call) {
  ComPtr<IVideoWindow> renderer = lookup_();
  return renderer ? call(renderer.Get()) : E_NOINTERFACE;
}

STDMETHODIMP GraphVideoWindow::put_Caption(BSTR strCaption) {
  return Forward([&](IVideoWindow* w) { return w->put_Caption(strCaption); });
}
STDMETHODIMP GraphVideoWindow::get_Caption(BSTR* strCaption) {
  return Forward([&](IVideoWindow* w) { return w->get_Caption(strCaption); });
}
STDMETHODIMP GraphVideoWindow::put_WindowStyle(long WindowStyle) {
  return Forward([&](IVideoWindow* w) { return w->put_WindowStyle(WindowStyle); });
}
STDMETHODIMP GraphVideoWindow::get_WindowStyle(long* WindowStyle) {
  return Forward([&](IVideoWindow* w) { return w->get_WindowStyle(WindowStyle); });
}
STDMETHODIMP GraphVideoWindow::put_WindowStyleEx(long WindowStyleEx) {
  return Forward([&](IVideoWindow* w) { return w->put_WindowStyleEx(WindowStyleEx); });
}
STDMETHODIMP GraphVideoWindow::get_WindowStyleEx(long* WindowStyleEx) {
  return Forward([&](IVideoWindow* w) { return w->get_WindowStyleEx(WindowStyleEx); });
}
STDMETHODIMP GraphVideoWindow::put_AutoShow(long AutoShow) {
  return Forward([&](IVideoWindow* w) { return w->put_AutoShow(AutoShow); });
}
STDMETHODIMP GraphVideoWindow::get_AutoShow(long* AutoShow) {
  return Forward([&](IVideoWindow* w) { return w->get_AutoShow(AutoShow); });
}
STDMETHODIMP GraphVideoWindow::put_WindowState(long WindowState) {
  return Forward([&](IVideoWindow* w) { return w->put_WindowState(WindowState); });
}
STDMETHODIMP GraphVideoWindow::get_WindowState(long* WindowState) {
  return Forward([&](IVideoWindow* w) { return w->get_WindowState(WindowState); });
}
STDMETHODIMP GraphVideoWindow::put_BackgroundPalette(long BackgroundPalette) {
  return Forward([&](IVideoWindow* w) { return w->put_BackgroundPalette(BackgroundPalette); });
}
STDMETHODIMP GraphVideoWindow::get_BackgroundPalette(long* pBackgroundPalette) {
  return Forward([&](IVideoWindow* w) { return w->get_BackgroundPalette(pBackgroundPalette); });
}
STDMETHODIMP GraphVideoWindow::put_Visible(long Visible) {
  return Forward([&](IVideoWindow* w) { return w->put_Visible(Visible); });
}
STDMETHODIMP GraphVideoWindow::get_Visible(long* pVisible) {
  return Forward([&](IVideoWindow* w) { return w->get_Visible(pVisible); });
}
STDMETHODIMP GraphVideoWindow::put_Left(long Left) {
  return Forward([&](IVideoWindow* w) { return w->put_Left(Left); });
}
STDMETHODIMP GraphVideoWindow::get_Left(long* pLeft) {
  return Forward([&](IVideoWindow* w) { return w->get_Left(pLeft); });
}
STDMETHODIMP GraphVideoWindow::put_Width(long Width) {
  return Forward([&](IVideoWindow* w) { return w->put_Width(Width); });
}
STDMETHODIMP GraphVideoWindow::get_Width(long* pWidth) {
  return Forward([&](IVideoWindow* w) { return w->get_Width(pWidth); });
}
STDMETHODIMP GraphVideoWindow::put_Top(long Top) {
  return Forward([&](IVideoWindow* w) { return w->put_Top(Top); });
}
STDMETHODIMP GraphVideoWindow::get_Top(long* pTop) {
  return Forward([&](IVideoWindow* w) { return w->get_Top(pTop); });
}
STDMETHODIMP GraphVideoWindow::put_Height(long Height) {
  return Forward([&](IVideoWindow* w) { return w->put_Height(Height); });
}
STDMETHODIMP GraphVideoWindow::get_Height(long* pHeight) {
  return Forward([&](IVideoWindow* w) { return w->get_Height(pHeight); });
}
STDMETHODIMP GraphVideoWindow::put_Owner(OAHWND Owner) {
  return Forward([&](IVideoWindow* w) { return w->put_Owner(Owner); });
}
STDMETHODIMP GraphVideoWindow::get_Owner(OAHWND* Owner) {
  return Forward([&](IVideoWindow* w) { return w->get_Owner(Owner); });
}
STDMETHODIMP GraphVideoWindow::put_MessageDrain(OAHWND Drain) {
  return Forward([&](IVideoWindow* w) { return w->put_MessageDrain(Drain); });
}
STDMETHODIMP GraphVideoWindow::get_MessageDrain(OAHWND* Drain) {
  return Forward([&](IVideoWindow* w) { return w->get_MessageDrain(Drain); });
}
STDMETHODIMP GraphVideoWindow::get_BorderColor(long* Color) {
  return Forward([&](IVideoWindow* w) { return w->get_BorderColor(Color); });
}
STDMETHODIMP GraphVideoWindow::put_BorderColor(long Color) {
  return Forward([&](IVideoWindow* w) { return w->put_BorderColor(Color); });
}
STDMETHODIMP GraphVideoWindow::get_FullScreenMode(long* FullScreenMode) {
  return Forward([&](IVideoWindow* w) { return w->get_FullScreenMode(FullScreenMode); });
}
STDMETHODIMP GraphVideoWindow::put_FullScreenMode(long FullScreenMode) {
  return Forward([&](IVideoWindow* w) { return w->put_FullScreenMode(FullScreenMode); });
}
STDMETHODIMP GraphVideoWindow::SetWindowForeground(long Focus) {
  return Forward([&](IVideoWindow* w) { return w->SetWindowForeground(Focus); });
}
STDMETHODIMP GraphVideoWindow::NotifyOwnerMessage(OAHWND hwnd, long uMsg, LONG_PTR wParam,
                                                  LONG_PTR lParam) {
  return Forward(
      [&](IVideoWindow* w) { return w->NotifyOwnerMessage(hwnd, uMsg, wParam, lParam); });
}
STDMETHODIMP GraphVideoWindow::SetWindowPosition(long Left, long Top, long Width, long Height) {
  return Forward([&](IVideoWindow* w) { return w->SetWindowPosition(Left, Top, Width, Height); });
}
STDMETHODIMP GraphVideoWindow::GetWindowPosition(long* pLeft, long* pTop, long* pWidth,
                                                 long* pHeight) {
  return Forward(
      [&](IVideoWindow* w) { return w->GetWindowPosition(pLeft, pTop, pWidth, pHeight); });
}
STDMETHODIMP GraphVideoWindow::GetMinIdealImageSize(long* pWidth, long* pHeight) {
  return Forward([&](IVideoWindow* w) { return w->GetMinIdealImageSize(pWidth, pHeight); });
}
STDMETHODIMP GraphVideoWindow::GetMaxIdealImageSize(long* pWidth, long* pHeight) {
  return Forward([&](IVideoWindow* w) { return w->GetMaxIdealImageSize(pWidth, pHeight); });
}
STDMETHODIMP GraphVideoWindow::GetRestorePosition(long* pLeft, long* pTop, long* pWidth,
                                                  long* pHeight) {
  return Forward(
      [&](IVideoWindow* w) { return w->GetRestorePosition(pLeft, pTop, pWidth, pHeight); });
}
STDMETHODIMP GraphVideoWindow::HideCursor(long HideCursor) {
  return Forward([&](IVideoWindow* w) { return w->HideCursor(HideCursor); });
}
STDMETHODIMP GraphVideoWindow::IsCursorHidden(long* CursorHidden) {
  return Forward([&](IVideoWindow* w) { return w->IsCursorHidden(CursorHidden); });
}
