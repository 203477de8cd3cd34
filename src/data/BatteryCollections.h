#pragma once

#include "data/BatteryPack.h"
#include "data/BatteryTable.h"
#include "data/BatteryWattageTable.h"
#include "data/FWScalarTable.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace varnel {

using ScalarTableMap = std::map<std::uint32_t, std::unique_ptr<FWScalarTable>>;
using WattageTableMap = std::map<std::uint32_t, std::unique_ptr<BatteryWattageTable>>;
using BatteryTableMap = std::map<std::uint32_t, std::unique_ptr<BatteryTable>>;
using BatteryPackList = std::vector<std::unique_ptr<BatteryPack>>;

// The table under a key, or null; never inserts, so no empty entry is left behind.
template <typename Map>
const typename Map::mapped_type::element_type* findTable(const Map& tables, std::uint32_t key)
{
    const auto found = tables.find(key);
    return found == tables.end() ? nullptr : found->second.get();
}

} // namespace varnel
