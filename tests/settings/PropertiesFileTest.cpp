#include "settings/PropertiesFile.h"
#include "settings/Trim.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

std::string valueOf(const PropertiesFile& file, const std::string& key)
{
    return file.get(key, "<absent>");
}

TEST(Trim, RemovesBlanksAtTheChosenEnds)
{
    EXPECT_EQ(trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(trim(" \t a b \r\n", TrimRight), " \t a b");
    EXPECT_EQ(trim(" \t a b \r\n", TrimLeft), "a b \r\n");
    EXPECT_EQ(trim(" \r\n\t "), "");
    EXPECT_EQ(trim(""), "");
}

TEST(PropertiesFile, CommentsCutLinesWhereverTheyStand)
{
    PropertiesFile file;
    EXPECT_EQ(file.loadText("  ftp.user =  anonymous   # the usual\n"
                            "# key = commented out\n"
                            "url = http://host/#anchor\n"),
              2);
    EXPECT_EQ(valueOf(file, "ftp.user"), "anonymous");
    EXPECT_EQ(valueOf(file, "url"), "http://host/");
    EXPECT_EQ(file.size(), 2u);
}

TEST(PropertiesFile, LinesWithoutDelimiterAreSkipped)
{
    PropertiesFile file;
    EXPECT_EQ(file.loadText("[section]\nno delimiter here\n= word\nkey = a = b\n"), 2);
    EXPECT_EQ(valueOf(file, ""), "word");
    EXPECT_EQ(valueOf(file, "key"), "a = b");
    EXPECT_EQ(valueOf(file, "[section]"), "<absent>");
}

TEST(PropertiesFile, ContinuationJoinsWithOneSpace)
{
    PropertiesFile file;
    file.loadText("label.welcome=first \\\n   second  # remark\n"
                  "three = a\\\nb = c\\\n\\\n  d\n"
                  "last = tail \\");
    EXPECT_EQ(valueOf(file, "label.welcome"), "first second");
    // A continuation line is taken whole, "=" and all, and may continue itself.
    EXPECT_EQ(valueOf(file, "three"), "a b = c d");
    EXPECT_EQ(valueOf(file, "b"), "<absent>");
    // At the end of the file only the space is left of the backslash.
    EXPECT_EQ(valueOf(file, "last"), "tail ");
}

TEST(PropertiesFile, EscapesApplyToValuesOnly)
{
    PropertiesFile file;
    file.loadText("label.welcome=One.\\r\\nTwo.\nx=a\\rb\ny=a\\tb\nk\\n=v\n");
    EXPECT_EQ(valueOf(file, "label.welcome"), "One.\r\nTwo.");
    EXPECT_EQ(valueOf(file, "x"), "a\rb");
    EXPECT_EQ(valueOf(file, "y"), "a\\tb");
    EXPECT_EQ(valueOf(file, "k\\n"), "v");
}

TEST(PropertiesFile, DuplicatesKeepTheLaterValueAndCountTwice)
{
    PropertiesFile file;
    EXPECT_EQ(file.loadText("a=1\na=2\n"), 2);
    EXPECT_EQ(valueOf(file, "a"), "2");
    EXPECT_EQ(file.size(), 1u);
    EXPECT_EQ(valueOf(file, "A"), "<absent>"); // case matters
}

TEST(PropertiesFile, EmptyValueIsNotTheDefault)
{
    PropertiesFile file;
    file.loadText("http.server =\n");
    EXPECT_EQ(file.get("http.server", "default"), "");
    EXPECT_EQ(file.get("http.path", "default"), "default");
    EXPECT_EQ(file.size(), 1u); // get created nothing
}

TEST(PropertiesFile, ReadsFilesWithWindowsLineEnds)
{
    test::TempDir dir;
    test::writeFile("crlf.ini", "a = 1  \r\nb = two \\\r\n  lines\r\n# c = 3\r\n");
    PropertiesFile file("crlf.ini");
    EXPECT_EQ(file.size(), 2u);
    EXPECT_EQ(valueOf(file, "a"), "1");
    EXPECT_EQ(valueOf(file, "b"), "two lines");
}

TEST(PropertiesFile, MissingEmptyAndCommentOnlyFilesHoldNothing)
{
    test::TempDir dir;
    test::writeFile("empty.ini", "");
    test::writeFile("comments.ini", "# only\n   # comments\n");
    EXPECT_EQ(PropertiesFile("missing.ini").size(), 0u);
    EXPECT_EQ(PropertiesFile("empty.ini").size(), 0u);
    EXPECT_EQ(PropertiesFile("comments.ini").size(), 0u);

    PropertiesFile kept;
    kept.set("k", "v");
    EXPECT_EQ(kept.load("missing.ini"), 0);
    EXPECT_EQ(valueOf(kept, "k"), "v");
}

} // namespace
} // namespace varnel
