#include "SerialPortList.h"
#include "device/PortFunctions.h"
#include "linkport.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The library in bin/, its exports resolved as the device code resolves them.
struct LinkSerial : varnel::PortFunctions {
    varnel::DynamicLibrary library;

    LinkSerial()
    {
        if (library.open("linkserial"))
            static_cast<varnel::PortFunctions&>(*this) = varnel::resolvePortFunctions(library);
    }
    std::string failure() const { return openFailureReason() ? openFailureReason() : ""; }
};

// A pseudo-terminal pair: the test plays the unit on the master side.
struct Pty {
    int master = -1;
    std::string slave;
    Pty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slave = ptsname(master);
        termios tio{};
        tcgetattr(master, &tio);
        cfmakeraw(&tio);
        tcsetattr(master, TCSANOW, &tio);
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
};

PortDescriptor descriptorFor(const std::string& path)
{
    PortDescriptor port{};
    port.size = sizeof(PortDescriptor);
    port.transport = PORT_TRANSPORT_SERIAL;
    port.portName = path.c_str();
    return port;
}

class LinkSerialTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lib.complete()) << "linkserial.so missing or short of an export"; }
    // The unit's own line settings; 0 when the pty or the open failed.
    uint32_t openAt2400(const Pty& pty)
    {
        if (pty.slave.empty())
            return 0;
        PortDescriptor port = descriptorFor(pty.slave);
        const uint32_t h = lib.open(&port);
        if (h != 0)
            lib.set(h, 2400, 'N', 8, 1, 0);
        return h;
    }
    // The names the library lists, in its order.
    std::vector<std::string> listed()
    {
        std::vector<std::string> names;
        lib.enumerate(
            [](PortDescriptor* port, void* context) -> int32_t {
                EXPECT_EQ(port->size, sizeof(PortDescriptor));
                EXPECT_EQ(port->transport, static_cast<uint32_t>(PORT_TRANSPORT_SERIAL));
                static_cast<std::vector<std::string>*>(context)->push_back(port->portName);
                return 1;
            },
            &names);
        return names;
    }
    // The tests name their own lines; the user's list comes back afterwards.
    void TearDown() override
    {
        if (savedPorts.empty())
            unsetenv("LINKSERIAL_PORTS");
        else
            setenv("LINKSERIAL_PORTS", savedPorts.c_str(), 1);
        unsetenv("LINKSERIAL_DETECT");
    }
    const std::string savedPorts = getenv("LINKSERIAL_PORTS") ? getenv("LINKSERIAL_PORTS") : "";
    LinkSerial lib;
};

TEST_F(LinkSerialTest, ReadReturnsSoonAfterACompleteReplyAndWriteReachesTheLine)
{
    Pty pty;
    const uint32_t h = openAt2400(pty);
    ASSERT_NE(h, 0u);

    const uint8_t request[] = {'~', '0', '0', 'P', '0', '0', '3', 'S', 'T', 'B'};
    EXPECT_EQ(lib.write(h, request, sizeof request, 1000, 0), sizeof request);
    uint8_t seen[32] = {};
    pollfd pfd{pty.master, POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 2000), 1);
    ASSERT_EQ(::read(pty.master, seen, sizeof seen), static_cast<ssize_t>(sizeof request));
    EXPECT_EQ(0, std::memcmp(seen, request, sizeof request));

    const char reply[] = "~00D003abc";
    ASSERT_EQ(::write(pty.master, reply, 10), 10);
    uint8_t buffer[64] = {};
    auto start = std::chrono::steady_clock::now();
    uint32_t got = lib.read(h, buffer, sizeof buffer, 5000);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(got, 10u);
    EXPECT_EQ(0, std::memcmp(buffer, reply, 10));
    EXPECT_LT(elapsed, std::chrono::milliseconds(4000)) << "read sat out its time limit";

    // Nothing arrives: a bounded wait, then 0.
    EXPECT_EQ(lib.read(h, buffer, sizeof buffer, 50), 0u);
    // A full buffer ends the read even while more is pending.
    ASSERT_EQ(::write(pty.master, reply, 10), 10);
    EXPECT_EQ(lib.read(h, buffer, 4, 2000), 4u);
    EXPECT_EQ(lib.read(h, buffer, sizeof buffer, 2000), 6u);
    EXPECT_NE(lib.close(h), 0);
    EXPECT_EQ(lib.close(h), 0);
}

TEST_F(LinkSerialTest, AWriteWithNoTimeToSpareStillReachesTheLine)
{
    Pty pty;
    const uint32_t h = openAt2400(pty);
    ASSERT_NE(h, 0u);
    // A save command of the text protocol: at 2400 baud it takes 390 ms on the line.
    std::vector<uint8_t> command(94, ';');
    for (uint32_t milliseconds : {0u, 1u}) {
        EXPECT_EQ(lib.write(h, command.data(), static_cast<uint32_t>(command.size()), milliseconds, 0),
                  command.size())
            << milliseconds << " ms";
        std::vector<uint8_t> seen;
        uint8_t buffer[128];
        pollfd pfd{pty.master, POLLIN, 0};
        while (seen.size() < command.size() && poll(&pfd, 1, 2000) == 1) {
            ssize_t n = ::read(pty.master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            seen.insert(seen.end(), buffer, buffer + n);
        }
        EXPECT_EQ(seen, command) << milliseconds << " ms";
    }
    EXPECT_NE(lib.close(h), 0);
}

TEST_F(LinkSerialTest, ASecondOpenerOfOneLineIsRefusedUntilTheFirstCloses)
{
    Pty pty;
    PortDescriptor port = descriptorFor(pty.slave);
    uint32_t first = lib.open(&port);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(lib.open(&port), 0u);
    EXPECT_NE(lib.close(first), 0);
    uint32_t again = lib.open(&port);
    EXPECT_NE(again, 0u);
    lib.close(again);
}

TEST_F(LinkSerialTest, OpenFailuresSayWhyAndWhatToDo)
{
    Pty pty;
    PortDescriptor port = descriptorFor(pty.slave);
    uint32_t first = lib.open(&port);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(lib.openFailureReason(), nullptr);
    EXPECT_EQ(lib.open(&port), 0u);
    EXPECT_NE(lib.failure().find("another program"), std::string::npos) << lib.failure();
    lib.close(first);

    const std::string unplugged = "/dev/ttyUSB-unplugged";
    PortDescriptor missing = descriptorFor(unplugged);
    EXPECT_EQ(lib.open(&missing), 0u);
    EXPECT_NE(lib.failure().find("gone"), std::string::npos) << lib.failure();

    char file[] = "/tmp/varnel-not-a-tty-XXXXXX";
    int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const std::string plainPath = file;
    PortDescriptor plain = descriptorFor(plainPath);
    EXPECT_EQ(lib.open(&plain), 0u);
    EXPECT_NE(lib.failure().find("not a serial line"), std::string::npos) << lib.failure();
    unlink(file);

    // A successful open forgets the last reason.
    uint32_t again = lib.open(&port);
    EXPECT_NE(again, 0u);
    EXPECT_EQ(lib.openFailureReason(), nullptr);
    lib.close(again);
}

TEST_F(LinkSerialTest, ALineTheUserMayNotOpenNamesTheDialoutGroup)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to become an unprivileged user";
    Pty pty;
    ASSERT_EQ(chmod(pty.slave.c_str(), 0600), 0);
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        constexpr uid_t kNobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(2);
        PortDescriptor port = descriptorFor(pty.slave);
        if (lib.open(&port) != 0)
            _exit(3);
        std::string text = lib.failure();
        if (::write(channel[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            _exit(4);
        _exit(0);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(text.find("dialout"), std::string::npos) << text;
}

TEST_F(LinkSerialTest, RefusesForeignDescriptorsAndHidCalls)
{
    Pty pty;
    PortDescriptor port = descriptorFor(pty.slave);
    port.size = 60 + 1;
    EXPECT_EQ(lib.open(&port), 0u);
    port.size = sizeof(PortDescriptor) - 4;
    EXPECT_EQ(lib.open(&port), 0u);
    EXPECT_EQ(lib.open(nullptr), 0u);
    const std::string nonexistent = "/nonexistent/tty"; // the descriptor only points at the name
    PortDescriptor missing = descriptorFor(nonexistent);
    EXPECT_EQ(lib.open(&missing), 0u);
    uint8_t buffer[256];
    uint32_t length = 0;
    EXPECT_EQ(lib.getHid(1, 0, 3, 0x84, 0xFE, buffer, &length), 0);
    EXPECT_EQ(lib.read(77, buffer, sizeof buffer, 10), 0u);
}

TEST_F(LinkSerialTest, EnumerationAddsTheNamedPortsAfterTheDetectedOnes)
{
    setenv("LINKSERIAL_PORTS", "/tmp/sim/a::/tmp/sim/b", 1);
    const std::vector<std::string> names = listed();
    // With detection off only the named lines are listed, whatever the machine has.
    setenv("LINKSERIAL_DETECT", "0", 1);
    const std::vector<std::string> namedOnly = listed();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "/tmp/sim/a");
    EXPECT_EQ(names.back(), "/tmp/sim/b");
    for (size_t i = 0; i + 2 < names.size(); ++i)
        EXPECT_EQ(names[i].rfind("/dev/", 0), 0u);
    EXPECT_EQ(namedOnly, (std::vector<std::string>{"/tmp/sim/a", "/tmp/sim/b"}));
}

// A /dev/serial/by-id link, or a name given twice, reaches a line already
// listed: probing it twice would talk to one unit as if it were two.
TEST_F(LinkSerialTest, ALineReachedByTwoNamesIsListedOnce)
{
    namespace fs = std::filesystem;
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    varnel::test::TempDir dir;
    const std::string link = (dir.path() / "usb-Varnel_UPS-if00").string();
    fs::create_symlink(pty.slave, link);
    const std::string gone = "/dev/ttyUSB-unplugged";

    // Detection never sees a pseudo-terminal, so the merge is given one as detected.
    EXPECT_EQ(linkserial::listedPorts({pty.slave, gone},
                                      link + ":" + gone + ":/tmp/sim/a::/tmp/sim/a:" + pty.slave),
              (std::vector<std::string>{pty.slave, gone, "/tmp/sim/a"}));

    // Through the library: every line this machine detects, named again through
    // a link, and the pty by its name and its link, each come out once.
    unsetenv("LINKSERIAL_PORTS");
    const std::vector<std::string> detected = listed();
    std::string named = pty.slave + ":" + link;
    for (size_t i = 0; i < detected.size(); ++i) {
        const std::string byId = (dir.path() / ("detected-" + std::to_string(i))).string();
        fs::create_symlink(detected[i], byId);
        named += ":" + byId;
    }
    setenv("LINKSERIAL_PORTS", named.c_str(), 1);
    const std::vector<std::string> names = listed();
    std::vector<std::string> expected = detected;
    expected.push_back(pty.slave);
    EXPECT_EQ(names, expected);
}

TEST_F(LinkSerialTest, AnEnumeratedPortOpensInsideTheCallback)
{
    Pty pty;
    setenv("LINKSERIAL_PORTS", pty.slave.c_str(), 1);
    struct Context {
        LinkSerial* lib;
        std::string slave;
        int opened = 0;
    } context{&lib, pty.slave};
    lib.enumerate(
        [](PortDescriptor* port, void* raw) -> int32_t {
            auto* c = static_cast<Context*>(raw);
            if (c->slave != port->portName)
                return 1;
            LinkSerial second; // the caller loads the library once more for each discovery
            uint32_t h = second.open(port);
            if (h != 0 && second.close(h) != 0)
                ++c->opened;
            return 1;
        },
        &context);
    EXPECT_EQ(context.opened, 1);
}

} // namespace
