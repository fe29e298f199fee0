// Graph control interfaces: run state, events, audio and the video window.
#pragma once

#include <objidl.h>

DEFINE_GUID(IID_IMediaControl, 0x56A868B1, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);
DEFINE_GUID(IID_IBasicAudio, 0x56A868B3, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IVideoWindow, 0x56A868B4, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMediaEvent, 0x56A868B6, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
            0x70);
DEFINE_GUID(IID_IMediaEventEx, 0x56A868C0, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B,
            0xA7, 0x70);

#define AM_MEDIAEVENT_NONOTIFY 0x01

struct IMediaControl : IDispatch {
  VIDORRA_INTERFACE(IID_IMediaControl, IDispatch)
  STDMETHOD(Run)() PURE;
  STDMETHOD(Pause)() PURE;
  STDMETHOD(Stop)() PURE;
  STDMETHOD(GetState)(LONG msTimeout, OAFilterState* pfs) PURE;
  STDMETHOD(RenderFile)(BSTR strFilename) PURE;
  STDMETHOD(AddSourceFilter)(BSTR strFilename, IDispatch** ppUnk) PURE;
  STDMETHOD(get_FilterCollection)(IDispatch** ppUnk) PURE;
  STDMETHOD(get_RegFilterCollection)(IDispatch** ppUnk) PURE;
  STDMETHOD(StopWhenReady)() PURE;
};

struct IMediaEvent : IDispatch {
  VIDORRA_INTERFACE(IID_IMediaEvent, IDispatch)
  STDMETHOD(GetEventHandle)(OAEVENT* hEvent) PURE;
  STDMETHOD(GetEvent)(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, long msTimeout) PURE;
  STDMETHOD(WaitForCompletion)(long msTimeout, long* pEvCode) PURE;
  STDMETHOD(CancelDefaultHandling)(long lEvCode) PURE;
  STDMETHOD(RestoreDefaultHandling)(long lEvCode) PURE;
  STDMETHOD(FreeEventParams)(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) PURE;
};

struct IMediaEventEx : IMediaEvent {
  VIDORRA_INTERFACE(IID_IMediaEventEx, IMediaEvent)
  STDMETHOD(SetNotifyWindow)(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) PURE;
  STDMETHOD(SetNotifyFlags)(long lNoNotifyFlags) PURE;
  STDMETHOD(GetNotifyFlags)(long* lplNoNotifyFlags) PURE;
};

// Volume in hundredths of a decibel: -10000 is silence, 0 full volume.
struct IBasicAudio : IDispatch {
  VIDORRA_INTERFACE(IID_IBasicAudio, IDispatch)
  STDMETHOD(put_Volume)(long lVolume) PURE;
  STDMETHOD(get_Volume)(long* plVolume) PURE;
  STDMETHOD(put_Balance)(long lBalance) PURE;
  STDMETHOD(get_Balance)(long* plBalance) PURE;
};

struct IVideoWindow : IDispatch {
  VIDORRA_INTERFACE(IID_IVideoWindow, IDispatch)
  STDMETHOD(put_Caption)(BSTR strCaption) PURE;
  STDMETHOD(get_Caption)(BSTR* strCaption) PURE;
  STDMETHOD(put_WindowStyle)(long WindowStyle) PURE;
  STDMETHOD(get_WindowStyle)(long* WindowStyle) PURE;
  STDMETHOD(put_WindowStyleEx)(long WindowStyleEx) PURE;
  STDMETHOD(get_WindowStyleEx)(long* WindowStyleEx) PURE;
  STDMETHOD(put_AutoShow)(long AutoShow) PURE;
  STDMETHOD(get_AutoShow)(long* AutoShow) PURE;
  STDMETHOD(put_WindowState)(long WindowState) PURE;
  STDMETHOD(get_WindowState)(long* WindowState) PURE;
  STDMETHOD(put_BackgroundPalette)(long BackgroundPalette) PURE;
  STDMETHOD(get_BackgroundPalette)(long* pBackgroundPalette) PURE;
  STDMETHOD(put_Visible)(long Visible) PURE;
  STDMETHOD(get_Visible)(long* pVisible) PURE;
  STDMETHOD(put_Left)(long Left) PURE;
  STDMETHOD(get_Left)(long* pLeft) PURE;
  STDMETHOD(put_Width)(long Width) PURE;
  STDMETHOD(get_Width)(long* pWidth) PURE;
  STDMETHOD(put_Top)(long Top) PURE;
  STDMETHOD(get_Top)(long* pTop) PURE;
  STDMETHOD(put_Height)(long Height) PURE;
  STDMETHOD(get_Height)(long* pHeight) PURE;
  STDMETHOD(put_Owner)(OAHWND Owner) PURE;
  STDMETHOD(get_Owner)(OAHWND* Owner) PURE;
  STDMETHOD(put_MessageDrain)(OAHWND Drain) PURE;
  STDMETHOD(get_MessageDrain)(OAHWND* Drain) PURE;
  STDMETHOD(get_BorderColor)(long* Color) PURE;
  STDMETHOD(put_BorderColor)(long Color) PURE;
  STDMETHOD(get_FullScreenMode)(long* FullScreenMode) PURE;
  STDMETHOD(put_FullScreenMode)(long FullScreenMode) PURE;
  STDMETHOD(SetWindowForeground)(long Focus) PURE;
  STDMETHOD(NotifyOwnerMessage)(OAHWND hwnd, long uMsg, LONG_PTR wParam, LONG_PTR lParam) PURE;
  STDMETHOD(SetWindowPosition)(long Left, long Top, long Width, long Height) PURE;
  STDMETHOD(GetWindowPosition)(long* pLeft, long* pTop, long* pWidth, long* pHeight) PURE;
  STDMETHOD(GetMinIdealImageSize)(long* pWidth, long* pHeight) PURE;
  STDMETHOD(GetMaxIdealImageSize)(long* pWidth, long* pHeight) PURE;
  STDMETHOD(GetRestorePosition)(long* pLeft, long* pTop, long* pWidth, long* pHeight) PURE;
  STDMETHOD(HideCursor)(long HideCursor) PURE;
  STDMETHOD(IsCursorHidden)(long* CursorHidden) PURE;
};
