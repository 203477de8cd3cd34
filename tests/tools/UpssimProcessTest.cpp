// Runs the real upssim binary and talks to its units through the real
// pseudo-terminal and Unix socket.
#include "linkhidsim.h"
#include "support/TestSupport.h"
#include "support/UpssimRunner.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using varnel::test::readFile;
using varnel::test::readLines;
using varnel::test::TempDir;
using varnel::test::writeFile;

using varnel::test::kWaitMs;
using varnel::test::Upssim;
using varnel::test::waitForFile;

namespace {

// Reads until `count` bytes have arrived or nothing comes for a while.
Bytes readBytes(int fd, std::size_t count)
{
    Bytes got;
    while (got.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kWaitMs) <= 0)
            break;
        uint8_t buffer[256];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

int openLine(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

Bytes exchange(int fd, const Bytes& request, std::size_t replySize)
{
    EXPECT_EQ(::write(fd, request.data(), request.size()), ssize_t(request.size()));
    return readBytes(fd, replySize);
}

Bytes hidRequest(int fd, const Bytes& payload)
{
    const auto n = static_cast<uint32_t>(payload.size());
    Bytes message{uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    for (uint8_t b : payload)
        message.push_back(b);
    EXPECT_EQ(::send(fd, message.data(), message.size(), MSG_NOSIGNAL), ssize_t(message.size()));
    const Bytes header = readBytes(fd, 4);
    if (header.size() != 4)
        return {};
    const uint32_t length = header[0] | header[1] << 8 | header[2] << 16 | uint32_t(header[3]) << 24;
    return readBytes(fd, length);
}

int connectSocket(const fs::path& path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int connectTcp(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

const char* kUnits = "[unit line1]\n"
                     "protocol = framed\n"
                     "configuration = 0x0019\n"
                     "[unit line2]\n"
                     "protocol = text\n"
                     "external.count = 4\n"
                     "[unit hid1]\n"
                     "protocol = hid\n"
                     "c.highb = 6\n";

} // namespace

TEST(UpssimProcess, ServesUnitsOverPtyAndSocketAndCleansUp)
{
    TempDir temp;
    writeFile("units.ini", kUnits);
    const fs::path dir = fs::canonical(temp.path()) / "ups";
    Upssim sim({"--dir", dir.string(), "--journal", "journal.jsonl", "--ready", "ready", "units.ini"});
    ASSERT_TRUE(waitForFile("ready")) << readFile("upssim.out");

    const std::string environment = "export LINKSERIAL_PORTS='" + (dir / "line1").string() + ":" +
                                    (dir / "line2").string() + "'\nexport " LINKHIDSIM_ENV "='" +
                                    (dir / "hid1.sock").string() + "'\n";
    EXPECT_NE(readFile("ready").find(environment), std::string::npos) << readFile("ready");
    EXPECT_NE(readFile("upssim.out").find(environment), std::string::npos);

    const int line1 = openLine(dir / "line1");
    ASSERT_GE(line1, 0);
    EXPECT_EQ(exchange(line1, {0x7E, 0x03, 0x01, 0x88, 0x0A}, 7),
              (Bytes{0x7E, 0x02, 0x03, 0x88, 0x19, 0x00, 0x24}));
    EXPECT_EQ(exchange(line1, {0x7E, 0x04, 0x03, 0x63, 0x2C, 0x01, 0x15}, 5),
              (Bytes{0x7E, 0x05, 0x01, 0x63, 0xE7}));
    EXPECT_EQ(exchange(line1, {0x7E, 0x03, 0x01, 0x63, 0xE5}, 7),
              (Bytes{0x7E, 0x02, 0x03, 0x63, 0x2C, 0x01, 0x13}));
    close(line1);

    const int line2 = openLine(dir / "line2");
    ASSERT_GE(line2, 0);
    const std::string query = "~00P003CFI";
    const Bytes reply = exchange(line2, Bytes(query.begin(), query.end()), 8);
    EXPECT_EQ(std::string(reply.begin(), reply.end()), "~00D0011");
    close(line2);

    const int hid = connectSocket(dir / "hid1.sock");
    ASSERT_GE(hid, 0);
    const Bytes info = hidRequest(hid, {LINKHIDSIM_OP_INFO});
    ASSERT_GE(info.size(), 2u);
    EXPECT_EQ(info[1], LINKHIDSIM_OK);
    EXPECT_EQ(hidRequest(hid, {LINKHIDSIM_OP_GET_FEATURE, 0x67, 16, 0}),
              (Bytes{'G', LINKHIDSIM_OK, 0x67, 6}));
    EXPECT_EQ(hidRequest(hid, {LINKHIDSIM_OP_SET_FEATURE, 0x67, 2}), (Bytes{'S', LINKHIDSIM_OK}));
    EXPECT_EQ(hidRequest(hid, {LINKHIDSIM_OP_GET_FEATURE, 0x67, 16, 0}),
              (Bytes{'G', LINKHIDSIM_OK, 0x67, 2}));
    // A peer breaking the framing loses its connection, not the simulator.
    const Bytes broken{0, 0, 0, 0};
    ::send(hid, broken.data(), broken.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(readBytes(hid, 1).empty());
    close(hid);

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "line1")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "line2")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "hid1.sock")));
    EXPECT_FALSE(fs::exists("ready"));

    const std::vector<std::string> journal = readLines("journal.jsonl");
    int requests = 0;
    bool countWritten = false;
    for (const std::string& line : journal) {
        EXPECT_EQ(line.front(), '{');
        EXPECT_EQ(line.back(), '}');
        if (line.find(R"("event":"request")") != std::string::npos)
            ++requests;
        if (line.find(R"("unit":"line1","event":"write","field":"externalBatteryCount","value":300)") !=
            std::string::npos)
            countWritten = true;
    }
    EXPECT_EQ(requests, 8); // 3 framed, 1 text, 4 HID
    EXPECT_TRUE(countWritten);
    EXPECT_NE(readFile("journal.jsonl")
                  .find(R"("what":"read 136","request":"7e0301880a","reply":"7e020388190024")"),
              std::string::npos);
}

// For a Windows linkhid under Wine, which has no Unix sockets: the same unit on
// a loopback port too, the Unix socket and its export line left as they were.
TEST(UpssimProcess, HidTcpServesEachUnitOnALoopbackPortBesideItsSocket)
{
    TempDir temp;
    writeFile("units.ini", "[unit hid1]\nprotocol = hid\n[unit hid2]\nprotocol = hid\nc.highb = 6\n");
    const fs::path dir = fs::canonical(temp.path()) / "ups";
    Upssim sim(
        {"--dir", dir.string(), "--hid-tcp", "--journal", "journal.jsonl", "--ready", "ready", "units.ini"});
    ASSERT_TRUE(waitForFile("ready")) << readFile("upssim.out");
    const std::string ready = readFile("ready");
    EXPECT_NE(ready.find("export " LINKHIDSIM_ENV "='" + (dir / "hid1.sock").string() + ":" +
                         (dir / "hid2.sock").string() + "'\n"),
              std::string::npos)
        << ready;
    std::smatch ports;
    ASSERT_TRUE(std::regex_search(
        ready, ports,
        std::regex("\nexport LINKHID_SIMULATORS_TCP='127\\.0\\.0\\.1:(\\d+);127\\.0\\.0\\.1:(\\d+)'\n")))
        << ready;
    EXPECT_NE(ports[1].str(), ports[2].str());

    const int tcp = connectTcp(std::stoi(ports[2].str()));
    ASSERT_GE(tcp, 0);
    EXPECT_EQ(hidRequest(tcp, {LINKHIDSIM_OP_SET_FEATURE, 0x67, 3}), (Bytes{'S', LINKHIDSIM_OK}));
    const int local = connectSocket(dir / "hid2.sock");
    ASSERT_GE(local, 0);
    EXPECT_EQ(hidRequest(local, {LINKHIDSIM_OP_GET_FEATURE, 0x67, 16, 0}),
              (Bytes{'G', LINKHIDSIM_OK, 0x67, 3}));
    close(local);
    close(tcp);
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_NE(
        readFile("journal.jsonl").find(R"("unit":"hid2","event":"write","field":"cTableHighB","value":3)"),
        std::string::npos)
        << readFile("journal.jsonl");
}

TEST(UpssimProcess, PacedRepliesArriveWhole)
{
    TempDir temp;
    writeFile("units.ini", "[unit line1]\nprotocol = framed\n");
    Upssim sim({"--dir", "ups", "--pace-2400", "--ready", "ready", "units.ini"});
    ASSERT_TRUE(waitForFile("ready")) << readFile("upssim.out");
    const int fd = openLine("ups/line1");
    ASSERT_GE(fd, 0);
    EXPECT_EQ(exchange(fd, {0x7E, 0x03, 0x01, 0x5D, 0xDF}, 6), (Bytes{0x7E, 0x02, 0x02, 0x5D, 0x02, 0xE1}));
    close(fd);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(UpssimProcess, RefusesToStartOnBadInputAndReplacesStaleLinks)
{
    TempDir temp;
    writeFile("bad.ini", "[unit a]\nprotocol = serial\n");
    {
        Upssim sim({"--dir", "ups", "bad.ini"});
        EXPECT_EQ(sim.stop(false), 1);
        EXPECT_NE(readFile("upssim.out").find("bad.ini: line 2"), std::string::npos);
    }
    {
        Upssim sim({"bad.ini"});
        EXPECT_EQ(sim.stop(false), 2);
    }
    fs::create_directory("ups");
    writeFile("units.ini", "[unit a]\nprotocol = text\n[unit b]\nprotocol = hid\n");
    writeFile("clash.ini", "[unit a.sock]\nprotocol = framed\n[unit a]\nprotocol = hid\n");
    {
        Upssim sim({"--dir", "ups", "clash.ini"});
        EXPECT_EQ(sim.stop(false), 1);
        EXPECT_NE(readFile("upssim.out").find("two units would share"), std::string::npos);
    }
    writeFile("ups/b.sock", "a user's file");
    {
        Upssim sim({"--dir", "ups", "--ready", "ready", "units.ini"});
        EXPECT_EQ(sim.stop(false), 1);
        EXPECT_EQ(readFile("ups/b.sock"), "a user's file");
        EXPECT_FALSE(fs::exists(fs::symlink_status("ups/a"))); // what it made before failing is gone
        EXPECT_FALSE(fs::exists("ready"));
    }
    fs::remove("ups/b.sock");
    fs::create_symlink("/nonexistent", "ups/a"); // left by a killed run
    {
        Upssim sim({"--dir", "ups", "--ready", "ready", "units.ini"});
        ASSERT_TRUE(waitForFile("ready")) << readFile("upssim.out");
        EXPECT_NE(fs::read_symlink("ups/a").string(), "/nonexistent");
        EXPECT_EQ(sim.stop(), 0);
    }
}
