// Filters of this platform that have no counterpart in the system the program was written
// for: their class ids.
#pragma once

#include <wtypes.h>

// "DV File Source": plays a raw DV file (.dv, .dif) as interleaved DV.
// {42D6DC81-7C49-4570-A828-12747C4435B5}
DEFINE_GUID(CLSID_DvFileSource, 0x42D6DC81, 0x7C49, 0x4570, 0xA8, 0x28, 0x12, 0x74, 0x7C, 0x44,
            0x35, 0xB5);
