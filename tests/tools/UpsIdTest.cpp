// The udev helper decides who may open a hidraw node: yes for the real UPS
// descriptors, no for keyboards, mice, security keys and mixed nodes.
#include "UpsDescriptorCheck.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace varnel {
namespace {

const std::filesystem::path kDescriptors =
    std::filesystem::path(VARNEL_SOURCE_DIR) / "tests/tools/hid-descriptors";

// A descriptor file: '#' lines, then hex bytes.
std::vector<std::uint8_t> descriptorBytes(const std::string& name)
{
    std::vector<std::uint8_t> bytes;
    std::istringstream in(test::readFile(kDescriptors / name));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        for (std::string word; words >> word;)
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    }
    return bytes;
}

TEST(UpsId, OnlyUpsDescriptorsAreAnsweredYes)
{
    const struct {
        const char* file;
        bool ups;
    } cases[] = {
        {"apc-back-ups-cs-500.hex", true},
        {"apc-bk650m2-ch.hex", true},
        {"apc-smart-ups-x-750.hex", true},
        {"cyberpower-cst135uc2.hex", true},
        {"eaton-5e.hex", true},
        {"eaton-ellipse-eco.hex", true},
        {"powercom-bnt-800ap.hex", true},
        {"battery-system.hex", true},
        {"keyboard-boot.hex", false},
        {"mouse-boot.hex", false},
        {"fido-u2f.hex", false},
        {"keyboard-with-power-collection.hex", false},
        {"ups-and-keyboard.hex", false},
    };
    for (const auto& c : cases) {
        const auto bytes = descriptorBytes(c.file);
        ASSERT_FALSE(bytes.empty()) << c.file;
        EXPECT_EQ(isUpsDescriptor(bytes.data(), bytes.size()), c.ups) << c.file;
        // Cut short, even a UPS's descriptor is not trusted.
        EXPECT_FALSE(isUpsDescriptor(bytes.data(), 3)) << c.file;
    }
}

// The program as udev runs it, on a sysfs tree of its own.
TEST(UpsId, TheHelperPrintsTheUdevPropertyForAUpsNodeOnly)
{
    test::TempDir dir;
    const std::string program = std::string(VARNEL_BINARY_DIR) + "/bin/varnel-ups-id";
    auto run = [&](const std::string& descriptorFile) {
        std::filesystem::create_directories("hidraw0/device");
        const auto bytes = descriptorBytes(descriptorFile);
        test::writeFile("hidraw0/device/report_descriptor", std::string(bytes.begin(), bytes.end()));
        std::string output;
        FILE* pipe = popen((program + " " + (dir.path() / "hidraw0").string()).c_str(), "r");
        char buffer[256];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        EXPECT_EQ(pipe ? pclose(pipe) : -1, 0) << descriptorFile;
        return output;
    };
    EXPECT_EQ(run("eaton-5e.hex"), "VARNEL_UPS=1\n");
    EXPECT_EQ(run("fido-u2f.hex"), "");
}

} // namespace
} // namespace varnel
