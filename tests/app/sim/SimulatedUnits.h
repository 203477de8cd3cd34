#pragma once

#include "support/UpssimRunner.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace varnel::test {

// upssim serving the given units from a folder of the current directory,
// with the port libraries of this process pointed at them and kept off the
// machine's own ports. Each run keeps its files under its own name, so a
// probe run and the run under test never read each other's journal.
class SimulatedUnits {
public:
    SimulatedUnits(const std::string& name, const std::string& unitFile);
    ~SimulatedUnits();
    SimulatedUnits(const SimulatedUnits&) = delete;
    SimulatedUnits& operator=(const SimulatedUnits&) = delete;

    bool ready() const { return started; }
    std::string output() const;
    // The units vanish, as when every cable is pulled at once.
    bool stop();

    std::vector<JournalWrite> writes(const std::string& unit) const;
    // Requests the unit has counted so far (what its fault.after counts).
    std::size_t requests(const std::string& unit) const;

private:
    std::string name;
    std::unique_ptr<Upssim> sim;
    bool started = false;
};

// A unit section that fits the shipped sample data file: it takes external
// packs and names a scalar table, a wattage table and a battery type the
// file describes.
std::string unitSection(const std::string& name, const std::string& protocol, const std::string& extra = "");

} // namespace varnel::test
