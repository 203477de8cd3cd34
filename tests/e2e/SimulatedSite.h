#pragma once

#include "controller/VarnelController.h"
#include "platform/Sleep.h"
#include "support/TestSupport.h"
#include "support/UpssimRunner.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace varnel::test {

// A run directory as a technician has it (shipped settings, messages and
// sample data file), with upssim serving the given units and the port
// libraries pointed at them. Every fixed wait is cut short: the simulator
// answers at once, so only the order of events matters here.
class SimulatedSite {
public:
    static constexpr std::uint32_t kLongestWaitMs = 5;
    // Short device pauses: the unit is a simulator, not firmware that needs
    // time. Each differs, so a pause taken from the wrong key shows.
    static constexpr const char* kSettings = "locale.name = English\n"
                                             "locale.strings = en\n"
                                             "hid.post.read.sleep = 110\n"
                                             "serial.post.read.sleep = 150\n"
                                             "hid.post.write.sleep = 120\n"
                                             "serial.post.write.sleep = 200\n";

    explicit SimulatedSite(const std::string& units, std::vector<std::string> extraOptions = {},
                           const std::string& settings = kSettings);
    ~SimulatedSite();
    SimulatedSite(const SimulatedSite&) = delete;
    SimulatedSite& operator=(const SimulatedSite&) = delete;

    bool ready() const { return started; }
    std::string simulatorOutput() const;
    std::string dir(const std::string& name) const { return (unitDir / name).string(); }

    VarnelController& controller() { return control; }
    const std::vector<std::string>& statusTexts() const { return shown; }
    StatusCallback callback();
    std::string text(const char* key);
    std::vector<std::string> logLines() const;
    bool logHas(const std::string& line) const;

    std::vector<JournalWrite> writes(const std::string& unit) const;
    // Requests one unit has counted so far (what its fault.after counts).
    std::size_t requests(const std::string& unit) const;

private:
    TempDir temp;
    ScopedSleepHandler shortWaits;
    std::filesystem::path unitDir;
    std::unique_ptr<Upssim> sim;
    bool started = false;
    VarnelController control;
    std::vector<std::string> shown;
};

// The pack quantities (one per pack of the data file) that put `count`
// packs of the pack at `pack` beside the unit.
std::vector<std::uint32_t> packsOf(const VarnelController& controller, std::size_t pack, std::uint32_t count);

} // namespace varnel::test
