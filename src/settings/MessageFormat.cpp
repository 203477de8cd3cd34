#include "settings/MessageFormat.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace varnel {

namespace {

constexpr std::size_t maxLength = messageBufferSize - 1;
constexpr int maxFieldDigits = 3; // width and precision up to 999

struct Conversion {
    std::string flags;
    std::string width;
    std::string precision; // including the point, when given
    bool wide = false;     // l or ll: 64-bit integers
    char type = 0;
};

bool isIntegerConversion(char type)
{
    return type == 'd' || type == 'i' || type == 'u' || type == 'x' || type == 'X' || type == 'o';
}

// Reads one conversion after its "%"; nothing is accepted that printf could
// misuse (no "*", no "%n", no floating point, no pointers).
std::optional<Conversion> readConversion(std::string_view format, std::size_t& at)
{
    Conversion c;
    while (at < format.size() && std::string_view("-+ #0").find(format[at]) != std::string_view::npos)
        c.flags += format[at++];
    while (at < format.size() && format[at] >= '0' && format[at] <= '9')
        c.width += format[at++];
    if (at < format.size() && format[at] == '.') {
        c.precision += format[at++];
        while (at < format.size() && format[at] >= '0' && format[at] <= '9')
            c.precision += format[at++];
    }
    if (c.width.size() > maxFieldDigits || c.precision.size() > maxFieldDigits + 1)
        return std::nullopt;
    if (at < format.size() && (format[at] == 'h' || format[at] == 'l')) {
        const char modifier = format[at++];
        if (at < format.size() && format[at] == modifier)
            ++at;
        c.wide = modifier == 'l';
    }
    if (at >= format.size())
        return std::nullopt;
    c.type = format[at++];
    if (c.type != 's' && !isIntegerConversion(c.type))
        return std::nullopt;
    return c;
}

bool matches(const Conversion& c, const MessageArg& arg)
{
    if (c.type == 's')
        return arg.kind == MessageArg::Kind::Text;
    return arg.kind != MessageArg::Kind::Text;
}

std::string render(const Conversion& c, const MessageArg& arg)
{
    std::string pattern = "%" + c.flags + c.width + c.precision;
    char buffer[messageBufferSize];
    if (c.type == 's') {
        const std::string text(arg.text);
        pattern += 's';
        std::snprintf(buffer, sizeof buffer, pattern.c_str(), text.c_str());
    } else {
        pattern += "ll";
        pattern += c.type;
        const bool isSigned = c.type == 'd' || c.type == 'i';
        if (isSigned) {
            long long value = c.wide ? static_cast<long long>(arg.number)
                                     : static_cast<long long>(static_cast<std::int32_t>(arg.number));
            std::snprintf(buffer, sizeof buffer, pattern.c_str(), value);
        } else {
            unsigned long long value = c.wide ? arg.number : static_cast<std::uint32_t>(arg.number);
            std::snprintf(buffer, sizeof buffer, pattern.c_str(), value);
        }
    }
    return buffer;
}

std::string bounded(std::string text)
{
    if (text.size() > maxLength)
        text.resize(maxLength);
    return text;
}

} // namespace

std::string formatMessage(const char* format, std::string_view key, std::initializer_list<MessageArg> args)
{
    if (format == nullptr)
        return bounded(std::string(key));

    const std::string_view text(format);
    std::vector<std::string> pieces;
    const MessageArg* next = args.begin();
    std::size_t at = 0;
    std::string literal;
    while (at < text.size()) {
        const char ch = text[at++];
        if (ch != '%') {
            literal += ch;
            continue;
        }
        if (at < text.size() && text[at] == '%') {
            literal += '%';
            ++at;
            continue;
        }
        const auto conversion = readConversion(text, at);
        if (!conversion || next == args.end() || !matches(*conversion, *next))
            return bounded(std::string(text));
        pieces.push_back(std::move(literal));
        literal.clear();
        pieces.push_back(render(*conversion, *next++));
    }
    // Fewer conversions than arguments is safe: the rest are simply not shown.
    pieces.push_back(std::move(literal));

    std::string result;
    for (const auto& piece : pieces) {
        result += piece;
        if (result.size() >= maxLength)
            break;
    }
    return bounded(std::move(result));
}

} // namespace varnel
