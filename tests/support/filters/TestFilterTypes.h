// Media types and class ids of the small test filters. The subtypes are private to the tests,
// so no system filter takes part in a connection unless a test asks for it.
#pragma once

#include <streams.h>

namespace vidorra::test {

// {5D6E0A01-7C1B-4E8A-9F00-000000000001} ... : subtypes A, B and C of the tests.
DEFINE_GUID(MEDIASUBTYPE_TestA, 0x5D6E0A01, 0x7C1B, 0x4E8A, 0x9F, 0, 0, 0, 0, 0, 0, 1);
DEFINE_GUID(MEDIASUBTYPE_TestB, 0x5D6E0A01, 0x7C1B, 0x4E8A, 0x9F, 0, 0, 0, 0, 0, 0, 2);
DEFINE_GUID(MEDIASUBTYPE_TestC, 0x5D6E0A01, 0x7C1B, 0x4E8A, 0x9F, 0, 0, 0, 0, 0, 0, 3);

DEFINE_GUID(CLSID_TestPushSource, 0x5D6E0A02, 0x7C1B, 0x4E8A, 0x9F, 0, 0, 0, 0, 0, 0, 1);
DEFINE_GUID(CLSID_TestPassThrough, 0x5D6E0A02, 0x7C1B, 0x4E8A, 0x9F, 0, 0, 0, 0, 0, 0, 2);
DEFINE_GUID(CLSID_TestCountingSink, 0x5D6E0A02, 0x7C1B, 0x4E8A, 0x9F, 0, 0, 0, 0, 0, 0, 3);
DEFINE_GUID(CLSID_TestConverter, 0x5D6E0A02, 0x7C1B, 0x4E8A, 0x9F, 0, 0, 0, 0, 0, 0, 4);

// A video type with a VIDEOINFOHEADER of width x height, 16 bits per pixel, fixed-size samples.
CMediaType MakeTestVideoType(const GUID& subtype, long width = 64, long height = 48);

// Frame numbers are written into the first four bytes of each sample (little-endian).
void WriteFrameNumber(IMediaSample* sample, uint32_t frame);
uint32_t ReadFrameNumber(IMediaSample* sample);

}  // namespace vidorra::test
