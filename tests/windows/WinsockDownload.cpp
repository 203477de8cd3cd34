// varnelctl's '--data http' and '--data ftp' through Winsock, against the
// nginx and pyftpdlib that download.test.sh starts on the build machine; their
// ports come in VARNEL_TEST_HTTP_PORT and VARNEL_TEST_FTP_PORT.
#include "ctl/VarnelCtl.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

struct CtlRun {
    int code;
    std::string out;
    std::string err;
};

DataFileDownload::Ports serverPorts()
{
    const char* http = std::getenv("VARNEL_TEST_HTTP_PORT");
    const char* ftp = std::getenv("VARNEL_TEST_FTP_PORT");
    return {http ? std::atoi(http) : 0, ftp ? std::atoi(ftp) : 0};
}

CtlRun packs(const char* source, const std::string& settings)
{
    for (const char* name : {"varnelstrings.en", "sample-batterydata.xml"})
        writeFile(name, readFile(distFile(name)));
    writeFile("varnel.ini", readFile(distFile("varnel.ini")) + "\n" + settings + "\n");
    std::vector<std::string> args{"varnelctl", "packs", "--data", source};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    std::ostringstream out, err;
    VarnelCtl ctl(out, err);
    ctl.setServerPorts(serverPorts());
    const int code = ctl.run(static_cast<int>(argv.size()), argv.data());
    return {code, out.str(), err.str()};
}

TEST(WinsockDownload, HttpAndFtpStoreTheFileAndFailuresLeaveNothing)
{
    ASSERT_NE(serverPorts().http, 0) << "run by download.test.sh, which starts the servers";
    TempDir dir;
    const std::string first = "1  EBP-48 Small (4 x 7Ah)  (EBP-0407)  type 1, 4 batteries";

    const CtlRun http = packs("http", "http.server = 127.0.0.1\nhttp.path = /data\nhttp.file = packs.xml");
    ASSERT_EQ(http.code, 0) << http.err;
    EXPECT_EQ(http.out.rfind(first, 0), 0u) << http.out;
    EXPECT_GT(fs::file_size("packs.xml"), 1000u);

    const CtlRun missing =
        packs("http", "http.server = 127.0.0.1\nhttp.path = /data\nhttp.file = missing.xml");
    EXPECT_EQ(missing.code, 2) << missing.out;
    EXPECT_FALSE(fs::exists("missing.xml"));

    const CtlRun ftp = packs("ftp", "ftp.server = 127.0.0.1\nftp.user = anonymous\nftp.password = varnel@\n"
                                    "ftp.path = pub\nftp.file = packs.xml");
    ASSERT_EQ(ftp.code, 0) << ftp.err;
    EXPECT_EQ(ftp.out.rfind(first, 0), 0u) << ftp.out;

    const std::string good = readFile("packs.xml");
    const CtlRun failed =
        packs("ftp", "ftp.server = 127.0.0.1\nftp.user = anonymous\nftp.password = varnel@\n"
                     "ftp.path = nowhere\nftp.file = packs.xml");
    EXPECT_EQ(failed.code, 2) << failed.out;
    EXPECT_EQ(readFile("packs.xml"), good);
}

} // namespace
} // namespace varnel::test
