// Filters of this platform that have no counterpart in the system the program was written
// for: their class ids.
#pragma once

#include <wtypes.h>

// "DV File Source": plays a raw DV file (.dv, .dif) as interleaved DV.
// {42D6DC81-7C49-4570-A828-12747C4435B5}
DEFINE_GUID(CLSID_DvFileSource, 0x42D6DC81, 0x7C49, 0x4570, 0xA8, 0x28, 0x12, 0x74, 0x7C, 0x44,
            0x35, 0xB5);

#include <objbase.h>
#include <winbase.h>

// Gives the names of the files an AVI Mux begins inside a running recording.
// {6B0E2C1D-5A43-4F7E-9E21-3C8B7D4A91F0}
DEFINE_GUID(IID_IAviFileNamer, 0x6B0E2C1D, 0x5A43, 0x4F7E, 0x9E, 0x21, 0x3C, 0x8B, 0x7D, 0x4A, 0x91,
            0xF0);
struct IAviFileNamer : IUnknown {
  VIDORRA_INTERFACE(IID_IAviFileNamer, IUnknown)
  // Called just before a file begins at a picture whose recording date/time is *recordedAt
  // (null when the frame carries none or is not DV): *name receives the new file's path
  // (CoTaskMemAlloc'd). Called on the mux's own streaming thread (the one that hands the
  // bytes to the File Writer), after the old file's last bytes and before the new file's
  // first, with no lock of the mux held: it may take its time (note the name durably in a
  // journal, look at the disk), the sources' threads go on meanwhile; it must not stop the
  // graph. A failure ends the recording as a write failure does (EC_ERRORABORT with that
  // HRESULT); the file written before is whole.
  STDMETHOD(NextFileName)(const SYSTEMTIME* recordedAt, LPOLESTR* name) PURE;
};

// IAviFileSplitter::SetSplitting flags.
#define AVI_SPLIT_AT_SCENES 0x1u   // a new file at each DV scene's first frame
#define AVI_SPLIT_NAME_FIRST 0x2u  // the first file too is named by the namer

// On the AVI Mux: new files begun inside a running recording, between two pictures of the
// picture stream (the master stream when it is a picture, else the first picture input), the
// streaming thread going on. Each file is a whole recording of its own (headers, indexes,
// duration, the recording date of its first frame in LIST 'INFO' when the frame carries one).
// {2F7C8E4B-1D36-4A9B-B5E0-7A64C2D81E53}
DEFINE_GUID(IID_IAviFileSplitter, 0x2F7C8E4B, 0x1D36, 0x4A9B, 0xB5, 0xE0, 0x7A, 0x64, 0xC2, 0xD8,
            0x1E, 0x53);
struct IAviFileSplitter : IUnknown {
  VIDORRA_INTERFACE(IID_IAviFileSplitter, IUnknown)
  // While stopped (else VFW_E_NOT_STOPPED), for the next run. null: none (then the splitting
  // flags are cleared too). AddRef'd.
  STDMETHOD(SetFileNamer)(IAviFileNamer* namer) PURE;
  // While stopped (else VFW_E_NOT_STOPPED), for the next run: AVI_SPLIT_* flags. Flags without
  // a namer: E_UNEXPECTED. AVI_SPLIT_AT_SCENES: a new file at each DV scene's first frame.
  // AVI_SPLIT_NAME_FIRST: the first file too is named by the namer, at the first picture (the
  // name given to the File Writer beforehand is then dropped, its file still empty: removed).
  STDMETHOD(SetSplitting)(DWORD flags) PURE;
  // While running or paused with a namer: the next picture begins a new file named by the
  // namer (nothing to do when the current file has no picture yet). VFW_E_WRONG_STATE while
  // stopped, E_UNEXPECTED without a namer.
  STDMETHOD(SplitAtNextFrame)() PURE;
  // Files begun since the run started (1 for an ordinary recording; kept after Stop until the
  // next run). A file the namer names counts once the File Writer has made it (on the mux's
  // delivery thread, a moment after its first picture): with AVI_SPLIT_NAME_FIRST 0 until then.
  STDMETHOD(GetFileCount)(LONG* count) PURE;
};

// What one stream of an AVI Mux's file holds: its chunks (pictures: dropped frames included)
// and the time they cover at the stream's own rate (pictures: frames times the frame duration;
// sound: its blocks at its sample rate), as written so far.
struct AVI_STREAM_TIMES {
  ULONGLONG chunks;
  REFERENCE_TIME duration;  // 0 while the stream's rate is not known yet
  BOOL sound;
};

// On the AVI Mux: how far each stream of the current file reaches (after Stop: of the last
// file, until the next run), so that the picture-to-sound offset can be shown while recording.
// {9A41C6E2-7B58-4D13-A0F5-2E86B9C4D710}
DEFINE_GUID(IID_IAviStreamTimes, 0x9A41C6E2, 0x7B58, 0x4D13, 0xA0, 0xF5, 0x2E, 0x86, 0xB9, 0xC4,
            0xD7, 0x10);
struct IAviStreamTimes : IUnknown {
  VIDORRA_INTERFACE(IID_IAviStreamTimes, IUnknown)
  // Stream `stream` (the file's order: the connected inputs in pin order). E_INVALIDARG for a
  // stream the file does not have (none before the first sample of a run), E_POINTER.
  STDMETHOD(GetStreamTimes)(LONG stream, AVI_STREAM_TIMES* times) PURE;
};
