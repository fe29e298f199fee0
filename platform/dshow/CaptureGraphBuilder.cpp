// The capture graph builder: graph ownership, pin and interface look-ups, and the recording
// file set-up. RenderStream lives in CaptureGraphBuilderRender.cpp.
#include "CaptureGraphBuilder.h"

#include "CaptureGraphBuilderAnalog.h"
#include "CaptureGraphBuilderPins.h"
#include "CaptureGraphBuilderSearch.h"

namespace vidorra::dshow {

using namespace capture_builder;

namespace {

constexpr const wchar_t* kAviMuxName = L"AVI Mux";
constexpr const wchar_t* kFileWriterName = L"File writer";

bool PinMatches(IPin* pin, PIN_DIRECTION direction, const GUID* pCategory, const GUID* pType,
                bool unconnectedOnly) {
  if (DirectionOf(pin) != direction) return false;
  if (pCategory && CategoryOf(pin) != *pCategory) return false;
  if (pType && !OffersMajorType(pin, *pType)) return false;
  return !(unconnectedOnly && IsConnected(pin));
}

// The filter's first pin in that direction (the first free one when asked).
ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction, bool unconnectedOnly) {
  for (const ComPtr<IPin>& pin : PinsOf(filter)) {
    if (PinMatches(pin.Get(), direction, nullptr, nullptr, unconnectedOnly)) return pin;
  }
  return nullptr;
}

}  // namespace

void EnsureCaptureGraphBuilderRegistered() {
  static const ComClassRegistration registration(CLSID_CaptureGraphBuilder2,
                                                 "Capture Graph Builder",
                                                 ComClassFactoryFor<CaptureGraphBuilder>());
}

namespace {
// Registered at start-up in every program that links this file.
const bool kRegistered = (EnsureCaptureGraphBuilderRegistered(), true);
}  // namespace

HRESULT AddNewFilter(IGraphBuilder* graph, REFCLSID clsid, LPCWSTR name,
                     ComPtr<IBaseFilter>* filter) {
  ComPtr<IBaseFilter> created;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                created.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) return hr;
  if (!created) return E_UNEXPECTED;
  hr = graph->AddFilter(created.Get(), name);
  if (FAILED(hr)) return hr;
  *filter = std::move(created);
  return S_OK;
}

HRESULT CaptureGraphBuilder::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_ICaptureGraphBuilder2) {
    return GetInterface(static_cast<ICaptureGraphBuilder2*>(this), ppv);
  }
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

// ---- The graph -------------------------------------------------------------------------------

STDMETHODIMP CaptureGraphBuilder::SetFiltergraph(IGraphBuilder* pfg) {
  if (!pfg) return E_POINTER;
  std::lock_guard lock(mutex_);
  if (graph_) return IsSameObject(graph_.Get(), pfg) ? S_OK : E_UNEXPECTED;
  graph_ = pfg;
  return S_OK;
}

STDMETHODIMP CaptureGraphBuilder::GetFiltergraph(IGraphBuilder** ppfg) {
  if (!ppfg) return E_POINTER;
  *ppfg = nullptr;
  ComPtr<IGraphBuilder> graph;
  const HRESULT hr = GraphForBuilding(&graph);
  if (FAILED(hr)) return hr;
  return graph.CopyTo(ppfg);
}

HRESULT CaptureGraphBuilder::GraphForBuilding(ComPtr<IGraphBuilder>* graph) {
  std::lock_guard lock(mutex_);
  if (!graph_) {
    ComPtr<IGraphBuilder> created;
    const HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IGraphBuilder, created.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) return hr;
    graph_ = std::move(created);
  }
  *graph = graph_;
  return S_OK;
}

ComPtr<IGraphBuilder> CaptureGraphBuilder::GraphForSearch(IBaseFilter* pf) {
  {
    std::lock_guard lock(mutex_);
    if (graph_) return graph_;
  }
  ComPtr<IFilterGraph> joined = GraphOf(pf);
  return joined ? joined.As<IGraphBuilder>() : nullptr;
}

// Filters join and connect only while the graph is stopped; a look-up made while it runs (the
// program's menus ask while previewing) searches what is there.
void CaptureGraphBuilder::ConnectAnalogFrontEnd(IGraphBuilder* graph, IBaseFilter* filter) {
  if (!graph || !CaptureGraphBuilderAnalog::NeedsFrontEnd(filter)) return;
  ComPtr<IMediaFilter> control = QueryAs<IMediaFilter>(graph);
  FILTER_STATE state = State_Stopped;
  if (control && (FAILED(control->GetState(0, &state)) || state != State_Stopped)) return;
  CaptureGraphBuilderAnalog(graph).ConnectFrontEnd(filter);
}

// ---- FindPin -------------------------------------------------------------------------------

STDMETHODIMP CaptureGraphBuilder::FindPin(IUnknown* pSource, PIN_DIRECTION pindir,
                                          const GUID* pCategory, const GUID* pType,
                                          BOOL fUnconnected, int num, IPin** ppPin) {
  if (!ppPin) return E_POINTER;
  *ppPin = nullptr;
  if (!pSource) return E_POINTER;
  std::vector<ComPtr<IPin>> candidates;
  if (ComPtr<IPin> pin = AsPin(pSource)) {
    candidates.push_back(std::move(pin));
  } else if (ComPtr<IBaseFilter> filter = QueryAs<IBaseFilter>(pSource)) {
    candidates = PinsOf(filter.Get());
  } else {
    return E_NOINTERFACE;
  }
  int index = 0;
  for (const ComPtr<IPin>& pin : candidates) {
    if (!PinMatches(pin.Get(), pindir, pCategory, pType, fUnconnected != FALSE)) continue;
    if (index++ == num) return pin.CopyTo(ppPin);
  }
  return E_FAIL;
}

// ---- FindInterface -------------------------------------------------------------------------

// The search (along a pin: see CaptureGraphBuilderSearch.h), by category:
//   none                  the filter, along its outputs, along its inputs (pType not looked
//                         at);
//   LOOK_UPSTREAM_ONLY    along the filter's inputs (LOOK_DOWNSTREAM_ONLY: along its outputs);
//                         the filter itself is not asked;
//   a pin category        the filter itself; then, if it has outputs of that category (whose
//                         own types include major type *pType, when given), along each of
//                         them, then along the filter's inputs, where crossbars and tuners sit.
// S_OK when found; E_FAIL when the search found nothing; E_NOINTERFACE with a category when the
// filter does not answer and has no such output; E_POINTER for a missing filter or
// out-parameter, E_INVALIDARG for a category that is neither a pin category nor a direction.
STDMETHODIMP CaptureGraphBuilder::FindInterface(const GUID* pCategory, const GUID* pType,
                                                IBaseFilter* pf, REFIID riid, void** ppint) {
  if (!ppint) return E_POINTER;
  *ppint = nullptr;
  if (!pf) return E_POINTER;
  const bool upstreamOnly = pCategory && *pCategory == LOOK_UPSTREAM_ONLY;
  const bool downstreamOnly = pCategory && *pCategory == LOOK_DOWNSTREAM_ONLY;
  if (pCategory && !upstreamOnly && !downstreamOnly && !IsPinCategory(*pCategory)) {
    return E_INVALIDARG;
  }
  ConnectAnalogFrontEnd(GraphForSearch(pf).Get(), pf);

  if (upstreamOnly || downstreamOnly) {
    const PIN_DIRECTION side = upstreamOnly ? PINDIR_INPUT : PINDIR_OUTPUT;
    return AskAlongSide(pf, side, riid, ppint) == S_OK ? S_OK : E_FAIL;
  }
  if (AskFor(pf, riid, ppint) == S_OK) return S_OK;
  if (pCategory) {
    bool any = false;
    for (const ComPtr<IPin>& pin : PinsOf(pf)) {
      if (DirectionOf(pin.Get()) != PINDIR_OUTPUT || CategoryOf(pin.Get()) != *pCategory) continue;
      if (pType && !EnumeratesMajorType(pin.Get(), *pType)) continue;
      any = true;
      if (AskAlong(pin.Get(), PINDIR_OUTPUT, riid, ppint) == S_OK) return S_OK;
    }
    if (!any) return E_NOINTERFACE;
  } else if (AskAlongSide(pf, PINDIR_OUTPUT, riid, ppint) == S_OK) {
    return S_OK;
  }
  return AskAlongSide(pf, PINDIR_INPUT, riid, ppint) == S_OK ? S_OK : E_FAIL;
}

// ---- SetOutputFileName ---------------------------------------------------------------------

// The AVI Mux and the File Writer are added and connected, and the writer is given the path;
// on any failure both leave the graph again, so a failed call leaves the graph as it was.
STDMETHODIMP CaptureGraphBuilder::SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile,
                                                    IBaseFilter** ppf, IFileSinkFilter** ppSink) {
  if (!pType || !lpstrFile || !ppf) return E_POINTER;
  *ppf = nullptr;
  if (ppSink) *ppSink = nullptr;
  if (*pType != MEDIASUBTYPE_Avi || lpstrFile[0] == L'\0') return E_INVALIDARG;
  ComPtr<IGraphBuilder> graph;
  HRESULT hr = GraphForBuilding(&graph);
  if (FAILED(hr)) return hr;

  ComPtr<IBaseFilter> mux;
  ComPtr<IBaseFilter> writer;
  ComPtr<IFileSinkFilter> sink;
  hr = AddNewFilter(graph.Get(), CLSID_AviDest, kAviMuxName, &mux);
  if (SUCCEEDED(hr)) hr = AddNewFilter(graph.Get(), CLSID_FileWriter, kFileWriterName, &writer);
  if (SUCCEEDED(hr)) hr = writer.As(&sink);
  if (SUCCEEDED(hr)) hr = sink->SetFileName(lpstrFile, nullptr);
  if (SUCCEEDED(hr)) {
    ComPtr<IPin> muxOut = FirstPin(mux.Get(), PINDIR_OUTPUT, true);
    ComPtr<IPin> writerIn = FirstPin(writer.Get(), PINDIR_INPUT, true);
    hr = muxOut && writerIn ? graph->ConnectDirect(muxOut.Get(), writerIn.Get(), nullptr)
                            : VFW_E_NOT_FOUND;
  }
  if (FAILED(hr)) {
    if (writer) graph->RemoveFilter(writer.Get());
    if (mux) graph->RemoveFilter(mux.Get());
    return hr;
  }
  *ppf = mux.Detach();
  if (ppSink) *ppSink = sink.Detach();
  return S_OK;
}

// ---- Not provided --------------------------------------------------------------------------

STDMETHODIMP CaptureGraphBuilder::ControlStream(const GUID*, const GUID*, IBaseFilter*,
                                                REFERENCE_TIME*, REFERENCE_TIME*, WORD, WORD) {
  return E_NOTIMPL;
}

STDMETHODIMP CaptureGraphBuilder::AllocCapFile(LPCOLESTR, DWORDLONG) { return E_NOTIMPL; }

STDMETHODIMP CaptureGraphBuilder::CopyCaptureFile(LPOLESTR, LPOLESTR, int,
                                                  IAMCopyCaptureFileProgress*) {
  return E_NOTIMPL;
}

}  // namespace vidorra::dshow
