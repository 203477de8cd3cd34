// Discovery against upssim with 2400-baud pacing, beside its physical floor:
// the waits the device classes ask for plus every request and reply byte at
// 10 bits a byte on a 2400-baud line, taken from the simulator's journal.
// Then a scan over one pseudo-terminal with nothing behind it.
#include "controller/VarnelController.h"
#include "platform/Sleep.h"
#include "settings/Log.h"

#include <nlohmann/json.hpp>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Every wait really happens; the total is what the device classes asked for.
struct SleepTotal {
    std::uint64_t ms = 0;
    varnel::ScopedSleepHandler guard{[this](std::uint32_t wait) {
        ms += wait;
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }};
};

// Bytes that crossed the serial lines, by the journal.
std::size_t serialBytes(const fs::path& journal)
{
    std::ifstream in(journal);
    std::size_t bytes = 0;
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        if (!entry.is_object() || entry.value("event", "") != "request")
            continue;
        const std::string protocol = entry.value("protocol", "");
        if (protocol == "framed" || protocol == "text")
            bytes += (entry.value("request", "").size() + entry.value("reply", "").size()) / 2;
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
    std::ofstream("units.ini") << kUnits;
    // Only the simulated units: the machine's own ports are not part of the measurement.
    setenv("LINKSERIAL_DETECT", "0", 1);
    setenv("LINKHID_DETECT", "0", 1);

    const pid_t sim = fork();
    if (sim == 0) {
        const std::string upssim = (bin / "upssim").string();
        std::freopen("upssim.out", "w", stdout);
        execl(upssim.c_str(), upssim.c_str(), "--pace-2400", "--dir", (dir / "ups").c_str(), "--journal",
              "journal.jsonl", "--ready", "ready", "units.ini", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (!exportReady("ready")) {
        std::fprintf(stderr, "%s: upssim did not start\n", argv[0]);
        kill(sim, SIGKILL);
        waitpid(sim, nullptr, 0);
        return 1;
    }

    varnel::VarnelController controller;
    if (!controller.init(nullptr))
        return 1;
    {
        SleepTotal waits;
        std::size_t found = 0;
        const double ms = scan(controller, found);
        const double bytesMs = double(serialBytes("journal.jsonl")) * kByteMs;
        const double floor = double(waits.ms) + bytesMs;
        std::printf("paced scan, 3 units (framed, text, hid): %zu found\n", found);
        std::printf("  wall %.0f ms; floor %.0f ms = waits %llu ms + line bytes %.0f ms; overhead %.1f%%\n",
                    ms, floor, static_cast<unsigned long long>(waits.ms), bytesMs,
                    100.0 * (ms - floor) / floor);
    }
    kill(sim, SIGTERM);
    waitpid(sim, &status, 0);

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
        const double limits = double(waits.ms) + 300.0 + 750.0;
        std::printf("scan of one empty pseudo-terminal: %zu found\n", found);
        std::printf("  wall %.0f ms; waits %llu ms + read limits 1050 ms = %.0f ms (%.1f%%)\n", ms,
                    static_cast<unsigned long long>(waits.ms), limits, 100.0 * ms / limits);
    }
    close(master);
    varnel::restartLog();
    fs::current_path("/");
    fs::remove_all(dir);
    return 0;
}
