#include "data/BatteryPack.h"
#include "data/BatteryTable.h"
#include "data/BatteryWattageTable.h"
#include "data/FWScalarTable.h"
#include "data/VarnelXmlParser.h"
#include "support/FuzzSetup.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepareInput();
    VarnelXmlParser parser(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.xml");
    std::string versionNumber;
    std::string versionDate;
    ScalarTableMap scalarTables;
    WattageTableMap wattageTables;
    BatteryTableMap batteryTables;
    BatteryPackList batteryPacks;
    parser.parse(versionNumber, versionDate, scalarTables, wattageTables, batteryTables, batteryPacks);
    return 0;
}
