#include "download/DataFileDownload.h"

#include "download/ClientFtpDownload.h"
#include "download/ClientHttpDownload.h"
#include "download/LocalCopy.h"
#include "platform/networkSetup.h"
#include "settings/CatalogueText.h"
#include "settings/Log.h"
#include "settings/PropertiesFile.h"

#include <fstream>
#include <utility>
#include <vector>

namespace varnel {

namespace {

// FTP transfers the data file as text, over a passive data connection.
constexpr const char* kFtpRepresentationType = "A";
constexpr bool kFtpPassive = true;

// The path, a "/" when there is one, then the file, each run of "/" as one.
std::string joinRemote(const std::string& path, const std::string& file)
{
    const std::string joined = path.empty() ? file : path + "/" + file;
    std::string target;
    for (char c : joined) {
        if (c != '/' || target.empty() || target.back() != '/')
            target += c;
    }
    return target;
}

} // namespace

DataFileDownload::DataFileDownload(const PropertiesFile* settings, const I18N* messages,
                                   StatusCallback status)
    : settings(settings), messages(messages), status(std::move(status)),
      runner([](const std::function<bool()>& work) { return work(); }),
      httpFactory([] { return std::make_unique<ClientHttpDownload>(); }),
      ftpFactory([] { return std::make_unique<ClientFtpDownload>(); })
{
}

void DataFileDownload::setStepRunner(StepRunner value)
{
    runner = std::move(value);
}

void DataFileDownload::setHttpFactory(HttpFactory factory)
{
    httpFactory = std::move(factory);
}

void DataFileDownload::setFtpFactory(FtpFactory factory)
{
    ftpFactory = std::move(factory);
}

void DataFileDownload::setPorts(Ports value)
{
    ports = value;
}

std::string DataFileDownload::httpTarget(const std::string& path, const std::string& file)
{
    // A request target in origin form begins with "/": without it every server answers 400.
    return joinRemote("/" + path, file);
}

std::string DataFileDownload::ftpTarget(const std::string& path, const std::string& file)
{
    return joinRemote(path, file);
}

void DataFileDownload::show(const char* key, std::uint32_t newLine) const
{
    if (!status)
        return;
    status(catalogueText(messages, key, Missing::Null), newLine);
}

std::string DataFileDownload::setting(const char* key) const
{
    return settings != nullptr ? settings->get(key, "") : std::string();
}

bool DataFileDownload::step(const std::function<bool()>& work) const
{
    return runner ? runner(work) : work();
}

std::string DataFileDownload::downloadByHttp()
{
    show("label.configurehttp", 1);
    const std::string server = setting("http.server");
    if (server.empty()) {
        show("msg.noserveraddress", 1);
        return {};
    }
    // The file setting also names the local copy; without it there is nothing to ask for or to keep.
    const std::string file = setting("http.file");
    if (file.empty()) {
        show("msg.faileddownload", 1);
        return {};
    }
    show("label.connecthttp", 0);
    log() << "Attempting to connect to HTTP server at " << server << std::endl;
    std::unique_ptr<HttpDownload> client = httpFactory();
    networkSetup network;
    if (!client || !step([&] { return client->connect(server, ports.http); })) {
        show("msg.failedconnect", 1);
        return {};
    }
    const std::string target = httpTarget(setting("http.path"), file);
    show("label.downloading", 1);
    std::vector<std::string> headers;
    std::vector<std::string> body;
    if (!step([&] { return client->get(target) && client->parseResponse(headers, body); })) {
        show("msg.faileddownload", 1);
        return {};
    }
    // Complete or nothing: a copy cut short (disk full) must not be parsed as
    // if it were whole, nor take the place of an earlier good one.
    LocalCopy copy(file);
    std::ofstream out;
    if (!copy.partialPath().empty())
        out.open(copy.partialPath(), std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        show("msg.failedsave", 1);
        return {};
    }
    for (const std::string& line : body)
        out << line;
    out.close();
    if (out.fail() || !copy.commit()) {
        show("msg.failedsave", 1);
        return {};
    }
    return file;
}

std::string DataFileDownload::downloadByFtp()
{
    show("label.configureftp", 1);
    const std::string server = setting("ftp.server");
    if (server.empty()) {
        show("msg.noserveraddress", 1);
        return {};
    }
    const std::string file = setting("ftp.file");
    if (file.empty()) {
        show("msg.faileddownload", 1);
        return {};
    }
    show("label.connectftp", 1);
    log() << "Attempting to connect to FTP server at " << server << std::endl;
    std::unique_ptr<FtpDownload> client = ftpFactory();
    networkSetup network;
    if (!client || !step([&] { return client->connect(server, ports.ftp); })) {
        show("msg.failedconnect", 1);
        return {};
    }
    show("label.loginftp", 1);
    const std::string user = setting("ftp.user");
    const std::string password = setting("ftp.password");
    if (!step([&] { return client->login(user, password); })) {
        show("msg.failedlogin", 1);
        client->quit();
        return {};
    }
    const std::string target = ftpTarget(setting("ftp.path"), file);
    show("label.downloading", 1);
    if (!step(
            [&] { return client->downloadRemoteFile(target, file, kFtpRepresentationType, kFtpPassive); })) {
        show("msg.faileddownload", 1);
        client->quit();
        return {};
    }
    client->quit();
    show("msg.filedownloaded", 1);
    return file;
}

} // namespace varnel
