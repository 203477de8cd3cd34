#pragma once

#include "download/FtpDownload.h"
#include "download/HttpDownload.h"
#include "settings/StatusCallback.h"
#include "settings/StepRunner.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace varnel {

class LocalCopy;

class I18N;
class PropertiesFile;

// Fetches the battery data file from the server the settings name, the same
// way for the wizard and for varnelctl. Every parameter comes from the
// settings; progress and failures go to the status callback, whose first call
// always carries the routine's heading (null when the catalogue lacks it), so
// a front end that shows one page of text can start the page with it.
class DataFileDownload {
public:
    static constexpr int httpPort = 80;
    static constexpr int ftpPort = 21;
    // "download.timeout" when the settings name none: a data file takes seconds.
    static constexpr std::uint32_t defaultTimeoutSeconds = 120;
    // Redirects followed before a download is given up as a loop.
    static constexpr int redirectLimit = 5;

    using HttpFactory = std::function<std::unique_ptr<HttpDownload>()>;
    using FtpFactory = std::function<std::unique_ptr<FtpDownload>()>;
    // Whether the complete file at the path is a battery data file.
    using ContentCheck = std::function<bool(const std::string& path)>;

    // The servers' ports; only tests reach servers elsewhere.
    struct Ports {
        int http = httpPort;
        int ftp = ftpPort;
    };

    // Both stay the caller's and must outlive the routine. Without settings every
    // one is empty; without a catalogue every text is null.
    DataFileDownload(const PropertiesFile* settings, const I18N* messages, StatusCallback status);

    void setStepRunner(StepRunner runner);
    void setHttpFactory(HttpFactory factory);
    void setFtpFactory(FtpFactory factory);
    void setPorts(Ports ports);
    // A SHA-256 the file must have, over the settings' pin (empty: theirs).
    void setPin(std::string digest);
    // A file the check refuses never takes the local copy's place: a server
    // that answers with a page of its own must not cost the user a good copy.
    void setContentCheck(ContentCheck check);
    // While set, the download stops at its next wait; the flag stays the caller's.
    void setCancelFlag(const std::atomic<bool>* flag);

    // The SHA-256 of the copy the last successful routine gave.
    const std::string& digest() const { return lastDigest; }

    // Both answer the local copy's path, or the empty text when there is none.
    std::string downloadByHttp();
    std::string downloadByFtp();

    // "/path/file", one "/" between the parts whatever the settings hold.
    static std::string httpTarget(const std::string& path, const std::string& file);
    // "path/file" without doubled slashes; a path without a leading "/" stays
    // relative to the login directory.
    static std::string ftpTarget(const std::string& path, const std::string& file);

private:
    struct Fetched;

    void show(const char* key, std::uint32_t newLine) const;
    // Writes the reason to the log and shows the key's text with the reason below it.
    void fail(const char* key, const std::string& what, const std::string& reason) const;
    std::string pinFor(const char* key, bool& valid) const;
    TransferBounds bounds() const;
    // The pin checked, the side file put in the copy's place and the source
    // logged; the file's name, or empty with the reason shown.
    std::string keep(LocalCopy& copy, const std::string& pinned, const std::string& digest,
                     const std::string& source, const std::string& file, const char* failKey);
    // The body into `partial`; `source` is the URL it finally came from, `digest` its SHA-256.
    bool fetchHttp(const std::string& server, const std::string& file, const std::string& partial,
                   std::string& source, std::string& digest);
    std::string setting(const char* key) const;
    bool step(const std::function<bool()>& work) const;

    const PropertiesFile* settings;
    const I18N* messages;
    StatusCallback status;
    StepRunner runner;
    HttpFactory httpFactory;
    FtpFactory ftpFactory;
    Ports ports;
    std::string pin;
    ContentCheck contentCheck;
    const std::atomic<bool>* cancel = nullptr;
    std::string lastDigest;
};

} // namespace varnel
