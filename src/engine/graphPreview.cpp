// TdmCam's preview graph: resetting the graph, the source's control interfaces and crossbar,
// and rendering the source by its kind into the sample grabber and the video window.
#include <uuids.h>

#include "MediaUtil.h"
#include "graph.h"
#include "graphSupport.h"

using graph_support::PinOf;
using graph_support::Require;

namespace {

const QString kVideoSourceName = QStringLiteral("VideoSource");
const QString kAudioSourceName = QStringLiteral("AudioSource");

// The interface of the source's capture pin for the first media type that answers S_OK
// exactly; the last answer's interface otherwise (null when none gave one).
template <class I>
void FindCaptureInterface(ICaptureGraphBuilder2* builder, IBaseFilter* source, ComPtr<I>& out) {
  out.Reset();
  const HRESULT hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, source,
                                            I::kIid, out.ReleaseAndGetVoidAddressOf());
  if (hr == S_OK) return;
  builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source, I::kIid,
                         out.ReleaseAndGetVoidAddressOf());
}

// Whether `pin` is an input pin of the analogue video input category.
bool IsAnalogVideoInput(IPin* pin) {
  PIN_INFO info{};
  if (pin->QueryPinInfo(&info) != S_OK) return false;
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);
  if (info.dir != PINDIR_INPUT) return false;
  ComPtr<IKsPropertySet> properties;
  if (FAILED(pin->QueryInterface(IID_IKsPropertySet, properties.ReleaseAndGetVoidAddressOf())) ||
      !properties) {
    return false;
  }
  GUID category = GUID_NULL;
  DWORD returned = 0;
  return properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                         sizeof(category), &returned) == S_OK &&
         category == PIN_CATEGORY_ANALOGVIDEOIN;
}

}  // namespace

ComPtr<IFilterGraph> TdmCam::Graph() { return Require<IFilterGraph>(fg); }

bool TdmCam::ResetGraph() {
  try {
    if (fg->GraphState() == grsPlaying) fg->StopGraph();
    fg->EmptyGraph();
    for (int i = 0; i < ComponentCount(); ++i) {
      auto* filter = dynamic_cast<TFilter*>(Components(i));
      if (filter == nullptr || filter->Name() == kVideoSourceName ||
          filter->Name() == kAudioSourceName) {
        continue;
      }
      filter->SetFilterGraph(nullptr);
    }
    return true;
  } catch (...) {
    return false;
  }
}

void TdmCam::FindCrossbar() {
  Crossbar.reset();
  ComPtr<IBaseFilter> source = Require<IBaseFilter>(VideoSource);
  ComPtr<IEnumPins> pins;
  if (FAILED(source->EnumPins(pins.GetAddressOf())) || !pins) return;
  ComPtr<IPin> pin;
  while (!Crossbar && pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    if (!IsAnalogVideoInput(pin.Get())) continue;
    Crossbar = std::make_unique<TCrossbar>(pin.Get());
    std::int32_t count = 0;
    Crossbar->InputCount(count);
    CrossbarInputCount = count;
  }
}

bool TdmCam::FindSourceInterfaces() {
  try {
    ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
    ComPtr<IBaseFilter> source = Require<IBaseFilter>(VideoSource);
    FindCaptureInterface(builder.Get(), source.Get(), VideoCompression);
    FindCaptureInterface(builder.Get(), source.Get(), VideoStreamConfig);
    FindCaptureInterface(builder.Get(), source.Get(), DroppedFrames);
    VfwCaptureDialogs.Reset();
    builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.Get(),
                           IID_IAMVfwCaptureDialogs,
                           VfwCaptureDialogs.ReleaseAndGetVoidAddressOf());
    source->QueryInterface(IID_IDvTapeTransport, TapeTransport.ReleaseAndGetVoidAddressOf());
    source->QueryInterface(IID_IDvFrameInfo, DvFrames.ReleaseAndGetVoidAddressOf());
    FindCrossbar();
    return true;
  } catch (...) {
    ReleaseSourceInterfaces();
    return false;
  }
}

bool TdmCam::ReleaseSourceInterfaces() {
  try {
    fg->EmptyGraph();
  } catch (...) {  // NOLINT(bugprone-empty-catch): the sources leave the graph all the same
  }
  graph_support::LeaveGraph(VideoSource);
  graph_support::LeaveGraph(AudioSource);
  AudioStreamConfig.Reset();
  TapeTransport.Reset();
  DvFrames.Reset();
  DroppedFrames.Reset();
  VideoStreamConfig.Reset();
  VideoCompression.Reset();
  VfwCaptureDialogs.Reset();
  Crossbar.reset();
  return true;
}

bool TdmCam::FindAudioStreamConfig() {
  try {
    ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
    if (!RecordAudioSource) return false;
    AudioSource->SetFilterGraph(fg);
    AudioSourceLevels();  // measured for the meter from this graph's run on
    AudioStreamConfig.Reset();
    ComPtr<IBaseFilter> source = Require<IBaseFilter>(AudioSource);
    builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, source.Get(),
                           IID_IAMStreamConfig, AudioStreamConfig.ReleaseAndGetVoidAddressOf());
    return true;
  } catch (...) {
    return false;
  }
}

ComPtr<IBaseFilter> TdmCam::JoinDeinterlacer() {
  if (!UseDeinterlacer || PreviewResolution != DVRESOLUTION_FULL) return {};
  Deinterlacer->SetFilterGraph(fg);
  // A deinterlacer that could not be made has no filter: this raises, and the build fails.
  return Require<IBaseFilter>(Deinterlacer);
}

HRESULT TdmCam::RenderVideoPort(ICaptureGraphBuilder2* builder, IBaseFilter* deinterlacer,
                                IBaseFilter* grabber) {
  Null->SetFilterGraph(fg);
  Smarttee->SetFilterGraph(fg);
  ComPtr<IBaseFilter> source = Require<IBaseFilter>(VideoSource);
  ComPtr<IBaseFilter> tee = Require<IBaseFilter>(Smarttee);
  ComPtr<IBaseFilter> null = Require<IBaseFilter>(Null);
  HRESULT hr =
      builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, source.Get(), tee.Get(), null.Get());
  if (FAILED(hr)) return hr;
  builder->RenderStream(nullptr, nullptr, PinOf(tee.Get(), 2).Get(), deinterlacer, grabber);
  // The Null Renderer only served to connect the tee's input: its capture output is left free
  // for a recording. A pin's Disconnect frees only its own side, so the tee's output is
  // disconnected too (otherwise it would stay bound to a pin that left the graph).
  const ComPtr<IPin> nullInput = PinOf(null.Get(), 0);
  ComPtr<IPin> teeCapture;
  if (SUCCEEDED(nullInput->ConnectedTo(teeCapture.GetAddressOf()))) teeCapture->Disconnect();
  nullInput->Disconnect();
  Null->SetFilterGraph(nullptr);
  ComPtr<IPin> videoPort;
  return builder->FindPin(source.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_VIDEOPORT, nullptr, FALSE, 0,
                          videoPort.GetAddressOf());
}

bool TdmCam::BuildPreviewGraph(IBaseFilter* renderer) {
  try {
    ResetGraph();
    FindSourceInterfaces();
    FindAudioStreamConfig();
    PreviewResolution = ChoosePreviewResolution();
    ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
    ComPtr<IBaseFilter> deinterlacer = JoinDeinterlacer();
    ComPtr<IBaseFilter> grabber = Require<IBaseFilter>(sg);
    HRESULT hr = E_FAIL;
    switch (VideoSourceKind) {
      case vskInterleaved:
        hr = builder->RenderStream(nullptr, &MEDIATYPE_Interleaved, SourcePin.Get(),
                                   deinterlacer.Get(), grabber.Get());
        break;
      case vskPreview:
      case vskCapture:
        hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, SourcePin.Get(),
                                   deinterlacer.Get(), grabber.Get());
        break;
      case vskVideoPort:
        hr = RenderVideoPort(builder.Get(), deinterlacer.Get(), grabber.Get());
        break;
      default:
        // A source without any usable output pin has no picture to show: the build fails.
        hr = VFW_E_NO_CAPTURE_HARDWARE;
        break;
    }
    if (FAILED(hr)) return false;
    ApplyPreviewResolution();
    color->SetFilterGraph(fg);
    builder->RenderStream(nullptr, nullptr, grabber.Get(), Require<IBaseFilter>(color).Get(),
                          renderer);
    MonitorDVAudio(ListenDVAudio);
    MonitorAudioSource(ListenAudioSource);
    PreviewReady = true;
    return true;
  } catch (...) {
    return false;
  }
}
