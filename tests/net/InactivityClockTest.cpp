#include "platform/InactivityClock.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace varnel {
namespace {

using namespace std::chrono_literals;

TEST(InactivityClock, CountsOnTheInstalledClockAndRestartsOnProgress)
{
    auto now = std::chrono::steady_clock::time_point{} + 1h;
    const ScopedClockHandler fake([&now] { return now; });
    InactivityClock clock(2);
    struct Step {
        std::chrono::microseconds advance;
        int remainingMs;
    };
    const Step steps[] = {{0us, 2000}, {1500us, 1999}, {1998500us, 0}};
    for (const Step& step : steps) {
        now += step.advance;
        EXPECT_EQ(clock.remainingMs(), step.remainingMs) << step.advance.count();
    }
    EXPECT_TRUE(clock.expired());
    clock.renew();
    EXPECT_EQ(clock.remainingMs(), 2000);
    now += 2001ms;
    EXPECT_TRUE(clock.expired());
}

} // namespace
} // namespace varnel
