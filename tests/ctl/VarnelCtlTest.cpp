#include "ctl/VarnelCtl.h"
#include "CtlRunner.h"
#include "ctl/PackSelection.h"
#include "support/TestSupport.h"

#include "platform/Sha256.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

using test::installRunFiles;
using test::runCtl;
using Result = test::CtlResult;

TEST(PackSelection, RowsAddUpAndBadPacksAreRefused)
{
    PackSelection selection;
    std::string reason;
    EXPECT_TRUE(selection.add("2=2", 6, reason));
    EXPECT_TRUE(selection.add("2=3", 6, reason));
    EXPECT_TRUE(selection.add("6=9", 6, reason));
    EXPECT_EQ(selection.quantities(6), (std::vector<std::uint32_t>{0, 5, 0, 0, 0, 9}));

    for (const char* bad : {"0=1", "7=1", "2", "=1", "2=", "2=10", "x=1", "2=1x", "-1=2", "2=-1"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(selection.add(bad, 6, reason));
        EXPECT_FALSE(reason.empty());
    }
    EXPECT_EQ(selection.quantities(6), (std::vector<std::uint32_t>{0, 5, 0, 0, 0, 9}));
}

TEST(VarnelCtl, UsageErrorsExitWithOne)
{
    test::TempDir dir;
    installRunFiles();
    EXPECT_EQ(runCtl({}).code, 1);
    EXPECT_EQ(runCtl({"frobnicate"}).code, 1);
    EXPECT_EQ(runCtl({"packs"}).code, 1); // --data is required
    EXPECT_EQ(runCtl({"plan", "--data", "sample-batterydata.xml"}).code, 1);
    EXPECT_EQ(runCtl({"plan", "--data", "sample-batterydata.xml", "--unit", "1"}).code, 1);
    EXPECT_EQ(runCtl({"plan", "--data", "sample-batterydata.xml", "--unit", "0", "--internal-only"}).code, 1);
    EXPECT_EQ(runCtl({"plan", "--data", "sample-batterydata.xml", "--unit", "1", "--internal-only", "--pack",
                      "1=1"})
                  .code,
              1);
    const Result noYes =
        runCtl({"apply", "--data", "sample-batterydata.xml", "--unit", "1", "--internal-only"});
    EXPECT_EQ(noYes.code, 1);
    EXPECT_NE(noYes.err.find("--yes"), std::string::npos);
    EXPECT_EQ(runCtl({"restore", "--unit", "1", "--from", "backup.json"}).code, 1); // no --yes
    EXPECT_EQ(runCtl({"restore", "--yes", "--unit", "1"}).code, 1);                 // no --from
    EXPECT_EQ(runCtl({"backup"}).code, 1);                                          // no --unit
    // Refused before anything is scanned or written.
    EXPECT_EQ(test::readFile("varnel.log"), "");
    const Result help = runCtl({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("apply"), std::string::npos);
    const Result version = runCtl({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("varnelctl ", 0), 0u);
    EXPECT_NE(version.out.find("GPL-3.0-or-later"), std::string::npos);
}

TEST(VarnelCtl, PacksOfTheSampleFile)
{
    test::TempDir dir;
    installRunFiles();
    const Result text = runCtl({"packs", "--data", "sample-batterydata.xml"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out.rfind("1  EBP-48 Small (4 x 7Ah)  (EBP-0407)  type 1, 4 batteries\n", 0), 0u);
    EXPECT_NE(text.err.find("Battery data file read: version 3.1 of 2026-11-30."), std::string::npos);

    const Result json = runCtl({"packs", "--json", "--data", "sample-batterydata.xml"});
    ASSERT_EQ(json.code, 0);
    const std::string expected =
        "{\"fileVersionNumber\":\"3.1\",\"fileVersionDate\":\"2026-11-30\",\"fileSha256\":\"" +
        Sha256::ofFile("sample-batterydata.xml") +
        "\",\"packs\":[{"
        "\"number\":1,\"name\":\"EBP-48 Small (4 x 7Ah)\",\"partNumber\":\"EBP-0407\","
        "\"batteryTypeIndex\":1,\"numberOfBatteries\":4},";
    EXPECT_EQ(json.out.rfind(expected, 0), 0u) << json.out;

    const auto log = test::readLines("varnel.log");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "Parsing internal configuration file varnel.ini");
    EXPECT_EQ(log[2], "Varnel Started");
}

TEST(VarnelCtl, StartAndDataFileFailuresExitWithTwo)
{
    test::TempDir dir;
    const Result bare = runCtl({"packs", "--json", "--data", "x.xml"});
    EXPECT_EQ(bare.code, 2);
    EXPECT_NE(bare.err.find("varnel.ini"), std::string::npos);
    EXPECT_EQ(bare.out,
              "{\"exitCode\":2,\"error\":\"start-up failed: run varnelctl in the folder holding varnel.ini "
              "and its message file\"}\n");

    installRunFiles();
    test::writeFile("broken.xml", "<ExternalBatteryPack><Version");
    EXPECT_EQ(runCtl({"packs", "--data", "broken.xml"}).code, 2);
    EXPECT_EQ(runCtl({"packs", "--data", "missing.xml"}).code, 2);
    const Result bad = runCtl({"plan", "--data", "sample-batterydata.xml", "--unit", "1", "--pack", "7=1"});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("there is no pack 7: the data file has 6"), std::string::npos);
}

} // namespace
} // namespace varnel
