// Helpers shared by the graph tests: graph creation, pin lookup and event draining are the test
// support's (FilterPins.h).
#pragma once

#include <gtest/gtest.h>
#include <streams.h>

#include <vector>

#include "FilterPins.h"
