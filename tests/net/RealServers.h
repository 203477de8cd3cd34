#pragma once

#include "net/NetTestSupport.h"

#include <filesystem>
#include <memory>
#include <string>

namespace varnel::test {

// nginx on a free loopback port serving `root`, as installed: it keeps each
// connection open after a response unless the request asks it to close.
class NginxServer {
public:
    static constexpr const char* binary = "/usr/sbin/nginx";
    static constexpr const char* name = "nginx";
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

// lighttpd on a free loopback port serving `root`; only the paths are set,
// everything else (keep-alive among it) stays as lighttpd ships.
class LighttpdServer {
public:
    static constexpr const char* binary = "/usr/sbin/lighttpd";
    static constexpr const char* name = "lighttpd";
    LighttpdServer(const std::filesystem::path& workDir, const std::filesystem::path& root);
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
