#pragma once

#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace varnel {

// What ends a whole transfer besides silence: a deadline for all of it and a
// flag the user sets to stop it. Shared by every clock of one download.
struct TransferBounds {
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    const std::atomic<bool>* cancel = nullptr;

    // A deadline `seconds` from now; 0 leaves none.
    void setDeadlineIn(std::uint32_t seconds);
    bool cancelled() const { return cancel != nullptr && cancel->load(); }
    bool pastDeadline() const { return steadyNow() >= deadline; }
};

// Measures the time since the last progress of a transfer against a limit in
// seconds, and against the bounds of the whole transfer when it has them.
class InactivityClock {
public:
    explicit InactivityClock(std::uint32_t limitSeconds, const TransferBounds* bounds = nullptr);

    void renew() { lastProgress = steadyNow(); }
    bool expired() const { return remainingMs() == 0; }
    // Milliseconds left before the limit, rounded up; 0 once it has passed.
    int remainingMs() const;
    // Why an expired clock expired.
    bool cancelled() const { return bounds != nullptr && bounds->cancelled(); }
    bool pastDeadline() const { return bounds != nullptr && bounds->pastDeadline(); }

private:
    std::chrono::steady_clock::duration limit;
    std::chrono::steady_clock::time_point lastProgress;
    const TransferBounds* bounds;
};

} // namespace varnel
