#include "net/FtpClient.h"
#include "net/HttpClient.h"
#include "net/RealServers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace varnel::test {
namespace {

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const auto& line : lines)
        all += line;
    return all;
}

// The sample data file served as it is and once more without its last line feed.
struct ServedFiles {
    ServedFiles(const std::filesystem::path& root) : sample(readFile(distFile("sample-batterydata.xml")))
    {
        std::filesystem::create_directories(root);
        writeFile(root / "sample.xml", sample);
        std::string cut = sample;
        while (!cut.empty() && (cut.back() == '\n' || cut.back() == '\r'))
            cut.pop_back();
        writeFile(root / "no-final-newline.xml", cut);
    }
    std::string sample;
};

// Each stock web server as installed, keep-alive on.
template <typename Server> class StockWebServer : public ::testing::Test {
};
using StockWebServers = ::testing::Types<NginxServer, LighttpdServer>;
struct ServerName {
    template <typename Server> static std::string GetName(int) { return Server::name; }
};
TYPED_TEST_SUITE(StockWebServer, StockWebServers, ServerName);

TYPED_TEST(StockWebServer, HttpDownloadEndsWithTheResponse)
{
    TempDir dir;
    const ServedFiles files(dir.path() / "www");
    ASSERT_FALSE(files.sample.empty());
    const TypeParam server(dir.path() / TypeParam::name, dir.path() / "www");
    ASSERT_TRUE(server.running()) << server.failure();

    for (const char* path : {"/sample.xml", "/no-final-newline.xml"}) {
        SCOPED_TRACE(path);
        HttpClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
        ASSERT_TRUE(client.Get(path)) << client.lastResponse();
        EXPECT_EQ(client.lastResponse(), "OK");
        std::vector<std::string> headers, body;
        ASSERT_TRUE(client.parseResponse(headers, body));
        // The server agreed to close: the download does not wait out its keep-alive.
        EXPECT_NE(std::find(headers.begin(), headers.end(), "Connection: close\r\n"), headers.end())
            << joined(headers);
        EXPECT_EQ(joined(body), expectedBodyLines(files.sample));
    }

    HttpClient client;
    ASSERT_TRUE(client.Connect("localhost", server.port()));
    EXPECT_FALSE(client.Get("/missing.xml"));
    EXPECT_EQ(client.lastResponse(), "Not Found");
}

TEST(RealServers, FtpDownloadsFromPyftpdlib)
{
    TempDir dir;
    const ServedFiles files(dir.path() / "ftp");
    const PyFtpServer server(dir.path() / "ftpd", dir.path() / "ftp");
    ASSERT_TRUE(server.running()) << server.failure();

    FtpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port())) << client.lastResponse();
    ASSERT_TRUE(client.Login("anonymous", "varnel@")) << client.lastResponse();
    // The wizard's way: representation type A, passive.
    ASSERT_TRUE(client.DownloadRemoteFile("/sample.xml", "text.xml", "A", true)) << client.lastResponse();
    EXPECT_EQ(withoutCarriageReturns(readFile("text.xml")), withoutCarriageReturns(files.sample));
    ASSERT_TRUE(client.DownloadRemoteFile("no-final-newline.xml", "image.xml", "I", true))
        << client.lastResponse();
    EXPECT_EQ(readFile("image.xml"), readFile(dir.path() / "ftp" / "no-final-newline.xml"));
    ASSERT_TRUE(client.DownloadRemoteFile("sample.xml", "active.xml", "I", false)) << client.lastResponse();
    EXPECT_EQ(readFile("active.xml"), files.sample);
    EXPECT_FALSE(client.DownloadRemoteFile("missing.xml", "missing.xml", "I", true));
    client.Quit();
}

TEST(RealServers, FtpFileAndDirectoryCommandsOnPyftpdlib)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "ftp");
    const PyFtpServer server(dir.path() / "ftpd", dir.path() / "ftp");
    ASSERT_TRUE(server.running()) << server.failure();
    const std::string content(1000, 'u');
    writeFile("upload.bin", content);

    FtpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port())) << client.lastResponse();
    ASSERT_TRUE(client.Login("anonymous", "varnel@")) << client.lastResponse();
    ASSERT_TRUE(client.MakeRemoteDirectory("incoming")) << client.lastResponse();
    ASSERT_TRUE(client.ChangeRemoteDirectory("incoming")) << client.lastResponse();
    std::string directory;
    ASSERT_TRUE(client.GetRemoteWorkingDirectory(directory));
    EXPECT_EQ(directory, "/incoming");
    ASSERT_TRUE(client.UploadFile("upload.bin", "up.bin", "I", true)) << client.lastResponse();
    EXPECT_EQ(readFile(dir.path() / "ftp" / "incoming" / "up.bin"), content);
    std::uint32_t size = 0;
    ASSERT_TRUE(client.GetRemoteFileSize("up.bin", "I", size)) << client.lastResponse();
    EXPECT_EQ(size, 1000u);
    EXPECT_EQ(client.GetRemoteDirectoryListing(true, false, nullptr), "up.bin\r\n");
    EXPECT_NE(client.GetRemoteDirectoryListing(true, true, nullptr).find("1000"), std::string::npos);
    ASSERT_TRUE(client.RenameRemoteFile("up.bin", "renamed.bin")) << client.lastResponse();
    std::string time;
    EXPECT_TRUE(client.GetRemoteFileTime("renamed.bin", time));
    EXPECT_EQ(time.size(), 14u) << time;
    EXPECT_TRUE(client.DeleteRemoteFile("renamed.bin")) << client.lastResponse();
    EXPECT_FALSE(client.DeleteRemoteFile("renamed.bin"));
    ASSERT_TRUE(client.ChangeToParentDirectory()) << client.lastResponse();
    EXPECT_TRUE(client.RemoveRemoteDirectory("incoming")) << client.lastResponse();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "ftp" / "incoming"));
    client.Quit();
}

} // namespace
} // namespace varnel::test
