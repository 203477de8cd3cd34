#include "ScriptedPorts.h"

#include <algorithm>
#include <filesystem>
#include <locale>
#include <stdexcept>

namespace varnel::test {

namespace {

scripted::Registry* registryOf(DynamicLibrary& library, const char* name)
{
    const std::string path = DynamicLibrary::executableDirectory() + "/" + DynamicLibrary::fileName(name);
    // Found by the same rule as the code under test, so both share one instance.
    if (!library.open(name) || library.symbol("ScriptedUnitRegistry") == nullptr)
        throw std::runtime_error("scripted port library missing: " + path);
    auto registry = reinterpret_cast<ScriptedUnitRegistryFn>(library.symbol("ScriptedUnitRegistry"));
    if (!registry)
        throw std::runtime_error("not the scripted port library: " + path);
    return registry();
}

} // namespace

ScriptedPorts::ScriptedPorts()
{
    hidUnits = registryOf(hidLibrary, "linkhid");
    serialUnits = registryOf(serialLibrary, "linkserial");
    hidUnits->units.clear();
    serialUnits->units.clear();
    hidUnits->units.reserve(16);
    serialUnits->units.reserve(16);
    std::filesystem::copy_file(distFile("varnelstrings.en"), "varnelstrings.en");
    catalogue = std::make_unique<I18N>();
    if (!catalogue->load("English", "en"))
        throw std::runtime_error("message file not readable");
}

ScriptedPorts::~ScriptedPorts()
{
    hidUnits->units.clear();
    serialUnits->units.clear();
    std::locale::global(std::locale::classic());
}

scripted::Unit& ScriptedPorts::addHid(const std::string& name)
{
    auto& unit = hidUnits->units.emplace_back();
    unit.portName = name;
    unit.protocol = scripted::Protocol::Hid;
    return unit;
}

scripted::Unit& ScriptedPorts::addSerial(const std::string& name, scripted::Protocol protocol)
{
    auto& unit = serialUnits->units.emplace_back();
    unit.portName = name;
    unit.protocol = protocol;
    return unit;
}

std::vector<scripted::Unit*> ScriptedPorts::addMisbehaving(scripted::Protocol protocol)
{
    using upssim::FaultMode;
    const bool hidUnit = protocol == scripted::Protocol::Hid;
    const std::pair<FaultMode, scripted::Fault> faults[] = {
        {FaultMode::Silent, scripted::Fault::None},
        {FaultMode::Reject, scripted::Fault::None},
        {FaultMode::Truncate, scripted::Fault::None},
        {FaultMode::BadKind, scripted::Fault::None},
        {FaultMode::None, scripted::Fault::OverlongReply},
        {FaultMode::None, hidUnit ? scripted::Fault::EmptyReply : scripted::Fault::Garbage},
    };
    std::vector<scripted::Unit*> units;
    for (auto [unitFault, lineFault] : faults) {
        const std::string name =
            std::string(upssim::faultName(unitFault)) + "-" + std::to_string(int(lineFault));
        scripted::Unit& unit = hidUnit ? addHid(name) : addSerial(name, protocol);
        unit.config.fault = unitFault;
        unit.config.faultAfter = 1;
        unit.fault = lineFault;
        units.push_back(&unit);
    }
    return units;
}

PortDescriptor ScriptedPorts::descriptor(std::uint32_t transport, const scripted::Unit& unit)
{
    PortDescriptor d{};
    d.size = sizeof(PortDescriptor);
    d.transport = transport;
    d.portName = unit.portName.c_str();
    if (!unit.descriptorVendor.empty()) {
        d.vendorName = unit.descriptorVendor.c_str();
        d.vendorNameLength = static_cast<std::int32_t>(unit.descriptorVendor.size());
    }
    if (!unit.descriptorProduct.empty()) {
        d.productName = unit.descriptorProduct.c_str();
        d.productNameLength = static_cast<std::int32_t>(unit.descriptorProduct.size());
    }
    return d;
}

bool ScriptedPorts::logHas(const std::string& line) const
{
    const auto lines = logLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::size_t StatusLog::dots() const
{
    return static_cast<std::size_t>(std::count_if(
        entries.begin(), entries.end(), [](const Entry& e) { return e.text == "." && e.newLine == 0; }));
}

} // namespace varnel::test
