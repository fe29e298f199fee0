// The window handles of the platform: each HWND names an HwndWindow, a window object that
// lives on the thread that created it (its HwndReceiver, a QObject, belongs to that thread).
// Messages posted to a window from any thread travel as Qt events to the receiver and reach
// the window's procedure on its thread, in posting order.
//
// Handles are small numbers that are never reused, so a stale handle is simply unknown
// (IsWindow false) rather than a dangling pointer.
//
// Threads: the table is guarded by one mutex; events are posted while it is held, so a
// receiver removed from the table (under the same mutex) gets no further posts.
#pragma once

#include <winuser.h>

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace vidorra::win {

using WindowProcedure = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Receives the posted messages of one window on the window's thread.
class HwndReceiver : public QObject {
 public:
  HwndReceiver(HWND handle, QObject* parent);
  bool event(QEvent* e) override;
  static int MessageEventType();

 private:
  const HWND handle_;
};

struct HwndWindow {
  HWND handle = nullptr;
  std::mutex mutex;  // guards the fields below
  WindowProcedure procedure;
  LONG style = 0;
  LONG exStyle = 0;
  LONG_PTR userData = 0;
  QPointer<QWidget> widget;
  QPointer<HwndReceiver> receiver;
  bool ownsReceiver = false;  // a hidden window's receiver is deleted with its handle
};

class HwndTable {
 public:
  static HwndTable& Instance();

  // A new window on the calling thread; `widget` (optional) is the widget it stands for.
  HWND Create(WindowProcedure procedure, QWidget* widget);
  std::shared_ptr<HwndWindow> Find(HWND handle);
  HWND FindWidget(QWidget* widget);
  // Forgets the handle and deletes a receiver it owns; false for an unknown handle.
  bool Destroy(HWND handle);
  // Posts a message to the window's receiver; false for an unknown handle or a window that
  // receives no messages.
  bool Post(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
  // Calls the window procedure now (on the window's thread, waiting when called elsewhere).
  LRESULT Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
  HWND Desktop();

 private:
  std::mutex mutex_;
  std::unordered_map<HWND, std::shared_ptr<HwndWindow>> windows_;
  uintptr_t nextHandle_ = 0x100;
  HWND desktop_ = nullptr;
};

}  // namespace vidorra::win
