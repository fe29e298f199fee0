// TdmCam's sound levels: the filters of the graph that measure the sound passing through them.
#include "graph.h"
#include "graphSupport.h"

using graph_support::FindFilterNamed;

namespace {

ComPtr<IAudioLevels> LevelsOf(IBaseFilter* filter) {
  ComPtr<IAudioLevels> levels;
  if (filter == nullptr ||
      FAILED(filter->QueryInterface(IID_IAudioLevels, levels.ReleaseAndGetVoidAddressOf()))) {
    return {};
  }
  return levels;
}

}  // namespace

ComPtr<IAudioLevels> TdmCam::DvSoundLevels() {
  if (fg == nullptr || !IsDVSource) return {};
  try {
    const ComPtr<IBaseFilter> splitter =
        FindFilterNamed(Graph().Get(), QStringLiteral("DV Splitter"));
    ComPtr<IAudioLevels> levels = LevelsOf(splitter.Get());
    if (levels) levels->SetMetering(TRUE);
    return levels;
  } catch (...) {
    return {};  // no graph: no sound
  }
}

ComPtr<IAudioLevels> TdmCam::AudioSourceLevels() {
  if (AudioSource == nullptr || AudioSource->FilterGraph() == nullptr) return {};
  ComPtr<IBaseFilter> source;
  if (AudioSource->QueryInterface(IID_IBaseFilter, source.ReleaseAndGetVoidAddressOf()) != S_OK) {
    return {};
  }
  ComPtr<IAudioLevels> levels = LevelsOf(source.Get());
  if (levels) levels->SetMetering(TRUE);
  return levels;
}
