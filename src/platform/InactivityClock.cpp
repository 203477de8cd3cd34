#include "platform/InactivityClock.h"

#include <algorithm>
#include <limits>

namespace varnel {

namespace {
// A wait that a cancel may end is cut into slices this long, so the flag is seen soon.
constexpr std::chrono::milliseconds cancelSlice{100};
} // namespace

void TransferBounds::setDeadlineIn(std::uint32_t seconds)
{
    deadline = seconds == 0 ? std::chrono::steady_clock::time_point::max()
                            : steadyNow() + std::chrono::seconds(seconds);
}

InactivityClock::InactivityClock(std::uint32_t limitSeconds, const TransferBounds* bounds)
    : limit(std::chrono::seconds(limitSeconds)), lastProgress(steadyNow()), bounds(bounds)
{
}

int InactivityClock::remainingMs() const
{
    const auto now = steadyNow();
    auto left = lastProgress + limit - now;
    if (bounds != nullptr) {
        if (bounds->cancelled())
            return 0;
        if (bounds->deadline != std::chrono::steady_clock::time_point::max())
            left = std::min(left, bounds->deadline - now);
    }
    if (left <= std::chrono::steady_clock::duration::zero())
        return 0;
    if (bounds != nullptr && bounds->cancel != nullptr)
        left = std::min<std::chrono::steady_clock::duration>(left, cancelSlice);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(ms);
}

} // namespace varnel
