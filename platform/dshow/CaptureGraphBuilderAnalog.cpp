// The analogue front end of a capture filter (see CaptureGraphBuilderAnalog.h).
#include "CaptureGraphBuilderAnalog.h"

#include <comimpl.h>

#include <deque>

#include "CaptureGraphBuilderDevices.h"
#include "CaptureGraphBuilderPins.h"

namespace vidorra::dshow::capture_builder {

namespace {

// Categories searched for front-end filters, in this order.
constexpr const GUID* kFrontEndCategories[] = {&AM_KSCATEGORY_CROSSBAR, &AM_KSCATEGORY_TVTUNER,
                                               &AM_KSCATEGORY_TVAUDIO};

// A card has a handful of front-end filters; the bound keeps a wrongly wired device (a medium
// loop) from adding filters without end.
constexpr int kMaxFrontEndFilters = 16;

// The unconnected output pin of the filter whose medium is `medium`, or null.
ComPtr<IPin> OutputOnMedium(IBaseFilter* filter, const KSPIN_MEDIUM& medium) {
  for (const ComPtr<IPin>& pin : PinsOf(filter)) {
    if (DirectionOf(pin.Get()) != PINDIR_OUTPUT || IsConnected(pin.Get())) continue;
    std::optional<KSPIN_MEDIUM> pinMedium = MediumOf(pin.Get());
    if (pinMedium && SameMedium(*pinMedium, medium)) return pin;
  }
  return nullptr;
}

// The filter's unconnected input pins that report a medium, with that medium.
void QueueInputsOnMediums(IBaseFilter* filter, std::deque<ComPtr<IPin>>* queue) {
  for (const ComPtr<IPin>& pin : PinsOf(filter)) {
    if (DirectionOf(pin.Get()) == PINDIR_INPUT && !IsConnected(pin.Get()) && MediumOf(pin.Get())) {
      queue->push_back(pin);
    }
  }
}

bool IsAnalogVideoInput(IPin* pin) {
  return DirectionOf(pin) == PINDIR_INPUT && CategoryOf(pin) == PIN_CATEGORY_ANALOGVIDEOIN &&
         !IsConnected(pin) && MediumOf(pin);
}

}  // namespace

bool CaptureGraphBuilderAnalog::NeedsFrontEnd(IBaseFilter* captureFilter) {
  for (const ComPtr<IPin>& pin : PinsOf(captureFilter)) {
    if (IsAnalogVideoInput(pin.Get())) return true;
  }
  return false;
}

int CaptureGraphBuilderAnalog::ConnectFrontEnd(IBaseFilter* captureFilter) {
  std::deque<ComPtr<IPin>> pending;
  for (const ComPtr<IPin>& pin : PinsOf(captureFilter)) {
    if (IsAnalogVideoInput(pin.Get())) pending.push_back(pin);
  }
  int added = 0;
  while (!pending.empty() && added < kMaxFrontEndFilters) {
    ComPtr<IPin> input = std::move(pending.front());
    pending.pop_front();
    std::optional<KSPIN_MEDIUM> medium = MediumOf(input.Get());
    if (!medium || IsConnected(input.Get())) continue;
    ComPtr<IBaseFilter> source;
    if (ConnectFromGraph(input.Get(), *medium, &source)) continue;
    if (ConnectFromDevices(input.Get(), *medium, &source)) {
      ++added;
      QueueInputsOnMediums(source.Get(), &pending);
    }
  }
  return added;
}

// A filter already in the graph (a tuner that also feeds the TV audio filter, say) is used
// before a new instance is bound.
bool CaptureGraphBuilderAnalog::ConnectFromGraph(IPin* input, const KSPIN_MEDIUM& medium,
                                                 ComPtr<IBaseFilter>* source) {
  ComPtr<IEnumFilters> filters;
  if (FAILED(graph_->EnumFilters(filters.GetAddressOf())) || !filters) return false;
  for (;;) {
    ComPtr<IBaseFilter> filter;
    ULONG fetched = 0;
    if (filters->Next(1, filter.GetAddressOf(), &fetched) != S_OK || fetched != 1) return false;
    ComPtr<IPin> output = OutputOnMedium(filter.Get(), medium);
    if (output && SUCCEEDED(graph_->ConnectDirect(output.Get(), input, nullptr))) {
      *source = filter;
      return true;
    }
  }
}

bool CaptureGraphBuilderAnalog::ConnectFromDevices(IPin* input, const KSPIN_MEDIUM& medium,
                                                   ComPtr<IBaseFilter>* source) {
  LoadCandidates();
  for (Candidate& candidate : candidates_) {
    if (candidate.added) continue;
    ComPtr<IPin> output = OutputOnMedium(candidate.filter.Get(), medium);
    if (!output) continue;
    if (FAILED(graph_->AddFilter(candidate.filter.Get(), candidate.friendlyName.c_str()))) continue;
    if (FAILED(graph_->ConnectDirect(output.Get(), input, nullptr))) {
      graph_->RemoveFilter(candidate.filter.Get());
      continue;
    }
    candidate.added = true;
    *source = candidate.filter;
    return true;
  }
  return false;
}

// Binding creates the device filters, so it is done once per front-end connection and only
// when some medium was not found in the graph.
void CaptureGraphBuilderAnalog::LoadCandidates() {
  if (candidatesLoaded_) return;
  candidatesLoaded_ = true;
  for (const GUID* category : kFrontEndCategories) {
    for (const DeviceEntry& entry : DevicesOf(*category)) {
      if (ComPtr<IBaseFilter> filter = BindFilter(entry.moniker.Get())) {
        candidates_.push_back(Candidate{entry.friendlyName, std::move(filter)});
      }
    }
  }
}

}  // namespace vidorra::dshow::capture_builder
