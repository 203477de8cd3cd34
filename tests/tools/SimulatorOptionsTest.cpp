#include "SimulatorOptions.h"

#include <gtest/gtest.h>

#include <vector>

using namespace varnel::upssim;

namespace {

struct Parsed {
    bool ok = false;
    SimulatorOptions options;
    std::string error;
};

Parsed parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "upssim");
    Parsed parsed;
    parsed.ok = parsed.options.parse(static_cast<int>(args.size()), args.data(), parsed.error);
    return parsed;
}

} // namespace

TEST(SimulatorOptions, TakesEveryOptionInAnyOrder)
{
    const Parsed p =
        parse({"units.ini", "--ready", "r", "--pace-2400", "--journal", "j.jsonl", "--dir", "ups"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.unitFile, "units.ini");
    EXPECT_EQ(p.options.directory, "ups");
    EXPECT_EQ(p.options.journalFile, "j.jsonl");
    EXPECT_EQ(p.options.readyFile, "r");
    EXPECT_TRUE(p.options.pace2400);
    EXPECT_FALSE(p.options.help);

    const Parsed plain = parse({"--dir", "ups", "units.ini"});
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_TRUE(plain.options.journalFile.empty());
    EXPECT_TRUE(plain.options.readyFile.empty());
    EXPECT_FALSE(plain.options.pace2400);

    for (const char* help : {"--help", "-h"}) {
        const Parsed h = parse({help});
        EXPECT_TRUE(h.ok && h.options.help) << help;
    }
    EXPECT_NE(SimulatorOptions::usage().find("wrongvalue"), std::string::npos); // the fault kinds
}

TEST(SimulatorOptions, RefusesCommandLinesThatCannotRun)
{
    struct Case {
        std::vector<const char*> args;
        const char* error;
    };
    const Case cases[] = {
        {{}, "--dir"},
        {{"--dir", "ups"}, "UNITFILE"},
        {{"units.ini"}, "--dir"},
        {{"units.ini", "--dir"}, "--dir"},
        {{"--dir", "", "units.ini"}, "--dir: needs a value"},
        {{"--dir", "ups", "--journal", "", "units.ini"}, "--journal: needs a value"},
        {{"--dir", "ups", "--ready"}, "--ready"},
        {{"--dir", "a:b", "units.ini"}, "':'"},
        {{"--dir", "ups", "--bogus", "units.ini"}, "--bogus"},
        {{"--dir", "ups", "a.ini", "b.ini"}, "b.ini"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << c.error;
        EXPECT_NE(p.error.find(c.error), std::string::npos) << p.error;
    }
}
