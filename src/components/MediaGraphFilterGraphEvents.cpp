// TFilterGraph: the hidden window's procedure, the event drain and the dispatch of each event
// to the listeners and the component's event properties. UI thread only.
#include <evcode.h>

#include "ErrorReport.h"
#include "MediaGraph.h"

namespace {

// Frees an event's parameters when the dispatch ends, also when a handler raised, so that no
// text or reference an event carries is lost.
class EventParamsGuard {
 public:
  EventParamsGuard(IMediaEventEx* events, long code, LONG_PTR param1, LONG_PTR param2)
      : events_(events), code_(code), param1_(param1), param2_(param2) {}
  EventParamsGuard(const EventParamsGuard&) = delete;
  EventParamsGuard& operator=(const EventParamsGuard&) = delete;
  ~EventParamsGuard() { (void)events_->FreeEventParams(code_, param1_, param2_); }

 private:
  ComPtr<IMediaEventEx> events_;
  long code_;
  LONG_PTR param1_;
  LONG_PTR param2_;
};

QString BstrText(LONG_PTR value) {
  const auto* text = reinterpret_cast<const OLECHAR*>(value);
  return text == nullptr ? QString() : QString::fromWCharArray(text);
}

// EC_DEVICE_LOST param2: 0 the device was removed, 1 it is available again.
constexpr LONG_PTR kDeviceRemoved = 0;
// EC_VIDEO_SIZE_CHANGED param1: the width in the low word, the height in the high word.
constexpr int kSizeShift = 16;
constexpr LONG_PTR kSizeMask = 0xFFFF;

}  // namespace

LRESULT TFilterGraph::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != GraphNotifyMessage) return DefWindowProcA(window, message, wParam, lParam);
  // Nothing may escape into the Qt event loop: an error raised by a handler is shown by the
  // application's error report, and the events still queued wait for the next notification.
  try {
    DrainEvents();
  } catch (const std::exception& error) {
    vidorra::ReportException(error);
  } catch (...) {
    vidorra::ReportError(QStringLiteral("Unknown error while delivering a graph event."));
  }
  return 0;
}

void TFilterGraph::DrainEvents() {
  for (;;) {
    // The handlers may deactivate the graph: re-read the event interface every time.
    ComPtr<IMediaEventEx> events = events_;
    if (!events) return;
    long code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    if (events->GetEvent(&code, &param1, &param2, 0) != S_OK) return;
    const EventParamsGuard guard(events.Get(), code, param1, param2);
    DispatchGraphEvent(code, param1, param2);
  }
}

void TFilterGraph::DispatchGraphEvent(long event, LONG_PTR param1, LONG_PTR param2) {
  const std::vector<IGraphListener*> listeners = listeners_;
  for (IGraphListener* listener : listeners) listener->GraphEventOccurred(event, param1, param2);
  if (OnDSEvent) OnDSEvent(this, event, param1, param2);
  DispatchToProperty(event, param1, param2);
}

void TFilterGraph::DispatchToProperty(long event, LONG_PTR param1, LONG_PTR param2) {
  const auto result = static_cast<HRESULT>(param1);
  const auto filter = reinterpret_cast<IBaseFilter*>(param1);
  switch (event) {
    case EC_BUFFERING_DATA:
      if (OnGraphBufferingData) OnGraphBufferingData(this, param1 != 0);
      break;
    case EC_CLOCK_CHANGED:
      if (OnGraphClockChanged) OnGraphClockChanged(this);
      break;
    case EC_COMPLETE:
      if (OnGraphComplete) {
        OnGraphComplete(this, result, reinterpret_cast<IBaseFilter*>(param2));
      }
      break;
    case EC_DEVICE_LOST:
      if (OnGraphDeviceLost) {
        OnGraphDeviceLost(this, reinterpret_cast<IUnknown*>(param1), param2 == kDeviceRemoved);
      }
      break;
    case EC_END_OF_SEGMENT:
      if (OnGraphEndOfSegment) {
        OnGraphEndOfSegment(this, reinterpret_cast<const REFERENCE_TIME*>(param1),
                            static_cast<LONG>(param2));
      }
      break;
    case EC_ERROR_STILLPLAYING:
      if (OnGraphErrorStillPlaying) OnGraphErrorStillPlaying(this, result);
      break;
    case EC_ERRORABORT:
      if (OnGraphErrorAbort) OnGraphErrorAbort(this, result);
      break;
    case EC_FULLSCREEN_LOST:
      if (OnGraphFullscreenLost)
        OnGraphFullscreenLost(this, reinterpret_cast<IBaseFilter*>(param2));
      break;
    case EC_GRAPH_CHANGED:
      if (OnGraphChanged) OnGraphChanged(this);
      break;
    case EC_OLE_EVENT:
      if (OnGraphOleEvent) OnGraphOleEvent(this, BstrText(param1), BstrText(param2));
      break;
    case EC_OPENING_FILE:
      if (OnGraphOpeningFile) OnGraphOpeningFile(this, param1 != 0);
      break;
    case EC_PALETTE_CHANGED:
      if (OnGraphPaletteChanged) OnGraphPaletteChanged(this);
      break;
    case EC_PAUSED:
      if (OnGraphPaused) OnGraphPaused(this, result);
      break;
    case EC_QUALITY_CHANGE:
      if (OnGraphQualityChange) OnGraphQualityChange(this);
      break;
    case EC_SNDDEV_IN_ERROR:
      if (OnGraphSNDDevInError) OnGraphSNDDevInError(this, param1, static_cast<HRESULT>(param2));
      break;
    case EC_SNDDEV_OUT_ERROR:
      if (OnGraphSNDDevOutError) OnGraphSNDDevOutError(this, param1, static_cast<HRESULT>(param2));
      break;
    case EC_STEP_COMPLETE:
      if (OnGraphStepComplete) OnGraphStepComplete(this);
      break;
    case EC_STREAM_CONTROL_STARTED:
      if (OnGraphStreamControlStarted) {
        OnGraphStreamControlStarted(this, reinterpret_cast<IPin*>(param1),
                                    static_cast<LONG>(param2));
      }
      break;
    case EC_STREAM_CONTROL_STOPPED:
      if (OnGraphStreamControlStopped) {
        OnGraphStreamControlStopped(this, reinterpret_cast<IPin*>(param1),
                                    static_cast<LONG>(param2));
      }
      break;
    case EC_STREAM_ERROR_STILLPLAYING:
      if (OnGraphStreamErrorStillPlaying) {
        OnGraphStreamErrorStillPlaying(this, result, static_cast<LONG>(param2));
      }
      break;
    case EC_STREAM_ERROR_STOPPED:
      if (OnGraphStreamErrorStopped) {
        OnGraphStreamErrorStopped(this, result, static_cast<LONG>(param2));
      }
      break;
    case EC_USERABORT:
      if (OnGraphUserAbort) OnGraphUserAbort(this);
      break;
    case EC_VIDEO_SIZE_CHANGED:
      if (OnGraphVideoSizeChanged) {
        OnGraphVideoSizeChanged(this, static_cast<int>(param1 & kSizeMask),
                                static_cast<int>((param1 >> kSizeShift) & kSizeMask));
      }
      break;
    case EC_TIMECODE_AVAILABLE:
      if (OnGraphTimeCodeAvailable)
        OnGraphTimeCodeAvailable(this, filter, static_cast<LONG>(param2));
      break;
    case EC_EXTDEVICE_MODE_CHANGE:
      if (OnGraphEXTDeviceModeChange) {
        OnGraphEXTDeviceModeChange(this, static_cast<LONG>(param1), static_cast<LONG>(param2));
      }
      break;
    case EC_CLOCK_UNSET:
      if (OnGraphClockUnset) OnGraphClockUnset(this);
      break;
    case EC_VMR_RENDERDEVICE_SET:
      if (OnGraphVMRRenderDevice) OnGraphVMRRenderDevice(this, static_cast<LONG>(param1));
      break;
    case EC_STATE_CHANGE:
      if (OnGraphStateChange) OnGraphStateChange(this, static_cast<FILTER_STATE>(param1));
      break;
    default:
      break;
  }
}
