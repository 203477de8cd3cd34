#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnel::test {

// A parsed JSON value: enough of the format to read varnelctl's documents
// back strictly, so a stray comma or an unescaped byte fails the test.
struct JsonValue {
    enum class Kind { null, boolean, number, string, array, object };
    Kind kind = Kind::null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // The member of that name; a missing one reads as null.
    const JsonValue& operator[](const std::string& name) const;
    const JsonValue& operator[](std::size_t index) const;
    std::int64_t asInt() const { return static_cast<std::int64_t>(number); }
    std::vector<std::uint32_t> asBytes() const;
};

// The whole text must be one value (surrounding white space allowed).
std::optional<JsonValue> parseJson(const std::string& text);

} // namespace varnel::test
