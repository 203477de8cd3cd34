#include "SimulatedUnits.h"

#include "linkhidsim.h"
#include "support/TestSupport.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace varnel::test {

namespace {

const char* const kPortEnvironment[] = {"LINKSERIAL_PORTS", LINKHIDSIM_ENV};
const char* const kDetectEnvironment[] = {"LINKSERIAL_DETECT", "LINKHID_DETECT"};

void forgetPorts()
{
    for (const char* variable : kPortEnvironment)
        unsetenv(variable);
}

} // namespace

SimulatedUnits::SimulatedUnits(const std::string& name, const std::string& unitFile) : name(name)
{
    forgetPorts();
    for (const char* variable : kDetectEnvironment)
        setenv(variable, "0", 1);
    const fs::path dir = fs::canonical(fs::current_path()) / name;
    writeFile(name + ".ini", unitFile);
    sim = std::make_unique<Upssim>(std::vector<std::string>{
        "--dir", dir.string(), "--journal", name + ".jsonl", "--ready", name + ".ready", name + ".ini"});
    started = waitForFile(name + ".ready") && exportReadyEnvironment(name + ".ready");
}

SimulatedUnits::~SimulatedUnits()
{
    sim.reset();
    forgetPorts();
    for (const char* variable : kDetectEnvironment)
        unsetenv(variable);
}

std::string SimulatedUnits::output() const
{
    return readFile("upssim.out");
}

bool SimulatedUnits::stop()
{
    return sim->stop() == 0;
}

std::vector<JournalWrite> SimulatedUnits::writes(const std::string& unit) const
{
    return journalWrites(name + ".jsonl", unit);
}

std::size_t SimulatedUnits::requests(const std::string& unit) const
{
    return journalRequests(name + ".jsonl", unit);
}

std::string unitSection(const std::string& name, const std::string& protocol, const std::string& extra)
{
    return "[unit " + name + "]\nprotocol = " + protocol +
           "\nconfiguration = 0x0003\ninternal.type = 2\nvendor = Simulated Power\nproduct = SIM " + name +
           "\n" + extra;
}

} // namespace varnel::test
