#pragma once

#include "net/NetTestSupport.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace varnel::test {

// A server program of the machine's own, started as a child on a free
// loopback port and stopped with the object.
class LoopbackServer {
public:
    bool running() const { return ok; }
    std::uint16_t port() const { return listenPort; }

protected:
    explicit LoopbackServer(const std::filesystem::path& workDir);
    void start(std::vector<std::string> command, const char* outputName);

    std::filesystem::path work;
    std::uint16_t listenPort = 0;

private:
    std::unique_ptr<ServerProcess> process;
    bool ok = false;
};

// nginx serving `root`, as installed: it keeps each connection open after a
// response unless the request asks it to close.
class NginxServer : public LoopbackServer {
public:
    static constexpr const char* binary = "/usr/sbin/nginx";
    static constexpr const char* name = "nginx";
    // `workDir` holds the configuration, pid file, logs and temporary paths.
    NginxServer(const std::filesystem::path& workDir, const std::filesystem::path& root);
    std::string failure() const;
};

// nginx as installed, with TLS, serving `root` on five ports: the certificate
// made by tls-certs.sh for each (good, expired, wronghost, untrusted) and one
// plain-http site that redirects everything to the good one. On the good one
// /chunked/ goes through SSI, which sends bodies chunked; /loop.xml redirects
// to itself and /plain.xml to the plain site.
class TlsNginxServer : public LoopbackServer {
public:
    enum Site { good, expired, wronghost, untrusted, plain, siteCount };
    TlsNginxServer(const std::filesystem::path& workDir, const std::filesystem::path& root);
    std::uint16_t port(Site site) const { return ports[site]; }
    // The test CA's certificate, for SSL_CERT_FILE.
    std::filesystem::path caFile() const { return work / "certs" / "ca.pem"; }
    std::string failure() const;

private:
    std::uint16_t ports[siteCount] = {};
};

// Python's http.server, which answers in HTTP/1.0 and ends each body by closing.
class PythonHttpServer : public LoopbackServer {
public:
    PythonHttpServer(const std::filesystem::path& workDir, const std::filesystem::path& root);
    std::string failure() const;
};

// lighttpd serving `root`; only the paths are set, everything else
// (keep-alive among it) stays as lighttpd ships.
class LighttpdServer : public LoopbackServer {
public:
    static constexpr const char* binary = "/usr/sbin/lighttpd";
    static constexpr const char* name = "lighttpd";
    LighttpdServer(const std::filesystem::path& workDir, const std::filesystem::path& root);
    std::string failure() const;
};

// pyftpdlib, anonymous login, writes allowed in `root`.
class PyFtpServer : public LoopbackServer {
public:
    static constexpr const char* python = "/usr/bin/python3";
    PyFtpServer(const std::filesystem::path& workDir, const std::filesystem::path& root);
    std::string failure() const;
};

} // namespace varnel::test
