// TFilterGraph: activation, members and listeners, run-state commands, emptying, properties.
#include <algorithm>
#include <exception>

#include "MediaGraph.h"
#include "TearDown.h"

namespace {
constexpr int kVolumeRange = 10000;  // IBasicAudio volume: -10000 (silence) .. 0 (full)

QString GraphModeName(TGraphMode mode) {
  switch (mode) {
    case gmCapture:
      return QStringLiteral("gmCapture");
    case gmDVD:
      return QStringLiteral("gmDVD");
    case gmNormal:
      break;
  }
  return QStringLiteral("gmNormal");
}

TGraphMode GraphModeFromName(const QString& name) {
  if (name == QLatin1String("gmCapture")) return gmCapture;
  if (name == QLatin1String("gmDVD")) return gmDVD;
  if (name == QLatin1String("gmNormal")) return gmNormal;
  throw EReadError(QStringLiteral("Invalid property value: %1").arg(name));
}

bool BoolFromText(const QString& text) {
  if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
  if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  throw EReadError(QStringLiteral("Invalid property value: %1").arg(text));
}

QString BoolText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }
}  // namespace

void TFilterGraph::WindowDeleter::operator()(HWND window) const { DeallocateHWnd(window); }

TFilterGraph::TFilterGraph()
    : window_(AllocateHWnd([this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return WindowProcedure(window, message, wParam, lParam);
      })) {}

TFilterGraph::~TFilterGraph() {
  // Deactivate takes every member out and releases the graph even when one of them fails.
  TearDownReporting(*this, [this] { SetActive(false); });
  window_.reset();
}

void TFilterGraph::Loaded() {
  if (autoCreate_) SetActive(true);
  TComponent::Loaded();
}

HRESULT TFilterGraph::QueryInterface(REFIID riid, void** ppv) {
  HRESULT hr = TComponent::QueryInterface(riid, ppv);
  if (SUCCEEDED(hr) || !active_) return hr;
  switch (mode_) {
    case gmNormal:
      break;
    case gmCapture:
      if (captureBuilder_) {
        hr = captureBuilder_->QueryInterface(riid, ppv);
        if (SUCCEEDED(hr)) return hr;
      }
      break;
    case gmDVD:
      if (dvdBuilder_) {
        hr = dvdBuilder_->QueryInterface(riid, ppv);
        if (SUCCEEDED(hr)) return hr;
        hr = dvdBuilder_->GetDvdInterface(riid, ppv);
        if (SUCCEEDED(hr)) return hr;
      }
      break;
  }
  if (graph_) return graph_->QueryInterface(riid, ppv);
  *ppv = nullptr;
  return E_NOINTERFACE;
}

void TFilterGraph::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      QStringLiteral("LogFile"), [this](const QString& v) { SetLogFile(v); },
      [this] { return logFile_; }, !logFile_.isEmpty());
  filer.DefineProperty(
      QStringLiteral("AutoCreate"), [this](const QString& v) { SetAutoCreate(BoolFromText(v)); },
      [this] { return BoolText(autoCreate_); }, autoCreate_);
  filer.DefineProperty(
      QStringLiteral("Mode"), [this](const QString& v) { SetMode(GraphModeFromName(v)); },
      [this] { return GraphModeName(mode_); }, mode_ != gmNormal);
  filer.DefineProperty(
      QStringLiteral("GraphEdit"), [this](const QString& v) { SetGraphEdit(BoolFromText(v)); },
      [this] { return BoolText(graphEdit_); }, true);
}

// ---- Activation ------------------------------------------------------------------------------

void TFilterGraph::SetActive(bool value) {
  if (value == active_) return;
  if (value) {
    Activate();
  } else {
    Deactivate();
  }
}

void TFilterGraph::CreateGraphObjects() {
  // The results are examined only for the graph manager: without it there is no graph, and
  // the caller is told. A missing builder leaves its reference empty.
  HRESULT hr = S_OK;
  switch (mode_) {
    case gmNormal:
      hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(graph_.ReleaseAndGetAddressOf()));
      break;
    case gmCapture:
      (void)CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(captureBuilder_.ReleaseAndGetAddressOf()));
      hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(graph_.ReleaseAndGetAddressOf()));
      if (captureBuilder_ && graph_) (void)captureBuilder_->SetFiltergraph(graph_.Get());
      break;
    case gmDVD: {
      // The platform may offer no DVD graph builder; the references then stay empty, as the
      // mode allows.
      (void)CoCreateInstance(CLSID_DvdGraphBuilder, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(dvdBuilder_.ReleaseAndGetAddressOf()));
      if (dvdBuilder_) {
        ComPtr<IGraphBuilder> builder;
        if (SUCCEEDED(dvdBuilder_->GetFiltergraph(builder.GetAddressOf())) && builder) {
          graph_ = builder.As<IFilterGraph2>();
        }
      }
      return;
    }
  }
  if (!graph_) {
    captureBuilder_.Reset();
    CheckGraphResult(FAILED(hr) ? hr : E_NOINTERFACE);
  }
}

void TFilterGraph::Activate() {
  CreateGraphObjects();
  active_ = true;
  // The component's own QueryInterface already delegates from here on.
  ComPtr<IMediaEventEx> events;
  if (SUCCEEDED(QueryInterface(IID_IMediaEventEx, events.ReleaseAndGetVoidAddressOf())) && events) {
    events_ = events;
    (void)events_->SetNotifyFlags(0);
    (void)events_->SetNotifyWindow(reinterpret_cast<OAHWND>(window_.get()), GraphNotifyMessage,
                                   reinterpret_cast<LONG_PTR>(events_.Get()));
  }
  ApplyGraphEdit(graphEdit_);
  SetLogFile(logFile_);
  const std::vector<IGraphMember*> members = members_;
  for (IGraphMember* member : members) AddMemberFilter(member);
  if (OnActivate) OnActivate(this);
  NotifyListeners(gckActiveChanged, 1);
}

void TFilterGraph::Deactivate() {
  // A member or listener that fails does not keep the others, nor the graph objects, alive:
  // everything is released, then the first failure is raised.
  std::exception_ptr failure;
  const auto keepFirst = [&failure] {
    if (!failure) failure = std::current_exception();
  };
  try {
    NotifyListeners(gckActiveChanged, 0);
  } catch (...) {
    keepFirst();
  }
  const std::vector<IGraphMember*> members = members_;
  for (IGraphMember* member : members) {
    try {
      RemoveMemberFilter(member);
    } catch (...) {
      keepFirst();
    }
  }
  if (events_) {
    (void)events_->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY);
    events_.Reset();
  }
  if (rotCookie_ != 0) {
    RevokeGraphFromRot(rotCookie_);
    rotCookie_ = 0;
  }
  if (graph_) (void)graph_->SetLogFile(0);
  CloseLogFile();
  graph_.Reset();
  captureBuilder_.Reset();
  dvdBuilder_.Reset();
  active_ = false;
  if (failure) std::rethrow_exception(failure);
}

void TFilterGraph::SetMode(TGraphMode value) {
  if (value == mode_) return;
  const bool wasActive = active_;
  SetActive(false);
  mode_ = value;
  SetActive(wasActive);
}

// ---- Members and listeners -------------------------------------------------------------------

void TFilterGraph::AddMemberFilter(IGraphMember* member) {
  member->MemberNotify(moAdding, 0);
  if (graph_) {
    const std::wstring name = member->MemberName().toStdWString();
    (void)graph_->AddFilter(member->MemberFilter(), name.c_str());
  }
  member->MemberNotify(moAdded, 0);
}

void TFilterGraph::RemoveMemberFilter(IGraphMember* member) {
  // The filter leaves the graph even when the member fails to prepare it; the failure is
  // raised once it is out.
  std::exception_ptr failure;
  try {
    member->MemberNotify(moRemoving, 0);
  } catch (...) {
    failure = std::current_exception();
  }
  if (graph_) (void)graph_->RemoveFilter(member->MemberFilter());
  member->MemberNotify(moRemoved, 0);
  if (failure) std::rethrow_exception(failure);
}

void TFilterGraph::AddMember(IGraphMember* member) {
  if (member == nullptr) return;
  members_.push_back(member);
  if (active_) AddMemberFilter(member);
}

void TFilterGraph::RemoveMember(IGraphMember* member) {
  const auto it = std::find(members_.begin(), members_.end(), member);
  if (it == members_.end()) return;
  members_.erase(it);
  if (active_) RemoveMemberFilter(member);
}

void TFilterGraph::AddListener(IGraphListener* listener) {
  if (listener != nullptr) listeners_.push_back(listener);
}

void TFilterGraph::RemoveListener(IGraphListener* listener) {
  const auto it = std::find(listeners_.begin(), listeners_.end(), listener);
  if (it != listeners_.end()) listeners_.erase(it);
}

void TFilterGraph::NotifyListeners(TGraphControlKind kind, int param) {
  const std::vector<IGraphListener*> listeners = listeners_;
  for (IGraphListener* listener : listeners) listener->ControlEventOccurred(kind, param);
}

// ---- Commands --------------------------------------------------------------------------------

bool TFilterGraph::RunGraph() {
  ComPtr<IMediaControl> control = QueryAs<IMediaControl>(this);
  if (!control) return false;
  NotifyListeners(gckStart, 0);
  // S_FALSE, a graph still on its way to running, counts as success.
  return SUCCEEDED(CheckGraphResult(control->Run()));
}

bool TFilterGraph::StopGraph() {
  ComPtr<IMediaControl> control = QueryAs<IMediaControl>(this);
  if (!control) return false;
  NotifyListeners(gckStop, 0);
  return CheckGraphResult(control->Stop()) == S_OK;
}

TGraphRunState TFilterGraph::GraphState() {
  ComPtr<IMediaControl> control = QueryAs<IMediaControl>(this);
  if (!control) return grsUninitialized;
  OAFilterState state = State_Stopped;
  if (FAILED(control->GetState(0, &state))) return grsUninitialized;
  switch (state) {
    case State_Stopped:
      return grsStopped;
    case State_Paused:
      return grsPaused;
    case State_Running:
      return grsPlaying;
    default:
      return grsUninitialized;
  }
}

void TFilterGraph::SetGraphVolume(int volume) {
  if (ComPtr<IBasicAudio> audio = QueryAs<IBasicAudio>(this)) {
    (void)audio->put_Volume(volume - kVolumeRange);
  }
}

void TFilterGraph::EmptyGraph() {
  if (!graph_) return;
  StopGraph();
  const TFilterList connected = TFilterList::CreateFromGraph(graph_.Get());
  for (int f = 0; f < connected.Count(); ++f) {
    const TPinList pins = TPinList::CreateFromFilter(connected.FilterAt(f).Get());
    for (int p = 0; p < pins.Count(); ++p) CheckGraphResult(pins.PinAt(p)->Disconnect());
  }
  TFilterList strangers = TFilterList::CreateFromGraph(graph_.Get());
  for (IGraphMember* member : members_) {
    if (IBaseFilter* filter = member->MemberFilter()) strangers.Remove(filter);
  }
  for (int f = 0; f < strangers.Count(); ++f) {
    CheckGraphResult(graph_->RemoveFilter(strangers.FilterAt(f).Get()));
  }
}

// ---- Running object table and log file -------------------------------------------------------

void TFilterGraph::ApplyGraphEdit(bool value) {
  if (!value) {
    if (rotCookie_ != 0) {
      RevokeGraphFromRot(rotCookie_);
      rotCookie_ = 0;
    }
  } else if (rotCookie_ == 0 && active_ && graph_) {
    (void)RegisterGraphInRot(graph_.Get(), &rotCookie_);
  }
}

void TFilterGraph::SetGraphEdit(bool value) {
  ApplyGraphEdit(value);
  graphEdit_ = value;
}

void TFilterGraph::CloseLogFile() { logStream_.reset(); }

bool TFilterGraph::OpenLogFile(const QString& name) {
  auto file = std::make_unique<QFile>(name);
  if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  if (FAILED(graph_->SetLogFile(static_cast<DWORD_PTR>(file->handle())))) return false;
  logStream_ = std::move(file);
  return true;
}

void TFilterGraph::SetLogFile(const QString& value) {
  if (active_ && graph_) {
    (void)graph_->SetLogFile(0);
    CloseLogFile();
    if (!value.isEmpty() && !OpenLogFile(value)) {
      // Logging stays off and the previous name stays in place.
      (void)graph_->SetLogFile(0);
      CloseLogFile();
      return;
    }
  }
  logFile_ = value;
}
