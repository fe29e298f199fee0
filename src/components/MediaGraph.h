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
#include <QPoint>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Component.h"
#include "CustomControl.h"
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

// Declares the stored reference of a member to its graph ("FilterGraph = fg").
void DefineFilterGraphProperty(TFiler& filer, const TComponent* self, TFilterGraph* current,
                               const std::function<void(TFilterGraph*)>& set);

// ---- TFilter ---------------------------------------------------------------------------------

// Stands for one filter, named once by its stored moniker (BaseFilter). Each time it joins an
// active graph it binds the moniker to a new filter instance, which the graph holds under the
// component's name; its QueryInterface then answers the instance's interfaces.
class TFilter : public TComponent, public IGraphMember {
 public:
  TFilter();
  // Frees BaseFilter's block, leaves the graph.
  ~TFilter() override;

  QString ClassName() const override { return QStringLiteral("TFilter"); }
  // The component's own interfaces, then the live filter's.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  void DefineProperties(TFiler& filer) override;

  TBaseFilter& BaseFilter() { return *baseFilter_; }
  const TBaseFilter& BaseFilter() const { return *baseFilter_; }
  TFilterGraph* FilterGraph() const { return filterGraph_; }
  // Leaves the old graph and joins the new one (nothing when it is the same graph).
  void SetFilterGraph(TFilterGraph* graph);

  IBaseFilter* MemberFilter() override { return liveFilter_.Get(); }
  QString MemberName() override { return Name(); }
  void MemberNotify(TMemberOperation operation, int param) override;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  std::unique_ptr<TBaseFilter> baseFilter_;
  TFilterGraph* filterGraph_ = nullptr;
  ComPtr<IBaseFilter> liveFilter_;
};

// ---- TSampleGrabber --------------------------------------------------------------------------

class TBitmap;
class SampleGrabberCallback;

using TOnBuffer =
    std::function<void(TComponent* sender, double sampleTime, void* buffer, int bufferLength)>;

// A member around the Sample Grabber filter: it accepts the stored media type, keeps the last
// sample, and copies it into a bitmap on request. Created on the UI thread; OnBuffer runs on
// the graph's streaming thread, under the component's lock (the only lock of the program).
class TSampleGrabber : public TComponent, public IGraphMember {
 public:
  // Raises vidorra::EAssertionFailed ("The SampleGrabber Filter is not available on this
  // system.") when the filter cannot be created.
  TSampleGrabber();
  ~TSampleGrabber() override;

  QString ClassName() const override { return QStringLiteral("TSampleGrabber"); }
  // ISampleGrabberCB (the component's callback), then the grabber filter's interfaces.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  void DefineProperties(TFiler& filer) override;

  static bool SampleGrabberAvailable();

  TFilterGraph* FilterGraph() const { return filterGraph_; }
  void SetFilterGraph(TFilterGraph* graph);
  TMediaType& MediaType() { return *mediaType_; }

  // The bitmap receives the last frame that passed the grabber, in the connected video format
  // without conversion. False (and no exception) when there is no bitmap, no grabber in an
  // active graph, no connection, no video, an unknown format, no sample yet, a sample larger
  // than the image, or a failed copy; in the last three cases the bitmap already holds the
  // new, unfilled image.
  bool CopyFrameToBitmap(TBitmap* bitmap);

  IBaseFilter* MemberFilter() override { return filter_.Get(); }
  QString MemberName() override { return Name(); }
  void MemberNotify(TMemberOperation operation, int param) override;

  // Set before the grabber joins an active graph (the callback is installed at moAdded).
  TOnBuffer OnBuffer;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class SampleGrabberCallback;
  void ApplyMediaType();
  void BufferCallback(double sampleTime, BYTE* buffer, long length);

  std::unique_ptr<TMediaType> mediaType_;
  TFilterGraph* filterGraph_ = nullptr;
  ComPtr<IBaseFilter> filter_;
  ComPtr<ISampleGrabber> grabber_;
  ComPtr<IPin> inputPin_;
  ComPtr<IPin> outputPin_;
  ComPtr<SampleGrabberCallback> callback_;
  std::mutex bufferLock_;  // around OnBuffer calls
};

// ---- TVideoWindow ----------------------------------------------------------------------------

enum TVideoMode { vmNormal, vmVMR };
enum TVMRVideoMode { vmrWindowed, vmrWindowless, vmrRenderless };
enum TVMRPreference {
  vpForceOffscreen,
  vpForceOverlays,
  vpForceMixer,
  vpDoNotRenderColorKeyAndBorder,
  vpRestrictToInitialMonitor,
  vpPreferAGPMemWhenMixing,
};
using TVMRPreferences = unsigned;  // a set of TVMRPreference bits (1 << value)
inline constexpr TVMRPreferences VMRPreference(TVMRPreference p) { return 1u << p; }

class TVideoWindow;

// Settings of the video mixing renderer; kept, and used only in vmVMR (which this platform
// does not offer, so they have no effect here).
class TVMROptions : public TPersistent {
 public:
  explicit TVMROptions(TVideoWindow* owner) : owner_(owner) {}
  TVMRVideoMode Mode() const { return mode_; }
  void SetMode(TVMRVideoMode value);
  unsigned Streams() const { return streams_; }
  // Kept in 1..16; any other value becomes 1.
  void SetStreams(unsigned value);
  TVMRPreferences Preferences() const { return preferences_; }
  void SetPreferences(TVMRPreferences value);
  bool KeepAspectRatio() const { return keepAspectRatio_; }
  void SetKeepAspectRatio(bool value) { keepAspectRatio_ = value; }
  void DefineProperties(TFiler& filer) override;

 private:
  TVideoWindow* owner_;
  TVMRVideoMode mode_ = vmrWindowed;
  unsigned streams_ = 4;
  TVMRPreferences preferences_ = VMRPreference(vpForceMixer);
  bool keepAspectRatio_ = true;
};

using TOnVideoMouseButton =
    std::function<void(TComponent* sender, Qt::MouseButton button, const QPoint& position)>;
using TOnVideoMouseMove = std::function<void(TComponent* sender, const QPoint& position)>;

// A control that owns the video renderer of the graph and lays the renderer's window exactly
// over itself, or over the whole primary screen (FullScreen). Input on the renderer's window
// is drained to the control's own window handle and arrives at the control as Qt events.
// UI thread only.
class TVideoWindow : public TCustomControl, public IGraphMember, public IGraphListener {
  Q_OBJECT

 public:
  explicit TVideoWindow(QWidget* parent = nullptr);
  ~TVideoWindow() override;

  QString ClassName() const override { return QStringLiteral("TVideoWindow"); }
  void Loaded() override;
  // The renderer's interfaces after the component's own.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  void DefineProperties(TFiler& filer) override;

  static bool VMRAvailable();

  TFilterGraph* FilterGraph() const { return filterGraph_; }
  void SetFilterGraph(TFilterGraph* graph);
  bool FullScreen() const { return fullScreen_; }
  // Stored always; applied at once when the renderer exists, else at the next graph start.
  void SetFullScreen(bool value);
  bool FullScreenTopMost() const { return fullScreenTopMost_; }
  void SetFullScreenTopMost(bool value);
  bool FullScreenShown() const { return fullScreenShown_; }
  TVideoMode Mode() const { return mode_; }
  // vmVMR is taken only when VMRAvailable; a change rejoins an active graph.
  void SetMode(TVideoMode value);
  TVMROptions& VMROptions() { return *vmrOptions_; }
  void setVisible(bool visible) override;

  IBaseFilter* MemberFilter() override { return renderer_.Get(); }
  QString MemberName() override { return Name(); }
  void MemberNotify(TMemberOperation operation, int param) override;
  void GraphEventOccurred(long event, LONG_PTR param1, LONG_PTR param2) override;
  void ControlEventOccurred(TGraphControlKind kind, int param) override;

  // Leaves and rejoins an active graph so that a new renderer is made.
  void Rejoin();

  // The renderer's window: the window of class "VideoRenderer" captioned with this component's
  // name among the parent's child windows (the caption is given at every graph start);
  // otherwise the control's own window.
  HWND VideoHandle() const;

  TNotifyEvent OnPaint;
  // Positions are control coordinates, or screen coordinates while shown full screen.
  TOnVideoMouseButton OnMouseDown;
  TOnVideoMouseButton OnMouseUp;
  TOnVideoMouseMove OnMouseMove;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void ReadWindowStyles();
  void ApplyPlacement();
  void PrepareForStart();
  void FollowControlBounds();
  QPoint EventPosition(const QPoint& local) const;
  LRESULT DrainedMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void ShowPopupAtCursor();

  std::unique_ptr<TVMROptions> vmrOptions_;
  TFilterGraph* filterGraph_ = nullptr;
  ComPtr<IBaseFilter> renderer_;
  ComPtr<IVideoWindow> videoWindow_;
  LONG windowStyle_ = 0;
  LONG windowStyleEx_ = 0;
  bool stylesRead_ = false;
  bool fullScreen_ = false;
  bool fullScreenTopMost_ = false;
  bool fullScreenShown_ = false;
  TVideoMode mode_ = vmNormal;
};
