// Window handles for Qt widgets (not an SDK header, the platform's own): lets the program give
// its widgets handles (a video window's owner, a message drain) and platform code that works
// with HWNDs — a video renderer given an owner window or a message drain — reach the widget.
//
// HwndForWidget gives a widget a handle (the same one on every call). Messages posted or sent
// to it go to the procedure installed with SetHwndProcedure (DefWindowProcA until then), on
// the widget's thread. The handle dies with the widget.
#pragma once

#include <winuser.h>

#include <functional>

class QWidget;

HWND HwndForWidget(QWidget* widget);
// The widget a handle stands for, or null (a hidden window, the desktop, an unknown handle).
QWidget* WidgetForHwnd(HWND hWnd);
// Installs the procedure that receives the messages of a handle; false for an unknown handle.
bool SetHwndProcedure(HWND hWnd, std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> procedure);
