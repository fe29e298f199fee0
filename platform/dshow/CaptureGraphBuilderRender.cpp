// RenderStream of the capture graph builder: choosing the source pin (with the Smart Tee for
// a source without preview pin), then connecting source -> intermediate -> sink, or to the
// default renderer of the stream's type.
//
// The Smart Tee goes on the capture pin of a source that has no preview pin (nor a video-port
// pin, which serves as one): by the first of the two calls, preview or capture; the capture
// call continues from the tee's "Capture" output, the preview call from its "Preview" output
// with VFW_S_NOPREVIEWPIN. A capture pin given itself as the source of a capture render goes
// through a tee as well.
//
// Without a category, the source is its first free output of the type asked; when it has none
// offering the type, the first free output offering it downstream of the source's connected
// outputs (depth first, in pin order); when there is none either, nothing is done (S_OK). A
// source or sink without a free pin gives E_FAIL; an intermediate filter the source cannot be
// connected to gives E_FAIL and leaves nothing connected, one that cannot be connected to the
// sink VFW_E_CANNOT_CONNECT, the links up to it kept. Arguments that do not fit the source
// answer E_INVALIDARG: a pin named as the source that is connected already (other than to a
// Smart Tee), a tee fed by the capture pin whose output of the category asked is taken, a
// category none of the source's output pins has.
#include <algorithm>

#include "CaptureGraphBuilder.h"
#include "CaptureGraphBuilderDevices.h"
#include "CaptureGraphBuilderPins.h"

namespace vidorra::dshow {

using namespace capture_builder;

namespace {

constexpr const wchar_t* kSmartTeeName = L"Smart Tee";
// The program finds the splitter by this name (its DV sound is listened to from there).
constexpr const wchar_t* kDvSplitterName = L"DV Splitter";
constexpr const wchar_t* kVideoRendererName = L"Video Renderer";
constexpr const wchar_t* kDefaultAudioRendererName = L"Default DirectSound Device";

std::vector<ComPtr<IPin>> PinsInDirection(IBaseFilter* filter, PIN_DIRECTION direction) {
  std::vector<ComPtr<IPin>> pins;
  for (ComPtr<IPin>& pin : PinsOf(filter)) {
    if (DirectionOf(pin.Get()) == direction) pins.push_back(std::move(pin));
  }
  return pins;
}

ComPtr<IPin> FirstUnconnected(IBaseFilter* filter, PIN_DIRECTION direction) {
  for (ComPtr<IPin>& pin : PinsInDirection(filter, direction)) {
    if (!IsConnected(pin.Get())) return std::move(pin);
  }
  return nullptr;
}

// The Smart Tee output of a category (known by its place among the tee's outputs). It must be
// free to be rendered.
HRESULT TeeOutput(IBaseFilter* tee, const GUID& category, ComPtr<IPin>* output) {
  for (ComPtr<IPin>& pin : PinsInDirection(tee, PINDIR_OUTPUT)) {
    if (CategoryOf(pin.Get()) != category) continue;
    if (IsConnected(pin.Get())) return E_INVALIDARG;
    *output = std::move(pin);
    return S_OK;
  }
  return VFW_E_NOT_FOUND;
}

// The Smart Tee fed by `pin`, when there is one.
ComPtr<IBaseFilter> TeeFedBy(IPin* pin) {
  ComPtr<IPin> peer = PeerOf(pin);
  ComPtr<IBaseFilter> owner = peer ? OwnerOf(peer.Get()) : nullptr;
  return owner && IsSmartTee(owner.Get()) ? owner : nullptr;
}

// The first free output offering `type` downstream of the filter's connected outputs: on each
// connected output's peer filter, its free outputs first, then further down (depth first).
ComPtr<IPin> FreeOutputDownstream(IBaseFilter* filter, const GUID& type, int depth = 0) {
  constexpr int kDeepest = 32;  // a graph with a loop ends the search here
  if (depth > kDeepest) return nullptr;
  for (const ComPtr<IPin>& output : PinsInDirection(filter, PINDIR_OUTPUT)) {
    ComPtr<IPin> peer = PeerOf(output.Get());
    ComPtr<IBaseFilter> next = peer ? OwnerOf(peer.Get()) : nullptr;
    if (!next) continue;
    for (ComPtr<IPin>& candidate : PinsInDirection(next.Get(), PINDIR_OUTPUT)) {
      if (!IsConnected(candidate.Get()) && EnumeratesMajorType(candidate.Get(), type)) {
        return std::move(candidate);
      }
    }
    if (ComPtr<IPin> further = FreeOutputDownstream(next.Get(), type, depth + 1)) return further;
  }
  return nullptr;
}

bool IsPreviewOrCapture(const GUID* pCategory) {
  return pCategory && (*pCategory == PIN_CATEGORY_PREVIEW || *pCategory == PIN_CATEGORY_CAPTURE);
}

bool HasOutputOfCategory(IBaseFilter* filter, const GUID& category) {
  for (const ComPtr<IPin>& pin : PinsInDirection(filter, PINDIR_OUTPUT)) {
    if (CategoryOf(pin.Get()) == category) return true;
  }
  return false;
}

// A capture render on a source without preview pin puts a Smart Tee on the capture pin, so
// that a preview can follow; not when the caller brings a tee of its own.
bool CaptureNeedsTee(IBaseFilter* source, IBaseFilter* intermediate, IBaseFilter* sink) {
  if (HasOutputOfCategory(source, PIN_CATEGORY_PREVIEW) ||
      HasOutputOfCategory(source, PIN_CATEGORY_VIDEOPORT)) {
    return false;
  }
  return !(intermediate && IsSmartTee(intermediate)) && !(sink && IsSmartTee(sink));
}

// The default audio renderer: the "Default DirectSound Device" entry of the audio renderer
// category, else that category's first entry, else the class itself.
HRESULT AddDefaultAudioRenderer(IGraphBuilder* graph, ComPtr<IBaseFilter>* renderer) {
  std::vector<DeviceEntry> entries = DevicesOf(CLSID_AudioRendererCategory);
  std::stable_partition(entries.begin(), entries.end(), [](const DeviceEntry& entry) {
    return entry.friendlyName == kDefaultAudioRendererName;
  });
  for (const DeviceEntry& entry : entries) {
    ComPtr<IBaseFilter> filter = BindFilter(entry.moniker.Get());
    if (filter && SUCCEEDED(graph->AddFilter(filter.Get(), entry.friendlyName.c_str()))) {
      *renderer = std::move(filter);
      return S_OK;
    }
  }
  return AddNewFilter(graph, CLSID_DSoundRender, kDefaultAudioRendererName, renderer);
}

}  // namespace

STDMETHODIMP CaptureGraphBuilder::RenderStream(const GUID* pCategory, const GUID* pType,
                                               IUnknown* pSource, IBaseFilter* pfCompressor,
                                               IBaseFilter* pfRenderer) {
  if (!pSource) return E_POINTER;
  ComPtr<IGraphBuilder> graph;
  HRESULT hr = GraphForBuilding(&graph);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> start;
  if (ComPtr<IPin> pin = AsPin(pSource)) {
    hr = SourcePinOfPin(graph.Get(), pCategory, pin.Get(), &start);
  } else if (ComPtr<IBaseFilter> filter = QueryAs<IBaseFilter>(pSource)) {
    const bool teeOnCapture = pCategory && *pCategory == PIN_CATEGORY_CAPTURE &&
                              CaptureNeedsTee(filter.Get(), pfCompressor, pfRenderer);
    hr = SourcePinOfFilter(graph.Get(), pCategory, pType, filter.Get(), teeOnCapture, &start);
  } else {
    return E_NOINTERFACE;
  }
  if (FAILED(hr)) return hr;
  if (!start) return S_OK;  // no output of the type, here or downstream: nothing to render
  const HRESULT rendered = RenderChain(graph.Get(), start.Get(), pType, pfCompressor, pfRenderer);
  if (FAILED(rendered)) return rendered;
  return hr == VFW_S_NOPREVIEWPIN ? hr : rendered;
}

// A pin given as the source is rendered as it is, except that a preview or capture asked of a
// capture pin goes through a Smart Tee, and a pin already feeding a Smart Tee is continued from
// the tee output of the category asked.
HRESULT CaptureGraphBuilder::SourcePinOfPin(IGraphBuilder* graph, const GUID* pCategory, IPin* pin,
                                            ComPtr<IPin>* start) {
  if (DirectionOf(pin) != PINDIR_OUTPUT) return E_INVALIDARG;
  if (IsConnected(pin)) {
    ComPtr<IBaseFilter> tee = TeeFedBy(pin);
    if (!tee || !IsPreviewOrCapture(pCategory)) return E_INVALIDARG;
    const HRESULT hr = TeeOutput(tee.Get(), *pCategory, start);
    if (FAILED(hr)) return hr;
    return *pCategory == PIN_CATEGORY_PREVIEW ? VFW_S_NOPREVIEWPIN : S_OK;
  }
  if (IsPreviewOrCapture(pCategory) && CategoryOf(pin) == PIN_CATEGORY_CAPTURE) {
    return TeeOnCapturePin(graph, pin, *pCategory, start);
  }
  *start = pin;
  return S_OK;
}

HRESULT CaptureGraphBuilder::SourcePinOfFilter(IGraphBuilder* graph, const GUID* pCategory,
                                               const GUID* pType, IBaseFilter* filter,
                                               bool teeOnCapture, ComPtr<IPin>* start) {
  ConnectAnalogFrontEnd(graph, filter);
  ComPtr<IPin> pin;
  if (SUCCEEDED(FindPin(filter, PINDIR_OUTPUT, pCategory, pType, TRUE, 0, pin.GetAddressOf()))) {
    if (teeOnCapture) return TeeOnCapturePin(graph, pin.Get(), PIN_CATEGORY_CAPTURE, start);
    *start = std::move(pin);
    return S_OK;
  }
  // Every pin of the category and type is taken, or there is none.
  ComPtr<IPin> taken;
  const bool exists =
      SUCCEEDED(FindPin(filter, PINDIR_OUTPUT, pCategory, pType, FALSE, 0, taken.GetAddressOf()));
  if (!pCategory) {
    if (!pType) return E_FAIL;  // no free output
    *start = FreeOutputDownstream(filter, *pType);  // none: nothing to render
    return S_OK;
  }
  if (!IsPreviewOrCapture(pCategory)) return exists ? E_FAIL : E_INVALIDARG;
  // A Smart Tee given as the source.
  if (IsSmartTee(filter)) return TeeOutput(filter, *pCategory, start);
  // A preview pin that is already taken is not replaced by a tee on the capture pin.
  if (exists && *pCategory == PIN_CATEGORY_PREVIEW) return VFW_E_ALREADY_CONNECTED;
  // No free pin of the category: the capture pin, free or already feeding a Smart Tee.
  ComPtr<IPin> capture;
  if (FAILED(FindPin(filter, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, pType, FALSE, 0,
                     capture.GetAddressOf()))) {
    return E_INVALIDARG;
  }
  return SourcePinOfPin(graph, pCategory, capture.Get(), start);
}

// Puts a Smart Tee on the capture pin; the tee output of `category` is where to go on from.
HRESULT CaptureGraphBuilder::TeeOnCapturePin(IGraphBuilder* graph, IPin* capturePin,
                                             const GUID& category, ComPtr<IPin>* start) {
  ComPtr<IBaseFilter> tee;
  HRESULT hr = AddNewFilter(graph, CLSID_SmartTee, kSmartTeeName, &tee);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> teeInput = FirstUnconnected(tee.Get(), PINDIR_INPUT);
  hr = teeInput ? graph->ConnectDirect(capturePin, teeInput.Get(), nullptr) : VFW_E_NOT_FOUND;
  if (SUCCEEDED(hr)) hr = TeeOutput(tee.Get(), category, start);
  if (FAILED(hr)) {
    graph->RemoveFilter(tee.Get());
    return hr;
  }
  return category == PIN_CATEGORY_PREVIEW ? VFW_S_NOPREVIEWPIN : S_OK;
}

// Each link that succeeded stays when a later one fails.
HRESULT CaptureGraphBuilder::RenderChain(IGraphBuilder* graph, IPin* start, const GUID* pType,
                                         IBaseFilter* intermediate, IBaseFilter* sink) {
  ComPtr<IPin> current = start;
  if (intermediate) {
    // Intelligent connect takes back what it added on a failure: nothing stays connected.
    if (FAILED(ConnectToFilter(graph, current.Get(), intermediate))) return E_FAIL;
    current = FirstUnconnected(intermediate, PINDIR_OUTPUT);
    // An intermediate filter that renders the stream itself ends the chain.
    if (!current) return sink ? E_FAIL : S_OK;
    if (sink) {
      const HRESULT hr = ConnectToFilter(graph, current.Get(), sink);
      return FAILED(hr) && hr != E_FAIL ? VFW_E_CANNOT_CONNECT : hr;
    }
  }
  if (sink) return ConnectToFilter(graph, current.Get(), sink);
  return RenderToDefaultRenderer(graph, current.Get(), pType);
}

// Tries the target's free input pins in order (E_FAIL when it has none); a filter not yet in a
// graph joins this one.
HRESULT CaptureGraphBuilder::ConnectToFilter(IGraphBuilder* graph, IPin* output,
                                             IBaseFilter* target) {
  if (!GraphOf(target)) {
    const HRESULT hr = graph->AddFilter(target, nullptr);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = E_FAIL;
  for (const ComPtr<IPin>& input : PinsInDirection(target, PINDIR_INPUT)) {
    if (IsConnected(input.Get())) continue;
    hr = ConnectPins(graph, output, input.Get());
    if (SUCCEEDED(hr)) return hr;
  }
  return hr;
}

// An interleaved DV stream goes straight in where it is accepted (the AVI Mux); elsewhere the
// builder puts the DV Splitter in itself, so that the splitter carries the name the program
// looks for, and lets intelligent connect go on from the splitter's video output.
HRESULT CaptureGraphBuilder::ConnectPins(IGraphBuilder* graph, IPin* output, IPin* input) {
  if (!OffersMajorType(output, MEDIATYPE_Interleaved)) return graph->Connect(output, input);
  if (SUCCEEDED(graph->ConnectDirect(output, input, nullptr))) return S_OK;
  if (!IsComClassRegistered(CLSID_DVSplitter)) return graph->Connect(output, input);
  return ConnectThroughDvSplitter(graph, output, input);
}

HRESULT CaptureGraphBuilder::ConnectThroughDvSplitter(IGraphBuilder* graph, IPin* output,
                                                      IPin* input) {
  ComPtr<IBaseFilter> splitter;
  HRESULT hr = AddNewFilter(graph, CLSID_DVSplitter, kDvSplitterName, &splitter);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> splitterInput = FirstUnconnected(splitter.Get(), PINDIR_INPUT);
  hr = splitterInput ? graph->ConnectDirect(output, splitterInput.Get(), nullptr) : VFW_E_NOT_FOUND;
  if (SUCCEEDED(hr)) {
    // The splitter's outputs exist once its input knows the stream.
    ComPtr<IPin> video;
    hr = FindPin(splitter.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, TRUE, 0,
                 video.GetAddressOf());
    if (SUCCEEDED(hr)) hr = graph->Connect(video.Get(), input);
  }
  if (FAILED(hr)) graph->RemoveFilter(splitter.Get());  // also disconnects it
  return hr;
}

HRESULT CaptureGraphBuilder::RenderToDefaultRenderer(IGraphBuilder* graph, IPin* output,
                                                     const GUID* pType) {
  std::optional<GUID> major = MajorTypeOf(output);
  if (!major && pType) major = *pType;
  ComPtr<IBaseFilter> renderer;
  HRESULT hr = E_FAIL;
  if (major == MEDIATYPE_Video || major == MEDIATYPE_Interleaved) {
    hr = AddNewFilter(graph, CLSID_VideoRenderer, kVideoRendererName, &renderer);
  } else if (major == MEDIATYPE_Audio) {
    hr = AddDefaultAudioRenderer(graph, &renderer);
  }
  // Other streams, or no renderer of our own: the graph's own rendering decides.
  if (FAILED(hr)) return graph->Render(output);
  hr = ConnectToFilter(graph, output, renderer.Get());
  if (FAILED(hr)) graph->RemoveFilter(renderer.Get());
  return hr;
}

}  // namespace vidorra::dshow
