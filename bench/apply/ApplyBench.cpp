// Scan and apply against upssim, every wait real: the demo units on
// 2400-baud lines with the shipped pauses, then one HID unit that answers at
// once with every pause of varnel.ini at 0, where the time left is the
// unit's own.
#include "controller/VarnelController.h"
#include "device/VarnelDevice.h"
#include "settings/Log.h"

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

const char* kHidUnit = "[unit usb-ups]\nprotocol = hid\nconfiguration = 0x0003\ninternal.count = 2\n"
                       "internal.type = 2\n";
// The demo units in scan order and a pack their wattage tables fit.
struct Unit {
    const char* name;
    std::size_t pack;
};
const Unit kDemoUnits[] = {{"usb-ups", 4}, {"rack-ups", 2}, {"tower-ups", 6}};

const char* kNoPauses = "hid.post.read.sleep = 0\nhid.post.write.sleep = 0\nserial.post.read.sleep = 0\n"
                        "serial.post.write.sleep = 0\nhid.pre.save.sleep = 0\nvalidation.settle.sleep = 0\n";

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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

class Simulator {
public:
    Simulator(const fs::path& bin, const std::string& units, bool paced, const std::string& name)
    {
        std::ofstream(name + ".ini") << units;
        fs::remove("ready");
        std::fflush(stdout); // the child would write what is buffered a second time
        pid = fork();
        if (pid == 0) {
            const std::string upssim = (bin / "upssim").string();
            std::freopen((name + ".out").c_str(), "w", stdout);
            const std::string dir = (fs::current_path() / name).string();
            const std::string file = name + ".ini";
            if (paced)
                execl(upssim.c_str(), upssim.c_str(), "--pace-2400", "--dir", dir.c_str(), "--ready", "ready",
                      file.c_str(), static_cast<char*>(nullptr));
            else
                execl(upssim.c_str(), upssim.c_str(), "--dir", dir.c_str(), "--ready", "ready", file.c_str(),
                      static_cast<char*>(nullptr));
            _exit(127);
        }
        started = exportReady("ready");
    }
    ~Simulator()
    {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    bool started = false;

private:
    pid_t pid = -1;
};

std::vector<std::uint32_t> onePack(const varnel::VarnelController& controller, std::size_t pack)
{
    std::vector<std::uint32_t> quantities(controller.getBatteryPacks().size(), 0);
    if (pack >= 1 && pack <= quantities.size())
        quantities[pack - 1] = 1;
    return quantities;
}

const char* outcomeName(varnel::UpdateOutcome outcome)
{
    return outcome == varnel::UpdateOutcome::validated ? "validated" : "NOT validated";
}

} // namespace

int main(int, char** argv)
{
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    char pattern[] = "/tmp/bench-apply-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const fs::path dir = pattern;
    fs::current_path(dir);
    const fs::path dist = fs::path(VARNEL_SOURCE_DIR) / "dist";
    const std::string shipped = [&] {
        std::ifstream in(dist / "varnel.ini");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    std::ofstream("varnel.ini") << shipped;
    fs::copy_file(dist / "varnelstrings.en", "varnelstrings.en");
    setenv("LINKSERIAL_DETECT", "0", 1);
    setenv("LINKHID_DETECT", "0", 1);
    const std::string data = (dist / "sample-batterydata.xml").string();
    const std::string demo = [&] {
        std::ifstream in(dist / "demo-units.ini");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();

    {
        Simulator sim(bin, demo, true, "paced");
        varnel::VarnelController controller;
        if (!sim.started || !controller.init(nullptr) || !controller.loadDataFile(data)) {
            std::fprintf(stderr, "%s: upssim or the run files did not start\n", argv[0]);
            return 1;
        }
        auto start = Clock::now();
        auto& devices = controller.scanForDevices(nullptr);
        std::printf("paced scan, shipped pauses, 3 demo units: %zu found, %.0f ms\n", devices.size(),
                    msSince(start));
        for (std::size_t i = 0; i < devices.size() && i < 3; ++i) {
            start = Clock::now();
            const varnel::ConfigurationUpdate update = controller.applyConfiguration(
                *devices[i], onePack(controller, kDemoUnits[i].pack), varnel::UpdateMode::write, nullptr);
            std::printf("paced apply, shipped pauses, %s: %s, %.0f ms\n", kDemoUnits[i].name,
                        outcomeName(update.outcome), msSince(start));
        }
    }
    {
        std::ofstream("varnel.ini") << shipped << "\n" << kNoPauses;
        Simulator sim(bin, kHidUnit, false, "quick");
        varnel::VarnelController controller;
        if (!sim.started || !controller.init(nullptr) || !controller.loadDataFile(data))
            return 1;
        auto start = Clock::now();
        auto& devices = controller.scanForDevices(nullptr);
        const double scanMs = msSince(start);
        std::printf("HID unit answering at once, every pause 0: scan %zu found, %.0f ms\n", devices.size(),
                    scanMs);
        if (!devices.empty()) {
            start = Clock::now();
            const varnel::ConfigurationUpdate update = controller.applyConfiguration(
                *devices[0], onePack(controller, 4), varnel::UpdateMode::write, nullptr);
            std::printf(
                "HID unit answering at once, every pause 0: apply %s, %.0f ms (with the scan %.0f ms)\n",
                outcomeName(update.outcome), msSince(start), msSince(start) + scanMs);
        }
    }
    varnel::restartLog();
    fs::current_path("/");
    fs::remove_all(dir);
    return 0;
}
