#pragma once

#include "platform/ScopedHandler.h"

#include <chrono>
#include <functional>

namespace varnel {

// Every time limit of the program reads the time here, so tests can let a
// limit pass without waiting for it, as Sleep.h does for fixed waits.
using ClockHandler = std::function<std::chrono::steady_clock::time_point()>;

std::chrono::steady_clock::time_point steadyNow();

// Installs a handler (an empty one restores the real clock); returns the previous one.
ClockHandler setClockHandler(ClockHandler handler);

// Installs a handler for the lifetime of the guard.
using ScopedClockHandler = ScopedHandler<ClockHandler, &setClockHandler>;

} // namespace varnel
