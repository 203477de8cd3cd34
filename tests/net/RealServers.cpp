#include "net/RealServers.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace varnel::test {

namespace {

std::string fileText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Everything nginx would otherwise write outside the work folder, up to the
// opening of the http block.
void nginxPreamble(std::ostream& conf, const std::string& w)
{
    conf << "daemon off;\n"
         << (geteuid() == 0 ? "user root;\n" : "") << "worker_processes 1;\n"
         << "pid " << w << "/nginx.pid;\n"
         << "error_log " << w << "/error.log;\n"
         << "events { worker_connections 64; }\n"
         << "http {\n"
         << "  access_log off;\n"
         << "  client_body_temp_path " << w << "/body;\n"
         << "  proxy_temp_path " << w << "/proxy;\n"
         << "  fastcgi_temp_path " << w << "/fastcgi;\n"
         << "  uwsgi_temp_path " << w << "/uwsgi;\n"
         << "  scgi_temp_path " << w << "/scgi;\n";
}

} // namespace

LoopbackServer::LoopbackServer(const std::filesystem::path& workDir)
    : work(workDir), listenPort(freeLoopbackPort())
{
    std::filesystem::create_directories(work);
}

void LoopbackServer::start(std::vector<std::string> command, const char* outputName)
{
    process = std::make_unique<ServerProcess>(std::move(command), work / outputName);
    ok = process->running() && process->waitUntilListening(listenPort);
}

NginxServer::NginxServer(const std::filesystem::path& workDir, const std::filesystem::path& root)
    : LoopbackServer(workDir)
{
    const std::string w = work.string();
    std::ofstream conf(work / "nginx.conf");
    nginxPreamble(conf, w);
    conf << "  server { listen 127.0.0.1:" << listenPort << "; root " << root.string() << "; }\n"
         << "}\n";
    conf.close();
    start({binary, "-p", w, "-c", w + "/nginx.conf"}, "nginx.out");
}

std::string NginxServer::failure() const
{
    if (access(binary, X_OK) != 0)
        return std::string(binary) + " is missing: install the Debian package nginx-light";
    return "nginx did not start: " + fileText(work / "nginx.out") + fileText(work / "error.log");
}

TlsNginxServer::TlsNginxServer(const std::filesystem::path& workDir, const std::filesystem::path& root)
    : LoopbackServer(workDir)
{
    const std::string w = work.string();
    const std::string certs = w + "/certs";
    const std::string script = std::string(VARNEL_SOURCE_DIR) + "/tests/net/tls-certs.sh";
    if (std::system((script + " '" + certs + "'").c_str()) != 0)
        return;
    ports[good] = listenPort;
    for (int site = expired; site < siteCount; ++site) {
        // A port of its own for each: the first free one may be handed out again until nginx binds it.
        do
            ports[site] = freeLoopbackPort();
        while (std::find(ports, ports + site, ports[site]) != ports + site);
    }
    std::ofstream conf(work / "nginx.conf");
    nginxPreamble(conf, w);
    const char* names[] = {"good", "expired", "wronghost", "untrusted"};
    for (int site = good; site < plain; ++site) {
        conf << "  server {\n    listen 127.0.0.1:" << ports[site] << " ssl;\n"
             << "    ssl_certificate " << certs << "/" << names[site] << ".pem;\n"
             << "    ssl_certificate_key " << certs << "/" << names[site] << ".key;\n"
             << "    root " << root.string() << ";\n";
        if (site == good)
            conf << "    location /chunked/ { ssi on; ssi_types *; }\n"
                 << "    location = /loop.xml { return 302 /loop.xml; }\n"
                 << "    location = /plain.xml { return 301 http://127.0.0.1:" << ports[plain]
                 << "/sample.xml; }\n";
        conf << "  }\n";
    }
    conf << "  server { listen 127.0.0.1:" << ports[plain] << "; return 301 https://localhost:" << ports[good]
         << "$request_uri; }\n"
         << "}\n";
    conf.close();
    start({NginxServer::binary, "-p", w, "-c", w + "/nginx.conf"}, "nginx.out");
}

std::string TlsNginxServer::failure() const
{
    if (access(NginxServer::binary, X_OK) != 0)
        return std::string(NginxServer::binary) + " is missing: install the Debian package nginx-light";
    return "nginx with TLS did not start (tls-certs.sh needs openssl): " + fileText(work / "nginx.out") +
           fileText(work / "error.log");
}

PythonHttpServer::PythonHttpServer(const std::filesystem::path& workDir, const std::filesystem::path& root)
    : LoopbackServer(workDir)
{
    start({PyFtpServer::python, "-m", "http.server", std::to_string(listenPort), "--bind", "127.0.0.1",
           "--directory", root.string()},
          "http.server.out");
}

std::string PythonHttpServer::failure() const
{
    return "python3 -m http.server did not start: " + fileText(work / "http.server.out");
}

LighttpdServer::LighttpdServer(const std::filesystem::path& workDir, const std::filesystem::path& root)
    : LoopbackServer(workDir)
{
    const std::string w = work.string();
    std::ofstream conf(work / "lighttpd.conf");
    conf << "server.document-root = \"" << root.string() << "\"\n"
         << "server.bind = \"127.0.0.1\"\n"
         << "server.port = " << listenPort << "\n"
         << "server.pid-file = \"" << w << "/lighttpd.pid\"\n"
         << "server.errorlog = \"" << w << "/error.log\"\n";
    conf.close();
    start({binary, "-D", "-f", w + "/lighttpd.conf"}, "lighttpd.out");
}

std::string LighttpdServer::failure() const
{
    if (access(binary, X_OK) != 0)
        return std::string(binary) + " is missing: install the Debian package lighttpd";
    return "lighttpd did not start: " + fileText(work / "lighttpd.out") + fileText(work / "error.log");
}

PyFtpServer::PyFtpServer(const std::filesystem::path& workDir, const std::filesystem::path& root)
    : LoopbackServer(workDir)
{
    start({python, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(listenPort), "-d",
           root.string(), "-w"},
          "pyftpdlib.out");
}

std::string PyFtpServer::failure() const
{
    return "pyftpdlib did not start (install the Debian package python3-pyftpdlib): " +
           fileText(work / "pyftpdlib.out");
}

} // namespace varnel::test
