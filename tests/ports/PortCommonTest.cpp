#include "HandleTable.h"
#include "PortList.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(HandleTable, HandsOutEverySlotOnceAndRefusesBeyond)
{
    linkport::HandleTable<int, 4> table;
    for (std::uint32_t expected = 1; expected <= 4; ++expected)
        EXPECT_EQ(table.add(std::make_shared<int>(static_cast<int>(expected))), expected);
    auto refused = std::make_shared<int>(5);
    EXPECT_EQ(table.add(refused), 0u);
    for (std::uint32_t stranger : {0u, 5u, 0xFFFFFFFFu}) {
        EXPECT_EQ(table.find(stranger), nullptr) << stranger;
        EXPECT_EQ(table.remove(stranger), nullptr) << stranger;
    }

    // A caller still holding a port keeps it while the handle is closed and reused.
    std::shared_ptr<int> inUse = table.find(3);
    ASSERT_NE(table.remove(3), nullptr);
    EXPECT_EQ(table.find(3), nullptr);
    EXPECT_EQ(table.remove(3), nullptr);
    EXPECT_EQ(*inUse, 3);
    EXPECT_EQ(table.add(std::make_shared<int>(30)), 3u);
    EXPECT_EQ(*table.find(3), 30);
}

TEST(PortList, SplitsAtColonsAndDropsEmptyEntries)
{
    const struct {
        const char* list;
        std::vector<std::string> entries;
    } cases[] = {
        {"", {}},
        {":", {}},
        {"/dev/ttyUSB0", {"/dev/ttyUSB0"}},
        {"/tmp/ups/a::/tmp/ups/b:", {"/tmp/ups/a", "/tmp/ups/b"}},
        {":/dev/ttyS0:/dev/ttyS0", {"/dev/ttyS0", "/dev/ttyS0"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linkport::splitPortList(c.list), c.entries) << c.list;
}

} // namespace
