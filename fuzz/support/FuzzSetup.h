#pragma once

#include "platform/Sleep.h"
#include "settings/Log.h"

#include <cstdint>
#include <cstdlib>

namespace varnel::fuzz {

// Called at the start of every input: the fixed waits of the protocols cost
// nothing here, and the log is started afresh now and then so that a long run
// does not fill the disk.
inline void prepareInput()
{
    static const bool sleepsSilenced = [] {
        setSleepHandler([](std::uint32_t) {});
        return true;
    }();
    static std::uint32_t inputs = 0;
    (void)sleepsSilenced;
    if (++inputs % 4096 == 0)
        restartLog();
}

// A broken invariant is a finding: abort so the fuzzer keeps the input.
inline void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace varnel::fuzz
