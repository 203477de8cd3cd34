#include "platform/Clock.h"

#include <utility>

namespace varnel {

namespace {
ClockHandler& currentHandler()
{
    static ClockHandler handler;
    return handler;
}
} // namespace

std::chrono::steady_clock::time_point steadyNow()
{
    if (const ClockHandler& handler = currentHandler())
        return handler();
    return std::chrono::steady_clock::now();
}

ClockHandler setClockHandler(ClockHandler handler)
{
    return std::exchange(currentHandler(), std::move(handler));
}

} // namespace varnel
