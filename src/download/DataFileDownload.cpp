#include "download/DataFileDownload.h"

#include "download/ClientFtpDownload.h"
#include "download/ClientHttpDownload.h"
#include "download/LocalCopy.h"
#include "net/HttpUrl.h"
#include "platform/Sha256.h"
#include "platform/networkSetup.h"
#include "settings/CatalogueText.h"
#include "settings/Log.h"
#include "settings/PropertiesFile.h"
#include "settings/ShownText.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <utility>
#include <vector>

namespace varnel {

namespace {

// FTP transfers the data file as an image (binary), over a passive data
// connection: a text transfer re-ends the lines, and the copy could then never
// match the digest its publisher gives for it.
constexpr const char* kFtpRepresentationType = "I";
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

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
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

void DataFileDownload::setPin(std::string digest)
{
    pin = std::move(digest);
}

void DataFileDownload::setContentCheck(ContentCheck check)
{
    contentCheck = std::move(check);
}

void DataFileDownload::setCancelFlag(const std::atomic<bool>* flag)
{
    cancel = flag;
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

void DataFileDownload::fail(const char* key, const std::string& what, const std::string& reason) const
{
    const std::string shown = shownText(reason);
    log() << "Download failed: " << shownText(what) << ": " << shown << std::endl;
    show(key, 1);
    if (status && !shown.empty())
        status(shown.c_str(), 1);
}

std::string DataFileDownload::pinFor(const char* key, bool& valid) const
{
    std::string digest = pin.empty() ? setting(key) : pin;
    valid = digest.empty() || Sha256::isDigest(digest);
    for (char& c : digest)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return digest;
}

TransferBounds DataFileDownload::bounds() const
{
    std::uint32_t seconds = defaultTimeoutSeconds;
    const std::string text = setting("download.timeout");
    if (!text.empty()) {
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && end == text.data() + text.size() && value > 0)
            seconds = value;
        else
            log() << "download.timeout is not a number of seconds; " << defaultTimeoutSeconds << " s apply"
                  << std::endl;
    }
    TransferBounds limits;
    limits.setDeadlineIn(seconds);
    limits.cancel = cancel;
    return limits;
}

std::string DataFileDownload::keep(LocalCopy& copy, const std::string& pinned, const std::string& digest,
                                   const std::string& source, const std::string& file, const char* failKey)
{
    if (!pinned.empty() && pinned != digest) {
        fail("msg.faileddownload", source,
             "SHA-256 mismatch: expected " + pinned + ", got " + digest +
                 "; the local copy is kept as it was");
        return {};
    }
    if (contentCheck && !contentCheck(copy.partialPath())) {
        fail("msg.faileddownload", source,
             "what arrived is not a battery data file; the local copy is kept as it was");
        return {};
    }
    if (!copy.commit()) {
        fail(failKey, file, "the local copy cannot be replaced");
        return {};
    }
    log() << "Data file " << file << " downloaded from " << shownText(source) << ", SHA-256 " << digest
          << std::endl;
    lastDigest = digest;
    return file;
}

bool DataFileDownload::fetchHttp(const std::string& server, const std::string& file,
                                 const std::string& partial, std::string& source, std::string& digest)
{
    std::optional<HttpUrl> url = HttpUrl::parseServer(server);
    if (!url) {
        fail("msg.failedconnect", server,
             "http.server is not a host, host:port, http://host[:port] or https://host[:port]");
        return false;
    }
    // A bare host keeps the port the routine was given, as it always has.
    if (server.find(':') == std::string::npos)
        url->port = ports.http;
    url->target = httpTarget(setting("http.path"), file);
    const TransferBounds limits = bounds();
    networkSetup network;
    for (int redirects = 0;; ++redirects) {
        std::unique_ptr<HttpDownload> client = httpFactory();
        const std::string where = url->text();
        if (!client) {
            fail("msg.failedconnect", where, "no network client");
            return false;
        }
        client->setBounds(limits);
        if (!step([&] { return client->connect(url->host, url->port, url->secure); })) {
            fail("msg.failedconnect", where, client->failure());
            return false;
        }
        if (redirects == 0)
            show("label.downloading", 1);
        // Straight to the side file as it arrives: memory stays small whatever the file's size.
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out.is_open()) {
            fail("msg.failedsave", file, "the local copy cannot be written");
            return false;
        }
        HttpResponseHead head;
        // Summed as it arrives, while the network is the one waited for, not read back afterwards.
        Sha256 sum;
        const HttpClient::BodySink sink = [&out, &sum](std::string_view bytes) {
            sum.update(bytes);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            return out.good();
        };
        if (!step([&] { return client->get(url->target, sink, head); })) {
            if (!out.good())
                fail("msg.failedsave", file, "the local copy cannot be written");
            else
                fail("msg.faileddownload", where, client->failure());
            return false;
        }
        if (head.status / 100 == 2) {
            out.close();
            if (out.fail()) {
                fail("msg.failedsave", file, "the local copy cannot be written");
                return false;
            }
            source = where;
            digest = sum.hex();
            return true;
        }
        if (!isRedirect(head.status) || head.location.empty()) {
            fail("msg.faileddownload", where,
                 "the server answered " + std::to_string(head.status) + " " + client->failure());
            return false;
        }
        if (redirects >= redirectLimit) {
            fail("msg.faileddownload", where,
                 "redirect loop: more than " + std::to_string(redirectLimit) + " redirects");
            return false;
        }
        std::optional<HttpUrl> next = HttpUrl::resolve(*url, head.location);
        if (!next) {
            fail("msg.faileddownload", where, "redirect to an unusable location: " + head.location);
            return false;
        }
        if (url->secure && !next->secure) {
            fail("msg.faileddownload", where, "redirect from https to http refused: " + next->text());
            return false;
        }
        log() << "Redirected (" << head.status << ") from " << shownText(where) << " to "
              << shownText(next->text()) << std::endl;
        url = std::move(next);
    }
}

std::string DataFileDownload::downloadByHttp()
{
    lastDigest.clear();
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
    bool pinValid = false;
    const std::string pinned = pinFor("http.sha256", pinValid);
    if (!pinValid) {
        fail("msg.faileddownload", "http.sha256", "a SHA-256 pin is 64 hexadecimal digits");
        return {};
    }
    // Complete or nothing: a copy cut short must not be parsed as if it were
    // whole, nor take the place of an earlier good one.
    LocalCopy copy(file);
    if (copy.partialPath().empty()) {
        fail("msg.failedsave", file, "no file can be made beside the local copy");
        return {};
    }
    std::string source;
    std::string digest;
    if (!fetchHttp(server, file, copy.partialPath(), source, digest))
        return {};
    return keep(copy, pinned, digest, source, file, "msg.failedsave");
}

std::string DataFileDownload::downloadByFtp()
{
    lastDigest.clear();
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
    bool pinValid = false;
    const std::string pinned = pinFor("ftp.sha256", pinValid);
    if (!pinValid) {
        fail("msg.faileddownload", "ftp.sha256", "a SHA-256 pin is 64 hexadecimal digits");
        return {};
    }
    std::unique_ptr<FtpDownload> client = ftpFactory();
    networkSetup network;
    if (client)
        client->setBounds(bounds());
    if (!client || !step([&] { return client->connect(server, ports.ftp); })) {
        fail("msg.failedconnect", server, client ? client->failure() : "no network client");
        return {};
    }
    show("label.loginftp", 1);
    const std::string user = setting("ftp.user");
    const std::string password = setting("ftp.password");
    if (!step([&] { return client->login(user, password); })) {
        fail("msg.failedlogin", server, client->failure());
        client->quit();
        return {};
    }
    const std::string target = ftpTarget(setting("ftp.path"), file);
    const std::string source = "ftp://" + server + "/" + target;
    show("label.downloading", 1);
    // The transfer lands in a side file that replaces the local copy only once it is complete and checked.
    LocalCopy copy(file);
    if (copy.partialPath().empty()) {
        fail("msg.faileddownload", file, "no file can be made beside the local copy");
        client->quit();
        return {};
    }
    if (!step([&] {
            return client->downloadRemoteFile(target, copy.partialPath(), kFtpRepresentationType,
                                              kFtpPassive);
        })) {
        fail("msg.faileddownload", source, client->failure());
        client->quit();
        return {};
    }
    client->quit();
    const std::string digest = Sha256::ofFile(copy.partialPath());
    if (digest.empty()) {
        fail("msg.faileddownload", file, "the downloaded copy cannot be read back");
        return {};
    }
    const std::string kept = keep(copy, pinned, digest, source, file, "msg.faileddownload");
    if (!kept.empty())
        show("msg.filedownloaded", 1);
    return kept;
}

} // namespace varnel
