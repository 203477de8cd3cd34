#pragma once

#include "controller/UpdateAdapter.h"
#include "platform/Sleep.h"
#include "settings/StatusCallback.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <thread>

namespace varnel {

// The wizard's status texts on a terminal: a new-line flag starts a line,
// otherwise the text continues the current one. While it lives, the fixed
// waits of the long steps turn a spinner when the stream is a terminal. An
// update's adapter: its steps run in place and nobody is there to ask.
class ConsoleStatus : public UpdateAdapter {
public:
    ConsoleStatus(std::ostream& out, bool interactive);
    ~ConsoleStatus() override;
    ConsoleStatus(const ConsoleStatus&) = delete;
    ConsoleStatus& operator=(const ConsoleStatus&) = delete;

    StatusCallback callback();
    void show(const char* text, std::uint32_t newLine) override;
    // Ends the open line, if any.
    void finish();

private:
    void wait(std::uint32_t milliseconds);

    std::ostream& out;
    bool interactive;
    bool lineOpen = false;
    unsigned spinnerStep = 0;
    // The scan waits on threads of its own too; only this one draws.
    std::thread::id owner = std::this_thread::get_id();
    std::unique_ptr<ScopedSleepHandler> sleepGuard;
};

} // namespace varnel
