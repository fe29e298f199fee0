// COM run-time: initialisation, object creation, task memory, GUID strings, memory streams,
// stream persistence, item monikers and the running object table.
#pragma once

#include <objidl.h>
#include <oleauto.h>

enum CLSCTX : DWORD {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
  CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
  CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
               CLSCTX_REMOTE_SERVER,
};

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

LPVOID CoTaskMemAlloc(SIZE_T cb);
void CoTaskMemFree(LPVOID pv);

// GUID text form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);

// A stream over growable memory. With hGlobal null the stream allocates its own memory.
HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm);

HRESULT ReadClassStm(LPSTREAM pStm, CLSID* pclsid);
HRESULT WriteClassStm(LPSTREAM pStm, REFCLSID rclsid);
// Writes the object's CLSID, then the object's own state (IPersistStream::Save).
HRESULT OleSaveToStream(LPPERSISTSTREAM pPStm, LPSTREAM pStm);
// Reads a CLSID, creates that class and loads its state (IPersistStream::Load).
HRESULT OleLoadFromStream(LPSTREAM pStm, REFIID iidInterface, LPVOID* ppvObj);

// Success code of IRunningObjectTable::Register when an equal moniker is already registered.
#define MK_S_MONIKERALREADYREGISTERED ((HRESULT)0x000401E7)

HRESULT CreateItemMoniker(LPCOLESTR lpszDelim, LPCOLESTR lpszItem, LPMONIKER* ppmk);
HRESULT GetRunningObjectTable(DWORD reserved, LPRUNNINGOBJECTTABLE* pprot);

DWORD GetCurrentProcessId();
