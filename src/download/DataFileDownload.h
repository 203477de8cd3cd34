#pragma once

#include "download/FtpDownload.h"
#include "download/HttpDownload.h"
#include "settings/StatusCallback.h"
#include "settings/StepRunner.h"

#include <functional>
#include <memory>
#include <string>

namespace varnel {

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

    using HttpFactory = std::function<std::unique_ptr<HttpDownload>()>;
    using FtpFactory = std::function<std::unique_ptr<FtpDownload>()>;

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

    // Both answer the local copy's path, or the empty text when there is none.
    std::string downloadByHttp();
    std::string downloadByFtp();

    // "/path/file", one "/" between the parts whatever the settings hold.
    static std::string httpTarget(const std::string& path, const std::string& file);
    // "path/file" without doubled slashes; a path without a leading "/" stays
    // relative to the login directory.
    static std::string ftpTarget(const std::string& path, const std::string& file);

private:
    void show(const char* key, std::uint32_t newLine) const;
    std::string setting(const char* key) const;
    bool step(const std::function<bool()>& work) const;

    const PropertiesFile* settings;
    const I18N* messages;
    StatusCallback status;
    StepRunner runner;
    HttpFactory httpFactory;
    FtpFactory ftpFactory;
    Ports ports;
};

} // namespace varnel
