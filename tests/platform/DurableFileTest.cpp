#include "platform/DurableFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

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

#ifndef _WIN32
// Backups hold a unit's configuration: the folder and each file are the
// owner's alone whatever the umask, an older folder open to all is narrowed,
// and a link in the folder's place is refused with its name.
TEST(DurableFile, BackupsAreOwnerOnlyAndLinksAreRefused)
{
    test::TempDir dir;
    const mode_t previous = umask(0);
    std::string reason;
    ASSERT_TRUE(createFolder("backups", reason, FileAccess::ownerOnly)) << reason;
    EXPECT_EQ(writeNewFileDurably("backups", "a.json", "{}", reason), DurableWrite::written) << reason;
    const std::string usual = createUniqueFile("copy.part-");
    umask(previous);

    namespace fs = std::filesystem;
    using fs::perms;
    EXPECT_EQ(fs::status("backups").permissions(), perms::owner_all);
    EXPECT_EQ(fs::status("backups/a.json").permissions(), perms::owner_read | perms::owner_write);
    ASSERT_FALSE(usual.empty());
    EXPECT_EQ(fs::status(usual).permissions() & perms::others_read, perms::others_read)
        << "as the umask says";

    fs::create_directory("old");
    fs::permissions("old", perms::owner_all | perms::group_read | perms::others_read);
    ASSERT_TRUE(createFolder("old", reason, FileAccess::ownerOnly)) << reason;
    EXPECT_EQ(fs::status("old").permissions(), perms::owner_all);

    fs::create_directory("elsewhere");
    fs::create_directory_symlink("elsewhere", "linked");
    EXPECT_FALSE(createFolder("linked", reason, FileAccess::ownerOnly));
    EXPECT_NE(reason.find("linked"), std::string::npos) << reason;
    reason.clear();
    EXPECT_EQ(writeNewFileDurably("linked", "b.json", "{}", reason), DurableWrite::failed);
    EXPECT_NE(reason.find("linked"), std::string::npos) << reason;
    EXPECT_TRUE(fs::is_empty("elsewhere"));

    // A link under the file's name is a taken name, not a way out of the folder.
    fs::create_symlink("../precious", "backups/c.json");
    EXPECT_EQ(writeNewFileDurably("backups", "c.json", "{}", reason), DurableWrite::nameTaken);
    EXPECT_FALSE(fs::exists("precious"));
}
#else
// The same on Windows: the DACL lets in the user (and the system account),
// no one else. (Wine keeps no DACL of its own and answers with that pair.)
TEST(DurableFile, BackupsAreOwnerOnly)
{
    test::TempDir dir;
    std::string reason;
    ASSERT_TRUE(createFolder("backups", reason, FileAccess::ownerOnly)) << reason;
    ASSERT_EQ(writeNewFileDurably("backups", "a.json", "{}", reason), DurableWrite::written) << reason;
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    unsigned char user[256];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
    CloseHandle(token);
    for (const char* path : {"backups", "backups/a.json"}) {
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(GetNamedSecurityInfoA(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        &dacl, nullptr, &descriptor),
                  ERROR_SUCCESS)
            << path;
        ASSERT_NE(dacl, nullptr) << path << ": no DACL lets everyone in";
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
            if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
                continue;
            char* sid = nullptr;
            ConvertSidToStringSidA(&ace->SidStart, &sid);
            EXPECT_TRUE(EqualSid(&ace->SidStart, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) ||
                        std::string(sid) == "S-1-5-18")
                << path << " lets " << sid << " in";
            LocalFree(sid);
        }
        LocalFree(descriptor);
    }
}
#endif

} // namespace
} // namespace varnel
