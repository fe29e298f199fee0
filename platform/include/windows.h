// The Windows services the platform provides.
#pragma once

#include <wtypes.h>
#include <winbase.h>
#include <wingdi.h>
#include <winreg.h>
#include <winuser.h>
