#include "platform/InactivityClock.h"

#include <limits>

namespace varnel {

InactivityClock::InactivityClock(std::uint32_t limitSeconds)
    : limit(std::chrono::seconds(limitSeconds)), lastProgress(steadyNow())
{
}

int InactivityClock::remainingMs() const
{
    const auto left = lastProgress + limit - steadyNow();
    if (left <= std::chrono::steady_clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(ms);
}

} // namespace varnel
