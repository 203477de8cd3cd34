// Discovery against upssim with 2400-baud pacing, beside its physical floor:
// the waits the device classes ask for plus every request and reply byte at
// 10 bits a byte on a 2400-baud line, taken from the simulator's journal.
// Then a scan over one pseudo-terminal with nothing behind it, and one paced
// unit beside 1, 2, 6 and 12 such silent lines (the serial ports of a laptop
// with Bluetooth, a modem and a docking station), each case the median of three.
#include "controller/VarnelController.h"
#include "platform/Sleep.h"
#include "settings/Log.h"

#include <nlohmann/json.hpp>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 2400.0;

const char* kUnits = "[unit rack]\nprotocol = framed\nconfiguration = 0x0001\n"
                     "[unit tower]\nprotocol = text\nconfiguration = 0x0001\n"
                     "[unit usb]\nprotocol = hid\nconfiguration = 0x0001\n";
const char* kOneUnit = "[unit rack]\nprotocol = framed\nconfiguration = 0x0001\n";
constexpr int kSilentCases[] = {1, 2, 6, 12};
constexpr int kRuns = 3;

// Every wait really happens; the totals are what the device classes asked
// for, by thread: the scan's own (the HID walk) and each serial port's.
struct SleepTotal {
    std::mutex mutex;
    std::map<std::thread::id, std::uint64_t> byThread;
    varnel::ScopedSleepHandler guard{[this](std::uint32_t wait) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            byThread[std::this_thread::get_id()] += wait;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }};
    std::uint64_t all()
    {
        std::uint64_t sum = 0;
        for (const auto& [thread, ms] : byThread)
            sum += ms;
        return sum;
    }
    // The scan's own waits plus the longest of the other threads'.
    std::uint64_t onePath(std::thread::id scanning)
    {
        std::uint64_t longest = 0;
        for (const auto& [thread, ms] : byThread)
            if (thread != scanning)
                longest = std::max(longest, ms);
        return byThread[scanning] + longest;
    }
};

// Bytes that crossed each serial line, by the journal.
std::map<std::string, std::size_t> serialBytes(const fs::path& journal)
{
    std::ifstream in(journal);
    std::map<std::string, std::size_t> bytes;
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        if (!entry.is_object() || entry.value("event", "") != "request")
            continue;
        const std::string protocol = entry.value("protocol", "");
        if (protocol == "framed" || protocol == "text")
            bytes[entry.value("unit", "")] +=
                (entry.value("request", "").size() + entry.value("reply", "").size()) / 2;
    }
    return bytes;
}

bool exportReady(const fs::path& ready)
{
    for (int waited = 0; waited < 5000 && !fs::exists(ready); waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(ready);
    bool any = false;
    for (std::string line; std::getline(in, line);) {
        const std::size_t equals = line.find('=');
        if (line.rfind("export ", 0) != 0 || equals == std::string::npos)
            continue;
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '\'')
            value = value.substr(1, value.size() - 2);
        setenv(line.substr(7, equals - 7).c_str(), value.c_str(), 1);
        any = true;
    }
    return any;
}

double scan(varnel::VarnelController& controller, std::size_t& found)
{
    const auto start = Clock::now();
    found = controller.scanForDevices(nullptr).size();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// upssim serving `units` paced at 2400 baud, its exports set; -1 when it did not start.
pid_t startSimulator(const fs::path& bin, const fs::path& dir, const std::string& file, const char* units,
                     const char* argv0)
{
    std::ofstream(file) << units;
    fs::remove("ready");
    // The child would write out what is still buffered here a second time.
    std::fflush(nullptr);
    const pid_t sim = fork();
    if (sim == 0) {
        const std::string upssim = (bin / "upssim").string();
        std::freopen("upssim.out", "w", stdout);
        execl(upssim.c_str(), upssim.c_str(), "--pace-2400", "--dir", (dir / "ups").c_str(), "--journal",
              "journal.jsonl", "--ready", "ready", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (!exportReady("ready")) {
        std::fprintf(stderr, "%s: upssim did not start\n", argv0);
        kill(sim, SIGKILL);
        waitpid(sim, nullptr, 0);
        return -1;
    }
    return sim;
}

void stopSimulator(pid_t sim)
{
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
}

// Pseudo-terminals nobody answers on; the other end is held open so that
// each stays a line, just a silent one.
struct SilentLines {
    std::vector<int> masters;
    std::string names;

    explicit SilentLines(int count)
    {
        for (int i = 0; i < count; ++i) {
            int master = -1;
            int slave = -1;
            char name[256] = {};
            if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
                break;
            close(slave);
            masters.push_back(master);
            names += std::string(":") + name;
        }
    }
    ~SilentLines()
    {
        for (int master : masters)
            close(master);
    }
    SilentLines(const SilentLines&) = delete;
    SilentLines& operator=(const SilentLines&) = delete;
};

// One paced framed unit, then `silent` silent lines, in the order the library lists them.
bool unitBesideSilentLines(varnel::VarnelController& controller, const std::string& unitPort)
{
    std::printf("one paced framed unit beside silent pseudo-terminals (median of %d scans)\n", kRuns);
    std::printf("  %-13s %9s %12s %6s\n", "silent ports", "wall ms", "vs 1 silent", "found");
    double oneSilent = 0;
    bool allFound = true;
    for (int silent : kSilentCases) {
        SilentLines lines(silent);
        if (static_cast<int>(lines.masters.size()) != silent)
            return false;
        setenv("LINKSERIAL_PORTS", (unitPort + lines.names).c_str(), 1);
        std::vector<double> times;
        std::size_t found = 0;
        for (int run = 0; run < kRuns && allFound; ++run) {
            SleepTotal waits;
            times.push_back(scan(controller, found));
            allFound = found == 1;
        }
        if (!allFound)
            return false;
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        if (silent == 1)
            oneSilent = median;
        std::printf("  %-13d %9.0f %11.2fx %6zu\n", silent, median, median / oneSilent, found);
    }
    return true;
}

} // namespace

int main(int, char** argv)
{
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    char pattern[] = "/tmp/bench-scan-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path dir = pattern;
    fs::current_path(dir);
    fs::copy_file(fs::path(VARNEL_SOURCE_DIR) / "dist" / "varnel.ini", "varnel.ini");
    fs::copy_file(fs::path(VARNEL_SOURCE_DIR) / "dist" / "varnelstrings.en", "varnelstrings.en");
    // Only the simulated units: the machine's own ports are not part of the measurement.
    setenv("LINKSERIAL_DETECT", "0", 1);
    setenv("LINKHID_DETECT", "0", 1);

    pid_t sim = startSimulator(bin, dir, "units.ini", kUnits, argv[0]);
    if (sim < 0)
        return 1;

    varnel::VarnelController controller;
    if (!controller.init(nullptr))
        return 1;
    {
        SleepTotal waits;
        std::size_t found = 0;
        const double ms = scan(controller, found);
        std::size_t lineBytes = 0;
        for (const auto& [unit, bytes] : serialBytes("journal.jsonl"))
            lineBytes += bytes;
        const double bytesMs = double(lineBytes) * kByteMs;
        std::printf("paced scan, 3 units (framed, text, hid): %zu found\n", found);
        if (waits.byThread.size() == 1) {
            const double floor = double(waits.all()) + bytesMs;
            std::printf(
                "  wall %.0f ms; floor %.0f ms = waits %llu ms + line bytes %.0f ms; overhead %.1f%%\n", ms,
                floor, static_cast<unsigned long long>(waits.all()), bytesMs, 100.0 * (ms - floor) / floor);
        } else {
            // A text unit's pause after a request overlaps its reply on the
            // line, so with the lines side by side a sum is no floor any more.
            std::printf("  wall %.0f ms; serial lines side by side: waits %llu ms on the HID walk and the "
                        "slowest line (%llu ms in all), line bytes %.0f ms in all\n",
                        ms, static_cast<unsigned long long>(waits.onePath(std::this_thread::get_id())),
                        static_cast<unsigned long long>(waits.all()), bytesMs);
        }
    }
    stopSimulator(sim);

    // One empty line: every time limit of both serial protocols runs out.
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return 1;
    close(slave);
    setenv("LINKSERIAL_PORTS", name, 1);
    unsetenv("LINKHID_SIMULATORS");
    {
        SleepTotal waits;
        std::size_t found = 0;
        const double ms = scan(controller, found);
        // Protocol3014 waits its read limit (300 ms) once; the text protocol its 750 ms read limit once.
        const double limits = double(waits.all()) + 300.0 + 750.0;
        std::printf("scan of one empty pseudo-terminal: %zu found\n", found);
        std::printf("  wall %.0f ms; waits %llu ms + read limits 1050 ms = %.0f ms (%.1f%%)\n", ms,
                    static_cast<unsigned long long>(waits.all()), limits, 100.0 * ms / limits);
    }
    close(master);

    fs::remove_all(dir / "ups");
    sim = startSimulator(bin, dir, "one-unit.ini", kOneUnit, argv[0]);
    if (sim < 0)
        return 1;
    unsetenv("LINKHID_SIMULATORS");
    const bool allFound = unitBesideSilentLines(controller, (dir / "ups" / "rack").string());
    stopSimulator(sim);
    varnel::restartLog();
    fs::current_path("/");
    if (!allFound) {
        std::fprintf(stderr, "%s: a scan did not find the one unit; the last log is in %s\n", argv[0],
                     dir.c_str());
        return 1;
    }
    fs::remove_all(dir);
    return 0;
}
