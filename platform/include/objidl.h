// COM object interfaces: streams, persistence, monikers, the running object table, property
// bags, IDispatch and VARIANT.
#pragma once

#include <unknwn.h>

DEFINE_GUID(IID_ISequentialStream, 0x0C733A30, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44,
            0x77, 0x3D);
DEFINE_GUID(IID_IStream, 0x0000000C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IPersist, 0x0000010C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IPersistStream, 0x00000109, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x46);
DEFINE_GUID(IID_IMoniker, 0x0000000F, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IEnumMoniker, 0x00000102, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x46);
DEFINE_GUID(IID_IBindCtx, 0x0000000E, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IRunningObjectTable, 0x00000010, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x46);
DEFINE_GUID(IID_IPropertyBag, 0x55272A00, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8,
            0x51);
DEFINE_GUID(IID_IErrorLog, 0x3127CA40, 0x446E, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8,
            0x51);
DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(CLSID_ItemMoniker, 0x00000304, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x46);

// ---- VARIANT (what property bags and IDispatch need) ---------------------------------------

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
  VT_UI1 = 17,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
};

struct IDispatch;

typedef struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    ULONGLONG ullVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    SHORT iVal;
    BYTE bVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
  };
} VARIANT, VARIANTARG;

typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT (*pfnDeferredFillIn)(struct tagEXCEPINFO*);
  HRESULT scode;
} EXCEPINFO;

typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

struct ITypeInfo;

// Automation interface of the graph's control objects. The platform has no type libraries:
// its methods answer E_NOTIMPL; callers use the interfaces' own methods.
struct IDispatch : IUnknown {
  VIDORRA_INTERFACE(IID_IDispatch, IUnknown)
  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) PURE;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) PURE;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                           DISPID* rgDispId) PURE;
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                    DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                    UINT* puArgErr) PURE;
};

// ---- Streams -------------------------------------------------------------------------------

enum STREAM_SEEK { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum STATFLAG { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1 };
enum STGTY { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_LOCKBYTES = 3, STGTY_PROPERTY = 4 };
#define STGC_DEFAULT 0

typedef struct tagSTATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
} STATSTG;

struct ISequentialStream : IUnknown {
  VIDORRA_INTERFACE(IID_ISequentialStream, IUnknown)
  STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) PURE;
  STDMETHOD(Write)(const void* pv, ULONG cb, ULONG* pcbWritten) PURE;
};

struct IStream : ISequentialStream {
  VIDORRA_INTERFACE(IID_IStream, ISequentialStream)
  STDMETHOD(Seek)(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) PURE;
  STDMETHOD(SetSize)(ULARGE_INTEGER libNewSize) PURE;
  STDMETHOD(CopyTo)(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                    ULARGE_INTEGER* pcbWritten) PURE;
  STDMETHOD(Commit)(DWORD grfCommitFlags) PURE;
  STDMETHOD(Revert)() PURE;
  STDMETHOD(LockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) PURE;
  STDMETHOD(UnlockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) PURE;
  STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) PURE;
  STDMETHOD(Clone)(IStream** ppstm) PURE;
};
typedef IStream* LPSTREAM;

struct IPersist : IUnknown {
  VIDORRA_INTERFACE(IID_IPersist, IUnknown)
  STDMETHOD(GetClassID)(CLSID* pClassID) PURE;
};

struct IPersistStream : IPersist {
  VIDORRA_INTERFACE(IID_IPersistStream, IPersist)
  STDMETHOD(IsDirty)() PURE;
  STDMETHOD(Load)(IStream* pStm) PURE;
  STDMETHOD(Save)(IStream* pStm, BOOL fClearDirty) PURE;
  STDMETHOD(GetSizeMax)(ULARGE_INTEGER* pcbSize) PURE;
};
typedef IPersistStream* LPPERSISTSTREAM;

// ---- Monikers ------------------------------------------------------------------------------

struct IMoniker;
struct IEnumMoniker;

// Bind contexts are accepted as arguments and may be null; the platform creates none.
struct IBindCtx : IUnknown {
  VIDORRA_INTERFACE(IID_IBindCtx, IUnknown)
};

struct IMoniker : IPersistStream {
  VIDORRA_INTERFACE(IID_IMoniker, IPersistStream)
  STDMETHOD(BindToObject)(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult,
                          void** ppvResult) PURE;
  STDMETHOD(BindToStorage)(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) PURE;
  STDMETHOD(Reduce)(IBindCtx* pbc, DWORD dwReduceHowFar, IMoniker** ppmkToLeft,
                    IMoniker** ppmkReduced) PURE;
  STDMETHOD(ComposeWith)(IMoniker* pmkRight, BOOL fOnlyIfNotGeneric,
                         IMoniker** ppmkComposite) PURE;
  STDMETHOD(Enum)(BOOL fForward, IEnumMoniker** ppenumMoniker) PURE;
  STDMETHOD(IsEqual)(IMoniker* pmkOtherMoniker) PURE;
  STDMETHOD(Hash)(DWORD* pdwHash) PURE;
  STDMETHOD(IsRunning)(IBindCtx* pbc, IMoniker* pmkToLeft, IMoniker* pmkNewlyRunning) PURE;
  STDMETHOD(GetTimeOfLastChange)(IBindCtx* pbc, IMoniker* pmkToLeft, FILETIME* pFileTime) PURE;
  STDMETHOD(Inverse)(IMoniker** ppmk) PURE;
  STDMETHOD(CommonPrefixWith)(IMoniker* pmkOther, IMoniker** ppmkPrefix) PURE;
  STDMETHOD(RelativePathTo)(IMoniker* pmkOther, IMoniker** ppmkRelPath) PURE;
  STDMETHOD(GetDisplayName)(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) PURE;
  STDMETHOD(ParseDisplayName)(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR pszDisplayName,
                              ULONG* pchEaten, IMoniker** ppmkOut) PURE;
  STDMETHOD(IsSystemMoniker)(DWORD* pdwMksys) PURE;
};
typedef IMoniker* LPMONIKER;

struct IEnumMoniker : IUnknown {
  VIDORRA_INTERFACE(IID_IEnumMoniker, IUnknown)
  STDMETHOD(Next)(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) PURE;
  STDMETHOD(Skip)(ULONG celt) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumMoniker** ppenum) PURE;
};

#define ROTFLAGS_REGISTRATIONKEEPSALIVE 0x1
#define ROTFLAGS_ALLOWANYCLIENT 0x2

struct IRunningObjectTable : IUnknown {
  VIDORRA_INTERFACE(IID_IRunningObjectTable, IUnknown)
  STDMETHOD(Register)(DWORD grfFlags, IUnknown* punkObject, IMoniker* pmkObjectName,
                      DWORD* pdwRegister) PURE;
  STDMETHOD(Revoke)(DWORD dwRegister) PURE;
  STDMETHOD(IsRunning)(IMoniker* pmkObjectName) PURE;
  STDMETHOD(GetObject)(IMoniker* pmkObjectName, IUnknown** ppunkObject) PURE;
  STDMETHOD(NoteChangeTime)(DWORD dwRegister, FILETIME* pfiletime) PURE;
  STDMETHOD(GetTimeOfLastChange)(IMoniker* pmkObjectName, FILETIME* pfiletime) PURE;
  STDMETHOD(EnumRunning)(IEnumMoniker** ppenumMoniker) PURE;
};
typedef IRunningObjectTable* LPRUNNINGOBJECTTABLE;

// ---- Property bags -------------------------------------------------------------------------

struct IErrorLog : IUnknown {
  VIDORRA_INTERFACE(IID_IErrorLog, IUnknown)
  STDMETHOD(AddError)(LPCOLESTR pszPropName, EXCEPINFO* pExcepInfo) PURE;
};

struct IPropertyBag : IUnknown {
  VIDORRA_INTERFACE(IID_IPropertyBag, IUnknown)
  STDMETHOD(Read)(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) PURE;
  STDMETHOD(Write)(LPCOLESTR pszPropName, VARIANT* pVar) PURE;
};
