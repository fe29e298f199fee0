// Text of an HRESULT.
#pragma once

#include <wtypes.h>

#define MAX_ERROR_TEXT_LEN 160

// Writes a one-sentence description of hr into buffer (at most maxLen characters including the
// terminating zero) and returns the number of characters written; 0 (and nothing written) for
// a code the platform does not know.
DWORD AMGetErrorTextA(HRESULT hr, LPSTR pBuffer, DWORD MaxLen);
DWORD AMGetErrorTextW(HRESULT hr, LPWSTR pBuffer, DWORD MaxLen);
