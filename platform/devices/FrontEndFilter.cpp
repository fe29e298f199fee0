// CFrontEndFilter; see FrontEndFilter.h.
#include "FrontEndFilter.h"

namespace vidorra::devices {

CFrontEndFilter::CFrontEndFilter(std::wstring name, REFCLSID clsid,
                                 const std::vector<AnalogPinDesc>& pins)
    : CBaseFilter(std::move(name), clsid) {
  for (const AnalogPinDesc& desc : pins) pins_.push_back(std::make_unique<CWirePin>(this, desc));
}

CBasePin* CFrontEndFilter::GetPin(int n) {
  if (n < 0 || n >= static_cast<int>(pins_.size())) return nullptr;
  return pins_[static_cast<size_t>(n)].get();
}

}  // namespace vidorra::devices
