// IUnknown of a pin that implements an interface of its own besides those of its base pin
// class: every inherited IUnknown goes to the pin's NonDelegatingQueryInterface and to the
// reference count of the pin's filter (a pin lives as long as its filter).
//
//   class CMyPin : public CBaseInputPin, public IMyInterface {
//    public:
//     DECLARE_PIN_IUNKNOWN
//     HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
//   };
#pragma once

#define DECLARE_PIN_IUNKNOWN                                         \
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {    \
    return NonDelegatingQueryInterface(riid, ppv);                   \
  }                                                                  \
  STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); } \
  STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }
