// CCrossbarFilter; see CrossbarFilter.h.
#include "CrossbarFilter.h"

#include "PropertyPages.h"

namespace vidorra::devices {

namespace {

constexpr long kFirstAudioConnector = PhysConn_Audio_Tuner;

bool IsVideo(long physicalType) { return physicalType < kFirstAudioConnector; }

}  // namespace

CCrossbarFilter::CCrossbarFilter(std::wstring name, std::unique_ptr<CrossbarBackend> backend)
    : CFrontEndFilter(std::move(name), CLSID_VidorraCrossbar, WiresOf(backend->Pins())),
      backend_(std::move(backend)),
      pins_(backend_->Pins()) {
  for (const CrossbarPinDesc& pin : pins_) {
    (pin.pin.direction == PINDIR_INPUT ? inputs_ : outputs_)++;
  }
}

std::vector<AnalogPinDesc> CCrossbarFilter::WiresOf(const std::vector<CrossbarPinDesc>& pins) {
  std::vector<AnalogPinDesc> wires;
  for (const CrossbarPinDesc& pin : pins) wires.push_back(pin.pin);
  return wires;
}

HRESULT CCrossbarFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAMCrossbar) return GetInterface(static_cast<IAMCrossbar*>(this), ppv);
  if (riid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  }
  return CFrontEndFilter::NonDelegatingQueryInterface(riid, ppv);
}

const CrossbarPinDesc* CCrossbarFilter::PinDesc(bool input, long index) const {
  if (index < 0 || index >= (input ? inputs_ : outputs_)) return nullptr;
  return &pins_[static_cast<size_t>(input ? index : inputs_ + index)];
}

STDMETHODIMP CCrossbarFilter::get_PinCounts(long* OutputPinCount, long* InputPinCount) {
  if (!OutputPinCount || !InputPinCount) return E_POINTER;
  *OutputPinCount = outputs_;
  *InputPinCount = inputs_;
  return S_OK;
}

STDMETHODIMP CCrossbarFilter::CanRoute(long OutputPinIndex, long InputPinIndex) {
  const CrossbarPinDesc* output = PinDesc(false, OutputPinIndex);
  if (!output) return E_INVALIDARG;
  if (InputPinIndex == -1) return S_OK;
  const CrossbarPinDesc* input = PinDesc(true, InputPinIndex);
  if (!input) return E_INVALIDARG;
  if (IsVideo(input->physicalType) != IsVideo(output->physicalType)) return S_FALSE;
  return backend_->CanRoute(OutputPinIndex, InputPinIndex) ? S_OK : S_FALSE;
}

STDMETHODIMP CCrossbarFilter::Route(long OutputPinIndex, long InputPinIndex) {
  const HRESULT can = CanRoute(OutputPinIndex, InputPinIndex);
  if (FAILED(can)) return can;
  if (can != S_OK) return E_INVALIDARG;
  return backend_->Route(OutputPinIndex, InputPinIndex);
}

STDMETHODIMP CCrossbarFilter::get_IsRoutedTo(long OutputPinIndex, long* InputPinIndex) {
  if (!InputPinIndex) return E_POINTER;
  if (!PinDesc(false, OutputPinIndex)) return E_INVALIDARG;
  *InputPinIndex = backend_->RoutedTo(OutputPinIndex);
  return S_OK;
}

STDMETHODIMP CCrossbarFilter::get_CrossbarPinInfo(BOOL IsInputPin, long PinIndex,
                                                  long* PinIndexRelated, long* PhysicalType) {
  if (!PinIndexRelated || !PhysicalType) return E_POINTER;
  const CrossbarPinDesc* pin = PinDesc(IsInputPin != FALSE, PinIndex);
  if (!pin) return E_INVALIDARG;
  *PinIndexRelated = pin->related;
  *PhysicalType = pin->physicalType;
  return S_OK;
}

STDMETHODIMP CCrossbarFilter::GetPages(CAUUID* pPages) {
  return ListPages(pPages, {&CLSID_CrossbarPropertyPage});
}

}  // namespace vidorra::devices
