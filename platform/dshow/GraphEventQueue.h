// GraphEventQueue: the event queue behind the graph's IMediaEventEx.
//
// Push (any thread, usually a streaming thread) appends an event, sets the queue's
// manual-reset event HANDLE (set while events are queued) and, when a notify window is set and
// notifications are on, posts the window its message (lParam: the instance data) with
// PostMessageA, so the window's thread receives one message per event, in order. Get waits up
// to a time-out for an event (E_ABORT on time-out). An EC_DEVICE_LOST event holds a reference
// on its IUnknown parameter until FreeParams releases it.
//
// Threads: every method may be called from any thread; one mutex guards the queue, and no
// other lock is ever taken while it is held (PostMessageA only posts).
#pragma once

#include <unique_handle.h>
#include <wtypes.h>

#include <condition_variable>
#include <deque>
#include <mutex>

class GraphEventQueue {
 public:
  GraphEventQueue();
  ~GraphEventQueue();
  GraphEventQueue(const GraphEventQueue&) = delete;
  GraphEventQueue& operator=(const GraphEventQueue&) = delete;

  void Push(long code, LONG_PTR param1, LONG_PTR param2);
  HRESULT Get(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs);
  // Waits for EC_COMPLETE, EC_ERRORABORT or EC_USERABORT queued since the last Reset.
  HRESULT WaitForCompletion(long timeoutMs, long* code);
  // Forgets the completion seen (a new run starts).
  void ResetCompletion();
  HANDLE Handle() const { return event_; }
  void SetNotifyWindow(HWND window, UINT message, LONG_PTR instanceData);
  HRESULT SetNotifyFlags(long flags);
  long NotifyFlags();
  static void FreeParams(long code, LONG_PTR param1, LONG_PTR param2);

 private:
  struct Event {
    long code;
    LONG_PTR param1;
    LONG_PTR param2;
  };
  void PostLocked();

  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<Event> events_;
  vidorra::UniqueHandle event_;
  HWND window_ = nullptr;
  UINT message_ = 0;
  LONG_PTR instanceData_ = 0;
  long flags_ = 0;
  bool completed_ = false;
  long completionCode_ = 0;
};
