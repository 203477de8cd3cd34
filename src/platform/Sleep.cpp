#include "platform/Sleep.h"

#include <chrono>
#include <thread>
#include <utility>

namespace varnel {

namespace {
SleepHandler& currentHandler()
{
    static SleepHandler handler;
    return handler;
}
} // namespace

void sleepMs(std::uint32_t milliseconds)
{
    if (const SleepHandler& handler = currentHandler()) {
        handler(milliseconds);
        return;
    }
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

SleepHandler setSleepHandler(SleepHandler handler)
{
    return std::exchange(currentHandler(), std::move(handler));
}

} // namespace varnel
