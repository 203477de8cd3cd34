#include "settings/CatalogueText.h"
#include "settings/I18N.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <locale>
#include <string>

namespace varnel {
namespace {

// The catalogue sets the user's locale; the other tests expect the classic one.
struct Catalogue {
    Catalogue()
    {
        test::writeFile("varnelstrings.xx", "msg.empty =\nmsg.count = %u of %s\n");
        loaded = messages.load("ignored", "xx");
    }
    ~Catalogue()
    {
        std::setlocale(LC_ALL, "C");
        std::locale::global(std::locale::classic());
    }
    test::TempDir dir;
    I18N messages;
    bool loaded = false;
};

const char* shown(const char* text)
{
    return text != nullptr ? text : "(null)";
}

// Each row: the lookup, and the same key filled as a format ("4 of 12V" when it has a text).
TEST(CatalogueText, AKeyWithoutATextGivesWhatTheCallerAskedFor)
{
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.loaded);
    struct Case {
        const I18N* messages;
        const char* key;
        Missing missing;
        const char* text;
        const char* formatted;
    };
    const I18N* loaded = &catalogue.messages;
    const Case cases[] = {
        {loaded, "msg.count", Missing::Key, "%u of %s", "4 of 12V"},
        {loaded, "msg.count", Missing::Null, "%u of %s", "4 of 12V"},
        {loaded, "msg.count", Missing::Empty, "%u of %s", "4 of 12V"},
        {loaded, "msg.absent", Missing::Key, "msg.absent", "msg.absent"},
        {loaded, "msg.absent", Missing::Null, nullptr, ""},
        {loaded, "msg.absent", Missing::Empty, "", ""},
        {loaded, "msg.empty", Missing::Key, "msg.empty", "msg.empty"},
        {loaded, "msg.empty", Missing::Null, nullptr, ""},
        {loaded, "msg.empty", Missing::Empty, "", ""},
        {nullptr, "msg.count", Missing::Key, "msg.count", "msg.count"},
        {nullptr, "msg.count", Missing::Null, nullptr, ""},
        {nullptr, "msg.count", Missing::Empty, "", ""},
    };
    const std::uint32_t count = 4;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(static_cast<int>(c.missing)));
        EXPECT_STREQ(shown(catalogueText(c.messages, c.key, c.missing)), shown(c.text));
        EXPECT_EQ(catalogueFormat(c.messages, c.key, {count, "12V"}, c.missing), c.formatted);
    }
}

} // namespace
} // namespace varnel
