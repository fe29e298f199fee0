// Repair of AVI recordings that a recorder left unfinished (killed, crashed, the machine down):
// a platform service with no counterpart in the system the program was written for.
//
// VidorraRepairAviFile scans the file's chunks from the start, keeps every whole frame and sound
// block on disk, drops a torn last chunk, and writes the indexes, sizes, frame counts and
// duration a finished recording has. A file that is already whole is not written to; a file that
// is not a recording of this platform's AVI Mux is never written to.
#pragma once

#include <wtypes.h>

enum VIDORRA_AVI_REPAIR_OUTCOME {
  VIDORRA_AVI_WHOLE = 0,     // whole as it was: not written to
  VIDORRA_AVI_REPAIRED = 1,  // whole now
  VIDORRA_AVI_NOT_REPAIRABLE =
      2,  // left as it was: not one of ours, damaged in its header, unreadable
  VIDORRA_AVI_REPAIR_FAILED = 3,  // a write failed half-way: a later repair can finish it
};

struct VIDORRA_AVI_REPAIR {
  VIDORRA_AVI_REPAIR_OUTCOME outcome;
  ULONGLONG frames;     // frames of the first picture stream (dropped frames included)
  double seconds;       // length of the recording
  ULONGLONG tornBytes;  // bytes after the last whole chunk, cut off
  WCHAR reason[128];    // why it is not whole (English, for a log or a terminal); empty else
};

// S_OK when the file is whole afterwards (outcome VIDORRA_AVI_WHOLE or VIDORRA_AVI_REPAIRED),
// S_FALSE when it is not, E_POINTER without a path or a result.
HRESULT VidorraRepairAviFile(LPCWSTR path, VIDORRA_AVI_REPAIR* result);
