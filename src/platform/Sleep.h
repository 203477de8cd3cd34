#pragma once

#include "platform/ScopedHandler.h"
#include <cstdint>

#include <functional>

namespace varnel {

// Every fixed wait of the program goes through here, so tests can record the
// requested durations and the dialog can keep painting while it waits. A
// handler is called on whichever thread waits (the scan tries serial ports
// side by side), so it must be safe to call from several at once.
using SleepHandler = std::function<void(std::uint32_t milliseconds)>;

void sleepMs(std::uint32_t milliseconds);

// Installs a handler (an empty one restores the real sleep); returns the previous one.
SleepHandler setSleepHandler(SleepHandler handler);

// Installs a handler for the lifetime of the guard.
using ScopedSleepHandler = ScopedHandler<SleepHandler, &setSleepHandler>;

} // namespace varnel
