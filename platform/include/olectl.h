// OLE controls: the property frame.
#pragma once

#include <ocidl.h>

// Shows a modal frame owned by hwndOwner, with one tab per page of pPageClsID (created by
// CoCreateInstance, given the cObjects objects of ppUnk), and the buttons OK, Annuler and
// Appliquer; returns when the user closes it. A page that cannot be created or activated is
// left out. S_OK when the frame was shown (whatever button closed it); E_INVALIDARG for bad
// arguments; E_FAIL when no page could be shown. Must be called on the thread that owns the
// owner window (the user-interface thread).
HRESULT OleCreatePropertyFrame(HWND hwndOwner, UINT x, UINT y, LPCOLESTR lpszCaption,
                               ULONG cObjects, IUnknown** ppUnk, ULONG cPages,
                               const CLSID* pPageClsID, LCID lcid, DWORD dwReserved,
                               LPVOID pvReserved);
