#pragma once

#include "platform/Clock.h"

#include <chrono>
#include <cstdint>

namespace varnel {

// Measures the time since the last progress of a transfer against a limit in seconds.
class InactivityClock {
public:
    explicit InactivityClock(std::uint32_t limitSeconds);

    void renew() { lastProgress = steadyNow(); }
    bool expired() const { return remainingMs() == 0; }
    // Milliseconds left before the limit, rounded up; 0 once it has passed.
    int remainingMs() const;

private:
    std::chrono::steady_clock::duration limit;
    std::chrono::steady_clock::time_point lastProgress;
};

} // namespace varnel
