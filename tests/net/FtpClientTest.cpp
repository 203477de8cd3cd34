#include "net/FtpClient.h"
#include "net/FakeFtpServer.h"
#include "net/NetTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstring>

namespace varnel::test {
namespace {

using Commands = std::vector<std::string>;

// Sends the content over the passive data connection after a 150, then 226.
FakeFtpServer::Handler sendsFile(std::string content)
{
    return [content](const std::string&, FakeFtpServer& server) {
        server.reply("150 Opening data connection.\r\n");
        TestPeer data = server.acceptData();
        data.send(content);
        data.close();
        server.reply("226 Transfer complete.\r\n");
    };
}

// Stores what arrives over the passive data connection.
FakeFtpServer::Handler storesFile(std::string& stored)
{
    return [&stored](const std::string&, FakeFtpServer& server) {
        server.reply("150 Ok to send data.\r\n");
        TestPeer data = server.acceptData();
        stored = data.readAll();
        server.reply("226 Transfer complete.\r\n");
    };
}

TEST(FtpClient, GreetingDecidesConnect)
{
    FakeFtpServer busy("421 Too many users.\r\n");
    busy.on("SITE", "200 ok\r\n");
    busy.start();
    {
        FtpClient client;
        EXPECT_FALSE(client.Connect("127.0.0.1", busy.port()));
        EXPECT_EQ(client.lastResponse(), "Too many users.");
        EXPECT_TRUE(client.Site("HELP")) << "the control connection stays open after a refused greeting";
    }
    busy.join();
    EXPECT_EQ(busy.commands(), Commands{"SITE HELP"});

    FtpClient client;
    EXPECT_FALSE(client.Connect(nullptr, 21));
    EXPECT_EQ(client.lastResponse(), "Failed to resolve server address ");
    EXPECT_FALSE(client.Connect("127.0.0.1", freeLoopbackPort()));
    EXPECT_EQ(client.lastResponse(), "Failed to connect to server");
}

TEST(FtpClient, SecondConnectClosesTheFirstConnection)
{
    FaultySocketApi counting;
    FakeFtpServer first;
    first.start();
    FakeFtpServer second;
    second.start();
    {
        FtpClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", first.port()));
        ASSERT_TRUE(client.Connect("127.0.0.1", second.port()));
        first.join(); // returns once the client has hung up on the first server
        EXPECT_EQ(counting.closed, 1);
    }
    EXPECT_EQ(counting.opened, 2);
    EXPECT_EQ(counting.closed, 2);
}

TEST(FtpClient, MultiLineReplyIsOneReply)
{
    FakeFtpServer server;
    server.on("USER", "230-Welcome\r\n230-  second line\r\n230 Logged in.\r\n");
    server.on("SYST", "215 UNIX Type: L8\r\n");
    server.start();
    {
        FtpClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
        EXPECT_TRUE(client.Login("anonymous", "x"));
        EXPECT_EQ(client.lastResponse(), "Logged in.");
        std::string system;
        EXPECT_TRUE(client.GetSystemType(system)) << "the next reply is read in step";
        EXPECT_EQ(system, "UNIX Type: L8");
    }
    server.join();
    EXPECT_EQ(server.commands(), (Commands{"USER anonymous", "SYST"}));
}

TEST(FtpClient, ReplyWhoseLastLineNeverComesEndsAfterInactivityLimit)
{
    FakeFtpServer server;
    server.on("SITE", [](const std::string&, FakeFtpServer& s) {
        s.reply("200-first\r\n200-second\r\n");
        s.controlPeer().waitForClose();
    });
    server.start();
    SilentPeerClock clock;
    FtpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
    client.setTimeout(1);
    const auto before = clock.elapsed();
    client.Site("X");
    EXPECT_GE(clock.elapsed() - before, std::chrono::seconds(1)) << "gave up before the limit";
    EXPECT_EQ(client.lastResponse(), "");
}

TEST(FtpClient, LoginPaths)
{
    struct Case {
        const char* userReply;
        const char* password;
        const char* passReply;
        bool ok;
        Commands commands;
        const char* lastResponse;
    };
    const Case cases[] = {
        {"230 No password needed.\r\n", "pw", nullptr, true, {"USER u"}, "No password needed."},
        {"331 Password required.\r\n", "", nullptr, false, {"USER u"}, "Password for login is invalid"},
        {"331 Password required.\r\n", nullptr, nullptr, false, {"USER u"}, "Password for login is invalid"},
        {"331 Password required.\r\n", "pw", "230 Logged in.\r\n", true, {"USER u", "PASS pw"}, "Logged in."},
        {"331 Password required.\r\n",
         "pw",
         "530 Login incorrect.\r\n",
         false,
         {"USER u", "PASS pw"},
         "Login incorrect."},
        {"530 Not allowed.\r\n", "pw", nullptr, false, {"USER u"}, "Not allowed."},
        {"\r\n", "pw", nullptr, false, {"USER u"}, "Failed to receive response from server for USER command"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userReply);
        FakeFtpServer server;
        server.on("USER", c.userReply);
        if (c.passReply)
            server.on("PASS", c.passReply);
        server.start();
        {
            FtpClient client;
            ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
            EXPECT_EQ(client.Login("u", c.password), c.ok);
            EXPECT_EQ(client.lastResponse(), c.lastResponse);
        }
        server.join();
        EXPECT_EQ(server.commands(), c.commands);
    }
    FtpClient client;
    EXPECT_FALSE(client.Login("", "pw"));
    EXPECT_EQ(client.lastResponse(), "User name for login is invalid");
}

TEST(FtpClient, PassiveReplyParsing)
{
    struct Case {
        const char* reply;
        const char* lastResponse; // null: the connect was attempted
    };
    const Case cases[] = {
        {"227 Entering Passive Mode (10,0,0,7,4,1)\r\n", nullptr},
        {"227 Entering Passive Mode (10,0,0,7,260,1)\r\n", // no port is made of a byte that does not fit
         "Invalid response sent to PASV command - Entering Passive Mode (10,0,0,7,260,1)"},
        {"227 Entering Passive Mode 10,0,0,7,4,1\r\n",
         "Invalid response sent to PASV command - Entering Passive Mode 10,0,0,7,4,1"},
        {"227 Entering Passive Mode (10,0,0,7,4)\r\n",
         "Invalid response sent to PASV command - Entering Passive Mode (10,0,0,7,4)"},
        {"227 Entering Passive Mode (10,0,0,7,4,)\r\n",
         "Invalid response sent to PASV command - Entering Passive Mode (10,0,0,7,4,)"},
        {"425 Cannot open passive connection.\r\n", "PASV Command failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        FakeFtpServer server;
        server.on("PASV", c.reply);
        server.start();
        FaultySocketApi faults;
        {
            FtpClient client;
            ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
            EXPECT_FALSE(client.DownloadRemoteFile("f.xml", "f.xml", "A", true));
            if (c.lastResponse) {
                EXPECT_EQ(client.lastResponse(), c.lastResponse);
                EXPECT_EQ(faults.connectAttempts.size(), 1u);
            } else {
                ASSERT_EQ(faults.connectAttempts.size(), 2u);
                const Ipv4Endpoint& data = faults.connectAttempts.back();
                // Only the port is taken from the reply; the address is the control connection's peer.
                EXPECT_EQ(data.address, inet_addr("127.0.0.1"));
                EXPECT_EQ(data.port, 1025);
            }
        }
        server.join();
        EXPECT_EQ(server.commands(), (Commands{"TYPE A", "PASV"})) << "RETR follows no failed PASV";
    }
}

TEST(FtpClient, PassiveDownloadGoesOnAfterTypeRefused)
{
    TempDir dir;
    const std::string content = "<ExternalBatteryPack>\r\n  <x/>\r\n</ExternalBatteryPack>";
    FakeFtpServer server;
    server.on("TYPE", "504 Command not implemented for that parameter.\r\n");
    server.on("RETR", sendsFile(content));
    server.start();
    {
        FtpClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
        EXPECT_TRUE(client.DownloadRemoteFile("/pub/data.xml", "data.xml", "A", true))
            << client.lastResponse();
        EXPECT_EQ(client.lastResponse(), "Transfer complete.");
        EXPECT_EQ(readFile("data.xml"), content);
        client.Quit();
    }
    server.join();
    EXPECT_EQ(server.commands(), (Commands{"TYPE A", "PASV", "RETR /pub/data.xml", "QUIT"}));
}

TEST(FtpClient, StalledDownloadFailsAfterInactivityLimit)
{
    TempDir dir;
    FakeFtpServer server;
    server.on("RETR", [](const std::string&, FakeFtpServer& s) {
        s.reply("150 Opening data connection.\r\n");
        TestPeer data = s.acceptData();
        data.send("<half");
        data.waitForClose();
        s.reply("426 Connection closed; transfer aborted.\r\n");
    });
    server.start();
    SilentPeerClock clock;
    FtpClient client;
    client.setTimeout(1);
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
    EXPECT_FALSE(client.DownloadRemoteFile("data.xml", "data.xml", "I", true));
    EXPECT_EQ(client.lastTransferError(), "Timed out waiting for data from server");
    EXPECT_EQ(client.lastResponse(), "Timed out waiting for data from server");
}

TEST(FtpClient, ResetDuringDownloadFailsEvenWhenServerSaysComplete)
{
    TempDir dir;
    FakeFtpServer server;
    server.on("RETR", sendsFile(std::string(2000, 'x')));
    server.start();
    FtpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
    FaultySocketApi faults;
    faults.resetOnlyNewSockets = true; // the data connection dies, the control connection lives on
    faults.resetAfterReceived = 600;
    EXPECT_FALSE(client.DownloadRemoteFile("data.xml", "data.xml", "I", true));
    EXPECT_EQ(client.lastTransferError(), "Read error on socket");
}

TEST(FtpClient, DownloadIntoUncreatableFileClosesDataConnection)
{
    TempDir dir;
    bool dataClosed = false;
    FakeFtpServer server;
    server.on("RETR", [&](const std::string&, FakeFtpServer& s) {
        s.reply("150 Opening data connection.\r\n");
        TestPeer data = s.acceptData();
        dataClosed = data.waitForClose();
    });
    server.start();
    {
        FtpClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
        EXPECT_FALSE(client.DownloadRemoteFile("data.xml", "no/such/dir/data.xml", "A", true));
        EXPECT_EQ(client.lastResponse(), "Failed to open local file no/such/dir/data.xml");
        EXPECT_EQ(client.lastTransferError(), "Failed to open local file no/such/dir/data.xml");
    }
    server.join();
    EXPECT_TRUE(dataClosed);
}

TEST(FtpClient, ActiveModeSendsPortAndAcceptsTheServer)
{
    TempDir dir;
    std::string portArgument;
    FakeFtpServer server;
    server.on("PORT", [&](const std::string& argument, FakeFtpServer& s) {
        portArgument = argument;
        s.reply("200 PORT command successful.\r\n");
    });
    server.on("RETR", [&](const std::string&, FakeFtpServer& s) {
        s.reply("150 Opening data connection.\r\n");
        unsigned a, b, c, d, p1, p2;
        if (std::sscanf(portArgument.c_str(), "%u,%u,%u,%u,%u,%u", &a, &b, &c, &d, &p1, &p2) == 6) {
            TestPeer data = TestPeer::connectTo(static_cast<std::uint16_t>(p1 * 256 + p2));
            data.send("active data\n");
        }
        s.reply("226 Transfer complete.\r\n");
    });
    server.start();
    FtpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
    EXPECT_TRUE(client.DownloadRemoteFile("data.xml", "data.xml", "A", false)) << client.lastResponse();
    EXPECT_EQ(readFile("data.xml"), "active data\n");
    EXPECT_EQ(portArgument.rfind("127,0,0,1,", 0), 0u) << portArgument;
}

TEST(FtpClient, ActiveModeGivesUpWhenServerNeverConnects)
{
    TempDir dir;
    FakeFtpServer server;
    server.on("PORT", "200 PORT command successful.\r\n");
    server.on("RETR", "150 Opening data connection.\r\n");
    server.start();
    FtpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
    client.setTimeout(1);
    EXPECT_FALSE(client.DownloadRemoteFile("data.xml", "data.xml", "A", false));
    EXPECT_EQ(client.lastResponse(), "Timed out waiting for server to connect");
}

TEST(FtpClient, UploadSendsEveryByte)
{
    TempDir dir;
    for (std::size_t size : {0u, 255u, 256u, 1000u}) {
        SCOPED_TRACE(size);
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>(i * 7 + 3);
        writeFile("up.bin", content);
        std::string stored = "untouched";
        FakeFtpServer server;
        server.on("STOR", storesFile(stored));
        server.start();
        {
            FtpClient client;
            ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
            FaultySocketApi faults;
            faults.maxSendChunk = 100;
            faults.interruptEvery = 5;
            faults.wouldBlockBeforeEachCall = 1;
            EXPECT_TRUE(client.UploadFile("up.bin", "remote.bin", "I", true)) << client.lastResponse();
        }
        server.join();
        EXPECT_EQ(stored, content);
        EXPECT_EQ(server.commands(), (Commands{"TYPE I", "PASV", "STOR remote.bin"}));
    }
    FtpClient client;
    EXPECT_FALSE(client.UploadFile("", "r", "I", true));
    EXPECT_EQ(client.lastResponse(), "Null or empty local file path provided.");
    EXPECT_FALSE(client.UploadFile("missing.bin", "r", "I", true));
    EXPECT_EQ(client.lastResponse(), "Failed to open local file missing.bin");
}

TEST(FtpClient, DirectoryAndFileCommands)
{
    FakeFtpServer server;
    server.on("PWD", "257 \"/home/ups\" is the current directory\r\n");
    server.on("SIZE", [](const std::string& argument, FakeFtpServer& s) {
        s.reply(argument == "big.xml" ? "213 4096\r\n" : "213 unknown\r\n");
    });
    server.on("MDTM", "213 20260101120000\r\n");
    server.on("RNFR", [](const std::string& argument, FakeFtpServer& s) {
        s.reply(argument == "old" ? "350 Ready for RNTO.\r\n" : "550 No such file.\r\n");
    });
    server.on("RNTO", "250 Rename successful.\r\n");
    server.on("MKD", "257 \"d\" created\r\n");
    server.on("CWD", "250 Okay.\r\n");
    server.on("CDUP", "250 Okay.\r\n");
    server.on("RMD", "550 Directory not empty.\r\n");
    server.on("DELE", "250 Deleted.\r\n");
    server.start();
    {
        FtpClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
        std::string text;
        EXPECT_TRUE(client.GetRemoteWorkingDirectory(text));
        EXPECT_EQ(text, "/home/ups");
        std::uint32_t size = 7;
        EXPECT_TRUE(client.GetRemoteFileSize("big.xml", "I", size));
        EXPECT_EQ(size, 4096u);
        EXPECT_FALSE(client.GetRemoteFileSize("odd.xml", "I", size));
        EXPECT_EQ(size, 4096u);
        EXPECT_TRUE(client.GetRemoteFileTime("big.xml", text));
        EXPECT_EQ(text, "20260101120000");
        EXPECT_TRUE(client.RenameRemoteFile("old", "new"));
        EXPECT_FALSE(client.RenameRemoteFile("gone", "new"));
        EXPECT_EQ(client.lastResponse(), "No such file.");
        EXPECT_TRUE(client.MakeRemoteDirectory("d"));
        EXPECT_TRUE(client.ChangeRemoteDirectory("d"));
        EXPECT_TRUE(client.ChangeToParentDirectory());
        EXPECT_FALSE(client.RemoveRemoteDirectory("d"));
        EXPECT_EQ(client.lastResponse(), "Directory not empty.");
        EXPECT_TRUE(client.DeleteRemoteFile("new"));
        client.Quit();
        EXPECT_FALSE(client.Site("HELP"));
        EXPECT_EQ(client.lastResponse(), "Write error on socket");
    }
    server.join();
    EXPECT_EQ(server.commands(),
              (Commands{"PWD", "TYPE I", "SIZE big.xml", "TYPE I", "SIZE odd.xml", "MDTM big.xml", "RNFR old",
                        "RNTO new", "RNFR gone", "MKD d", "CWD d", "CDUP", "RMD d", "DELE new", "QUIT"}));
}

TEST(FtpClient, WorkingDirectoryWithoutQuotesFails)
{
    FakeFtpServer server;
    server.on("PWD", "257 /home/ups\r\n");
    server.start();
    FtpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
    std::string directory = "stale";
    EXPECT_FALSE(client.GetRemoteWorkingDirectory(directory));
    EXPECT_EQ(directory, "");
}

TEST(FtpClient, ListingAndItsLimit)
{
    FakeFtpServer server;
    server.on("NLST", sendsFile("a.xml\r\nb.xml\r\n"));
    server.on("LIST", sendsFile("-rw-r--r-- 1 ftp ftp 12 Jan 1 00:00 a.xml\r\n"));
    server.start();
    {
        FtpClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
        EXPECT_EQ(client.GetRemoteDirectoryListing(true, false, "/pub"), "a.xml\r\nb.xml\r\n");
        client.setListingLimit(10);
        EXPECT_EQ(client.GetRemoteDirectoryListing(true, true, nullptr), "");
        EXPECT_EQ(client.lastResponse(), "Listing refused: larger than 10 bytes");
    }
    server.join();
    EXPECT_EQ(server.commands(), (Commands{"TYPE A", "PASV", "NLST /pub", "TYPE A", "PASV", "LIST"}));
}

TEST(FtpClient, EndlessReplyLineIsRefused)
{
    FakeFtpServer server;
    server.on("SITE", [](const std::string&, FakeFtpServer& s) {
        s.reply("200 " + std::string(FtpClient::replyLimit + 10, 'x'));
        s.controlPeer().waitForClose();
    });
    server.start();
    FtpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
    EXPECT_FALSE(client.Site("X"));
    EXPECT_EQ(client.lastResponse(), "Reply from server refused: longer than 1048576 bytes");
}

} // namespace
} // namespace varnel::test
