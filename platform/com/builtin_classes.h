// Factories of the classes the COM layer itself provides. The class registry installs them
// when it is first used: a registration object in their own files would be dropped by the
// linker whenever a program loads such an object from a stream without naming its code.
#pragma once

#include <objbase.h>

HRESULT CreateDeviceMonikerInstance(REFIID riid, void** ppv);
HRESULT CreateItemMonikerInstance(REFIID riid, void** ppv);
