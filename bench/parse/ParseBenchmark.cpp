// Reading a battery data file of 1, 10 and 100 MB, beside `xmllint --noout`
// on the same file: the five queries should cost little over libxml2's parse.
#include "controller/VarnelController.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const int sizesInMb[] = {1, 10, 100};

std::string fileFor(int mb)
{
    return "bench-" + std::to_string(mb) + "mb.xml";
}

void readWithVarnel(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        varnel::VarnelController controller;
        if (!controller.loadDataFile(path)) {
            state.SkipWithError("the generated file was not read");
            return;
        }
        benchmark::DoNotOptimize(controller.getBatteryPacks().size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
}

void readWithXmllint(benchmark::State& state, const std::string& path)
{
    const std::string command = "xmllint --noout " + path;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("xmllint failed (is libxml2-utils installed?)");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(path)));
}

// Prints the usual table, then our time over xmllint's for each size.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::cout << "\nsize      varnel(ms)  xmllint(ms)  ratio  varnel ms/MB\n";
        for (const int mb : sizesInMb) {
            const double ours = times["varnel/" + std::to_string(mb) + "MB/real_time"];
            const double theirs = times["xmllint/" + std::to_string(mb) + "MB/real_time"];
            std::printf("%4d MB  %10.1f  %11.1f  %5.2f  %12.2f\n", mb, ours, theirs,
                        theirs > 0 ? ours / theirs : 0.0, ours / mb);
        }
    }

private:
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("varnel-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::current_path(dir); // varnel.log goes here, not into the caller's folder

    for (const int mb : sizesInMb) {
        const std::string path = fileFor(mb);
        const std::string command = std::string(VARNEL_BINARY_DIR) + "/bin/gen-batterydata " + path +
                                    " --types 40 --packs 100 --mb " + std::to_string(mb);
        if (std::system(command.c_str()) != 0) {
            std::cerr << "gen-batterydata failed\n";
            return 1;
        }
        const std::string size = std::to_string(mb) + "MB";
        benchmark::RegisterBenchmark(("varnel/" + size).c_str(), readWithVarnel, path)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("xmllint/" + size).c_str(), readWithXmllint, path)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
    return 0;
}
