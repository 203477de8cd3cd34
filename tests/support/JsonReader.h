#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnel::test {

// varnelctl's documents and upssim's journal lines read back strictly: the
// whole text one value, in ASCII alone, since both escape every other byte.
std::optional<nlohmann::json> parseJson(const std::string& text);

// A count or byte as written; anything else, a missing member too, reads as 0.
std::uint32_t numberOf(const nlohmann::json& value);
std::vector<std::uint32_t> numbersOf(const nlohmann::json& array);

} // namespace varnel::test
