// Property pages: the COM objects a property frame shows, one tab each, for the objects it is
// given (filters, pins, device interfaces).
//
// A page is created by its CLSID (ISpecifyPropertyPages::GetPages lists them), given its site
// and objects (SetPageSite, SetObjects), then Activate creates its controls as a child of the
// frame's window handle; Apply writes the controls' values to the objects, IsPageDirty tells
// whether there is anything to apply; Deactivate destroys the controls. Every call is made on
// the thread that owns the frame's window.
#pragma once

#include <objidl.h>
#include <winuser.h>

DEFINE_GUID(IID_IPropertyPageSite, 0xB196B28C, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34,
            0x1D, 0x07);
DEFINE_GUID(IID_IPropertyPage, 0xB196B28D, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34,
            0x1D, 0x07);

typedef struct tagMSG MSG;
typedef const RECT* LPCRECT;

// pszTitle, pszDocString and pszHelpFile are allocated with CoTaskMemAlloc by the page and
// freed by the caller.
typedef struct tagPROPPAGEINFO {
  ULONG cb;
  LPOLESTR pszTitle;
  SIZE size;
  LPOLESTR pszDocString;
  LPOLESTR pszHelpFile;
  DWORD dwHelpContext;
} PROPPAGEINFO;

#define PROPPAGESTATUS_DIRTY 0x01
#define PROPPAGESTATUS_VALIDATE 0x02
#define PROPPAGESTATUS_CLEAN 0x04

#define SW_HIDE 0
#define SW_SHOW 5
#define SW_SHOWNORMAL 1

struct IPropertyPageSite : IUnknown {
  VIDORRA_INTERFACE(IID_IPropertyPageSite, IUnknown)
  // The page's controls changed (PROPPAGESTATUS_DIRTY) or were applied (CLEAN).
  STDMETHOD(OnStatusChange)(DWORD dwFlags) PURE;
  STDMETHOD(GetLocaleID)(LCID* pLocaleID) PURE;
  STDMETHOD(GetPageContainer)(IUnknown** ppUnk) PURE;
  STDMETHOD(TranslateAccelerator)(MSG* pMsg) PURE;
};

struct IPropertyPage : IUnknown {
  VIDORRA_INTERFACE(IID_IPropertyPage, IUnknown)
  STDMETHOD(SetPageSite)(IPropertyPageSite* pPageSite) PURE;
  STDMETHOD(Activate)(HWND hWndParent, LPCRECT pRect, BOOL bModal) PURE;
  STDMETHOD(Deactivate)() PURE;
  STDMETHOD(GetPageInfo)(PROPPAGEINFO* pPageInfo) PURE;
  // cObjects == 0 releases the objects the page holds.
  STDMETHOD(SetObjects)(ULONG cObjects, IUnknown** ppUnk) PURE;
  STDMETHOD(Show)(UINT nCmdShow) PURE;
  STDMETHOD(Move)(LPCRECT pRect) PURE;
  // S_OK when the controls hold values not yet applied, S_FALSE otherwise.
  STDMETHOD(IsPageDirty)() PURE;
  STDMETHOD(Apply)() PURE;
  STDMETHOD(Help)(LPCOLESTR pszHelpDir) PURE;
  STDMETHOD(TranslateAccelerator)(MSG* pMsg) PURE;
};
