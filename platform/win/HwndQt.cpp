// Window handles for Qt widgets.
#include "HwndQt.h"

#include "HwndTable.h"

using vidorra::win::HwndTable;

HWND HwndForWidget(QWidget* widget) {
  if (!widget) return nullptr;
  if (HWND existing = HwndTable::Instance().FindWidget(widget)) return existing;
  return HwndTable::Instance().Create(nullptr, widget);
}

QWidget* WidgetForHwnd(HWND hWnd) {
  auto window = HwndTable::Instance().Find(hWnd);
  if (!window) return nullptr;
  std::lock_guard lock(window->mutex);
  return window->widget.data();
}

bool SetHwndProcedure(HWND hWnd, std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> procedure) {
  auto window = HwndTable::Instance().Find(hWnd);
  if (!window) return false;
  std::lock_guard lock(window->mutex);
  window->procedure = std::move(procedure);
  return true;
}
