#pragma once

#include "settings/StatusCallback.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace varnel {

// What one piece of work on a thread of its own logs and shows, kept in the
// order it happened, so that the thread the log and the status callback
// belong to can write it out later as if it had done the work itself.
class DeferredOutput {
public:
    DeferredOutput();
    DeferredOutput(const DeferredOutput&) = delete;
    DeferredOutput& operator=(const DeferredOutput&) = delete;

    // Keeps the calling thread's log lines here while it lives.
    class Capture {
    public:
        explicit Capture(DeferredOutput& output);
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;

    private:
        DeferredOutput& output;
        std::ostream* previous;
    };

    // Records what it is given, behind the log lines written so far.
    StatusCallback callback();
    // Writes the log lines into the log and hands the texts to `show` (null:
    // they are dropped), in their order. Only on the thread that owns both.
    void replay(const StatusCallback& show);

private:
    struct Entry {
        bool isLog;
        bool hasText;
        std::string text;
        std::uint32_t newLine;
    };
    void takeLines();

    std::ostringstream lines;
    std::vector<Entry> entries;
};

} // namespace varnel
