// Fetches generated data files of 1, 10 and 100 MB from stock nginx and
// lighttpd (keep-alive on, as installed) and from pyftpdlib on loopback, with
// our clients and with curl, in the same run.
//   bench-download [--benchmark_filter=...]
// Over HTTP each side downloads and then reads the file the way it would be
// used: ours is the wizard's download routine and loadDataFile; theirs is
// `curl -o` and `xmllint --noout`. Over https (nginx with TLS) both download
// only, each in a process of its own (this program with --fetch, and curl),
// so that rss_mb is the peak memory of that download alone. Counters: MB/s,
// cpu_ms = CPU time (our thread, or the child processes), besides the wall
// time Google Benchmark reports. A table of our figures over theirs ends the run.
//   bench-download --fetch SERVER FILE   one download as the wizard makes it
#include "controller/VarnelController.h"
#include "download/DataFileDownload.h"
#include "net/FtpClient.h"
#include "net/HttpClient.h"
#include "net/RealServers.h"
#include "platform/DynamicLibrary.h"
#include "platform/networkSetup.h"
#include "settings/PropertiesFile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using varnel::test::LighttpdServer;
using varnel::test::NginxServer;
using varnel::test::PyFtpServer;
using varnel::test::TlsNginxServer;

constexpr int sizesMb[] = {1, 10, 100};
constexpr int repetitions = 5;

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
        // loadDataFile writes varnel.log into the current directory.
        fs::current_path(dir);
        nginx = std::make_unique<NginxServer>(dir / "nginx", dir / "www");
        lighttpd = std::make_unique<LighttpdServer>(dir / "lighttpd", dir / "www");
        ftp = std::make_unique<PyFtpServer>(dir / "ftpd", dir / "www");
        tls = std::make_unique<TlsNginxServer>(dir / "nginx-tls", dir / "www");
        // Our child trusts the test CA the way a technician's machine is told of a company's.
        setenv("SSL_CERT_FILE", tls->caFile().c_str(), 1);
    }
    ~Bench()
    {
        tls.reset();
        nginx.reset();
        lighttpd.reset();
        ftp.reset();
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        fs::remove_all(dir, ignored);
    }
    static fs::path makeDir()
    {
        std::string pattern = (fs::temp_directory_path() / "varnel-bench-XXXXXX").string();
        return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
    }
    static std::string fileName(int mb) { return "data-" + std::to_string(mb) + "mb.xml"; }
    fs::path out(const char* name) const { return dir / name; }

    template <typename Server> const Server& server() const;

    fs::path dir;
    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<LighttpdServer> lighttpd;
    std::unique_ptr<PyFtpServer> ftp;
    std::unique_ptr<TlsNginxServer> tls;
};

template <> const NginxServer& Bench::server<NginxServer>() const
{
    return *nginx;
}
template <> const LighttpdServer& Bench::server<LighttpdServer>() const
{
    return *lighttpd;
}

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

// Runs a program to its end; `peakKb`, when given, gets its peak resident memory.
bool run(const std::vector<std::string>& args, long* peakKb = nullptr)
{
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (peakKb != nullptr)
        *peakKb = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool runCurl(const std::string& url, const fs::path& out)
{
    return run({"/usr/bin/curl", "-s", "-f", "-o", out.string(), url});
}

// What the wizard does with an HTTP download: the download routine with the
// server and file from the settings, streaming into the local copy.
bool httpDownload(const std::string& server, const std::string& file)
{
    varnel::PropertiesFile settings;
    settings.loadText("http.server = " + server + "\nhttp.file = " + file + "\n");
    varnel::DataFileDownload download(&settings, nullptr, {});
    return !download.downloadByHttp().empty();
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

// Download, then the data file read as page 2 reads it.
template <typename Server> void BM_Varnel(benchmark::State& state)
{
    const int mb = static_cast<int>(state.range(0));
    Bench& b = bench();
    const Server& httpServer = b.server<Server>();
    if (!httpServer.running())
        return state.SkipWithError(httpServer.failure().c_str());
    const std::string server = "127.0.0.1:" + std::to_string(httpServer.port());
    double cpu = 0;
    for (auto _ : state) {
        const double start = threadCpuMs();
        if (!httpDownload(server, Bench::fileName(mb)))
            return state.SkipWithError("download failed");
        varnel::VarnelController controller;
        if (!controller.loadDataFile(Bench::fileName(mb)))
            return state.SkipWithError("the downloaded file was not read");
        cpu += threadCpuMs() - start;
    }
    finish(state, cpu, mb);
}

template <typename Server> void BM_CurlXmllint(benchmark::State& state)
{
    const int mb = static_cast<int>(state.range(0));
    Bench& b = bench();
    const Server& server = b.server<Server>();
    if (!server.running())
        return state.SkipWithError(server.failure().c_str());
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/" + Bench::fileName(mb);
    const fs::path out = b.out("curl.xml");
    double cpu = 0;
    for (auto _ : state) {
        const double start = childrenCpuMs();
        if (!runCurl(url, out))
            return state.SkipWithError("curl failed");
        if (!run({"/usr/bin/xmllint", "--noout", out.string()}))
            return state.SkipWithError("xmllint failed (is libxml2-utils installed?)");
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

// One https download in a process of its own: this program's --fetch, or curl.
void https(benchmark::State& state, bool ours)
{
    const int mb = static_cast<int>(state.range(0));
    Bench& b = bench();
    if (!b.tls->running())
        return state.SkipWithError(b.tls->failure().c_str());
    const std::string server = "https://localhost:" + std::to_string(b.tls->port(TlsNginxServer::good));
    const std::string self = varnel::DynamicLibrary::executableDirectory() + "/bench-download";
    double cpu = 0;
    long peak = 0;
    for (auto _ : state) {
        const double start = childrenCpuMs();
        long kb = 0;
        const bool ok = ours ? run({self, "--fetch", server, Bench::fileName(mb)}, &kb)
                             : run({"/usr/bin/curl", "-s", "-f", "--cacert", b.tls->caFile().string(), "-o",
                                    b.out("curl-tls.xml").string(), server + "/" + Bench::fileName(mb)},
                                   &kb);
        if (!ok)
            return state.SkipWithError(ours ? "download failed" : "curl failed");
        cpu += childrenCpuMs() - start;
        peak = std::max(peak, kb);
    }
    finish(state, cpu, mb);
    state.counters["rss_mb"] = static_cast<double>(peak) / 1024.0;
}

void BM_HttpsVarnel(benchmark::State& state)
{
    https(state, true);
}

void BM_HttpsCurl(benchmark::State& state)
{
    https(state, false);
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int mb : sizesMb)
        b->Arg(mb);
    // Repeated and interleaved with the others, since a shared machine's load
    // comes and goes; the table takes the medians.
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0)->Repetitions(repetitions);
}

BENCHMARK(BM_Varnel<NginxServer>)->Name("http/nginx/varnel")->Apply(sizes);
BENCHMARK(BM_CurlXmllint<NginxServer>)->Name("http/nginx/curl+xmllint")->Apply(sizes);
BENCHMARK(BM_Varnel<LighttpdServer>)->Name("http/lighttpd/varnel")->Apply(sizes);
BENCHMARK(BM_CurlXmllint<LighttpdServer>)->Name("http/lighttpd/curl+xmllint")->Apply(sizes);
BENCHMARK(BM_HttpsVarnel)->Name("https/nginx/varnel")->Apply(sizes);
BENCHMARK(BM_HttpsCurl)->Name("https/nginx/curl")->Apply(sizes);
BENCHMARK(BM_FtpClient)->Name("ftp/pyftpdlib/varnel")->Apply(sizes);
BENCHMARK(BM_CurlFtp)->Name("ftp/pyftpdlib/curl")->Apply(sizes);

// Prints the usual table, then ours over theirs, wall and CPU, per server and size.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool wanted =
                run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median" : run.repetitions <= 1;
            if (run.error_occurred || !wanted)
                continue;
            const auto cpu = run.counters.find("cpu_ms");
            const auto rss = run.counters.find("rss_mb");
            figures[run.run_name.function_name + "/" + run.run_name.args] = {
                run.GetAdjustedRealTime(), cpu != run.counters.end() ? cpu->second.value : 0,
                rss != run.counters.end() ? rss->second.value : 0};
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-20s %5s  %10s %10s %6s  %10s %10s %6s  %8s %8s\n", "server", "size", "wall ms",
                    "theirs", "ratio", "cpu ms", "theirs", "ratio", "rss MB", "theirs");
        const char* rows[][3] = {{"http/nginx", "varnel", "curl+xmllint"},
                                 {"http/lighttpd", "varnel", "curl+xmllint"},
                                 {"https/nginx", "varnel", "curl"},
                                 {"ftp/pyftpdlib", "varnel", "curl"}};
        for (const auto& row : rows) {
            for (const int mb : sizesMb) {
                const std::string arg = "/" + std::to_string(mb);
                const auto ours = figures.find(std::string(row[0]) + "/" + row[1] + arg);
                const auto theirs = figures.find(std::string(row[0]) + "/" + row[2] + arg);
                if (ours == figures.end() || theirs == figures.end())
                    continue;
                const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
                std::printf("%-20s %2d MB  %10.1f %10.1f %6.2f  %10.1f %10.1f %6.2f  %8.1f %8.1f\n", row[0],
                            mb, ours->second.wall, theirs->second.wall,
                            ratio(ours->second.wall, theirs->second.wall), ours->second.cpu,
                            theirs->second.cpu, ratio(ours->second.cpu, theirs->second.cpu), ours->second.rss,
                            theirs->second.rss);
            }
        }
    }

private:
    struct Figures {
        double wall = 0;
        double cpu = 0;
        double rss = 0; // peak MB, where measured
    };
    std::map<std::string, Figures> figures;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--fetch") {
        const varnel::networkSetup sockets;
        return httpDownload(argv[2], argv[3]) ? 0 : 1;
    }
    // Flags given on the command line come later and win.
    std::vector<char*> args{argv[0], const_cast<char*>("--benchmark_enable_random_interleaving=true")};
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
