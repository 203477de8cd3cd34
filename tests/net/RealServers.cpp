#include "net/RealServers.h"

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
         << "  scgi_temp_path " << w << "/scgi;\n"
         << "  server { listen 127.0.0.1:" << listenPort << "; root " << root.string() << "; }\n"
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
