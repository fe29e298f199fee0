// CCrossbarFilter: a capture card's crossbar (IAMCrossbar) over a CrossbarBackend. Its pins
// are the backend's, inputs first in input-index order, then outputs. Routing rules kept here
// for every card: a video input goes only to a video output and a sound input only to a sound
// output (PhysicalConnectorType below 0x1000 is video); the backend says what its wiring
// allows beyond that. Routing the video does not move the sound: a caller that wants the
// related sound routes it too, as the related pin indexes tell.
//
// Threads: any; the backend guards the routes.
#pragma once

#include <streams.h>

#include <memory>
#include <vector>

#include "FrontEndFilter.h"

namespace vidorra::devices {

class CCrossbarFilter : public CFrontEndFilter, public IAMCrossbar, public ISpecifyPropertyPages {
 public:
  CCrossbarFilter(std::wstring name, std::unique_ptr<CrossbarBackend> backend);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ---- IAMCrossbar ----
  STDMETHODIMP get_PinCounts(long* OutputPinCount, long* InputPinCount) override;
  // S_OK when the input can feed the output, S_FALSE when not; E_INVALIDARG for an index out
  // of range.
  STDMETHODIMP CanRoute(long OutputPinIndex, long InputPinIndex) override;
  // InputPinIndex -1 leaves the output unconnected; E_INVALIDARG for a route CanRoute refuses.
  STDMETHODIMP Route(long OutputPinIndex, long InputPinIndex) override;
  STDMETHODIMP get_IsRoutedTo(long OutputPinIndex, long* InputPinIndex) override;
  STDMETHODIMP get_CrossbarPinInfo(BOOL IsInputPin, long PinIndex, long* PinIndexRelated,
                                   long* PhysicalType) override;

  // ---- ISpecifyPropertyPages ----
  STDMETHODIMP GetPages(CAUUID* pPages) override;

 private:
  static std::vector<AnalogPinDesc> WiresOf(const std::vector<CrossbarPinDesc>& pins);
  const CrossbarPinDesc* PinDesc(bool input, long index) const;

  const std::unique_ptr<CrossbarBackend> backend_;
  const std::vector<CrossbarPinDesc> pins_;
  long inputs_ = 0;
  long outputs_ = 0;
};

}  // namespace vidorra::devices
