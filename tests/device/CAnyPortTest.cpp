#include "device/CAnyPort.h"
#include "ScriptedPorts.h"
#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

namespace varnel {

TEST(CAnyPortTest, UntypedOrUnknownTransportNeverLoads)
{
    CAnyPort port;
    PortDescriptor descriptor{};
    EXPECT_FALSE(port.open(&descriptor));
    EXPECT_EQ(0u, port.read(nullptr, 0, 0));
    EXPECT_TRUE(port.close());
    port.setTransport(3);
    EXPECT_FALSE(port.open(&descriptor));
    EXPECT_FALSE(port.isLoaded());
    EXPECT_TRUE(port.close());
}

TEST(CAnyPortTest, APortLeftOpenIsClosedWhenItGoes)
{
    test::ScriptedPorts ports;
    scripted::Unit& unit = ports.addSerial("ttyLeftOpen", scripted::Protocol::Text);
    PortDescriptor descriptor = test::ScriptedPorts::descriptor(PORT_TRANSPORT_SERIAL, unit);
    {
        CAnyPort port;
        port.setTransport(PORT_TRANSPORT_SERIAL);
        ASSERT_TRUE(port.open(&descriptor));
    }
    EXPECT_EQ(1, unit.openCount);
    EXPECT_EQ(1, unit.closeCount);
}

TEST(CAnyPortTest, LibraryNamesFollowTransportCodes)
{
    EXPECT_STREQ("linkserial", CAnyPort::libraryName(1));
    EXPECT_STREQ("linkusb", CAnyPort::libraryName(2));
    EXPECT_STREQ("linkhid", CAnyPort::libraryName(4));
    EXPECT_EQ(nullptr, CAnyPort::libraryName(0));
    EXPECT_EQ(nullptr, CAnyPort::libraryName(3));
}

TEST(DynamicLibraryTest, MissingLibraryFailsAndExecutableDirectoryIsKnown)
{
    DynamicLibrary library;
    EXPECT_FALSE(library.open("no_such_varnel_library"));
    EXPECT_EQ(nullptr, library.symbol("PortOpen"));
    EXPECT_TRUE(library.close());
    EXPECT_FALSE(DynamicLibrary::executableDirectory().empty());
#ifndef _WIN32
    EXPECT_EQ("linkhid.so", DynamicLibrary::fileName("linkhid"));
#endif
}

} // namespace varnel
