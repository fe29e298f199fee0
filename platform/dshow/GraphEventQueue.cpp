// GraphEventQueue: queued graph events, their event handle and notify window.
#include "GraphEventQueue.h"

#include <control.h>
#include <evcode.h>
#include <unknwn.h>
#include <winbase.h>
#include <winuser.h>

#include <algorithm>
#include <chrono>

namespace {

bool IsCompletion(long code) {
  return code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT;
}

// The queued event owns a reference on the lost device until FreeEventParams.
void HoldParams(long code, LONG_PTR param1) {
  if (code == EC_DEVICE_LOST && param1) reinterpret_cast<IUnknown*>(param1)->AddRef();
}

}  // namespace

GraphEventQueue::GraphEventQueue() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

GraphEventQueue::~GraphEventQueue() {
  FreeAll(events_);
  CloseHandle(event_);
}

GraphEventQueue::Notice GraphEventQueue::NoticeLocked(size_t count) const {
  if (!window_ || count == 0) return {};
  return {window_, message_, instanceData_, count};
}

void GraphEventQueue::Post(const Notice& notice) {
  for (size_t i = 0; i < notice.count; ++i) {
    PostMessageA(notice.window, notice.message, 0, notice.instanceData);
  }
}

void GraphEventQueue::FreeAll(const std::deque<Event>& events) {
  for (const Event& e : events) FreeParams(e.code, e.param1, e.param2);
}

void GraphEventQueue::Push(long code, LONG_PTR param1, LONG_PTR param2) {
  HoldParams(code, param1);
  bool queued = false;
  Notice notice;
  {
    std::lock_guard lock(mutex_);
    if (IsCompletion(code) && !completed_) {
      completed_ = true;
      completionCode_ = code;
    }
    if (!(flags_ & AM_MEDIAEVENT_NONOTIFY)) {
      events_.push_back({code, param1, param2});
      queued = true;
      notice = NoticeLocked(1);
    }
  }
  queued_.notify_all();
  if (!queued) {
    FreeParams(code, param1, param2);
    return;
  }
  SetEvent(event_);
  Post(notice);
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
    ResetEvent(event_);
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

void GraphEventQueue::WithdrawComplete() {
  std::lock_guard lock(mutex_);
  std::erase_if(events_, [](const Event& e) { return e.code == EC_COMPLETE; });
  if (completed_ && completionCode_ == EC_COMPLETE) {
    completed_ = false;
    completionCode_ = 0;
  }
}

void GraphEventQueue::SetNotifyWindow(HWND window, UINT message, LONG_PTR instanceData) {
  Notice notice;
  {
    std::lock_guard lock(mutex_);
    window_ = window;
    message_ = message;
    instanceData_ = instanceData;
    // Events already waiting are announced too, or the window would never drain them.
    notice = NoticeLocked(events_.size());
  }
  Post(notice);
}

HRESULT GraphEventQueue::SetNotifyFlags(long flags) {
  if (flags != 0 && flags != AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
  std::deque<Event> dropped;
  {
    std::lock_guard lock(mutex_);
    flags_ = flags;
    if (flags & AM_MEDIAEVENT_NONOTIFY) {
      dropped.swap(events_);
      ResetEvent(event_);
    }
  }
  FreeAll(dropped);
  return S_OK;
}

long GraphEventQueue::NotifyFlags() {
  std::lock_guard lock(mutex_);
  return flags_;
}

void GraphEventQueue::FreeParams(long code, LONG_PTR param1, LONG_PTR /*param2*/) {
  if (code == EC_DEVICE_LOST && param1) reinterpret_cast<IUnknown*>(param1)->Release();
}
