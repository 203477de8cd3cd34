#include "settings/MessageFormat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace varnel {
namespace {

TEST(MessageFormat, FillsMatchingConversions)
{
    EXPECT_EQ(formatMessage("Internal batteries: %u of type %s", "k", {std::uint32_t{4}, "12V 9Ah"}),
              "Internal batteries: 4 of type 12V 9Ah");
    EXPECT_EQ(formatMessage("%s of %s", "k", {std::string("1.2"), std::string("2026-01-01")}),
              "1.2 of 2026-01-01");
    EXPECT_EQ(formatMessage("row %d at 100%%", "k", {7}), "row 7 at 100%");
    EXPECT_EQ(formatMessage("%u", "k", {std::uint32_t{4294967295u}}), "4294967295");
    EXPECT_EQ(formatMessage("0x%04X", "k", {std::uint32_t{0x1F}}), "0x001F");
    EXPECT_EQ(formatMessage("%lu", "k", {std::uint64_t{5000000000ull}}), "5000000000");
    EXPECT_EQ(formatMessage("no conversions", "k", {}), "no conversions");
    // A translation may leave an argument out.
    EXPECT_EQ(formatMessage("only %u", "k", {std::uint32_t{1}, std::uint32_t{2}}), "only 1");
}

TEST(MessageFormat, HostileFormatsAreShownUnfilled)
{
    const std::uint32_t count = 3;
    for (const char* hostile : {"%s of type %s", // a number where text is expected
                                "%u %u %u",      // more conversions than arguments
                                "%n%u",          // writes through a pointer
                                "%*u",           // reads a width argument
                                "%.*s", "%p", "%f", "%c", "%u%", "%9999u", "%1$u"}) {
        EXPECT_EQ(formatMessage(hostile, "msg.key", {count}), hostile) << hostile;
    }
    EXPECT_EQ(formatMessage("%u", "msg.key", {"text"}), "%u");
}

TEST(MessageFormat, MissingTextYieldsTheKey)
{
    EXPECT_EQ(formatMessage(nullptr, "msg.nowattagetable", {std::uint32_t{2}}), "msg.nowattagetable");
}

TEST(MessageFormat, OutputStaysWithinTheBuffer)
{
    const std::string longText(5000, 'x');
    EXPECT_EQ(formatMessage("%s", "k", {longText}).size(), messageBufferSize - 1);
    EXPECT_EQ(formatMessage(longText.c_str(), "k", {}).size(), messageBufferSize - 1);
    EXPECT_EQ(formatMessage("%999u%999u", "k", {std::uint32_t{1}, std::uint32_t{2}}).size(),
              messageBufferSize - 1);
}

} // namespace
} // namespace varnel
