// DispatchWithoutTypeInfo: the IDispatch part of a dual interface (IBasicAudio, IVideoWindow...)
// on a platform without type libraries. Scripting by name is not offered: every IDispatch
// method answers E_NOTIMPL and clears its out-parameters; the interface's own methods are
// left to the filter.
#pragma once

#include <objidl.h>

template <class Interface>
class DispatchWithoutTypeInfo : public Interface {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo) *pctinfo = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }
};
