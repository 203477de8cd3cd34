// The shipped English message file: every key the program uses has a text,
// and every format takes exactly the arguments the program passes.
#include "settings/MessageKeys.h"
#include "settings/PropertiesFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <regex>
#include <set>
#include <string>

namespace varnel {
namespace {

// The keys written in the program's sources, apart from the table itself.
std::set<std::string> keysInSources()
{
    const std::regex quotedKey("\"((label|msg)\\.[a-z0-9.]+)\"");
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(VARNEL_SOURCE_DIR "/src")) {
        const auto extension = entry.path().extension();
        if ((extension != ".cpp" && extension != ".h") || entry.path().filename() == "MessageKeys.h")
            continue;
        const std::string source = test::readFile(entry.path());
        for (auto at = std::sregex_iterator(source.begin(), source.end(), quotedKey);
             at != std::sregex_iterator(); ++at)
            found.insert((*at)[1].str());
    }
    return found;
}

// The kinds of the conversions in a text: d, i, u, x, X, o count as 'u', s as 's'.
std::string conversionsOf(const std::string& text)
{
    std::string kinds;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%')
            continue;
        ++at;
        while (at < text.size() && std::string("-+ #0123456789.hl").find(text[at]) != std::string::npos)
            ++at;
        if (at >= text.size())
            return "!";
        const char type = text[at];
        if (type == '%')
            continue;
        kinds += type == 's' ? 's' : std::string("diuxXo").find(type) != std::string::npos ? 'u' : '!';
    }
    return kinds;
}

TEST(MessageCatalogue, EveryKeyHasAnEnglishTextWithMatchingConversions)
{
    PropertiesFile file(test::distFile("varnelstrings.en").string().c_str());
    std::set<std::string> tableKeys;
    for (const auto& [key, kinds] : messageKeys) {
        const std::string text = file.get(std::string(key).c_str(), "");
        EXPECT_FALSE(text.empty()) << key;
        EXPECT_EQ(conversionsOf(text), kinds) << key << ": " << text;
        EXPECT_TRUE(tableKeys.insert(std::string(key)).second) << "twice in the table: " << key;
    }
    for (const auto& entry : file.all())
        EXPECT_EQ(tableKeys.count(entry.first), 1u) << "a text the program never shows: " << entry.first;
}

// A key the code looks up must be in the table (and so in the file); a key in
// the table that no code uses any more is a text nobody sees.
TEST(MessageCatalogue, TheTableHoldsExactlyTheKeysTheSourcesUse)
{
    std::set<std::string> tableKeys;
    for (const auto& key : messageKeys)
        tableKeys.insert(std::string(key.name));
    const std::set<std::string> used = keysInSources();
    for (const auto& key : used)
        EXPECT_EQ(tableKeys.count(key), 1u) << "used in the sources but not in MessageKeys.h: " << key;
    for (const auto& key : tableKeys)
        EXPECT_EQ(used.count(key), 1u) << "in MessageKeys.h but used nowhere: " << key;
}

// Page 4 puts " = " and the count after these, so their own punctuation would double it.
TEST(MessageCatalogue, NamesOfCountsEndWithoutPunctuation)
{
    PropertiesFile file(test::distFile("varnelstrings.en").string().c_str());
    for (const char* key : {"label.currentinternalbatteries", "label.currentexternalbatteries"}) {
        const std::string text = file.get(key, "");
        ASSERT_FALSE(text.empty()) << key;
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(text.back()))) << key << ": " << text;
    }
}

} // namespace
} // namespace varnel
