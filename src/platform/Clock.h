#pragma once

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
class ScopedClockHandler {
public:
    explicit ScopedClockHandler(ClockHandler handler);
    ~ScopedClockHandler();
    ScopedClockHandler(const ScopedClockHandler&) = delete;
    ScopedClockHandler& operator=(const ScopedClockHandler&) = delete;

private:
    ClockHandler previous;
};

} // namespace varnel
