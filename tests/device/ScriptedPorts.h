#pragma once

#include "ScriptedUnits.h"
#include "platform/DynamicLibrary.h"
#include "settings/I18N.h"
#include "settings/StatusCallback.h"
#include "support/TestSupport.h"

#include <linkport.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnel::test {

// The scripted HID and serial libraries beside the test executable, held
// loaded for the test so that the units keep their state while the code
// under test loads and frees the libraries as it pleases. Runs in a fresh
// directory holding the shipped message file.
class ScriptedPorts {
public:
    ScriptedPorts();
    ~ScriptedPorts();
    ScriptedPorts(const ScriptedPorts&) = delete;
    ScriptedPorts& operator=(const ScriptedPorts&) = delete;

    // References stay valid for up to 16 units per library.
    scripted::Unit& addHid(const std::string& name);
    scripted::Unit& addSerial(const std::string& name, scripted::Protocol protocol);
    // A unit for each way a unit or its port library misbehaves, named after
    // it; the unit's own faults set in after its first answer, the configuration word.
    std::vector<scripted::Unit*> addMisbehaving(scripted::Protocol protocol);
    scripted::Registry& hid() { return *hidUnits; }
    scripted::Registry& serial() { return *serialUnits; }

    // A descriptor as the library would report it; names stay valid while `unit` lives.
    static PortDescriptor descriptor(std::uint32_t transport, const scripted::Unit& unit);

    const I18N& messages() const { return *catalogue; }
    std::string text(const char* key) const { return catalogue->lookup(key); }
    std::vector<std::string> logLines() const { return readLines("varnel.log"); }
    bool logHas(const std::string& line) const;

private:
    TempDir dir;
    DynamicLibrary hidLibrary;
    DynamicLibrary serialLibrary;
    scripted::Registry* hidUnits = nullptr;
    scripted::Registry* serialUnits = nullptr;
    std::unique_ptr<I18N> catalogue;
};

// A unit's table as the device classes hold it.
template <std::size_t N> std::vector<std::uint8_t> bytes(const std::array<std::uint8_t, N>& table)
{
    return {table.begin(), table.end()};
}

// Collects what a status callback was given.
struct StatusLog {
    struct Entry {
        std::string text;
        std::uint32_t newLine;
    };
    std::vector<Entry> entries;
    StatusCallback callback()
    {
        return [this](const char* text, std::uint32_t newLine) {
            entries.push_back({text ? text : "", newLine});
        };
    }
    std::size_t dots() const;
};

} // namespace varnel::test
