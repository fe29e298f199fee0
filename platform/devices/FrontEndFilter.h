// CFrontEndFilter: the base of the analogue front-end filters of a capture card (crossbars,
// TV tuner, TV audio): a filter whose pins are wires (CWirePin), made from a table, in table
// order. They carry no samples, so the filter has no thread; it changes state like any filter.
#pragma once

#include <streams.h>

#include <memory>
#include <vector>

#include "DeviceBackend.h"
#include "WirePin.h"

namespace vidorra::devices {

// {8E3A5F20-1D4C-4B7A-9E61-5C2D7A0B3103}, -3104, -3105: the front-end filter classes.
DEFINE_GUID(CLSID_VidorraCrossbar, 0x8E3A5F20, 0x1D4C, 0x4B7A, 0x9E, 0x61, 0x5C, 0x2D, 0x7A, 0x0B,
            0x31, 0x03);
DEFINE_GUID(CLSID_VidorraTvTuner, 0x8E3A5F20, 0x1D4C, 0x4B7A, 0x9E, 0x61, 0x5C, 0x2D, 0x7A, 0x0B,
            0x31, 0x04);
DEFINE_GUID(CLSID_VidorraTvAudio, 0x8E3A5F20, 0x1D4C, 0x4B7A, 0x9E, 0x61, 0x5C, 0x2D, 0x7A, 0x0B,
            0x31, 0x05);

class CFrontEndFilter : public CBaseFilter {
 public:
  CFrontEndFilter(std::wstring name, REFCLSID clsid, const std::vector<AnalogPinDesc>& pins);

  int GetPinCount() override { return static_cast<int>(pins_.size()); }
  CBasePin* GetPin(int n) override;

 private:
  std::vector<std::unique_ptr<CWirePin>> pins_;
};

}  // namespace vidorra::devices
