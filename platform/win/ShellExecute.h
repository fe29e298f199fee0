// The desktop behind ShellExecuteA (shellapi.h): who is handed the address to open.
//
// By default the address goes to `xdg-open`, started as a program of its own with the address as
// its one argument (never through a shell command line) and left to run on its own. Tests put
// their own opener in its place to see the address without opening anything.
//
// Threads: any; the opener is swapped under a lock and called outside it.
#pragma once

#include <functional>
#include <string>

namespace vidorra::win {

// Hands `address` (UTF-8: an address with its scheme, or an absolute path) to the desktop;
// true when the desktop took it.
using DesktopOpener = std::function<bool(const std::string& address)>;

// Starts `xdg-open address`; false when it cannot be started (not installed).
bool OpenWithXdgOpen(const std::string& address);

// Makes `opener` the one ShellExecuteA uses (an empty one restores OpenWithXdgOpen); returns the
// previous opener so that a test can put it back.
DesktopOpener SetDesktopOpener(DesktopOpener opener);

}  // namespace vidorra::win
