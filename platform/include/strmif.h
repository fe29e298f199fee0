// DirectShow interfaces: filters, pins, graphs, samples, allocators, clocks and the capture
// device interfaces.
#pragma once

#include <objidl.h>
#include <mmreg.h>
#include <uuids.h>
#include <wingdi.h>

DEFINE_GUID(IID_IPin, 0x56A86891, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
DEFINE_GUID(IID_IEnumPins, 0x56A86892, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IEnumFilters, 0x56A86893, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IBaseFilter, 0x56A86895, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IReferenceClock, 0x56A86897, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IMediaFilter, 0x56A86899, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMediaSample, 0x56A8689A, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMemAllocator, 0x56A8689C, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMemInputPin, 0x56A8689D, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IFilterGraph, 0x56A8689F, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMediaEventSink, 0x56A868A2, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IFileSourceFilter, 0x56A868A6, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IGraphBuilder, 0x56A868A9, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IEnumMediaTypes, 0x89C31040, 0x846B, 0x11CE, 0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55,
            0x59, 0x5A);
DEFINE_GUID(IID_IFilterGraph2, 0x36B73882, 0xC2C8, 0x11CF, 0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF,
            0x60);
DEFINE_GUID(IID_ICaptureGraphBuilder2, 0x93E5A4E0, 0x2D50, 0x11D2, 0xAB, 0xFA, 0x00, 0xA0, 0xC9,
            0xC6, 0xE3, 0x8D);
DEFINE_GUID(IID_ICreateDevEnum, 0x29840822, 0x5B84, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11,
            0xCE, 0x86);
DEFINE_GUID(IID_IAMStreamConfig, 0xC6E13340, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11,
            0x89, 0x56);
DEFINE_GUID(IID_IAMVideoCompression, 0xC6E13343, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9,
            0x11, 0x89, 0x56);
DEFINE_GUID(IID_IAMDroppedFrames, 0xC6E13344, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11,
            0x89, 0x56);
DEFINE_GUID(IID_IAMVideoProcAmp, 0xC6E13360, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11,
            0x89, 0x56);
DEFINE_GUID(IID_IAMCameraControl, 0xC6E13370, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11,
            0x89, 0x56);
DEFINE_GUID(IID_IAMCrossbar, 0xC6E13380, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89,
            0x56);
DEFINE_GUID(IID_IAMTunerNotification, 0x211A8760, 0x03AC, 0x11D1, 0x8D, 0x13, 0x00, 0xAA, 0x00,
            0xBD, 0x83, 0x39);
DEFINE_GUID(IID_IAMTuner, 0x211A8761, 0x03AC, 0x11D1, 0x8D, 0x13, 0x00, 0xAA, 0x00, 0xBD, 0x83,
            0x39);
DEFINE_GUID(IID_IAMTVTuner, 0x211A8766, 0x03AC, 0x11D1, 0x8D, 0x13, 0x00, 0xAA, 0x00, 0xBD, 0x83,
            0x39);
DEFINE_GUID(IID_IAMTVAudio, 0x83EC1C30, 0x23D1, 0x11D1, 0x99, 0xE6, 0x00, 0xA0, 0xC9, 0x56, 0x02,
            0x66);
DEFINE_GUID(IID_IAMAnalogVideoDecoder, 0xC6E13350, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9,
            0x11, 0x89, 0x56);
DEFINE_GUID(IID_IAMVfwCaptureDialogs, 0xD8D715A0, 0x6E5E, 0x11D0, 0xB3, 0xF0, 0x00, 0xAA, 0x00,
            0x37, 0x61, 0xC5);
DEFINE_GUID(IID_IKsPropertySet, 0x31EFAC30, 0x515C, 0x11D0, 0xA9, 0xAA, 0x00, 0xAA, 0x00, 0x61,
            0xBE, 0x93);
DEFINE_GUID(IID_ISpecifyPropertyPages, 0xB196B28B, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00,
            0x34, 0x1D, 0x07);
DEFINE_GUID(IID_IConfigAviMux, 0x5ACD6AA0, 0xF482, 0x11CE, 0x8B, 0x67, 0x00, 0xAA, 0x00, 0xA3, 0xF1,
            0xA6);
DEFINE_GUID(IID_IConfigInterleaving, 0xBEE3D220, 0x157B, 0x11D0, 0xBD, 0x23, 0x00, 0xA0, 0xC9,
            0x11, 0xCE, 0x86);
DEFINE_GUID(IID_IFileSinkFilter, 0xA2104830, 0x7C70, 0x11CF, 0x8B, 0xCE, 0x00, 0xAA, 0x00, 0xA3,
            0xF1, 0xA6);
DEFINE_GUID(IID_IDVEnc, 0xD18E17A0, 0xAACB, 0x11D0, 0xAF, 0xB0, 0x00, 0xAA, 0x00, 0xB6, 0x7A,
            0x42);
DEFINE_GUID(IID_IIPDVDec, 0xB8E8BD60, 0x0BFE, 0x11D0, 0xAF, 0x91, 0x00, 0xAA, 0x00, 0xB6, 0x7A,
            0x42);
DEFINE_GUID(IID_IDvdGraphBuilder, 0xFCC152B6, 0xF372, 0x11D0, 0x8E, 0x00, 0x00, 0xC0, 0x4F, 0xD7,
            0xC0, 0x8B);

// ---- Structures ----------------------------------------------------------------------------

// In-memory media type. Its persisted 32-bit layout (72 bytes) is written field by field by
// the code that stores it, never by copying this struct.
typedef struct _AMMediaType {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  IUnknown* pUnk;
  ULONG cbFormat;
  BYTE* pbFormat;
} AM_MEDIA_TYPE;

typedef enum _PinDirection { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 } PIN_DIRECTION;

typedef enum _FilterState { State_Stopped = 0, State_Paused = 1, State_Running = 2 } FILTER_STATE;

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

struct IBaseFilter;
struct IFilterGraph;
struct IPin;
struct IEnumMediaTypes;
struct IReferenceClock;
struct IMediaSample;

typedef struct _PinInfo {
  IBaseFilter* pFilter;  // holds a reference the caller releases
  PIN_DIRECTION dir;
  WCHAR achName[MAX_PIN_NAME];
} PIN_INFO;

typedef struct _FilterInfo {
  WCHAR achName[MAX_FILTER_NAME];
  IFilterGraph* pGraph;  // holds a reference the caller releases (may be null)
} FILTER_INFO;

typedef struct _AllocatorProperties {
  long cBuffers;
  long cbBuffer;
  long cbAlign;
  long cbPrefix;
} ALLOCATOR_PROPERTIES;

typedef struct tagCAUUID {
  ULONG cElems;
  GUID* pElems;
} CAUUID;

// DV stream description: the payloads of the AAUX and VAUX source and control packs.
typedef struct tag_DVINFO {
  DWORD dwDVAAuxSrc;
  DWORD dwDVAAuxCtl;
  DWORD dwDVAAuxSrc1;
  DWORD dwDVAAuxCtl1;
  DWORD dwDVVAuxSrc;
  DWORD dwDVVAuxCtl;
  DWORD dwDVReserved[2];
} DVINFO, *PDVINFO;
static_assert(sizeof(DVINFO) == 32, "DVINFO is 32 bytes");

// Filter merits: intelligent connect and Render try filters of higher merit first and never
// use one at or below MERIT_DO_NOT_USE.
#define MERIT_PREFERRED 0x800000
#define MERIT_NORMAL 0x600000
#define MERIT_UNLIKELY 0x400000
#define MERIT_DO_NOT_USE 0x200000
#define MERIT_SW_COMPRESSOR 0x100000
#define MERIT_HW_COMPRESSOR 0x100050

// IFilterGraph2::RenderEx flag: render only to renderers already in the graph.
#define AM_RENDEREX_RENDERTOEXISTINGRENDERERS 0x01

#define AM_GBF_PREVFRAMESKIPPED 1
#define AM_GBF_NOTASYNCPOINT 2
#define AM_GBF_NOWAIT 4

// ---- Core interfaces -----------------------------------------------------------------------

struct IPin : IUnknown {
  VIDORRA_INTERFACE(IID_IPin, IUnknown)
  STDMETHOD(Connect)(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) PURE;
  STDMETHOD(ReceiveConnection)(IPin* pConnector, const AM_MEDIA_TYPE* pmt) PURE;
  STDMETHOD(Disconnect)() PURE;
  STDMETHOD(ConnectedTo)(IPin** pPin) PURE;
  STDMETHOD(ConnectionMediaType)(AM_MEDIA_TYPE* pmt) PURE;
  STDMETHOD(QueryPinInfo)(PIN_INFO* pInfo) PURE;
  STDMETHOD(QueryDirection)(PIN_DIRECTION* pPinDir) PURE;
  STDMETHOD(QueryId)(LPWSTR* Id) PURE;
  STDMETHOD(QueryAccept)(const AM_MEDIA_TYPE* pmt) PURE;
  STDMETHOD(EnumMediaTypes)(IEnumMediaTypes** ppEnum) PURE;
  STDMETHOD(QueryInternalConnections)(IPin** apPin, ULONG* nPin) PURE;
  STDMETHOD(EndOfStream)() PURE;
  STDMETHOD(BeginFlush)() PURE;
  STDMETHOD(EndFlush)() PURE;
  STDMETHOD(NewSegment)(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) PURE;
};

struct IEnumPins : IUnknown {
  VIDORRA_INTERFACE(IID_IEnumPins, IUnknown)
  STDMETHOD(Next)(ULONG cPins, IPin** ppPins, ULONG* pcFetched) PURE;
  STDMETHOD(Skip)(ULONG cPins) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumPins** ppEnum) PURE;
};

struct IEnumMediaTypes : IUnknown {
  VIDORRA_INTERFACE(IID_IEnumMediaTypes, IUnknown)
  // Each returned type is allocated with CoTaskMemAlloc (DeleteMediaType frees it).
  STDMETHOD(Next)(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) PURE;
  STDMETHOD(Skip)(ULONG cMediaTypes) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumMediaTypes** ppEnum) PURE;
};

struct IMediaFilter : IPersist {
  VIDORRA_INTERFACE(IID_IMediaFilter, IPersist)
  STDMETHOD(Stop)() PURE;
  STDMETHOD(Pause)() PURE;
  STDMETHOD(Run)(REFERENCE_TIME tStart) PURE;
  STDMETHOD(GetState)(DWORD dwMilliSecsTimeout, FILTER_STATE* State) PURE;
  STDMETHOD(SetSyncSource)(IReferenceClock* pClock) PURE;
  STDMETHOD(GetSyncSource)(IReferenceClock** pClock) PURE;
};

struct IBaseFilter : IMediaFilter {
  VIDORRA_INTERFACE(IID_IBaseFilter, IMediaFilter)
  STDMETHOD(EnumPins)(IEnumPins** ppEnum) PURE;
  STDMETHOD(FindPin)(LPCWSTR Id, IPin** ppPin) PURE;
  STDMETHOD(QueryFilterInfo)(FILTER_INFO* pInfo) PURE;
  STDMETHOD(JoinFilterGraph)(IFilterGraph* pGraph, LPCWSTR pName) PURE;
  STDMETHOD(QueryVendorInfo)(LPWSTR* pVendorInfo) PURE;
};

struct IEnumFilters : IUnknown {
  VIDORRA_INTERFACE(IID_IEnumFilters, IUnknown)
  STDMETHOD(Next)(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) PURE;
  STDMETHOD(Skip)(ULONG cFilters) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumFilters** ppEnum) PURE;
};

struct IFilterGraph : IUnknown {
  VIDORRA_INTERFACE(IID_IFilterGraph, IUnknown)
  STDMETHOD(AddFilter)(IBaseFilter* pFilter, LPCWSTR pName) PURE;
  STDMETHOD(RemoveFilter)(IBaseFilter* pFilter) PURE;
  STDMETHOD(EnumFilters)(IEnumFilters** ppEnum) PURE;
  STDMETHOD(FindFilterByName)(LPCWSTR pName, IBaseFilter** ppFilter) PURE;
  STDMETHOD(ConnectDirect)(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) PURE;
  STDMETHOD(Reconnect)(IPin* ppin) PURE;
  STDMETHOD(Disconnect)(IPin* ppin) PURE;
  STDMETHOD(SetDefaultSyncSource)() PURE;
};

struct IGraphBuilder : IFilterGraph {
  VIDORRA_INTERFACE(IID_IGraphBuilder, IFilterGraph)
  STDMETHOD(Connect)(IPin* ppinOut, IPin* ppinIn) PURE;
  STDMETHOD(Render)(IPin* ppinOut) PURE;
  STDMETHOD(RenderFile)(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) PURE;
  STDMETHOD(AddSourceFilter)(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                             IBaseFilter** ppFilter) PURE;
  // hFile: a file descriptor on this platform, or 0 to stop logging.
  STDMETHOD(SetLogFile)(DWORD_PTR hFile) PURE;
  STDMETHOD(Abort)() PURE;
  STDMETHOD(ShouldOperationContinue)() PURE;
};

struct IFilterGraph2 : IGraphBuilder {
  VIDORRA_INTERFACE(IID_IFilterGraph2, IGraphBuilder)
  STDMETHOD(AddSourceFilterForMoniker)(IMoniker* pMoniker, IBindCtx* pCtx, LPCWSTR lpcwstrFilterName,
                                       IBaseFilter** ppFilter) PURE;
  STDMETHOD(ReconnectEx)(IPin* ppin, const AM_MEDIA_TYPE* pmt) PURE;
  STDMETHOD(RenderEx)(IPin* pPinOut, DWORD dwFlags, DWORD* pvContext) PURE;
};

// Filters send events to their graph through this interface of the graph manager.
struct IMediaEventSink : IUnknown {
  VIDORRA_INTERFACE(IID_IMediaEventSink, IUnknown)
  STDMETHOD(Notify)(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) PURE;
};

struct IMediaSample : IUnknown {
  VIDORRA_INTERFACE(IID_IMediaSample, IUnknown)
  STDMETHOD(GetPointer)(BYTE** ppBuffer) PURE;
  STDMETHOD_(long, GetSize)() PURE;
  STDMETHOD(GetTime)(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) PURE;
  STDMETHOD(SetTime)(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) PURE;
  STDMETHOD(IsSyncPoint)() PURE;
  STDMETHOD(SetSyncPoint)(BOOL bIsSyncPoint) PURE;
  STDMETHOD(IsPreroll)() PURE;
  STDMETHOD(SetPreroll)(BOOL bIsPreroll) PURE;
  STDMETHOD_(long, GetActualDataLength)() PURE;
  STDMETHOD(SetActualDataLength)(long length) PURE;
  STDMETHOD(GetMediaType)(AM_MEDIA_TYPE** ppMediaType) PURE;
  STDMETHOD(SetMediaType)(AM_MEDIA_TYPE* pMediaType) PURE;
  STDMETHOD(IsDiscontinuity)() PURE;
  STDMETHOD(SetDiscontinuity)(BOOL bDiscontinuity) PURE;
  STDMETHOD(GetMediaTime)(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) PURE;
  STDMETHOD(SetMediaTime)(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) PURE;
};

struct IMemAllocator : IUnknown {
  VIDORRA_INTERFACE(IID_IMemAllocator, IUnknown)
  STDMETHOD(SetProperties)(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) PURE;
  STDMETHOD(GetProperties)(ALLOCATOR_PROPERTIES* pProps) PURE;
  STDMETHOD(Commit)() PURE;
  STDMETHOD(Decommit)() PURE;
  STDMETHOD(GetBuffer)(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                       REFERENCE_TIME* pEndTime, DWORD dwFlags) PURE;
  STDMETHOD(ReleaseBuffer)(IMediaSample* pBuffer) PURE;
};

struct IMemInputPin : IUnknown {
  VIDORRA_INTERFACE(IID_IMemInputPin, IUnknown)
  STDMETHOD(GetAllocator)(IMemAllocator** ppAllocator) PURE;
  STDMETHOD(NotifyAllocator)(IMemAllocator* pAllocator, BOOL bReadOnly) PURE;
  STDMETHOD(GetAllocatorRequirements)(ALLOCATOR_PROPERTIES* pProps) PURE;
  STDMETHOD(Receive)(IMediaSample* pSample) PURE;
  STDMETHOD(ReceiveMultiple)(IMediaSample** pSamples, long nSamples, long* nSamplesProcessed) PURE;
  STDMETHOD(ReceiveCanBlock)() PURE;
};

// Times are in 100-ns units (REFERENCE_TIME).
struct IReferenceClock : IUnknown {
  VIDORRA_INTERFACE(IID_IReferenceClock, IUnknown)
  STDMETHOD(GetTime)(REFERENCE_TIME* pTime) PURE;
  // Sets the event (an event HANDLE) once baseTime + streamTime is reached.
  STDMETHOD(AdviseTime)(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                        DWORD_PTR* pdwAdviseCookie) PURE;
  // Releases the semaphore (a semaphore HANDLE) at startTime and every period after it.
  STDMETHOD(AdvisePeriodic)(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                            HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) PURE;
  STDMETHOD(Unadvise)(DWORD_PTR dwAdviseCookie) PURE;
};

// ---- Device and configuration interfaces ---------------------------------------------------

// IKsPropertySet failures: unknown property set, unknown property of a known set.
#define E_PROP_SET_UNSUPPORTED ((HRESULT)0x80070490)
#define E_PROP_ID_UNSUPPORTED ((HRESULT)0x80070492)
#define KSPROPERTY_SUPPORT_GET 1
#define KSPROPERTY_SUPPORT_SET 2
enum AMPROPERTY_PIN { AMPROPERTY_PIN_CATEGORY = 0, AMPROPERTY_PIN_MEDIUM = 1 };

// A pin medium: the physical connection a device pin sits on. Two pins of the same device that
// are wired together report the same Set and Id; the capture graph builder uses this to find
// and connect the crossbar, TV tuner and TV audio filters that feed a capture filter. A pin
// answers AMPROPERTY_PIN_MEDIUM with one KSPIN_MEDIUM (24 bytes).
typedef struct {
  GUID Set;
  DWORD Id;
  DWORD Flags;
} KSPIN_MEDIUM;
static_assert(sizeof(KSPIN_MEDIUM) == 24, "KSPIN_MEDIUM is 24 bytes");
// The medium of a pin that may connect to any other: never used to match pins.
DEFINE_GUID(KSMEDIUMSETID_Standard, 0x4747B320, 0x62CE, 0x11CF, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1,
            0x00, 0x00);

struct IKsPropertySet : IUnknown {
  VIDORRA_INTERFACE(IID_IKsPropertySet, IUnknown)
  STDMETHOD(Set)(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                 LPVOID pPropData, DWORD cbPropData) PURE;
  STDMETHOD(Get)(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                 LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) PURE;
  STDMETHOD(QuerySupported)(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) PURE;
};

struct IAMStreamConfig : IUnknown {
  VIDORRA_INTERFACE(IID_IAMStreamConfig, IUnknown)
  STDMETHOD(SetFormat)(AM_MEDIA_TYPE* pmt) PURE;
  STDMETHOD(GetFormat)(AM_MEDIA_TYPE** ppmt) PURE;
  STDMETHOD(GetNumberOfCapabilities)(int* piCount, int* piSize) PURE;
  STDMETHOD(GetStreamCaps)(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) PURE;
};

// What a capture pin can produce for one of the types GetStreamCaps lists (the SDK layout).
typedef struct _VIDEO_STREAM_CONFIG_CAPS {
  GUID guid;  // FORMAT_VideoInfo, FORMAT_DvInfo ...
  ULONG VideoStandard;  // AnalogVideoStandard bits
  SIZE InputSize;
  SIZE MinCroppingSize;
  SIZE MaxCroppingSize;
  int CropGranularityX;
  int CropGranularityY;
  int CropAlignX;
  int CropAlignY;
  SIZE MinOutputSize;
  SIZE MaxOutputSize;
  int OutputGranularityX;
  int OutputGranularityY;
  int StretchTapsX;
  int StretchTapsY;
  int ShrinkTapsX;
  int ShrinkTapsY;
  LONGLONG MinFrameInterval;  // 100-ns units
  LONGLONG MaxFrameInterval;
  LONG MinBitsPerSecond;
  LONG MaxBitsPerSecond;
} VIDEO_STREAM_CONFIG_CAPS;

typedef struct _AUDIO_STREAM_CONFIG_CAPS {
  GUID guid;  // MEDIATYPE_Audio
  ULONG MinimumChannels;
  ULONG MaximumChannels;
  ULONG ChannelsGranularity;
  ULONG MinimumBitsPerSample;
  ULONG MaximumBitsPerSample;
  ULONG BitsPerSampleGranularity;
  ULONG MinimumSampleFrequency;
  ULONG MaximumSampleFrequency;
  ULONG SampleFrequencyGranularity;
} AUDIO_STREAM_CONFIG_CAPS;

typedef enum tagAnalogVideoStandard {
  AnalogVideo_None = 0,
  AnalogVideo_NTSC_M = 0x1,
  AnalogVideo_NTSC_M_J = 0x2,
  AnalogVideo_NTSC_433 = 0x4,
  AnalogVideo_PAL_B = 0x10,
  AnalogVideo_PAL_D = 0x20,
  AnalogVideo_PAL_G = 0x40,
  AnalogVideo_PAL_H = 0x80,
  AnalogVideo_PAL_I = 0x100,
  AnalogVideo_PAL_M = 0x200,
  AnalogVideo_PAL_N = 0x400,
  AnalogVideo_PAL_60 = 0x800,
  AnalogVideo_SECAM_B = 0x1000,
  AnalogVideo_SECAM_D = 0x2000,
  AnalogVideo_SECAM_G = 0x4000,
  AnalogVideo_SECAM_H = 0x8000,
  AnalogVideo_SECAM_K = 0x10000,
  AnalogVideo_SECAM_K1 = 0x20000,
  AnalogVideo_SECAM_L = 0x40000,
  AnalogVideo_SECAM_L1 = 0x80000,
  AnalogVideo_PAL_N_COMBO = 0x100000,
} AnalogVideoStandard;

typedef enum tagPhysicalConnectorType {
  PhysConn_Video_Tuner = 1,
  PhysConn_Video_Composite = 2,
  PhysConn_Video_SVideo = 3,
  PhysConn_Video_RGB = 4,
  PhysConn_Video_YRYBY = 5,
  PhysConn_Video_SerialDigital = 6,
  PhysConn_Video_ParallelDigital = 7,
  PhysConn_Video_SCSI = 8,
  PhysConn_Video_AUX = 9,
  PhysConn_Video_1394 = 10,
  PhysConn_Video_USB = 11,
  PhysConn_Video_VideoDecoder = 12,
  PhysConn_Video_VideoEncoder = 13,
  PhysConn_Video_SCART = 14,
  PhysConn_Video_Black = 15,
  PhysConn_Audio_Tuner = 0x1000,
  PhysConn_Audio_Line = 0x1001,
  PhysConn_Audio_Mic = 0x1002,
  PhysConn_Audio_AESDigital = 0x1003,
  PhysConn_Audio_SPDIFDigital = 0x1004,
  PhysConn_Audio_SCSI = 0x1005,
  PhysConn_Audio_AUX = 0x1006,
  PhysConn_Audio_1394 = 0x1007,
  PhysConn_Audio_USB = 0x1008,
  PhysConn_Audio_AudioDecoder = 0x1009,
} PhysicalConnectorType;

struct IAMCrossbar : IUnknown {
  VIDORRA_INTERFACE(IID_IAMCrossbar, IUnknown)
  STDMETHOD(get_PinCounts)(long* OutputPinCount, long* InputPinCount) PURE;
  STDMETHOD(CanRoute)(long OutputPinIndex, long InputPinIndex) PURE;
  STDMETHOD(Route)(long OutputPinIndex, long InputPinIndex) PURE;
  STDMETHOD(get_IsRoutedTo)(long OutputPinIndex, long* InputPinIndex) PURE;
  STDMETHOD(get_CrossbarPinInfo)(BOOL IsInputPin, long PinIndex, long* PinIndexRelated,
                                 long* PhysicalType) PURE;
};

typedef enum tagAMTunerModeType {
  AMTUNER_MODE_DEFAULT = 0,
  AMTUNER_MODE_TV = 0x1,
  AMTUNER_MODE_FM_RADIO = 0x2,
  AMTUNER_MODE_AM_RADIO = 0x4,
  AMTUNER_MODE_DSS = 0x8,
} AMTunerModeType;

typedef enum tagTunerInputType { TunerInputCable = 0, TunerInputAntenna = 1 } TunerInputType;

// IAMTuner::SignalPresent answers, put_Channel's sub-channel values, notification events.
#define AMTUNER_HASNOSIGNALSTRENGTH (-1)
#define AMTUNER_NOSIGNAL 0
#define AMTUNER_SIGNALPRESENT 1
#define AMTUNER_SUBCHAN_NO_TUNE (-2)
#define AMTUNER_SUBCHAN_DEFAULT (-1)
typedef enum tagAMTunerEventType { AMTUNER_EVENT_CHANGED = 0x1 } AMTunerEventType;

struct IAMTunerNotification : IUnknown {
  VIDORRA_INTERFACE(IID_IAMTunerNotification, IUnknown)
  STDMETHOD(OnEvent)(long Event) PURE;
};

struct IAMTuner : IUnknown {
  VIDORRA_INTERFACE(IID_IAMTuner, IUnknown)
  STDMETHOD(put_Channel)(long lChannel, long lVideoSubChannel, long lAudioSubChannel) PURE;
  STDMETHOD(get_Channel)(long* plChannel, long* plVideoSubChannel, long* plAudioSubChannel) PURE;
  STDMETHOD(ChannelMinMax)(long* lChannelMin, long* lChannelMax) PURE;
  STDMETHOD(put_CountryCode)(long lCountryCode) PURE;
  STDMETHOD(get_CountryCode)(long* plCountryCode) PURE;
  STDMETHOD(put_TuningSpace)(long lTuningSpace) PURE;
  STDMETHOD(get_TuningSpace)(long* plTuningSpace) PURE;
  STDMETHOD(Logon)(HANDLE hCurrentUser) PURE;
  STDMETHOD(Logout)() PURE;
  STDMETHOD(SignalPresent)(long* plSignalStrength) PURE;
  STDMETHOD(put_Mode)(AMTunerModeType lMode) PURE;
  STDMETHOD(get_Mode)(AMTunerModeType* plMode) PURE;
  STDMETHOD(GetAvailableModes)(long* plModes) PURE;
  STDMETHOD(RegisterNotificationCallBack)(IAMTunerNotification* pNotify, long lEvents) PURE;
  STDMETHOD(UnRegisterNotificationCallBack)(IAMTunerNotification* pNotify) PURE;
};

struct IAMTVTuner : IAMTuner {
  VIDORRA_INTERFACE(IID_IAMTVTuner, IAMTuner)
  STDMETHOD(get_AvailableTVFormats)(long* lAnalogVideoStandard) PURE;
  STDMETHOD(get_TVFormat)(long* plAnalogVideoStandard) PURE;
  STDMETHOD(AutoTune)(long lChannel, long* plFoundSignal) PURE;
  STDMETHOD(StoreAutoTune)() PURE;
  STDMETHOD(get_NumInputConnections)(long* plNumInputConnections) PURE;
  STDMETHOD(put_InputType)(long lIndex, TunerInputType InputType) PURE;
  STDMETHOD(get_InputType)(long lIndex, TunerInputType* pInputType) PURE;
  STDMETHOD(put_ConnectInput)(long lIndex) PURE;
  STDMETHOD(get_ConnectInput)(long* plIndex) PURE;
  STDMETHOD(get_VideoFrequency)(long* lFreq) PURE;
  STDMETHOD(get_AudioFrequency)(long* lFreq) PURE;
};

typedef enum tagTVAudioMode {
  AMTVAUDIO_MODE_MONO = 0x0001,
  AMTVAUDIO_MODE_STEREO = 0x0002,
  AMTVAUDIO_MODE_LANG_A = 0x0010,
  AMTVAUDIO_MODE_LANG_B = 0x0020,
  AMTVAUDIO_MODE_LANG_C = 0x0040,
} TVAudioMode;

// The analogue video decoder of a capture device: the broadcast standards it decodes and the
// one it uses (AnalogVideoStandard), whether it is locked to the picture's lines, how many
// lines a picture has.
struct IAMAnalogVideoDecoder : IUnknown {
  VIDORRA_INTERFACE(IID_IAMAnalogVideoDecoder, IUnknown)
  STDMETHOD(get_AvailableTVFormats)(long* lAnalogVideoStandard) PURE;
  STDMETHOD(put_TVFormat)(long lAnalogVideoStandard) PURE;
  STDMETHOD(get_TVFormat)(long* plAnalogVideoStandard) PURE;
  STDMETHOD(get_HorizontalLocked)(long* plLocked) PURE;
  STDMETHOD(put_VCRHorizontalLocking)(long lVCRHorizontalLocking) PURE;
  STDMETHOD(get_VCRHorizontalLocking)(long* plVCRHorizontalLocking) PURE;
  STDMETHOD(get_NumberOfLines)(long* plNumberOfLines) PURE;
  STDMETHOD(put_OutputEnable)(long lOutputEnable) PURE;
  STDMETHOD(get_OutputEnable)(long* plOutputEnable) PURE;
};

struct IAMTVAudio : IUnknown {
  VIDORRA_INTERFACE(IID_IAMTVAudio, IUnknown)
  STDMETHOD(GetHardwareSupportedTVAudioModes)(long* plModes) PURE;
  STDMETHOD(GetAvailableTVAudioModes)(long* plModes) PURE;
  STDMETHOD(get_TVAudioMode)(long* plMode) PURE;
  STDMETHOD(put_TVAudioMode)(long lMode) PURE;
  STDMETHOD(RegisterNotificationCallBack)(IAMTunerNotification* pNotify, long lEvents) PURE;
  STDMETHOD(UnRegisterNotificationCallBack)(IAMTunerNotification* pNotify) PURE;
};

typedef enum tagVideoProcAmpProperty {
  VideoProcAmp_Brightness = 0,
  VideoProcAmp_Contrast = 1,
  VideoProcAmp_Hue = 2,
  VideoProcAmp_Saturation = 3,
  VideoProcAmp_Sharpness = 4,
  VideoProcAmp_Gamma = 5,
  VideoProcAmp_ColorEnable = 6,
  VideoProcAmp_WhiteBalance = 7,
  VideoProcAmp_BacklightCompensation = 8,
  VideoProcAmp_Gain = 9,
} VideoProcAmpProperty;

typedef enum tagVideoProcAmpFlags {
  VideoProcAmp_Flags_Auto = 0x0001,
  VideoProcAmp_Flags_Manual = 0x0002,
} VideoProcAmpFlags;

// Picture controls of a video capture device. A property the device lacks answers
// E_PROP_ID_UNSUPPORTED; a value outside GetRange's bounds E_INVALIDARG.
struct IAMVideoProcAmp : IUnknown {
  VIDORRA_INTERFACE(IID_IAMVideoProcAmp, IUnknown)
  STDMETHOD(GetRange)(long Property, long* pMin, long* pMax, long* pSteppingDelta,
                      long* pDefault, long* pCapsFlags) PURE;
  STDMETHOD(Set)(long Property, long lValue, long Flags) PURE;
  STDMETHOD(Get)(long Property, long* lValue, long* Flags) PURE;
};

typedef enum tagCameraControlProperty {
  CameraControl_Pan = 0,
  CameraControl_Tilt = 1,
  CameraControl_Roll = 2,
  CameraControl_Zoom = 3,
  CameraControl_Exposure = 4,
  CameraControl_Iris = 5,
  CameraControl_Focus = 6,
} CameraControlProperty;

typedef enum tagCameraControlFlags {
  CameraControl_Flags_Auto = 0x0001,
  CameraControl_Flags_Manual = 0x0002,
} CameraControlFlags;

// Camera controls (exposure, focus, zoom ...), same rules as IAMVideoProcAmp.
struct IAMCameraControl : IUnknown {
  VIDORRA_INTERFACE(IID_IAMCameraControl, IUnknown)
  STDMETHOD(GetRange)(long Property, long* pMin, long* pMax, long* pSteppingDelta,
                      long* pDefault, long* pCapsFlags) PURE;
  STDMETHOD(Set)(long Property, long lValue, long Flags) PURE;
  STDMETHOD(Get)(long Property, long* lValue, long* Flags) PURE;
};

struct IAMVideoCompression : IUnknown {
  VIDORRA_INTERFACE(IID_IAMVideoCompression, IUnknown)
  STDMETHOD(put_KeyFrameRate)(long KeyFrameRate) PURE;
  STDMETHOD(get_KeyFrameRate)(long* pKeyFrameRate) PURE;
  STDMETHOD(put_PFramesPerKeyFrame)(long PFramesPerKeyFrame) PURE;
  STDMETHOD(get_PFramesPerKeyFrame)(long* pPFramesPerKeyFrame) PURE;
  STDMETHOD(put_Quality)(double Quality) PURE;
  STDMETHOD(get_Quality)(double* pQuality) PURE;
  STDMETHOD(put_WindowSize)(DWORDLONG WindowSize) PURE;
  STDMETHOD(get_WindowSize)(DWORDLONG* pWindowSize) PURE;
  STDMETHOD(GetInfo)(LPWSTR pszVersion, int* pcbVersion, LPWSTR pszDescription,
                     int* pcbDescription, long* pDefaultKeyFrameRate,
                     long* pDefaultPFramesPerKey, double* pDefaultQuality,
                     long* pCapabilities) PURE;
  STDMETHOD(OverrideKeyFrame)(long FrameNumber) PURE;
  STDMETHOD(OverrideFrameSize)(long FrameNumber, long Size) PURE;
};

typedef enum tagVfwCaptureDialogs {
  VfwCaptureDialog_Source = 0x01,
  VfwCaptureDialog_Format = 0x02,
  VfwCaptureDialog_Display = 0x04,
} VfwCaptureDialogs;

struct IAMVfwCaptureDialogs : IUnknown {
  VIDORRA_INTERFACE(IID_IAMVfwCaptureDialogs, IUnknown)
  STDMETHOD(HasDialog)(int iDialog) PURE;
  STDMETHOD(ShowDialog)(int iDialog, HWND hwnd) PURE;
  STDMETHOD(SendDriverMessage)(int iDialog, int uMsg, long dw1, long dw2) PURE;
};

struct IAMDroppedFrames : IUnknown {
  VIDORRA_INTERFACE(IID_IAMDroppedFrames, IUnknown)
  STDMETHOD(GetNumDropped)(long* plDropped) PURE;
  STDMETHOD(GetNumNotDropped)(long* plNotDropped) PURE;
  STDMETHOD(GetDroppedInfo)(long lSize, long* plArray, long* plNumCopied) PURE;
  STDMETHOD(GetAverageFrameSize)(long* plAverageSize) PURE;
};

struct ISpecifyPropertyPages : IUnknown {
  VIDORRA_INTERFACE(IID_ISpecifyPropertyPages, IUnknown)
  // pPages->pElems is allocated with CoTaskMemAlloc; the caller frees it.
  STDMETHOD(GetPages)(CAUUID* pPages) PURE;
};

struct IConfigAviMux : IUnknown {
  VIDORRA_INTERFACE(IID_IConfigAviMux, IUnknown)
  STDMETHOD(SetMasterStream)(LONG iStream) PURE;
  STDMETHOD(GetMasterStream)(LONG* pStream) PURE;
  STDMETHOD(SetOutputCompatibilityIndex)(BOOL fOldIndex) PURE;
  STDMETHOD(GetOutputCompatibilityIndex)(BOOL* pfOldIndex) PURE;
};

typedef enum _InterleavingMode {
  INTERLEAVE_NONE = 0,
  INTERLEAVE_CAPTURE = 1,
  INTERLEAVE_FULL = 2,
  INTERLEAVE_NONE_BUFFERED = 3,
} InterleavingMode;

struct IConfigInterleaving : IUnknown {
  VIDORRA_INTERFACE(IID_IConfigInterleaving, IUnknown)
  STDMETHOD(put_Mode)(InterleavingMode mode) PURE;
  STDMETHOD(get_Mode)(InterleavingMode* pMode) PURE;
  STDMETHOD(put_Interleaving)(const REFERENCE_TIME* prtInterleave,
                              const REFERENCE_TIME* prtPreroll) PURE;
  STDMETHOD(get_Interleaving)(REFERENCE_TIME* prtInterleave, REFERENCE_TIME* prtPreroll) PURE;
};

struct IFileSinkFilter : IUnknown {
  VIDORRA_INTERFACE(IID_IFileSinkFilter, IUnknown)
  STDMETHOD(SetFileName)(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) PURE;
  STDMETHOD(GetCurFile)(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) PURE;
};

struct IFileSourceFilter : IUnknown {
  VIDORRA_INTERFACE(IID_IFileSourceFilter, IUnknown)
  STDMETHOD(Load)(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) PURE;
  STDMETHOD(GetCurFile)(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) PURE;
};

enum _DVENCODERVIDEOFORMAT { DVENCODERVIDEOFORMAT_NTSC = 2000, DVENCODERVIDEOFORMAT_PAL = 2001 };
enum _DVENCODERFORMAT {
  DVENCODERFORMAT_DVSD = 2007,
  DVENCODERFORMAT_DVHD = 2008,
  DVENCODERFORMAT_DVSL = 2009,
};
enum _DVENCODERRESOLUTION {
  DVENCODERRESOLUTION_720x480 = 2012,
  DVENCODERRESOLUTION_360x240 = 2013,
  DVENCODERRESOLUTION_180x120 = 2014,
  DVENCODERRESOLUTION_88x60 = 2015,
};

struct IDVEnc : IUnknown {
  VIDORRA_INTERFACE(IID_IDVEnc, IUnknown)
  STDMETHOD(get_IFormatResolution)(int* VideoFormat, int* DVFormat, int* Resolution, BYTE fDVInfo,
                                   DVINFO* sDVInfo) PURE;
  STDMETHOD(put_IFormatResolution)(int VideoFormat, int DVFormat, int Resolution, BYTE fDVInfo,
                                   DVINFO* sDVInfo) PURE;
};

// The DV decoder's picture size: the whole frame, half, a quarter of it in each direction, or
// the DC coefficients alone (88 pixels wide).
enum _DVRESOLUTION {
  DVRESOLUTION_FULL = 1000,
  DVRESOLUTION_HALF = 1001,
  DVRESOLUTION_QUARTER = 1002,
  DVRESOLUTION_DC = 1003,
};

struct IIPDVDec : IUnknown {
  VIDORRA_INTERFACE(IID_IIPDVDec, IUnknown)
  STDMETHOD(get_IPDisplay)(int* displayPix) PURE;
  STDMETHOD(put_IPDisplay)(int displayPix) PURE;
};

// ---- Graph building ------------------------------------------------------------------------

struct IAMCopyCaptureFileProgress;

struct ICaptureGraphBuilder2 : IUnknown {
  VIDORRA_INTERFACE(IID_ICaptureGraphBuilder2, IUnknown)
  STDMETHOD(SetFiltergraph)(IGraphBuilder* pfg) PURE;
  STDMETHOD(GetFiltergraph)(IGraphBuilder** ppfg) PURE;
  STDMETHOD(SetOutputFileName)(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                               IFileSinkFilter** ppSink) PURE;
  STDMETHOD(FindInterface)(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                           void** ppint) PURE;
  STDMETHOD(RenderStream)(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                          IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) PURE;
  STDMETHOD(ControlStream)(const GUID* pCategory, const GUID* pType, IBaseFilter* pFilter,
                           REFERENCE_TIME* pstart, REFERENCE_TIME* pstop, WORD wStartCookie,
                           WORD wStopCookie) PURE;
  STDMETHOD(AllocCapFile)(LPCOLESTR lpstr, DWORDLONG dwlSize) PURE;
  STDMETHOD(CopyCaptureFile)(LPOLESTR lpwstrOld, LPOLESTR lpwstrNew, int fAllowEscAbort,
                             IAMCopyCaptureFileProgress* pCallback) PURE;
  STDMETHOD(FindPin)(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory,
                     const GUID* pType, BOOL fUnconnected, int num, IPin** ppPin) PURE;
};

#define CDEF_CLASS_DEFAULT 0x0001
#define CDEF_BYPASS_CLASS_MANAGER 0x0002

struct ICreateDevEnum : IUnknown {
  VIDORRA_INTERFACE(IID_ICreateDevEnum, IUnknown)
  STDMETHOD(CreateClassEnumerator)(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                   DWORD dwFlags) PURE;
};

typedef struct tagAM_DVD_RENDERSTATUS {
  HRESULT hrVPEStatus;
  BOOL bDvdVolInvalid;
  BOOL bDvdVolUnknown;
  BOOL bNoLine21In;
  BOOL bNoLine21Out;
  int iNumStreams;
  int iNumStreamsFailed;
  DWORD dwFailedStreamsFlag;
} AM_DVD_RENDERSTATUS;

struct IDvdGraphBuilder : IUnknown {
  VIDORRA_INTERFACE(IID_IDvdGraphBuilder, IUnknown)
  STDMETHOD(GetFiltergraph)(IGraphBuilder** ppGB) PURE;
  STDMETHOD(GetDvdInterface)(REFIID riid, void** ppvIF) PURE;
  STDMETHOD(RenderDvdVideoVolume)(LPCWSTR lpcwszPathName, DWORD dwFlags,
                                  AM_DVD_RENDERSTATUS* pStatus) PURE;
};

// ---- Media type helpers (the SDK's mtype helpers) ------------------------------------------

// Frees the format block and the pUnk reference of a media type (not the struct itself).
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Frees a media type allocated with CoTaskMemAlloc, including the struct.
void DeleteMediaType(AM_MEDIA_TYPE* pmt);
// Deep copy: a new format block and a new pUnk reference.
HRESULT CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource);
// A deep copy allocated with CoTaskMemAlloc (null when out of memory).
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc);
