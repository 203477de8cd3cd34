#pragma once

#include "net/NetTestSupport.h"

#include <filesystem>
#include <memory>
#include <string>

namespace varnel::test {

// nginx on a free loopback port serving `root`, closing after each response.
class NginxServer {
public:
    static constexpr const char* binary = "/usr/sbin/nginx";
    // `workDir` holds the configuration, pid file, logs and temporary paths.
    NginxServer(const std::filesystem::path& workDir, const std::filesystem::path& root);
    bool running() const { return ok; }
    std::uint16_t port() const { return listenPort; }
    std::string failure() const;

private:
    std::filesystem::path work;
    std::uint16_t listenPort = 0;
    std::unique_ptr<ServerProcess> process;
    bool ok = false;
};

// pyftpdlib on a free loopback port, anonymous login, writes allowed in `root`.
class PyFtpServer {
public:
    static constexpr const char* python = "/usr/bin/python3";
    PyFtpServer(const std::filesystem::path& workDir, const std::filesystem::path& root);
    bool running() const { return ok; }
    std::uint16_t port() const { return listenPort; }
    std::string failure() const;

private:
    std::filesystem::path work;
    std::uint16_t listenPort = 0;
    std::unique_ptr<ServerProcess> process;
    bool ok = false;
};

} // namespace varnel::test
