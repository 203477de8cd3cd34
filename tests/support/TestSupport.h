#pragma once

#include "platform/Sleep.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace varnel::test {

// Runs a test inside a fresh temporary directory (the program's files all
// live in the current directory) and removes it afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return dir; }

private:
    std::filesystem::path dir;
    std::filesystem::path previous;
};

void writeFile(const std::filesystem::path& path, const std::string& content);
std::string readFile(const std::filesystem::path& path);
std::vector<std::string> readLines(const std::filesystem::path& path);

// Records each requested sleep instead of waiting; read it between scans,
// whose serial ports sleep on threads of their own.
class SleepRecorder {
public:
    SleepRecorder();
    const std::vector<std::uint32_t>& durations() const { return recorded; }

private:
    std::vector<std::uint32_t> recorded;
    std::mutex mutex;
    ScopedSleepHandler guard;
};

// Path of a file shipped in dist/.
std::filesystem::path distFile(const std::string& name);

} // namespace varnel::test
