// Waiting on a condition with a deadline while the Qt event loop runs: tests never sleep to
// "give a thread time"; they wait for the observable effect and fail when it does not come.
#pragma once

#include <chrono>
#include <functional>

namespace vidorra::test {

// Processes Qt events until `condition` holds or `timeout` passes; returns the last value of
// the condition.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace vidorra::test
