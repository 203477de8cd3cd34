#include "settings/NumberText.h"

#include <cctype>

namespace varnel {

namespace {

bool isBlank(char c, NumberRule::Blanks blanks)
{
    switch (blanks) {
    case NumberRule::Blanks::None:
        return false;
    case NumberRule::Blanks::SpacesAndTabs:
        return c == ' ' || c == '\t';
    case NumberRule::Blanks::Any:
        return std::isspace(static_cast<unsigned char>(c)) != 0;
    }
    return false;
}

int digitValue(char c, unsigned base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

constexpr std::uint64_t low32 = 0xFFFFFFFFu;

} // namespace

std::optional<NumberScan> scanNumber(std::string_view text, const NumberRule& rule, std::size_t from)
{
    std::size_t pos = from;
    while (pos < text.size() && isBlank(text[pos], rule.blanks))
        ++pos;
    bool negative = false;
    if (rule.sign == NumberRule::Sign::Any && pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    unsigned base = 10;
    // Like strtoul, "0x" without a hexadecimal digit after it is the number 0 followed by an "x".
    if (rule.hex && pos + 2 < text.size() && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X') && digitValue(text[pos + 2], 16) >= 0) {
        base = 16;
        pos += 2;
    }
    if (pos >= text.size() || digitValue(text[pos], base) < 0)
        return std::nullopt;
    NumberScan scan;
    for (int digit = 0; pos < text.size() && (digit = digitValue(text[pos], base)) >= 0; ++pos) {
        const auto d = static_cast<std::uint64_t>(digit);
        if (d > rule.largest)
            return std::nullopt;
        if (rule.past == NumberRule::Past::Wraps) {
            const std::uint64_t next = scan.value * base + d; // below 2^37, the value is kept to 32 bits
            scan.wrapped = scan.wrapped || next > rule.largest;
            scan.value = next & low32;
        } else {
            if (scan.value > (rule.largest - d) / base)
                return std::nullopt;
            scan.value = scan.value * base + d;
        }
    }
    if (rule.whole && pos != text.size())
        return std::nullopt;
    if (negative)
        scan.value = (0 - scan.value) & low32;
    scan.end = pos;
    return scan;
}

std::optional<std::uint64_t> parseNumber(std::string_view text, const NumberRule& rule)
{
    const auto scan = scanNumber(text, rule);
    if (!scan)
        return std::nullopt;
    return scan->value;
}

} // namespace varnel
