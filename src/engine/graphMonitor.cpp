// TdmCam's listening: the DV sound and the separate audio source rendered to the default audio
// renderer, or that renderer taken out of the graph again.
#include <uuids.h>

#include "MediaUtil.h"
#include "graph.h"
#include "graphSupport.h"

using graph_support::FilterOfPin;
using graph_support::FindFilterNamed;
using graph_support::Require;

namespace {

// The filter's first audio output pin (only a free one when `unconnectedOnly`); null when it
// has none.
ComPtr<IPin> AudioOutput(ICaptureGraphBuilder2* builder, IBaseFilter* filter,
                         bool unconnectedOnly) {
  ComPtr<IPin> pin;
  if (FAILED(builder->FindPin(filter, PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio,
                              unconnectedOnly ? TRUE : FALSE, 0, pin.GetAddressOf()))) {
    return {};
  }
  return pin;
}

}  // namespace

bool TdmCam::MonitorTee(bool on, ICaptureGraphBuilder2* builder, IBaseFilter* tee) {
  if (on) return Monitor(true, AudioOutput(builder, tee, true));
  // The free output tells nothing about a renderer already listening on the tee: every output
  // connected to something other than the recording's multiplexer is a listener, and goes.
  const TPinList pins = TPinList::CreateFromFilter(tee);
  for (int i = 0; i < pins.Count(); ++i) {
    const ComPtr<IPin> pin = pins.PinAt(i);
    PIN_DIRECTION direction = PINDIR_INPUT;
    ComPtr<IPin> peer;
    if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT ||
        FAILED(pin->ConnectedTo(peer.GetAddressOf()))) {
      continue;
    }
    const ComPtr<IBaseFilter> listener = FilterOfPin(peer.Get());
    if (listener.Get() != AviMux.Get()) CheckGraphResult(Graph()->RemoveFilter(listener.Get()));
  }
  return true;
}

bool TdmCam::Monitor(bool on, const ComPtr<IPin>& pin) {
  if (!pin) return true;  // nothing that carries this sound: the graph stays as it is
  ComPtr<IPin> peer;
  const HRESULT connected = pin->ConnectedTo(peer.GetAddressOf());
  if (!on && SUCCEEDED(connected)) {
    CheckGraphResult(Graph()->RemoveFilter(FilterOfPin(peer.Get()).Get()));
  } else if (on && FAILED(connected)) {
    ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
    builder->RenderStream(nullptr, &MEDIATYPE_Audio, pin.Get(), nullptr, nullptr);
  }
  return true;
}

bool TdmCam::MonitorAudioSource(bool on) {
  try {
    if (AudioSource->FilterGraph() == nullptr) return false;
    ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
    const ComPtr<IBaseFilter> tee = FindFilterNamed(Graph().Get(), QStringLiteral("Infinite2"));
    if (tee) return MonitorTee(on, builder.Get(), tee.Get());
    return Monitor(on, AudioOutput(builder.Get(), Require<IBaseFilter>(AudioSource).Get(), false));
  } catch (...) {
    return false;
  }
}

bool TdmCam::MonitorDVAudio(bool on) {
  try {
    ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
    const ComPtr<IFilterGraph> graph = Graph();
    if (const ComPtr<IBaseFilter> tee = FindFilterNamed(graph.Get(), QStringLiteral("Infinite"))) {
      return MonitorTee(on, builder.Get(), tee.Get());
    }
    if (const ComPtr<IBaseFilter> splitter =
            FindFilterNamed(graph.Get(), QStringLiteral("DV Splitter"))) {
      return Monitor(on, AudioOutput(builder.Get(), splitter.Get(), false));
    }
    return false;
  } catch (...) {
    return false;
  }
}
