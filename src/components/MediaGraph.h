// Unit MediaGraph: the graph components through which the program reaches DirectShow.
//
// - TFilterGraph: owns one filter graph manager (and, in capture mode, a capture graph
//   builder), puts its members' filters into the graph while active, and delivers the graph's
//   events on the user-interface thread as component events.
// - IGraphMember / IGraphListener: how the filter, sample grabber and video window components
//   attach to a TFilterGraph.
//
// Everything here runs on the user-interface thread; the graph's events are announced by a
// message posted to a hidden window of the component and drained on that thread.
#pragma once

#include <dshow.h>
#include <qedit.h>
#include <winuser.h>

#include <QFile>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "Component.h"
#include "MediaUtil.h"

class TFilterGraph;

enum TGraphMode { gmNormal, gmCapture, gmDVD };
enum TMemberOperation { moAdding, moAdded, moRemoving, moRemoved, moRefresh };
enum TGraphControlKind { gckStart, gckStop, gckActiveChanged };
enum TGraphRunState { grsUninitialized, grsStopped, grsPaused, grsPlaying };

// The private window message through which the graph manager signals pending events.
inline constexpr UINT GraphNotifyMessage = WM_APP + 1;

// Implemented by every component that contributes a filter to a TFilterGraph.
class IGraphMember {
 public:
  // The member's filter (null while it has none).
  virtual IBaseFilter* MemberFilter() = 0;
  // The filter's name in the graph: the component's name.
  virtual QString MemberName() = 0;
  // Param is 0 in every use.
  virtual void MemberNotify(TMemberOperation operation, int param) = 0;

 protected:
  ~IGraphMember() = default;
};

// Implemented by components that follow the graph's events and run-state changes.
class IGraphListener {
 public:
  virtual void GraphEventOccurred(long event, LONG_PTR param1, LONG_PTR param2) = 0;
  // gckStart just before the graph runs, gckStop just before it stops, gckActiveChanged with
  // 1 right after activation and 0 right before deactivation.
  virtual void ControlEventOccurred(TGraphControlKind kind, int param) = 0;

 protected:
  ~IGraphListener() = default;
};

// ---- Event types -----------------------------------------------------------------------------

using TOnDSEvent =
    std::function<void(TComponent* sender, long event, LONG_PTR param1, LONG_PTR param2)>;
using TOnGraphDeviceLost = std::function<void(TComponent* sender, IUnknown* device, bool removed)>;
using TOnGraphResult = std::function<void(TComponent* sender, HRESULT result)>;
using TOnGraphComplete =
    std::function<void(TComponent* sender, HRESULT result, IBaseFilter* renderer)>;
using TOnGraphStreamError = std::function<void(TComponent* sender, HRESULT operation, LONG value)>;
using TOnGraphFlag = std::function<void(TComponent* sender, bool value)>;
using TOnGraphFilter = std::function<void(TComponent* sender, IBaseFilter* filter)>;
using TOnGraphOleEvent =
    std::function<void(TComponent* sender, const QString& name, const QString& value)>;
using TOnGraphSoundDeviceError =
    std::function<void(TComponent* sender, LONG_PTR operation, HRESULT result)>;
using TOnGraphStreamControl = std::function<void(TComponent* sender, IPin* pin, LONG cookie)>;
using TOnGraphVideoSizeChanged = std::function<void(TComponent* sender, int width, int height)>;
using TOnGraphTimeCodeAvailable =
    std::function<void(TComponent* sender, IBaseFilter* from, LONG deviceId)>;
using TOnGraphEXTDeviceModeChange =
    std::function<void(TComponent* sender, LONG newMode, LONG deviceState)>;
using TOnGraphEndOfSegment =
    std::function<void(TComponent* sender, const REFERENCE_TIME* streamTime, LONG segment)>;
using TOnGraphVMRRenderDevice = std::function<void(TComponent* sender, LONG device)>;
using TOnGraphStateChange = std::function<void(TComponent* sender, FILTER_STATE state)>;

// ---- TFilterGraph ----------------------------------------------------------------------------

class TFilterGraph : public TComponent {
 public:
  TFilterGraph();
  // Deactivates, then destroys the hidden window.
  ~TFilterGraph() override;

  QString ClassName() const override { return QStringLiteral("TFilterGraph"); }
  void Loaded() override;
  // The component's own interfaces (none), then, while active, the graph objects: gmNormal the
  // graph manager; gmCapture the capture graph builder, then the graph manager; gmDVD the DVD
  // graph builder, its DVD interfaces, then the graph manager.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  void DefineProperties(TFiler& filer) override;

  bool Active() const { return active_; }
  // Creates (true) or releases (false) the graph objects; the members' filters go in and out.
  // Raises EMediaGraphException, and stays inactive, when the graph manager cannot be made.
  void SetActive(bool value);
  bool AutoCreate() const { return autoCreate_; }
  void SetAutoCreate(bool value) { autoCreate_ = value; }
  TGraphMode Mode() const { return mode_; }
  // A different mode rebuilds the graph objects when active.
  void SetMode(TGraphMode value);
  bool GraphEdit() const { return graphEdit_; }
  void SetGraphEdit(bool value);
  const QString& LogFile() const { return logFile_; }
  // A name that cannot be opened leaves logging off and the previous name in place.
  void SetLogFile(const QString& value);

  bool RunGraph();
  bool StopGraph();
  TGraphRunState GraphState();
  // Volume 0..10000: 0 is silence (-10000), 10000 full volume (0).
  void SetGraphVolume(int volume);
  // Stops, disconnects every pin and removes every filter no member owns.
  void EmptyGraph();

  void AddMember(IGraphMember* member);
  void RemoveMember(IGraphMember* member);
  void AddListener(IGraphListener* listener);
  void RemoveListener(IGraphListener* listener);

  // The hidden window that receives GraphNotifyMessage.
  HWND NotifyWindow() const { return window_.get(); }
  // The graph's running-object-table registration (0 when not registered).
  DWORD RotCookie() const { return rotCookie_; }

  TNotifyEvent OnActivate;
  TOnDSEvent OnDSEvent;
  TOnGraphFlag OnGraphBufferingData;
  TNotifyEvent OnGraphClockChanged;
  TOnGraphComplete OnGraphComplete;
  TOnGraphDeviceLost OnGraphDeviceLost;
  TOnGraphEndOfSegment OnGraphEndOfSegment;
  TOnGraphResult OnGraphErrorStillPlaying;
  TOnGraphResult OnGraphErrorAbort;
  TOnGraphFilter OnGraphFullscreenLost;
  TNotifyEvent OnGraphChanged;
  TOnGraphOleEvent OnGraphOleEvent;
  TOnGraphFlag OnGraphOpeningFile;
  TNotifyEvent OnGraphPaletteChanged;
  TOnGraphResult OnGraphPaused;
  TNotifyEvent OnGraphQualityChange;
  TOnGraphSoundDeviceError OnGraphSNDDevInError;
  TOnGraphSoundDeviceError OnGraphSNDDevOutError;
  TNotifyEvent OnGraphStepComplete;
  TOnGraphStreamControl OnGraphStreamControlStarted;
  TOnGraphStreamControl OnGraphStreamControlStopped;
  TOnGraphStreamError OnGraphStreamErrorStillPlaying;
  TOnGraphStreamError OnGraphStreamErrorStopped;
  TNotifyEvent OnGraphUserAbort;
  TOnGraphVideoSizeChanged OnGraphVideoSizeChanged;
  TOnGraphTimeCodeAvailable OnGraphTimeCodeAvailable;
  TOnGraphEXTDeviceModeChange OnGraphEXTDeviceModeChange;
  TNotifyEvent OnGraphClockUnset;
  TOnGraphVMRRenderDevice OnGraphVMRRenderDevice;
  TOnGraphStateChange OnGraphStateChange;

 protected:
  // Hands one graph event to the listeners, OnDSEvent, then the property for its code.
  virtual void DispatchGraphEvent(long event, LONG_PTR param1, LONG_PTR param2);

 private:
  struct WindowDeleter {
    void operator()(HWND window) const;
  };
  using WindowHandle = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

  void Activate();
  void Deactivate();
  void CreateGraphObjects();
  void AddMemberFilter(IGraphMember* member);
  void RemoveMemberFilter(IGraphMember* member);
  void NotifyListeners(TGraphControlKind kind, int param);
  void ApplyGraphEdit(bool value);
  bool OpenLogFile(const QString& name);
  void CloseLogFile();
  LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void DrainEvents();
  void DispatchToProperty(long event, LONG_PTR param1, LONG_PTR param2);

  WindowHandle window_;
  ComPtr<IFilterGraph2> graph_;
  ComPtr<ICaptureGraphBuilder2> captureBuilder_;
  ComPtr<IDvdGraphBuilder> dvdBuilder_;
  ComPtr<IMediaEventEx> events_;
  std::vector<IGraphMember*> members_;
  std::vector<IGraphListener*> listeners_;
  DWORD rotCookie_ = 0;
  std::unique_ptr<QFile> logStream_;
  QString logFile_;
  bool active_ = false;
  bool autoCreate_ = false;
  TGraphMode mode_ = gmNormal;
  bool graphEdit_ = false;
};
