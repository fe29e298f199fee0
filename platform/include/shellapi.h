// The shell's ShellExecuteA: opens a document, a folder or an address (web page, mail, ...)
// with the program that the desktop associates with it.
#pragma once

#include <wtypes.h>

// Show commands (nShowCmd). The desktop decides how the program it starts shows itself, so
// ShellExecuteA accepts every one of them and passes none on.
#ifndef SW_HIDE
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10
#endif

// ShellExecuteA's failures; a result above 32 is success.
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_SHARE 26
#define SE_ERR_ASSOCINCOMPLETE 27
#define SE_ERR_DDETIMEOUT 28
#define SE_ERR_DDEFAIL 29
#define SE_ERR_DDEBUSY 30
#define SE_ERR_NOASSOC 31
#define SE_ERR_DLLNOTFOUND 32

// Opens lpFile (UTF-8) with the verb lpOperation: NULL, "" or "open" for any document, folder
// or address; "explore" for a folder only. An address is a text beginning with a scheme of two
// characters or more ("https://...", "mailto:..."); anything else is a path, relative ones
// taken from lpDirectory (or the current folder when it is NULL or ""). The desktop is handed
// the address, or the path made absolute, as it is: nothing is escaped, quoted or run through a
// shell. Returns a value above 32 when the desktop took it, else (cast to an integer):
//   SE_ERR_FNF        lpFile NULL or empty, an address holding a control character, or a path
//                     to nothing in an existing folder;
//   SE_ERR_PNF        lpDirectory or the path's folder does not exist;
//   SE_ERR_NOASSOC    another verb, "explore" on something other than a folder, or the desktop
//                     could not be asked (no opener program).
// hwnd (the owner of any message the desktop shows) may be NULL; lpParameters, which only a
// program started by name would get, is not used for documents and addresses; nShowCmd is
// accepted and not used (see above). Any thread.
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                        LPCSTR lpDirectory, INT nShowCmd);
