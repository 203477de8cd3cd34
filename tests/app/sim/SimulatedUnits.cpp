#include "SimulatedUnits.h"

#include "linkhidsim.h"
#include "support/TestSupport.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace varnel::test {

namespace {

const char* const kPortEnvironment[] = {"LINKSERIAL_PORTS", LINKHIDSIM_ENV};
const char* const kDetectEnvironment[] = {"LINKSERIAL_DETECT", "LINKHID_DETECT"};

// The text of `"name":` up to the next comma or brace, quotes removed.
std::string field(const std::string& line, const std::string& name)
{
    const std::string key = "\"" + name + "\":";
    const std::size_t at = line.find(key);
    if (at == std::string::npos)
        return {};
    std::size_t begin = at + key.size();
    std::size_t end = begin;
    if (begin < line.size() && line[begin] == '"') {
        ++begin;
        end = line.find('"', begin);
    } else {
        end = line.find_first_of(",}", begin);
    }
    return end == std::string::npos ? std::string() : line.substr(begin, end - begin);
}

std::uint32_t number(const std::string& text)
{
    return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

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

std::vector<StoredValue> SimulatedUnits::writes(const std::string& unit) const
{
    std::vector<StoredValue> found;
    for (const std::string& line : readLines(name + ".jsonl")) {
        if (field(line, "event") != "write" || field(line, "unit") != unit)
            continue;
        StoredValue write;
        write.field = field(line, "field");
        const std::string index = field(line, "index");
        write.index = index.empty() ? -1 : static_cast<int>(number(index));
        write.value = number(field(line, "value"));
        write.stored = number(field(line, "stored"));
        found.push_back(write);
    }
    return found;
}

std::size_t SimulatedUnits::requests(const std::string& unit) const
{
    std::size_t count = 0;
    for (const std::string& line : readLines(name + ".jsonl"))
        if (field(line, "event") == "request" && field(line, "unit") == unit &&
            field(line, "what") != "info" && field(line, "what") != "descriptor")
            ++count;
    return count;
}

std::string unitSection(const std::string& name, const std::string& protocol, const std::string& extra)
{
    return "[unit " + name + "]\nprotocol = " + protocol +
           "\nconfiguration = 0x0003\ninternal.type = 2\nvendor = Simulated Power\nproduct = SIM " + name +
           "\n" + extra;
}

} // namespace varnel::test
