// Waiting on a condition with a deadline while the Qt event loop runs: tests never sleep to
// "give a thread time"; they wait for the observable effect and fail when it does not come.
#pragma once

#include <chrono>
#include <functional>

namespace vidorra::test {

// Runs the Qt event loop until `condition` holds or `timeout` passes; returns the last value of
// the condition. The loop blocks between looks at the condition (every few milliseconds), so a
// waiting test leaves the cores to the threads it waits for; queued deliveries and posted
// messages are handled meanwhile. Without a Qt application it sleeps between looks instead.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace vidorra::test
