// The window functions of winuser.h over HwndTable.
#include <winbase.h>

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "HwndTable.h"

using vidorra::win::HwndTable;
using vidorra::win::HwndWindow;

namespace {

// The field of a window that a GWL_/GWLP_ index names, or null.
LONG_PTR* FieldOf(HwndWindow& window, int index, LONG_PTR& scratch) {
  switch (index) {
    case GWL_STYLE:
      scratch = window.style;
      return &scratch;
    case GWL_EXSTYLE:
      scratch = window.exStyle;
      return &scratch;
    case GWLP_USERDATA:
      return &window.userData;
    default:
      return nullptr;
  }
}

LONG_PTR GetLong(HWND hWnd, int nIndex) {
  auto window = HwndTable::Instance().Find(hWnd);
  if (!window) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  std::lock_guard lock(window->mutex);
  LONG_PTR scratch = 0;
  LONG_PTR* field = FieldOf(*window, nIndex, scratch);
  if (!field) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return *field;
}

LONG_PTR SetLong(HWND hWnd, int nIndex, LONG_PTR value) {
  auto window = HwndTable::Instance().Find(hWnd);
  if (!window) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  std::lock_guard lock(window->mutex);
  switch (nIndex) {
    case GWL_STYLE:
      return std::exchange(window->style, static_cast<LONG>(value));
    case GWL_EXSTYLE:
      return std::exchange(window->exStyle, static_cast<LONG>(value));
    case GWLP_USERDATA:
      return std::exchange(window->userData, value);
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
}

}  // namespace

HWND AllocateHWnd(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> procedure) {
  return HwndTable::Instance().Create(std::move(procedure), nullptr);
}

void DeallocateHWnd(HWND hWnd) { HwndTable::Instance().Destroy(hWnd); }

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (HwndTable::Instance().Post(hWnd, Msg, wParam, lParam)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return PostMessageA(hWnd, Msg, wParam, lParam);
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return HwndTable::Instance().Send(hWnd, Msg, wParam, lParam);
}

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(hWnd, Msg, wParam, lParam);
}

LRESULT DefWindowProcA(HWND /*hWnd*/, UINT /*Msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/) {
  return 0;
}

LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hWnd, Msg, wParam, lParam);
}

BOOL IsWindow(HWND hWnd) { return HwndTable::Instance().Find(hWnd) ? TRUE : FALSE; }

BOOL DestroyWindow(HWND hWnd) {
  if (HwndTable::Instance().Destroy(hWnd)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

LONG GetWindowLongA(HWND hWnd, int nIndex) { return static_cast<LONG>(GetLong(hWnd, nIndex)); }

LONG SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
  return static_cast<LONG>(SetLong(hWnd, nIndex, dwNewLong));
}

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex) { return GetLong(hWnd, nIndex); }

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  return SetLong(hWnd, nIndex, dwNewLong);
}

BOOL GetCursorPos(LPPOINT lpPoint) {
  if (!lpPoint) return FALSE;
  const QPoint position = QCursor::pos();
  lpPoint->x = position.x();
  lpPoint->y = position.y();
  return TRUE;
}

int GetSystemMetrics(int nIndex) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return 0;
  switch (nIndex) {
    case SM_CXSCREEN:
      return screen->geometry().width();
    case SM_CYSCREEN:
      return screen->geometry().height();
    default:
      return 0;
  }
}

HWND GetDesktopWindow() { return HwndTable::Instance().Desktop(); }
