#include "JsonReader.h"

#include <cctype>
#include <cstdlib>

namespace varnel::test {

namespace {

const JsonValue kNull;

class Parser {
public:
    explicit Parser(const std::string& text) : text(text) {}

    bool document(JsonValue& value)
    {
        return parseValue(value, 0) && (skipSpace(), at == text.size());
    }

private:
    static constexpr int kMaxDepth = 64;

    void skipSpace()
    {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
            ++at;
    }
    bool literal(const char* word)
    {
        const std::string w(word);
        if (text.compare(at, w.size(), w) != 0)
            return false;
        at += w.size();
        return true;
    }
    bool parseValue(JsonValue& value, int depth)
    {
        if (depth > kMaxDepth)
            return false;
        skipSpace();
        if (at >= text.size())
            return false;
        const char c = text[at];
        if (c == '{')
            return parseObject(value, depth);
        if (c == '[')
            return parseArray(value, depth);
        if (c == '"') {
            value.kind = JsonValue::Kind::string;
            return parseString(value.string);
        }
        if (c == 't' || c == 'f') {
            value.kind = JsonValue::Kind::boolean;
            value.boolean = c == 't';
            return literal(c == 't' ? "true" : "false");
        }
        if (c == 'n')
            return literal("null");
        return parseNumber(value);
    }
    bool parseNumber(JsonValue& value)
    {
        const std::size_t begin = at;
        if (at < text.size() && text[at] == '-')
            ++at;
        const std::size_t digits = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])))
            ++at;
        if (at == digits || (text[digits] == '0' && at - digits > 1))
            return false;
        value.kind = JsonValue::Kind::number;
        value.number = std::strtod(text.substr(begin, at - begin).c_str(), nullptr);
        return true;
    }
    bool parseString(std::string& out)
    {
        ++at; // opening quote
        while (at < text.size()) {
            const unsigned char c = static_cast<unsigned char>(text[at++]);
            if (c == '"')
                return true;
            if (c < 0x20 || c >= 0x7F) // the writer escapes everything outside printable ASCII
                return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at >= text.size())
                return false;
            const char e = text[at++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (at + 4 > text.size())
                    return false;
                char* end = nullptr;
                const std::string hex = text.substr(at, 4);
                const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
                if (end != hex.c_str() + 4 || code > 0xFF) // narrow text: one byte per escape
                    return false;
                out += static_cast<char>(code);
                at += 4;
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }
    bool parseArray(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::array;
        ++at;
        skipSpace();
        if (at < text.size() && text[at] == ']')
            return ++at, true;
        for (;;) {
            JsonValue item;
            if (!parseValue(item, depth + 1))
                return false;
            value.items.push_back(std::move(item));
            skipSpace();
            if (at >= text.size())
                return false;
            if (text[at++] == ']')
                return true;
            if (text[at - 1] != ',')
                return false;
        }
    }
    bool parseObject(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::object;
        ++at;
        skipSpace();
        if (at < text.size() && text[at] == '}')
            return ++at, true;
        for (;;) {
            skipSpace();
            std::string name;
            if (at >= text.size() || text[at] != '"' || !parseString(name))
                return false;
            skipSpace();
            if (at >= text.size() || text[at++] != ':')
                return false;
            JsonValue member;
            if (!parseValue(member, depth + 1) || value.members.count(name) != 0)
                return false;
            value.members.emplace(name, std::move(member));
            skipSpace();
            if (at >= text.size())
                return false;
            if (text[at++] == '}')
                return true;
            if (text[at - 1] != ',')
                return false;
        }
    }

    const std::string& text;
    std::size_t at = 0;
};

} // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const
{
    const auto found = members.find(name);
    return found != members.end() ? found->second : kNull;
}

const JsonValue& JsonValue::operator[](std::size_t index) const
{
    return index < items.size() ? items[index] : kNull;
}

std::vector<std::uint32_t> JsonValue::asBytes() const
{
    std::vector<std::uint32_t> bytes;
    for (const JsonValue& item : items)
        bytes.push_back(static_cast<std::uint32_t>(item.number));
    return bytes;
}

std::optional<JsonValue> parseJson(const std::string& text)
{
    JsonValue value;
    if (!Parser(text).document(value))
        return std::nullopt;
    return value;
}

} // namespace varnel::test
