// The devices the benchmarks bind, as the program finds them: through the system device
// enumerator.
#pragma once

#include <comptr.h>
#include <dshow.h>
#include <objbase.h>

#include <fstream>
#include <string>
#include <vector>

#include "sim/DvCamcorderFrames.h"

namespace vidorra::bench {

// The first video capture device listed (a simulated one when VIDORRA_SIMULATION names a
// machine), bound; null when there is none.
inline ComPtr<IBaseFilter> BindFirstVideoDevice() {
  ComPtr<ICreateDevEnum> devices;
  CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                   devices.ReleaseAndGetVoidAddressOf());
  ComPtr<IEnumMoniker> monikers;
  if (!devices || devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory,
                                                 monikers.GetAddressOf(), 0) != S_OK) {
    return nullptr;
  }
  ComPtr<IMoniker> moniker;
  if (monikers->Next(1, moniker.GetAddressOf(), nullptr) != S_OK) return nullptr;
  ComPtr<IBaseFilter> filter;
  moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReleaseAndGetVoidAddressOf());
  return filter;
}

// Writes the first `frames` DIF frames of the simulated PAL camcorder to `path`, back to back,
// as the device makes them (the same scene: `title`, "CAMERA", the frame number): a tape for
// the `dvfile` camcorder, or a file for ffmpeg of the very frames the camcorder makes.
inline bool WriteCamcorderFrames(const std::string& path, int frames, const char* title) {
  namespace sim = vidorra::devices::sim;
  namespace dv = vidorra::dv;
  auto maker = sim::DvCamcorderFrames::Create(dv::DvSystem::k625_50);
  if (!maker) return false;
  std::vector<uint8_t> frame(dv::FactsOf(dv::DvSystem::k625_50).frameBytes);
  std::ofstream out(path, std::ios::binary);
  sim::PatternScene scene;
  scene.title = title;
  scene.caption = "CAMERA";
  for (int i = 0; i < frames; ++i) {
    scene.frameNumber = static_cast<uint64_t>(i);
    if (FAILED(maker->Make(scene, frame))) return false;
    out.write(reinterpret_cast<const char*>(frame.data()),
              static_cast<std::streamsize>(frame.size()));
  }
  return static_cast<bool>(out);
}

}  // namespace vidorra::bench
