// TdmCam's device lists and source selection: the capture devices by friendly name, binding
// the source components, and the classification of the video source by its output pins.
#include <uuids.h>

#include "MediaUtil.h"
#include "graph.h"
#include "graphSupport.h"

using graph_support::LeaveGraph;
using graph_support::Require;

namespace {

// One step of the classification: the first FindPin that succeeds decides the kind.
struct ClassificationStep {
  const GUID* pinCategory;
  const GUID* mediaType;
  bool unconnectedOnly;
  std::uint8_t kind;
};

const ClassificationStep kClassification[] = {
    {nullptr, &MEDIATYPE_Interleaved, true, vskInterleaved},
    {&PIN_CATEGORY_VIDEOPORT, nullptr, false, vskVideoPort},
    {&PIN_CATEGORY_PREVIEW, nullptr, true, vskPreview},
    {&PIN_CATEGORY_CAPTURE, nullptr, true, vskCapture},
};

}  // namespace

bool TdmCam::ListDevices(const GUID& category, QStringList& list) {
  list.clear();
  try {
    TSysDevEnum devices(category);
    for (int i = 0; i < devices.DeviceCount(); ++i) list.append(devices.DeviceAt(i).FriendlyName);
    return true;
  } catch (...) {
    // A half-read list would offer devices that may not be the ones listed: none is better.
    list.clear();
    return false;
  }
}

bool TdmCam::ListVideoDevices(QStringList& list) {
  return ListDevices(CLSID_VideoInputDeviceCategory, list);
}

bool TdmCam::ListAudioDevices(QStringList& list) {
  return ListDevices(CLSID_AudioInputDeviceCategory, list);
}

bool TdmCam::BindSource(TFilter* source, const GUID& category, const QString& name) {
  fg->StopGraph();
  fg->EmptyGraph();
  source->SetFilterGraph(nullptr);
  TSysDevEnum devices(category);
  for (int i = 0; i < devices.DeviceCount(); ++i) {
    if (devices.DeviceAt(i).FriendlyName != name) continue;
    source->BaseFilter().SetMoniker(devices.DeviceMoniker(i).Get());
    source->SetFilterGraph(fg);
    return true;
  }
  return false;
}

void TdmCam::ForgetVideoSource() {
  // The pin keeps its filter, and so the device, alive: it goes with the filter it belongs to.
  SourcePin.Reset();
  VideoSourceKind = vskNone;
}

void TdmCam::ClassifyVideoSource() {
  ComPtr<IBaseFilter> filter = Require<IBaseFilter>(VideoSource);
  ComPtr<ICaptureGraphBuilder2> builder = Require<ICaptureGraphBuilder2>(fg);
  for (const ClassificationStep& step : kClassification) {
    SourcePin.Reset();
    const HRESULT hr =
        builder->FindPin(filter.Get(), PINDIR_OUTPUT, step.pinCategory, step.mediaType,
                         step.unconnectedOnly ? TRUE : FALSE, 0, SourcePin.GetAddressOf());
    if (SUCCEEDED(hr)) {
      VideoSourceKind = step.kind;
      if (step.kind == vskInterleaved) IsDVSource = true;
      return;
    }
  }
  SourcePin.Reset();
  VideoSourceKind = vskNone;
}

bool TdmCam::SelectVideoDevice(const QString& name) {
  try {
    ForgetVideoSource();
    if (!BindSource(VideoSource, CLSID_VideoInputDeviceCategory, name)) return false;
    ClassifyVideoSource();
    return true;
  } catch (...) {
    ForgetVideoSource();
    LeaveGraph(VideoSource);
    return false;
  }
}

bool TdmCam::SelectAudioDevice(const QString& name) {
  try {
    return BindSource(AudioSource, CLSID_AudioInputDeviceCategory, name);
  } catch (...) {
    LeaveGraph(AudioSource);
    return false;
  }
}
