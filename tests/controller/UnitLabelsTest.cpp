#include "controller/UnitLabels.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(UnitLabels, PortLeafIsTheLastPathElementOnEitherSeparator)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/ttyUSB1", "ttyUSB1"},
        {"\\\\.\\COM12", "COM12"},
        {"COM3", "COM3"},
        {"/tmp/ws/ups/rack-1/", "rack-1"},
        {"", ""},
    };
    for (const auto& [port, leaf] : cases)
        EXPECT_EQ(UnitLabels::portLeaf(port), leaf) << port;
}

} // namespace
} // namespace varnel
