// GraphEventQueue: queued graph events, their event handle and notify window.
#include "GraphEventQueue.h"

#include <control.h>
#include <evcode.h>
#include <unknwn.h>
#include <winbase.h>
#include <winuser.h>

#include <chrono>

namespace {

bool IsCompletion(long code) {
  return code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT;
}

}  // namespace

GraphEventQueue::GraphEventQueue() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

GraphEventQueue::~GraphEventQueue() {
  for (const Event& e : events_) FreeParams(e.code, e.param1, e.param2);
}

void GraphEventQueue::Push(long code, LONG_PTR param1, LONG_PTR param2) {
  // The queued event owns a reference on the lost device until FreeEventParams.
  if (code == EC_DEVICE_LOST && param1) reinterpret_cast<IUnknown*>(param1)->AddRef();
  {
    std::lock_guard lock(mutex_);
    events_.push_back({code, param1, param2});
    if (IsCompletion(code) && !completed_) {
      completed_ = true;
      completionCode_ = code;
    }
    SetEvent(event_);
    PostLocked();
  }
  queued_.notify_all();
}

void GraphEventQueue::PostLocked() {
  if (window_ && !(flags_ & AM_MEDIAEVENT_NONOTIFY)) {
    PostMessageA(window_, message_, 0, instanceData_);
  }
}

HRESULT GraphEventQueue::Get(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) {
  if (!code || !param1 || !param2) return E_POINTER;
  *code = 0;
  *param1 = *param2 = 0;
  std::unique_lock lock(mutex_);
  const auto ready = [this] { return !events_.empty(); };
  if (timeoutMs < 0 || static_cast<DWORD>(timeoutMs) == INFINITE) {
    queued_.wait(lock, ready);
  } else if (!queued_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return E_ABORT;
  }
  const Event e = events_.front();
  events_.pop_front();
  if (events_.empty()) ResetEvent(event_);
  *code = e.code;
  *param1 = e.param1;
  *param2 = e.param2;
  return S_OK;
}

HRESULT GraphEventQueue::WaitForCompletion(long timeoutMs, long* code) {
  if (!code) return E_POINTER;
  *code = 0;
  std::unique_lock lock(mutex_);
  const auto done = [this] { return completed_; };
  if (timeoutMs < 0 || static_cast<DWORD>(timeoutMs) == INFINITE) {
    queued_.wait(lock, done);
  } else if (!queued_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done)) {
    return E_ABORT;
  }
  *code = completionCode_;
  return S_OK;
}

void GraphEventQueue::ResetCompletion() {
  std::lock_guard lock(mutex_);
  completed_ = false;
  completionCode_ = 0;
}

void GraphEventQueue::SetNotifyWindow(HWND window, UINT message, LONG_PTR instanceData) {
  std::lock_guard lock(mutex_);
  window_ = window;
  message_ = message;
  instanceData_ = instanceData;
  // Events already waiting are announced too, or the window would never drain them.
  for (size_t i = 0; i < events_.size(); ++i) PostLocked();
}

HRESULT GraphEventQueue::SetNotifyFlags(long flags) {
  if (flags != 0 && flags != AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  flags_ = flags;
  return S_OK;
}

long GraphEventQueue::NotifyFlags() {
  std::lock_guard lock(mutex_);
  return flags_;
}

void GraphEventQueue::FreeParams(long code, LONG_PTR param1, LONG_PTR /*param2*/) {
  if (code == EC_DEVICE_LOST && param1) reinterpret_cast<IUnknown*>(param1)->Release();
}
