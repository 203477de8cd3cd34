#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace varnel {

// Whole numbers are read out of text in several places whose rules differ in
// small ways (what may lead, what may follow, what happens past the largest
// value). One scanner serves them all with the differences spelled out in a
// rule, so a reader compares rules instead of loops.
struct NumberRule {
    enum class Blanks { None, SpacesAndTabs, Any }; // skipped before the number; Any is isspace
    enum class Sign { None, Any };                  // a minus gives the 32-bit two's complement
    enum class Past { Fails, Wraps };               // above `largest`; Wraps keeps the value modulo 2^32

    Blanks blanks = Blanks::None;
    Sign sign = Sign::None;
    bool hex = false;   // "0x" or "0X" and a hexadecimal digit start a hexadecimal number
    bool whole = false; // the number must end the text; otherwise the rest is left unread
    Past past = Past::Fails;
    std::uint64_t largest = std::numeric_limits<std::uint64_t>::max();
};

namespace numberRules {
// The C library's "%u" on 32 bits: the data file's numbers and the serial
// unit's configuration word ("12abc" is 12, "-1" is 4294967295).
inline constexpr NumberRule unsignedConversion{.blanks = NumberRule::Blanks::Any,
                                               .sign = NumberRule::Sign::Any,
                                               .past = NumberRule::Past::Wraps,
                                               .largest = std::numeric_limits<std::uint32_t>::max()};
// A value typed on a command line: decimal digits and nothing else.
inline constexpr NumberRule digitsOnly{.whole = true};
} // namespace numberRules

struct NumberScan {
    std::uint64_t value = 0;
    std::size_t end = 0;  // just past the last character read
    bool wrapped = false; // the digits went past `largest` and the value wrapped
};

// Reads a number at `from`; nothing when no digit is there, when a failing
// rule sees it grow past `largest` or when a whole rule finds something after it.
std::optional<NumberScan> scanNumber(std::string_view text, const NumberRule& rule, std::size_t from = 0);

// The value of scanNumber from the start of the text.
std::optional<std::uint64_t> parseNumber(std::string_view text, const NumberRule& rule);

} // namespace varnel
