// CLiveSource: the base of the video and audio capture filters. It owns what every live
// source does the same way, once:
//
//  - The state machine. Pause from Stopped checks that the device is there (a lost or broken
//    one fails with VFW_E_NO_CAPTURE_HARDWARE), starts the device's stream when an output pin
//    is connected, and starts the streaming thread, which waits for Running: a live source
//    delivers nothing while paused, and GetState says so with VFW_S_CANT_CUE. Run starts
//    stream time, Pause from Running stops it. Stop wakes every wait of the thread, joins it
//    at once, then stops the device.
//  - The streaming thread: it calls the hook CaptureOne again and again; CaptureOne waits for
//    the device's next frame (through the StreamTiming this class implements on the graph's
//    clock) and delivers it. A failure becomes EC_ERRORABORT and the end of the stream.
//  - The format of the device: one for the whole filter, shared by its output pins (a device
//    streams one format at a time). Pins offer it and IAMStreamConfig changes it (CCapturePin).
//  - Hot-plug: while in a graph the filter is known to the device catalog under its device's
//    display name. When the device goes (DeviceRemoved, or the backend reporting it gone) the
//    stream stops and the graph gets EC_DEVICE_LOST (param1 the filter's IUnknown, param2 0);
//    when it comes back, EC_DEVICE_LOST with param2 1.
//
// Locks: FilterLock() for state, format and connection changes; the streaming thread never
// takes it. The timing's events, the counters and the lost flag are safe from any thread; the
// loss and the return are told under a lock of their own, so that they reach the graph in order.
#pragma once

#include <streams.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DeviceBackend.h"

namespace vidorra::devices {

class CCapturePin;

class CLiveSource : public CBaseFilter {
 public:
  // `deviceName` is the display name the device is listed under (the catalog's key).
  CLiveSource(std::wstring name, REFCLSID clsid, std::wstring deviceName,
              std::unique_ptr<CaptureBackend> backend);
  ~CLiveSource() override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME tStart) override;
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;

  // ---- Hot-plug (any thread; the catalog holds a reference while it calls) ----
  void DeviceRemoved();
  void DeviceArrived();
  const std::wstring& DeviceName() const { return deviceName_; }

  // ---- The device format, for the pins ----
  const std::vector<FormatCapability>& Capabilities() const { return capabilities_; }
  // The format the device streams: that of a connected output pin, else the one SetFormat
  // chose, else the first capability.
  CMediaType CurrentFormat();
  // The types a pin offers: the chosen format alone once SetFormat chose one, else every
  // capability in order.
  HRESULT OfferedType(int position, CMediaType* mt);
  // A pin accepts a capability's type, and only the current one while another pin is
  // connected.
  HRESULT AcceptsType(const CCapturePin* pin, const CMediaType& mt);
  // IAMStreamConfig::SetFormat: the filter must be stopped; connected pins are reconnected
  // with the new type through the graph, and on any refusal everything is put back.
  HRESULT ChangeFormat(const AM_MEDIA_TYPE* pmt);
  // Makes a capability the device's format without touching the connections (a capture
  // driver's own format dialog); the filter must be stopped.
  HRESULT ChooseFormat(const AM_MEDIA_TYPE* pmt);
  std::optional<CMediaType> ChosenFormat();

 protected:
  // ---- Hooks ----
  // The output pins carrying samples, in pin order.
  virtual std::vector<CCapturePin*> CapturePins() = 0;
  // A stream is about to start (filter lock held, no streaming thread): per-stream state back
  // to its start.
  virtual void StreamStarting() {}
  // Streaming thread: waits for and delivers one frame. S_OK to go on, S_FALSE when the
  // stream is to stop, an error when it failed (VFW_E_NO_CAPTURE_HARDWARE: the device went).
  virtual HRESULT CaptureOne(StreamTiming& timing) = 0;
  // Whether the device runs with the graph even when no capture pin is connected (CaptureOne
  // then reads and drops what it captures).
  virtual bool RunsUnconnected() { return false; }

  // Sends EndOfStream on every connected capture pin (after a failure).
  void DeliverEndOfStreamEverywhere();
  // Joins a streaming thread still running: the graph stops a filter before it lets it go, so
  // this is the last guard, called first thing by the destructor of each derived filter
  // (before its pins go).
  void JoinStreamingThread();

  const std::unique_ptr<CaptureBackend> backend_;

 private:
  class Timing;

  bool AnyCapturePinConnected();
  void ThreadProc();
  void ReportLost();
  void ReconnectPins(const CMediaType& type, const CMediaType& previous, HRESULT* result);

  const std::wstring deviceName_;
  const std::vector<FormatCapability> capabilities_;
  std::optional<CMediaType> chosen_;  // under FilterLock()

  std::unique_ptr<Timing> timing_;
  std::thread thread_;
  std::atomic<bool> streaming_{false};  // a streaming thread was started and not yet joined
  std::mutex hotPlugMutex_;             // one report of the loss or the return at a time
  std::atomic<bool> lost_{false};
  std::atomic<bool> lostReported_{false};
  std::atomic<bool> inCatalog_{false};
};

}  // namespace vidorra::devices
