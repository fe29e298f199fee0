// The devices the benchmarks bind, as the program finds them: through the system device
// enumerator.
#pragma once

#include <comptr.h>
#include <dshow.h>
#include <objbase.h>

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

}  // namespace vidorra::bench
