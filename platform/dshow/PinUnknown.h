// For a pin that implements an interface more than its base pin (a status or property
// interface): IUnknown of every base goes to the pin's NonDelegatingQueryInterface and to its
// filter's reference count, as for any pin. Put in the pin's class body:
//
//   class CMyPin : public CBaseInputPin, public IPropertyBag {
//    public:
//     DECLARE_PIN_IUNKNOWN(CBaseInputPin)
//     HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
#pragma once

#define DECLARE_PIN_IUNKNOWN(BasePin)                                   \
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {       \
    return NonDelegatingQueryInterface(riid, ppv);                      \
  }                                                                     \
  STDMETHODIMP_(ULONG) AddRef() override { return BasePin::AddRef(); }  \
  STDMETHODIMP_(ULONG) Release() override { return BasePin::Release(); }
