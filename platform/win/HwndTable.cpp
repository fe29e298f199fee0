// HwndTable: window handles and message delivery over Qt events.
#include "HwndTable.h"

#include <winbase.h>

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace vidorra::win {

namespace {

// Handles step by 4 so they look like the aligned values callers are used to.
constexpr uintptr_t kHandleStep = 4;

class HwndMessageEvent : public QEvent {
 public:
  HwndMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
      : QEvent(static_cast<QEvent::Type>(HwndReceiver::MessageEventType())),
        message_(message),
        wParam_(wParam),
        lParam_(lParam) {}
  UINT message_;
  WPARAM wParam_;
  LPARAM lParam_;
};

// What a thread sending to a window of another thread waits on.
class SentMessageReply {
 public:
  void Finish(LRESULT result) {
    std::lock_guard lock(mutex_);
    result_ = result;
    done_ = true;
    finished_.notify_all();
  }
  LRESULT Wait() {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return done_; });
    return result_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  LRESULT result_ = 0;
};

// Owned by the queued call: finishes the reply when the call is destroyed, with the
// procedure's result if it ran and 0 if the receiver went away first.
class SentMessageCompletion {
 public:
  explicit SentMessageCompletion(std::shared_ptr<SentMessageReply> reply)
      : reply_(std::move(reply)) {}
  ~SentMessageCompletion() { reply_->Finish(result_); }
  SentMessageCompletion(const SentMessageCompletion&) = delete;
  SentMessageCompletion& operator=(const SentMessageCompletion&) = delete;
  void SetResult(LRESULT result) { result_ = result; }

 private:
  std::shared_ptr<SentMessageReply> reply_;
  LRESULT result_ = 0;
};

LRESULT CallProcedure(const std::shared_ptr<HwndWindow>& window, UINT message, WPARAM wParam,
                      LPARAM lParam) {
  WindowProcedure procedure;
  {
    std::lock_guard lock(window->mutex);
    procedure = window->procedure;
  }
  // The procedure runs without the lock: it may post, send or destroy windows itself.
  if (!procedure) return DefWindowProcA(window->handle, message, wParam, lParam);
  return procedure(window->handle, message, wParam, lParam);
}

}  // namespace

HwndReceiver::HwndReceiver(HWND handle, QObject* parent) : QObject(parent), handle_(handle) {}

int HwndReceiver::MessageEventType() {
  static const int type = QEvent::registerEventType();
  return type;
}

bool HwndReceiver::event(QEvent* e) {
  if (e->type() != MessageEventType()) return QObject::event(e);
  auto* message = static_cast<HwndMessageEvent*>(e);
  if (auto window = HwndTable::Instance().Find(handle_)) {
    CallProcedure(window, message->message_, message->wParam_, message->lParam_);
  }
  return true;
}

HwndTable& HwndTable::Instance() {
  static HwndTable table;
  return table;
}

HWND HwndTable::Create(WindowProcedure procedure, QWidget* widget) {
  auto window = std::make_shared<HwndWindow>();
  {
    std::lock_guard lock(mutex_);
    window->handle = reinterpret_cast<HWND>(nextHandle_);
    nextHandle_ += kHandleStep;
  }
  window->procedure = std::move(procedure);
  window->widget = widget;
  // A widget's receiver is its child (same thread, deleted with it); a hidden window's
  // receiver belongs to the creating thread and is deleted with the handle.
  window->receiver = new HwndReceiver(window->handle, widget);
  window->ownsReceiver = widget == nullptr;
  if (widget) {
    const HWND handle = window->handle;
    QObject::connect(
        widget, &QObject::destroyed, window->receiver.data(),
        [handle] { HwndTable::Instance().Destroy(handle); }, Qt::DirectConnection);
  }
  std::lock_guard lock(mutex_);
  windows_.emplace(window->handle, window);
  return window->handle;
}

std::shared_ptr<HwndWindow> HwndTable::Find(HWND handle) {
  std::lock_guard lock(mutex_);
  auto it = windows_.find(handle);
  return it == windows_.end() ? nullptr : it->second;
}

HWND HwndTable::FindWidget(QWidget* widget) {
  std::lock_guard lock(mutex_);
  for (auto& [handle, window] : windows_) {
    if (window->widget == widget && widget) return handle;
  }
  return nullptr;
}

bool HwndTable::Destroy(HWND handle) {
  std::shared_ptr<HwndWindow> window;
  {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(handle);
    if (it == windows_.end() || handle == desktop_) return false;
    window = it->second;
    windows_.erase(it);
  }
  if (window->ownsReceiver && window->receiver) {
    // Pending messages go with the receiver. From another thread it is deleted by its own.
    if (window->receiver->thread() == QThread::currentThread()) {
      delete window->receiver.data();
    } else {
      window->receiver->deleteLater();
    }
  }
  return true;
}

bool HwndTable::Post(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard lock(mutex_);
  auto it = windows_.find(handle);
  if (it == windows_.end() || !it->second->receiver || !QCoreApplication::instance()) return false;
  QCoreApplication::postEvent(it->second->receiver.data(),
                              new HwndMessageEvent(message, wParam, lParam));
  return true;
}

LRESULT HwndTable::Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  auto window = Find(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  QPointer<HwndReceiver> receiver = window->receiver;
  if (!receiver || receiver->thread() == QThread::currentThread()) {
    return CallProcedure(window, message, wParam, lParam);
  }
  // The caller waits on its own condition rather than on Qt's blocking connection so that
  // the hand-over of the result is visible to the thread sanitizer. The reply is marked done
  // when the queued call is destroyed, whether it ran or was dropped with its receiver.
  auto reply = std::make_shared<SentMessageReply>();
  auto completion = std::make_shared<SentMessageCompletion>(reply);
  QMetaObject::invokeMethod(
      receiver.data(),
      [completion, window, message, wParam, lParam] {
        completion->SetResult(CallProcedure(window, message, wParam, lParam));
      },
      Qt::QueuedConnection);
  completion.reset();
  return reply->Wait();
}

HWND HwndTable::Desktop() {
  std::lock_guard lock(mutex_);
  if (!desktop_) {
    auto window = std::make_shared<HwndWindow>();
    window->handle = reinterpret_cast<HWND>(nextHandle_);
    nextHandle_ += kHandleStep;
    window->style = WS_VISIBLE;
    desktop_ = window->handle;
    windows_.emplace(desktop_, window);
  }
  return desktop_;
}

}  // namespace vidorra::win
