#include "ctl/JsonWriter.h"

#include <cstdio>

namespace varnel {

std::string JsonWriter::quote(std::string_view value)
{
    std::string quoted = "\"";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

void JsonWriter::key(std::string_view name)
{
    if (!first.back())
        out += ',';
    first.back() = false;
    if (!name.empty())
        out += quote(name) + ':';
}

JsonWriter& JsonWriter::beginObject(std::string_view name)
{
    key(name);
    out += '{';
    first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    first.pop_back();
    out += '}';
    return *this;
}

JsonWriter& JsonWriter::beginArray(std::string_view name)
{
    key(name);
    out += '[';
    first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    first.pop_back();
    out += ']';
    return *this;
}

JsonWriter& JsonWriter::field(std::string_view name, std::string_view value)
{
    key(name);
    out += quote(value);
    return *this;
}

JsonWriter& JsonWriter::field(std::string_view name, std::uint64_t value)
{
    key(name);
    out += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::field(std::string_view name, std::int64_t value)
{
    key(name);
    out += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::field(std::string_view name, bool value)
{
    key(name);
    out += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::field(std::string_view name, const std::vector<std::uint8_t>& values)
{
    beginArray(name);
    for (const std::uint8_t value : values)
        field({}, std::uint64_t{value});
    return endArray();
}

} // namespace varnel
