#include "settings/JsonText.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace varnel {
namespace {

// The narrow text back from the characters narrowToUtf8 made of its bytes.
std::string bytesOf(const std::string& utf8)
{
    std::string bytes;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80 || i + 1 == utf8.size())
            bytes += utf8[i];
        else
            bytes += static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    }
    return bytes;
}

bool ascii(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

TEST(JsonText, NamesFromUnitsAreEscaped)
{
    const nlohmann::ordered_json doc{{"name", narrowToUtf8(std::string("A\"b\\c\n\x01\xe9", 8))},
                                     {"values", std::vector<std::uint8_t>{1, 255}},
                                     {"count", -3},
                                     {"empty", nlohmann::ordered_json::array()}};
    EXPECT_EQ(toAsciiJson(doc), R"({"name":"A\"b\\c\n\u0001\u00e9","values":[1,255],"count":-3,"empty":[]})");
}

TEST(JsonText, NoByteSequenceBreaksTheDocument)
{
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const std::string text = toAsciiJson({{"name", narrowToUtf8(everyByte)}});
    EXPECT_TRUE(ascii(text)) << text;
    const nlohmann::json back = nlohmann::json::parse(text, nullptr, false);
    ASSERT_TRUE(back.is_object()) << text;
    EXPECT_EQ(bytesOf(back["name"].get<std::string>()), everyByte);

    // Text that skipped the conversion, broken UTF-8 among it, is replaced rather than thrown over.
    for (const char* raw : {"\xe9", "\xc3", "\xc3\x28", "\xed\xa0\x80", "\xf8\x88\x80\x80\x80", "ok\xff"}) {
        SCOPED_TRACE(testing::PrintToString(raw));
        std::string dumped;
        EXPECT_NO_THROW(dumped = toAsciiJson({{"name", raw}}));
        EXPECT_TRUE(ascii(dumped));
        EXPECT_TRUE(nlohmann::json::accept(dumped)) << dumped;
    }
}

} // namespace
} // namespace varnel
