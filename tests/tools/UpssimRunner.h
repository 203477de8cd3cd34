#pragma once

#include <sys/types.h>

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

} // namespace varnel::test
