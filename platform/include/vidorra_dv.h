// What a DV camcorder's capture filter offers besides its frames, on this platform: the tape's
// transport (commanded over AV/C, as a tape deck answers it) and what the last frame delivered
// carries (the tape's timecode and the date and time it was filmed). And what the DV Video
// Decoder offers while it decodes below full size: the last frame, decoded whole.
//
// A capture filter answers IDvTapeTransport only for a camcorder reached over IEEE 1394, and
// IDvFrameInfo whenever its stream is DV.
#pragma once

#include <objbase.h>

// Transport modes, the values the external device interfaces give them.
#define ED_BASE 0x1000L
#define ED_MODE_PLAY (ED_BASE + 200)
#define ED_MODE_STOP (ED_BASE + 201)
#define ED_MODE_FREEZE (ED_BASE + 202)  // paused while playing
#define ED_MODE_FF (ED_BASE + 204)
#define ED_MODE_REW (ED_BASE + 205)

// {B7C5FA43-F210-489F-9D4B-A997F100731E}
DEFINE_GUID(IID_IDvTapeTransport, 0xB7C5FA43, 0xF210, 0x489F, 0x9D, 0x4B, 0xA9, 0x97, 0xF1, 0x00,
            0x73, 0x1E);
// {1C413F27-D06C-4340-9BC4-90A388F2DCE6}
DEFINE_GUID(IID_IDvFrameInfo, 0x1C413F27, 0xD06C, 0x4340, 0x9B, 0xC4, 0x90, 0xA3, 0x88, 0xF2, 0xDC,
            0xE6);

struct IDvTapeTransport : IUnknown {
  VIDORRA_INTERFACE(IID_IDvTapeTransport, IUnknown)
  // Asks the camcorder to play, pause, stop, rewind or fast-forward (ED_MODE_PLAY, _FREEZE,
  // _STOP, _REW, _FF): S_OK once it accepted, E_INVALIDARG for another mode, E_NOTIMPL when it
  // has no tape transport to command (a camera in camera mode, a device that is not a tape
  // deck), VFW_E_WRONG_STATE when it refused (no tape), E_FAIL when it did not answer.
  // Blocks for the exchange on the bus (at most a few tenths of a second).
  STDMETHOD(put_Mode)(long mode) PURE;
  // The transport's mode now: ED_MODE_STOP also once a tape played to its end stopped there;
  // the same failures.
  STDMETHOD(get_Mode)(long* mode) PURE;
};

struct DV_FRAME_INFO {
  BOOL hasTimecode;  // the frame's subcode carries a readable timecode
  LONG hours, minutes, seconds, frames;
  BOOL dropFrame;        // NTSC drop-frame counting
  BOOL hasRecordingDate;  // the frame carries a readable recording date and time
  LONG year, month, day, hour, minute, second;
  ULONGLONG framesSeen;  // DV frames the filter delivered since the graph last ran
};

struct IDvFrameInfo : IUnknown {
  VIDORRA_INTERFACE(IID_IDvFrameInfo, IUnknown)
  // What the last DV frame delivered carries; S_FALSE, with nothing read, before the first
  // frame of a run.
  STDMETHOD(GetLastFrameInfo)(DV_FRAME_INFO* info) PURE;
};

// {5537D2EF-D1F2-425B-9307-D14B50CFF11A}
DEFINE_GUID(IID_IDvFullFrame, 0x5537D2EF, 0xD1F2, 0x425B, 0x93, 0x07, 0xD1, 0x4B, 0x50, 0xCF, 0xF1,
            0x1A);

struct IDvFullFrame : IUnknown {
  VIDORRA_INTERFACE(IID_IDvFullFrame, IUnknown)
  // The last frame the decoder was given while it decoded below full size (IIPDVDec), decoded
  // whole as a bottom-up RGB24 DIB (rows padded to 4 bytes), deinterlaced when asked (the
  // second field's lines made from the first's): *width, *height and *size (its bytes) are
  // set, and with a buffer of at least *size bytes on entry, the picture is written there.
  // S_FALSE, nothing set, when there is no such frame (none since the graph last ran, or the
  // decoder decodes whole pictures: they are whole where they go); E_POINTER; E_OUTOFMEMORY
  // when the buffer is too small; E_FAIL when the frame cannot be decoded.
  STDMETHOD(GetFullFrame)(BOOL deinterlaced, BYTE* buffer, LONG* size, LONG* width,
                          LONG* height) PURE;
};
