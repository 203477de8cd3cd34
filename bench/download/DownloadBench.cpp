// Downloads generated data files of 1, 10 and 100 MB from nginx and pyftpdlib on
// loopback with our clients and with curl, in the same run.
//   bench-download [--benchmark_filter=...]
// Counters: MB/s, and cpu_ms = CPU time of the download (our thread, or curl's
// process), besides the wall time Google Benchmark reports.
#include "net/FtpClient.h"
#include "net/HttpClient.h"
#include "net/RealServers.h"
#include "platform/DynamicLibrary.h"
#include "platform/networkSetup.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using varnel::test::NginxServer;
using varnel::test::PyFtpServer;

constexpr int sizesMb[] = {1, 10, 100};

struct Bench {
    Bench() : dir(makeDir())
    {
        fs::create_directories(dir / "www");
        for (int mb : sizesMb) {
            const std::string file = (dir / "www" / fileName(mb)).string();
            const std::string generator = varnel::DynamicLibrary::executableDirectory() + "/gen-batterydata";
            const std::string command =
                generator + " " + file + " --mb " + std::to_string(mb) + " > /dev/null";
            if (std::system(command.c_str()) != 0)
                std::fprintf(stderr, "cannot generate %s\n", file.c_str());
        }
        nginx = std::make_unique<NginxServer>(dir / "nginx", dir / "www");
        ftp = std::make_unique<PyFtpServer>(dir / "ftpd", dir / "www");
    }
    ~Bench()
    {
        nginx.reset();
        ftp.reset();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    static fs::path makeDir()
    {
        std::string pattern = (fs::temp_directory_path() / "varnel-bench-XXXXXX").string();
        return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
    }
    static std::string fileName(int mb) { return "data-" + std::to_string(mb) + "mb.xml"; }
    fs::path out(const char* name) const { return dir / name; }

    fs::path dir;
    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<PyFtpServer> ftp;
};

Bench& bench()
{
    static Bench instance;
    return instance;
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

bool runCurl(const std::string& url, const fs::path& out)
{
    const std::string target = out.string();
    const char* argv[] = {"/usr/bin/curl", "-s", "-o", target.c_str(), url.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// What the wizard does with an HTTP download: Get, parseResponse, write the body lines.
bool httpDownload(std::uint16_t port, const std::string& path, const fs::path& out)
{
    varnel::HttpClient client;
    varnel::networkSetup sockets;
    if (!client.Connect("127.0.0.1", port) || !client.Get(path.c_str()))
        return false;
    std::vector<std::string> headers, body;
    if (!client.parseResponse(headers, body))
        return false;
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    for (const auto& line : body)
        file.write(line.data(), static_cast<std::streamsize>(line.size()));
    return static_cast<bool>(file);
}

bool ftpDownload(std::uint16_t port, const std::string& path, const fs::path& out)
{
    varnel::FtpClient client;
    varnel::networkSetup sockets;
    const bool ok = client.Connect("127.0.0.1", port) && client.Login("anonymous", "bench@") &&
                    client.DownloadRemoteFile(path.c_str(), out.string().c_str(), "A", true);
    client.Quit();
    return ok;
}

void finish(benchmark::State& state, double cpuMs, int mb)
{
    state.counters["cpu_ms"] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * mb * (std::int64_t{1} << 20));
}

void BM_HttpClient(benchmark::State& state)
{
    const int mb = static_cast<int>(state.range(0));
    Bench& b = bench();
    if (!b.nginx->running())
        return state.SkipWithError(b.nginx->failure().c_str());
    double cpu = 0;
    for (auto _ : state) {
        const double start = threadCpuMs();
        if (!httpDownload(b.nginx->port(), "/" + Bench::fileName(mb), b.out("http.xml")))
            return state.SkipWithError("download failed");
        cpu += threadCpuMs() - start;
    }
    finish(state, cpu, mb);
}

void BM_CurlHttp(benchmark::State& state)
{
    const int mb = static_cast<int>(state.range(0));
    Bench& b = bench();
    if (!b.nginx->running())
        return state.SkipWithError(b.nginx->failure().c_str());
    const std::string url = "http://127.0.0.1:" + std::to_string(b.nginx->port()) + "/" + Bench::fileName(mb);
    double cpu = 0;
    for (auto _ : state) {
        const double start = childrenCpuMs();
        if (!runCurl(url, b.out("curl-http.xml")))
            return state.SkipWithError("curl failed");
        cpu += childrenCpuMs() - start;
    }
    finish(state, cpu, mb);
}

void BM_FtpClient(benchmark::State& state)
{
    const int mb = static_cast<int>(state.range(0));
    Bench& b = bench();
    if (!b.ftp->running())
        return state.SkipWithError(b.ftp->failure().c_str());
    double cpu = 0;
    for (auto _ : state) {
        const double start = threadCpuMs();
        if (!ftpDownload(b.ftp->port(), Bench::fileName(mb), b.out("ftp.xml")))
            return state.SkipWithError("download failed");
        cpu += threadCpuMs() - start;
    }
    finish(state, cpu, mb);
}

void BM_CurlFtp(benchmark::State& state)
{
    const int mb = static_cast<int>(state.range(0));
    Bench& b = bench();
    if (!b.ftp->running())
        return state.SkipWithError(b.ftp->failure().c_str());
    // ";type=A" asks curl for the same ASCII transfer the wizard makes.
    const std::string url =
        "ftp://127.0.0.1:" + std::to_string(b.ftp->port()) + "/" + Bench::fileName(mb) + ";type=A";
    double cpu = 0;
    for (auto _ : state) {
        const double start = childrenCpuMs();
        if (!runCurl(url, b.out("curl-ftp.xml")))
            return state.SkipWithError("curl failed");
        cpu += childrenCpuMs() - start;
    }
    finish(state, cpu, mb);
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int mb : sizesMb)
        b->Arg(mb);
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
}

BENCHMARK(BM_HttpClient)->Apply(sizes);
BENCHMARK(BM_CurlHttp)->Apply(sizes);
BENCHMARK(BM_FtpClient)->Apply(sizes);
BENCHMARK(BM_CurlFtp)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
