// GraphEventQueue: the event queue behind the graph's IMediaEventEx.
//
// Push (any thread, usually a streaming thread) appends an event, sets the queue's
// manual-reset event HANDLE and, when a notify window is set, posts the window its message
// (lParam: the instance data) with PostMessageA, so the window's thread receives one message
// per event, in order. Get waits up to a time-out for an event (E_ABORT on time-out); a Get
// that finds the queue empty resets the HANDLE. With AM_MEDIAEVENT_NONOTIFY set, the queued
// events are dropped and new ones are neither queued nor signalled until the flag is cleared
// (completion is still recorded for WaitForCompletion). An EC_DEVICE_LOST event holds a
// reference on its IUnknown parameter until FreeParams releases it.
//
// Threads: every method may be called from any thread; mutex_ guards the queue. While it is
// held no object outside the queue is called: Push sets the HANDLE and posts after releasing
// it, and dropped events release their devices after it. The one exception is ResetEvent,
// which must happen together with the queue becoming empty (reset after unlocking, it could
// undo the signal of an event pushed meanwhile); the HANDLE's own lock is a leaf that calls
// nothing. A Get racing a Push may find the HANDLE set with nothing queued: it answers E_ABORT
// and resets the HANDLE, as for any empty queue.
#pragma once

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
  // Waits for EC_COMPLETE, EC_ERRORABORT or EC_USERABORT recorded since the last reset.
  HRESULT WaitForCompletion(long timeoutMs, long* code);
  // Forgets the completion recorded (a new run starts from Stopped).
  void ResetCompletion();
  // Takes back the EC_COMPLETE events not read yet, and the completion they recorded (the
  // graph stopped, or runs again and its renderers will tell their end anew).
  void WithdrawComplete();
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
  // A notification to post, read under the mutex and sent after it.
  struct Notice {
    HWND window = nullptr;
    UINT message = 0;
    LONG_PTR instanceData = 0;
    size_t count = 0;
  };
  Notice NoticeLocked(size_t count) const;
  static void Post(const Notice& notice);
  static void FreeAll(const std::deque<Event>& events);

  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<Event> events_;
  HANDLE event_;
  HWND window_ = nullptr;
  UINT message_ = 0;
  LONG_PTR instanceData_ = 0;
  long flags_ = 0;
  bool completed_ = false;
  long completionCode_ = 0;
};
