#pragma once

#include <sys/types.h>

#include <cstdint>

#include <filesystem>
#include <string>
#include <vector>

namespace varnel::test {

constexpr int kWaitMs = 5000;

// The real upssim binary as a child process; its output goes to upssim.out
// in the current directory. Killed if still running when destroyed.
class Upssim {
public:
    explicit Upssim(std::vector<std::string> args);
    ~Upssim();
    Upssim(const Upssim&) = delete;
    Upssim& operator=(const Upssim&) = delete;

    // The exit status after SIGTERM (or after it ended by itself), -1 if it hangs.
    int stop(bool terminate = true);

private:
    pid_t pid = -1;
};

bool waitForFile(const std::filesystem::path& path);

// Puts the "export NAME='value'" lines of upssim's ready file into this
// process's environment, so the port libraries find the simulated units.
bool exportReadyEnvironment(const std::filesystem::path& readyFile);

// One value a simulated unit was asked to store, from upssim's journal.
struct JournalWrite {
    std::string unit;
    std::string field;
    int index = -1;
    std::uint32_t value = 0;
    std::uint32_t stored = 0;
};

// The entry selections a unit is sent before its table values: not stored values.
bool isIndexSelection(const JournalWrite& write);

std::vector<JournalWrite> journalWrites(const std::filesystem::path& journal, const std::string& unit);

// Requests the unit answered, leaving out the HID link's own info and descriptor ones.
std::size_t journalRequests(const std::filesystem::path& journal, const std::string& unit);

} // namespace varnel::test

namespace varnel {
class VarnelDevice;
}

namespace varnel::test {

// Every table value and both single values of the record reached the unit
// exactly, and nothing else was written into it.
void expectJournalHolds(const std::vector<JournalWrite>& writes, const std::string& unit,
                        const VarnelDevice& device);

} // namespace varnel::test
