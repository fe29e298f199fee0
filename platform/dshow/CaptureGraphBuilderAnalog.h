// The analogue front end of a capture filter: the crossbar, TV tuner and TV audio filters of
// the same card that feed its analogue video input. The builder adds them to the graph and
// connects them before it searches or renders, so that they are found upstream of the capture
// filter.
//
// Pins are matched on their mediums (AMPROPERTY_PIN_MEDIUM): an unconnected input pin of the
// capture filter with category PIN_CATEGORY_ANALOGVIDEOIN, then every unconnected input pin of
// each filter added, is connected to the output pin that reports the same medium, taken from a
// filter already in the graph or from the system device enumerator's crossbar, TV tuner and TV
// audio categories (in that order). Called on the thread that builds the graph, graph stopped.
#pragma once

#include <comptr.h>
#include <dshow.h>

#include <string>
#include <vector>

namespace vidorra::dshow::capture_builder {

class CaptureGraphBuilderAnalog {
 public:
  explicit CaptureGraphBuilderAnalog(IGraphBuilder* graph) : graph_(graph) {}

  // True when the filter has an unconnected analogue video input that reports a medium.
  static bool NeedsFrontEnd(IBaseFilter* captureFilter);

  // Adds and connects what feeds the capture filter's analogue inputs; a medium that nothing
  // offers is left unconnected. Returns the number of filters added.
  int ConnectFrontEnd(IBaseFilter* captureFilter);

 private:
  // A device filter bound from the enumerator, not yet in the graph.
  struct Candidate {
    std::wstring friendlyName;
    ComPtr<IBaseFilter> filter;
    bool added = false;
  };

  bool ConnectFromGraph(IPin* input, const KSPIN_MEDIUM& medium, ComPtr<IBaseFilter>* source);
  bool ConnectFromDevices(IPin* input, const KSPIN_MEDIUM& medium, ComPtr<IBaseFilter>* source);
  void LoadCandidates();

  ComPtr<IGraphBuilder> graph_;
  bool candidatesLoaded_ = false;
  std::vector<Candidate> candidates_;
};

}  // namespace vidorra::dshow::capture_builder
