// BSTR and VARIANT helpers.
#pragma once

#include <objidl.h>

#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)

BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR pbstr);

void VariantInit(VARIANTARG* pvarg);
HRESULT VariantClear(VARIANTARG* pvarg);
