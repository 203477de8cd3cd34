#include "settings/ShownText.h"

#include <cstdint>

namespace varnel {

namespace {

// Length of the well-formed UTF-8 sequence at `at` and its code point, or 0.
std::size_t utf8Sequence(std::string_view text, std::size_t at, std::uint32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// C1 controls act as escapes on some terminals; direction overrides and
// isolates make a name read differently from what it holds.
bool harmlessCodePoint(std::uint32_t codePoint)
{
    return !(codePoint <= 0x9F || (codePoint >= 0x202A && codePoint <= 0x202E) ||
             (codePoint >= 0x2066 && codePoint <= 0x2069));
}

void appendEscapedByte(std::string& shown, unsigned char byte)
{
    static constexpr char digits[] = "0123456789abcdef";
    shown += "\\x";
    shown += digits[byte >> 4];
    shown += digits[byte & 0x0F];
}

} // namespace

std::string shownText(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += static_cast<char>(byte);
            ++at;
            continue;
        }
        if (byte == '\n' || byte == '\r' || byte == '\t') {
            shown += byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : "\\t";
            ++at;
            continue;
        }
        std::uint32_t codePoint = 0;
        const std::size_t length = byte >= 0x80 ? utf8Sequence(text, at, codePoint) : 0;
        if (length > 0 && harmlessCodePoint(codePoint)) {
            shown.append(text.substr(at, length));
            at += length;
        } else {
            appendEscapedByte(shown, byte);
            ++at;
        }
    }
    return shown;
}

} // namespace varnel
