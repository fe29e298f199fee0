// Multimedia thread characteristics: a thread that must keep up with a device (a capture
// stream, its writer) asks for a raised scheduling priority by the name of its task.
#pragma once

#include <wtypes.h>

#define ERROR_INVALID_TASK_NAME 1550L
#define ERROR_PRIVILEGE_NOT_HELD 1314L

// Raises the calling thread for the task "Capture" (the only task known here): a handle to
// give back to AvRevertMmThreadCharacteristics, or null (GetLastError says why:
// ERROR_INVALID_TASK_NAME, or ERROR_PRIVILEGE_NOT_HELD when the desktop allows no raise). A
// null answer changes nothing and is never a reason to stop: the thread runs as it was.
// *TaskIndex is set to 0 when not null.
HANDLE WINAPI AvSetMmThreadCharacteristicsW(LPCWSTR TaskName, LPDWORD TaskIndex);
// Puts the thread that raised itself back as it was; on that thread only.
BOOL WINAPI AvRevertMmThreadCharacteristics(HANDLE AvrtHandle);
