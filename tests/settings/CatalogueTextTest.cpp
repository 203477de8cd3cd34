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
        test::writeFile("varnelstrings.xx", "label.shown = Shown\nmsg.empty =\nmsg.count = %u of %s\n");
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

TEST(CatalogueText, AKeyWithoutATextGivesWhatTheCallerAskedFor)
{
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.loaded);
    struct Case {
        const I18N* messages;
        const char* key;
        Missing missing;
        const char* text;
    };
    const I18N* loaded = &catalogue.messages;
    const Case cases[] = {
        {loaded, "label.shown", Missing::Key, "Shown"},
        {loaded, "label.shown", Missing::Null, "Shown"},
        {loaded, "label.shown", Missing::Empty, "Shown"},
        {loaded, "msg.absent", Missing::Key, "msg.absent"},
        {loaded, "msg.absent", Missing::Null, nullptr},
        {loaded, "msg.absent", Missing::Empty, ""},
        {loaded, "msg.empty", Missing::Key, "msg.empty"},
        {loaded, "msg.empty", Missing::Null, nullptr},
        {loaded, "msg.empty", Missing::Empty, ""},
        {nullptr, "label.shown", Missing::Key, "label.shown"},
        {nullptr, "label.shown", Missing::Null, nullptr},
        {nullptr, "label.shown", Missing::Empty, ""},
    };
    for (const Case& c : cases) {
        const char* text = catalogueText(c.messages, c.key, c.missing);
        EXPECT_STREQ(shown(text), shown(c.text)) << c.key << " " << static_cast<int>(c.missing);
    }
}

TEST(CatalogueText, AFormatWithoutATextIsTheKeyOrEmpty)
{
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.loaded);
    const I18N* loaded = &catalogue.messages;
    const std::uint32_t count = 4;
    EXPECT_EQ(catalogueFormat(loaded, "msg.count", {count, "12V"}, Missing::Key), "4 of 12V");
    EXPECT_EQ(catalogueFormat(loaded, "msg.count", {count, "12V"}, Missing::Empty), "4 of 12V");
    for (const char* key : {"msg.absent", "msg.empty"}) {
        EXPECT_EQ(catalogueFormat(loaded, key, {count}, Missing::Key), key);
        EXPECT_EQ(catalogueFormat(loaded, key, {count}, Missing::Empty), "") << key;
        EXPECT_EQ(catalogueFormat(loaded, key, {count}, Missing::Null), "") << key;
    }
    EXPECT_EQ(catalogueFormat(nullptr, "msg.count", {count, "12V"}, Missing::Key), "msg.count");
    EXPECT_EQ(catalogueFormat(nullptr, "msg.count", {count, "12V"}, Missing::Empty), "");
}

} // namespace
} // namespace varnel
