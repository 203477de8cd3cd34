#include "settings/Log.h"
#include "settings/I18N.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <locale>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace varnel {
namespace {

TEST(Log, NewRunEmptiesTheFileAndNothingIsWrittenBeforeTheFirstLine)
{
    test::TempDir dir;
    test::writeFile("varnel.log", "old run\n");
    log() << "first" << std::endl;
    // Another program can read the line while the log is still open.
    EXPECT_EQ(test::readLines("varnel.log"), (std::vector<std::string>{"first"}));

    restartLog();
    EXPECT_TRUE(std::filesystem::exists("varnel.log"));
    log() << "second run" << std::endl;
    EXPECT_EQ(test::readLines("varnel.log"), (std::vector<std::string>{"second run"}));
}

TEST(Log, FileIsCreatedOnlyByTheFirstLineAndEndsLinesAsThePlatformDoes)
{
    test::TempDir dir;
    EXPECT_FALSE(std::filesystem::exists("varnel.log"));
    log() << "Varnel Started" << std::endl;
    EXPECT_TRUE(std::filesystem::exists("varnel.log"));
#ifdef _WIN32
    EXPECT_EQ(test::readFile("varnel.log"), "Varnel Started\r\n");
#else
    EXPECT_EQ(test::readFile("varnel.log"), "Varnel Started\n");
#endif
}

// Stands in for a user locale that groups thousands and writes a decimal comma.
class GroupingPunct : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(Log, KeepsClassicNumbersAfterTheUserLocaleIsSet)
{
    test::TempDir dir;
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new GroupingPunct));
    log() << 1234567 << " " << 2.5 << std::endl;
    std::locale::global(previous);
    EXPECT_EQ(test::readLines("varnel.log").at(0), "1234567 2.5");
}

TEST(Log, UnopenableLogIsIgnored)
{
    test::TempDir dir;
    std::filesystem::create_directory("varnel.log"); // cannot be opened as a file, even by root
    log() << "lost" << std::endl;
    EXPECT_TRUE(log().fail());
    EXPECT_TRUE(std::filesystem::is_directory("varnel.log"));
}

// A varnel.log planted as a link (or a FIFO) is refused: what it points at
// keeps its content, and the run goes on without a log.
TEST(Log, PlantedLinkOrFifoIsNeverWrittenThrough)
{
#ifndef _WIN32
    test::TempDir dir;
    test::writeFile("precious", "the user's own file\n");
    // Emptying the log through either kind of link would empty the user's file.
    for (const bool hard : {false, true}) {
        restartLog();
        std::filesystem::remove("varnel.log");
        hard ? std::filesystem::create_hard_link("precious", "varnel.log")
             : std::filesystem::create_symlink("precious", "varnel.log");
        log() << "Varnel Started" << std::endl;
        EXPECT_TRUE(log().fail()) << hard;
        EXPECT_EQ(test::readFile("precious"), "the user's own file\n") << hard;
        EXPECT_EQ(std::filesystem::is_symlink("varnel.log"), !hard);
    }

    restartLog();
    std::filesystem::remove("varnel.log");
    ASSERT_EQ(mkfifo("varnel.log", 0600), 0);
    log() << "lost" << std::endl; // returns at once instead of waiting for a reader
    EXPECT_TRUE(log().fail());
    restartLog();
#endif
}

TEST(I18N, ReadsTheFileNamedByStringsSuffix)
{
    test::TempDir dir;
    test::writeFile("varnelstrings.fr", "label.done = Terminé\nmsg.empty =\n");
    test::writeFile("varnelstrings.en", "label.done = Done\n");
    I18N catalogue;
    ASSERT_TRUE(catalogue.load("ignored locale", "fr"));
    EXPECT_STREQ(catalogue.lookup("label.done"), "Terminé");
    EXPECT_EQ(catalogue.lookup("msg.empty"), nullptr); // empty counts as missing
    EXPECT_EQ(catalogue.lookup("msg.absent"), nullptr);
    EXPECT_EQ(catalogue.lookup(nullptr), nullptr);
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
}

TEST(I18N, MissingOrCommentOnlyFileFailsToLoad)
{
    test::TempDir dir;
    test::writeFile("varnelstrings.xx", "# nothing here\n");
    I18N catalogue;
    EXPECT_FALSE(catalogue.load("en", "xx"));
    EXPECT_FALSE(catalogue.load("en", "zz"));
    EXPECT_EQ(catalogue.lookup("label.done"), nullptr);
    std::locale::global(std::locale::classic());
}

} // namespace
} // namespace varnel
