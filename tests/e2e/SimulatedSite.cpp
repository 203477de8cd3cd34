#include "SimulatedSite.h"

#include "linkhidsim.h"
#include "settings/I18N.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace varnel::test {

namespace {

const char* kSerialPortsEnv = "LINKSERIAL_PORTS";
const char* kSerialDetectEnv = "LINKSERIAL_DETECT";
const char* kHidDetectEnv = "LINKHID_DETECT";

void shortSleep(std::uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, SimulatedSite::kLongestWaitMs)));
}

} // namespace

SimulatedSite::SimulatedSite(const std::string& units, std::vector<std::string> extraOptions,
                             const std::string& settings)
    : shortWaits(shortSleep), unitDir(fs::canonical(temp.path()) / "ups")
{
    // Nothing from an earlier site may leak into this one's enumeration, and
    // the machine's own ports stay out: a real unit there must never be written.
    unsetenv(kSerialPortsEnv);
    unsetenv(LINKHIDSIM_ENV);
    setenv(kSerialDetectEnv, "0", 1);
    setenv(kHidDetectEnv, "0", 1);
    fs::copy_file(distFile("varnelstrings.en"), "varnelstrings.en");
    fs::copy_file(distFile("sample-batterydata.xml"), "sample-batterydata.xml");
    writeFile("varnel.ini", settings);
    writeFile("units.ini", units);

    std::vector<std::string> args{"--dir",         unitDir.string(), "--journal",
                                  "journal.jsonl", "--ready",        "ready"};
    args.insert(args.end(), extraOptions.begin(), extraOptions.end());
    args.push_back("units.ini");
    sim = std::make_unique<Upssim>(std::move(args));
    started = waitForFile("ready") && exportReadyEnvironment("ready") && control.init(nullptr) &&
              control.loadDataFile("sample-batterydata.xml");
}

SimulatedSite::~SimulatedSite()
{
    unsetenv(kSerialDetectEnv);
    unsetenv(kHidDetectEnv);
    // VARNEL_E2E_KEEP=dir keeps each site's log and journal for a post-mortem.
    static int debugRun = 0;
    if (const char* keep = std::getenv("VARNEL_E2E_KEEP")) {
        const fs::path to = fs::path(keep) / std::to_string(debugRun++);
        fs::create_directories(to);
        for (const char* f : {"varnel.log", "journal.jsonl", "upssim.out", "units.ini"})
            if (fs::exists(f))
                fs::copy_file(f, to / f, fs::copy_options::overwrite_existing);
    }
    unsetenv(kSerialPortsEnv);
    unsetenv(LINKHIDSIM_ENV);
}

std::string SimulatedSite::simulatorOutput() const
{
    return readFile("upssim.out");
}

StatusCallback SimulatedSite::callback()
{
    return [this](const char* text, std::uint32_t) { shown.push_back(text ? text : ""); };
}

std::string SimulatedSite::text(const char* key)
{
    const char* found = control.getMessages() ? control.getMessages()->lookup(key) : nullptr;
    return found ? found : "";
}

std::vector<std::string> SimulatedSite::logLines() const
{
    return readLines("varnel.log");
}

bool SimulatedSite::logHas(const std::string& line) const
{
    const std::vector<std::string> lines = logLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<JournalWrite> SimulatedSite::writes(const std::string& unit) const
{
    return journalWrites("journal.jsonl", unit);
}

std::size_t SimulatedSite::requests(const std::string& unit) const
{
    return journalRequests("journal.jsonl", unit);
}

std::vector<std::uint32_t> packsOf(const VarnelController& controller, std::size_t pack, std::uint32_t count)
{
    std::vector<std::uint32_t> quantities(controller.getBatteryPacks().size(), 0);
    if (pack < quantities.size())
        quantities[pack] = count;
    return quantities;
}

} // namespace varnel::test
