// CFrontEndFilter; see FrontEndFilter.h.
#include "FrontEndFilter.h"

namespace vidorra::devices {

CFrontEndFilter::CFrontEndFilter(std::wstring name, REFCLSID clsid,
                                 const std::vector<AnalogPinSpec>& pins)
    : CBaseFilter(std::move(name), clsid) {
  for (const AnalogPinSpec& spec : pins) pins_.push_back(std::make_unique<CWirePin>(this, spec));
}

CBasePin* CFrontEndFilter::GetPin(int n) {
  if (n < 0 || n >= static_cast<int>(pins_.size())) return nullptr;
  return pins_[static_cast<size_t>(n)].get();
}

}  // namespace vidorra::devices
