#include "settings/NumberText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace varnel {
namespace {

constexpr NumberRule replyLike{
    .blanks = NumberRule::Blanks::SpacesAndTabs, .past = NumberRule::Past::Wraps, .largest = 0xFFFFFFFFu};
constexpr NumberRule byteOrHex{.hex = true, .whole = true, .largest = 255};

// One row per edge where the rules part ways: sign, what leads, what follows,
// a value too large, "0x", nothing at all.
TEST(NumberText, EachRuleReadsItsEdgesAsBefore)
{
    struct Case {
        const char* ruleName;
        NumberRule rule;
        std::string text;
        std::optional<std::uint64_t> value;
        bool wrapped = false;
    };
    const NumberRule u = numberRules::unsignedConversion;
    const NumberRule d = numberRules::digitsOnly;
    const Case cases[] = {
        {"%u", u, "12abc", 12},
        {"%u", u, " \t\r\n\v\f12", 12},
        {"%u", u, "+7", 7},
        {"%u", u, "-1", 4294967295u},
        {"%u", u, "-0", 0},
        {"%u", u, "4294967295", 4294967295u},
        {"%u", u, "4294967296", 0, true},
        {"%u", u, "42949672961", 1, true},
        {"%u", u, "0x10", 0},
        {"%u", u, "- 1", std::nullopt},
        {"%u", u, "+-1", std::nullopt},
        {"%u", u, "x1", std::nullopt},
        {"%u", u, "-", std::nullopt},
        {"%u", u, "", std::nullopt},
        {"digits", d, "007", 7},
        {"digits", d, "18446744073709551615", 18446744073709551615u},
        {"digits", d, "18446744073709551616", std::nullopt},
        {"digits", d, " 1", std::nullopt},
        {"digits", d, "1 ", std::nullopt},
        {"digits", d, "+1", std::nullopt},
        {"digits", d, "-1", std::nullopt},
        {"digits", d, "0x10", std::nullopt},
        {"digits", d, "", std::nullopt},
        {"reply", replyLike, " \t213 4096", 213},
        {"reply", replyLike, "\n5", std::nullopt},
        {"reply", replyLike, "+5", std::nullopt},
        {"reply", replyLike, "4294967296", 0, true},
        {"reply", replyLike, "99999999999999999999999", 4135583743u, true},
        {"hex", byteOrHex, "0xFf", 255},
        {"hex", byteOrHex, "0X1f", 31},
        {"hex", byteOrHex, "255", 255},
        {"hex", byteOrHex, "256", std::nullopt},
        {"hex", byteOrHex, "0x100", std::nullopt},
        {"hex", byteOrHex, "0x", std::nullopt},
        {"hex", byteOrHex, "0xg", std::nullopt},
        {"hex", byteOrHex, "0x0x1", std::nullopt},
        {"hex", byteOrHex, "ff", std::nullopt},
        {"hex", byteOrHex, "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ruleName) + " '" + c.text + "'");
        const auto scan = scanNumber(c.text, c.rule);
        ASSERT_EQ(scan.has_value(), c.value.has_value());
        if (scan) {
            EXPECT_EQ(scan->value, *c.value);
            EXPECT_EQ(scan->wrapped, c.wrapped);
        }
        EXPECT_EQ(parseNumber(c.text, c.rule), c.value);
    }
}

TEST(NumberText, ScanningGoesOnWhereTheLastNumberEnded)
{
    const std::string text = "(10, 0,\t0,7";
    std::size_t from = 1;
    std::string read;
    while (const auto number = scanNumber(text, replyLike, from)) {
        read += std::to_string(number->value) + ";";
        from = number->end + 1; // past the comma
    }
    EXPECT_EQ(read, "10;0;0;7;");
    EXPECT_EQ(scanNumber("12abc", numberRules::unsignedConversion)->end, 2u);
}

} // namespace
} // namespace varnel
