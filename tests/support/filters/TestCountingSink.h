// The counting sink's former names (to be removed once callers move to RecordingSink).
#pragma once

#include "RecordingSink.h"

namespace vidorra::test {
using TestCountingSink = RecordingSink;
using RenderedSample = RecordingSink::Sample;
}  // namespace vidorra::test
