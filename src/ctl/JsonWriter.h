#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// Builds one JSON document for scripts; names read from units are narrow
// text of unknown encoding, so every byte outside printable ASCII is escaped.
class JsonWriter {
public:
    JsonWriter& beginObject(std::string_view name = {});
    JsonWriter& endObject();
    JsonWriter& beginArray(std::string_view name = {});
    JsonWriter& endArray();
    JsonWriter& field(std::string_view name, std::string_view value);
    JsonWriter& field(std::string_view name, const char* value) { return field(name, std::string_view(value)); }
    JsonWriter& field(std::string_view name, std::uint64_t value);
    JsonWriter& field(std::string_view name, std::int64_t value);
    JsonWriter& field(std::string_view name, std::uint32_t value) { return field(name, std::uint64_t{value}); }
    JsonWriter& field(std::string_view name, std::int32_t value) { return field(name, std::int64_t{value}); }
    JsonWriter& field(std::string_view name, bool value);
    JsonWriter& field(std::string_view name, const std::vector<std::uint8_t>& values);

    const std::string& text() const { return out; }

    static std::string quote(std::string_view value);

private:
    void key(std::string_view name);

    std::string out;
    std::vector<bool> first{true};
};

} // namespace varnel
