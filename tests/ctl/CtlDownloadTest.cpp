// '--data http' and '--data ftp' against real servers on loopback: the
// routine the wizard uses, with its texts on the error stream.
#include "CtlRunner.h"
#include "net/NetTestSupport.h"
#include "net/RealServers.h"
#include "support/JsonReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

bool logHas(const std::string& text)
{
    return readFile("varnel.log").find(text) != std::string::npos;
}

TEST(CtlDownload, HttpFromNginxStoresTheFileAndReadsItsPacks)
{
    TempDir dir;
    const std::string sample = readFile(distFile("sample-batterydata.xml"));
    fs::create_directories(dir.path() / "www" / "data");
    writeFile(dir.path() / "www" / "data" / "packs.xml", sample);
    const NginxServer nginx(dir.path() / "nginx", dir.path() / "www");
    ASSERT_TRUE(nginx.running()) << nginx.failure();
    const DataFileDownload::Ports ports{nginx.port(), DataFileDownload::ftpPort};

    installRunFiles("http.server = 127.0.0.1\nhttp.path = /data\nhttp.file = packs.xml");
    const CtlResult run = runCtl({"packs", "--data", "http"}, ports);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.rfind("1  EBP-48 Small (4 x 7Ah)  (EBP-0407)  type 1, 4 batteries\n", 0), 0u)
        << run.out;
    EXPECT_EQ(readFile("packs.xml"), sample) << "saved byte for byte as served";
    EXPECT_FALSE(fs::exists("packs.xml.part"));
    // The wizard's texts in the wizard's order, the connect text on the heading's line.
    const std::vector<std::string> shown = linesOf(run.err);
    ASSERT_GE(shown.size(), 4u) << run.err;
    EXPECT_EQ(shown[1], catalogueText("label.configurehttp") + catalogueText("label.connecthttp"));
    EXPECT_EQ(shown[2], catalogueText("label.downloading"));
    EXPECT_EQ(shown[3], catalogueText("label.parsingfile"));
    EXPECT_TRUE(logHas("Attempting to connect to HTTP server at 127.0.0.1\n"));

    // The path as shipped, empty: the file is asked for at the server's root.
    writeFile(dir.path() / "www" / "root.xml", sample);
    installRunFiles("http.server = 127.0.0.1\nhttp.file = root.xml");
    const CtlResult atRoot = runCtl({"packs", "--data", "http"}, ports);
    ASSERT_EQ(atRoot.code, 0) << atRoot.err;
    EXPECT_EQ(readFile("root.xml"), sample);

    // A page served under the file's name (a portal, a moved site) is no data
    // file: refused before it takes the place of the good copy.
    fs::create_directories(dir.path() / "www" / "moved");
    writeFile(dir.path() / "www" / "moved" / "root.xml", "<html><body>This site has moved</body></html>\n");
    installRunFiles("http.server = 127.0.0.1\nhttp.path = /moved\nhttp.file = root.xml");
    const CtlResult page = runCtl({"packs", "--data", "http"}, ports);
    EXPECT_EQ(page.code, 2);
    EXPECT_NE(page.err.find(catalogueText("msg.faileddownload")), std::string::npos) << page.err;
    EXPECT_EQ(readFile("root.xml"), sample);

    // A 404 leaves no file behind and no earlier copy damaged.
    installRunFiles("http.server = 127.0.0.1\nhttp.path = /data\nhttp.file = missing.xml");
    const CtlResult missing = runCtl({"packs", "--json", "--data", "http"}, ports);
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find(catalogueText("msg.faileddownload")), std::string::npos);
    EXPECT_FALSE(fs::exists("missing.xml"));
    EXPECT_FALSE(fs::exists("missing.xml.part"));
    std::optional<nlohmann::json> doc = parseJson(missing.out);
    ASSERT_TRUE(doc && doc->is_object()) << missing.out;
    EXPECT_EQ((*doc)["exitCode"], 2);
    EXPECT_NE((*doc)["error"].dump().find("downloaded"), std::string::npos);
}

TEST(CtlDownload, FtpFromPyftpdlibReplacesTheCopyOnlyWhenComplete)
{
    TempDir dir;
    const std::string sample = readFile(distFile("sample-batterydata.xml"));
    fs::create_directories(dir.path() / "ftp" / "pub");
    writeFile(dir.path() / "ftp" / "pub" / "packs.xml", sample);
    const PyFtpServer server(dir.path() / "ftpd", dir.path() / "ftp");
    ASSERT_TRUE(server.running()) << server.failure();
    const DataFileDownload::Ports ports{DataFileDownload::httpPort, server.port()};
    const std::string login = "ftp.server = 127.0.0.1\nftp.user = anonymous\nftp.password = varnel@\n";

    installRunFiles(login + "ftp.path = pub\nftp.file = packs.xml");
    writeFile("packs.xml", "an older copy");
    // A file of the user's that merely has the name a side file might have.
    writeFile("packs.xml.part", "the user's own");
    const CtlResult run = runCtl({"packs", "--data", "ftp"}, ports);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(withoutCarriageReturns(readFile("packs.xml")), withoutCarriageReturns(sample));
    EXPECT_NE(run.out.find("6  "), std::string::npos) << run.out;
    const std::vector<std::string> shown = linesOf(run.err);
    ASSERT_GE(shown.size(), 7u) << run.err;
    const std::vector<std::string> expected{
        catalogueText("label.configureftp"), catalogueText("label.connectftp"),
        catalogueText("label.loginftp"),     catalogueText("label.downloading"),
        catalogueText("msg.filedownloaded"), catalogueText("label.parsingfile")};
    EXPECT_EQ(std::vector<std::string>(shown.begin() + 1, shown.begin() + 7), expected);
    EXPECT_TRUE(logHas("Attempting to connect to FTP server at 127.0.0.1\n"));
    EXPECT_FALSE(logHas("varnel@"));

    // A transfer that fails keeps the good copy and leaves no side file.
    const std::string good = readFile("packs.xml");
    installRunFiles(login + "ftp.path = nowhere\nftp.file = packs.xml");
    const CtlResult failed = runCtl({"packs", "--data", "ftp"}, ports);
    EXPECT_EQ(failed.code, 2);
    EXPECT_NE(failed.err.find(catalogueText("msg.faileddownload")), std::string::npos);
    EXPECT_EQ(readFile("packs.xml"), good);
    EXPECT_EQ(readFile("packs.xml.part"), "the user's own");
    for (const fs::directory_entry& entry : fs::directory_iterator("."))
        EXPECT_TRUE(entry.path().filename() == "packs.xml.part" ||
                    entry.path().filename().string().rfind("packs.xml.", 0) != 0)
            << entry.path();

    installRunFiles("ftp.server = 127.0.0.1\nftp.user = nobody\nftp.password = wrong\nftp.file = packs.xml");
    const CtlResult refused = runCtl({"packs", "--data", "ftp"}, ports);
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find(catalogueText("msg.failedlogin")), std::string::npos);
}

TEST(CtlDownload, NoServerOrNoAnswerExitsWithTwo)
{
    TempDir dir;
    installRunFiles();
    const CtlResult unset = runCtl({"packs", "--data", "http"});
    EXPECT_EQ(unset.code, 2);
    EXPECT_NE(unset.err.find(catalogueText("msg.noserveraddress")), std::string::npos);
    EXPECT_FALSE(logHas("Attempting"));

    installRunFiles("ftp.server = 127.0.0.1\nftp.file = packs.xml");
    const std::uint16_t nobody = freeLoopbackPort();
    const CtlResult closed = runCtl({"packs", "--data", "ftp"}, {nobody, nobody});
    EXPECT_EQ(closed.code, 2);
    EXPECT_NE(closed.err.find(catalogueText("msg.failedconnect")), std::string::npos);
    EXPECT_FALSE(fs::exists("packs.xml"));
}

} // namespace
} // namespace varnel::test
