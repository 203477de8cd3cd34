#include "platform/DurableFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace varnel {
namespace {

// What a backup relies on, on each platform: a new name gets the whole
// content, a taken name keeps its file, a folder that is not there (or is a
// file) fails with a reason, and no temporary file is left behind.
TEST(DurableFile, NewNamesAreWrittenWholeAndTakenNamesKeepTheirFile)
{
    test::TempDir dir;
    std::string reason;
    ASSERT_TRUE(createFolder("backups", reason)) << reason;
    ASSERT_TRUE(createFolder("backups", reason)) << "an existing folder is no failure: " << reason;

    EXPECT_EQ(writeNewFileDurably("backups", "a.json", "first", reason), DurableWrite::written) << reason;
    EXPECT_EQ(writeNewFileDurably("backups", "a.json", "second", reason), DurableWrite::nameTaken);
    EXPECT_EQ(test::readFile("backups/a.json"), "first");
    EXPECT_EQ(writeNewFileDurably("backups", "b.json", std::string(100000, 'x'), reason),
              DurableWrite::written);
    EXPECT_EQ(std::filesystem::file_size("backups/b.json"), 100000u);

    test::writeFile("taken", "");
    EXPECT_FALSE(createFolder("taken", reason)) << "a file where the folder should be";

    reason.clear();
    EXPECT_EQ(writeNewFileDurably("missing", "c.json", "third", reason), DurableWrite::failed);
    EXPECT_FALSE(reason.empty());

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("backups"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.json", "b.json"}));
}

} // namespace
} // namespace varnel
