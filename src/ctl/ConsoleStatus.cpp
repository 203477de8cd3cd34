#include "ctl/ConsoleStatus.h"

#include <chrono>
#include <thread>

namespace varnel {

namespace {
constexpr std::uint32_t spinnerSliceMs = 125;
constexpr char spinner[] = {'|', '/', '-', '\\'};
} // namespace

ConsoleStatus::ConsoleStatus(std::ostream& out, bool interactive) : out(out), interactive(interactive)
{
    if (interactive)
        sleepGuard = std::make_unique<ScopedSleepHandler>([this](std::uint32_t ms) { wait(ms); });
}

ConsoleStatus::~ConsoleStatus()
{
    sleepGuard.reset();
    finish();
}

StatusCallback ConsoleStatus::callback()
{
    return [this](const char* text, std::uint32_t newLine) { show(text, newLine); };
}

void ConsoleStatus::show(const char* text, std::uint32_t newLine)
{
    if (!text)
        return;
    if (newLine && lineOpen)
        out << '\n';
    out << text << std::flush;
    lineOpen = true;
}

void ConsoleStatus::finish()
{
    if (lineOpen)
        out << '\n' << std::flush;
    lineOpen = false;
}

void ConsoleStatus::wait(std::uint32_t milliseconds)
{
    if (std::this_thread::get_id() != owner) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    // The spinner shares the line with the status text and is wiped after.
    std::uint32_t left = milliseconds;
    do {
        const std::uint32_t slice = left < spinnerSliceMs ? left : spinnerSliceMs;
        out << ' ' << spinner[spinnerStep++ % sizeof spinner] << "\b\b" << std::flush;
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        left -= slice;
    } while (left > 0);
    out << "  \b\b" << std::flush;
}

} // namespace varnel
