#include "support/UpssimRunner.h"

#include "device/VarnelDevice.h"
#include "support/JsonReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

namespace varnel::test {

Upssim::Upssim(std::vector<std::string> args)
{
    args.insert(args.begin(), VARNEL_BINARY_DIR "/bin/upssim");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
        const int out = ::open("upssim.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

Upssim::~Upssim()
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

int Upssim::stop(bool terminate)
{
    if (pid <= 0)
        return -1;
    if (terminate)
        kill(pid, SIGTERM);
    for (int waited = 0; waited < kWaitMs; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

bool waitForFile(const std::filesystem::path& path)
{
    for (int waited = 0; waited < kWaitMs; waited += 10) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool exportReadyEnvironment(const std::filesystem::path& readyFile)
{
    std::ifstream in(readyFile);
    std::string line;
    bool any = false;
    while (std::getline(in, line)) {
        const std::string prefix = "export ";
        const std::size_t equals = line.find('=');
        if (line.rfind(prefix, 0) != 0 || equals == std::string::npos)
            continue;
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
            value = value.substr(1, value.size() - 2);
        setenv(line.substr(prefix.size(), equals - prefix.size()).c_str(), value.c_str(), 1);
        any = true;
    }
    return any;
}

namespace {

// The journal's events of one unit. Each line is written whole, but the last
// one may still be on its way while the simulator runs.
std::vector<nlohmann::json> events(const std::filesystem::path& journal, const std::string& unit,
                                   const char* event)
{
    std::vector<nlohmann::json> found;
    const std::vector<std::string> lines = readLines(journal);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::optional<nlohmann::json> line = parseJson(lines[i]);
        if (!line || !line->is_object()) {
            if (i + 1 < lines.size())
                ADD_FAILURE() << journal << " line " << i + 1 << " is not one JSON object: " << lines[i];
            continue;
        }
        if ((*line)["event"] == event && (*line)["unit"] == unit)
            found.push_back(std::move(*line));
    }
    return found;
}

} // namespace

bool isIndexSelection(const JournalWrite& write)
{
    return write.field == "batteryTableIndex" || write.field == "cTableIndex";
}

std::vector<JournalWrite> journalWrites(const std::filesystem::path& journal, const std::string& unit)
{
    std::vector<JournalWrite> found;
    for (nlohmann::json& line : events(journal, unit, "write")) {
        JournalWrite write;
        write.unit = unit;
        write.field = line["field"].is_string() ? line["field"].get<std::string>() : std::string();
        write.index = line.contains("index") ? static_cast<int>(numberOf(line["index"])) : -1;
        write.value = numberOf(line["value"]);
        write.stored = numberOf(line["stored"]);
        found.push_back(write);
    }
    return found;
}

std::size_t journalRequests(const std::filesystem::path& journal, const std::string& unit)
{
    std::size_t count = 0;
    for (nlohmann::json& line : events(journal, unit, "request"))
        if (line["what"] != "info" && line["what"] != "descriptor")
            ++count;
    return count;
}

void expectJournalHolds(const std::vector<JournalWrite>& writes, const std::string& unit,
                        const VarnelDevice& device)
{
    std::map<int, std::uint32_t> battery;
    std::map<int, std::uint32_t> cTable;
    std::map<std::string, std::uint32_t> single;
    for (const JournalWrite& write : writes) {
        if (isIndexSelection(write))
            continue;
        EXPECT_EQ(write.stored, write.value) << unit << " " << write.field << " " << write.index;
        if (write.field == "batteryTable")
            battery[write.index] = write.value;
        else if (write.field == "cTable")
            cTable[write.index] = write.value;
        else
            single[write.field] = write.value;
    }
    const auto& expectedBattery = device.getBatteryTableValues();
    ASSERT_EQ(battery.size(), expectedBattery.size()) << unit;
    for (std::size_t i = 0; i < expectedBattery.size(); ++i)
        EXPECT_EQ(battery[static_cast<int>(i)], expectedBattery[i]) << unit << " battery table " << i;
    const auto& expectedC = device.getCTableValues();
    ASSERT_EQ(cTable.size(), expectedC.size()) << unit;
    for (std::size_t i = 0; i < expectedC.size(); ++i)
        EXPECT_EQ(cTable[static_cast<int>(i)], expectedC[i]) << unit << " C table " << i;
    EXPECT_EQ(single["cTableHighB"], device.getCTableHighB()) << unit;
    EXPECT_EQ(single["externalBatteryCount"], static_cast<std::uint32_t>(device.getExternalBatteryCount()))
        << unit;
    EXPECT_EQ(single.size(), 2u) << unit;
}

} // namespace varnel::test
