#include "device/CAnyPort.h"
#include "ScriptedPorts.h"
#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

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

// A library of the right name in the current folder (a download folder the
// wizard runs from) is never loaded: only the program's own folder counts,
// and the failure says which folder that is.
TEST(DynamicLibraryTest, ALibraryPlantedInTheCurrentFolderIsNeverLoaded)
{
    test::TempDir dir;
    const std::string own = DynamicLibrary::executableDirectory();
    std::filesystem::copy_file(own + "/" + DynamicLibrary::fileName("linkhid"),
                               DynamicLibrary::fileName("linkusb"));
    ASSERT_FALSE(std::filesystem::exists(own + "/" + DynamicLibrary::fileName("linkusb")));

    ASSERT_TRUE(DynamicLibrary::restrictSearchPath());
#ifdef _WIN32
    // Nor by Windows' own search, which without the restriction looks in the current folder.
    EXPECT_EQ(LoadLibraryA("linkusb.dll"), nullptr);
#endif
    CAnyPort port;
    port.setTransport(PORT_TRANSPORT_USB);
    PortDescriptor descriptor{};
    EXPECT_FALSE(port.open(&descriptor));
    EXPECT_FALSE(port.isLoaded());
    EXPECT_EQ(port.libraryFailure(), DynamicLibrary::fileName("linkusb") + " is missing from " + own);
    EXPECT_TRUE(port.close());
}

} // namespace varnel
